// The engine double's own declarations of the browser engine's COM interface: IIDs, vtables, enums.
//
// Written from the interface notes in the shared reference folder, independently of the runtime's
// declarations, so that each checks the other. Every interface is a C-style pair: a vtable struct whose
// fields are the methods in slot order, and the interface struct holding the pointer to it. Each method
// is listed with its slot number next to its name, and a static_assert checks that the field really
// sits at that slot, so a swapped or missing method fails the build instead of calling the wrong code.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <unknwn.h>
#include <eventtoken.h>

#include <cstddef>
#include <cstdint>

namespace velmora::enginedouble {

// NOLINTBEGIN(readability-identifier-naming): the names are those of the engine's COM interface.

// Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" at compile time, so the IIDs are written exactly as the
// reference lists them; a malformed string does not compile.
consteval unsigned HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f')
    return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F')
    return static_cast<unsigned>(c - 'A' + 10);
  throw "not a hexadecimal digit";
}

consteval unsigned long long HexField(const char* text, int first, int count)
{
  unsigned long long value = 0;
  for (int i = 0; i < count; ++i)
    value = value * 16 + HexDigit(text[first + i]);
  return value;
}

consteval IID ParseIid(const char (&text)[37])
{
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    throw "an IID has the form xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
  IID iid{};
  iid.Data1 = static_cast<unsigned long>(HexField(text, 0, 8));
  iid.Data2 = static_cast<unsigned short>(HexField(text, 9, 4));
  iid.Data3 = static_cast<unsigned short>(HexField(text, 14, 4));
  iid.Data4[0] = static_cast<unsigned char>(HexField(text, 19, 2));
  iid.Data4[1] = static_cast<unsigned char>(HexField(text, 21, 2));
  for (int i = 0; i < 6; ++i)
    iid.Data4[2 + i] = static_cast<unsigned char>(HexField(text, 24 + 2 * i, 2));
  return iid;
}

// The IID and name of each declared interface: TInterfaceInfo<I>::kIid, ::kName.
template <class Interface>
struct TInterfaceInfo;

// One vtable field: every method returns HRESULT and takes the interface pointer first.
#define VELMORA_DOUBLE_VTBL_FIELD(slot, name, ...)                                                                     \
  HRESULT(STDMETHODCALLTYPE* name)(TSelf * self __VA_OPT__(, ) __VA_ARGS__);
// One slot check: the field's byte offset is the slot number times the pointer size.
#define VELMORA_DOUBLE_SLOT_CHECK(slot, name, ...)                                                                     \
  static_assert(offsetof(TVtbl, name) == (slot) * sizeof(void*), #name " is not in vtable slot " #slot);

// Declares Name (with Name::TVtbl = NameVtbl) from a method table and checks every slot and the total.
#define VELMORA_DOUBLE_INTERFACE(Name, iidText, slotCount, METHODS)                                                    \
  struct Name##Vtbl {                                                                                                  \
    using TSelf = Name;                                                                                                \
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(TSelf * self, REFIID iid, void** object);                               \
    ULONG(STDMETHODCALLTYPE* AddRef)(TSelf * self);                                                                    \
    ULONG(STDMETHODCALLTYPE* Release)(TSelf * self);                                                                   \
    METHODS(VELMORA_DOUBLE_VTBL_FIELD)                                                                                 \
  };                                                                                                                   \
  struct Name {                                                                                                        \
    using TVtbl = Name##Vtbl;                                                                                          \
    const TVtbl* lpVtbl;                                                                                               \
  };                                                                                                                   \
  struct Name##SlotChecks {                                                                                            \
    using TVtbl = Name##Vtbl;                                                                                          \
    static_assert(offsetof(TVtbl, QueryInterface) == 0 && offsetof(TVtbl, AddRef) == sizeof(void*) &&                  \
                  offsetof(TVtbl, Release) == 2 * sizeof(void*));                                                      \
    METHODS(VELMORA_DOUBLE_SLOT_CHECK)                                                                                 \
    static_assert(sizeof(TVtbl) == (slotCount) * sizeof(void*), #Name " does not have " #slotCount " slots");          \
  };                                                                                                                   \
  template <>                                                                                                          \
  struct TInterfaceInfo<Name> {                                                                                        \
    static constexpr IID kIid = ParseIid(iidText);                                                                     \
    static constexpr const char* kName = #Name;                                                                        \
  };

// ---- Enums (32 bits wide; only appended to between engine versions) ----

enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT : INT32 {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET = 2,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE = 3,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA = 4,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FONT = 5,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT = 6,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST = 7,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH = 8,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_TEXT_TRACK = 9,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_EVENT_SOURCE = 10,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_WEBSOCKET = 11,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MANIFEST = 12,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SIGNED_EXCHANGE = 13,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_PING = 14,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT = 15,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER = 16,
};

enum COREWEBVIEW2_PERMISSION_STATE : INT32 {
  COREWEBVIEW2_PERMISSION_STATE_DEFAULT = 0,
  COREWEBVIEW2_PERMISSION_STATE_ALLOW = 1,
  COREWEBVIEW2_PERMISSION_STATE_DENY = 2,
};

enum COREWEBVIEW2_PERMISSION_KIND : INT32 {
  COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION = 0,
  COREWEBVIEW2_PERMISSION_KIND_MICROPHONE = 1,
  COREWEBVIEW2_PERMISSION_KIND_CAMERA = 2,
  COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION = 3,
  COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS = 4,
  COREWEBVIEW2_PERMISSION_KIND_OTHER_SENSORS = 5,
  COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ = 6,
  COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS = 7,
  COREWEBVIEW2_PERMISSION_KIND_FILE_READ_WRITE = 8,
  COREWEBVIEW2_PERMISSION_KIND_AUTOPLAY = 9,
  COREWEBVIEW2_PERMISSION_KIND_LOCAL_FONTS = 10,
  COREWEBVIEW2_PERMISSION_KIND_MIDI_SYSTEM_EXCLUSIVE_MESSAGES = 11,
  COREWEBVIEW2_PERMISSION_KIND_WINDOW_MANAGEMENT = 12,
};

enum COREWEBVIEW2_PROCESS_FAILED_KIND : INT32 {
  COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED = 1,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE = 2,
  COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED = 3,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED = 4,
  COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED = 5,
  COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED = 6,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_PLUGIN_PROCESS_EXITED = 7,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_BROKER_PROCESS_EXITED = 8,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED = 9,
};

enum COREWEBVIEW2_WEB_ERROR_STATUS : INT32 {
  COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN = 0,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_COMMON_NAME_IS_INCORRECT = 1,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_EXPIRED = 2,
  COREWEBVIEW2_WEB_ERROR_STATUS_CLIENT_CERTIFICATE_CONTAINS_ERRORS = 3,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_REVOKED = 4,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID = 5,
  COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE = 6,
  COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT = 7,
  COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE = 8,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED = 9,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET = 10,
  COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED = 11,
  COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT = 12,
  COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED = 13,
  COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED = 14,
  COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED = 15,
  COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR = 16,
  COREWEBVIEW2_WEB_ERROR_STATUS_VALID_AUTHENTICATION_CREDENTIALS_REQUIRED = 17,
  COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_REQUIRED = 18,
};

enum COREWEBVIEW2_MOVE_FOCUS_REASON : INT32 {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
  COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
  COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2,
};

// Only passed through (CapturePreview is not implemented); its values are not needed.
enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT : INT32 {};

static_assert(sizeof(COREWEBVIEW2_WEB_RESOURCE_CONTEXT) == 4 && sizeof(COREWEBVIEW2_PERMISSION_STATE) == 4 &&
              sizeof(COREWEBVIEW2_PERMISSION_KIND) == 4 && sizeof(COREWEBVIEW2_PROCESS_FAILED_KIND) == 4 &&
              sizeof(COREWEBVIEW2_WEB_ERROR_STATUS) == 4 && sizeof(COREWEBVIEW2_MOVE_FOCUS_REASON) == 4);
static_assert(sizeof(EventRegistrationToken) == 8 && alignof(EventRegistrationToken) == 8);
static_assert(sizeof(RECT) == 16 && sizeof(BOOL) == 4);

// ---- Interfaces that only appear as parameter types ----

// Handlers of events the double never raises, and objects it never makes: only their IUnknown part is
// used (to keep and release a registered handler), so they share one declaration.
struct TOpaqueInterface;
struct TOpaqueInterfaceVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(TOpaqueInterface* self, REFIID iid, void** object);
  ULONG(STDMETHODCALLTYPE* AddRef)(TOpaqueInterface* self);
  ULONG(STDMETHODCALLTYPE* Release)(TOpaqueInterface* self);
};
struct TOpaqueInterface {
  using TVtbl = TOpaqueInterfaceVtbl;
  const TVtbl* lpVtbl;
};
using ICoreWebView2NewBrowserVersionAvailableEventHandler = TOpaqueInterface;
using ICoreWebView2ZoomFactorChangedEventHandler = TOpaqueInterface;
using ICoreWebView2MoveFocusRequestedEventHandler = TOpaqueInterface;
using ICoreWebView2FocusChangedEventHandler = TOpaqueInterface;
using ICoreWebView2AcceleratorKeyPressedEventHandler = TOpaqueInterface;
using ICoreWebView2NavigationStartingEventHandler = TOpaqueInterface;
using ICoreWebView2ContentLoadingEventHandler = TOpaqueInterface;
using ICoreWebView2SourceChangedEventHandler = TOpaqueInterface;
using ICoreWebView2HistoryChangedEventHandler = TOpaqueInterface;
using ICoreWebView2ScriptDialogOpeningEventHandler = TOpaqueInterface;
using ICoreWebView2CapturePreviewCompletedHandler = TOpaqueInterface;
using ICoreWebView2CallDevToolsProtocolMethodCompletedHandler = TOpaqueInterface;
using ICoreWebView2DevToolsProtocolEventReceiver = TOpaqueInterface;
using ICoreWebView2ContainsFullScreenElementChangedEventHandler = TOpaqueInterface;
using ICoreWebView2WindowCloseRequestedEventHandler = TOpaqueInterface;
using ICoreWebView2WindowFeatures = TOpaqueInterface;

// ---- Interfaces ----

struct ICoreWebView2Environment;
struct ICoreWebView2Controller;
struct ICoreWebView2;
struct ICoreWebView2Settings;
struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WebResourceRequestedEventArgs;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2HttpResponseHeaders;
struct ICoreWebView2HttpHeadersCollectionIterator;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2PermissionRequestedEventArgs;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2ProcessFailedEventArgs;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2Deferral;

// clang-format off
#define VELMORA_DOUBLE_ENVIRONMENT_METHODS(M) \
  M(3, CreateCoreWebView2Controller, HWND parentWindow, \
      ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) \
  M(4, CreateWebResourceResponse, IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers, \
      ICoreWebView2WebResourceResponse** response) \
  M(5, get_BrowserVersionString, LPWSTR* versionInfo) \
  M(6, add_NewBrowserVersionAvailable, ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(7, remove_NewBrowserVersionAvailable, EventRegistrationToken token)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2Environment,
                         "b96d755e-0319-4e92-a296-23436f46a1fc", 8, VELMORA_DOUBLE_ENVIRONMENT_METHODS)

#define VELMORA_DOUBLE_CONTROLLER_METHODS(M) \
  M(3, get_IsVisible, BOOL* isVisible) \
  M(4, put_IsVisible, BOOL isVisible) \
  M(5, get_Bounds, RECT* bounds) \
  M(6, put_Bounds, RECT bounds) \
  M(7, get_ZoomFactor, double* zoomFactor) \
  M(8, put_ZoomFactor, double zoomFactor) \
  M(9, add_ZoomFactorChanged, ICoreWebView2ZoomFactorChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(10, remove_ZoomFactorChanged, EventRegistrationToken token) \
  M(11, SetBoundsAndZoomFactor, RECT bounds, double zoomFactor) \
  M(12, MoveFocus, COREWEBVIEW2_MOVE_FOCUS_REASON reason) \
  M(13, add_MoveFocusRequested, ICoreWebView2MoveFocusRequestedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(14, remove_MoveFocusRequested, EventRegistrationToken token) \
  M(15, add_GotFocus, ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(16, remove_GotFocus, EventRegistrationToken token) \
  M(17, add_LostFocus, ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(18, remove_LostFocus, EventRegistrationToken token) \
  M(19, add_AcceleratorKeyPressed, ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(20, remove_AcceleratorKeyPressed, EventRegistrationToken token) \
  M(21, get_ParentWindow, HWND* parentWindow) \
  M(22, put_ParentWindow, HWND parentWindow) \
  M(23, NotifyParentWindowPositionChanged) \
  M(24, Close) \
  M(25, get_CoreWebView2, ICoreWebView2** coreWebView2)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2Controller,
                         "4d00c0d1-9434-4eb6-8078-8697a560334f", 26, VELMORA_DOUBLE_CONTROLLER_METHODS)

#define VELMORA_DOUBLE_WEBVIEW_METHODS(M) \
  M(3, get_Settings, ICoreWebView2Settings** settings) \
  M(4, get_Source, LPWSTR* uri) \
  M(5, Navigate, LPCWSTR uri) \
  M(6, NavigateToString, LPCWSTR htmlContent) \
  M(7, add_NavigationStarting, ICoreWebView2NavigationStartingEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(8, remove_NavigationStarting, EventRegistrationToken token) \
  M(9, add_ContentLoading, ICoreWebView2ContentLoadingEventHandler* eventHandler, EventRegistrationToken* token) \
  M(10, remove_ContentLoading, EventRegistrationToken token) \
  M(11, add_SourceChanged, ICoreWebView2SourceChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(12, remove_SourceChanged, EventRegistrationToken token) \
  M(13, add_HistoryChanged, ICoreWebView2HistoryChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(14, remove_HistoryChanged, EventRegistrationToken token) \
  M(15, add_NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(16, remove_NavigationCompleted, EventRegistrationToken token) \
  M(17, add_FrameNavigationStarting, ICoreWebView2NavigationStartingEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(18, remove_FrameNavigationStarting, EventRegistrationToken token) \
  M(19, add_FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(20, remove_FrameNavigationCompleted, EventRegistrationToken token) \
  M(21, add_ScriptDialogOpening, ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(22, remove_ScriptDialogOpening, EventRegistrationToken token) \
  M(23, add_PermissionRequested, ICoreWebView2PermissionRequestedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(24, remove_PermissionRequested, EventRegistrationToken token) \
  M(25, add_ProcessFailed, ICoreWebView2ProcessFailedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(26, remove_ProcessFailed, EventRegistrationToken token) \
  M(27, AddScriptToExecuteOnDocumentCreated, LPCWSTR javaScript, \
      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) \
  M(28, RemoveScriptToExecuteOnDocumentCreated, LPCWSTR id) \
  M(29, ExecuteScript, LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) \
  M(30, CapturePreview, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream, \
      ICoreWebView2CapturePreviewCompletedHandler* handler) \
  M(31, Reload) \
  M(32, PostWebMessageAsJson, LPCWSTR webMessageAsJson) \
  M(33, PostWebMessageAsString, LPCWSTR webMessageAsString) \
  M(34, add_WebMessageReceived, ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) \
  M(35, remove_WebMessageReceived, EventRegistrationToken token) \
  M(36, CallDevToolsProtocolMethod, LPCWSTR methodName, LPCWSTR parametersAsJson, \
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) \
  M(37, get_BrowserProcessId, UINT32* value) \
  M(38, get_CanGoBack, BOOL* canGoBack) \
  M(39, get_CanGoForward, BOOL* canGoForward) \
  M(40, GoBack) \
  M(41, GoForward) \
  M(42, GetDevToolsProtocolEventReceiver, LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) \
  M(43, Stop) \
  M(44, add_NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(45, remove_NewWindowRequested, EventRegistrationToken token) \
  M(46, add_DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(47, remove_DocumentTitleChanged, EventRegistrationToken token) \
  M(48, get_DocumentTitle, LPWSTR* title) \
  M(49, AddHostObjectToScript, LPCWSTR name, VARIANT* object) \
  M(50, RemoveHostObjectFromScript, LPCWSTR name) \
  M(51, OpenDevToolsWindow) \
  M(52, add_ContainsFullScreenElementChanged, \
      ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler, EventRegistrationToken* token) \
  M(53, remove_ContainsFullScreenElementChanged, EventRegistrationToken token) \
  M(54, get_ContainsFullScreenElement, BOOL* containsFullScreenElement) \
  M(55, add_WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(56, remove_WebResourceRequested, EventRegistrationToken token) \
  M(57, AddWebResourceRequestedFilter, LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) \
  M(58, RemoveWebResourceRequestedFilter, LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) \
  M(59, add_WindowCloseRequested, ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, \
      EventRegistrationToken* token) \
  M(60, remove_WindowCloseRequested, EventRegistrationToken token)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2, "76eceacb-0462-4d94-ac83-423a6793775e", 61, VELMORA_DOUBLE_WEBVIEW_METHODS)

#define VELMORA_DOUBLE_SETTINGS_METHODS(M) \
  M(3, get_IsScriptEnabled, BOOL* isScriptEnabled) \
  M(4, put_IsScriptEnabled, BOOL isScriptEnabled) \
  M(5, get_IsWebMessageEnabled, BOOL* isWebMessageEnabled) \
  M(6, put_IsWebMessageEnabled, BOOL isWebMessageEnabled) \
  M(7, get_AreDefaultScriptDialogsEnabled, BOOL* areDefaultScriptDialogsEnabled) \
  M(8, put_AreDefaultScriptDialogsEnabled, BOOL areDefaultScriptDialogsEnabled) \
  M(9, get_IsStatusBarEnabled, BOOL* isStatusBarEnabled) \
  M(10, put_IsStatusBarEnabled, BOOL isStatusBarEnabled) \
  M(11, get_AreDevToolsEnabled, BOOL* areDevToolsEnabled) \
  M(12, put_AreDevToolsEnabled, BOOL areDevToolsEnabled) \
  M(13, get_AreDefaultContextMenusEnabled, BOOL* enabled) \
  M(14, put_AreDefaultContextMenusEnabled, BOOL enabled) \
  M(15, get_AreHostObjectsAllowed, BOOL* allowed) \
  M(16, put_AreHostObjectsAllowed, BOOL allowed) \
  M(17, get_IsZoomControlEnabled, BOOL* enabled) \
  M(18, put_IsZoomControlEnabled, BOOL enabled) \
  M(19, get_IsBuiltInErrorPageEnabled, BOOL* enabled) \
  M(20, put_IsBuiltInErrorPageEnabled, BOOL enabled)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2Settings,
                         "e562e4f0-d7fa-43ac-8d71-c05150499f00", 21, VELMORA_DOUBLE_SETTINGS_METHODS)

#define VELMORA_DOUBLE_ENVIRONMENT_OPTIONS_METHODS(M) \
  M(3, get_AdditionalBrowserArguments, LPWSTR* value) \
  M(4, put_AdditionalBrowserArguments, LPCWSTR value) \
  M(5, get_Language, LPWSTR* value) \
  M(6, put_Language, LPCWSTR value) \
  M(7, get_TargetCompatibleBrowserVersion, LPWSTR* value) \
  M(8, put_TargetCompatibleBrowserVersion, LPCWSTR value) \
  M(9, get_AllowSingleSignOnUsingOSPrimaryAccount, BOOL* allow) \
  M(10, put_AllowSingleSignOnUsingOSPrimaryAccount, BOOL allow)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2EnvironmentOptions,
                         "2fde08a8-1e9a-4766-8c05-95a9ceb9d1c5", 11, VELMORA_DOUBLE_ENVIRONMENT_OPTIONS_METHODS)

#define VELMORA_DOUBLE_ENVIRONMENT_COMPLETED_METHODS(M) \
  M(3, Invoke, HRESULT errorCode, ICoreWebView2Environment* result)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                         "4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d", 4, VELMORA_DOUBLE_ENVIRONMENT_COMPLETED_METHODS)

#define VELMORA_DOUBLE_CONTROLLER_COMPLETED_METHODS(M) \
  M(3, Invoke, HRESULT errorCode, ICoreWebView2Controller* result)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                         "6c4819f3-c9b7-4260-8127-c9f5bde7f68c", 4, VELMORA_DOUBLE_CONTROLLER_COMPLETED_METHODS)

#define VELMORA_DOUBLE_WEB_MESSAGE_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebMessageReceivedEventHandler,
                         "57213f19-00e6-49fa-8e07-898ea01ecbd2", 4, VELMORA_DOUBLE_WEB_MESSAGE_HANDLER_METHODS)

#define VELMORA_DOUBLE_WEB_MESSAGE_ARGS_METHODS(M) \
  M(3, get_Source, LPWSTR* value) \
  M(4, get_WebMessageAsJson, LPWSTR* value) \
  M(5, TryGetWebMessageAsString, LPWSTR* value)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebMessageReceivedEventArgs,
                         "0f99a40c-e962-4207-9e92-e3d542eff849", 6, VELMORA_DOUBLE_WEB_MESSAGE_ARGS_METHODS)

#define VELMORA_DOUBLE_RESOURCE_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2WebResourceRequestedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebResourceRequestedEventHandler,
                         "ab00b74c-15f1-4646-80e8-e76341d25d71", 4, VELMORA_DOUBLE_RESOURCE_HANDLER_METHODS)

#define VELMORA_DOUBLE_RESOURCE_ARGS_METHODS(M) \
  M(3, get_Request, ICoreWebView2WebResourceRequest** request) \
  M(4, get_Response, ICoreWebView2WebResourceResponse** response) \
  M(5, put_Response, ICoreWebView2WebResourceResponse* response) \
  M(6, GetDeferral, ICoreWebView2Deferral** deferral) \
  M(7, get_ResourceContext, COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebResourceRequestedEventArgs,
                         "453e667f-12c7-49d4-be6d-ddbe7956f57a", 8, VELMORA_DOUBLE_RESOURCE_ARGS_METHODS)

#define VELMORA_DOUBLE_REQUEST_METHODS(M) \
  M(3, get_Uri, LPWSTR* uri) \
  M(4, put_Uri, LPCWSTR uri) \
  M(5, get_Method, LPWSTR* method) \
  M(6, put_Method, LPCWSTR method) \
  M(7, get_Content, IStream** content) \
  M(8, put_Content, IStream* content) \
  M(9, get_Headers, ICoreWebView2HttpRequestHeaders** headers)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebResourceRequest,
                         "97055cd4-512c-4264-8b5f-e3f446cea6a5", 10, VELMORA_DOUBLE_REQUEST_METHODS)

#define VELMORA_DOUBLE_RESPONSE_METHODS(M) \
  M(3, get_Content, IStream** content) \
  M(4, put_Content, IStream* content) \
  M(5, get_Headers, ICoreWebView2HttpResponseHeaders** headers) \
  M(6, get_StatusCode, int* statusCode) \
  M(7, put_StatusCode, int statusCode) \
  M(8, get_ReasonPhrase, LPWSTR* reasonPhrase) \
  M(9, put_ReasonPhrase, LPCWSTR reasonPhrase)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2WebResourceResponse,
                         "aafcc94f-fa27-48fd-97df-830ef75aaec9", 10, VELMORA_DOUBLE_RESPONSE_METHODS)

#define VELMORA_DOUBLE_REQUEST_HEADERS_METHODS(M) \
  M(3, GetHeader, LPCWSTR name, LPWSTR* value) \
  M(4, GetHeaders, LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) \
  M(5, Contains, LPCWSTR name, BOOL* value) \
  M(6, SetHeader, LPCWSTR name, LPCWSTR value) \
  M(7, RemoveHeader, LPCWSTR name) \
  M(8, GetIterator, ICoreWebView2HttpHeadersCollectionIterator** value)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2HttpRequestHeaders,
                         "e86cac0e-5523-465c-b536-8fb9fc8c8c60", 9, VELMORA_DOUBLE_REQUEST_HEADERS_METHODS)

#define VELMORA_DOUBLE_RESPONSE_HEADERS_METHODS(M) \
  M(3, AppendHeader, LPCWSTR name, LPCWSTR value) \
  M(4, Contains, LPCWSTR name, BOOL* value) \
  M(5, GetHeader, LPCWSTR name, LPWSTR* value) \
  M(6, GetHeaders, LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) \
  M(7, GetIterator, ICoreWebView2HttpHeadersCollectionIterator** value)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2HttpResponseHeaders,
                         "03c5ff5a-9b45-4a88-881c-89a9f328619c", 8, VELMORA_DOUBLE_RESPONSE_HEADERS_METHODS)

#define VELMORA_DOUBLE_HEADER_ITERATOR_METHODS(M) \
  M(3, GetCurrentHeader, LPWSTR* name, LPWSTR* value) \
  M(4, get_HasCurrentHeader, BOOL* hasCurrent) \
  M(5, MoveNext, BOOL* hasNext)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2HttpHeadersCollectionIterator,
                         "0702fc30-f43b-47bb-ab52-a42cb552ad9f", 6, VELMORA_DOUBLE_HEADER_ITERATOR_METHODS)

#define VELMORA_DOUBLE_NEW_WINDOW_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2NewWindowRequestedEventHandler,
                         "d4c185fe-c81c-4989-97af-2d3fa7ab5651", 4, VELMORA_DOUBLE_NEW_WINDOW_HANDLER_METHODS)

#define VELMORA_DOUBLE_NEW_WINDOW_ARGS_METHODS(M) \
  M(3, get_Uri, LPWSTR* uri) \
  M(4, put_NewWindow, ICoreWebView2* newWindow) \
  M(5, get_NewWindow, ICoreWebView2** newWindow) \
  M(6, put_Handled, BOOL handled) \
  M(7, get_Handled, BOOL* handled) \
  M(8, get_IsUserInitiated, BOOL* isUserInitiated) \
  M(9, GetDeferral, ICoreWebView2Deferral** deferral) \
  M(10, get_WindowFeatures, ICoreWebView2WindowFeatures** value)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2NewWindowRequestedEventArgs,
                         "34acb11c-fc37-4418-9132-f9c21d1eafb9", 11, VELMORA_DOUBLE_NEW_WINDOW_ARGS_METHODS)

#define VELMORA_DOUBLE_PERMISSION_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2PermissionRequestedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2PermissionRequestedEventHandler,
                         "15e1c6a3-c72a-4df3-91d7-d097fbec6bfd", 4, VELMORA_DOUBLE_PERMISSION_HANDLER_METHODS)

#define VELMORA_DOUBLE_PERMISSION_ARGS_METHODS(M) \
  M(3, get_Uri, LPWSTR* uri) \
  M(4, get_PermissionKind, COREWEBVIEW2_PERMISSION_KIND* permissionKind) \
  M(5, get_IsUserInitiated, BOOL* isUserInitiated) \
  M(6, get_State, COREWEBVIEW2_PERMISSION_STATE* state) \
  M(7, put_State, COREWEBVIEW2_PERMISSION_STATE state) \
  M(8, GetDeferral, ICoreWebView2Deferral** deferral)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2PermissionRequestedEventArgs,
                         "973ae2ef-ff18-4894-8fb2-3c758f046810", 9, VELMORA_DOUBLE_PERMISSION_ARGS_METHODS)

#define VELMORA_DOUBLE_PROCESS_FAILED_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2ProcessFailedEventHandler,
                         "79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1", 4, VELMORA_DOUBLE_PROCESS_FAILED_HANDLER_METHODS)

#define VELMORA_DOUBLE_PROCESS_FAILED_ARGS_METHODS(M) \
  M(3, get_ProcessFailedKind, COREWEBVIEW2_PROCESS_FAILED_KIND* value)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2ProcessFailedEventArgs,
                         "8155a9a4-1474-4a86-8cae-151b0fa6b8ca", 4, VELMORA_DOUBLE_PROCESS_FAILED_ARGS_METHODS)

#define VELMORA_DOUBLE_NAVIGATION_COMPLETED_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2NavigationCompletedEventHandler,
                         "d33a35bf-1c49-4f98-93ab-006e0533fe1c", 4, VELMORA_DOUBLE_NAVIGATION_COMPLETED_HANDLER_METHODS)

#define VELMORA_DOUBLE_NAVIGATION_COMPLETED_ARGS_METHODS(M) \
  M(3, get_IsSuccess, BOOL* isSuccess) \
  M(4, get_WebErrorStatus, COREWEBVIEW2_WEB_ERROR_STATUS* webErrorStatus) \
  M(5, get_NavigationId, UINT64* navigationId)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2NavigationCompletedEventArgs,
                         "30d68b7d-20d9-4752-a9ca-ec8448fbb5c1", 6, VELMORA_DOUBLE_NAVIGATION_COMPLETED_ARGS_METHODS)

// The event has no args interface of its own: the second parameter is a plain IUnknown pointer.
#define VELMORA_DOUBLE_TITLE_HANDLER_METHODS(M) \
  M(3, Invoke, ICoreWebView2* sender, IUnknown* args)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2DocumentTitleChangedEventHandler,
                         "f5f2b923-953e-4042-9f95-f3a118e1afd4", 4, VELMORA_DOUBLE_TITLE_HANDLER_METHODS)

#define VELMORA_DOUBLE_ADD_SCRIPT_COMPLETED_METHODS(M) \
  M(3, Invoke, HRESULT errorCode, LPCWSTR result)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                         "b99369f3-9b11-47b5-bc6f-8e7895fcea17", 4, VELMORA_DOUBLE_ADD_SCRIPT_COMPLETED_METHODS)

#define VELMORA_DOUBLE_EXECUTE_SCRIPT_COMPLETED_METHODS(M) \
  M(3, Invoke, HRESULT errorCode, LPCWSTR result)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2ExecuteScriptCompletedHandler,
                         "49511172-cc67-4bca-9923-137112f4c4cc", 4, VELMORA_DOUBLE_EXECUTE_SCRIPT_COMPLETED_METHODS)

#define VELMORA_DOUBLE_DEFERRAL_METHODS(M) \
  M(3, Complete)
VELMORA_DOUBLE_INTERFACE(ICoreWebView2Deferral,
                         "c10e7f7b-b585-46f0-a623-8befbf3e4ee0", 4, VELMORA_DOUBLE_DEFERRAL_METHODS)
// clang-format on

// The loader library's exports, as the smoke test looks them up with GetProcAddress.
using TCreateEnvironmentWithOptions = HRESULT(STDAPICALLTYPE*)(
  PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using TCreateEnvironment =
  HRESULT(STDAPICALLTYPE*)(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using TGetAvailableVersion = HRESULT(STDAPICALLTYPE*)(PCWSTR browserExecutableFolder, LPWSTR* versionInfo);
using TCompareBrowserVersions = HRESULT(STDAPICALLTYPE*)(PCWSTR version1, PCWSTR version2, int* result);

// NOLINTEND(readability-identifier-naming)

} // namespace velmora::enginedouble
