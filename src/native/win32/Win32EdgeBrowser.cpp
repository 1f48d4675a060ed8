// TWin32EdgeBrowser: the WebView2 browser control (loader, environment, controller, events,
// responses over our own streams).
#include "Win32EdgeBrowser.h"

#include "NativeLayer.h"
#include "TextHelpers.h"

#include <mutex>
#include <utility>

namespace velmora {

namespace {

using namespace wv2;

// A handler object the engine calls: Interface's Invoke runs Fn, under the guard, and answers
// S_OK. The function holds the browser only through the alive flag it checks, so a handler the
// engine keeps after the browser is gone does nothing.
template <class Interface, class Signature = decltype(&Interface::Invoke)>
class TCallback;

template <class Interface, class... Args>
class TCallback<Interface, HRESULT (Interface::*)(Args...)> final : public TComObject<Interface> {
public:
  explicit TCallback(std::function<void(Args...)> Fn) : FFn(std::move(Fn)) {}
  HRESULT STDMETHODCALLTYPE Invoke(Args... Arguments) override
  {
    Win32Guarded("a browser event", [&] { FFn(Arguments...); });
    return S_OK;
  }

private:
  std::function<void(Args...)> FFn;
};

template <class Interface, class Fn>
TComPtr<Interface> MakeCallback(Fn&& Function)
{
  return TComPtr<Interface>::Attach(new TCallback<Interface>(std::forward<Fn>(Function)));
}

// The stream a response body is read through. The engine may read it on a thread of its own, so
// the calls are serialised; it reads forward only, so seeking is limited to asking the position.
class TBodyStream final : public IStream {
public:
  // The stream is agile: it aggregates the free-threaded marshaler, so the engine's reading
  // thread calls it directly instead of through the UI thread's apartment.
  static TComPtr<IStream> Create(TWebResourceBodyPtr Body)
  {
    auto* stream = new TBodyStream(std::move(Body));
    auto result = TComPtr<IStream>::Attach(stream);
    CoCreateFreeThreadedMarshaler(static_cast<IStream*>(stream), stream->FMarshaler.Put());
    return result;
  }
  TBodyStream(const TBodyStream&) = delete;
  TBodyStream& operator=(const TBodyStream&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override
  {
    if (Object == nullptr)
      return E_POINTER;
    if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_ISequentialStream) || IsEqualIID(Iid, IID_IStream) ||
        IsEqualIID(Iid, IID_IAgileObject)) {
      *Object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(Iid, IID_IMarshal) && FMarshaler)
      return FMarshaler->QueryInterface(Iid, Object);
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override
  {
    const ULONG left = --FReferences;
    if (left == 0)
      delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* Buffer, ULONG Count, ULONG* Read) override
  {
    const std::lock_guard<std::mutex> guard(FLock);
    ULONG done = 0;
    HRESULT result = S_OK;
    // Filled as far as the body gives, so a short count means the end.
    while (done < Count && FBody != nullptr) {
      TResult<size_t> got = TError{"no body"};
      Win32Guarded("a response body",
                   [&] { got = FBody->Read(std::span<uint8_t>(static_cast<uint8_t*>(Buffer) + done, Count - done)); });
      if (!got) {
        result = E_FAIL;
        break;
      }
      if (got.Value() == 0)
        break;
      done += static_cast<ULONG>(got.Value());
    }
    FPosition += done;
    if (Read != nullptr)
      *Read = done;
    if (FAILED(result))
      return result;
    return done < Count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER Move, DWORD Origin, ULARGE_INTEGER* NewPosition) override
  {
    const std::lock_guard<std::mutex> guard(FLock);
    // Only where it already is: from the current place by nothing, or from the start to here.
    const bool stays = (Origin == STREAM_SEEK_CUR && Move.QuadPart == 0) ||
                       (Origin == STREAM_SEEK_SET && static_cast<uint64_t>(Move.QuadPart) == FPosition);
    if (!stays)
      return STG_E_INVALIDFUNCTION;
    if (NewPosition != nullptr)
      NewPosition->QuadPart = FPosition;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
  {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
  {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* Stat, DWORD) override
  {
    if (Stat == nullptr)
      return STG_E_INVALIDPOINTER;
    const std::lock_guard<std::mutex> guard(FLock);
    *Stat = STATSTG{};
    Stat->type = STGTY_STREAM;
    const int64_t length = FBody != nullptr ? FBody->Length() : 0;
    Stat->cbSize.QuadPart = static_cast<ULONGLONG>(length >= 0 ? length : 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
  explicit TBodyStream(TWebResourceBodyPtr Body) : FBody(std::move(Body)) {}
  ~TBodyStream() = default;

  std::atomic<ULONG> FReferences{1};
  TComPtr<IUnknown> FMarshaler;
  std::mutex FLock;
  TWebResourceBodyPtr FBody;
  uint64_t FPosition = 0;
};

// A body that is empty.
class TEmptyBody final : public TWebResourceBody {
public:
  int64_t Length() const override { return 0; }
  TResult<size_t> Read(std::span<uint8_t>) override { return size_t{0}; }
};

// The reply target of a web message: WebView2 posts to the view's top-level document, so the reply
// goes only while the view still shows the document that sent the message.
class TWin32ReplyTarget final : public TWebMessageReplyTarget {
public:
  TWin32ReplyTarget(TWin32EdgeBrowser& Browser, std::shared_ptr<bool> Alive, unsigned Generation)
    : FBrowser(Browser), FAlive(std::move(Alive)), FGeneration(Generation)
  {}
  void PostWebMessageAsJson(const std::string& Json) override
  {
    if (*FAlive && FBrowser.DocumentGeneration() == FGeneration)
      FBrowser.PostWebMessageAsJson(Json);
  }

private:
  TWin32EdgeBrowser& FBrowser;
  std::shared_ptr<bool> FAlive;
  unsigned FGeneration;
};

// The address without its fragment, as requests name documents.
std::string WithoutFragment(const std::string& Address) { return Address.substr(0, Address.find('#')); }

// A request header, "" when the request has none.
std::string HeaderOf(ICoreWebView2HttpRequestHeaders* Headers, const wchar_t* Name)
{
  if (Headers == nullptr)
    return {};
  BOOL present = FALSE;
  if (FAILED(Headers->Contains(Name, &present)) || !present)
    return {};
  LPWSTR value = nullptr;
  if (FAILED(Headers->GetHeader(Name, &value)))
    return {};
  return TakeCoTaskString(value);
}

const char* PermissionKindName(COREWEBVIEW2_PERMISSION_KIND Kind)
{
  switch (Kind) {
  case COREWEBVIEW2_PERMISSION_KIND_MICROPHONE: return "microphone";
  case COREWEBVIEW2_PERMISSION_KIND_CAMERA: return "camera";
  case COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION: return "geolocation";
  case COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS: return "notifications";
  case COREWEBVIEW2_PERMISSION_KIND_OTHER_SENSORS: return "other-sensors";
  case COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ: return "clipboard-read";
  case COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS: return "multiple-automatic-downloads";
  case COREWEBVIEW2_PERMISSION_KIND_FILE_READ_WRITE: return "file-read-write";
  case COREWEBVIEW2_PERMISSION_KIND_AUTOPLAY: return "autoplay";
  case COREWEBVIEW2_PERMISSION_KIND_LOCAL_FONTS: return "local-fonts";
  case COREWEBVIEW2_PERMISSION_KIND_MIDI_SYSTEM_EXCLUSIVE_MESSAGES: return "midi-sysex";
  case COREWEBVIEW2_PERMISSION_KIND_WINDOW_MANAGEMENT: return "window-management";
  default: return "unknown";
  }
}

// Raises an event through a copy of its handler, so a handler that replaces itself does not
// destroy the function that runs.
template <typename THandler, typename... TArgs>
void Raise(const THandler& Handler, TArgs&&... Args)
{
  THandler copy = Handler;
  if (copy)
    copy(std::forward<TArgs>(Args)...);
}

} // namespace

TWin32EdgeBrowser::TWin32EdgeBrowser(TWin32Form& Parent, std::string LoaderPath)
  : FParent(Parent), FLoaderPath(std::move(LoaderPath))
{
  FParent.OnClientResized = [this] { UpdateBounds(); };
  // Pop-ups of the page (lists, pickers, the input method) open where the window is now.
  FParent.OnMoved = [this] {
    if (FController)
      FController->NotifyParentWindowPositionChanged();
  };
  // The page takes the keyboard focus when the window is activated and no control of its own had it.
  FParent.OnFocusFallback = [this] {
    if (!FController)
      return false;
    FController->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
    return true;
  };
  // Started from the loop, so the owner has connected its handlers before anything is reported.
  Later([this] { StartCreation(); });
}

void TWin32EdgeBrowser::Later(std::function<void()> Fn)
{
  std::shared_ptr<bool> alive = FAlive;
  Native().PostToMainThread([alive, Fn = std::move(Fn)] {
    if (*alive)
      Fn();
  });
}

TWin32EdgeBrowser::~TWin32EdgeBrowser()
{
  *FAlive = false;
  FParent.OnClientResized = nullptr;
  FParent.OnMoved = nullptr;
  FParent.OnFocusFallback = nullptr;
  if (FController)
    FController->Close();
  FSettings.Reset();
  FWebView.Reset();
  FController.Reset();
  FEnvironment.Reset();
  // The loader library stays loaded: objects of the engine may still run its code while the
  // last references go.
}

void TWin32EdgeBrowser::RaiseCreated(HRESULT Result)
{
  if (FCreationReported)
    return;
  FCreationReported = true;
  Raise(OnCreateWebViewCompleted, *this, static_cast<THResult>(Result));
}

void TWin32EdgeBrowser::StartCreation()
{
  if (FLoader == nullptr)
    FLoader = LoadLibraryW(Utf8ToWide(FLoaderPath).c_str());
  if (FLoader == nullptr)
    return RaiseCreated(HRESULT_FROM_WIN32(GetLastError()));
  const auto create = reinterpret_cast<TCreateCoreWebView2Environment>(
    reinterpret_cast<void*>(GetProcAddress(FLoader, kCreateEnvironmentExport)));
  if (create == nullptr)
    return RaiseCreated(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  std::shared_ptr<bool> alive = FAlive;
  auto handler = MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
    [this, alive](HRESULT Result, ICoreWebView2Environment* Environment) {
      if (*alive)
        EnvironmentCreated(Result, Environment);
    });
  const HRESULT started = create(handler.Get());
  if (FAILED(started))
    RaiseCreated(started);
}

void TWin32EdgeBrowser::EnvironmentCreated(HRESULT Result, ICoreWebView2Environment* Environment)
{
  if (FAILED(Result) || Environment == nullptr)
    return RaiseCreated(FAILED(Result) ? Result : E_POINTER);
  FEnvironment = TComPtr<ICoreWebView2Environment>::Share(Environment);
  std::shared_ptr<bool> alive = FAlive;
  auto handler = MakeCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
    [this, alive](HRESULT Code, ICoreWebView2Controller* Controller) {
      if (*alive)
        ControllerCreated(Code, Controller);
    });
  const HRESULT started = FEnvironment->CreateCoreWebView2Controller(FParent.ClientArea(), handler.Get());
  if (FAILED(started))
    RaiseCreated(started);
}

void TWin32EdgeBrowser::ControllerCreated(HRESULT Result, ICoreWebView2Controller* Controller)
{
  if (FAILED(Result) || Controller == nullptr)
    return RaiseCreated(FAILED(Result) ? Result : E_POINTER);
  FController = TComPtr<ICoreWebView2Controller>::Share(Controller);
  HRESULT code = FController->get_CoreWebView2(FWebView.Put());
  if (SUCCEEDED(code) && FWebView)
    code = FWebView->get_Settings(FSettings.Put());
  if (FAILED(code) || !FWebView || !FSettings)
    return RaiseCreated(FAILED(code) ? code : E_NOINTERFACE);
  AddEventHandlers();
  UpdateBounds();
  FController->put_IsVisible(TRUE);
  // The window may have been activated before the engine was there to take the focus.
  if (GetActiveWindow() == FParent.Handle() && GetFocus() == FParent.Handle())
    FController->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  for (const std::string& script : std::exchange(FPendingScripts, {}))
    AddScriptToExecuteOnDocumentCreated(script);
  for (const std::string& filter : std::exchange(FPendingFilters, {}))
    AddWebResourceRequestedFilter(filter);
  if (FPendingSettings)
    ApplySettings(*std::exchange(FPendingSettings, std::nullopt));
  // The handler may free this control.
  const std::shared_ptr<bool> alive = FAlive;
  RaiseCreated(S_OK);
  if (*alive && !FPendingNavigation.empty())
    Navigate(std::exchange(FPendingNavigation, {}));
}

void TWin32EdgeBrowser::Recreate()
{
  if (FController)
    FController->Close();
  FSettings.Reset();
  FWebView.Reset();
  FController.Reset();
  FEnvironment.Reset();
  FDocumentAddress.clear();
  FPendingDocument.clear();
  ++FDocumentGeneration;
  FCreationReported = false;
  StartCreation();
}

void TWin32EdgeBrowser::AddEventHandlers()
{
  std::shared_ptr<bool> alive = FAlive;
  EventRegistrationToken token{};
  FWebView->add_WebMessageReceived(
    MakeCallback<ICoreWebView2WebMessageReceivedEventHandler>([this,
                                                               alive](ICoreWebView2*,
                                                                      ICoreWebView2WebMessageReceivedEventArgs* Args) {
      if (*alive)
        WebMessageReceived(Args);
    }).Get(),
    &token);
  FWebView->add_WebResourceRequested(
    MakeCallback<ICoreWebView2WebResourceRequestedEventHandler>([this, alive](
                                                                  ICoreWebView2*,
                                                                  ICoreWebView2WebResourceRequestedEventArgs* Args) {
      if (*alive)
        WebResourceRequested(Args);
    }).Get(),
    &token);
  FWebView->add_NewWindowRequested(
    MakeCallback<ICoreWebView2NewWindowRequestedEventHandler>([this,
                                                               alive](ICoreWebView2*,
                                                                      ICoreWebView2NewWindowRequestedEventArgs* Args) {
      if (*alive)
        NewWindowRequested(Args);
    }).Get(),
    &token);
  FWebView->add_PermissionRequested(
    MakeCallback<ICoreWebView2PermissionRequestedEventHandler>([this, alive](
                                                                 ICoreWebView2*,
                                                                 ICoreWebView2PermissionRequestedEventArgs* Args) {
      if (*alive)
        PermissionRequested(Args);
    }).Get(),
    &token);
  FWebView->add_ProcessFailed(
    MakeCallback<ICoreWebView2ProcessFailedEventHandler>([this, alive](ICoreWebView2*,
                                                                       ICoreWebView2ProcessFailedEventArgs* Args) {
      if (*alive)
        ProcessFailed(Args);
    }).Get(),
    &token);
  FWebView->add_NavigationCompleted(
    MakeCallback<ICoreWebView2NavigationCompletedEventHandler>([this, alive](
                                                                 ICoreWebView2*,
                                                                 ICoreWebView2NavigationCompletedEventArgs* Args) {
      if (*alive)
        NavigationCompleted(Args);
    }).Get(),
    &token);
  FWebView->add_DocumentTitleChanged(
    MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>([this, alive](ICoreWebView2*, IUnknown*) {
      if (*alive)
        DocumentTitleChanged();
    }).Get(),
    &token);
}

void TWin32EdgeBrowser::UpdateBounds()
{
  if (!FController)
    return;
  RECT bounds{};
  GetClientRect(FParent.ClientArea(), &bounds);
  FController->put_Bounds(bounds);
}

void TWin32EdgeBrowser::ApplySettings(const TEdgeBrowserSettings& Settings)
{
  if (!FSettings) {
    FPendingSettings = Settings;
    return;
  }
  FSettings->put_IsScriptEnabled(Settings.ScriptEnabled);
  FSettings->put_IsStatusBarEnabled(Settings.StatusBarEnabled);
  FSettings->put_IsZoomControlEnabled(Settings.ZoomControlEnabled);
  FSettings->put_IsWebMessageEnabled(Settings.WebMessageEnabled);
  FSettings->put_IsBuiltInErrorPageEnabled(Settings.BuiltInErrorPageEnabled);
  FSettings->put_AreDevToolsEnabled(Settings.DevToolsEnabled);
  FSettings->put_AreDefaultContextMenusEnabled(Settings.DefaultContextMenusEnabled);
}

void TWin32EdgeBrowser::AddScriptToExecuteOnDocumentCreated(const std::string& Script)
{
  if (!FWebView) {
    FPendingScripts.push_back(Script);
    return;
  }
  FWebView->AddScriptToExecuteOnDocumentCreated(Utf8ToWide(Script).c_str(), nullptr);
}

void TWin32EdgeBrowser::AddWebResourceRequestedFilter(const std::string& Filter)
{
  if (!FWebView) {
    FPendingFilters.push_back(Filter);
    return;
  }
  FWebView->AddWebResourceRequestedFilter(Utf8ToWide(Filter).c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
}

void TWin32EdgeBrowser::Navigate(const std::string& Url)
{
  if (!FWebView) {
    FPendingNavigation = Url;
    return;
  }
  FWebView->Navigate(Utf8ToWide(Url).c_str());
}

void TWin32EdgeBrowser::ExecuteScript(const std::string& Script)
{
  if (FWebView)
    FWebView->ExecuteScript(Utf8ToWide(Script).c_str(), nullptr);
}

void TWin32EdgeBrowser::PostWebMessageAsJson(const std::string& Json)
{
  if (FWebView)
    FWebView->PostWebMessageAsJson(Utf8ToWide(Json).c_str());
}

void TWin32EdgeBrowser::SetFocus()
{
  if (FController)
    FController->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

std::string TWin32EdgeBrowser::Source() const
{
  if (!FWebView)
    return {};
  LPWSTR source = nullptr;
  if (FAILED(FWebView->get_Source(&source)))
    return {};
  return TakeCoTaskString(source);
}

void TWin32EdgeBrowser::SyncDocument()
{
  // The document requested last is committed once it is what the view shows.
  if (!FPendingDocument.empty() && WithoutFragment(Source()) == FPendingDocument)
    CommitDocument(Source());
}

void TWin32EdgeBrowser::CommitDocument(const std::string& Address)
{
  FPendingDocument.clear();
  FDocumentAddress = Address;
  ++FDocumentGeneration;
  Raise(OnContentLoading, *this, Address);
}

void TWin32EdgeBrowser::WebMessageReceived(ICoreWebView2WebMessageReceivedEventArgs* Args)
{
  SyncDocument();
  LPWSTR source = nullptr;
  LPWSTR json = nullptr;
  if (FAILED(Args->get_Source(&source)) || FAILED(Args->get_WebMessageAsJson(&json))) {
    CoTaskMemFree(source);
    CoTaskMemFree(json);
    return;
  }
  std::string sender = TakeCoTaskString(source);
  std::string message = TakeCoTaskString(json);
  // Only a message posted as a string has a string form.
  std::optional<std::string> text;
  LPWSTR asString = nullptr;
  if (SUCCEEDED(Args->TryGetWebMessageAsString(&asString)) && asString != nullptr)
    text = TakeCoTaskString(asString);
  // The reply belongs to the document shown now; the handler runs from the loop, since it may open
  // a modal dialog, which the engine does not allow inside its callback.
  auto received = std::make_shared<TWebMessageReceivedEventArgs>(
    std::move(sender), std::move(message), std::move(text),
    std::make_shared<TWin32ReplyTarget>(*this, FAlive, FDocumentGeneration));
  Later([this, received] { Raise(OnWebMessageReceived, *this, *received); });
}

void TWin32EdgeBrowser::WebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* Args)
{
  SyncDocument();
  TComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(Args->get_Request(request.Put())) || !request)
    return;
  LPWSTR uri = nullptr;
  if (FAILED(request->get_Uri(&uri)))
    return;
  TWebResourceRequestedEventArgs requested;
  requested.Uri = TakeCoTaskString(uri);
  // Who asks: another web origin names itself; otherwise the referrer names the document. The
  // opaque origin "null" of a file: document says nothing.
  TComPtr<ICoreWebView2HttpRequestHeaders> headers;
  request->get_Headers(headers.Put());
  const std::string origin = HeaderOf(headers.Get(), L"Origin");
  const std::string referer = HeaderOf(headers.Get(), L"Referer");
  if (!origin.empty() && origin != "null" && !text::StartsWithIgnoringCase(origin, "file:"))
    requested.Requester = origin;
  else if (!referer.empty())
    requested.Requester = referer;
  requested.Range = HeaderOf(headers.Get(), L"Range");
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL;
  Args->get_ResourceContext(&context);
  const std::shared_ptr<bool> alive = FAlive;
  Raise(OnWebResourceRequested, *this, requested);
  if (!*alive)
    return;
  // A document request may start a new top-level document, committed once the view shows it.
  if (context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT)
    FPendingDocument = requested.Uri;
  if (!requested.Response || !FEnvironment)
    return;
  const TWebResourceResponse& answer = *requested.Response;
  TWebResourceBodyPtr body = answer.Body != nullptr ? answer.Body : std::make_shared<TEmptyBody>();
  auto stream = TBodyStream::Create(std::move(body));
  TComPtr<ICoreWebView2WebResourceResponse> response;
  if (SUCCEEDED(FEnvironment->CreateWebResourceResponse(stream.Get(), answer.StatusCode,
                                                        Utf8ToWide(answer.ReasonPhrase).c_str(),
                                                        Utf8ToWide(answer.Headers).c_str(), response.Put())) &&
      response)
    Args->put_Response(response.Get());
}

void TWin32EdgeBrowser::NewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* Args)
{
  LPWSTR uri = nullptr;
  if (FAILED(Args->get_Uri(&uri)))
    return;
  TNewWindowRequestedEventArgs requested;
  requested.Uri = TakeCoTaskString(uri);
  const std::shared_ptr<bool> alive = FAlive;
  Raise(OnNewWindowRequested, *this, requested);
  if (*alive && requested.Handled)
    Args->put_Handled(TRUE);
}

void TWin32EdgeBrowser::PermissionRequested(ICoreWebView2PermissionRequestedEventArgs* Args)
{
  LPWSTR uri = nullptr;
  COREWEBVIEW2_PERMISSION_KIND kind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
  if (FAILED(Args->get_Uri(&uri)))
    return;
  Args->get_PermissionKind(&kind);
  TPermissionRequestedEventArgs requested;
  requested.Uri = TakeCoTaskString(uri);
  requested.Kind = PermissionKindName(kind);
  const std::shared_ptr<bool> alive = FAlive;
  Raise(OnPermissionRequested, *this, requested);
  if (!*alive)
    return;
  switch (requested.State) {
  case TPermissionState::Allow: Args->put_State(COREWEBVIEW2_PERMISSION_STATE_ALLOW); break;
  case TPermissionState::Deny: Args->put_State(COREWEBVIEW2_PERMISSION_STATE_DENY); break;
  case TPermissionState::Default: break; // the engine's default
  }
}

void TWin32EdgeBrowser::NavigationCompleted(ICoreWebView2NavigationCompletedEventArgs* Args)
{
  BOOL success = FALSE;
  Args->get_IsSuccess(&success);
  // At the latest now the view shows the document it navigated to (or the engine's error page
  // for it).
  SyncDocument();
  if (const std::string shown = Source(); shown != FDocumentAddress)
    CommitDocument(shown);
  Later([this, success] { Raise(OnNavigationCompleted, *this, success != FALSE); });
}

void TWin32EdgeBrowser::ProcessFailed(ICoreWebView2ProcessFailedEventArgs* Args)
{
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
  Args->get_ProcessFailedKind(&kind);
  switch (kind) {
  case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
    // The whole engine is gone with its controller: it is made again, and the owner sets it up
    // as after the first creation.
    Later([this] { Recreate(); });
    break;
  case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
    // The page is gone and the view shows nothing.
    Later([this] { Raise(OnProcessFailed, *this); });
    break;
  default:
    // A helper process (GPU, utility, a frame's renderer) or an unresponsive page: the engine
    // recovers or the page goes on; reloading would only lose the page's state.
    break;
  }
}

void TWin32EdgeBrowser::DocumentTitleChanged()
{
  LPWSTR title = nullptr;
  if (FAILED(FWebView->get_DocumentTitle(&title)))
    return;
  Later([this, text = TakeCoTaskString(title)] { Raise(OnDocumentTitleChanged, *this, text); });
}

} // namespace velmora
