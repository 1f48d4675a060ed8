// The engine double's message-only window and posted tasks (see Dispatcher.h).
#include "Dispatcher.h"

#include "Transcript.h"

#include <deque>
#include <mutex>

namespace velmora::enginedouble {

namespace {

constexpr UINT kRunTaskMessage = WM_APP + 0x2D1;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kWindowClass[] = L"VelmoraEngineDoubleWindow";

struct TDispatcherState {
  std::mutex Lock;
  DWORD Thread = 0;
  HWND Window = nullptr;
  std::deque<TTask> Tasks;
  TTask Tick;
  bool Ticking = false;
};

// Never destroyed: pending tasks hold references to the host's objects, which must not be released
// while the process ends.
TDispatcherState& State()
{
  static auto* state = new TDispatcherState;
  return *state;
}

// The module this code lives in (the double's DLL), found from the address of one of its variables.
HINSTANCE ModuleInstance()
{
  static const char anchor = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&anchor), &module);
  return module;
}

void RunGuarded(const TTask& task, const char* what)
{
  try {
    task();
  } catch (const std::exception& error) {
    Record(Event("internal-error").Utf8("where", what).Utf8("message", error.what()));
  } catch (...) {
    Record(Event("internal-error").Utf8("where", what).Utf8("message", "unknown exception"));
  }
}

void RunOneTask()
{
  auto& state = State();
  TTask task;
  {
    std::lock_guard lock(state.Lock);
    if (state.Tasks.empty())
      return;
    task = std::move(state.Tasks.front());
    state.Tasks.pop_front();
  }
  RunGuarded(task, "task");
}

void RunTick()
{
  auto& state = State();
  if (state.Ticking || !state.Tick)
    return;
  state.Ticking = true;
  RunGuarded(state.Tick, "timer");
  state.Ticking = false;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == kRunTaskMessage) {
    RunOneTask();
    return 0;
  }
  if (message == WM_TIMER && wParam == kTimerId) {
    RunTick();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HRESULT AttachDispatcher()
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  if (state.Window != nullptr)
    return state.Thread == GetCurrentThreadId() ? S_OK : RPC_E_WRONG_THREAD;

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = ModuleInstance();
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return HRESULT_FROM_WIN32(GetLastError());
  HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
  if (window == nullptr)
    return HRESULT_FROM_WIN32(GetLastError());
  state.Window = window;
  state.Thread = GetCurrentThreadId();
  return S_OK;
}

bool OnUiThread()
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  return state.Thread == 0 || state.Thread == GetCurrentThreadId();
}

void PostTask(TTask task)
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  if (state.Window == nullptr)
    return;
  state.Tasks.push_back(std::move(task));
  if (!PostMessageW(state.Window, kRunTaskMessage, 0, 0)) {
    state.Tasks.pop_back();
    Record(Event("internal-error").Utf8("where", "post").Uint("error", GetLastError()));
  }
}

void StartTimer(UINT milliseconds, TTask tick)
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  if (state.Window == nullptr)
    return;
  state.Tick = std::move(tick);
  SetTimer(state.Window, kTimerId, milliseconds, nullptr);
}

void DetachDispatcher()
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  if (state.Window == nullptr || state.Thread != GetCurrentThreadId())
    return;
  DestroyWindow(state.Window);
  state.Window = nullptr;
  UnregisterClassW(kWindowClass, ModuleInstance());
}

} // namespace velmora::enginedouble
