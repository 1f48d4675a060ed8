// TWin32EdgeBrowser: the browser control on the WebView2 COM interface.
#pragma once

#include "EdgeEx.h"
#include "WebView2Abi.h"
#include "Win32Form.h"
#include "Win32Support.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Fills the client area of a main form. Creation starts on the next turn of the message loop: the
// loader library is loaded from LoaderPath, the environment is made without options (the process
// environment carries the profile folder and the browser arguments), then a controller on the
// client area; OnCreateWebViewCompleted reports the outcome once. Every event arrives on the UI
// thread through the engine's callbacks.
//
// WebView2 differs from the other engines in what it tells: a web message names its sender's
// address (the engine's word), but the moment a new top-level document is committed is seen only
// indirectly: once the view's source is the address of the document request seen last (a reload
// included), at the latest at navigation completion; OnContentLoading is raised then. A request
// names its requester only through its Referer header, or its Origin when that is another web
// origin (a "file:" document's own origin is opaque, "null", and says nothing). Web messages,
// navigation completion, title changes and process failures are raised from the loop, never from
// inside the engine's callback, so a handler may open a modal dialog. A failed render process
// raises OnProcessFailed; a failed browser process makes the control create the engine again and
// report OnCreateWebViewCompleted once more. Downloads are left to the engine.
class TWin32EdgeBrowser final : public TCustomEdgeBrowser {
public:
  TWin32EdgeBrowser(TWin32Form& Parent, std::string LoaderPath);
  ~TWin32EdgeBrowser() override;
  TWin32EdgeBrowser(const TWin32EdgeBrowser&) = delete;
  TWin32EdgeBrowser& operator=(const TWin32EdgeBrowser&) = delete;

  void ApplySettings(const TEdgeBrowserSettings& Settings) override;
  void AddScriptToExecuteOnDocumentCreated(const std::string& Script) override;
  void AddWebResourceRequestedFilter(const std::string& Filter) override;
  void Navigate(const std::string& Url) override;
  void ExecuteScript(const std::string& Script) override;
  void PostWebMessageAsJson(const std::string& Json) override;
  void SetFocus() override;
  std::string Source() const override;

private:
  void StartCreation();
  // Drops the engine's objects and creates them again, after the browser process has gone.
  void Recreate();
  // Raises OnContentLoading when the view has committed the document requested last.
  void SyncDocument();
  void CommitDocument(const std::string& Address);
  // Runs Fn from the loop, unless the control is gone by then.
  void Later(std::function<void()> Fn);
  void EnvironmentCreated(HRESULT Result, wv2::ICoreWebView2Environment* Environment);
  void ControllerCreated(HRESULT Result, wv2::ICoreWebView2Controller* Controller);
  void RaiseCreated(HRESULT Result);
  void AddEventHandlers();
  void UpdateBounds();

  void WebMessageReceived(wv2::ICoreWebView2WebMessageReceivedEventArgs* Args);
  void WebResourceRequested(wv2::ICoreWebView2WebResourceRequestedEventArgs* Args);
  void NewWindowRequested(wv2::ICoreWebView2NewWindowRequestedEventArgs* Args);
  void PermissionRequested(wv2::ICoreWebView2PermissionRequestedEventArgs* Args);
  void NavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* Args);
  void ProcessFailed(wv2::ICoreWebView2ProcessFailedEventArgs* Args);
  void DocumentTitleChanged();

public:
  // Counts the top-level documents the view has committed; a reply goes only to the document it
  // was counted for.
  unsigned DocumentGeneration() const { return FDocumentGeneration; }

private:
  TWin32Form& FParent;
  std::string FLoaderPath;
  HMODULE FLoader = nullptr;
  TComPtr<wv2::ICoreWebView2Environment> FEnvironment;
  TComPtr<wv2::ICoreWebView2Controller> FController;
  TComPtr<wv2::ICoreWebView2> FWebView;
  TComPtr<wv2::ICoreWebView2Settings> FSettings;
  std::vector<std::string> FPendingScripts; // asked for before the engine existed
  std::vector<std::string> FPendingFilters;
  std::string FPendingNavigation;
  std::optional<TEdgeBrowserSettings> FPendingSettings;
  std::string FDocumentAddress; // the committed top-level document
  std::string FPendingDocument; // the document request seen last, not yet committed
  unsigned FDocumentGeneration = 0;
  bool FCreationReported = false;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace velmora
