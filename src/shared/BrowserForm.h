// TBrowserForm: the browser view inside the main window. It sets the engine up for the app
// (document scripts, settings, start page), answers new-window and permission requests, and
// serves the app's files from the attached archive or the disk.
#pragma once

#include "EdgeEx.h"
#include "NativeLayer.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

class TExeZip;

// Where the content handler finds the file for an address, in the order it looks.
enum class TAppFileSource {
  None,          // not an app address, or found nowhere
  Archive,       // the app folder in the archive
  ProgramFolder, // beside the executable
  AbsolutePath,  // the address read as a path anywhere on disk
};

struct TAppFile {
  TAppFileSource Source = TAppFileSource::None;
  std::string Name; // the archive entry, or the disk path
};

// The trust boundary. An app document is a document whose address the host itself serves from
// the archive or from the program's folder; the host decides it from the address the document
// was loaded from, never from anything the page says. Only app documents get the bridge's
// answers and actions, permissions without asking, second windows and downloads. Documents
// served from absolute paths, remote documents and documents a page makes (data:, blob:,
// srcdoc, about:blank) are not app documents.
class TBrowserForm {
public:
  // FormCreate: creates the browser control inside Parent, which starts the engine's creation.
  explicit TBrowserForm(TNativeForm& Parent);
  // FormDestroy: frees the browser control, which closes the web view.
  ~TBrowserForm();
  TBrowserForm(const TBrowserForm&) = delete;
  TBrowserForm& operator=(const TBrowserForm&) = delete;

  TExeZip* ExeZip() const { return FExeZip; }
  void SetExeZip(TExeZip* Value) { FExeZip = Value; }
  bool IsRuntime() const { return FIsRuntime; }
  void SetIsRuntime(bool Value) { FIsRuntime = Value; }
  const std::string& AppDirPath() const { return FAppDirPath; }
  void SetAppDirPath(const std::string& Value) { FAppDirPath = Value; }
  const std::string& AppDirName() const { return FAppDirName; }
  void SetAppDirName(const std::string& Value) { FAppDirName = Value; }
  bool AllowDebug() const { return FAllowDebug; }
  void SetAllowDebug(bool Value) { FAllowDebug = Value; }
  bool WithExternal() const { return FWithExternal; }
  void SetWithExternal(bool Value) { FWithExternal = Value; }
  const std::string& RuntimeAppID() const { return FRuntimeAppID; }
  void SetRuntimeAppID(const std::string& Value) { FRuntimeAppID = Value; }
  const std::string& StartPageURL() const { return FStartPageURL; }
  void SetStartPageURL(const std::string& Value) { FStartPageURL = Value; }
  bool HandleRequests() const { return FHandleRequests; }
  void SetHandleRequests(bool Value) { FHandleRequests = Value; }
  bool AllowContextMenu() const { return FAllowContextMenu; }
  void SetAllowContextMenu(bool Value) { FAllowContextMenu = Value; }
  const std::string& WebviewJavascript() const { return FWebviewJavascript; }
  void SetWebviewJavascript(const std::string& Value) { FWebviewJavascript = Value; }
  TEdgeBrowser& EdgeBrowser() const { return *FEdgeBrowser; }
  // What starts a second instance with the given argument text (the own executable by default;
  // tests record instead).
  void SetSecondInstanceStarter(std::function<void(const std::string& Arguments)> Starter)
  {
    FStartSecondInstance = std::move(Starter);
  }

  // True once the engine reported a successful creation: only then can a page answer.
  bool WebViewCreated() const { return FWebViewCreated; }
  TNativeForm& ParentForm() const { return FParent; }

  // How the content handler answers Address (a fragment is ignored), without reading anything.
  TAppFile LocateAppFile(const std::string& Address) const;
  // Whether a document loaded from Address is an app document (archive or program folder).
  bool IsAppDocument(const std::string& Address) const;
  // The address the view's top-level document was loaded from; empty before the first.
  const std::string& DocumentAddress() const { return FDocumentAddress; }
  // Whether the view shows an app document, which can take part in the close protocol.
  bool ShowsAppDocument() const { return IsAppDocument(FDocumentAddress); }

  // The one script every document gets, as AddDocumentCreatedScripts registers it.
  std::string DocumentCreatedScript() const;

private:
  void AddDocumentCreatedScripts();
  void EdgeBrowserCreateWebViewCompleted(TCustomEdgeBrowser& Sender, THResult AResult);
  void EdgeBrowserNavigationCompleted(TCustomEdgeBrowser& Sender, bool Success);
  void EdgeBrowserNewWindowRequested(TCustomEdgeBrowser& Sender, TNewWindowRequestedEventArgs& Args);
  void EdgeBrowserPermissionRequested(TCustomEdgeBrowser& Sender, TPermissionRequestedEventArgs& Args);
  void EdgeBrowserProcessFailed(TCustomEdgeBrowser& Sender);
  void EdgeBrowserMessageReceived(TCustomEdgeBrowser& Sender, const TWebMessageReceivedEventArgs& Args);
  void EdgeBrowserWebResourceRequested(TCustomEdgeBrowser& Sender, TWebResourceRequestedEventArgs& Args);
  void EdgeBrowserContentLoading(TCustomEdgeBrowser& Sender, const std::string& Uri);
  void EdgeBrowserDownloadStarting(TCustomEdgeBrowser& Sender, TDownloadStartingEventArgs& Args);
  // Whether the content handler may answer this request at all (see the .cpp for the rules).
  bool RequestAllowed(const TWebResourceRequestedEventArgs& Args) const;
  void NavigateTo(const std::string& Url);

  TNativeForm& FParent;
  std::unique_ptr<TNativeProgressBar> FProgressBar;
  TExeZip* FExeZip = nullptr;
  bool FIsRuntime = false;
  std::string FRuntimeAppID;
  bool FWithExternal = false;
  std::string FAppDirName;
  std::string FAppDirPath;
  bool FAllowDebug = false;
  std::string FWebviewJavascript;
  bool FAllowContextMenu = false;
  std::string FStartPageURL;
  bool FHandleRequests = false;
  bool FWebViewCreated = false;
  // The top-level document shown, and the address the view itself is navigating to.
  std::string FDocumentAddress;
  std::string FPendingNavigation;
  // When the engine's content process failed lately: the page is reloaded a few times only.
  std::deque<std::chrono::steady_clock::time_point> FProcessFailures;
  std::unique_ptr<TNativeFileDialog> FDownloadDialog;
  std::function<void(const std::string& Arguments)> FStartSecondInstance;
  std::unique_ptr<TEdgeBrowser> FEdgeBrowser;
};

} // namespace velmora
