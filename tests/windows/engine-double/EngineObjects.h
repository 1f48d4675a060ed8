// The objects the engine double hands to the host: environment, controller, web view, settings, the
// request and response objects of intercepted requests, and the args of each event it raises.
//
// Everything runs on the host's UI thread; a call from another thread is refused with
// RPC_E_WRONG_THREAD (and recorded), as the engine refuses it.
#pragma once

#include "ComSupport.h"
#include "Dispatcher.h"
#include "Transcript.h"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora::enginedouble {

// What the controller and web view answer once the controller is closed.
inline constexpr HRESULT kClosedError = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

// Records a call from the wrong thread; gives RPC_E_WRONG_THREAD.
HRESULT RefuseWrongThread(TObjectKind kind);

// Base of the double's objects: counts them while alive and refuses calls from other threads.
template <class Derived, class Interface>
class TEngineObject : public TComObject<Derived, Interface> {
public:
  static HRESULT CheckCall() { return OnUiThread() ? S_OK : RefuseWrongThread(Derived::kKind); }

protected:
  TEngineObject() { CountObject(Derived::kKind, +1); }
  ~TEngineObject() { CountObject(Derived::kKind, -1); }
};

// Tokens are unique across every event of the process.
INT64 NextEventToken();

// The handlers registered for one event, each holding a reference until removed or cleared.
template <class Handler>
class TEventList {
public:
  explicit TEventList(const char* name) : FName(name) {}

  HRESULT Add(Handler* handler, EventRegistrationToken* token)
  {
    if (handler == nullptr)
      return E_INVALIDARG;
    if (token == nullptr)
      return E_POINTER;
    token->value = NextEventToken();
    FEntries.emplace_back(token->value, TComRef<Handler>::Retain(handler));
    Record(Event("handler-added").Utf8("name", FName).Int("token", token->value));
    return S_OK;
  }
  HRESULT Remove(EventRegistrationToken token)
  {
    bool found = false;
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it) {
      if (it->first == token.value) {
        // Released after the entry is gone, in case the handler's release calls back into us.
        auto handler = std::move(it->second);
        FEntries.erase(it);
        found = true;
        break;
      }
    }
    Record(Event("handler-removed").Utf8("name", FName).Int("token", token.value).Bool("found", found));
    return S_OK;
  }
  // The handlers at this moment, each with its own reference, so raising survives a handler that
  // removes itself or others.
  std::vector<TComRef<Handler>> Snapshot() const
  {
    std::vector<TComRef<Handler>> handlers;
    for (const auto& entry : FEntries)
      handlers.push_back(entry.second);
    return handlers;
  }
  // Releases every handler; gives how many there were.
  size_t Clear()
  {
    auto entries = std::move(FEntries);
    FEntries.clear();
    return entries.size();
  }
  size_t Size() const { return FEntries.size(); }
  const char* Name() const { return FName; }

private:
  const char* FName;
  std::vector<std::pair<INT64, TComRef<Handler>>> FEntries;
};

// ---- Headers ----

// Header fields in order, names compared without regard to letter case.
class THeaderList {
public:
  // Reads "Name: value" lines separated by CR LF (a bare LF is accepted too); blank lines and lines
  // without ':' are skipped, white space around the value is dropped.
  static THeaderList Parse(std::wstring_view text);

  void Append(std::wstring name, std::wstring value);
  void Set(std::wstring name, std::wstring value);
  void Remove(std::wstring_view name);
  bool Contains(std::wstring_view name) const;
  // The values of every field of that name joined by ", " (as HTTP combines them), or nullopt.
  std::optional<std::wstring> Get(std::wstring_view name) const;
  std::vector<std::pair<std::wstring, std::wstring>> Matching(std::wstring_view name) const;
  const std::vector<std::pair<std::wstring, std::wstring>>& Fields() const { return FFields; }
  // {"Name":"value",...} with repeated names joined as Get joins them.
  std::string ToJson() const;

private:
  std::vector<std::pair<std::wstring, std::wstring>> FFields;
};

class THeaderIterator : public TEngineObject<THeaderIterator, ICoreWebView2HttpHeadersCollectionIterator> {
public:
  static const ICoreWebView2HttpHeadersCollectionIteratorVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::HeaderIterator;
  explicit THeaderIterator(std::vector<std::pair<std::wstring, std::wstring>> fields) : FFields(std::move(fields)) {}

  HRESULT GetCurrentHeader(LPWSTR* name, LPWSTR* value);
  HRESULT GetHasCurrentHeader(BOOL* hasCurrent);
  HRESULT MoveNext(BOOL* hasNext);

private:
  std::vector<std::pair<std::wstring, std::wstring>> FFields;
  size_t FIndex = 0;
};

class TRequestHeaders : public TEngineObject<TRequestHeaders, ICoreWebView2HttpRequestHeaders> {
public:
  static const ICoreWebView2HttpRequestHeadersVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::RequestHeaders;
  explicit TRequestHeaders(std::shared_ptr<THeaderList> headers) : FHeaders(std::move(headers)) {}

  HRESULT GetHeader(LPCWSTR name, LPWSTR* value);
  HRESULT GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator);
  HRESULT Contains(LPCWSTR name, BOOL* value);
  HRESULT SetHeader(LPCWSTR name, LPCWSTR value);
  HRESULT RemoveHeader(LPCWSTR name);
  HRESULT GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator);

private:
  std::shared_ptr<THeaderList> FHeaders;
};

class TResponseHeaders : public TEngineObject<TResponseHeaders, ICoreWebView2HttpResponseHeaders> {
public:
  static const ICoreWebView2HttpResponseHeadersVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::ResponseHeaders;
  explicit TResponseHeaders(std::shared_ptr<THeaderList> headers) : FHeaders(std::move(headers)) {}

  HRESULT AppendHeader(LPCWSTR name, LPCWSTR value);
  HRESULT Contains(LPCWSTR name, BOOL* value);
  HRESULT GetHeader(LPCWSTR name, LPWSTR* value);
  HRESULT GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator);
  HRESULT GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator);

private:
  std::shared_ptr<THeaderList> FHeaders;
};

// ---- Intercepted requests ----

class TRequest : public TEngineObject<TRequest, ICoreWebView2WebResourceRequest> {
public:
  static const ICoreWebView2WebResourceRequestVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::Request;
  TRequest(std::wstring uri, std::wstring method, THeaderList headers);
  ~TRequest();

  HRESULT GetUri(LPWSTR* uri);
  HRESULT PutUri(LPCWSTR uri);
  HRESULT GetMethod(LPWSTR* method);
  HRESULT PutMethod(LPCWSTR method);
  HRESULT GetContent(IStream** content);
  HRESULT PutContent(IStream* content);
  HRESULT GetHeaders(ICoreWebView2HttpRequestHeaders** headers);

private:
  std::wstring FUri;
  std::wstring FMethod;
  std::shared_ptr<THeaderList> FHeaders;
  IStream* FContent = nullptr;
};

class TResponse : public TEngineObject<TResponse, ICoreWebView2WebResourceResponse> {
public:
  static const ICoreWebView2WebResourceResponseVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::Response;
  TResponse(IStream* content, int status, std::wstring reason, std::wstring headerText);
  ~TResponse();

  HRESULT GetContent(IStream** content);
  HRESULT PutContent(IStream* content);
  HRESULT GetHeaders(ICoreWebView2HttpResponseHeaders** headers);
  HRESULT GetStatusCode(int* status);
  HRESULT PutStatusCode(int status);
  HRESULT GetReasonPhrase(LPWSTR* reason);
  HRESULT PutReasonPhrase(LPCWSTR reason);

  // What the engine reads when the request completes.
  int Status() const { return FStatus; }
  const std::wstring& Reason() const { return FReason; }
  const std::wstring& HeaderText() const { return FHeaderText; }
  const THeaderList& Headers() const { return *FHeaders; }
  // Reads the content stream from where it stands to its end; nullopt when there is none.
  // truncated is set when it was longer than the double reads (64 MiB).
  std::optional<std::string> ReadContent(bool& truncated, HRESULT& readResult) const;

private:
  IStream* FContent = nullptr;
  int FStatus;
  std::wstring FReason;
  std::wstring FHeaderText;
  std::shared_ptr<THeaderList> FHeaders;
};

class TResourceRequestedArgs
  : public TEngineObject<TResourceRequestedArgs, ICoreWebView2WebResourceRequestedEventArgs> {
public:
  static const ICoreWebView2WebResourceRequestedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::ResourceRequestedArgs;
  TResourceRequestedArgs(TComRef<TRequest> request, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context)
    : FRequest(std::move(request)), FContext(context)
  {}

  HRESULT GetRequest(ICoreWebView2WebResourceRequest** request);
  HRESULT GetResponse(ICoreWebView2WebResourceResponse** response);
  HRESULT PutResponse(ICoreWebView2WebResourceResponse* response);
  HRESULT GetDeferral(ICoreWebView2Deferral** deferral);
  HRESULT GetResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context);

  TResponse* Response() const { return FResponse.Get(); }

private:
  TComRef<TRequest> FRequest;
  TComRef<TResponse> FResponse;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT FContext;
};

// ---- Args of the other events ----

class TNavigationCompletedArgs
  : public TEngineObject<TNavigationCompletedArgs, ICoreWebView2NavigationCompletedEventArgs> {
public:
  static const ICoreWebView2NavigationCompletedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::NavigationCompletedArgs;
  TNavigationCompletedArgs(bool success, COREWEBVIEW2_WEB_ERROR_STATUS status, UINT64 id)
    : FSuccess(success), FStatus(status), FId(id)
  {}

  HRESULT GetIsSuccess(BOOL* success);
  HRESULT GetWebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status);
  HRESULT GetNavigationId(UINT64* id);

private:
  bool FSuccess;
  COREWEBVIEW2_WEB_ERROR_STATUS FStatus;
  UINT64 FId;
};

class TWebMessageArgs : public TEngineObject<TWebMessageArgs, ICoreWebView2WebMessageReceivedEventArgs> {
public:
  static const ICoreWebView2WebMessageReceivedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::WebMessageArgs;
  TWebMessageArgs(std::wstring source, std::wstring json, std::optional<std::wstring> string)
    : FSource(std::move(source)), FJson(std::move(json)), FString(std::move(string))
  {}

  HRESULT GetSource(LPWSTR* source);
  HRESULT GetWebMessageAsJson(LPWSTR* json);
  HRESULT TryGetWebMessageAsString(LPWSTR* string);

private:
  std::wstring FSource;
  std::wstring FJson;
  std::optional<std::wstring> FString;
};

class TNewWindowArgs : public TEngineObject<TNewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs> {
public:
  static const ICoreWebView2NewWindowRequestedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::NewWindowArgs;
  explicit TNewWindowArgs(std::wstring uri) : FUri(std::move(uri)) {}

  HRESULT GetUri(LPWSTR* uri);
  HRESULT PutHandled(BOOL handled);
  HRESULT GetHandled(BOOL* handled);
  HRESULT GetIsUserInitiated(BOOL* userInitiated);

  bool Handled() const { return FHandled; }

private:
  std::wstring FUri;
  bool FHandled = false;
};

class TPermissionArgs : public TEngineObject<TPermissionArgs, ICoreWebView2PermissionRequestedEventArgs> {
public:
  static const ICoreWebView2PermissionRequestedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::PermissionArgs;
  TPermissionArgs(std::wstring uri, COREWEBVIEW2_PERMISSION_KIND kind) : FUri(std::move(uri)), FKind(kind) {}

  HRESULT GetUri(LPWSTR* uri);
  HRESULT GetPermissionKind(COREWEBVIEW2_PERMISSION_KIND* kind);
  HRESULT GetIsUserInitiated(BOOL* userInitiated);
  HRESULT GetState(COREWEBVIEW2_PERMISSION_STATE* state);
  HRESULT PutState(COREWEBVIEW2_PERMISSION_STATE state);

  COREWEBVIEW2_PERMISSION_STATE State() const { return FState; }

private:
  std::wstring FUri;
  COREWEBVIEW2_PERMISSION_KIND FKind;
  COREWEBVIEW2_PERMISSION_STATE FState = COREWEBVIEW2_PERMISSION_STATE_DEFAULT;
};

class TProcessFailedArgs : public TEngineObject<TProcessFailedArgs, ICoreWebView2ProcessFailedEventArgs> {
public:
  static const ICoreWebView2ProcessFailedEventArgsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::ProcessFailedArgs;
  explicit TProcessFailedArgs(COREWEBVIEW2_PROCESS_FAILED_KIND kind) : FKind(kind) {}

  HRESULT GetProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind);

private:
  COREWEBVIEW2_PROCESS_FAILED_KIND FKind;
};

// ---- Settings ----

// The nine BOOL settings, in slot order; all start TRUE.
enum class TSetting {
  IsScriptEnabled,
  IsWebMessageEnabled,
  AreDefaultScriptDialogsEnabled,
  IsStatusBarEnabled,
  AreDevToolsEnabled,
  AreDefaultContextMenusEnabled,
  AreHostObjectsAllowed,
  IsZoomControlEnabled,
  IsBuiltInErrorPageEnabled,
  Count
};

class TSettings : public TEngineObject<TSettings, ICoreWebView2Settings> {
public:
  static const ICoreWebView2SettingsVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::Settings;
  TSettings();

  template <TSetting Setting>
  HRESULT Get(BOOL* value);
  template <TSetting Setting>
  HRESULT Put(BOOL value);

  bool Value(TSetting setting) const { return FValues[static_cast<size_t>(setting)]; }

private:
  bool FValues[static_cast<size_t>(TSetting::Count)];
};

// ---- Environment, controller, web view ----

class TEnvironment : public TEngineObject<TEnvironment, ICoreWebView2Environment> {
public:
  static const ICoreWebView2EnvironmentVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::Environment;
  explicit TEnvironment(std::wstring version) : FVersion(std::move(version)) {}

  HRESULT CreateCoreWebView2Controller(HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler);
  HRESULT CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                                    ICoreWebView2WebResourceResponse** response);
  HRESULT GetBrowserVersionString(LPWSTR* version);
  HRESULT AddNewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler* handler,
                                        EventRegistrationToken* token);
  HRESULT RemoveNewBrowserVersionAvailable(EventRegistrationToken token);

private:
  std::wstring FVersion;
  TEventList<TOpaqueInterface> FNewVersionHandlers{"NewBrowserVersionAvailable"};
};

class TWebView;

class TController : public TEngineObject<TController, ICoreWebView2Controller> {
public:
  static const ICoreWebView2ControllerVtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::Controller;
  TController(TComRef<TEnvironment> environment, HWND parent);
  ~TController();

  HRESULT GetIsVisible(BOOL* visible);
  HRESULT PutIsVisible(BOOL visible);
  HRESULT GetBounds(RECT* bounds);
  HRESULT PutBounds(RECT bounds);
  HRESULT GetZoomFactor(double* zoom);
  HRESULT PutZoomFactor(double zoom);
  HRESULT AddZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler* handler, EventRegistrationToken* token);
  HRESULT RemoveZoomFactorChanged(EventRegistrationToken token);
  HRESULT SetBoundsAndZoomFactor(RECT bounds, double zoom);
  HRESULT MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason);
  HRESULT AddMoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler* handler, EventRegistrationToken* token);
  HRESULT RemoveMoveFocusRequested(EventRegistrationToken token);
  HRESULT AddGotFocus(ICoreWebView2FocusChangedEventHandler* handler, EventRegistrationToken* token);
  HRESULT RemoveGotFocus(EventRegistrationToken token);
  HRESULT AddLostFocus(ICoreWebView2FocusChangedEventHandler* handler, EventRegistrationToken* token);
  HRESULT RemoveLostFocus(EventRegistrationToken token);
  HRESULT AddAcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                   EventRegistrationToken* token);
  HRESULT RemoveAcceleratorKeyPressed(EventRegistrationToken token);
  HRESULT GetParentWindow(HWND* parent);
  HRESULT PutParentWindow(HWND parent);
  HRESULT NotifyParentWindowPositionChanged();
  HRESULT Close();
  HRESULT GetCoreWebView2(ICoreWebView2** webView);

private:
  TComRef<TEnvironment> FEnvironment;
  TComRef<TWebView> FWebView;
  HWND FParent;
  bool FVisible = true;
  RECT FBounds{};
  double FZoom = 1.0;
  bool FClosed = false;
  TEventList<TOpaqueInterface> FZoomChanged{"ZoomFactorChanged"};
  TEventList<TOpaqueInterface> FMoveFocusRequested{"MoveFocusRequested"};
  TEventList<TOpaqueInterface> FGotFocus{"GotFocus"};
  TEventList<TOpaqueInterface> FLostFocus{"LostFocus"};
  TEventList<TOpaqueInterface> FAcceleratorKeyPressed{"AcceleratorKeyPressed"};
};

// One resource a page refers to, resolved, with the context its element gives it.
struct TPageResource {
  std::wstring Uri;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
};

// What became of one request the double made.
struct TResourceOutcome {
  bool Answered = false; // the host set a response
  int Status = 0;
  std::wstring ContentType;
  std::string Body;
};

class TWebView : public TEngineObject<TWebView, ICoreWebView2> {
public:
  static const ICoreWebView2Vtbl kVtbl;
  static constexpr TObjectKind kKind = TObjectKind::WebView;
  TWebView();
  ~TWebView();

  HRESULT GetSettings(ICoreWebView2Settings** settings);
  HRESULT GetSource(LPWSTR* uri);
  HRESULT Navigate(LPCWSTR uri);
  HRESULT NavigateToString(LPCWSTR html);
  HRESULT
  AddScriptToExecuteOnDocumentCreated(LPCWSTR script,
                                      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler);
  HRESULT RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id);
  HRESULT ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler);
  HRESULT Reload();
  HRESULT PostWebMessageAsJson(LPCWSTR json);
  HRESULT PostWebMessageAsString(LPCWSTR text);
  HRESULT GetCanGoBack(BOOL* canGoBack);
  HRESULT GetCanGoForward(BOOL* canGoForward);
  HRESULT Stop();
  HRESULT GetDocumentTitle(LPWSTR* title);
  HRESULT GetContainsFullScreenElement(BOOL* contains);
  HRESULT AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context);
  HRESULT RemoveWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context);

  // add_ and remove_ of every event: AddHandler<&TWebView::FList> and RemoveHandler<&TWebView::FList>.
  template <auto List>
  HRESULT AddHandler(typename std::remove_reference_t<decltype(std::declval<TWebView>().*List)>::THandler* handler,
                     EventRegistrationToken* token);
  template <auto List>
  HRESULT RemoveHandler(EventRegistrationToken token);

  // Called by the controller: the web view is closed; every handler is released. Gives the count.
  size_t Shutdown();
  bool Closed() const { return FClosed; }

  // What the commands make the page do (see Commands.cpp); all run on the UI thread.
  const std::wstring& Source() const { return FSource; }
  void StartNavigation(std::wstring uri, std::wstring referer, const char* cause);
  TResourceOutcome RequestResource(const std::wstring& uri, THeaderList headers,
                                   COREWEBVIEW2_WEB_RESOURCE_CONTEXT context, UINT64 navigationId);
  void RaiseWebMessage(std::wstring json, std::optional<std::wstring> string, std::wstring source);
  void RaiseNewWindow(std::wstring uri);
  void RaisePermission(std::wstring uri, COREWEBVIEW2_PERMISSION_KIND kind);
  void RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND kind);
  void ChangeTitle(std::wstring title);

  // Handler lists, public for AddHandler/RemoveHandler's pointer-to-member arguments.
  template <class Handler>
  struct TList : TEventList<Handler> {
    using THandler = Handler;
    using TEventList<Handler>::TEventList;
  };
  TList<ICoreWebView2NavigationCompletedEventHandler> FNavigationCompleted{"NavigationCompleted"};
  TList<ICoreWebView2WebMessageReceivedEventHandler> FWebMessageReceived{"WebMessageReceived"};
  TList<ICoreWebView2WebResourceRequestedEventHandler> FWebResourceRequested{"WebResourceRequested"};
  TList<ICoreWebView2NewWindowRequestedEventHandler> FNewWindowRequested{"NewWindowRequested"};
  TList<ICoreWebView2PermissionRequestedEventHandler> FPermissionRequested{"PermissionRequested"};
  TList<ICoreWebView2ProcessFailedEventHandler> FProcessFailed{"ProcessFailed"};
  TList<ICoreWebView2DocumentTitleChangedEventHandler> FDocumentTitleChanged{"DocumentTitleChanged"};
  // Kept (and released) but never raised: the double loads no frames.
  TList<ICoreWebView2NavigationCompletedEventHandler> FFrameNavigationCompleted{"FrameNavigationCompleted"};
  // Events the double never raises: kept (and released) all the same.
  TList<TOpaqueInterface> FNavigationStarting{"NavigationStarting"};
  TList<TOpaqueInterface> FContentLoading{"ContentLoading"};
  TList<TOpaqueInterface> FSourceChanged{"SourceChanged"};
  TList<TOpaqueInterface> FHistoryChanged{"HistoryChanged"};
  TList<TOpaqueInterface> FFrameNavigationStarting{"FrameNavigationStarting"};
  TList<TOpaqueInterface> FScriptDialogOpening{"ScriptDialogOpening"};
  TList<TOpaqueInterface> FContainsFullScreenElementChanged{"ContainsFullScreenElementChanged"};
  TList<TOpaqueInterface> FWindowCloseRequested{"WindowCloseRequested"};

private:
  struct TFilter {
    std::wstring Pattern;
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
  };
  struct TScript {
    std::wstring Id;
    std::wstring Text;
  };
  // The navigation in progress: its steps run as posted tasks and stop when it is superseded.
  struct TNavigation {
    UINT64 Id = 0;
    std::wstring Uri;
    std::wstring Referer;
    std::optional<std::wstring> Html; // NavigateToString's content
    bool Success = false;
    std::optional<std::wstring> Title;
    std::vector<TPageResource> Resources;
    size_t NextResource = 0;
  };

  void PostNavigationStep(UINT64 id, void (TWebView::*step)());
  void LoadDocument();
  void LoadNextResource();
  void FinishNavigation();
  void RaiseNavigationCompleted(UINT64 id, bool success, COREWEBVIEW2_WEB_ERROR_STATUS status);
  bool Intercepts(const std::wstring& uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) const;
  void ScanPage(TNavigation& navigation, const std::string& body);

  TComRef<TSettings> FSettings;
  std::wstring FSource;
  std::wstring FTitle;
  std::vector<TFilter> FFilters;
  std::vector<TScript> FScripts;
  unsigned FNextScriptId = 1;
  UINT64 FNavigationCounter = 0;
  std::optional<TNavigation> FNavigation;
  bool FClosed = false;
};

// The web view the commands act on: the newest whose controller is not closed, or null.
TWebView* CommandTarget();

// Starts polling the commands file (with VELMORA_DOUBLE_DIR); see Commands.cpp.
void StartCommandPolling();

} // namespace velmora::enginedouble
