// Our own declarations of the WebView2 COM interfaces the browser control uses, for the mingw-w64
// build, which has no SDK header. Every interface derives directly from IUnknown and declares its
// methods in vtable order; VELMORA_WV2_METHOD states each method's slot number (QueryInterface = 0,
// AddRef = 1, Release = 2) and checks it at compile time against the method's position in the
// declaration, so a missing method or a swapped pair fails the build. No interface has a virtual
// destructor: under the Itanium C++ ABI that would add vtable slots.
#pragma once

#include <windows.h>

#include <eventtoken.h>
#include <objbase.h>
#include <unknwn.h>

#include <cstdint>

namespace velmora::wv2 {

// ---------------------------------------------------------------- interface identifiers

// A GUID from its registry form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", at compile time.
consteval GUID GuidOf(const char (&Text)[37])
{
  auto hex = [&](int From, int Digits) {
    unsigned long long value = 0;
    for (int i = From; i < From + Digits; ++i) {
      const char c = Text[i];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : throw "not a hexadecimal digit";
      value = value * 16 + static_cast<unsigned long long>(digit);
    }
    return value;
  };
  if (Text[8] != '-' || Text[13] != '-' || Text[18] != '-' || Text[23] != '-')
    throw "not a GUID";
  GUID guid{};
  guid.Data1 = static_cast<unsigned long>(hex(0, 8));
  guid.Data2 = static_cast<unsigned short>(hex(9, 4));
  guid.Data3 = static_cast<unsigned short>(hex(14, 4));
  guid.Data4[0] = static_cast<unsigned char>(hex(19, 2));
  guid.Data4[1] = static_cast<unsigned char>(hex(21, 2));
  for (int i = 0; i < 6; ++i)
    guid.Data4[2 + i] = static_cast<unsigned char>(hex(24 + 2 * i, 2));
  return guid;
}

// ---------------------------------------------------------------- slot checks

// Opens an interface's method list: the counter's value here is the base the slots count from.
#define VELMORA_WV2_BEGIN static constexpr int kSlotBase = __COUNTER__
// Declares a method and checks that it stands at vtable slot Slot: the methods before it in the
// declaration, after IUnknown's three, must number Slot - 3.
#define VELMORA_WV2_METHOD(Slot, Name, ...)                                                                            \
  static_assert(__COUNTER__ - kSlotBase + 2 == (Slot), "vtable slot of " #Name);                                       \
  virtual HRESULT STDMETHODCALLTYPE Name(__VA_ARGS__) = 0
// Closes the list and checks the number of slots in all.
#define VELMORA_WV2_END(Slots) static_assert(__COUNTER__ - kSlotBase + 2 == (Slots), "vtable size")

// ---------------------------------------------------------------- enums (32 bits each)

enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT : int32_t {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1,
};

enum COREWEBVIEW2_PERMISSION_STATE : int32_t {
  COREWEBVIEW2_PERMISSION_STATE_DEFAULT = 0,
  COREWEBVIEW2_PERMISSION_STATE_ALLOW = 1,
  COREWEBVIEW2_PERMISSION_STATE_DENY = 2,
};

// The list has grown between versions: values past the last named one are possible.
enum COREWEBVIEW2_PERMISSION_KIND : int32_t {
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

enum COREWEBVIEW2_PROCESS_FAILED_KIND : int32_t {
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
enum COREWEBVIEW2_WEB_ERROR_STATUS : int32_t {};
enum COREWEBVIEW2_MOVE_FOCUS_REASON : int32_t {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
};
enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT : int32_t {};

// ---------------------------------------------------------------- interfaces

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2WebResourceResponse;

// Handlers the host implements: one Invoke each.

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, HRESULT ErrorCode, ICoreWebView2Environment* Result);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("6c4819f3-c9b7-4260-8127-c9f5bde7f68c");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, HRESULT ErrorCode, ICoreWebView2Controller* Result);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("0f99a40c-e962-4207-9e92-e3d542eff849");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Source, LPWSTR* Value);
  VELMORA_WV2_METHOD(4, get_WebMessageAsJson, LPWSTR* Value);
  VELMORA_WV2_METHOD(5, TryGetWebMessageAsString, LPWSTR* Value);
  VELMORA_WV2_END(6);
};

struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("57213f19-00e6-49fa-8e07-898ea01ecbd2");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2WebMessageReceivedEventArgs* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2HttpRequestHeaders : IUnknown {
  static constexpr GUID kIid = GuidOf("e86cac0e-5523-465c-b536-8fb9fc8c8c60");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, GetHeader, LPCWSTR Name, LPWSTR* Value);
  VELMORA_WV2_METHOD(4, GetHeaders, LPCWSTR Name, IUnknown** Iterator);
  VELMORA_WV2_METHOD(5, Contains, LPCWSTR Name, BOOL* Value);
  VELMORA_WV2_METHOD(6, SetHeader, LPCWSTR Name, LPCWSTR Value);
  VELMORA_WV2_METHOD(7, RemoveHeader, LPCWSTR Name);
  VELMORA_WV2_METHOD(8, GetIterator, IUnknown** Iterator);
  VELMORA_WV2_END(9);
};

struct ICoreWebView2WebResourceRequest : IUnknown {
  static constexpr GUID kIid = GuidOf("97055cd4-512c-4264-8b5f-e3f446cea6a5");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Uri, LPWSTR* Uri);
  VELMORA_WV2_METHOD(4, put_Uri, LPCWSTR Uri);
  VELMORA_WV2_METHOD(5, get_Method, LPWSTR* Method);
  VELMORA_WV2_METHOD(6, put_Method, LPCWSTR Method);
  VELMORA_WV2_METHOD(7, get_Content, IStream** Content);
  VELMORA_WV2_METHOD(8, put_Content, IStream* Content);
  VELMORA_WV2_METHOD(9, get_Headers, ICoreWebView2HttpRequestHeaders** Headers);
  VELMORA_WV2_END(10);
};

struct ICoreWebView2WebResourceResponse : IUnknown {
  static constexpr GUID kIid = GuidOf("aafcc94f-fa27-48fd-97df-830ef75aaec9");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Content, IStream** Content);
  VELMORA_WV2_METHOD(4, put_Content, IStream* Content);
  VELMORA_WV2_METHOD(5, get_Headers, IUnknown** Headers);
  VELMORA_WV2_METHOD(6, get_StatusCode, int* StatusCode);
  VELMORA_WV2_METHOD(7, put_StatusCode, int StatusCode);
  VELMORA_WV2_METHOD(8, get_ReasonPhrase, LPWSTR* ReasonPhrase);
  VELMORA_WV2_METHOD(9, put_ReasonPhrase, LPCWSTR ReasonPhrase);
  VELMORA_WV2_END(10);
};

struct ICoreWebView2WebResourceRequestedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("453e667f-12c7-49d4-be6d-ddbe7956f57a");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Request, ICoreWebView2WebResourceRequest** Request);
  VELMORA_WV2_METHOD(4, get_Response, ICoreWebView2WebResourceResponse** Response);
  VELMORA_WV2_METHOD(5, put_Response, ICoreWebView2WebResourceResponse* Response);
  VELMORA_WV2_METHOD(6, GetDeferral, IUnknown** Deferral);
  VELMORA_WV2_METHOD(7, get_ResourceContext, COREWEBVIEW2_WEB_RESOURCE_CONTEXT* Context);
  VELMORA_WV2_END(8);
};

struct ICoreWebView2WebResourceRequestedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("ab00b74c-15f1-4646-80e8-e76341d25d71");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2WebResourceRequestedEventArgs* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("34acb11c-fc37-4418-9132-f9c21d1eafb9");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Uri, LPWSTR* Uri);
  VELMORA_WV2_METHOD(4, put_NewWindow, ICoreWebView2* NewWindow);
  VELMORA_WV2_METHOD(5, get_NewWindow, ICoreWebView2** NewWindow);
  VELMORA_WV2_METHOD(6, put_Handled, BOOL Handled);
  VELMORA_WV2_METHOD(7, get_Handled, BOOL* Handled);
  VELMORA_WV2_METHOD(8, get_IsUserInitiated, BOOL* IsUserInitiated);
  VELMORA_WV2_METHOD(9, GetDeferral, IUnknown** Deferral);
  VELMORA_WV2_METHOD(10, get_WindowFeatures, IUnknown** Value);
  VELMORA_WV2_END(11);
};

struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("d4c185fe-c81c-4989-97af-2d3fa7ab5651");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2NewWindowRequestedEventArgs* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2PermissionRequestedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("973ae2ef-ff18-4894-8fb2-3c758f046810");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Uri, LPWSTR* Uri);
  VELMORA_WV2_METHOD(4, get_PermissionKind, COREWEBVIEW2_PERMISSION_KIND* Kind);
  VELMORA_WV2_METHOD(5, get_IsUserInitiated, BOOL* IsUserInitiated);
  VELMORA_WV2_METHOD(6, get_State, COREWEBVIEW2_PERMISSION_STATE* State);
  VELMORA_WV2_METHOD(7, put_State, COREWEBVIEW2_PERMISSION_STATE State);
  VELMORA_WV2_METHOD(8, GetDeferral, IUnknown** Deferral);
  VELMORA_WV2_END(9);
};

struct ICoreWebView2PermissionRequestedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("15e1c6a3-c72a-4df3-91d7-d097fbec6bfd");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2PermissionRequestedEventArgs* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2ProcessFailedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("8155a9a4-1474-4a86-8cae-151b0fa6b8ca");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_ProcessFailedKind, COREWEBVIEW2_PROCESS_FAILED_KIND* Kind);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2ProcessFailedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2ProcessFailedEventArgs* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
  static constexpr GUID kIid = GuidOf("30d68b7d-20d9-4752-a9ca-ec8448fbb5c1");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_IsSuccess, BOOL* IsSuccess);
  VELMORA_WV2_METHOD(4, get_WebErrorStatus, COREWEBVIEW2_WEB_ERROR_STATUS* Status);
  VELMORA_WV2_METHOD(5, get_NavigationId, UINT64* NavigationId);
  VELMORA_WV2_END(6);
};

struct ICoreWebView2NavigationCompletedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("d33a35bf-1c49-4f98-93ab-006e0533fe1c");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, ICoreWebView2NavigationCompletedEventArgs* Args);
  VELMORA_WV2_END(4);
};

// Its second argument is a plain IUnknown: the title is read from the view.
struct ICoreWebView2DocumentTitleChangedEventHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("f5f2b923-953e-4042-9f95-f3a118e1afd4");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, ICoreWebView2* Sender, IUnknown* Args);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2ExecuteScriptCompletedHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("49511172-cc67-4bca-9923-137112f4c4cc");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, HRESULT ErrorCode, LPCWSTR Result);
  VELMORA_WV2_END(4);
};

struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler : IUnknown {
  static constexpr GUID kIid = GuidOf("b99369f3-9b11-47b5-bc6f-8e7895fcea17");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, Invoke, HRESULT ErrorCode, LPCWSTR Result);
  VELMORA_WV2_END(4);
};

// The engine's objects.

struct ICoreWebView2Settings : IUnknown {
  static constexpr GUID kIid = GuidOf("e562e4f0-d7fa-43ac-8d71-c05150499f00");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_IsScriptEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(4, put_IsScriptEnabled, BOOL Value);
  VELMORA_WV2_METHOD(5, get_IsWebMessageEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(6, put_IsWebMessageEnabled, BOOL Value);
  VELMORA_WV2_METHOD(7, get_AreDefaultScriptDialogsEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(8, put_AreDefaultScriptDialogsEnabled, BOOL Value);
  VELMORA_WV2_METHOD(9, get_IsStatusBarEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(10, put_IsStatusBarEnabled, BOOL Value);
  VELMORA_WV2_METHOD(11, get_AreDevToolsEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(12, put_AreDevToolsEnabled, BOOL Value);
  VELMORA_WV2_METHOD(13, get_AreDefaultContextMenusEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(14, put_AreDefaultContextMenusEnabled, BOOL Value);
  VELMORA_WV2_METHOD(15, get_AreHostObjectsAllowed, BOOL* Value);
  VELMORA_WV2_METHOD(16, put_AreHostObjectsAllowed, BOOL Value);
  VELMORA_WV2_METHOD(17, get_IsZoomControlEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(18, put_IsZoomControlEnabled, BOOL Value);
  VELMORA_WV2_METHOD(19, get_IsBuiltInErrorPageEnabled, BOOL* Value);
  VELMORA_WV2_METHOD(20, put_IsBuiltInErrorPageEnabled, BOOL Value);
  VELMORA_WV2_END(21);
};

struct ICoreWebView2 : IUnknown {
  static constexpr GUID kIid = GuidOf("76eceacb-0462-4d94-ac83-423a6793775e");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_Settings, ICoreWebView2Settings** Settings);
  VELMORA_WV2_METHOD(4, get_Source, LPWSTR* Uri);
  VELMORA_WV2_METHOD(5, Navigate, LPCWSTR Uri);
  VELMORA_WV2_METHOD(6, NavigateToString, LPCWSTR HtmlContent);
  VELMORA_WV2_METHOD(7, add_NavigationStarting, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(8, remove_NavigationStarting, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(9, add_ContentLoading, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(10, remove_ContentLoading, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(11, add_SourceChanged, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(12, remove_SourceChanged, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(13, add_HistoryChanged, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(14, remove_HistoryChanged, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(15, add_NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(16, remove_NavigationCompleted, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(17, add_FrameNavigationStarting, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(18, remove_FrameNavigationStarting, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(19, add_FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(20, remove_FrameNavigationCompleted, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(21, add_ScriptDialogOpening, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(22, remove_ScriptDialogOpening, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(23, add_PermissionRequested, ICoreWebView2PermissionRequestedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(24, remove_PermissionRequested, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(25, add_ProcessFailed, ICoreWebView2ProcessFailedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(26, remove_ProcessFailed, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(27, AddScriptToExecuteOnDocumentCreated, LPCWSTR JavaScript,
                     ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* Handler);
  VELMORA_WV2_METHOD(28, RemoveScriptToExecuteOnDocumentCreated, LPCWSTR Id);
  VELMORA_WV2_METHOD(29, ExecuteScript, LPCWSTR JavaScript, ICoreWebView2ExecuteScriptCompletedHandler* Handler);
  VELMORA_WV2_METHOD(30, CapturePreview, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT ImageFormat, IStream* ImageStream,
                     IUnknown* Handler);
  VELMORA_WV2_METHOD(31, Reload);
  VELMORA_WV2_METHOD(32, PostWebMessageAsJson, LPCWSTR WebMessageAsJson);
  VELMORA_WV2_METHOD(33, PostWebMessageAsString, LPCWSTR WebMessageAsString);
  VELMORA_WV2_METHOD(34, add_WebMessageReceived, ICoreWebView2WebMessageReceivedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(35, remove_WebMessageReceived, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(36, CallDevToolsProtocolMethod, LPCWSTR MethodName, LPCWSTR ParametersAsJson, IUnknown* Handler);
  VELMORA_WV2_METHOD(37, get_BrowserProcessId, UINT32* Value);
  VELMORA_WV2_METHOD(38, get_CanGoBack, BOOL* CanGoBack);
  VELMORA_WV2_METHOD(39, get_CanGoForward, BOOL* CanGoForward);
  VELMORA_WV2_METHOD(40, GoBack);
  VELMORA_WV2_METHOD(41, GoForward);
  VELMORA_WV2_METHOD(42, GetDevToolsProtocolEventReceiver, LPCWSTR EventName, IUnknown** Receiver);
  VELMORA_WV2_METHOD(43, Stop);
  VELMORA_WV2_METHOD(44, add_NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(45, remove_NewWindowRequested, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(46, add_DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(47, remove_DocumentTitleChanged, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(48, get_DocumentTitle, LPWSTR* Title);
  VELMORA_WV2_METHOD(49, AddHostObjectToScript, LPCWSTR Name, VARIANT* Object);
  VELMORA_WV2_METHOD(50, RemoveHostObjectFromScript, LPCWSTR Name);
  VELMORA_WV2_METHOD(51, OpenDevToolsWindow);
  VELMORA_WV2_METHOD(52, add_ContainsFullScreenElementChanged, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(53, remove_ContainsFullScreenElementChanged, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(54, get_ContainsFullScreenElement, BOOL* ContainsFullScreenElement);
  VELMORA_WV2_METHOD(55, add_WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler* Handler,
                     EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(56, remove_WebResourceRequested, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(57, AddWebResourceRequestedFilter, LPCWSTR Uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT ResourceContext);
  VELMORA_WV2_METHOD(58, RemoveWebResourceRequestedFilter, LPCWSTR Uri,
                     COREWEBVIEW2_WEB_RESOURCE_CONTEXT ResourceContext);
  VELMORA_WV2_METHOD(59, add_WindowCloseRequested, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(60, remove_WindowCloseRequested, EventRegistrationToken Token);
  VELMORA_WV2_END(61);
};

struct ICoreWebView2Controller : IUnknown {
  static constexpr GUID kIid = GuidOf("4d00c0d1-9434-4eb6-8078-8697a560334f");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, get_IsVisible, BOOL* IsVisible);
  VELMORA_WV2_METHOD(4, put_IsVisible, BOOL IsVisible);
  VELMORA_WV2_METHOD(5, get_Bounds, RECT* Bounds);
  VELMORA_WV2_METHOD(6, put_Bounds, RECT Bounds);
  VELMORA_WV2_METHOD(7, get_ZoomFactor, double* ZoomFactor);
  VELMORA_WV2_METHOD(8, put_ZoomFactor, double ZoomFactor);
  VELMORA_WV2_METHOD(9, add_ZoomFactorChanged, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(10, remove_ZoomFactorChanged, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(11, SetBoundsAndZoomFactor, RECT Bounds, double ZoomFactor);
  VELMORA_WV2_METHOD(12, MoveFocus, COREWEBVIEW2_MOVE_FOCUS_REASON Reason);
  VELMORA_WV2_METHOD(13, add_MoveFocusRequested, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(14, remove_MoveFocusRequested, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(15, add_GotFocus, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(16, remove_GotFocus, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(17, add_LostFocus, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(18, remove_LostFocus, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(19, add_AcceleratorKeyPressed, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(20, remove_AcceleratorKeyPressed, EventRegistrationToken Token);
  VELMORA_WV2_METHOD(21, get_ParentWindow, HWND* ParentWindow);
  VELMORA_WV2_METHOD(22, put_ParentWindow, HWND ParentWindow);
  VELMORA_WV2_METHOD(23, NotifyParentWindowPositionChanged);
  VELMORA_WV2_METHOD(24, Close);
  VELMORA_WV2_METHOD(25, get_CoreWebView2, ICoreWebView2** CoreWebView2);
  VELMORA_WV2_END(26);
};

struct ICoreWebView2Environment : IUnknown {
  static constexpr GUID kIid = GuidOf("b96d755e-0319-4e92-a296-23436f46a1fc");
  VELMORA_WV2_BEGIN;
  VELMORA_WV2_METHOD(3, CreateCoreWebView2Controller, HWND ParentWindow,
                     ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* Handler);
  VELMORA_WV2_METHOD(4, CreateWebResourceResponse, IStream* Content, int StatusCode, LPCWSTR ReasonPhrase,
                     LPCWSTR Headers, ICoreWebView2WebResourceResponse** Response);
  VELMORA_WV2_METHOD(5, get_BrowserVersionString, LPWSTR* VersionInfo);
  VELMORA_WV2_METHOD(6, add_NewBrowserVersionAvailable, IUnknown* Handler, EventRegistrationToken* Token);
  VELMORA_WV2_METHOD(7, remove_NewBrowserVersionAvailable, EventRegistrationToken Token);
  VELMORA_WV2_END(8);
};

#undef VELMORA_WV2_BEGIN
#undef VELMORA_WV2_METHOD
#undef VELMORA_WV2_END

// ---------------------------------------------------------------- loader exports

// Looked up by these undecorated names with GetProcAddress.
using TCreateCoreWebView2Environment =
  HRESULT(STDAPICALLTYPE*)(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* Handler);
using TGetAvailableCoreWebView2BrowserVersionString = HRESULT(STDAPICALLTYPE*)(PCWSTR BrowserExecutableFolder,
                                                                               LPWSTR* VersionInfo);
inline constexpr char kCreateEnvironmentExport[] = "CreateCoreWebView2Environment";
inline constexpr char kGetVersionExport[] = "GetAvailableCoreWebView2BrowserVersionString";

} // namespace velmora::wv2
