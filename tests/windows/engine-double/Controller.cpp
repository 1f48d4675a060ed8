// The engine double's environment (controllers, response objects) and controller (the view's window
// state, focus, closing).
#include "EngineObjects.h"

#include "Dispatcher.h"
#include "Text.h"

namespace velmora::enginedouble {

namespace {

uint64_t WindowNumber(HWND window) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)); }

} // namespace

HRESULT RefuseWrongThread(TObjectKind kind)
{
  Record(Event("wrong-thread").Utf8("object", ObjectKindName(kind)).Uint("threadId", GetCurrentThreadId()));
  return RPC_E_WRONG_THREAD;
}

INT64 NextEventToken()
{
  static std::atomic<INT64> next{0};
  return ++next;
}

// ---- TEnvironment ----

// The controller is made when the completion runs, through the host's message loop. The result may be
// forced with VELMORA_DOUBLE_CONTROLLER_RESULT (read at each call).
HRESULT TEnvironment::CreateCoreWebView2Controller(HWND parent,
                                                   ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler)
{
  if (handler == nullptr)
    return E_POINTER;
  if (!IsWindow(parent)) {
    Record(Event("controller-created")
             .Uint("parentWindow", WindowNumber(parent))
             .Utf8("result", HresultText(E_INVALIDARG))
             .Bool("synchronous", true));
    return E_INVALIDARG;
  }
  HRESULT result = S_OK;
  if (const auto forced = EnvironmentVariable(L"VELMORA_DOUBLE_CONTROLLER_RESULT"); forced && !forced->empty())
    result = ParseHresult(*forced).value_or(E_FAIL);
  auto self = TComRef<TEnvironment>::Retain(this);
  auto completed = TComRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::Retain(handler);
  PostTask([self, completed, parent, result] {
    TComRef<TController> controller;
    if (SUCCEEDED(result))
      controller = MakeObject<TController>(self, parent);
    Record(Event("controller-created").Uint("parentWindow", WindowNumber(parent)).Utf8("result", HresultText(result)));
    const HRESULT handled = completed->lpVtbl->Invoke(completed.Get(), result, controller.Get());
    Record(Event("controller-handler-returned").Utf8("result", HresultText(handled)));
  });
  return S_OK;
}

HRESULT TEnvironment::CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                                                ICoreWebView2WebResourceResponse** response)
{
  if (response == nullptr)
    return E_POINTER;
  *response = MakeObject<TResponse>(content, status, std::wstring(View(reason)), std::wstring(View(headers))).Detach();
  return S_OK;
}

HRESULT TEnvironment::GetBrowserVersionString(LPWSTR* version) { return OutString(FVersion, version); }

HRESULT TEnvironment::AddNewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler* handler,
                                                    EventRegistrationToken* token)
{
  return FNewVersionHandlers.Add(handler, token);
}

HRESULT TEnvironment::RemoveNewBrowserVersionAvailable(EventRegistrationToken token)
{
  return FNewVersionHandlers.Remove(token);
}

const ICoreWebView2EnvironmentVtbl TEnvironment::kVtbl = {
  .QueryInterface = TUnknownThunks<TEnvironment>::QueryInterface,
  .AddRef = TUnknownThunks<TEnvironment>::AddRef,
  .Release = TUnknownThunks<TEnvironment>::Release,
  .CreateCoreWebView2Controller = Thunk<&TEnvironment::CreateCoreWebView2Controller>,
  .CreateWebResourceResponse = Thunk<&TEnvironment::CreateWebResourceResponse>,
  .get_BrowserVersionString = Thunk<&TEnvironment::GetBrowserVersionString>,
  .add_NewBrowserVersionAvailable = Thunk<&TEnvironment::AddNewBrowserVersionAvailable>,
  .remove_NewBrowserVersionAvailable = Thunk<&TEnvironment::RemoveNewBrowserVersionAvailable>,
};

// ---- TController ----

TController::TController(TComRef<TEnvironment> environment, HWND parent)
  : FEnvironment(std::move(environment)), FWebView(MakeObject<TWebView>()), FParent(parent)
{}

TController::~TController()
{
  // A controller released without Close closes its view all the same.
  if (!FClosed)
    FWebView->Shutdown();
}

HRESULT TController::GetIsVisible(BOOL* visible)
{
  if (visible == nullptr)
    return E_POINTER;
  *visible = FVisible ? TRUE : FALSE;
  return FClosed ? kClosedError : S_OK;
}

HRESULT TController::PutIsVisible(BOOL visible)
{
  if (FClosed)
    return kClosedError;
  FVisible = visible != FALSE;
  Record(Event("visible").Bool("value", FVisible));
  return S_OK;
}

HRESULT TController::GetBounds(RECT* bounds)
{
  if (bounds == nullptr)
    return E_POINTER;
  *bounds = FBounds;
  return FClosed ? kClosedError : S_OK;
}

HRESULT TController::PutBounds(RECT bounds)
{
  if (FClosed)
    return kClosedError;
  FBounds = bounds;
  Record(Event("bounds")
           .Int("left", bounds.left)
           .Int("top", bounds.top)
           .Int("right", bounds.right)
           .Int("bottom", bounds.bottom));
  return S_OK;
}

HRESULT TController::GetZoomFactor(double* zoom)
{
  if (zoom == nullptr)
    return E_POINTER;
  *zoom = FZoom;
  return FClosed ? kClosedError : S_OK;
}

HRESULT TController::PutZoomFactor(double zoom)
{
  if (FClosed)
    return kClosedError;
  if (!(zoom > 0))
    return E_INVALIDARG;
  FZoom = zoom;
  Record(Event("zoom").Number("factor", zoom));
  return S_OK;
}

HRESULT TController::AddZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler* handler,
                                          EventRegistrationToken* token)
{
  return FClosed ? kClosedError : FZoomChanged.Add(handler, token);
}

HRESULT TController::RemoveZoomFactorChanged(EventRegistrationToken token) { return FZoomChanged.Remove(token); }

HRESULT TController::SetBoundsAndZoomFactor(RECT bounds, double zoom)
{
  if (FClosed)
    return kClosedError;
  if (!(zoom > 0))
    return E_INVALIDARG;
  FBounds = bounds;
  FZoom = zoom;
  Record(Event("bounds")
           .Int("left", bounds.left)
           .Int("top", bounds.top)
           .Int("right", bounds.right)
           .Int("bottom", bounds.bottom)
           .Number("zoomFactor", zoom));
  return S_OK;
}

HRESULT TController::MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason)
{
  if (FClosed)
    return kClosedError;
  Record(Event("focus").Int("reason", reason));
  return S_OK;
}

HRESULT TController::AddMoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler* handler,
                                           EventRegistrationToken* token)
{
  return FClosed ? kClosedError : FMoveFocusRequested.Add(handler, token);
}

HRESULT TController::RemoveMoveFocusRequested(EventRegistrationToken token)
{
  return FMoveFocusRequested.Remove(token);
}

HRESULT TController::AddGotFocus(ICoreWebView2FocusChangedEventHandler* handler, EventRegistrationToken* token)
{
  return FClosed ? kClosedError : FGotFocus.Add(handler, token);
}

HRESULT TController::RemoveGotFocus(EventRegistrationToken token) { return FGotFocus.Remove(token); }

HRESULT TController::AddLostFocus(ICoreWebView2FocusChangedEventHandler* handler, EventRegistrationToken* token)
{
  return FClosed ? kClosedError : FLostFocus.Add(handler, token);
}

HRESULT TController::RemoveLostFocus(EventRegistrationToken token) { return FLostFocus.Remove(token); }

HRESULT TController::AddAcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                              EventRegistrationToken* token)
{
  return FClosed ? kClosedError : FAcceleratorKeyPressed.Add(handler, token);
}

HRESULT TController::RemoveAcceleratorKeyPressed(EventRegistrationToken token)
{
  return FAcceleratorKeyPressed.Remove(token);
}

HRESULT TController::GetParentWindow(HWND* parent)
{
  if (parent == nullptr)
    return E_POINTER;
  *parent = FParent;
  return FClosed ? kClosedError : S_OK;
}

HRESULT TController::PutParentWindow(HWND parent)
{
  if (FClosed)
    return kClosedError;
  if (!IsWindow(parent))
    return E_INVALIDARG;
  FParent = parent;
  Record(Event("parent-window").Uint("parentWindow", WindowNumber(parent)));
  return S_OK;
}

HRESULT TController::NotifyParentWindowPositionChanged()
{
  if (FClosed)
    return kClosedError;
  Record(Event("parent-position-changed"));
  return S_OK;
}

// Closes the view: no event is raised any more, every registered handler is released, and the
// controller and web view answer kClosedError from now on. Closing again does nothing.
HRESULT TController::Close()
{
  if (FClosed)
    return S_OK;
  FClosed = true;
  size_t released = FZoomChanged.Clear() + FMoveFocusRequested.Clear() + FGotFocus.Clear() + FLostFocus.Clear() +
                    FAcceleratorKeyPressed.Clear();
  released += FWebView->Shutdown();
  // The references the host still holds are the counts less the double's own: the web view and the
  // environment are each held once by this controller.
  Record(Event("controller-closed")
           .Uint("handlersReleased", released)
           .Raw("references", TJsonObjectWriter()
                                .Uint("controller", References())
                                .Uint("webView", FWebView->References())
                                .Uint("environment", FEnvironment->References())
                                .Finish())
           .Raw("liveObjects", LiveObjectsJson()));
  return S_OK;
}

HRESULT TController::GetCoreWebView2(ICoreWebView2** webView)
{
  if (webView == nullptr)
    return E_POINTER;
  if (FClosed) {
    *webView = nullptr;
    return kClosedError;
  }
  *webView = TComRef<TWebView>(FWebView).Detach();
  return S_OK;
}

const ICoreWebView2ControllerVtbl TController::kVtbl = {
  .QueryInterface = TUnknownThunks<TController>::QueryInterface,
  .AddRef = TUnknownThunks<TController>::AddRef,
  .Release = TUnknownThunks<TController>::Release,
  .get_IsVisible = Thunk<&TController::GetIsVisible>,
  .put_IsVisible = Thunk<&TController::PutIsVisible>,
  .get_Bounds = Thunk<&TController::GetBounds>,
  .put_Bounds = Thunk<&TController::PutBounds>,
  .get_ZoomFactor = Thunk<&TController::GetZoomFactor>,
  .put_ZoomFactor = Thunk<&TController::PutZoomFactor>,
  .add_ZoomFactorChanged = Thunk<&TController::AddZoomFactorChanged>,
  .remove_ZoomFactorChanged = Thunk<&TController::RemoveZoomFactorChanged>,
  .SetBoundsAndZoomFactor = Thunk<&TController::SetBoundsAndZoomFactor>,
  .MoveFocus = Thunk<&TController::MoveFocus>,
  .add_MoveFocusRequested = Thunk<&TController::AddMoveFocusRequested>,
  .remove_MoveFocusRequested = Thunk<&TController::RemoveMoveFocusRequested>,
  .add_GotFocus = Thunk<&TController::AddGotFocus>,
  .remove_GotFocus = Thunk<&TController::RemoveGotFocus>,
  .add_LostFocus = Thunk<&TController::AddLostFocus>,
  .remove_LostFocus = Thunk<&TController::RemoveLostFocus>,
  .add_AcceleratorKeyPressed = Thunk<&TController::AddAcceleratorKeyPressed>,
  .remove_AcceleratorKeyPressed = Thunk<&TController::RemoveAcceleratorKeyPressed>,
  .get_ParentWindow = Thunk<&TController::GetParentWindow>,
  .put_ParentWindow = Thunk<&TController::PutParentWindow>,
  .NotifyParentWindowPositionChanged = Thunk<&TController::NotifyParentWindowPositionChanged>,
  .Close = Thunk<&TController::Close>,
  .get_CoreWebView2 = Thunk<&TController::GetCoreWebView2>,
};

} // namespace velmora::enginedouble
