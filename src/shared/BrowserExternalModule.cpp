// The bridge: envelope decoding, the command table, argument rules and replies.
#include "BrowserExternalModule.h"

#include "BoundedJson.h"
#include "BridgeArguments.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "Limits.h"
#include "ProjectSettings.h"
#include "StrUtils.h"
#include "TextHelpers.h"

#include <rapidjson/error/en.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace velmora {

std::string JsonValueAsText(const rapidjson::Value& Value, const std::string& Default)
{
  if (Value.IsNull())
    return Default;
  if (Value.IsString())
    return std::string(Value.GetString(), Value.GetStringLength());
  if (Value.IsBool())
    return Value.GetBool() ? "true" : "false";
  if (Value.IsObject() || Value.IsArray())
    throw TBridgeArgumentError("an object or array where a text was expected");
  // Numbers are parsed as their text, so they arrive above as strings; this is a safety net.
  if (Value.IsInt64())
    return std::to_string(Value.GetInt64());
  if (Value.IsUint64())
    return std::to_string(Value.GetUint64());
  return std::to_string(Value.GetDouble());
}

std::string JsonStringArray(std::span<const std::string> Items)
{
  std::string result = "[";
  for (size_t i = 0; i < Items.size(); ++i) {
    if (i > 0)
      result += ',';
    result += TStrUtils::StringToJsonString(Items[i]);
  }
  return result + "]";
}

std::string TCommandData::ReadText(const char* Key, const std::string& Default) const
{
  const auto member = FObject.FindMember(Key);
  if (member == FObject.MemberEnd())
    return Default;
  return JsonValueAsText(member->value, Default);
}

bool TCommandData::ReadFlag(const char* Key) const
{
  const auto member = FObject.FindMember(Key);
  if (member == FObject.MemberEnd() || member->value.IsNull())
    return false;
  const rapidjson::Value& value = member->value;
  if (value.IsBool())
    return value.GetBool();
  if (!value.IsString())
    throw TBridgeArgumentError(std::string("\"") + Key + "\" is not a boolean");
  return BooleanFromText(std::string(value.GetString(), value.GetStringLength()));
}

bool BooleanFromText(const std::string& Text)
{
  const std::string lower = text::AsciiLower(Text);
  if (lower == "true")
    return true;
  if (lower == "false")
    return false;
  // A number: zero is false, anything else true.
  if (!Text.empty()) {
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(Text.c_str(), &end);
    if (end == Text.c_str() + Text.size() && errno == 0)
      return number != 0.0;
  }
  throw TBridgeArgumentError("\"" + Text + "\" is not a boolean");
}

TBorderStyle BorderStyleFromSetting(int Value)
{
  switch (Value) {
  case 0: return TBorderStyle::bsNone;
  case 1: return TBorderStyle::bsSingle;
  case 3: return TBorderStyle::bsDialog;
  case 4: return TBorderStyle::bsToolWindow;
  case 5: return TBorderStyle::bsSizeToolWin;
  default: return TBorderStyle::bsSizeable;
  }
}

const std::vector<TBrowserExternalModule::TCommand>& TBrowserExternalModule::Commands()
{
  using M = TBrowserExternalModule;
  static const std::vector<TCommand> commands = {
    {10001, "hello", &M::Hello, ""},
    {10002, "isRuntime", &M::IsRuntime, ""},
    {11001, "system.logoff", &M::SystemLogoff, "Calls to ryx.system.logoff() works only at runtime."},
    {11002, "system.reboot", &M::SystemReboot, "Calls to ryx.system.reboot() works only at runtime."},
    {11003, "system.shutdown", &M::SystemShutdown, "Calls to ryx.system.shutdown() works only at runtime."},
    {12001, "mainMenu.setItems", &M::MainMenuSetItems, "Calls to ryx.mainMenu.setItems() works only at runtime."},
    {12002, "mainMenu.updateItem", &M::MainMenuUpdateItem, "Calls to ryx.mainMenu.updateItem() works only at runtime."},
    {20001, "dialogs.openFile", &M::DialogsOpenFile, ""},
    {20002, "dialogs.saveFile", &M::DialogsSaveFile, ""},
    {30001, "files.fileExists", &M::FilesFileExists, ""},
    {30002, "files.deleteFile", &M::FilesDeleteFile, ""},
    {30003, "files.writeTextFile", &M::FilesWriteTextFile, ""},
    {30004, "files.extractFile", &M::FilesExtractFile, "Calls to ryx.app.extractFile() works only at runtime."},
    {30005, "files.readTextFile", &M::FilesReadTextFile, ""},
    {30006, "files.readBase64", &M::FilesReadBase64, ""},
    {40001, "folders.dirExists", &M::FoldersDirExists, ""},
    {40002, "folders.deleteDir", &M::FoldersDeleteDir, ""},
    {40003, "folders.getTempDir", &M::FoldersGetTempDir, ""},
    {40004, "folders.getUserDocumentsDir", &M::FoldersGetUserDocumentsDir, ""},
    {40005, "folders.getUserDesktopDir", &M::FoldersGetUserDesktopDir, ""},
    {40006, "folders.getAppExecutableDir", &M::FoldersGetAppExecutableDir, ""},
    {40007, "folders.getAppDataDir", &M::FoldersGetAppDataDir, ""},
    {40008, "folders.list", &M::FoldersList, ""},
    {50001, "app.close", &M::AppClose, ""},
    {50002, "app.inFullscreen", &M::AppInFullscreen, ""},
    {50003, "app.enterFullscreen", &M::AppEnterFullscreen, "Calls to ryx.app.enterFullscreen() works only at runtime."},
    {50004, "app.exitFullscreen", &M::AppExitFullscreen, "Calls to ryx.app.exitFullscreen() works only at runtime."},
    {50005, "app.getArgs", &M::AppGetArgs, ""},
    {60001, "window.getStyle", &M::WindowGetStyle, ""},
    {60002, "window.setStyle", &M::WindowSetStyle, ""},
    {60003, "window.getState", &M::WindowGetState, ""},
    {60004, "window.setState", &M::WindowSetState, ""},
    {60005, "window.getTitle", &M::WindowGetTitle, ""},
    {60006, "window.setTitle", &M::WindowSetTitle, ""},
    {60007, "window.getBounds", &M::WindowGetBounds, ""},
    {60008, "window.setBounds", &M::WindowSetBounds, ""},
    {70001, "shell.execute", &M::ShellExecute, ""},
    {70002, "shell.explore", &M::ShellExplore, ""},
    {70003, "shell.command", &M::ShellCommand, ""},
    {70004, "shell.windows", &M::ShellWindows, ""},
    {80001, "themes.getTheme", &M::ThemesGetTheme, "Calls to ryx.themes.getTheme() works only at runtime."},
    {80002, "themes.getThemes", &M::ThemesGetThemes, "Calls to ryx.themes.getThemes() works only at runtime."},
    {80003, "themes.setTheme", &M::ThemesSetTheme, "Calls to ryx.themes.setTheme() works only at runtime."},
    {90001, "base64.decodeToFile", &M::Base64DecodeToFile, ""},
  };
  return commands;
}

TBrowserExternalModule::TBrowserExternalModule()
  : FBrowserExternalForm(std::make_unique<TBrowserExternalForm>()),
    FFileOpenDialog(Native().CreateFileDialog(TFileDialogKind::Open)),
    FFileSaveDialog(Native().CreateFileDialog(TFileDialogKind::Save)),
    FAlive(std::make_shared<TBrowserExternalModule*>(this)), FFileQueue(std::make_unique<TSerialWorker>())
{}

TBrowserExternalModule::~TBrowserExternalModule()
{
  *FAlive = nullptr; // replies of work still running are dropped
  FHeldCalls.clear();
  // The menu goes with the module: the window must not keep drawing it.
  if (FMainForm != nullptr)
    FMainForm->SetMainMenu(nullptr);
  FExeZip = nullptr;
  FMainForm = nullptr;
  FProjectINI = nullptr;
  FBrowserForm = nullptr;
  FOnAppCloseRequest = nullptr;
}

void TBrowserExternalModule::SendResponse(const std::string& Uuid, const std::string& Result, bool Success)
{
  SendResponseTo(FCaller, Uuid, Result, Success);
}

void TBrowserExternalModule::SendResponseTo(const TWebMessageReplyTargetPtr& Target, const std::string& Uuid,
                                            const std::string& Result, bool Success)
{
  if (Target == nullptr)
    return;
  const std::string uuid = TStrUtils::StringToJsonString(Uuid);
  std::string reply;
  reply.reserve(uuid.size() + Result.size() + 48);
  reply += "{\"uuid\": ";
  reply += uuid;
  reply += ", \"success\": ";
  reply += Success ? "true" : "false";
  reply += ", \"result\": ";
  reply += Result;
  reply += '}';
  Target->PostWebMessageAsJson(reply);
}

void TBrowserExternalModule::ReplyLater(const std::string& Uuid, TWorkPlace Place, TWork Work)
{
  const uint64_t id = ++FNextHeldCall;
  FHeldCalls.emplace(id, THeldCall{Uuid, FCaller});
  TNativePlatform* platform = &Native();
  auto job = [platform, alive = FAlive, id, work = std::move(Work)] {
    std::optional<TReply> reply;
    try {
      reply = work();
    } catch (const std::exception&) {
      reply.reset(); // a failure inside the command: no reply, as on the UI thread
    }
    platform->PostToMainThread([alive, id, reply = std::move(reply)] {
      if (*alive != nullptr)
        (*alive)->FinishHeldCall(id, reply);
    });
  };
  if (Place == TWorkPlace::FileQueue)
    FFileQueue->Post(std::move(job));
  else
    std::thread(std::move(job)).detach();
}

void TBrowserExternalModule::FinishHeldCall(uint64_t Id, const std::optional<TReply>& Reply)
{
  const auto held = FHeldCalls.find(Id);
  if (held == FHeldCalls.end())
    return;
  const THeldCall call = std::move(held->second);
  FHeldCalls.erase(held);
  if (Reply)
    SendResponseTo(call.Caller, call.Uuid, Reply->Result, Reply->Success);
}

void TBrowserExternalModule::EdgeBrowserWebMessageReceived(TCustomEdgeBrowser&,
                                                           const TWebMessageReceivedEventArgs& Args)
{
  std::string text;
  if (!Args.TryGetWebMessageAsString(text))
    text.clear();
  // Without an archive a click report only moves the focus, whoever sends it: to the window that
  // hosts the view first, then to the browser control.
  if (FExeZip == nullptr && text == "ryx-webbrowser-clicked") {
    if (FBrowserForm != nullptr) {
      FBrowserForm->ParentForm().SetFocus();
      FBrowserForm->EdgeBrowser().SetFocus();
    }
    return;
  }
  // Only app documents may use the bridge: any other document gets the script too, but its
  // messages are dropped like malformed ones. Which document sent a message is the engine's
  // word (the address it was loaded from), never the page's.
  if (FBrowserForm == nullptr || !FBrowserForm->IsAppDocument(Args.Source()))
    return;
  // Replies go to the sender. A dialog runs a nested loop in which other messages arrive, so
  // the caller of the call around this one comes back afterwards.
  struct TCallerScope {
    TWebMessageReplyTargetPtr& Slot;
    TWebMessageReplyTargetPtr Saved;
    TCallerScope(TWebMessageReplyTargetPtr& slot, TWebMessageReplyTargetPtr caller)
      : Slot(slot), Saved(std::exchange(slot, std::move(caller)))
    {}
    ~TCallerScope() { Slot = std::move(Saved); }
    TCallerScope(const TCallerScope&) = delete;
    TCallerScope& operator=(const TCallerScope&) = delete;
  } caller(FCaller, Args.ReplyTarget());
  try {
    Dispatch(Args.WebMessageAsJson());
  } catch (const std::exception&) {
    // A malformed message or argument, or a failure inside a handler: the page gets no reply
    // and the bridge stays ready for the next message.
  }
}

bool TBrowserExternalModule::CommandAllowed(std::string_view Name) const
{
  // "group.name"; hello and isRuntime have no group, and the app group (closing the window
  // among it) is always there.
  const size_t dot = Name.find('.');
  if (dot == std::string_view::npos || FProjectINI == nullptr)
    return true;
  const std::string_view group = Name.substr(0, dot);
  if (group == "app")
    return true;
  const std::string allowed = TProjectSettings::ReadString(*FProjectINI, AppKeys::Commands);
  if (text::TrimBlanks(allowed).empty())
    return true;
  for (const std::string& item : TStrUtils::ExplodeStrings(",", allowed)) {
    if (text::AsciiLower(text::TrimBlanks(item)) == group)
      return true;
  }
  return false;
}

void TBrowserExternalModule::Dispatch(const std::string& Json)
{
  // Past the size or nesting limits a message is as malformed as one that is not JSON.
  if (Json.size() > kMaxBridgeMessageBytes)
    return;
  // Parsed in a copy of its own, where it lies: one copy of a large argument instead of the
  // parser's two, and the document's strings point into the copy while the handler runs.
  std::string text;
  text.reserve(Json.size() + kInPlaceParsePadding);
  text = Json;
  rapidjson::Document document;
  if (!ParseBoundedJsonInPlace(document, text, TJsonNumbers::AsStrings) || !document.IsObject())
    return;
  const rapidjson::Value& message = document;
  const auto id = message.FindMember("id");
  const auto uuid = message.FindMember("uuid");
  const auto data = message.FindMember("data");
  if (id == message.MemberEnd() || uuid == message.MemberEnd() || data == message.MemberEnd())
    return;
  const std::string idText = JsonValueAsText(id->value, {});
  const std::string uuidText = JsonValueAsText(uuid->value, {});
  if (!data->value.IsObject())
    return;
  const auto number = ParseSettingsInteger(idText);
  if (!number)
    return;
  for (const TCommand& command : Commands()) {
    if (command.Id != *number)
      continue;
    if (!CommandAllowed(command.ScriptName))
      return SendError(uuidText, "\"Command not allowed\"");
    if (!command.RuntimeOnlyText.empty() && FExeZip == nullptr) {
      Native().ShowMessage(std::string(command.RuntimeOnlyText));
      return;
    }
    if (command.Handler != nullptr)
      (this->*command.Handler)(uuidText, TCommandData(data->value));
    return;
  }
}

} // namespace velmora
