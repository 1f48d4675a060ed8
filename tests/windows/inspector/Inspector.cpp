// velmora-inspect: lets the end-to-end tests see and drive the Win32 windows of the app under test.
//
// Under wine the app's child controls are no X windows and _NET_WM_PID names the wine loader, so
// X tools cannot tell the tests much. This program runs in the same wine prefix and on the same
// display as the app, asks user32 instead, and prints one JSON document on stdout.
// Exit codes: 0 success, 1 window or control not found (or a wait timed out), 2 usage error.
#include "InspectArgs.h"
#include "JsonWriter.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::inspect {

namespace {

constexpr int ExitOk = 0;
constexpr int ExitNotFound = 1;
constexpr int ExitUsage = 2;

// How long a message sent to the app may take before the app counts as hung.
constexpr UINT MessageTimeoutMs = 2000;
constexpr std::uint64_t DefaultWaitMs = 20000;
constexpr std::uint64_t MaxWaitMs = 3600000;
constexpr DWORD PollIntervalMs = 100;
// Window texts longer than this are cut; no control of the app holds that much.
constexpr DWORD_PTR MaxTextLength = 1 << 20;

constexpr char UsageText[] =
  "usage: velmora-inspect COMMAND [ARGS]\n"
  "  WINDOW is a decimal HWND, title=EXACT TITLE or title~=PART OF THE TITLE\n"
  "  list [pid=N] [visible]        top-level windows\n"
  "  info WINDOW                   one top-level window and its thread's focus\n"
  "  children WINDOW               the child windows (controls)\n"
  "  minmax WINDOW [method=message|probe|both]\n"
  "                                the window's size limits\n"
  "  press WINDOW button=TEXT      click the button with that text (\"&\" ignored)\n"
  "  close WINDOW                  post WM_CLOSE\n"
  "  sysclose WINDOW               post WM_SYSCOMMAND SC_CLOSE (the title-bar close box)\n"
  "  key WINDOW VK [down|up|both]  post WM_KEYDOWN/WM_KEYUP to the focused control\n"
  "  type WINDOW text=TEXT         post WM_CHAR and WM_KEYUP per character to the focused control\n"
  "  wait WINDOW [timeout=MS]      wait until the window exists and is visible\n"
  "  wait-gone WINDOW [timeout=MS] wait until no such window is visible\n"
  "  foreground WINDOW             SetForegroundWindow\n"
  "Output: one JSON document on stdout. Exit code 0 success, 1 not found or timeout, 2 usage error.\n";

// Ends a command with exit code 2 (bad arguments) or 1 (no such window, control or timeout).
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class NotFound : public std::runtime_error {
public:
  NotFound(const char* Kind, const std::string& Message) : std::runtime_error(Message), FKind(Kind) {}
  const char* Kind() const { return FKind; }

private:
  const char* FKind;
};

std::uint64_t HandleValue(HWND Window) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(Window)); }

HWND HandleFromValue(std::uint64_t Value) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(Value)); }

std::string Narrow(std::wstring_view Text) { return Utf16ToUtf8(Text); }

bool EqualsIgnoringCase(std::wstring_view A, std::wstring_view B)
{
  return CompareStringOrdinal(A.data(), static_cast<int>(A.size()), B.data(), static_cast<int>(B.size()), TRUE) ==
         CSTR_EQUAL;
}

DWORD StyleOf(HWND Window) { return static_cast<DWORD>(GetWindowLongW(Window, GWL_STYLE)); }

DWORD ExStyleOf(HWND Window) { return static_cast<DWORD>(GetWindowLongW(Window, GWL_EXSTYLE)); }

std::wstring ClassNameOf(HWND Window)
{
  wchar_t Buffer[257] = {};
  const int Length = GetClassNameW(Window, Buffer, 257);
  return std::wstring(Buffer, static_cast<std::size_t>(std::max(Length, 0)));
}

// The caption the system keeps for the window. For a window of another process GetWindowText
// reads it without sending WM_GETTEXT, so a hung app cannot block the inspector here.
std::wstring TitleOf(HWND Window)
{
  const int Length = GetWindowTextLengthW(Window);
  if (Length <= 0) {
    return {};
  }
  std::wstring Buffer(static_cast<std::size_t>(Length) + 1, L'\0');
  const int Copied = GetWindowTextW(Window, Buffer.data(), Length + 1);
  Buffer.resize(static_cast<std::size_t>(std::clamp(Copied, 0, Length)));
  return Buffer;
}

// The text a control shows, asked with WM_GETTEXT: for an edit control the caption the system keeps
// is only its initial text. The system copies the text across processes for these two messages.
std::optional<std::wstring> ControlTextOf(HWND Window)
{
  DWORD_PTR Length = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &Length)) {
    return std::nullopt;
  }
  Length = std::min(Length, MaxTextLength);
  std::wstring Buffer(static_cast<std::size_t>(Length) + 1, L'\0');
  DWORD_PTR Copied = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXT, static_cast<WPARAM>(Buffer.size()),
                           reinterpret_cast<LPARAM>(Buffer.data()), SMTO_ABORTIFHUNG, MessageTimeoutMs, &Copied)) {
    return std::nullopt;
  }
  Buffer.resize(static_cast<std::size_t>(std::min(Copied, Length)));
  return Buffer;
}

std::optional<GUITHREADINFO> ThreadInputOf(DWORD ThreadId)
{
  GUITHREADINFO Info{};
  Info.cbSize = sizeof(Info);
  if (!GetGUIThreadInfo(ThreadId, &Info)) {
    return std::nullopt;
  }
  return Info;
}

std::vector<HWND> TopLevelWindows()
{
  std::vector<HWND> Windows;
  EnumWindows(
    [](HWND Window, LPARAM Param) -> BOOL {
      reinterpret_cast<std::vector<HWND>*>(Param)->push_back(Window);
      return TRUE;
    },
    reinterpret_cast<LPARAM>(&Windows));
  return Windows;
}

// Every descendant, depth first in Z order, as EnumChildWindows visits them.
std::vector<HWND> ChildWindows(HWND Parent)
{
  std::vector<HWND> Windows;
  EnumChildWindows(
    Parent,
    [](HWND Window, LPARAM Param) -> BOOL {
      reinterpret_cast<std::vector<HWND>*>(Param)->push_back(Window);
      return TRUE;
    },
    reinterpret_cast<LPARAM>(&Windows));
  return Windows;
}

// The executable of each process, looked up once per process.
class ProcessImages {
public:
  const std::wstring& Of(DWORD ProcessId)
  {
    const auto Found = FCache.find(ProcessId);
    if (Found != FCache.end()) {
      return Found->second;
    }
    std::wstring Path;
    if (HANDLE Process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessId)) {
      std::wstring Buffer(32768, L'\0');
      DWORD Size = static_cast<DWORD>(Buffer.size());
      if (QueryFullProcessImageNameW(Process, 0, Buffer.data(), &Size)) {
        Buffer.resize(Size);
        Path = std::move(Buffer);
      }
      CloseHandle(Process);
    }
    return FCache.emplace(ProcessId, std::move(Path)).first->second;
  }

private:
  std::map<DWORD, std::wstring> FCache;
};

bool TitleMatches(const WindowSelector& Selector, HWND Window)
{
  const std::wstring Title = TitleOf(Window);
  if (Selector.By == WindowSelector::Kind::TitleEquals) {
    return Title == Selector.Title;
  }
  return Title.find(Selector.Title) != std::wstring::npos;
}

// The window a selector names, or nullptr. A title may fit several top-level windows; the topmost
// visible one in Z order wins, and a hidden one only when no visible one fits (and OnlyVisible is off).
HWND FindWindowFor(const WindowSelector& Selector, bool OnlyVisible)
{
  if (Selector.By == WindowSelector::Kind::Handle) {
    HWND Window = HandleFromValue(Selector.Handle);
    if (Selector.Handle == 0 || !IsWindow(Window) || (OnlyVisible && !IsWindowVisible(Window))) {
      return nullptr;
    }
    return Window;
  }
  HWND FirstHidden = nullptr;
  for (HWND Window : TopLevelWindows()) {
    if (!TitleMatches(Selector, Window)) {
      continue;
    }
    if (IsWindowVisible(Window)) {
      return Window;
    }
    if (!FirstHidden) {
      FirstHidden = Window;
    }
  }
  return OnlyVisible ? nullptr : FirstHidden;
}

void WriteRect(JsonWriter& W, const RECT& Rect)
{
  W.BeginObject();
  W.Key("left").Number(Rect.left);
  W.Key("top").Number(Rect.top);
  W.Key("right").Number(Rect.right);
  W.Key("bottom").Number(Rect.bottom);
  W.Key("width").Number(Rect.right - Rect.left);
  W.Key("height").Number(Rect.bottom - Rect.top);
  W.EndObject();
}

void WritePoint(JsonWriter& W, const POINT& Point)
{
  W.BeginObject();
  W.Key("x").Number(Point.x);
  W.Key("y").Number(Point.y);
  W.EndObject();
}

RECT WindowRectOf(HWND Window)
{
  RECT Rect{};
  GetWindowRect(Window, &Rect);
  return Rect;
}

// The client area in screen coordinates.
RECT ClientRectOnScreen(HWND Window)
{
  RECT Client{};
  GetClientRect(Window, &Client);
  POINT TopLeft{Client.left, Client.top};
  POINT BottomRight{Client.right, Client.bottom};
  ClientToScreen(Window, &TopLeft);
  ClientToScreen(Window, &BottomRight);
  return RECT{TopLeft.x, TopLeft.y, BottomRight.x, BottomRight.y};
}

void WriteWindow(JsonWriter& W, HWND Window, ProcessImages& Images)
{
  DWORD ProcessId = 0;
  const DWORD ThreadId = GetWindowThreadProcessId(Window, &ProcessId);
  const DWORD ExStyle = ExStyleOf(Window);
  W.BeginObject();
  W.Key("hwnd").Number(HandleValue(Window));
  W.Key("pid").Number(ProcessId);
  W.Key("threadId").Number(ThreadId);
  W.Key("exe").String(Images.Of(ProcessId));
  W.Key("class").String(ClassNameOf(Window));
  W.Key("title").String(TitleOf(Window));
  W.Key("style").Number(StyleOf(Window));
  W.Key("exStyle").Number(ExStyle);
  W.Key("rect");
  WriteRect(W, WindowRectOf(Window));
  W.Key("clientRect");
  WriteRect(W, ClientRectOnScreen(Window));
  W.Key("visible").Bool(IsWindowVisible(Window) != FALSE);
  W.Key("iconic").Bool(IsIconic(Window) != FALSE);
  W.Key("zoomed").Bool(IsZoomed(Window) != FALSE);
  W.Key("topmost").Bool((ExStyle & WS_EX_TOPMOST) != 0);
  W.Key("enabled").Bool(IsWindowEnabled(Window) != FALSE);
  W.Key("owner").Number(HandleValue(GetWindow(Window, GW_OWNER)));
  W.Key("foreground").Bool(GetForegroundWindow() == Window);
  W.EndObject();
}

void WriteChild(JsonWriter& W, HWND Window, HWND Focus)
{
  const std::wstring ClassName = ClassNameOf(Window);
  const DWORD Style = StyleOf(Window);
  W.BeginObject();
  W.Key("hwnd").Number(HandleValue(Window));
  W.Key("parent").Number(HandleValue(GetAncestor(Window, GA_PARENT)));
  W.Key("class").String(ClassName);
  const auto Text = ControlTextOf(Window);
  W.Key("text");
  if (Text) {
    W.String(*Text);
  } else {
    W.Null();
    W.Key("textError").String("WM_GETTEXT failed or timed out");
  }
  W.Key("id").Number(GetDlgCtrlID(Window));
  W.Key("style").Number(Style);
  W.Key("exStyle").Number(ExStyleOf(Window));
  W.Key("rect");
  WriteRect(W, WindowRectOf(Window));
  W.Key("visible").Bool(IsWindowVisible(Window) != FALSE);
  W.Key("enabled").Bool(IsWindowEnabled(Window) != FALSE);
  W.Key("focused").Bool(Window == Focus);
  if (EqualsIgnoringCase(ClassName, L"Button")) {
    W.Key("default").Bool((Style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
    DWORD_PTR Check = 0;
    W.Key("checked");
    if (SendMessageTimeoutW(Window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &Check)) {
      W.Number(Check);
    } else {
      W.Null();
    }
  } else if (EqualsIgnoringCase(ClassName, L"Edit")) {
    W.Key("password").Bool((Style & ES_PASSWORD) != 0);
  }
  W.EndObject();
}

// ---------------------------------------------------------------- commands

struct Context {
  CommandLine Line;
  std::wstring WindowArgument;
  JsonWriter Out;
  ProcessImages Images;

  // The named window; a missing one ends the command with exit code 1.
  HWND Window(bool OnlyVisible = false) const
  {
    HWND Found = FindWindowFor(*Line.Window, OnlyVisible);
    if (!Found) {
      throw NotFound("window not found", "no window matches '" + Narrow(WindowArgument) + "'");
    }
    return Found;
  }

  const std::wstring* Option(std::wstring_view Name) const
  {
    const auto Found = Line.Options.find(std::wstring(Name));
    return Found == Line.Options.end() ? nullptr : &Found->second;
  }

  std::uint64_t TimeoutMs() const
  {
    const std::wstring* Text = Option(L"timeout");
    if (!Text) {
      return DefaultWaitMs;
    }
    const auto Value = ParseUnsigned(*Text, MaxWaitMs);
    if (!Value) {
      throw UsageError("timeout must be a number of milliseconds up to 3600000");
    }
    return *Value;
  }

  // Starts the output object every command prints.
  void Begin()
  {
    Out.BeginObject();
    Out.Key("command").String(Line.Command);
  }
};

int List(Context& C)
{
  std::optional<DWORD> ProcessFilter;
  if (const std::wstring* Pid = C.Option(L"pid")) {
    const auto Value = ParseUnsigned(*Pid, 0xFFFFFFFFu);
    if (!Value) {
      throw UsageError("pid must be a decimal process id");
    }
    ProcessFilter = static_cast<DWORD>(*Value);
  }
  bool OnlyVisible = false;
  for (const std::wstring& Word : C.Line.Words) {
    if (Word != L"visible") {
      throw UsageError("list: unknown word '" + Narrow(Word) + "'");
    }
    OnlyVisible = true;
  }
  C.Begin();
  C.Out.Key("windows").BeginArray();
  for (HWND Window : TopLevelWindows()) {
    DWORD ProcessId = 0;
    GetWindowThreadProcessId(Window, &ProcessId);
    if ((ProcessFilter && ProcessId != *ProcessFilter) || (OnlyVisible && !IsWindowVisible(Window))) {
      continue;
    }
    WriteWindow(C.Out, Window, C.Images);
  }
  C.Out.EndArray();
  C.Out.EndObject();
  return ExitOk;
}

int Info(Context& C)
{
  HWND Window = C.Window();
  C.Begin();
  C.Out.Key("window");
  WriteWindow(C.Out, Window, C.Images);
  // Where keyboard input of the window's thread goes: what `key` and `type` post to.
  C.Out.Key("input");
  const auto Input = ThreadInputOf(GetWindowThreadProcessId(Window, nullptr));
  if (Input) {
    C.Out.BeginObject();
    C.Out.Key("active").Number(HandleValue(Input->hwndActive));
    C.Out.Key("focus").Number(HandleValue(Input->hwndFocus));
    C.Out.Key("capture").Number(HandleValue(Input->hwndCapture));
    C.Out.Key("menuOwner").Number(HandleValue(Input->hwndMenuOwner));
    C.Out.EndObject();
  } else {
    C.Out.Null();
  }
  C.Out.EndObject();
  return ExitOk;
}

int Children(Context& C)
{
  HWND Window = C.Window();
  const auto Input = ThreadInputOf(GetWindowThreadProcessId(Window, nullptr));
  HWND Focus = Input ? Input->hwndFocus : nullptr;
  C.Begin();
  C.Out.Key("hwnd").Number(HandleValue(Window));
  C.Out.Key("children").BeginArray();
  for (HWND Child : ChildWindows(Window)) {
    WriteChild(C.Out, Child, Focus);
  }
  C.Out.EndArray();
  C.Out.EndObject();
  return ExitOk;
}

// The MINMAXINFO the system fills in before it sends WM_GETMINMAXINFO: the maximized window covers
// the primary screen with its frame just outside, and the tracking limits are the system metrics.
MINMAXINFO DefaultMinMaxInfo(HWND Window)
{
  const DWORD Style = StyleOf(Window);
  DWORD FrameStyle = Style;
  if ((Style & WS_CAPTION) == WS_CAPTION) {
    FrameStyle &= ~static_cast<DWORD>(WS_BORDER);
  }
  RECT Frame{0, 0, 0, 0};
  const bool HasMenu = (Style & WS_CHILD) == 0 && GetMenu(Window) != nullptr;
  AdjustWindowRectEx(&Frame, FrameStyle, HasMenu, ExStyleOf(Window));
  const LONG XFrame = -Frame.left;
  const LONG YFrame = -Frame.top;
  MINMAXINFO Info{};
  Info.ptMaxSize = {GetSystemMetrics(SM_CXSCREEN) + 2 * XFrame, GetSystemMetrics(SM_CYSCREEN) + 2 * YFrame};
  Info.ptMaxPosition = {-XFrame, -YFrame};
  Info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  Info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
  return Info;
}

void WriteMinMaxInfo(JsonWriter& W, const MINMAXINFO& Info)
{
  W.BeginObject();
  W.Key("maxSize");
  WritePoint(W, Info.ptMaxSize);
  W.Key("maxPosition");
  WritePoint(W, Info.ptMaxPosition);
  W.Key("minTrackSize");
  WritePoint(W, Info.ptMinTrackSize);
  W.Key("maxTrackSize");
  WritePoint(W, Info.ptMaxTrackSize);
  W.EndObject();
}

bool SamePoint(const POINT& A, const POINT& B) { return A.x == B.x && A.y == B.y; }

// Asks the window's own answer: the system copies a MINMAXINFO both ways when WM_GETMINMAXINFO
// crosses a process boundary, so the app's handler fills in our structure.
void MinMaxByMessage(JsonWriter& W, HWND Window)
{
  const MINMAXINFO Sent = DefaultMinMaxInfo(Window);
  MINMAXINFO Returned = Sent;
  DWORD_PTR Result = 0;
  const bool Delivered = SendMessageTimeoutW(Window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&Returned),
                                             SMTO_ABORTIFHUNG, MessageTimeoutMs, &Result) != 0;
  W.BeginObject();
  W.Key("delivered").Bool(Delivered);
  W.Key("sent");
  WriteMinMaxInfo(W, Sent);
  W.Key("returned");
  if (Delivered) {
    WriteMinMaxInfo(W, Returned);
  } else {
    W.Null();
  }
  const bool Changed = Delivered && !(SamePoint(Sent.ptMaxSize, Returned.ptMaxSize) &&
                                      SamePoint(Sent.ptMaxPosition, Returned.ptMaxPosition) &&
                                      SamePoint(Sent.ptMinTrackSize, Returned.ptMinTrackSize) &&
                                      SamePoint(Sent.ptMaxTrackSize, Returned.ptMaxTrackSize));
  W.Key("changed").Bool(Changed);
  W.EndObject();
}

// Observes the limits the way a user meets them: asks for a 1x1 and a 32000x32000 window (the
// largest size X11 accepts) and reads back what the window got, then puts the old rect back.
// The app sees the resizes (WM_SIZE and the like). DefWindowProc applies the limits only to windows
// with a sizing frame or without WS_POPUP and WS_CHILD; other windows (a message box, say) simply
// take the requested sizes, which systemClamps tells.
void MinMaxByProbe(JsonWriter& W, HWND Window)
{
  const DWORD Style = StyleOf(Window);
  W.BeginObject();
  W.Key("systemClamps").Bool((Style & WS_THICKFRAME) != 0 || (Style & (WS_POPUP | WS_CHILD)) == 0);
  if (IsIconic(Window) || IsZoomed(Window)) {
    W.Key("skipped").String("the window is minimized or maximized; restore it first");
    W.EndObject();
    return;
  }
  constexpr UINT SizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE;
  constexpr int Small = 1;
  constexpr int Large = 32000;
  const RECT Original = WindowRectOf(Window);
  const bool SmallDone = SetWindowPos(Window, nullptr, 0, 0, Small, Small, SizeOnly) != FALSE;
  const RECT Smallest = WindowRectOf(Window);
  const bool LargeDone = SetWindowPos(Window, nullptr, 0, 0, Large, Large, SizeOnly) != FALSE;
  const RECT Largest = WindowRectOf(Window);
  const bool RestoreDone =
    SetWindowPos(Window, nullptr, Original.left, Original.top, Original.right - Original.left,
                 Original.bottom - Original.top, SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE) != FALSE;
  const RECT Restored = WindowRectOf(Window);
  W.Key("requestedSmall").Number(Small);
  W.Key("smallest");
  WriteRect(W, Smallest);
  W.Key("requestedLarge").Number(Large);
  W.Key("largest");
  WriteRect(W, Largest);
  W.Key("original");
  WriteRect(W, Original);
  W.Key("restored");
  WriteRect(W, Restored);
  W.Key("setWindowPosOk").Bool(SmallDone && LargeDone && RestoreDone);
  W.Key("restoredExactly").Bool(EqualRect(&Original, &Restored) != FALSE);
  W.EndObject();
}

int MinMax(Context& C)
{
  const std::wstring* Method = C.Option(L"method");
  const std::wstring Chosen = Method ? *Method : L"both";
  if (Chosen != L"message" && Chosen != L"probe" && Chosen != L"both") {
    throw UsageError("minmax: method must be message, probe or both");
  }
  HWND Window = C.Window();
  C.Begin();
  C.Out.Key("hwnd").Number(HandleValue(Window));
  if (Chosen != L"probe") {
    C.Out.Key("message");
    MinMaxByMessage(C.Out, Window);
  }
  if (Chosen != L"message") {
    C.Out.Key("probe");
    MinMaxByProbe(C.Out, Window);
  }
  C.Out.EndObject();
  return ExitOk;
}

int Press(Context& C)
{
  const std::wstring* Wanted = C.Option(L"button");
  if (!Wanted) {
    throw UsageError("press: button=TEXT is required");
  }
  const std::wstring WantedText = StripMnemonic(*Wanted);
  HWND Window = C.Window();
  HWND Usable = nullptr;
  HWND Unusable = nullptr;
  std::wstring UsableText;
  for (HWND Child : ChildWindows(Window)) {
    if (!EqualsIgnoringCase(ClassNameOf(Child), L"Button")) {
      continue;
    }
    const auto Text = ControlTextOf(Child);
    if (!Text || StripMnemonic(*Text) != WantedText) {
      continue;
    }
    // A user cannot click a hidden or disabled button, so neither does the inspector.
    if (IsWindowVisible(Child) && IsWindowEnabled(Child)) {
      Usable = Child;
      UsableText = *Text;
      break;
    }
    if (!Unusable) {
      Unusable = Child;
    }
  }
  if (!Usable) {
    if (Unusable) {
      throw NotFound("button not usable", "the button '" + Narrow(*Wanted) + "' is hidden or disabled");
    }
    throw NotFound("button not found", "no button '" + Narrow(*Wanted) + "' in the window");
  }
  // Posted, not sent: the click may open a modal dialog, and SendMessage would wait until it closes.
  const bool Posted = PostMessageW(Usable, BM_CLICK, 0, 0) != FALSE;
  C.Begin();
  C.Out.Key("hwnd").Number(HandleValue(Window));
  C.Out.Key("button").BeginObject();
  C.Out.Key("hwnd").Number(HandleValue(Usable));
  C.Out.Key("text").String(UsableText);
  C.Out.Key("id").Number(GetDlgCtrlID(Usable));
  C.Out.Key("default").Bool((StyleOf(Usable) & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
  C.Out.EndObject();
  C.Out.Key("message").String("BM_CLICK");
  C.Out.Key("posted").Bool(Posted);
  C.Out.EndObject();
  return ExitOk;
}

int PostToWindow(Context& C, UINT Message, WPARAM WParam, const char* Name)
{
  HWND Window = C.Window();
  const bool Posted = PostMessageW(Window, Message, WParam, 0) != FALSE;
  C.Begin();
  C.Out.Key("hwnd").Number(HandleValue(Window));
  C.Out.Key("message").String(Name);
  C.Out.Key("posted").Bool(Posted);
  C.Out.EndObject();
  return ExitOk;
}

int Close(Context& C) { return PostToWindow(C, WM_CLOSE, 0, "WM_CLOSE"); }

int SysClose(Context& C) { return PostToWindow(C, WM_SYSCOMMAND, SC_CLOSE, "WM_SYSCOMMAND SC_CLOSE"); }

// Where a keyboard would send a key now: the focus of the window's thread, else the window.
struct KeyTarget {
  HWND Window;
  bool IsFocus;
};

KeyTarget KeyTargetOf(HWND Window)
{
  const auto Input = ThreadInputOf(GetWindowThreadProcessId(Window, nullptr));
  if (Input && Input->hwndFocus) {
    return {Input->hwndFocus, true};
  }
  return {Window, false};
}

void WriteKeyTarget(JsonWriter& W, HWND Window, const KeyTarget& Target)
{
  W.Key("hwnd").Number(HandleValue(Window));
  W.Key("target").Number(HandleValue(Target.Window));
  W.Key("targetClass").String(ClassNameOf(Target.Window));
  W.Key("targetIsFocus").Bool(Target.IsFocus);
  W.Key("targetInWindow").Bool(Target.Window == Window || IsChild(Window, Target.Window));
}

bool IsExtendedKey(unsigned VirtualKey)
{
  switch (VirtualKey) {
  case VK_INSERT:
  case VK_DELETE:
  case VK_HOME:
  case VK_END:
  case VK_PRIOR:
  case VK_NEXT:
  case VK_LEFT:
  case VK_UP:
  case VK_RIGHT:
  case VK_DOWN:
  case VK_RCONTROL:
  case VK_RMENU:
  case VK_LWIN:
  case VK_RWIN:
  case VK_APPS:
  case VK_DIVIDE:
  case VK_NUMLOCK: return true;
  default: return false;
  }
}

// The lParam of a key message: repeat count 1, scan code, extended flag; a release also carries
// the previous-state and transition bits.
LPARAM KeyLParam(unsigned VirtualKey, bool Release)
{
  const std::uint32_t ScanCode = MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC) & 0xFF;
  std::uint32_t Bits = 1 | (ScanCode << 16);
  if (IsExtendedKey(VirtualKey)) {
    Bits |= 1u << 24;
  }
  if (Release) {
    Bits |= (1u << 30) | (1u << 31);
  }
  return static_cast<LPARAM>(Bits);
}

int Key(Context& C)
{
  const auto VirtualKey = ParseVirtualKey(C.Line.Words[0]);
  if (!VirtualKey) {
    throw UsageError("key: '" + Narrow(C.Line.Words[0]) +
                     "' is not a virtual-key code (1-254, 0xNN, a letter or a name such as RETURN)");
  }
  const std::wstring Mode = C.Line.Words.size() > 1 ? C.Line.Words[1] : L"both";
  if (Mode != L"down" && Mode != L"up" && Mode != L"both") {
    throw UsageError("key: the last word must be down, up or both");
  }
  HWND Window = C.Window();
  const KeyTarget Target = KeyTargetOf(Window);
  std::vector<const char*> Sent;
  bool Posted = true;
  if (Mode != L"up") {
    Posted = PostMessageW(Target.Window, WM_KEYDOWN, *VirtualKey, KeyLParam(*VirtualKey, false)) && Posted;
    Sent.push_back("WM_KEYDOWN");
  }
  if (Mode != L"down") {
    Posted = PostMessageW(Target.Window, WM_KEYUP, *VirtualKey, KeyLParam(*VirtualKey, true)) && Posted;
    Sent.push_back("WM_KEYUP");
  }
  C.Begin();
  WriteKeyTarget(C.Out, Window, Target);
  C.Out.Key("vk").Number(*VirtualKey);
  C.Out.Key("messages").BeginArray();
  for (const char* Name : Sent) {
    C.Out.String(Name);
  }
  C.Out.EndArray();
  C.Out.Key("posted").Bool(Posted);
  C.Out.EndObject();
  return ExitOk;
}

// Types text the way the target's message loop would see it after TranslateMessage: one WM_CHAR per
// UTF-16 unit, each followed by the WM_KEYUP of its key (when the keyboard layout has one), so
// handlers that act on key release see every character. No WM_KEYDOWN: TranslateMessage in the
// target's loop would turn it into a second WM_CHAR.
int Type(Context& C)
{
  const std::wstring* Text = C.Option(L"text");
  if (!Text) {
    throw UsageError("type: text=TEXT is required");
  }
  HWND Window = C.Window();
  const KeyTarget Target = KeyTargetOf(Window);
  bool Posted = true;
  std::size_t KeyUps = 0;
  for (const wchar_t Unit : *Text) {
    const SHORT KeyAndShift = VkKeyScanW(Unit);
    const unsigned VirtualKey = KeyAndShift == -1 ? 0u : static_cast<unsigned>(KeyAndShift & 0xFF);
    const LPARAM CharLParam = VirtualKey ? KeyLParam(VirtualKey, false) : 1;
    Posted = PostMessageW(Target.Window, WM_CHAR, Unit, CharLParam) && Posted;
    if (VirtualKey) {
      Posted = PostMessageW(Target.Window, WM_KEYUP, VirtualKey, KeyLParam(VirtualKey, true)) && Posted;
      ++KeyUps;
    }
  }
  C.Begin();
  WriteKeyTarget(C.Out, Window, Target);
  C.Out.Key("characters").Number(Text->size());
  C.Out.Key("keyUps").Number(KeyUps);
  C.Out.Key("posted").Bool(Posted);
  C.Out.EndObject();
  return ExitOk;
}

int Wait(Context& C)
{
  const std::uint64_t Timeout = C.TimeoutMs();
  const ULONGLONG Start = GetTickCount64();
  for (;;) {
    const ULONGLONG Elapsed = GetTickCount64() - Start;
    if (HWND Window = FindWindowFor(*C.Line.Window, true)) {
      C.Begin();
      C.Out.Key("waitedMs").Number(Elapsed);
      C.Out.Key("window");
      WriteWindow(C.Out, Window, C.Images);
      C.Out.EndObject();
      return ExitOk;
    }
    if (Elapsed >= Timeout) {
      throw NotFound("timeout", "no visible window matched '" + Narrow(C.WindowArgument) + "' within " +
                                  std::to_string(Timeout) + " ms");
    }
    Sleep(PollIntervalMs);
  }
}

int WaitGone(Context& C)
{
  const std::uint64_t Timeout = C.TimeoutMs();
  const ULONGLONG Start = GetTickCount64();
  for (;;) {
    const ULONGLONG Elapsed = GetTickCount64() - Start;
    if (!FindWindowFor(*C.Line.Window, true)) {
      C.Begin();
      C.Out.Key("waitedMs").Number(Elapsed);
      C.Out.Key("gone").Bool(true);
      C.Out.EndObject();
      return ExitOk;
    }
    if (Elapsed >= Timeout) {
      throw NotFound("timeout", "a window matching '" + Narrow(C.WindowArgument) + "' was still visible after " +
                                  std::to_string(Timeout) + " ms");
    }
    Sleep(PollIntervalMs);
  }
}

int Foreground(Context& C)
{
  HWND Window = C.Window();
  const bool Done = SetForegroundWindow(Window) != FALSE;
  C.Begin();
  C.Out.Key("hwnd").Number(HandleValue(Window));
  C.Out.Key("ok").Bool(Done);
  C.Out.Key("foreground").Number(HandleValue(GetForegroundWindow()));
  C.Out.EndObject();
  return ExitOk;
}

int Help(Context& C)
{
  std::fputs(UsageText, stderr);
  C.Begin();
  C.Out.Key("usage").String(UsageText);
  C.Out.EndObject();
  return ExitOk;
}

struct CommandEntry {
  CommandShape Shape;
  int (*Run)(Context&);
};

const std::vector<CommandEntry>& Commands()
{
  static const std::vector<CommandEntry> Table{
    {{L"list", false, 0, 1, {L"pid"}}, List},
    {{L"info", true, 0, 0, {}}, Info},
    {{L"children", true, 0, 0, {}}, Children},
    {{L"minmax", true, 0, 0, {L"method"}}, MinMax},
    {{L"press", true, 0, 0, {L"button"}}, Press},
    {{L"close", true, 0, 0, {}}, Close},
    {{L"sysclose", true, 0, 0, {}}, SysClose},
    {{L"key", true, 1, 2, {}}, Key},
    {{L"type", true, 0, 0, {L"text"}}, Type},
    {{L"wait", true, 0, 0, {L"timeout"}}, Wait},
    {{L"wait-gone", true, 0, 0, {L"timeout"}}, WaitGone},
    {{L"foreground", true, 0, 0, {}}, Foreground},
    {{L"help", false, 0, 0, {}}, Help},
  };
  return Table;
}

void WriteStdout(const std::string& Text)
{
  // Binary mode: the document goes out byte for byte, without "\r\n" for "\n".
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(Text.data(), 1, Text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Fail(const std::wstring& Command, const char* Kind, const std::string& Message, int ExitCode)
{
  JsonWriter W;
  W.BeginObject();
  W.Key("command").String(Command);
  W.Key("error").String(Kind);
  W.Key("message").String(Message);
  W.EndObject();
  WriteStdout(W.Text());
  return ExitCode;
}

int Run(const std::vector<std::wstring>& Args)
{
  std::vector<CommandShape> Shapes;
  for (const CommandEntry& Entry : Commands()) {
    Shapes.push_back(Entry.Shape);
  }
  const std::wstring CommandName = Args.empty() ? std::wstring() : Args[0];
  std::string Error;
  auto Line = ParseCommandLine(Args, Shapes, Error);
  if (!Line) {
    std::fprintf(stderr, "velmora-inspect: %s\n%s", Error.c_str(), UsageText);
    return Fail(CommandName, "usage", Error, ExitUsage);
  }
  const auto Entry = std::find_if(Commands().begin(), Commands().end(),
                                  [&](const CommandEntry& Candidate) { return Candidate.Shape.Name == Line->Command; });
  Context C{std::move(*Line), Entry->Shape.TakesWindow ? Args[1] : std::wstring(), {}, {}};
  try {
    const int ExitCode = Entry->Run(C);
    WriteStdout(C.Out.Text());
    return ExitCode;
  } catch (const UsageError& Failure) {
    std::fprintf(stderr, "velmora-inspect: %s\n%s", Failure.what(), UsageText);
    return Fail(CommandName, "usage", Failure.what(), ExitUsage);
  } catch (const NotFound& Failure) {
    return Fail(CommandName, Failure.Kind(), Failure.what(), ExitNotFound);
  } catch (const std::exception& Failure) {
    return Fail(CommandName, "failed", Failure.what(), ExitNotFound);
  }
}

} // namespace

} // namespace velmora::inspect

int wmain(int argc, wchar_t** argv)
{
  // Physical pixels, as the app's own (DPI-aware) window layer sees them.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  std::vector<std::wstring> Args;
  for (int I = 1; I < argc; ++I) {
    Args.emplace_back(argv[I]);
  }
  try {
    return velmora::inspect::Run(Args);
  } catch (const std::exception& Failure) {
    std::fprintf(stderr, "velmora-inspect: %s\n", Failure.what());
    return 1;
  }
}
