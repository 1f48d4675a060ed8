// The loader library's exports of the engine double, and its DllMain. The exports configure the double
// from the environment on first use, record each call, and start environment creation through the
// host's message loop.
#include "Dispatcher.h"
#include "EngineObjects.h"
#include "Text.h"

#include <objbase.h>

#include <mutex>
#include <vector>

namespace velmora::enginedouble {

namespace {

constexpr wchar_t kDefaultVersion[] = L"120.0.0.0";

// The variables through which the host passes settings to the engine; recorded so that a test sees
// what the engine would have seen.
constexpr const wchar_t* kEngineVariables[] = {
  L"WEBVIEW2_USER_DATA_FOLDER",
  L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS",
  L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER",
  L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE",
};

std::wstring ModulePath()
{
  static const char anchor = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&anchor), &module);
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  return std::wstring(path.data(), length);
}

// Reads the configuration and writes the "loaded" line, once, on the first call into any export.
void EnsureLoaded()
{
  static std::once_flag once;
  std::call_once(once, [] {
    ConfigureTranscript();
    Record(Event("loaded")
             .Str("commandLine", GetCommandLineW())
             .Str("module", ModulePath())
             .Uint("threadId", GetCurrentThreadId()));
  });
}

// Whether the installer double has marked the engine as installed: "<VELMORA_DOUBLE_DIR>\engine-installed"
// exists. The folder is read at each call, like the version, so a test may point it elsewhere.
bool InstallerMarkerExists()
{
  const auto dir = EnvironmentVariable(L"VELMORA_DOUBLE_DIR");
  if (!dir || dir->empty())
    return false;
  std::wstring path = *dir;
  if (path.back() != L'\\' && path.back() != L'/')
    path += L'\\';
  path += L"engine-installed";
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The version VELMORA_DOUBLE_VERSION names, or nullopt for "none" (no engine installed). With
// "installed-by-installer" the engine is missing until the installer double has left its marker file.
std::optional<std::wstring> ConfiguredVersion()
{
  const auto version = EnvironmentVariable(L"VELMORA_DOUBLE_VERSION");
  if (!version || version->empty())
    return std::wstring(kDefaultVersion);
  if (EqualsIgnoreCase(*version, L"none"))
    return std::nullopt;
  if (EqualsIgnoreCase(*version, L"installed-by-installer")) {
    if (!InstallerMarkerExists())
      return std::nullopt;
    return std::wstring(kDefaultVersion);
  }
  return *version;
}

void AppendOptionalString(TJsonObjectWriter& line, std::string_view name, LPCWSTR value)
{
  if (value == nullptr)
    line.Null(name);
  else
    line.Str(name, value);
}

// Reads the options object through its interface, as the engine would.
std::string OptionsJson(ICoreWebView2EnvironmentOptions* options)
{
  if (options == nullptr)
    return "null";
  TJsonObjectWriter object;
  auto readString = [&](std::string_view name,
                        HRESULT(STDMETHODCALLTYPE * getter)(ICoreWebView2EnvironmentOptions*, LPWSTR*)) {
    LPWSTR value = nullptr;
    if (SUCCEEDED(getter(options, &value)))
      AppendOptionalString(object, name, value);
    CoTaskMemFree(value);
  };
  readString("additionalBrowserArguments", options->lpVtbl->get_AdditionalBrowserArguments);
  readString("language", options->lpVtbl->get_Language);
  readString("targetCompatibleBrowserVersion", options->lpVtbl->get_TargetCompatibleBrowserVersion);
  BOOL allow = FALSE;
  if (SUCCEEDED(options->lpVtbl->get_AllowSingleSignOnUsingOSPrimaryAccount(options, &allow)))
    object.Bool("allowSingleSignOnUsingOSPrimaryAccount", allow != FALSE);
  return object.Finish();
}

std::string EngineVariablesJson()
{
  TJsonObjectWriter object;
  for (const wchar_t* name : kEngineVariables) {
    if (const auto value = EnvironmentVariable(name))
      object.Str(Utf8FromWide(name), *value);
    else
      object.Null(Utf8FromWide(name));
  }
  return object.Finish();
}

// The engine needs a single-threaded apartment on the calling thread, and says so when it lacks one.
HRESULT CheckApartment()
{
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  const HRESULT result = CoGetApartmentType(&type, &qualifier);
  if (result == CO_E_NOTINITIALIZED)
    return CO_E_NOTINITIALIZED;
  if (FAILED(result))
    return result;
  if (type == APTTYPE_STA || type == APTTYPE_MAINSTA)
    return S_OK;
  // A thread that never initialised COM lives in the implicit MTA once another thread made one.
  if (type == APTTYPE_MTA && qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA)
    return CO_E_NOTINITIALIZED;
  return RPC_E_CHANGED_MODE;
}

HRESULT CreateEnvironment(PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
                          ICoreWebView2EnvironmentOptions* options,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler)
{
  EnsureLoaded();
  auto requested = Event("environment-requested");
  AppendOptionalString(requested, "browserExecutableFolder", browserExecutableFolder);
  AppendOptionalString(requested, "userDataFolder", userDataFolder);
  Record(requested.Raw("options", OptionsJson(options))
           .Raw("variables", EngineVariablesJson())
           .Uint("threadId", GetCurrentThreadId()));

  // Failures the engine reports at once, without calling the handler.
  auto refuse = [](HRESULT result) {
    Record(Event("environment-created").Utf8("result", HresultText(result)).Bool("synchronous", true));
    return result;
  };
  if (handler == nullptr)
    return refuse(E_POINTER);
  if (const HRESULT apartment = CheckApartment(); FAILED(apartment))
    return refuse(apartment);
  if (const HRESULT attached = AttachDispatcher(); FAILED(attached)) {
    if (attached == RPC_E_WRONG_THREAD)
      Record(Event("wrong-thread").Utf8("object", "loader").Uint("threadId", GetCurrentThreadId()));
    return refuse(attached);
  }
  static std::once_flag polling;
  std::call_once(polling, StartCommandPolling);

  // Failures that arrive through the handler: no engine installed, or a result forced by the test.
  HRESULT result = S_OK;
  const auto version = ConfiguredVersion();
  if (!version)
    result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (const auto forced = EnvironmentVariable(L"VELMORA_DOUBLE_ENVIRONMENT_RESULT"); forced && !forced->empty())
    result = ParseHresult(*forced).value_or(E_FAIL);

  auto completed = TComRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Retain(handler);
  PostTask([completed, result, version] {
    TComRef<TEnvironment> environment;
    if (SUCCEEDED(result))
      environment = MakeObject<TEnvironment>(version.value_or(kDefaultVersion));
    Record(Event("environment-created").Utf8("result", HresultText(result)));
    const HRESULT handled = completed->lpVtbl->Invoke(completed.Get(), result, environment.Get());
    Record(Event("environment-handler-returned").Utf8("result", HresultText(handled)));
  });
  return S_OK;
}

int CompareVersionText(std::wstring_view a, std::wstring_view b)
{
  // Dotted numbers compared part by part; a missing part counts as 0 ("1.2" equals "1.2.0").
  while (!a.empty() || !b.empty()) {
    auto take = [](std::wstring_view& text) {
      unsigned long long value = 0;
      size_t i = 0;
      for (; i < text.size() && text[i] != L'.'; ++i) {
        if (text[i] >= L'0' && text[i] <= L'9')
          value = value * 10 + static_cast<unsigned>(text[i] - L'0');
      }
      text.remove_prefix(i < text.size() ? i + 1 : i);
      return value;
    };
    const auto left = take(a);
    const auto right = take(b);
    if (left != right)
      return left < right ? -1 : 1;
  }
  return 0;
}

} // namespace

} // namespace velmora::enginedouble

using namespace velmora::enginedouble;

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
  PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler)
{
  try {
    return CreateEnvironment(browserExecutableFolder, userDataFolder, environmentOptions, environmentCreatedHandler);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

__declspec(dllexport) HRESULT STDAPICALLTYPE
  CreateCoreWebView2Environment(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler)
{
  try {
    return CreateEnvironment(nullptr, nullptr, nullptr, environmentCreatedHandler);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

__declspec(dllexport) HRESULT STDAPICALLTYPE
  GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder, LPWSTR* versionInfo)
{
  try {
    EnsureLoaded();
    HRESULT result = S_OK;
    const auto version = ConfiguredVersion();
    if (versionInfo == nullptr) {
      result = E_POINTER;
    } else if (!version) {
      *versionInfo = nullptr;
      result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    } else {
      result = OutString(*version, versionInfo);
    }
    auto line = Event("version-query");
    AppendOptionalString(line, "browserExecutableFolder", browserExecutableFolder);
    if (SUCCEEDED(result))
      line.Str("version", *version);
    else
      line.Null("version");
    Record(line.Utf8("result", HresultText(result)));
    return result;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

__declspec(dllexport) HRESULT STDAPICALLTYPE CompareBrowserVersions(PCWSTR version1, PCWSTR version2, int* result)
{
  try {
    EnsureLoaded();
    if (version1 == nullptr || version2 == nullptr || result == nullptr)
      return E_INVALIDARG;
    *result = CompareVersionText(version1, version2);
    Record(Event("compare-versions").Str("version1", version1).Str("version2", version2).Int("result", *result));
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Kept minimal: no file is touched when the process ends. When the library is unloaded while the process
// goes on (FreeLibrary), the double reports the objects still alive and removes its window, whose
// procedure is about to disappear with the library.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
  if (reason == DLL_PROCESS_ATTACH)
    DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    Record(Event("process-detach").Raw("liveObjects", LiveObjectsJson()));
    DetachDispatcher();
  }
  return TRUE;
}

} // extern "C"
