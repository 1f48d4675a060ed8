// TBrowserExternalModule: the host side of the script bridge. It receives every web message of
// the browser view, decodes the envelope, dispatches on the command id and posts the replies.
#pragma once

#include "BrowserExternalForm.h"
#include "EdgeEx.h"
#include "NativeLayer.h"
#include "Result.h"
#include "SerialWorker.h"

#include <rapidjson/fwd.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

class TBrowserForm;
class TExeZip;
class TMemIniFile;
class TCommandData;
class TBrowserExternalModule;

using TModuleEvent = std::function<void(TBrowserExternalModule& Sender)>;

// The border style a "WindowBorder" setting names; numbers outside 0..5 give bsSizeable.
TBorderStyle BorderStyleFromSetting(int Value);

class TBrowserExternalModule {
public:
  using THandler = void (TBrowserExternalModule::*)(const std::string& Uuid, const TCommandData& Data);

  // One row of the command table: the one place that fixes the ids.
  struct TCommand {
    int Id;
    std::string_view ScriptName;      // member of window.ryx
    THandler Handler;                 // nullptr: not available in this build; no reply
    std::string_view RuntimeOnlyText; // non-empty: the command needs the archive, else this box
  };
  static const std::vector<TCommand>& Commands();

  TBrowserExternalModule();  // DataModuleCreate
  ~TBrowserExternalModule(); // DataModuleDestroy
  TBrowserExternalModule(const TBrowserExternalModule&) = delete;
  TBrowserExternalModule& operator=(const TBrowserExternalModule&) = delete;

  TExeZip* ExeZip() const { return FExeZip; }
  void SetExeZip(TExeZip* Value) { FExeZip = Value; }
  TNativeForm* MainForm() const { return FMainForm; }
  void SetMainForm(TNativeForm* Value) { FMainForm = Value; }
  TMemIniFile* ProjectINI() const { return FProjectINI; }
  void SetProjectINI(TMemIniFile* Value) { FProjectINI = Value; }
  // A later start of the app handed over its arguments: the page shown hears them through
  // ryx.events.onSecondInstance when it is an app page (a page from elsewhere never learns them).
  void SecondInstanceStarted(const std::vector<std::string>& Args);
  // The process's command-line arguments (the program's path left out), for app.getArgs.
  void SetCommandLineArgs(std::vector<std::string> Args) { FCommandLineArgs = std::move(Args); }
  bool InFullscreen() const { return FInFullscreen; }
  void SetInFullscreen(bool Value) { FInFullscreen = Value; }
  TBrowserForm* BrowserForm() const { return FBrowserForm; }
  void SetBrowserForm(TBrowserForm* Value) { FBrowserForm = Value; }
  const TModuleEvent& OnAppCloseRequest() const { return FOnAppCloseRequest; }
  void SetOnAppCloseRequest(TModuleEvent Value) { FOnAppCloseRequest = std::move(Value); }

  // The browser control's web-message handler.
  void EdgeBrowserWebMessageReceived(TCustomEdgeBrowser& Sender, const TWebMessageReceivedEventArgs& Args);

  // The menu the page built (held by the module's hidden form).
  const TMainMenu& MainMenu() const;

  // {"uuid": <uuid as a JSON string>, "success": true|false, "result": <Result verbatim>}, posted
  // to the document whose call is being handled, and to no other.
  void SendResponse(const std::string& Uuid, const std::string& Result, bool Success);
  void SendSuccess(const std::string& Uuid, const std::string& Result) { SendResponse(Uuid, Result, true); }
  void SendError(const std::string& Uuid, const std::string& Result) { SendResponse(Uuid, Result, false); }

  // Calls whose work runs beside the UI thread and whose reply is still to come.
  size_t PendingReplies() const { return FHeldCalls.size(); }

private:
  struct TReply {
    std::string Result;
    bool Success = true;
  };
  using TWork = std::function<std::optional<TReply>()>;
  enum class TWorkPlace {
    FileQueue, // one call after another, in the order the pages made them
    OwnThread, // a thread of its own (command lines, which may run for long)
  };
  struct THeldCall {
    std::string Uuid;
    TWebMessageReplyTargetPtr Caller;
  };

  void Dispatch(const std::string& Json);
  // Whether the settings' Commands let pages use the command of that script name.
  bool CommandAllowed(std::string_view Name) const;
  void SendResponseTo(const TWebMessageReplyTargetPtr& Target, const std::string& Uuid, const std::string& Result,
                      bool Success);
  // Runs Work at Place and replies with its outcome (nullopt: no reply) to the current call's
  // document, back on the UI thread. An exception out of Work means no reply.
  void ReplyLater(const std::string& Uuid, TWorkPlace Place, TWork Work);
  void FinishHeldCall(uint64_t Id, const std::optional<TReply>& Reply);

  // App and window commands.
  void Hello(const std::string& Uuid, const TCommandData& Data);
  void IsRuntime(const std::string& Uuid, const TCommandData& Data);
  void AppClose(const std::string& Uuid, const TCommandData& Data);
  void AppInFullscreen(const std::string& Uuid, const TCommandData& Data);
  void AppEnterFullscreen(const std::string& Uuid, const TCommandData& Data);
  void AppExitFullscreen(const std::string& Uuid, const TCommandData& Data);
  void WindowGetStyle(const std::string& Uuid, const TCommandData& Data);
  void WindowSetStyle(const std::string& Uuid, const TCommandData& Data);
  void WindowGetState(const std::string& Uuid, const TCommandData& Data);
  void WindowSetState(const std::string& Uuid, const TCommandData& Data);
  void WindowGetTitle(const std::string& Uuid, const TCommandData& Data);
  void WindowSetTitle(const std::string& Uuid, const TCommandData& Data);
  void WindowGetBounds(const std::string& Uuid, const TCommandData& Data);
  void WindowSetBounds(const std::string& Uuid, const TCommandData& Data);
  void AppGetArgs(const std::string& Uuid, const TCommandData& Data);

  // Dialog, file, folder and base64 commands.
  void DialogsOpenFile(const std::string& Uuid, const TCommandData& Data);
  void DialogsSaveFile(const std::string& Uuid, const TCommandData& Data);
  void RunDialogCall(std::function<void()> Show);
  void RunFileDialog(TNativeFileDialog& Dialog, const std::string& Uuid, const std::string& FileName,
                     const std::string& Title, const std::string& FileTypes);
  void FilesFileExists(const std::string& Uuid, const TCommandData& Data);
  void FilesDeleteFile(const std::string& Uuid, const TCommandData& Data);
  void FilesWriteTextFile(const std::string& Uuid, const TCommandData& Data);
  void FilesExtractFile(const std::string& Uuid, const TCommandData& Data);
  void FilesReadTextFile(const std::string& Uuid, const TCommandData& Data);
  void FilesReadBase64(const std::string& Uuid, const TCommandData& Data);
  void FoldersList(const std::string& Uuid, const TCommandData& Data);
  void FoldersDirExists(const std::string& Uuid, const TCommandData& Data);
  void FoldersDeleteDir(const std::string& Uuid, const TCommandData& Data);
  void FoldersGetTempDir(const std::string& Uuid, const TCommandData& Data);
  void FoldersGetUserDocumentsDir(const std::string& Uuid, const TCommandData& Data);
  void FoldersGetUserDesktopDir(const std::string& Uuid, const TCommandData& Data);
  void FoldersGetAppExecutableDir(const std::string& Uuid, const TCommandData& Data);
  void FoldersGetAppDataDir(const std::string& Uuid, const TCommandData& Data);
  void Base64DecodeToFile(const std::string& Uuid, const TCommandData& Data);
  // Reads the required path argument Key ("Missing <Key>" when empty), resolves it and replies,
  // from the file queue, with the outcome of Test.
  // The path argument Key, or nullopt after the error reply for an empty one or one with a NUL.
  std::optional<std::string> ReadPathArgument(const std::string& Uuid, const TCommandData& Data, const char* Key);
  void ReplyForPath(const std::string& Uuid, const TCommandData& Data, const char* Key,
                    std::function<bool(const std::string& Path)> Test);
  // Reads the required "filePath", then, on the file queue, creates its folders and safely
  // writes there what Produce makes of "contents", handing it to the sink piece by piece.
  using TFileProducer =
    std::function<TStatus(const std::string& Contents, const std::function<TStatus(std::string_view)>& Sink)>;
  // Reads filePath beside the UI thread and replies with Encode's text of its bytes, as a JSON
  // string, or with the failure.
  void ReplyForReadFile(const std::string& Uuid, const TCommandData& Data,
                        std::function<TResult<std::string>(std::string Bytes)> Encode);
  void ReplyForWrittenFile(const std::string& Uuid, const TCommandData& Data, TFileProducer Produce);
  // A path argument resolved against the program folder.
  std::string ResolvePath(const std::string& Path) const;
  std::string ProgramFolder() const;

  // Shell and system commands.
  void ShellExecute(const std::string& Uuid, const TCommandData& Data);
  void ShellExplore(const std::string& Uuid, const TCommandData& Data);
  void ShellCommand(const std::string& Uuid, const TCommandData& Data);
  void ShellWindows(const std::string& Uuid, const TCommandData& Data);
  void SystemLogoff(const std::string& Uuid, const TCommandData& Data);
  void SystemReboot(const std::string& Uuid, const TCommandData& Data);
  void SystemShutdown(const std::string& Uuid, const TCommandData& Data);
  void ExitWindowsReply(const std::string& Uuid, uint32_t Flags);

  // Main menu and theme commands.
  void MainMenuSetItems(const std::string& Uuid, const TCommandData& Data);
  void MainMenuUpdateItem(const std::string& Uuid, const TCommandData& Data);
  bool BuildMenuItem(const std::string& Uuid, const rapidjson::Value& Object, TMenuItem& Item);
  void LoadMenuItemImage(TMenuItem& Item, const std::string& Source);
  void ClearMainMenu();
  void MainMenuItemClick(TMenuItem& Sender);
  void ThemesGetTheme(const std::string& Uuid, const TCommandData& Data);
  void ThemesGetThemes(const std::string& Uuid, const TCommandData& Data);
  void ThemesSetTheme(const std::string& Uuid, const TCommandData& Data);

  std::unique_ptr<TBrowserExternalForm> FBrowserExternalForm;
  std::unique_ptr<TNativeFileDialog> FFileOpenDialog;
  std::unique_ptr<TNativeFileDialog> FFileSaveDialog;
  // A dialog call that arrives while a dialog is open waits for it; each still gets its reply.
  bool FDialogOpen = false;
  std::deque<std::function<void()>> FWaitingDialogCalls;
  // The document whose message is being handled: where SendResponse posts.
  TWebMessageReplyTargetPtr FCaller;
  // Work beside the UI thread: its replies come back only while this lives, to the documents
  // kept here (released on the UI thread only).
  std::shared_ptr<TBrowserExternalModule*> FAlive;
  std::unordered_map<uint64_t, THeldCall> FHeldCalls;
  uint64_t FNextHeldCall = 0;
  // Declared last: it finishes the queued file commands before the rest of the module goes.
  std::unique_ptr<TSerialWorker> FFileQueue;

  TNativeForm* FMainForm = nullptr;
  TExeZip* FExeZip = nullptr;
  bool FInFullscreen = false;
  TMemIniFile* FProjectINI = nullptr;
  std::vector<std::string> FCommandLineArgs;
  TBrowserForm* FBrowserForm = nullptr;
  TModuleEvent FOnAppCloseRequest;
};

} // namespace velmora
