// TBrowserForm: the browser view inside the main window. It sets the engine up for the app
// (document scripts, settings, start page), answers new-window and permission requests, and
// serves the app's files from the attached archive or the disk.
#pragma once

#include "EdgeEx.h"
#include "NativeLayer.h"

#include <memory>
#include <string>

namespace velmora {

class TExeZip;

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

  // True once the engine reported a successful creation: only then can a page answer.
  bool WebViewCreated() const { return FWebViewCreated; }
  TNativeForm& ParentForm() const { return FParent; }

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
  std::unique_ptr<TEdgeBrowser> FEdgeBrowser;
};

// Whether an address belongs to the app's own documents ("file:" addresses as the view sees
// them): only those may use the bridge and get permissions without asking.
bool IsAppDocumentAddress(const std::string& Address);

} // namespace velmora
