// The args objects of the events the engine double raises, and the web view's settings.
#include "EngineObjects.h"

#include "Text.h"

namespace velmora::enginedouble {

namespace {

template <class T>
HRESULT OutValue(T value, T* out)
{
  if (out == nullptr)
    return E_POINTER;
  *out = value;
  return S_OK;
}

// Fills an out pointer the double does not support with null and says so.
template <class T>
HRESULT NotSupported(T** out)
{
  if (out != nullptr)
    *out = nullptr;
  return E_NOTIMPL;
}

} // namespace

// ---- TNavigationCompletedArgs ----

HRESULT TNavigationCompletedArgs::GetIsSuccess(BOOL* success)
{
  return OutValue<BOOL>(FSuccess ? TRUE : FALSE, success);
}

HRESULT TNavigationCompletedArgs::GetWebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status)
{
  return OutValue(FStatus, status);
}

HRESULT TNavigationCompletedArgs::GetNavigationId(UINT64* id) { return OutValue(FId, id); }

const ICoreWebView2NavigationCompletedEventArgsVtbl TNavigationCompletedArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TNavigationCompletedArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TNavigationCompletedArgs>::AddRef,
  .Release = TUnknownThunks<TNavigationCompletedArgs>::Release,
  .get_IsSuccess = Thunk<&TNavigationCompletedArgs::GetIsSuccess>,
  .get_WebErrorStatus = Thunk<&TNavigationCompletedArgs::GetWebErrorStatus>,
  .get_NavigationId = Thunk<&TNavigationCompletedArgs::GetNavigationId>,
};

// ---- TWebMessageArgs ----

HRESULT TWebMessageArgs::GetSource(LPWSTR* source) { return OutString(FSource, source); }

HRESULT TWebMessageArgs::GetWebMessageAsJson(LPWSTR* json) { return OutString(FJson, json); }

// A message that was not a string has no string form: E_INVALIDARG and null, as the engine answers.
HRESULT TWebMessageArgs::TryGetWebMessageAsString(LPWSTR* string)
{
  if (string == nullptr)
    return E_POINTER;
  if (!FString) {
    *string = nullptr;
    return E_INVALIDARG;
  }
  return OutString(*FString, string);
}

const ICoreWebView2WebMessageReceivedEventArgsVtbl TWebMessageArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TWebMessageArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TWebMessageArgs>::AddRef,
  .Release = TUnknownThunks<TWebMessageArgs>::Release,
  .get_Source = Thunk<&TWebMessageArgs::GetSource>,
  .get_WebMessageAsJson = Thunk<&TWebMessageArgs::GetWebMessageAsJson>,
  .TryGetWebMessageAsString = Thunk<&TWebMessageArgs::TryGetWebMessageAsString>,
};

// ---- TNewWindowArgs ----

HRESULT TNewWindowArgs::GetUri(LPWSTR* uri) { return OutString(FUri, uri); }

HRESULT TNewWindowArgs::PutHandled(BOOL handled)
{
  FHandled = handled != FALSE;
  return S_OK;
}

HRESULT TNewWindowArgs::GetHandled(BOOL* handled) { return OutValue<BOOL>(FHandled ? TRUE : FALSE, handled); }

HRESULT TNewWindowArgs::GetIsUserInitiated(BOOL* userInitiated) { return OutValue<BOOL>(TRUE, userInitiated); }

const ICoreWebView2NewWindowRequestedEventArgsVtbl TNewWindowArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TNewWindowArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TNewWindowArgs>::AddRef,
  .Release = TUnknownThunks<TNewWindowArgs>::Release,
  .get_Uri = Thunk<&TNewWindowArgs::GetUri>,
  .put_NewWindow = NotImplemented,
  .get_NewWindow = [](ICoreWebView2NewWindowRequestedEventArgs*, ICoreWebView2** window) -> HRESULT {
    return NotSupported(window);
  },
  .put_Handled = Thunk<&TNewWindowArgs::PutHandled>,
  .get_Handled = Thunk<&TNewWindowArgs::GetHandled>,
  .get_IsUserInitiated = Thunk<&TNewWindowArgs::GetIsUserInitiated>,
  .GetDeferral = [](ICoreWebView2NewWindowRequestedEventArgs*, ICoreWebView2Deferral** deferral) -> HRESULT {
    return NotSupported(deferral);
  },
  .get_WindowFeatures = [](ICoreWebView2NewWindowRequestedEventArgs*,
                           ICoreWebView2WindowFeatures** features) -> HRESULT { return NotSupported(features); },
};

// ---- TPermissionArgs ----

HRESULT TPermissionArgs::GetUri(LPWSTR* uri) { return OutString(FUri, uri); }

HRESULT TPermissionArgs::GetPermissionKind(COREWEBVIEW2_PERMISSION_KIND* kind) { return OutValue(FKind, kind); }

HRESULT TPermissionArgs::GetIsUserInitiated(BOOL* userInitiated) { return OutValue<BOOL>(TRUE, userInitiated); }

HRESULT TPermissionArgs::GetState(COREWEBVIEW2_PERMISSION_STATE* state) { return OutValue(FState, state); }

HRESULT TPermissionArgs::PutState(COREWEBVIEW2_PERMISSION_STATE state)
{
  if (state < COREWEBVIEW2_PERMISSION_STATE_DEFAULT || state > COREWEBVIEW2_PERMISSION_STATE_DENY)
    return E_INVALIDARG;
  FState = state;
  return S_OK;
}

const ICoreWebView2PermissionRequestedEventArgsVtbl TPermissionArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TPermissionArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TPermissionArgs>::AddRef,
  .Release = TUnknownThunks<TPermissionArgs>::Release,
  .get_Uri = Thunk<&TPermissionArgs::GetUri>,
  .get_PermissionKind = Thunk<&TPermissionArgs::GetPermissionKind>,
  .get_IsUserInitiated = Thunk<&TPermissionArgs::GetIsUserInitiated>,
  .get_State = Thunk<&TPermissionArgs::GetState>,
  .put_State = Thunk<&TPermissionArgs::PutState>,
  .GetDeferral = [](ICoreWebView2PermissionRequestedEventArgs*, ICoreWebView2Deferral** deferral) -> HRESULT {
    return NotSupported(deferral);
  },
};

// ---- TProcessFailedArgs ----

HRESULT TProcessFailedArgs::GetProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind)
{
  return OutValue(FKind, kind);
}

const ICoreWebView2ProcessFailedEventArgsVtbl TProcessFailedArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TProcessFailedArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TProcessFailedArgs>::AddRef,
  .Release = TUnknownThunks<TProcessFailedArgs>::Release,
  .get_ProcessFailedKind = Thunk<&TProcessFailedArgs::GetProcessFailedKind>,
};

// ---- TSettings ----

namespace {

constexpr const char* kSettingNames[] = {
  "IsScriptEnabled",       "IsWebMessageEnabled",  "AreDefaultScriptDialogsEnabled",
  "IsStatusBarEnabled",    "AreDevToolsEnabled",   "AreDefaultContextMenusEnabled",
  "AreHostObjectsAllowed", "IsZoomControlEnabled", "IsBuiltInErrorPageEnabled",
};
static_assert(std::size(kSettingNames) == static_cast<size_t>(TSetting::Count));

} // namespace

TSettings::TSettings()
{
  for (auto& value : FValues)
    value = true;
}

template <TSetting Setting>
HRESULT TSettings::Get(BOOL* value)
{
  return OutValue<BOOL>(FValues[static_cast<size_t>(Setting)] ? TRUE : FALSE, value);
}

// Records every put, also one that does not change the value: the host's calls are what a test checks.
template <TSetting Setting>
HRESULT TSettings::Put(BOOL value)
{
  FValues[static_cast<size_t>(Setting)] = value != FALSE;
  Record(Event("setting").Utf8("name", kSettingNames[static_cast<size_t>(Setting)]).Bool("value", value != FALSE));
  return S_OK;
}

const ICoreWebView2SettingsVtbl TSettings::kVtbl = {
  .QueryInterface = TUnknownThunks<TSettings>::QueryInterface,
  .AddRef = TUnknownThunks<TSettings>::AddRef,
  .Release = TUnknownThunks<TSettings>::Release,
  .get_IsScriptEnabled = Thunk<&TSettings::Get<TSetting::IsScriptEnabled>>,
  .put_IsScriptEnabled = Thunk<&TSettings::Put<TSetting::IsScriptEnabled>>,
  .get_IsWebMessageEnabled = Thunk<&TSettings::Get<TSetting::IsWebMessageEnabled>>,
  .put_IsWebMessageEnabled = Thunk<&TSettings::Put<TSetting::IsWebMessageEnabled>>,
  .get_AreDefaultScriptDialogsEnabled = Thunk<&TSettings::Get<TSetting::AreDefaultScriptDialogsEnabled>>,
  .put_AreDefaultScriptDialogsEnabled = Thunk<&TSettings::Put<TSetting::AreDefaultScriptDialogsEnabled>>,
  .get_IsStatusBarEnabled = Thunk<&TSettings::Get<TSetting::IsStatusBarEnabled>>,
  .put_IsStatusBarEnabled = Thunk<&TSettings::Put<TSetting::IsStatusBarEnabled>>,
  .get_AreDevToolsEnabled = Thunk<&TSettings::Get<TSetting::AreDevToolsEnabled>>,
  .put_AreDevToolsEnabled = Thunk<&TSettings::Put<TSetting::AreDevToolsEnabled>>,
  .get_AreDefaultContextMenusEnabled = Thunk<&TSettings::Get<TSetting::AreDefaultContextMenusEnabled>>,
  .put_AreDefaultContextMenusEnabled = Thunk<&TSettings::Put<TSetting::AreDefaultContextMenusEnabled>>,
  .get_AreHostObjectsAllowed = Thunk<&TSettings::Get<TSetting::AreHostObjectsAllowed>>,
  .put_AreHostObjectsAllowed = Thunk<&TSettings::Put<TSetting::AreHostObjectsAllowed>>,
  .get_IsZoomControlEnabled = Thunk<&TSettings::Get<TSetting::IsZoomControlEnabled>>,
  .put_IsZoomControlEnabled = Thunk<&TSettings::Put<TSetting::IsZoomControlEnabled>>,
  .get_IsBuiltInErrorPageEnabled = Thunk<&TSettings::Get<TSetting::IsBuiltInErrorPageEnabled>>,
  .put_IsBuiltInErrorPageEnabled = Thunk<&TSettings::Put<TSetting::IsBuiltInErrorPageEnabled>>,
};

} // namespace velmora::enginedouble
