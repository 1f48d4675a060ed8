// TGtkEdgeBrowser: the browser control on Linux, a WebKitGTK web view filling a form's client area.
//
// App documents are served from memory under the "velmora://app/" scheme, because WebKit lets no
// program answer "file:" requests. The owner never sees that scheme: every address it gives
// (Navigate) or gets (Source, events) uses "file:///X", and the control translates between
// "file:///X" and "velmora://app/X" in both directions. Other addresses (https, data, about)
// pass unchanged. Real "file:" documents never load in the view (navigations to them are
// refused), so a "file:///" address always means an app document.
//
// What WebKitGTK allows, and so what this control does:
// - OnWebResourceRequested is raised only for app-scheme requests (documents, style sheets,
//   scripts, modules, fetch/XHR, images, fonts, workers), and only for addresses that match a
//   filter added with AddWebResourceRequestedFilter. Requests of other schemes (http, https,
//   data, blob) are loaded by WebKit itself and are never raised: WebKit offers no hook to
//   answer them. An app request that no handler answers fails with "not found", which shows
//   WebKit's error page (or an empty page when BuiltInErrorPageEnabled is false).
// - Audio and video elements cannot load an app address: WebKitGTK's media player accepts only
//   http, https, file, data and blob sources. So app documents get their media through a loopback
//   route (TGtkMediaServer): a script in the bridge world points media elements that name app
//   files at the route, whose requests raise OnWebResourceRequested like the scheme's, byte
//   ranges included.
// - Web messages travel through a page-side window.chrome.webview installed before any other
//   script in every document. The address a message reports is read, when the document starts,
//   by a script in an isolated script world, where the page can neither reach the message channel
//   nor alter what it reads. Each message is a script message with a reply: the reply target it
//   carries answers the promise of that one post, so a reply reaches the sending document (frame
//   or not) and nothing else, and is dropped once that document is gone.
// - Who makes an app-scheme request is read from its headers: a foreign Origin names the origin,
//   otherwise the Referer names the document; WebKit itself refuses other origins' loads of the
//   app scheme (it is registered as local), except synchronous XMLHttpRequests, which carry an
//   Origin. Bodies are GInputStreams over the owner's TWebResourceBody, which WebKit reads in
//   GLib's worker threads, so no body is read on the UI thread.
// - Downloads are decided by the owner (OnDownloadStarting) after the response arrives; without
//   an answer they are cancelled.
// - A new window that the owner leaves to the engine opens as a popup window of this control.
//   WebKit gives a popup its opener's user content, so the owner's document scripts run in it
//   and its messages arrive through OnWebMessageReceived (with the popup document's address as
//   Source); PostWebMessageAsJson reaches the main view only. Popups close with the control.
// - StatusBarEnabled has no effect: WebKitGTK has no status bar. WebKitGTK zooms the page
//   neither on Ctrl+wheel nor on Ctrl+plus/minus by itself; touchpad pinch events are kept from
//   the view while ZoomControlEnabled is false.
#pragma once

#include "GtkForm.h"
#include "GtkMediaServer.h"

#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TGtkEdgeBrowser final : public TCustomEdgeBrowser {
public:
  // Builds the engine at once and packs the view into Parent's client area; completion is raised
  // from an idle callback, so the owner can assign handlers and settings first. DataFolder is
  // the engine's profile folder ("data" and "cache" beneath it); empty gives an ephemeral one.
  // With an automation name, a WebDriver session may drive the view (see OnAutomationStarted).
  TGtkEdgeBrowser(TGtkForm& Parent, const std::string& DataFolder,
                  const std::optional<std::string>& AutomationName = std::nullopt);
  ~TGtkEdgeBrowser() override;

  TGtkEdgeBrowser(const TGtkEdgeBrowser&) = delete;
  TGtkEdgeBrowser& operator=(const TGtkEdgeBrowser&) = delete;

  void ApplySettings(const TEdgeBrowserSettings& Settings) override;
  void AddScriptToExecuteOnDocumentCreated(const std::string& Script) override;
  void AddWebResourceRequestedFilter(const std::string& Filter) override;
  void Navigate(const std::string& Url) override;
  void ExecuteScript(const std::string& Script) override;
  void PostWebMessageAsJson(const std::string& Json) override;
  void SetFocus() override;
  std::string Source() const override;

  // The web view (null when creation failed); for the platform layer's own use.
  WebKitWebView* WebView() const { return FView; }

  // "file:///X" -> "velmora://app/X"; any other address unchanged.
  static std::string ToEngineUri(std::string_view Uri);
  // "velmora://app/X" -> "file:///X"; any other address unchanged.
  static std::string ToViewUri(std::string_view Uri);
  // A resource filter as WebView2 reads it: "*" matches any run of characters, "?" any one.
  static bool MatchesFilter(std::string_view Filter, std::string_view Uri);

  // The URI scheme that carries app documents, and the host under which they live.
  static constexpr const char* kAppScheme = "velmora";
  static constexpr const char* kAppPrefix = "velmora://app/";

private:
  struct TSchemeBinding;

  void CreateEngine();
  void RaiseCreated();
  void ServeAppRequest(WebKitURISchemeRequest* Request);
  std::optional<TWebResourceResponse> ServeMediaRequest(const std::string& Uri, const std::string& Range);
  // Raises OnWebResourceRequested when a filter matches the address; the handler may free the
  // control.
  void RaiseResourceRequest(TWebResourceRequestedEventArgs& Args);
  void ReceiveBridgeMessage(JSCValue* Value, WebKitScriptMessageReply* Reply);
  void LoadChanged(WebKitLoadEvent Event);
  void DecideDownload(WebKitDownload* Download, const std::string& SuggestedFileName);
  void RunScript(const std::string& Script);
  GtkWidget* OpenPopup(WebKitWebView* Opener);
  void ForgetPopup(GtkWidget* Window);
  bool NewWindowAllowed(const std::string& EngineUri);

  // GLib callbacks; user data is the control unless said otherwise.
  static gboolean OnIdleCompleted(gpointer Self);
  static void OnSchemeRequest(WebKitURISchemeRequest* Request, gpointer Binding);
  static void OnSchemeBindingFreed(gpointer Binding);
  static gboolean OnScriptMessage(WebKitUserContentManager* Manager, JSCValue* Value, WebKitScriptMessageReply* Reply,
                                  gpointer Self);
  static void OnDownloadStarted(WebKitWebContext* Context, WebKitDownload* Download, gpointer Self);
  static void OnAutomationStarted(WebKitWebContext* Context, WebKitAutomationSession* Session, gpointer Self);
  static WebKitWebView* OnAutomationCreateWebView(WebKitAutomationSession* Session, gpointer Self);
  static gboolean OnDecideDestination(WebKitDownload* Download, gchar* SuggestedFileName, gpointer Self);
  // A download waiting for the owner's decision, which the main loop delivers.
  struct TPendingDownload;
  static gboolean RunDownloadDecision(gpointer Pending);
  static void FreeDownloadDecision(gpointer Pending);
  static void OnLoadChanged(WebKitWebView* View, WebKitLoadEvent Event, gpointer Self);
  static gboolean OnLoadFailed(WebKitWebView* View, WebKitLoadEvent Event, gchar* Uri, GError* Error, gpointer Self);
  static void OnTitleChanged(GObject* View, GParamSpec* Param, gpointer Self);
  static gboolean OnDecidePolicy(WebKitWebView* View, WebKitPolicyDecision* Decision, WebKitPolicyDecisionType Type,
                                 gpointer Self);
  static gboolean OnPopupDecidePolicy(WebKitWebView* View, WebKitPolicyDecision* Decision,
                                      WebKitPolicyDecisionType Type, gpointer Unused);
  static bool RefuseFileNavigation(WebKitPolicyDecision* Decision, WebKitPolicyDecisionType Type);
  static GtkWidget* OnCreate(WebKitWebView* View, WebKitNavigationAction* Action, gpointer Self);
  static gboolean OnPermissionRequest(WebKitWebView* View, WebKitPermissionRequest* Request, gpointer Self);
  static void OnProcessTerminated(WebKitWebView* View, WebKitWebProcessTerminationReason Reason, gpointer Self);
  static gboolean OnContextMenu(WebKitWebView* View, WebKitContextMenu* Menu, GdkEvent* Event, WebKitHitTestResult* Hit,
                                gpointer Self);
  static gboolean OnViewEvent(GtkWidget* View, GdkEvent* Event, gpointer Self);
  static void OnPopupDestroyed(GtkWidget* Window, gpointer Self);
  static void OnPopupReady(WebKitWebView* View, gpointer Window);
  static void OnPopupClose(WebKitWebView* View, gpointer Window);
  static void OnPopupTitle(GObject* View, GParamSpec* Param, gpointer Window);

  TGtkForm& FParent;
  std::string FDataFolder;
  std::optional<std::string> FAutomationName;
  WebKitAutomationSession* FAutomationSession = nullptr; // the session driving the view, if any
  TEdgeBrowserSettings FSettings;
  std::vector<std::string> FFilters;

  WebKitWebContext* FContext = nullptr;
  WebKitUserContentManager* FContentManager = nullptr;
  WebKitWebView* FView = nullptr;
  TSchemeBinding* FBinding = nullptr;
  std::vector<GtkWidget*> FPopups;
  std::unique_ptr<TGtkMediaServer> FMediaServer;
  // The address the top-level document was loaded from, as the owner sees it ("" for an error page).
  std::string FDocumentUri;

  guint FCompletionSource = 0;
  bool FCreationFailed = false;
  bool FCreated = false;
  // Set by load-failed, read by the FINISHED that always follows it, so a failed load
  // completes once, as a failure.
  bool FLoadFailed = false;
  // An error page (WebKit's, or the empty one) is about to load (FErrorPagePending), or the
  // running load is that page (FLoadIsErrorPage): its completion is not one of the owner's
  // navigations.
  bool FErrorPagePending = false;
  bool FLoadIsErrorPage = false;
  // The address of the last new window the owner let through in decide-policy: the "create"
  // that follows for it must not ask again.
  std::string FAllowedNewWindow;
  // Cleared when the control is destroyed, so a callback can tell whether the owner freed the
  // control from inside an event handler before it touches the control again.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace velmora
