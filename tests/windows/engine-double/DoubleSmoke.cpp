// Smoke test of the engine double: loads the built library from beside this program, drives it through
// the message loop as a host does, and checks both sides of each exchange: the calls the double made
// into the test's handlers, and the lines of its transcript.
#include "ComSupport.h"
#include "EngineAbi.h"
#include "Json.h"
#include "JsonLinesFile.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velmora::enginedouble {
namespace {

// ---- Handlers the test implements ----

// Implements any of the engine's one-method handler interfaces by calling a function.
template <class Interface, class... Args>
class THandler : public TComObject<THandler<Interface, Args...>, Interface> {
public:
  static const typename Interface::TVtbl kVtbl;
  explicit THandler(std::function<HRESULT(Args...)> call) : FCall(std::move(call)) {}
  HRESULT Invoke(Args... args)
  {
    ++Calls;
    return FCall(args...);
  }
  int Calls = 0;

private:
  std::function<HRESULT(Args...)> FCall;
};

template <class Interface, class... Args>
const typename Interface::TVtbl THandler<Interface, Args...>::kVtbl = {
  .QueryInterface = TUnknownThunks<THandler>::QueryInterface,
  .AddRef = TUnknownThunks<THandler>::AddRef,
  .Release = TUnknownThunks<THandler>::Release,
  .Invoke = Thunk<&THandler::Invoke>,
};

using TEnvironmentHandler =
  THandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT, ICoreWebView2Environment*>;
using TControllerHandler =
  THandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT, ICoreWebView2Controller*>;
using TResourceHandler =
  THandler<ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs*>;
using TNavigationHandler =
  THandler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*>;
using TTitleHandler = THandler<ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*, IUnknown*>;
using TScriptHandler = THandler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, HRESULT, LPCWSTR>;
using TExecuteHandler = THandler<ICoreWebView2ExecuteScriptCompletedHandler, HRESULT, LPCWSTR>;
using TMessageHandler =
  THandler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*>;
using TNewWindowHandler =
  THandler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*>;
using TPermissionHandler =
  THandler<ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs*>;
using TProcessFailedHandler =
  THandler<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs*>;

template <class T, class F>
TComRef<T> Make(F call)
{
  return MakeObject<T>(std::move(call));
}

// ---- Helpers ----

// Runs the message loop (as the host's UI thread does) until done() or the timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done())
      return true;
    if (GetTickCount64() >= deadline)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PumpFor(DWORD milliseconds)
{
  PumpUntil([] { return false; }, milliseconds);
}

std::wstring ProgramFolder()
{
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring folder(path.data(), length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

void SetVariable(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

std::wstring TakeString(LPWSTR text) { return TakeCoTaskString(text); }

IStream* StreamOf(std::string_view bytes)
{
  return SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
}

std::wstring Member(const TJsonValue& line, std::wstring_view name)
{
  return line.FindString(name).value_or(L"<absent>");
}

int64_t Number(const TJsonValue& line, std::wstring_view name)
{
  const TJsonValue* value = line.Find(name);
  return value != nullptr ? value->AsInteger().value_or(-1) : -1;
}

bool Flag(const TJsonValue& line, std::wstring_view name)
{
  const TJsonValue* value = line.Find(name);
  return value != nullptr && value->Kind() == TJsonValue::TKind::Bool && value->AsBool();
}

// One loaded copy of the double with its own transcript folder; unloaded at the end of the test.
class EngineDoubleTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    FDir = std::wstring(temp) + L"velmora-double-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
    CreateDirectoryW(FDir.c_str(), nullptr);
    SetVariable(L"VELMORA_DOUBLE_DIR", FDir.c_str());
    for (const wchar_t* name :
         {L"VELMORA_DOUBLE_VERSION", L"VELMORA_DOUBLE_ENVIRONMENT_RESULT", L"VELMORA_DOUBLE_CONTROLLER_RESULT"})
      SetVariable(name, nullptr);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    FLibrary = LoadLibraryW((ProgramFolder() + L"WebView2LoaderWin64.dll").c_str());
    ASSERT_NE(FLibrary, nullptr) << "the double must be built beside this program";
    FCreateEnvironment = reinterpret_cast<TCreateEnvironment>(
      reinterpret_cast<void*>(GetProcAddress(FLibrary, "CreateCoreWebView2Environment")));
    FCreateEnvironmentWithOptions = reinterpret_cast<TCreateEnvironmentWithOptions>(
      reinterpret_cast<void*>(GetProcAddress(FLibrary, "CreateCoreWebView2EnvironmentWithOptions")));
    FGetVersion = reinterpret_cast<TGetAvailableVersion>(
      reinterpret_cast<void*>(GetProcAddress(FLibrary, "GetAvailableCoreWebView2BrowserVersionString")));
    FCompareVersions = reinterpret_cast<TCompareBrowserVersions>(
      reinterpret_cast<void*>(GetProcAddress(FLibrary, "CompareBrowserVersions")));
    ASSERT_TRUE(FCreateEnvironment && FCreateEnvironmentWithOptions && FGetVersion && FCompareVersions);
    FParent = CreateWindowExW(0, L"STATIC", L"host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(FParent, nullptr);
  }

  // Every test ends with the host's references released; unloading then reports what the double
  // still holds alive, which must be nothing (a leaked args or response object shows here).
  void TearDown() override
  {
    if (FParent != nullptr)
      DestroyWindow(FParent);
    const bool loaded = FLibrary != nullptr;
    Unload();
    if (loaded && !HasFatalFailure()) {
      const auto detach = Events(L"process-detach");
      EXPECT_EQ(detach.size(), 1u);
      if (!detach.empty()) {
        std::string live;
        AppendJson(live, *detach[0].Find(L"liveObjects"));
        EXPECT_EQ(Number(*detach[0].Find(L"liveObjects"), L"total"), 0) << live;
      }
    }
    CoUninitialize();
    for (const wchar_t* suffix : {L".transcript.jsonl", L".commands.jsonl"})
      DeleteFileW((FDir + L"\\" + std::to_wstring(GetCurrentProcessId()) + suffix).c_str());
    RemoveDirectoryW(FDir.c_str());
  }

  void Unload()
  {
    if (FLibrary != nullptr)
      FreeLibrary(FLibrary);
    FLibrary = nullptr;
  }

  // Every transcript line, each checked to be one JSON object with "event" and this process's pid.
  std::vector<TJsonValue> Transcript() const
  {
    std::vector<TJsonValue> lines = ReadJsonLines(TranscriptPath());
    for (const TJsonValue& line : lines) {
      EXPECT_TRUE(line.FindString(L"event").has_value());
      EXPECT_EQ(Number(line, L"pid"), static_cast<int64_t>(GetCurrentProcessId()));
    }
    return lines;
  }

  std::vector<TJsonValue> Events(std::wstring_view name) const
  {
    std::vector<TJsonValue> found;
    for (auto& line : Transcript()) {
      if (line.FindString(L"event") == name)
        found.push_back(std::move(line));
    }
    return found;
  }

  std::wstring TranscriptPath() const
  {
    return FDir + L"\\" + std::to_wstring(GetCurrentProcessId()) + L".transcript.jsonl";
  }

  void AppendCommands(std::string_view text) const
  {
    const std::wstring path = FDir + L"\\" + std::to_wstring(GetCurrentProcessId()) + L".commands.jsonl";
    HANDLE file =
      CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }

  // Creates the environment through the loop; the handler must not run inside the creating call.
  TComRef<ICoreWebView2Environment> CreateEnvironment(HRESULT expected = S_OK)
  {
    HRESULT result = E_PENDING;
    TComRef<ICoreWebView2Environment> environment;
    auto handler = Make<TEnvironmentHandler>([&](HRESULT code, ICoreWebView2Environment* created) {
      result = code;
      environment = TComRef<ICoreWebView2Environment>::Retain(created);
      return S_OK;
    });
    EXPECT_EQ(FCreateEnvironment(handler.Get()), S_OK);
    EXPECT_EQ(handler->Calls, 0) << "completed inside the call that started it";
    EXPECT_TRUE(PumpUntil([&] { return handler->Calls > 0; }));
    EXPECT_EQ(handler->Calls, 1);
    EXPECT_EQ(result, expected);
    EXPECT_EQ(environment.Get() != nullptr, SUCCEEDED(expected));
    return environment;
  }

  TComRef<ICoreWebView2Controller> CreateController(ICoreWebView2Environment* environment, HRESULT expected = S_OK)
  {
    HRESULT result = E_PENDING;
    TComRef<ICoreWebView2Controller> controller;
    auto handler = Make<TControllerHandler>([&](HRESULT code, ICoreWebView2Controller* created) {
      result = code;
      controller = TComRef<ICoreWebView2Controller>::Retain(created);
      return S_OK;
    });
    EXPECT_EQ(environment->lpVtbl->CreateCoreWebView2Controller(environment, FParent, handler.Get()), S_OK);
    EXPECT_EQ(handler->Calls, 0) << "completed inside the call that started it";
    EXPECT_TRUE(PumpUntil([&] { return handler->Calls > 0; }));
    EXPECT_EQ(result, expected);
    EXPECT_EQ(controller.Get() != nullptr, SUCCEEDED(expected));
    return controller;
  }

  std::wstring FDir;
  HMODULE FLibrary = nullptr;
  HWND FParent = nullptr;
  TCreateEnvironment FCreateEnvironment = nullptr;
  TCreateEnvironmentWithOptions FCreateEnvironmentWithOptions = nullptr;
  TGetAvailableVersion FGetVersion = nullptr;
  TCompareBrowserVersions FCompareVersions = nullptr;
};

// The page of the tests: it lives in a folder, so "../" leads out of it, and names an image with a blank.
constexpr char kPage[] = "<!DOCTYPE html><html><head><title>\n  Smoke &amp; Mirrors </title>"
                         "<link rel=\"stylesheet\" href=\"style.css\"><script src='../lib/app.js'></script></head>"
                         "<body><!-- <img src=\"commented.png\"> --><img src=\"img/a b.png\"><img src=\"img/a b.png\">"
                         "<img src=\"data:image/png;base64,AAAA\"><a href=\"other.html\">other</a>"
                         "<img data-src=\"lazy.png\" src=\"#top\"></body></html>";
constexpr char kImage[] = "\x89PNG\r\n\x1a\n\xff\x00\x01";
constexpr std::string_view kImageBytes(kImage, sizeof kImage - 1);

// A request the test's handler saw.
struct TSeenRequest {
  std::wstring Uri;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT Context;
  std::wstring Referer; // "<none>" when the request had none
};

// An environment, controller and web view with a request handler that serves kPage and kImage.
struct TLoadedPage {
  TComRef<ICoreWebView2Environment> Environment;
  TComRef<ICoreWebView2Controller> Controller;
  TComRef<ICoreWebView2> WebView;
  TComRef<TResourceHandler> ResourceHandler;
  TComRef<TNavigationHandler> NavigationHandler;
  std::vector<TSeenRequest> Requests;
  std::vector<std::pair<BOOL, UINT64>> Completions;
};

class EngineDoublePageTest : public EngineDoubleTest {
protected:
  // Loads file:///app/index.html; the handler answers the page and the image and nothing else.
  void LoadPage(TLoadedPage& page)
  {
    page.Environment = CreateEnvironment();
    ASSERT_TRUE(page.Environment);
    page.Controller = CreateController(page.Environment.Get());
    ASSERT_TRUE(page.Controller);
    ASSERT_EQ(page.Controller->lpVtbl->get_CoreWebView2(page.Controller.Get(), page.WebView.Put()), S_OK);
    ICoreWebView2* view = page.WebView.Get();
    ICoreWebView2Environment* environment = page.Environment.Get();

    page.ResourceHandler = Make<TResourceHandler>(
      [&page, environment](ICoreWebView2* sender, ICoreWebView2WebResourceRequestedEventArgs* args) {
        EXPECT_EQ(sender, page.WebView.Get());
        TComRef<ICoreWebView2WebResourceRequest> request;
        EXPECT_EQ(args->lpVtbl->get_Request(args, request.Put()), S_OK);
        LPWSTR uri = nullptr;
        request->lpVtbl->get_Uri(request.Get(), &uri);
        TSeenRequest seen{TakeString(uri), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL, L"<none>"};
        args->lpVtbl->get_ResourceContext(args, &seen.Context);
        TComRef<ICoreWebView2HttpRequestHeaders> headers;
        EXPECT_EQ(request->lpVtbl->get_Headers(request.Get(), headers.Put()), S_OK);
        BOOL hasReferer = FALSE;
        headers->lpVtbl->Contains(headers.Get(), L"referer", &hasReferer);
        if (hasReferer) {
          LPWSTR referer = nullptr;
          EXPECT_EQ(headers->lpVtbl->GetHeader(headers.Get(), L"Referer", &referer), S_OK);
          seen.Referer = TakeString(referer);
        }
        page.Requests.push_back(seen);

        std::string_view body;
        const wchar_t* headerText = nullptr;
        if (seen.Uri == L"file:///app/index.html") {
          body = kPage;
          headerText = L"Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store";
        } else if (seen.Uri == L"file:///app/img/a%20b.png") {
          body = kImageBytes;
          headerText = L"Content-Type: image/png";
        } else {
          return S_OK;
        }
        IStream* stream = StreamOf(body);
        TComRef<ICoreWebView2WebResourceResponse> response;
        EXPECT_EQ(
          environment->lpVtbl->CreateWebResourceResponse(environment, stream, 200, L"OK", headerText, response.Put()),
          S_OK);
        stream->Release(); // the response holds its own reference
        EXPECT_EQ(args->lpVtbl->put_Response(args, response.Get()), S_OK);
        return S_OK;
      });
    page.NavigationHandler =
      Make<TNavigationHandler>([&page](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
        BOOL success = FALSE;
        UINT64 id = 0;
        args->lpVtbl->get_IsSuccess(args, &success);
        args->lpVtbl->get_NavigationId(args, &id);
        page.Completions.emplace_back(success, id);
        return S_OK;
      });
    EventRegistrationToken token{};
    ASSERT_EQ(view->lpVtbl->AddWebResourceRequestedFilter(view, L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL), S_OK);
    ASSERT_EQ(view->lpVtbl->add_WebResourceRequested(view, page.ResourceHandler.Get(), &token), S_OK);
    ASSERT_EQ(view->lpVtbl->add_NavigationCompleted(view, page.NavigationHandler.Get(), &token), S_OK);

    ASSERT_EQ(view->lpVtbl->Navigate(view, L"file:///app/index.html"), S_OK);
    EXPECT_TRUE(page.Requests.empty()) << "requested inside Navigate";
    ASSERT_TRUE(PumpUntil([&] { return !page.Completions.empty(); }));
  }

  // Closes and releases everything the page holds.
  static void Release(TLoadedPage& page)
  {
    if (page.Controller)
      page.Controller->lpVtbl->Close(page.Controller.Get());
    page = TLoadedPage();
  }
};

TEST_F(EngineDoublePageTest, LoadsAPageAndItsResourcesThroughTheHostsHandler)
{
  TLoadedPage page;
  ASSERT_NO_FATAL_FAILURE(LoadPage(page));
  ICoreWebView2* view = page.WebView.Get();

  // The document first, then each resource once, in document order, without a referrer (a file:
  // page sends none); data:, fragment-only and commented-out references and the hyperlink load
  // nothing.
  ASSERT_EQ(page.Requests.size(), 4u);
  EXPECT_EQ(page.Requests[0].Uri, L"file:///app/index.html");
  EXPECT_EQ(page.Requests[0].Context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  EXPECT_EQ(page.Requests[0].Referer, L"<none>");
  EXPECT_EQ(page.Requests[1].Uri, L"file:///app/style.css");
  EXPECT_EQ(page.Requests[1].Context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET);
  EXPECT_EQ(page.Requests[2].Uri, L"file:///lib/app.js");
  EXPECT_EQ(page.Requests[2].Context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT);
  EXPECT_EQ(page.Requests[3].Uri, L"file:///app/img/a%20b.png");
  EXPECT_EQ(page.Requests[3].Context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE);
  for (size_t i = 1; i < page.Requests.size(); ++i)
    EXPECT_EQ(page.Requests[i].Referer, L"<none>");

  ASSERT_EQ(page.Completions.size(), 1u);
  EXPECT_EQ(page.Completions[0].first, TRUE);
  LPWSTR text = nullptr;
  ASSERT_EQ(view->lpVtbl->get_DocumentTitle(view, &text), S_OK);
  EXPECT_EQ(TakeString(text), L"Smoke & Mirrors");
  ASSERT_EQ(view->lpVtbl->get_Source(view, &text), S_OK);
  EXPECT_EQ(TakeString(text), L"file:///app/index.html");

  // The transcript tells the same story, with the bodies the double read from the host's streams.
  const auto loaded = Events(L"loaded");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_NE(Member(loaded[0], L"commandLine").find(L"double_smoke"), std::wstring::npos);
  const auto requests = Events(L"request");
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(Number(requests[0], L"context"), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  EXPECT_EQ(Member(requests[0], L"method"), L"GET");
  ASSERT_NE(requests[3].Find(L"headers"), nullptr);
  EXPECT_EQ(requests[3].Find(L"headers")->Find(L"Referer"), nullptr);
  const auto responses = Events(L"response");
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(Member(responses[0], L"uri"), L"file:///app/index.html");
  EXPECT_EQ(Number(responses[0], L"status"), 200);
  EXPECT_EQ(Member(responses[0], L"reason"), L"OK");
  EXPECT_EQ(Member(responses[0], L"headers"), L"Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store");
  EXPECT_EQ(Member(responses[0], L"contentType"), L"text/html; charset=utf-8");
  EXPECT_EQ(Member(responses[0], L"body"), WideFromUtf8(kPage));
  EXPECT_EQ(Number(responses[0], L"bodyLength"), static_cast<int64_t>(sizeof kPage - 1));
  EXPECT_EQ(Member(responses[1], L"uri"), L"file:///app/img/a%20b.png");
  EXPECT_EQ(Member(responses[1], L"bodyBase64"), WideFromUtf8(Base64(kImageBytes)));
  EXPECT_EQ(Number(responses[1], L"bodyLength"), static_cast<int64_t>(kImageBytes.size()));
  const auto unanswered = Events(L"no-response");
  ASSERT_EQ(unanswered.size(), 2u);
  EXPECT_EQ(Member(unanswered[0], L"uri"), L"file:///app/style.css");
  const auto completed = Events(L"navigation-completed");
  ASSERT_EQ(completed.size(), 1u);
  EXPECT_TRUE(Flag(completed[0], L"isSuccess"));
  EXPECT_EQ(static_cast<UINT64>(Number(completed[0], L"navigationId")), page.Completions[0].second);

  // A file page nobody answers is not found: the navigation fails.
  ASSERT_EQ(view->lpVtbl->Navigate(view, L"file:///app/missing.html"), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return page.Completions.size() == 2; }));
  EXPECT_EQ(page.Completions[1].first, FALSE);
  EXPECT_GT(page.Completions[1].second, page.Completions[0].second);
  Release(page);
}

TEST_F(EngineDoublePageTest, RecordsSettingsScriptsAndMessagesTheHostGives)
{
  TLoadedPage page;
  ASSERT_NO_FATAL_FAILURE(LoadPage(page));
  ICoreWebView2* view = page.WebView.Get();

  TComRef<ICoreWebView2Settings> settings;
  ASSERT_EQ(view->lpVtbl->get_Settings(view, settings.Put()), S_OK);
  EXPECT_EQ(settings->lpVtbl->put_AreDevToolsEnabled(settings.Get(), FALSE), S_OK);
  EXPECT_EQ(settings->lpVtbl->put_IsStatusBarEnabled(settings.Get(), FALSE), S_OK);
  BOOL value = TRUE;
  EXPECT_EQ(settings->lpVtbl->get_AreDevToolsEnabled(settings.Get(), &value), S_OK);
  EXPECT_EQ(value, FALSE);
  EXPECT_EQ(settings->lpVtbl->get_IsScriptEnabled(settings.Get(), &value), S_OK);
  EXPECT_EQ(value, TRUE);

  // Completions come later, through the loop.
  const std::wstring script = L"\r\x2028window.a = \"\\\";\n\t//\x01 \xD83D\xDE00";
  std::wstring scriptId;
  auto scriptHandler = Make<TScriptHandler>([&](HRESULT code, LPCWSTR id) {
    EXPECT_EQ(code, S_OK);
    scriptId = View(id);
    return S_OK;
  });
  ASSERT_EQ(view->lpVtbl->AddScriptToExecuteOnDocumentCreated(view, script.c_str(), scriptHandler.Get()), S_OK);
  std::wstring scriptResult;
  auto executeHandler = Make<TExecuteHandler>([&](HRESULT code, LPCWSTR result) {
    EXPECT_EQ(code, S_OK);
    scriptResult = View(result);
    return S_OK;
  });
  ASSERT_EQ(view->lpVtbl->ExecuteScript(view, L"document.title", executeHandler.Get()), S_OK);
  EXPECT_EQ(scriptHandler->Calls + executeHandler->Calls, 0) << "completed inside the call that started it";
  ASSERT_TRUE(PumpUntil([&] { return scriptHandler->Calls == 1 && executeHandler->Calls == 1; }));
  EXPECT_FALSE(scriptId.empty());
  EXPECT_EQ(scriptResult, L"null");

  // The engine's objects belong to the UI thread.
  HRESULT fromOtherThread = S_OK;
  std::thread([&] { fromOtherThread = view->lpVtbl->Navigate(view, L"file:///app/elsewhere.html"); }).join();
  EXPECT_EQ(fromOtherThread, RPC_E_WRONG_THREAD);
  EXPECT_EQ(Events(L"wrong-thread").size(), 1u);

  EXPECT_EQ(view->lpVtbl->PostWebMessageAsJson(view, L"{\"id\":1,\"result\":[true,null]}"), S_OK);
  EXPECT_EQ(view->lpVtbl->PostWebMessageAsJson(view, L"{unquoted:1}"), E_INVALIDARG);
  EXPECT_EQ(view->lpVtbl->PostWebMessageAsString(view, L"plain"), S_OK);
  RECT bounds{1, 2, 300, 400};
  EXPECT_EQ(page.Controller->lpVtbl->put_Bounds(page.Controller.Get(), bounds), S_OK);
  RECT read{};
  EXPECT_EQ(page.Controller->lpVtbl->get_Bounds(page.Controller.Get(), &read), S_OK);
  EXPECT_EQ(read.right, 300);
  EXPECT_EQ(read.bottom, 400);

  const auto settingLines = Events(L"setting");
  ASSERT_EQ(settingLines.size(), 2u);
  EXPECT_EQ(Member(settingLines[0], L"name"), L"AreDevToolsEnabled");
  EXPECT_FALSE(Flag(settingLines[0], L"value"));
  EXPECT_EQ(Member(settingLines[1], L"name"), L"IsStatusBarEnabled");
  // The script comes back exactly, control characters, line separators and surrogate pairs included.
  const auto added = Events(L"script-added");
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(Member(added[0], L"script"), script);
  EXPECT_EQ(Member(added[0], L"id"), scriptId);
  const auto posted = Events(L"post-json");
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_TRUE(Flag(posted[0], L"valid"));
  EXPECT_FALSE(Flag(posted[1], L"valid"));
  EXPECT_EQ(Member(Events(L"post-string").at(0), L"string"), L"plain");
  EXPECT_EQ(Member(Events(L"execute-script").at(0), L"script"), L"document.title");
  const auto boundsLines = Events(L"bounds");
  ASSERT_EQ(boundsLines.size(), 1u);
  EXPECT_EQ(Number(boundsLines[0], L"left"), 1);
  EXPECT_EQ(Number(boundsLines[0], L"bottom"), 400);
  Release(page);
}

TEST_F(EngineDoublePageTest, CommandsPlayThePageThroughTheLoop)
{
  TLoadedPage page;
  ASSERT_NO_FATAL_FAILURE(LoadPage(page));
  ICoreWebView2* view = page.WebView.Get();

  struct TMessage {
    std::wstring Source;
    std::wstring Json;
    HRESULT StringResult;
    std::wstring String;
  };
  std::vector<TMessage> messages;
  auto messageHandler = Make<TMessageHandler>([&](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
    TMessage message{};
    LPWSTR text = nullptr;
    args->lpVtbl->get_Source(args, &text);
    message.Source = TakeString(text);
    args->lpVtbl->get_WebMessageAsJson(args, &text);
    message.Json = TakeString(text);
    text = nullptr;
    message.StringResult = args->lpVtbl->TryGetWebMessageAsString(args, &text);
    message.String = text != nullptr ? TakeString(text) : L"<null>";
    messages.push_back(message);
    return S_OK;
  });
  std::wstring newWindowUri;
  auto newWindowHandler = Make<TNewWindowHandler>([&](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
    LPWSTR uri = nullptr;
    args->lpVtbl->get_Uri(args, &uri);
    newWindowUri = TakeString(uri);
    return args->lpVtbl->put_Handled(args, TRUE);
  });
  COREWEBVIEW2_PERMISSION_KIND permissionKind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
  auto permissionHandler =
    Make<TPermissionHandler>([&](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
      args->lpVtbl->get_PermissionKind(args, &permissionKind);
      return args->lpVtbl->put_State(args, COREWEBVIEW2_PERMISSION_STATE_ALLOW);
    });
  std::vector<COREWEBVIEW2_PROCESS_FAILED_KIND> failures;
  auto failedHandler = Make<TProcessFailedHandler>([&](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
    COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
    args->lpVtbl->get_ProcessFailedKind(args, &kind);
    failures.push_back(kind);
    return S_OK;
  });
  std::vector<std::wstring> titles;
  auto titleHandler = Make<TTitleHandler>([&](ICoreWebView2* sender, IUnknown*) {
    LPWSTR title = nullptr;
    sender->lpVtbl->get_DocumentTitle(sender, &title);
    titles.push_back(TakeString(title));
    return S_OK;
  });
  EventRegistrationToken token{};
  ASSERT_EQ(view->lpVtbl->add_WebMessageReceived(view, messageHandler.Get(), &token), S_OK);
  ASSERT_EQ(view->lpVtbl->add_NewWindowRequested(view, newWindowHandler.Get(), &token), S_OK);
  ASSERT_EQ(view->lpVtbl->add_PermissionRequested(view, permissionHandler.Get(), &token), S_OK);
  ASSERT_EQ(view->lpVtbl->add_ProcessFailed(view, failedHandler.Get(), &token), S_OK);
  ASSERT_EQ(view->lpVtbl->add_DocumentTitleChanged(view, titleHandler.Get(), &token), S_OK);
  const size_t requestsBefore = page.Requests.size();

  AppendCommands(
    "{\"do\":\"post\",\"json\":\"\\\"abc\\\"\",\"string\":\"abc\"}\n"
    "{\"do\":\"post\",\"json\":\"{\\\"s\\\":\\\"\\u00e9\\ud83d\\ude00\\\"}\",\"source\":\"file:///app/x.html\"}\r\n"
    "{\"do\":\n"
    "\n"
    "{\"do\":\"fly\"}\n"
    "{\"do\":\"new-window\",\"uri\":\"page 2.html\"}\n"
    "{\"do\":\"permission\",\"uri\":\"file:///app/index.html\",\"kind\":3}\n"
    "{\"do\":\"process-failed\",\"kind\":1}\n"
    "{\"do\":\"title\",\"title\":\"Renamed\"}\n"
    "{\"do\":\"request\",\"uri\":\"data.json\",\"headers\":{\"Origin\":\"file://\"},\"context\":8}\n"
    "{\"do\":\"title\",\"title\":\"La");
  ASSERT_TRUE(PumpUntil([&] { return page.Requests.size() > requestsBefore; }));
  // The last line has no line end yet: it waits for the rest.
  PumpFor(200);
  EXPECT_EQ(titles, std::vector<std::wstring>{L"Renamed"});
  AppendCommands("te\"}\n");
  ASSERT_TRUE(PumpUntil([&] { return titles.size() == 2; }));
  EXPECT_EQ(titles[1], L"Late");

  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].Source, L"file:///app/index.html");
  EXPECT_EQ(messages[0].Json, L"\"abc\"");
  EXPECT_EQ(messages[0].StringResult, S_OK);
  EXPECT_EQ(messages[0].String, L"abc");
  EXPECT_EQ(messages[1].Source, L"file:///app/x.html");
  EXPECT_EQ(messages[1].Json, L"{\"s\":\"\x00e9\xD83D\xDE00\"}");
  EXPECT_EQ(messages[1].StringResult, E_INVALIDARG);
  EXPECT_EQ(messages[1].String, L"<null>");
  EXPECT_EQ(newWindowUri, L"file:///app/page%202.html");
  EXPECT_EQ(permissionKind, COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION);
  EXPECT_EQ(failures,
            std::vector<COREWEBVIEW2_PROCESS_FAILED_KIND>{COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED});
  ASSERT_EQ(page.Requests.size(), requestsBefore + 1);
  EXPECT_EQ(page.Requests.back().Uri, L"file:///app/data.json");
  EXPECT_EQ(page.Requests.back().Context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH);

  // Bad lines are reported with their line numbers and do not stop the ones after them.
  const auto errors = Events(L"command-error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(Number(errors[0], L"line"), 3);
  EXPECT_EQ(Number(errors[1], L"line"), 5);
  EXPECT_EQ(Member(errors[1], L"message"), L"unknown command");
  // The message is recorded as posted before the host's handler runs and as handled after it.
  const auto transcript = Transcript();
  int64_t postedSeq = -1;
  int64_t handledSeq = -1;
  for (const auto& line : transcript) {
    if (line.FindString(L"event") == L"message-posted" && postedSeq < 0)
      postedSeq = Number(line, L"seq");
    if (line.FindString(L"event") == L"message-handled" && handledSeq < 0)
      handledSeq = Number(line, L"seq");
  }
  EXPECT_GT(postedSeq, 0);
  EXPECT_GT(handledSeq, postedSeq);
  const auto newWindows = Events(L"new-window");
  ASSERT_EQ(newWindows.size(), 1u);
  EXPECT_TRUE(Flag(newWindows[0], L"handled"));
  const auto permissions = Events(L"permission");
  ASSERT_EQ(permissions.size(), 1u);
  EXPECT_EQ(Number(permissions[0], L"state"), COREWEBVIEW2_PERMISSION_STATE_ALLOW);
  const auto requests = Events(L"request");
  EXPECT_EQ(Member(*requests.back().Find(L"headers"), L"Origin"), L"file://");
  Release(page);
}

TEST_F(EngineDoublePageTest, CloseReleasesEveryHandlerAndTheHostsReleasesFreeEverything)
{
  TLoadedPage page;
  ASSERT_NO_FATAL_FAILURE(LoadPage(page));
  ICoreWebView2* view = page.WebView.Get();
  auto titleHandler = Make<TTitleHandler>([](ICoreWebView2*, IUnknown*) { return S_OK; });
  EventRegistrationToken token{};
  ASSERT_EQ(view->lpVtbl->add_DocumentTitleChanged(view, titleHandler.Get(), &token), S_OK);
  // A handler removed before Close is released at once.
  auto removed = Make<TTitleHandler>([](ICoreWebView2*, IUnknown*) { return S_OK; });
  EventRegistrationToken removedToken{};
  ASSERT_EQ(view->lpVtbl->add_DocumentTitleChanged(view, removed.Get(), &removedToken), S_OK);
  EXPECT_EQ(removed->References(), 2u);
  ASSERT_EQ(view->lpVtbl->remove_DocumentTitleChanged(view, removedToken), S_OK);
  EXPECT_EQ(removed->References(), 1u);
  EXPECT_EQ(titleHandler->References(), 2u);
  EXPECT_EQ(page.ResourceHandler->References(), 2u);

  ASSERT_EQ(page.Controller->lpVtbl->Close(page.Controller.Get()), S_OK);
  EXPECT_EQ(titleHandler->References(), 1u);
  EXPECT_EQ(page.ResourceHandler->References(), 1u);
  EXPECT_EQ(page.NavigationHandler->References(), 1u);
  EXPECT_EQ(view->lpVtbl->Navigate(view, L"file:///app/index.html"), HRESULT_FROM_WIN32(ERROR_INVALID_STATE));
  const auto closed = Events(L"controller-closed");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(Number(closed[0], L"handlersReleased"), 3);

  page = TLoadedPage();
  const auto freed = Events(L"object-freed");
  std::vector<std::wstring> kinds;
  for (const auto& line : freed)
    kinds.push_back(Member(line, L"kind"));
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), L"controller"), kinds.end());
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), L"webView"), kinds.end());
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), L"environment"), kinds.end());
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), L"settings"), kinds.end());
}

TEST_F(EngineDoubleTest, ReportsTheConfiguredVersionAndFailures)
{
  // A thread without COM is refused at once, and its handler never runs.
  HRESULT withoutCom = S_OK;
  auto unused = Make<TEnvironmentHandler>([](HRESULT, ICoreWebView2Environment*) { return S_OK; });
  std::thread([&] { withoutCom = FCreateEnvironment(unused.Get()); }).join();
  EXPECT_EQ(withoutCom, CO_E_NOTINITIALIZED);
  HRESULT multithreaded = S_OK;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    multithreaded = FCreateEnvironment(unused.Get());
    CoUninitialize();
  }).join();
  EXPECT_EQ(multithreaded, RPC_E_CHANGED_MODE);
  EXPECT_EQ(unused->References(), 1u);

  LPWSTR version = nullptr;
  ASSERT_EQ(FGetVersion(nullptr, &version), S_OK);
  EXPECT_EQ(TakeString(version), L"120.0.0.0");
  SetVariable(L"VELMORA_DOUBLE_VERSION", L"121.0.2277.83");
  ASSERT_EQ(FGetVersion(nullptr, &version), S_OK);
  EXPECT_EQ(TakeString(version), L"121.0.2277.83");
  SetVariable(L"VELMORA_DOUBLE_VERSION", L"none");
  version = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(FGetVersion(nullptr, &version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(version, nullptr);
  CreateEnvironment(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  SetVariable(L"VELMORA_DOUBLE_VERSION", nullptr);

  SetVariable(L"VELMORA_DOUBLE_ENVIRONMENT_RESULT", L"0x80004005");
  CreateEnvironment(E_FAIL);
  SetVariable(L"VELMORA_DOUBLE_ENVIRONMENT_RESULT", nullptr);
  SetVariable(L"VELMORA_DOUBLE_CONTROLLER_RESULT", L"0x80070005");
  {
    auto environment = CreateEnvironment();
    ASSERT_TRUE(environment);
    CreateController(environment.Get(), E_ACCESSDENIED);
  }

  struct TCase {
    const wchar_t* A;
    const wchar_t* B;
    int Expected;
  };
  for (const TCase& c : {TCase{L"120.0.1", L"120.0.0.9", 1}, TCase{L"1.2", L"1.2.0", 0}, TCase{L"99.1", L"100.0", -1},
                         TCase{L"121.0.2277.83", L"121.0.2277.83", 0}}) {
    int result = 2;
    EXPECT_EQ(FCompareVersions(c.A, c.B, &result), S_OK);
    EXPECT_EQ(result, c.Expected) << View(c.A).data() << " vs " << View(c.B).data();
  }

  const auto queries = Events(L"version-query");
  ASSERT_EQ(queries.size(), 3u);
  EXPECT_EQ(Member(queries[1], L"version"), L"121.0.2277.83");
  EXPECT_TRUE(queries[2].Find(L"version")->IsNull());
  const auto created = Events(L"environment-created");
  ASSERT_EQ(created.size(), 5u);
  EXPECT_EQ(Member(created[0], L"result"), L"0x800401F0");
  EXPECT_TRUE(Flag(created[0], L"synchronous"));
  EXPECT_EQ(Member(created[1], L"result"), L"0x80010106");
  EXPECT_EQ(Member(created[2], L"result"), L"0x80070002");
  EXPECT_EQ(Member(created[3], L"result"), L"0x80004005");
  EXPECT_EQ(Member(created[4], L"result"), L"0x00000000");
  const auto controllers = Events(L"controller-created");
  ASSERT_EQ(controllers.size(), 1u);
  EXPECT_EQ(Member(controllers[0], L"result"), L"0x80070005");
  EXPECT_EQ(Number(controllers[0], L"parentWindow"), static_cast<int64_t>(reinterpret_cast<uintptr_t>(FParent)));
}

// "installed-by-installer": no engine until the installer double's marker file is in the folder, then
// the default version, for the version query and environment creation alike.
TEST_F(EngineDoubleTest, InstalledByInstallerFollowsTheMarkerFile)
{
  SetVariable(L"VELMORA_DOUBLE_VERSION", L"installed-by-installer");
  const std::wstring marker = FDir + L"\\engine-installed";
  DeleteFileW(marker.c_str());

  LPWSTR version = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(FGetVersion(nullptr, &version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(version, nullptr);
  CreateEnvironment(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

  // A folder of that name is no marker.
  ASSERT_TRUE(CreateDirectoryW(marker.c_str(), nullptr));
  version = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(FGetVersion(nullptr, &version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(version, nullptr);
  ASSERT_TRUE(RemoveDirectoryW(marker.c_str()));

  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_EQ(FGetVersion(nullptr, &version), S_OK);
  EXPECT_EQ(TakeString(version), L"120.0.0.0");
  {
    auto environment = CreateEnvironment();
    ASSERT_TRUE(environment);
    LPWSTR reported = nullptr;
    ASSERT_EQ(environment->lpVtbl->get_BrowserVersionString(environment.Get(), &reported), S_OK);
    EXPECT_EQ(TakeString(reported), L"120.0.0.0");
  }

  // The value is read at each call, in any letter case, and so is the marker.
  SetVariable(L"VELMORA_DOUBLE_VERSION", L"Installed-By-Installer");
  ASSERT_EQ(FGetVersion(nullptr, &version), S_OK);
  EXPECT_EQ(TakeString(version), L"120.0.0.0");
  ASSERT_TRUE(DeleteFileW(marker.c_str()));
  EXPECT_EQ(FGetVersion(nullptr, &version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

  const auto queries = Events(L"version-query");
  ASSERT_EQ(queries.size(), 5u);
  EXPECT_TRUE(queries[0].Find(L"version")->IsNull());
  EXPECT_EQ(Member(queries[0], L"result"), L"0x80070002");
  EXPECT_TRUE(queries[1].Find(L"version")->IsNull());
  EXPECT_EQ(Member(queries[2], L"version"), L"120.0.0.0");
  EXPECT_EQ(Member(queries[2], L"result"), L"0x00000000");
  EXPECT_EQ(Member(queries[3], L"version"), L"120.0.0.0");
  EXPECT_TRUE(queries[4].Find(L"version")->IsNull());
  const auto created = Events(L"environment-created");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(Member(created[0], L"result"), L"0x80070002");
  EXPECT_EQ(Member(created[1], L"result"), L"0x00000000");
}

// The reader must refuse bad command lines without crashing; the writer's strings must read back exactly.
TEST(EngineDoubleJson, RejectsMalformedTextAndRoundTripsEveryString)
{
  const std::string deep(100000, '[');
  for (const std::string_view bad :
       {std::string_view(""), std::string_view("{"), std::string_view("{\"a\"}"), std::string_view("{\"a\":}"),
        std::string_view("[1,]"), std::string_view("\"\\x\""), std::string_view("\"\\u12\""),
        std::string_view("\"a\nb\""), std::string_view("01"), std::string_view("1."), std::string_view("-"),
        std::string_view("1e999"), std::string_view("tru"), std::string_view("{} {}"), std::string_view("\"\xC3\""),
        std::string_view("\"\xED\xA0\x80\""), std::string_view(deep)}) {
    std::string error;
    EXPECT_FALSE(ParseJson(bad, &error).has_value()) << bad.substr(0, 20);
    EXPECT_FALSE(error.empty());
  }

  const std::wstring tricky = std::wstring(L"q\"b\\s/\r\n\t\b\f", 11) + std::wstring(1, L'\0') + L"\x1F\x7F\x2028\xE9" +
                              L"\xD83D\xDE00" + L"\xD800" + L"x\xDC00";
  std::string text;
  AppendJsonString(text, std::wstring_view(tricky));
  for (const char c : text)
    EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control character in " << text;
  const auto parsed = ParseJson(text);
  ASSERT_TRUE(parsed.has_value()) << text;
  EXPECT_EQ(parsed->AsString(), tricky);

  const auto object =
    ParseJson(" {\"do\":\"request\",\"context\":8,\"headers\":{\"A\":\"\\ud83d\\ude00\"},\"n\":-1.5e2} ");
  ASSERT_TRUE(object.has_value());
  EXPECT_EQ(object->FindString(L"do"), L"request");
  EXPECT_EQ(object->Find(L"context")->AsInteger(), 8);
  EXPECT_EQ(object->Find(L"n")->AsNumber(), -150.0);
  EXPECT_EQ(object->Find(L"headers")->FindString(L"A"), L"\xD83D\xDE00");
}

} // namespace
} // namespace velmora::enginedouble
