// TGtkEdgeBrowser: the WebKitGTK browser control (app scheme, web message bridge, engine events).
#include "GtkEdgeBrowser.h"

#include "BoundedJson.h"
#include "Limits.h"
#include "StrUtils.h"
#include "TextHelpers.h"

#include "GtkBodyStreams.h"
#include "GtkEdgeBrowserScripts.h"
#include "GtkSupport.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace velmora {

namespace {

namespace Scripts = GtkEdgeBrowserScripts;

constexpr std::string_view kFilePrefix = "file:///";
constexpr std::string_view kEnginePrefix = TGtkEdgeBrowser::kAppPrefix;

using text::StartsWithIgnoringCase;

// Raises an event through a copy of its handler, so a handler that replaces itself (or the
// control's owner replacing it meanwhile) does not destroy the function that is running. Every
// event is raised from a GLib callback, so nothing the owner throws may leave: it is reported
// and the event ends as if unhandled.
template <typename THandler, typename... TArgs>
void Raise(const THandler& Handler, TArgs&&... Args)
{
  GuardedCall("an event handler of the browser control", [&] {
    THandler Copy = Handler;
    if (Copy)
      Copy(std::forward<TArgs>(Args)...);
  });
}

void AddUserScript(WebKitUserContentManager* Manager, const char* Source, const char* World)
{
  WebKitUserScript* Script =
    World ? webkit_user_script_new_for_world(Source, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, World, nullptr, nullptr)
          : webkit_user_script_new(Source, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(Manager, Script);
  webkit_user_script_unref(Script);
}

// The short name the owner sees for a permission request.
std::string PermissionKind(WebKitPermissionRequest* Request)
{
  if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(Request)) {
    auto* Media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(Request);
    if (webkit_user_media_permission_is_for_display_device(Media))
      return "display-capture";
    const bool Video = webkit_user_media_permission_is_for_video_device(Media) != FALSE;
    const bool Audio = webkit_user_media_permission_is_for_audio_device(Media) != FALSE;
    if (Video && Audio)
      return "media";
    return Video ? "camera" : "microphone";
  }
  if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(Request))
    return "geolocation";
  if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(Request))
    return "notifications";
  if (WEBKIT_IS_CLIPBOARD_PERMISSION_REQUEST(Request))
    return "clipboard";
  if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(Request))
    return "device-info";
  if (WEBKIT_IS_POINTER_LOCK_PERMISSION_REQUEST(Request))
    return "pointer-lock";
  if (WEBKIT_IS_MEDIA_KEY_SYSTEM_PERMISSION_REQUEST(Request))
    return "media-key-system";
  if (WEBKIT_IS_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(Request))
    return "website-data-access";
  if (WEBKIT_IS_INSTALL_MISSING_MEDIA_PLUGINS_PERMISSION_REQUEST(Request))
    return "media-plugins";
  return "other";
}

// The response the scheme handler gives WebKit for the owner's answer, with its body as Stream
// (taken) of Length bytes (-1: unknown).
WebKitURISchemeResponse* MakeSchemeResponse(const TWebResourceResponse& Answer, GInputStream* Stream, gint64 Length)
{
  WebKitURISchemeResponse* Response = webkit_uri_scheme_response_new(Stream, Length);
  g_object_unref(Stream);

  const guint Status =
    Answer.StatusCode >= 100 && Answer.StatusCode <= 999 ? static_cast<guint>(Answer.StatusCode) : 200U;
  const char* Phrase = Answer.ReasonPhrase.empty() ? soup_status_get_phrase(Status) : Answer.ReasonPhrase.c_str();
  webkit_uri_scheme_response_set_status(Response, Status, Phrase);

  // WebKit takes the MIME type and the charset from set_content_type; the same value also goes
  // among the HTTP headers, which is what scripts see through fetch and XHR.
  SoupMessageHeaders* Headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  std::string_view Rest = Answer.Headers;
  while (!Rest.empty()) {
    const std::size_t End = Rest.find('\n');
    const std::string_view Line = Rest.substr(0, End);
    Rest = End == std::string_view::npos ? std::string_view() : Rest.substr(End + 1);
    const std::size_t Colon = Line.find(':');
    if (Colon == std::string_view::npos)
      continue;
    const std::string Name(text::TrimBlanks(Line.substr(0, Colon)));
    const std::string Value(text::TrimBlanks(Line.substr(Colon + 1)));
    if (Name.empty())
      continue;
    if (g_ascii_strcasecmp(Name.c_str(), "Content-Type") == 0) {
      webkit_uri_scheme_response_set_content_type(Response, Value.c_str());
      soup_message_headers_replace(Headers, Name.c_str(), Value.c_str());
    } else {
      soup_message_headers_append(Headers, Name.c_str(), Value.c_str());
    }
  }
  webkit_uri_scheme_response_set_http_headers(Response, Headers); // takes the headers
  return Response;
}

// The UTF-8 text of a string value.
std::optional<std::string> StringOf(JSCValue* Value)
{
  std::optional<std::string> Text;
  if (GBytes* Bytes = jsc_value_to_string_as_bytes(Value)) {
    gsize Size = 0;
    const auto* Data = static_cast<const char*>(g_bytes_get_data(Bytes, &Size));
    Text.emplace(Data != nullptr ? Data : "", Data != nullptr ? Size : 0);
    g_bytes_unref(Bytes);
  }
  return Text;
}

// A string property of a script message's value; nothing when it is missing or not a string.
std::optional<std::string> StringProperty(JSCValue* Object, const char* Name)
{
  JSCValue* Property = jsc_value_object_get_property(Object, Name);
  std::optional<std::string> Text;
  if (Property && jsc_value_is_string(Property))
    Text = StringOf(Property);
  if (Property)
    g_object_unref(Property);
  return Text;
}

// The reply of one script message: it answers the promise of that post in the document that made
// it. Released without a reply, WebKit answers undefined, which the bridge world ignores.
class TGtkReplyTarget final : public TWebMessageReplyTarget {
public:
  TGtkReplyTarget(WebKitScriptMessageReply* Reply, JSCContext* Context)
    : FReply(webkit_script_message_reply_ref(Reply)), FContext(JSC_CONTEXT(g_object_ref(Context)))
  {}
  ~TGtkReplyTarget() override
  {
    webkit_script_message_reply_unref(FReply);
    g_object_unref(FContext);
  }
  TGtkReplyTarget(const TGtkReplyTarget&) = delete;
  TGtkReplyTarget& operator=(const TGtkReplyTarget&) = delete;

  void PostWebMessageAsJson(const std::string& Json) override
  {
    // One reply per message; the text goes as a string, which the page's side parses, so it can
    // never run as code.
    if (FReplied)
      return;
    FReplied = true;
    GBytes* Bytes = g_bytes_new_static(Json.data(), Json.size()); // copied into the value
    JSCValue* Value = jsc_value_new_string_from_bytes(FContext, Bytes);
    g_bytes_unref(Bytes);
    webkit_script_message_reply_return_value(FReply, Value);
    g_object_unref(Value);
  }

private:
  WebKitScriptMessageReply* FReply;
  JSCContext* FContext;
  bool FReplied = false;
};

// "velmora://app" is the origin of every app-scheme document.
bool IsAppOrigin(std::string_view Origin)
{
  return Origin.size() == kEnginePrefix.size() - 1 && StartsWithIgnoringCase(kEnginePrefix, Origin);
}

} // namespace

// The scheme handler's user data. The context may outlive the control (a popup's view keeps it),
// so the handler reaches the control through this record, which the control clears when it goes.
struct TGtkEdgeBrowser::TSchemeBinding {
  TGtkEdgeBrowser* Owner = nullptr;
};

TGtkEdgeBrowser::TGtkEdgeBrowser(TGtkForm& Parent, const std::string& DataFolder,
                                 const std::optional<std::string>& AutomationName)
  : FParent(Parent), FDataFolder(DataFolder), FAutomationName(AutomationName)
{
  CreateEngine();
  FCompletionSource = g_idle_add(GuardedCallback<&OnIdleCompleted>, this);
}

TGtkEdgeBrowser::~TGtkEdgeBrowser()
{
  *FAlive = false;
  FMediaServer.reset();
  if (FAutomationSession != nullptr) {
    g_signal_handlers_disconnect_by_data(FAutomationSession, this);
    g_object_unref(FAutomationSession);
  }
  if (FCompletionSource != 0)
    g_source_remove(FCompletionSource);

  // Popup windows belong to this control: they go with it.
  const std::vector<GtkWidget*> Popups = FPopups;
  FPopups.clear();
  for (GtkWidget* Window : Popups) {
    g_signal_handlers_disconnect_by_data(Window, this);
    if (GtkWidget* PopupView = gtk_bin_get_child(GTK_BIN(Window))) {
      g_signal_handlers_disconnect_by_data(PopupView, this);
      g_signal_handlers_disconnect_by_data(PopupView, Window);
    }
    gtk_widget_destroy(Window);
  }

  if (FView) {
    g_signal_handlers_disconnect_by_data(FView, this);
    gtk_widget_destroy(GTK_WIDGET(FView));
    g_object_unref(FView);
  }
  if (FContentManager) {
    g_signal_handlers_disconnect_by_data(FContentManager, this);
    webkit_user_content_manager_unregister_script_message_handler_in_world(FContentManager, Scripts::kBridgeHandler,
                                                                           Scripts::kBridgeWorld);
    g_object_unref(FContentManager);
  }
  if (FBinding)
    FBinding->Owner = nullptr; // freed with the context
  if (FContext) {
    g_signal_handlers_disconnect_by_data(FContext, this);
    g_object_unref(FContext);
  }
}

void TGtkEdgeBrowser::CreateEngine()
{
  GtkBox* Area = FParent.ClientArea();
  if (!Area) {
    FCreationFailed = true;
    return;
  }

  WebKitWebsiteDataManager* DataManager = nullptr;
  if (FDataFolder.empty()) {
    DataManager = webkit_website_data_manager_new_ephemeral();
  } else {
    gchar* DataDir = g_build_filename(FDataFolder.c_str(), "data", nullptr);
    gchar* CacheDir = g_build_filename(FDataFolder.c_str(), "cache", nullptr);
    // A profile folder that cannot be made fails creation, as the engine could keep nothing.
    if (g_mkdir_with_parents(DataDir, 0700) == 0 && g_mkdir_with_parents(CacheDir, 0700) == 0)
      DataManager =
        webkit_website_data_manager_new("base-data-directory", DataDir, "base-cache-directory", CacheDir, nullptr);
    g_free(DataDir);
    g_free(CacheDir);
    if (!DataManager) {
      FCreationFailed = true;
      return;
    }
  }
  FContext = webkit_web_context_new_with_website_data_manager(DataManager);
  g_object_unref(DataManager);

  // The app scheme must behave like a web origin of its own: secure (so secure-context APIs
  // work), CORS-enabled (fetch, XHR and module scripts) and local (other origins cannot load it).
  FBinding = new TSchemeBinding{this};
  webkit_web_context_register_uri_scheme(FContext, kAppScheme, GuardedCallback<&OnSchemeRequest>, FBinding,
                                         OnSchemeBindingFreed);
  // Downloads wait for the owner's decision; none is saved silently.
  ConnectSignal<&OnDownloadStarted>(FContext, "download-started", this);
  WebKitSecurityManager* Security = webkit_web_context_get_security_manager(FContext);
  webkit_security_manager_register_uri_scheme_as_secure(Security, kAppScheme);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(Security, kAppScheme);
  webkit_security_manager_register_uri_scheme_as_local(Security, kAppScheme);

  // The shim comes first, so the owner's scripts (added later) already find chrome.webview.
  FContentManager = webkit_user_content_manager_new();
  AddUserScript(FContentManager, Scripts::kShim, nullptr);
  AddUserScript(FContentManager, Scripts::kBridge, Scripts::kBridgeWorld);
  FMediaServer = std::make_unique<TGtkMediaServer>(
    [this](const std::string& Uri, const std::string& Range) { return ServeMediaRequest(Uri, Range); });
  const std::string MediaRoute = std::string(Scripts::kMediaRoute) + "(\"" + FMediaServer->BaseUri() + "\");";
  AddUserScript(FContentManager, MediaRoute.c_str(), Scripts::kBridgeWorld);
  webkit_user_content_manager_register_script_message_handler_with_reply(FContentManager, Scripts::kBridgeHandler,
                                                                         Scripts::kBridgeWorld);
  const std::string Detailed = std::string("script-message-with-reply-received::") + Scripts::kBridgeHandler;
  ConnectSignal<&OnScriptMessage>(FContentManager, Detailed.c_str(), this);

  // Automation is allowed on the context only for the start WebKitWebDriver makes; the view must
  // then be made as one an automation session may drive.
  if (FAutomationName) {
    webkit_web_context_set_automation_allowed(FContext, TRUE);
    ConnectSignal<&OnAutomationStarted>(FContext, "automation-started", this);
  }
  FView =
    WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", FContext, "user-content-manager", FContentManager,
                                 "is-controlled-by-automation", FAutomationName ? TRUE : FALSE, nullptr));
  g_object_ref_sink(FView);

  WebKitSettings* Settings = webkit_web_view_get_settings(FView);
  // getUserMedia exists only with media streams on; its requests then reach the owner.
  webkit_settings_set_enable_media_stream(Settings, TRUE);
  // WebKit gives each document of a local scheme an origin of its own unless file access from
  // file URLs is allowed; without this, app documents could not start workers from their own
  // folder, and fetch, XHR and module scripts would be refused as cross-origin. Real "file:"
  // documents, the other thing the setting concerns, never load in this view (see decide-policy).
  webkit_settings_set_allow_file_access_from_file_urls(Settings, TRUE);
  // Every window.open reaches OnNewWindowRequested, whose handler decides; WebKit's own popup
  // blocker would drop those without a user gesture before the owner is asked.
  webkit_settings_set_javascript_can_open_windows_automatically(Settings, TRUE);
  ApplySettings(FSettings);

  ConnectSignal<&OnLoadChanged>(FView, "load-changed", this);
  ConnectSignal<&OnLoadFailed>(FView, "load-failed", this);
  ConnectSignal<&OnTitleChanged>(FView, "notify::title", this);
  ConnectSignal<&OnDecidePolicy>(FView, "decide-policy", this);
  ConnectSignal<&OnCreate>(FView, "create", this);
  ConnectSignal<&OnPermissionRequest>(FView, "permission-request", this);
  ConnectSignal<&OnProcessTerminated>(FView, "web-process-terminated", this);
  ConnectSignal<&OnContextMenu>(FView, "context-menu", this);
  ConnectSignal<&OnViewEvent>(FView, "event", this);

  gtk_box_pack_start(Area, GTK_WIDGET(FView), TRUE, TRUE, 0);
  gtk_widget_show(GTK_WIDGET(FView));
}

// A WebDriver session began: it is told the application's name (the driver compares it with a
// requested "browserName") and, when it asks for a browsing context, gets the app's own view, so
// the driver acts on the packaged app's page.
void TGtkEdgeBrowser::OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession* Session, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  WebKitApplicationInfo* Info = webkit_application_info_new();
  webkit_application_info_set_name(Info, Browser->FAutomationName->c_str());
  webkit_application_info_set_version(Info, 1, 0, 0);
  webkit_automation_session_set_application_info(Session, Info);
  webkit_application_info_unref(Info);
  if (Browser->FAutomationSession != nullptr) {
    g_signal_handlers_disconnect_by_data(Browser->FAutomationSession, Browser);
    g_object_unref(Browser->FAutomationSession);
  }
  Browser->FAutomationSession = WEBKIT_AUTOMATION_SESSION(g_object_ref(Session));
  ConnectSignal<&OnAutomationCreateWebView>(Session, "create-web-view", Browser);
}

WebKitWebView* TGtkEdgeBrowser::OnAutomationCreateWebView(WebKitAutomationSession*, gpointer Self)
{
  return static_cast<TGtkEdgeBrowser*>(Self)->FView; // owned by the control
}

gboolean TGtkEdgeBrowser::OnIdleCompleted(gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  Browser->FCompletionSource = 0;
  Browser->RaiseCreated();
  return G_SOURCE_REMOVE;
}

void TGtkEdgeBrowser::RaiseCreated()
{
  FCreated = !FCreationFailed;
  Raise(OnCreateWebViewCompleted, *this, FCreationFailed ? kEFail : kSOk);
}

// ---------------------------------------------------------------------------------------------
// Addresses

std::string TGtkEdgeBrowser::ToEngineUri(std::string_view Uri)
{
  if (StartsWithIgnoringCase(Uri, kFilePrefix))
    return std::string(kEnginePrefix) + std::string(Uri.substr(kFilePrefix.size()));
  return std::string(Uri);
}

std::string TGtkEdgeBrowser::ToViewUri(std::string_view Uri)
{
  if (StartsWithIgnoringCase(Uri, kEnginePrefix))
    return std::string(kFilePrefix) + std::string(Uri.substr(kEnginePrefix.size()));
  // The URL parser keeps "velmora://app" without a path as it is.
  if (Uri.size() == kEnginePrefix.size() - 1 && StartsWithIgnoringCase(kEnginePrefix, Uri))
    return std::string(kFilePrefix);
  return std::string(Uri);
}

bool TGtkEdgeBrowser::MatchesFilter(std::string_view Filter, std::string_view Uri)
{
  return MatchesWildcard(Filter, Uri);
}

// ---------------------------------------------------------------------------------------------
// Owner's calls

void TGtkEdgeBrowser::ApplySettings(const TEdgeBrowserSettings& Settings)
{
  FSettings = Settings;
  if (!FView)
    return;
  WebKitSettings* Engine = webkit_web_view_get_settings(FView);
  webkit_settings_set_enable_javascript(Engine, Settings.ScriptEnabled);
  // Developer extras give both the inspector and its "Inspect Element" menu item.
  webkit_settings_set_enable_developer_extras(Engine, Settings.DevToolsEnabled);
  // The remaining settings are read when their event happens: WebMessageEnabled (messages),
  // BuiltInErrorPageEnabled (load-failed), DefaultContextMenusEnabled (context-menu),
  // ZoomControlEnabled (pinch). WebKitGTK has no status bar.
}

void TGtkEdgeBrowser::AddScriptToExecuteOnDocumentCreated(const std::string& Script)
{
  if (FContentManager)
    AddUserScript(FContentManager, Script.c_str(), nullptr);
}

void TGtkEdgeBrowser::AddWebResourceRequestedFilter(const std::string& Filter)
{
  if (std::find(FFilters.begin(), FFilters.end(), Filter) == FFilters.end())
    FFilters.push_back(Filter);
}

void TGtkEdgeBrowser::Navigate(const std::string& Url)
{
  if (FView)
    webkit_web_view_load_uri(FView, ToEngineUri(Url).c_str());
}

void TGtkEdgeBrowser::ExecuteScript(const std::string& Script)
{
  if (FCreated)
    RunScript(Script);
}

void TGtkEdgeBrowser::PostWebMessageAsJson(const std::string& Json)
{
  if (!FCreated || !FSettings.WebMessageEnabled)
    return;
  // The text goes into a script as an expression, so it must be one JSON value and nothing
  // more: anything else could run as code in the page.
  rapidjson::Document Parsed;
  if (!ParseBoundedJson(Parsed, Json, TJsonNumbers::AsValues)) {
    g_warning("PostWebMessageAsJson: not JSON (%s at %zu)", rapidjson::GetParseError_En(Parsed.GetParseError()),
              Parsed.GetErrorOffset());
    return;
  }
  RunScript("(function (value) {\n"
            "  var webview = window.chrome && window.chrome.webview;\n"
            "  if (webview && webview.__velmoraDeliver)\n"
            "    webview.__velmoraDeliver(value);\n"
            "})(\n" +
            Json + "\n);");
}

void TGtkEdgeBrowser::RunScript(const std::string& Script)
{
  if (FView)
    webkit_web_view_evaluate_javascript(FView, Script.c_str(), static_cast<gssize>(Script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

void TGtkEdgeBrowser::SetFocus()
{
  if (FView)
    gtk_widget_grab_focus(GTK_WIDGET(FView));
}

std::string TGtkEdgeBrowser::Source() const
{
  const char* Uri = FView ? webkit_web_view_get_uri(FView) : nullptr;
  return Uri ? ToViewUri(Uri) : std::string();
}

// ---------------------------------------------------------------------------------------------
// App scheme

void TGtkEdgeBrowser::OnSchemeRequest(WebKitURISchemeRequest* Request, gpointer Binding)
{
  TGtkEdgeBrowser* Owner = static_cast<TSchemeBinding*>(Binding)->Owner;
  bool Finished = false;
  if (Owner) {
    g_object_ref(Request);
    GuardedCall("an app request", [&] {
      Owner->ServeAppRequest(Request);
      Finished = true;
    });
  }
  // Every request gets an answer, also when the control is gone or serving it failed.
  if (!Finished) {
    GError* Error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "The request could not be served");
    webkit_uri_scheme_request_finish_error(Request, Error);
    g_error_free(Error);
  }
  if (Owner)
    g_object_unref(Request);
}

void TGtkEdgeBrowser::OnSchemeBindingFreed(gpointer Binding) { delete static_cast<TSchemeBinding*>(Binding); }

void TGtkEdgeBrowser::ServeAppRequest(WebKitURISchemeRequest* Request)
{
  TWebResourceRequestedEventArgs Args;
  Args.Uri = ToViewUri(webkit_uri_scheme_request_get_uri(Request));
  // Who asks: a foreign origin is all the engine tells of a cross-origin request; otherwise the
  // referrer names the document (a blob: document keeps its creator's origin in its address).
  SoupMessageHeaders* RequestHeaders = webkit_uri_scheme_request_get_http_headers(Request);
  const char* Origin = RequestHeaders ? soup_message_headers_get_one(RequestHeaders, "Origin") : nullptr;
  const char* Referer = RequestHeaders ? soup_message_headers_get_one(RequestHeaders, "Referer") : nullptr;
  if (Origin && !IsAppOrigin(Origin)) {
    Args.Requester = Origin;
  } else if (Referer) {
    const std::string_view Address = Referer;
    Args.Requester =
      StartsWithIgnoringCase(Address, "blob:") ? "blob:" + ToViewUri(Address.substr(5)) : ToViewUri(Address);
  } else if (Origin) {
    Args.Requester = "file://";
  }
  Args.FromPopup = webkit_uri_scheme_request_get_web_view(Request) != FView;
  if (const char* Range = RequestHeaders ? soup_message_headers_get_one(RequestHeaders, "Range") : nullptr)
    Args.Range = Range;
  // The handler may free this control; only Args and Request are used after it.
  RaiseResourceRequest(Args);

  if (!Args.Response) {
    GError* Error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found: %s", Args.Uri.c_str());
    webkit_uri_scheme_request_finish_error(Request, Error);
    g_error_free(Error);
    return;
  }
  // A small body is read whole beside the UI thread before the answer goes; a larger one streams.
  const TWebResourceBodyPtr Body = Args.Response->Body;
  const int64_t Length = Body ? Body->Length() : 0;
  if (Body && Length >= 0 && Length <= kWholeBodyBytes) {
    g_object_ref(Request);
    ReadBodyInBackground(
      Body, kWholeBodyBytes, [Request, Answer = std::move(*Args.Response)](TResult<std::string> Bytes) {
        if (Bytes) {
          auto* Held = new std::string(std::move(Bytes.Value()));
          GBytes* Data = g_bytes_new_with_free_func(
            Held->data(), Held->size(), [](gpointer Text) { delete static_cast<std::string*>(Text); }, Held);
          GInputStream* Stream = g_memory_input_stream_new_from_bytes(Data);
          const auto Size = static_cast<gint64>(g_bytes_get_size(Data));
          g_bytes_unref(Data);
          WebKitURISchemeResponse* Response = MakeSchemeResponse(Answer, Stream, Size);
          webkit_uri_scheme_request_finish_with_response(Request, Response);
          g_object_unref(Response);
        } else {
          GError* Error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, Bytes.Error().c_str());
          webkit_uri_scheme_request_finish_error(Request, Error);
          g_error_free(Error);
        }
        g_object_unref(Request);
      });
    return;
  }
  GInputStream* Stream = Body ? NewPrefetchStream(Body) : g_memory_input_stream_new();
  WebKitURISchemeResponse* Response = MakeSchemeResponse(*Args.Response, Stream, Length);
  webkit_uri_scheme_request_finish_with_response(Request, Response);
  g_object_unref(Response);
}

std::optional<TWebResourceResponse> TGtkEdgeBrowser::ServeMediaRequest(const std::string& Uri, const std::string& Range)
{
  // The route's secret is the credential: the request comes from an app document's media
  // element, which the engine does not name, so it is judged as the view's own requests are.
  TWebResourceRequestedEventArgs Args;
  Args.Uri = Uri;
  Args.Range = Range;
  RaiseResourceRequest(Args);
  return std::move(Args.Response);
}

void TGtkEdgeBrowser::RaiseResourceRequest(TWebResourceRequestedEventArgs& Args)
{
  const bool Wanted = std::any_of(FFilters.begin(), FFilters.end(),
                                  [&](const std::string& Filter) { return MatchesFilter(Filter, Args.Uri); });
  if (Wanted)
    Raise(OnWebResourceRequested, *this, Args);
}

// ---------------------------------------------------------------------------------------------
// Web messages

gboolean TGtkEdgeBrowser::OnScriptMessage(WebKitUserContentManager*, JSCValue* Value, WebKitScriptMessageReply* Reply,
                                          gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  Browser->ReceiveBridgeMessage(Value, Reply);
  return TRUE;
}

void TGtkEdgeBrowser::ReceiveBridgeMessage(JSCValue* Value, WebKitScriptMessageReply* Reply)
{
  if (!FSettings.WebMessageEnabled || !Value)
    return;
  // The envelope's texts are taken as they are: the message itself is parsed once, by its reader.
  std::string Source;
  std::string Json;
  std::optional<std::string> AsString;
  if (jsc_value_is_string(Value)) {
    // "j" or "s", the sender's address, a line break, the message.
    std::optional<std::string> Envelope = StringOf(Value);
    const size_t Break = Envelope ? Envelope->find('\n') : std::string::npos;
    if (Break == std::string::npos || Break == 0 || ((*Envelope)[0] != 'j' && (*Envelope)[0] != 's'))
      return;
    Source = Envelope->substr(1, Break - 1);
    if ((*Envelope)[0] == 's')
      AsString.emplace(*Envelope, Break + 1);
    else
      Json.assign(*Envelope, Break + 1);
  } else if (jsc_value_is_object(Value)) {
    std::optional<std::string> Address = StringProperty(Value, "source");
    if (!Address)
      return;
    Source = std::move(*Address);
    AsString = StringProperty(Value, "string");
    if (!AsString) {
      std::optional<std::string> Posted = StringProperty(Value, "json");
      if (!Posted)
        return;
      Json = std::move(*Posted);
    }
  } else {
    return;
  }
  if (AsString) {
    if (AsString->size() > kMaxBridgeMessageBytes)
      return;
    Json = TStrUtils::StringToJsonString(*AsString);
  }
  auto Target = std::make_shared<TGtkReplyTarget>(Reply, jsc_value_get_context(Value));
  const TWebMessageReceivedEventArgs Args(ToViewUri(Source), std::move(Json), std::move(AsString), std::move(Target));
  Raise(OnWebMessageReceived, *this, Args);
}

// ---------------------------------------------------------------------------------------------
// Loading and the document

void TGtkEdgeBrowser::OnLoadChanged(WebKitWebView*, WebKitLoadEvent Event, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  Browser->LoadChanged(Event);
}

void TGtkEdgeBrowser::LoadChanged(WebKitLoadEvent Event)
{
  TGtkEdgeBrowser* Browser = this;
  if (Event == WEBKIT_LOAD_COMMITTED) {
    // An error page is no document of the owner's: it is reported as no address at all.
    const char* Uri = webkit_web_view_get_uri(FView);
    FDocumentUri = FLoadIsErrorPage || !Uri ? std::string() : ToViewUri(Uri);
    Raise(OnContentLoading, *this, FDocumentUri);
  } else if (Event == WEBKIT_LOAD_STARTED) {
    // Loads start in the order they were asked for, so the error page, asked for while the
    // failure was reported, starts before any navigation the owner began in its handler.
    Browser->FLoadFailed = false;
    Browser->FLoadIsErrorPage = Browser->FErrorPagePending;
    Browser->FErrorPagePending = false;
  } else if (Event == WEBKIT_LOAD_FINISHED) {
    // The error page is a load of its own that belongs to the failed navigation, which has
    // completed already.
    if (Browser->FLoadIsErrorPage) {
      Browser->FLoadIsErrorPage = false;
      return;
    }
    const bool Success = !Browser->FLoadFailed;
    Browser->FLoadFailed = false;
    Raise(Browser->OnNavigationCompleted, *Browser, Success);
  }
}

gboolean TGtkEdgeBrowser::OnLoadFailed(WebKitWebView* View, WebKitLoadEvent, gchar* Uri, GError* Error, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  Browser->FLoadFailed = true;
  // For these WebKit shows no error page: the load was replaced or handed elsewhere.
  if (g_error_matches(Error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(Error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD) ||
      g_error_matches(Error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
    return FALSE;
  // Either page is a load of its own, the next one to start.
  Browser->FErrorPagePending = Uri != nullptr;
  if (Browser->FSettings.BuiltInErrorPageEnabled)
    return FALSE; // WebKit's own handler, which runs next, loads its error page
  // Without the error page the view shows an empty document rather than the previous one.
  if (Uri)
    webkit_web_view_load_alternate_html(View, "", Uri, nullptr);
  return TRUE;
}

void TGtkEdgeBrowser::OnTitleChanged(GObject*, GParamSpec*, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  // An empty title is a title too: a page that clears its title clears the caption that follows it.
  const char* Title = webkit_web_view_get_title(Browser->FView);
  Raise(Browser->OnDocumentTitleChanged, *Browser, std::string(Title ? Title : ""));
}

void TGtkEdgeBrowser::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  Raise(Browser->OnProcessFailed, *Browser);
}

// ---------------------------------------------------------------------------------------------
// New windows

bool TGtkEdgeBrowser::NewWindowAllowed(const std::string& EngineUri)
{
  TNewWindowRequestedEventArgs Args;
  Args.Uri = ToViewUri(EngineUri);
  Raise(OnNewWindowRequested, *this, Args);
  return !Args.Handled;
}

gboolean TGtkEdgeBrowser::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* Decision, WebKitPolicyDecisionType Type,
                                         gpointer Self)
{
  if (RefuseFileNavigation(Decision, Type))
    return TRUE;
  if (Type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
    return FALSE;
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  WebKitNavigationAction* Action =
    webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(Decision));
  const char* Uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(Action));
  const std::string EngineUri = Uri ? Uri : "";
  const std::shared_ptr<bool> Alive = Browser->FAlive;
  g_object_ref(Decision);
  const bool Allowed = Browser->NewWindowAllowed(EngineUri);
  if (!Allowed)
    webkit_policy_decision_ignore(Decision);
  else if (*Alive)
    Browser->FAllowedNewWindow = EngineUri;
  g_object_unref(Decision);
  // FALSE lets WebKit go on with its default, which opens the window through "create".
  return Allowed ? FALSE : TRUE;
}

gboolean TGtkEdgeBrowser::OnPopupDecidePolicy(WebKitWebView*, WebKitPolicyDecision* Decision,
                                              WebKitPolicyDecisionType Type, gpointer)
{
  return RefuseFileNavigation(Decision, Type) ? TRUE : FALSE;
}

bool TGtkEdgeBrowser::RefuseFileNavigation(WebKitPolicyDecision* Decision, WebKitPolicyDecisionType Type)
{
  // Every "file:///" address the owner sees means an app document, so a real file: document
  // (which the app scheme, being local, could otherwise open) never loads in these views.
  if (Type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
    return false;
  WebKitNavigationAction* Action =
    webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(Decision));
  const char* Uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(Action));
  if (!Uri || !StartsWithIgnoringCase(Uri, "file:"))
    return false;
  webkit_policy_decision_ignore(Decision);
  return true;
}

GtkWidget* TGtkEdgeBrowser::OnCreate(WebKitWebView* View, WebKitNavigationAction* Action, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  // A popup's own popups open without asking: the owner is asked about its own view only.
  if (View == Browser->FView) {
    const char* Uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(Action));
    const std::string EngineUri = Uri ? Uri : "";
    // A link with a target came through decide-policy already; window.open comes here directly.
    const bool Asked = !Browser->FAllowedNewWindow.empty() && Browser->FAllowedNewWindow == EngineUri;
    Browser->FAllowedNewWindow.clear();
    if (!Asked) {
      const std::shared_ptr<bool> Alive = Browser->FAlive;
      if (!Browser->NewWindowAllowed(EngineUri) || !*Alive)
        return nullptr;
    }
  }
  return Browser->OpenPopup(View);
}

GtkWidget* TGtkEdgeBrowser::OpenPopup(WebKitWebView* Opener)
{
  // A related view shares the opener's process and context (so app addresses load in it, and
  // window.opener works), its settings and its user content: WebKit gives a popup the
  // opener's content manager whatever view the "create" handler returns.
  GtkWidget* PopupView = webkit_web_view_new_with_related_view(Opener);
  GtkWidget* Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(Window), 800, 600);
  gtk_container_add(GTK_CONTAINER(Window), PopupView);
  gtk_widget_show(PopupView);

  ConnectSignal<&OnPopupReady>(PopupView, "ready-to-show", Window);
  ConnectSignal<&OnPopupClose>(PopupView, "close", Window);
  ConnectSignal<&OnPopupTitle>(PopupView, "notify::title", Window);
  ConnectSignal<&OnCreate>(PopupView, "create", this);
  ConnectSignal<&OnPopupDecidePolicy>(PopupView, "decide-policy", nullptr);
  ConnectSignal<&OnPopupDestroyed>(Window, "destroy", this);
  FPopups.push_back(Window);
  return PopupView;
}

void TGtkEdgeBrowser::OnPopupReady(WebKitWebView* View, gpointer Window)
{
  // The page may have asked for a size (window.open features).
  GdkRectangle Geometry{};
  webkit_window_properties_get_geometry(webkit_web_view_get_window_properties(View), &Geometry);
  if (Geometry.width > 0 && Geometry.height > 0)
    gtk_window_resize(GTK_WINDOW(Window), Geometry.width, Geometry.height);
  gtk_widget_show(GTK_WIDGET(Window));
}

void TGtkEdgeBrowser::OnPopupClose(WebKitWebView*, gpointer Window) { gtk_widget_destroy(GTK_WIDGET(Window)); }

void TGtkEdgeBrowser::OnPopupTitle(GObject* View, GParamSpec*, gpointer Window)
{
  const char* Title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(View));
  gtk_window_set_title(GTK_WINDOW(Window), Title ? Title : "");
}

void TGtkEdgeBrowser::OnPopupDestroyed(GtkWidget* Window, gpointer Self)
{
  static_cast<TGtkEdgeBrowser*>(Self)->ForgetPopup(Window);
}

void TGtkEdgeBrowser::ForgetPopup(GtkWidget* Window)
{
  if (GtkWidget* PopupView = gtk_bin_get_child(GTK_BIN(Window))) {
    g_signal_handlers_disconnect_by_data(PopupView, Window);
    g_signal_handlers_disconnect_by_data(PopupView, this);
  }
  FPopups.erase(std::remove(FPopups.begin(), FPopups.end(), Window), FPopups.end());
}

// ---------------------------------------------------------------------------------------------
// Downloads

void TGtkEdgeBrowser::OnDownloadStarted(WebKitWebContext*, WebKitDownload* Download, gpointer Self)
{
  ConnectSignal<&OnDecideDestination>(Download, "decide-destination", Self);
}

struct TGtkEdgeBrowser::TPendingDownload {
  WebKitDownload* Download;
  std::string SuggestedFileName;
  TGtkEdgeBrowser* Browser;
  std::shared_ptr<bool> Alive;
};

gboolean TGtkEdgeBrowser::OnDecideDestination(WebKitDownload* Download, gchar* SuggestedFileName, gpointer Self)
{
  // The owner asks the user in a dialog of its own, so the decision comes from the main loop, not
  // from inside this signal; the download waits until then.
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  auto* Pending = new TPendingDownload{WEBKIT_DOWNLOAD(g_object_ref(Download)),
                                       SuggestedFileName ? SuggestedFileName : "", Browser, Browser->FAlive};
  g_signal_handlers_disconnect_by_data(Download, Self);
  g_idle_add_full(G_PRIORITY_DEFAULT, GuardedCallback<&RunDownloadDecision>, Pending, FreeDownloadDecision);
  return TRUE;
}

gboolean TGtkEdgeBrowser::RunDownloadDecision(gpointer Pending)
{
  auto* Decision = static_cast<TPendingDownload*>(Pending);
  if (*Decision->Alive)
    Decision->Browser->DecideDownload(Decision->Download, Decision->SuggestedFileName);
  else
    webkit_download_cancel(Decision->Download);
  return G_SOURCE_REMOVE;
}

void TGtkEdgeBrowser::FreeDownloadDecision(gpointer Pending)
{
  auto* Decision = static_cast<TPendingDownload*>(Pending);
  g_object_unref(Decision->Download);
  delete Decision;
}

void TGtkEdgeBrowser::DecideDownload(WebKitDownload* Download, const std::string& SuggestedFileName)
{
  TDownloadStartingEventArgs Args;
  const char* Uri = webkit_uri_request_get_uri(webkit_download_get_request(Download));
  Args.Uri = Uri ? ToViewUri(Uri) : std::string();
  Args.SuggestedFileName = SuggestedFileName;
  Args.FromPopup = webkit_download_get_web_view(Download) != FView;
  // Nothing is saved unless the owner says where.
  Args.Cancel = true;
  const std::shared_ptr<bool> Alive = FAlive;
  if (OnDownloadStarting) {
    Args.Cancel = false;
    Raise(OnDownloadStarting, *this, Args);
  }
  if (!*Alive || Args.Cancel || Args.ResultFilePath.empty()) {
    webkit_download_cancel(Download);
    return;
  }
  // The user agreed to replace an existing file in the save dialog.
  webkit_download_set_allow_overwrite(Download, TRUE);
  webkit_download_set_destination(Download, Args.ResultFilePath.c_str());
}

// ---------------------------------------------------------------------------------------------
// Permissions, context menu, zoom

gboolean TGtkEdgeBrowser::OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* Request, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  if (!Browser->OnPermissionRequested)
    return FALSE;
  // The document asking is the top-level one as it was loaded (WebKit names no frame), so a
  // page cannot pass for another with history.pushState.
  TPermissionRequestedEventArgs Args;
  Args.Uri = Browser->FDocumentUri;
  Args.Kind = PermissionKind(Request);
  g_object_ref(Request);
  Raise(Browser->OnPermissionRequested, *Browser, Args);
  gboolean Decided = TRUE;
  switch (Args.State) {
  case TPermissionState::Allow: webkit_permission_request_allow(Request); break;
  case TPermissionState::Deny: webkit_permission_request_deny(Request); break;
  case TPermissionState::Default:
    Decided = FALSE; // WebKit's default applies
    break;
  }
  g_object_unref(Request);
  return Decided;
}

gboolean TGtkEdgeBrowser::OnContextMenu(WebKitWebView*, WebKitContextMenu* Menu, GdkEvent*, WebKitHitTestResult*,
                                        gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  if (!Browser->FSettings.DefaultContextMenusEnabled)
    return TRUE; // no menu at all
  if (!Browser->FSettings.DevToolsEnabled) {
    // WebKit adds the inspector item only with developer extras on; removing it here keeps
    // the menu right whatever the engine's settings were when the menu was built.
    std::vector<WebKitContextMenuItem*> Inspect;
    for (GList* Item = webkit_context_menu_get_items(Menu); Item; Item = Item->next) {
      auto* MenuItem = static_cast<WebKitContextMenuItem*>(Item->data);
      if (webkit_context_menu_item_get_stock_action(MenuItem) == WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT)
        Inspect.push_back(MenuItem);
    }
    for (WebKitContextMenuItem* MenuItem : Inspect)
      webkit_context_menu_remove(Menu, MenuItem);
  }
  return FALSE;
}

gboolean TGtkEdgeBrowser::OnViewEvent(GtkWidget*, GdkEvent* Event, gpointer Self)
{
  auto* Browser = static_cast<TGtkEdgeBrowser*>(Self);
  // WebKitGTK scales the page on a touchpad pinch by itself; keyboard and wheel zooming it
  // leaves to the application, which has none here.
  if (!Browser->FSettings.ZoomControlEnabled && gdk_event_get_event_type(Event) == GDK_TOUCHPAD_PINCH)
    return TRUE;
  return FALSE;
}

} // namespace velmora
