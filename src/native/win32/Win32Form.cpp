// TWin32Form: top-level windows with the six border styles, the three states, stay-on-top order,
// placement, size limits, the close query and modal results.
#include "Win32Form.h"

#include "Win32Support.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

constexpr wchar_t kFormClass[] = L"VelmoraForm";
constexpr wchar_t kClientAreaClass[] = L"VelmoraClientArea";
// The busy window's class: a drop shadow and the application-starting cursor.
constexpr wchar_t kBusyClass[] = L"VelmoraBusy";
// Style bits a border change keeps: the window's visibility and state.
constexpr DWORD kStateBits = WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE | WS_DISABLED;

// The primary monitor's whole area and work area.
MONITORINFO PrimaryMonitor()
{
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return info;
}

// The monitor a window is on.
MONITORINFO MonitorOf(HWND Window)
{
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &info);
  return info;
}

} // namespace

bool RegisterFormClasses()
{
  static const bool registered = [] {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    form.lpfnWndProc = &TWin32Form::DefaultProc;
    form.hInstance = ModuleInstance();
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    form.lpszClassName = kFormClass;
    form.hIcon = LoadIconW(ModuleInstance(), L"MAINICON");
    if (form.hIcon == nullptr)
      form.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    WNDCLASSEXW client{};
    client.cbSize = sizeof client;
    client.lpfnWndProc = &TWin32Form::DefaultProc;
    client.hInstance = ModuleInstance();
    client.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    client.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    client.lpszClassName = kClientAreaClass;
    WNDCLASSEXW busy = form;
    busy.style |= CS_DROPSHADOW;
    busy.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
    busy.lpszClassName = kBusyClass;
    return RegisterClassExW(&form) != 0 && RegisterClassExW(&client) != 0 && RegisterClassExW(&busy) != 0;
  }();
  return registered;
}

TWin32Form* TWin32Form::FromHandle(HWND Window)
{
  wchar_t name[32] = {};
  if (Window == nullptr || GetClassNameW(Window, name, 32) == 0 || std::wstring_view(name) != kFormClass)
    return nullptr;
  return reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

TWin32Form& Win32FormOf(TNativeForm& Form)
{
  auto* form = dynamic_cast<TWin32Form*>(&Form);
  if (form == nullptr)
    throw std::invalid_argument("the form was not created by the Win32 native layer");
  return *form;
}

TWin32Form::TWin32Form(TFormKind Kind)
  : FKind(Kind), FBorderStyle(Kind == TFormKind::Main ? TBorderStyle::bsSizeable : TBorderStyle::bsDialog),
    FPosition(Kind == TFormKind::Main ? TPosition::poDefaultPosOnly : TPosition::poScreenCenter)
{
  if (!RegisterFormClasses())
    throw std::runtime_error("the window classes could not be registered");
  if (FKind == TFormKind::Busy)
    FBorderStyle = TBorderStyle::bsNone;
  // CW_USEDEFAULT places the window where the system puts a new one, which poDefaultPosOnly keeps.
  FWindow = CreateWindowExW(ExStyleOf(FBorderStyle), FKind == TFormKind::Busy ? kBusyClass : kFormClass, L"",
                            StyleOf(FBorderStyle), CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr,
                            ModuleInstance(), nullptr);
  if (FWindow == nullptr)
    throw std::runtime_error("the window could not be created");
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  if (FKind == TFormKind::Main) {
    FClientArea = CreateWindowExW(0, kClientAreaClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                  FWindow, nullptr, ModuleInstance(), nullptr);
    SetWindowLongPtrW(FClientArea, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(FClientArea, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ClientAreaProc));
  } else {
    SendMessageW(FWindow, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  }
  RECT client{};
  GetClientRect(FWindow, &client);
  FWidth = client.right;
  FHeight = client.bottom;
  // A window made while a theme is applied wears it from the start.
  if (Win32ActivePalette())
    ThemeChanged();
}

TWin32Form::~TWin32Form()
{
  *FAlive = false;
  FMenuBar.reset();
  for (HBRUSH brush : {FThemeBrush, FEditBrush})
    if (brush != nullptr)
      DeleteObject(brush);
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
  if (FClientArea != nullptr)
    SetWindowLongPtrW(FClientArea, GWLP_USERDATA, 0);
  DestroyWindow(FWindow);
}

LRESULT CALLBACK TWin32Form::DefaultProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
  return DefWindowProcW(Window, Message, WParam, LParam);
}

DWORD TWin32Form::StyleOf(TBorderStyle Style) const
{
  constexpr DWORD common = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  // The busy window is a plain pop-up, whatever border it is given.
  if (FKind == TFormKind::Busy)
    return common | WS_POPUP;
  switch (Style) {
  case TBorderStyle::bsNone: return common | WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
  case TBorderStyle::bsSingle:
    return common | WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  case TBorderStyle::bsSizeable: return common | WS_OVERLAPPEDWINDOW;
  case TBorderStyle::bsDialog: return common | WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
  case TBorderStyle::bsToolWindow: return common | WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  case TBorderStyle::bsSizeToolWin: return common | WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  }
  return common | WS_OVERLAPPEDWINDOW;
}

DWORD TWin32Form::ExStyleOf(TBorderStyle Style) const
{
  // The main form keeps its taskbar button whatever its border; the busy window has none.
  if (FKind == TFormKind::Busy)
    return WS_EX_TOOLWINDOW;
  DWORD exStyle = FKind == TFormKind::Main ? WS_EX_APPWINDOW : 0;
  switch (Style) {
  case TBorderStyle::bsDialog: exStyle |= WS_EX_DLGMODALFRAME; break;
  case TBorderStyle::bsToolWindow:
  case TBorderStyle::bsSizeToolWin: exStyle |= WS_EX_TOOLWINDOW; break;
  default: break;
  }
  if (FFormStyle == TFormStyle::fsStayOnTop)
    exStyle |= WS_EX_TOPMOST;
  return exStyle;
}

SIZE TWin32Form::WindowSizeFor(int ClientWidth, int ClientHeight) const
{
  // Sizes are given at 96 dots per inch and grow with the monitor's scale, as the GTK layer's do.
  RECT rect{0, 0, ScaleForWindow(FWindow, ClientWidth), ScaleForWindow(FWindow, ClientHeight)};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE)));
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void TWin32Form::SetCaption(const std::string& Caption)
{
  FCaption = Caption;
  SetWindowTextW(FWindow, Utf8ToWide(Caption).c_str());
}

std::string TWin32Form::Caption() const { return FCaption; }

void TWin32Form::SetBorderStyle(TBorderStyle Style)
{
  FBorderStyle = Style;
  ApplyBorderStyle();
}

TBorderStyle TWin32Form::BorderStyle() const { return FBorderStyle; }

void TWin32Form::ApplyBorderStyle()
{
  // Applied to the live window: the state bits stay, the frame is redrawn, and the client size of
  // the normal state stays what it was, whether the window is normal now or will be again later.
  const auto oldStyle = static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE));
  const DWORD exStyle = ExStyleOf(FBorderStyle) | (static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE)) &
                                                   static_cast<DWORD>(WS_EX_TOPMOST));
  FApplyingStyle = true;
  SetWindowLongPtrW(FWindow, GWL_STYLE, static_cast<LONG_PTR>(StyleOf(FBorderStyle) | (oldStyle & kStateBits)));
  SetWindowLongPtrW(FWindow, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
  const SIZE normal = WindowSizeFor(FWidth, FHeight);
  if (IsZoomed(FWindow) || IsIconic(FWindow)) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(FWindow, &placement);
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + normal.cx;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + normal.cy;
    placement.showCmd = IsZoomed(FWindow) ? SW_SHOWMAXIMIZED : SW_SHOWMINNOACTIVE;
    if (!IsWindowVisible(FWindow))
      placement.showCmd = SW_HIDE;
    SetWindowPlacement(FWindow, &placement);
    if (IsZoomed(FWindow)) {
      // The maximized rectangle depends on the frame: a window without one covers the monitor.
      const MONITORINFO monitor = MonitorOf(FWindow);
      RECT rect = monitor.rcWork;
      if (FBorderStyle == TBorderStyle::bsNone)
        rect = monitor.rcMonitor;
      else
        AdjustWindowRectEx(&rect, StyleOf(FBorderStyle), FALSE, exStyle);
      SetWindowPos(FWindow, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      SetWindowPos(FWindow, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  } else {
    SetWindowPos(FWindow, nullptr, 0, 0, normal.cx, normal.cy,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  FApplyingStyle = false;
}

void TWin32Form::SetWindowState(TWindowState State)
{
  if (!FShownOnce) {
    FWindowState = State;
    return;
  }
  switch (State) {
  case TWindowState::wsNormal: ShowWindow(FWindow, SW_SHOWNORMAL); break;
  case TWindowState::wsMinimized: ShowWindow(FWindow, SW_MINIMIZE); break;
  case TWindowState::wsMaximized: ShowWindow(FWindow, SW_MAXIMIZE); break;
  }
}

TWindowState TWin32Form::WindowState() const
{
  if (!FShownOnce)
    return FWindowState;
  if (IsIconic(FWindow))
    return TWindowState::wsMinimized;
  if (IsZoomed(FWindow))
    return TWindowState::wsMaximized;
  return TWindowState::wsNormal;
}

void TWin32Form::SetFormStyle(TFormStyle Style)
{
  FFormStyle = Style;
  SetWindowPos(FWindow, Style == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TFormStyle TWin32Form::FormStyle() const { return FFormStyle; }

TFormBounds TWin32Form::Bounds() const
{
  RECT window{};
  RECT client{};
  if (!FShownOnce || !GetWindowRect(FWindow, &window) || !GetClientRect(FWindow, &client))
    return {FLeft, FTop, FWidth, FHeight};
  return {window.left, window.top, client.right - client.left, client.bottom - client.top};
}

void TWin32Form::SetBounds(int Left, int Top, int Width, int Height)
{
  FLeft = Left;
  FTop = Top;
  FHasPosition = true;
  if (Width > 0 && Height > 0) {
    FWidth = Width;
    FHeight = Height;
  }
  const SIZE size = WindowSizeFor(FWidth, FHeight);
  if (FShownOnce && (IsZoomed(FWindow) || IsIconic(FWindow))) {
    // A maximized or minimized window keeps its state; the bounds are those it comes back to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(FWindow, &placement);
    placement.rcNormalPosition = RECT{Left, Top, Left + size.cx, Top + size.cy};
    placement.showCmd = IsZoomed(FWindow) ? SW_SHOWMAXIMIZED : SW_SHOWMINNOACTIVE;
    SetWindowPlacement(FWindow, &placement);
    return;
  }
  // Before the first show the position is left to the placement rule.
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!FShownOnce)
    flags |= SWP_NOMOVE;
  SetWindowPos(FWindow, nullptr, Left, Top, size.cx, size.cy, flags);
}

void TWin32Form::SetConstraints(const TSizeConstraints& Constraints) { FConstraints = Constraints; }

void TWin32Form::SetPosition(TPosition Position) { FPosition = Position; }

void TWin32Form::ApplyInitialPosition()
{
  RECT rect{};
  GetWindowRect(FWindow, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  switch (FPosition) {
  case TPosition::poDesigned:
    if (FHasPosition)
      SetWindowPos(FWindow, nullptr, FLeft, FTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    break;
  case TPosition::poDesktopCenter:
  case TPosition::poScreenCenter: {
    // The whole window, frame included, centred on its visible owner, else on the primary
    // monitor's work area.
    RECT work = PrimaryMonitor().rcWork;
    if (const HWND owner = GetWindow(FWindow, GW_OWNER); owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner))
      GetWindowRect(owner, &work);
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    SetWindowPos(FWindow, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    break;
  }
  case TPosition::poDefaultPosOnly: break; // where CreateWindowEx put it
  }
}

void TWin32Form::Show()
{
  if (!FShownOnce) {
    ApplyInitialPosition();
    FShownOnce = true;
    Relayout();
    switch (FWindowState) {
    case TWindowState::wsNormal: ShowWindow(FWindow, SW_SHOWNORMAL); break;
    case TWindowState::wsMinimized: ShowWindow(FWindow, SW_SHOWMINIMIZED); break;
    case TWindowState::wsMaximized: ShowWindow(FWindow, SW_SHOWMAXIMIZED); break;
    }
    UpdateWindow(FWindow);
    return;
  }
  if (!IsWindowVisible(FWindow))
    ShowWindow(FWindow, SW_SHOW);
  if (!IsIconic(FWindow))
    SetForegroundWindow(FWindow);
}

TModalResult TWin32Form::ShowModal()
{
  if (FModal)
    return mrCancel;
  const std::shared_ptr<bool> alive = FAlive;
  FModalResult = mrNone;
  FModal = true;
  // The focus of the form that was active comes back when it is active again.
  if (TWin32Form* active = FromHandle(GetActiveWindow()); active != nullptr && active != this) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(active->FWindow, focus))
      active->FLastFocus = focus;
  }
  // Every other window of this thread waits while the form is up.
  std::vector<HWND> disabled;
  EnumThreadWindows(
    GetCurrentThreadId(),
    [](HWND Window, LPARAM Data) -> BOOL {
      auto* list = reinterpret_cast<std::vector<HWND>*>(Data);
      if (IsWindowVisible(Window) && IsWindowEnabled(Window))
        list->push_back(Window);
      return TRUE;
    },
    reinterpret_cast<LPARAM>(&disabled));
  std::erase(disabled, FWindow);
  for (HWND window : disabled)
    EnableWindow(window, FALSE);
  FDisabledByModal = std::move(disabled);
  Show();
  SetForegroundWindow(FWindow);
  RunUntilClosed();
  // Normally enabled again by the close, before the form hides; here when the loop ended otherwise.
  if (*alive)
    EnableDisabledByModal();
  if (!*alive)
    return mrCancel;
  FModal = false;
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TWin32Form::SetModalResult(TModalResult Result)
{
  FModalResult = Result;
  // Inside OnCloseQuery or OnClose the close under way decides; the result is only recorded.
  if (FModal && Result != mrNone && !FClosing)
    RequestClose();
}

TModalResult TWin32Form::ModalResult() const { return FModalResult; }

void TWin32Form::SetMainMenu(TMainMenu* Menu)
{
  FMenu = Menu;
  if (FKind != TFormKind::Main)
    return;
  if (FMenuBar == nullptr)
    FMenuBar = std::make_unique<TWin32MenuBar>(FWindow);
  FMenuBar->SetMenu(Menu);
}

void TWin32Form::MenuChanged()
{
  if (FMenuBar != nullptr)
    FMenuBar->Rebuild();
}

void TWin32Form::ThemeChanged()
{
  for (HBRUSH* brush : {&FThemeBrush, &FEditBrush}) {
    if (*brush != nullptr)
      DeleteObject(*brush);
    *brush = nullptr;
  }
  if (const auto& palette = Win32ActivePalette()) {
    FThemeBrush = CreateSolidBrush(RGB(palette->Window >> 16, (palette->Window >> 8) & 0xFFU, palette->Window & 0xFFU));
    FEditBrush = CreateSolidBrush(RGB(palette->Edit >> 16, (palette->Edit >> 8) & 0xFFU, palette->Edit & 0xFFU));
  }
  Win32ApplyTitleBar(FWindow);
  if (FMenuBar != nullptr)
    FMenuBar->ThemeChanged();
  RedrawWindow(FWindow, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TWin32Form::Close() { RequestClose(); }

bool TWin32Form::Visible() const { return IsWindowVisible(FWindow) != FALSE; }

void TWin32Form::SetColor(uint32_t Rgb)
{
  FColor = Rgb & 0xFFFFFFU;
  InvalidateRect(FWindow, nullptr, TRUE);
}

void TWin32Form::SetFocus()
{
  if (IsIconic(FWindow))
    ShowWindow(FWindow, SW_RESTORE);
  SetForegroundWindow(FWindow);
  ::SetFocus(FWindow);
}

void TWin32Form::SetBottomControl(HWND Control, int Height)
{
  FBottomControl = Control;
  FBottomHeight = Height;
  Relayout();
}

void TWin32Form::Relayout()
{
  if (FClientArea == nullptr)
    return;
  RECT client{};
  GetClientRect(FWindow, &client);
  int bottom = 0;
  if (FBottomControl != nullptr && IsWindow(FBottomControl) &&
      (GetWindowLongPtrW(FBottomControl, GWL_STYLE) & WS_VISIBLE) != 0)
    bottom = ScaleForWindow(FWindow, FBottomHeight);
  const int clientHeight = std::max<int>(0, client.bottom - bottom);
  SetWindowPos(FClientArea, nullptr, 0, 0, client.right, clientHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  if (bottom > 0)
    SetWindowPos(FBottomControl, nullptr, 0, clientHeight, client.right, bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Form::EnableDisabledByModal()
{
  for (HWND window : std::exchange(FDisabledByModal, {}))
    if (IsWindow(window))
      EnableWindow(window, TRUE);
}

void TWin32Form::RequestClose()
{
  // A close requested from inside OnCloseQuery or OnClose joins the one under way.
  if (FClosing)
    return;
  FClosing = true;
  const std::shared_ptr<bool> alive = FAlive;
  bool canClose = true;
  // The handlers run from copies, so that one that frees the form does not free itself.
  if (const std::function<void(bool&)> closeQuery = OnCloseQuery)
    Win32Guarded("OnCloseQuery", [&] { closeQuery(canClose); });
  if (!*alive)
    return;
  if (!canClose) {
    FClosing = false;
    return;
  }
  if (FModal && FModalResult == mrNone)
    FModalResult = mrCancel;
  // The windows a modal form disabled take it back first, so the system activates them, not some
  // other application, when this one hides.
  EnableDisabledByModal();
  ShowWindow(FWindow, SW_HIDE);
  if (const std::function<void()> onClose = OnClose)
    Win32Guarded("OnClose", onClose);
  if (!*alive)
    return;
  FClosing = false;
  ++FCloseCount;
  // Wakes a loop waiting in GetMessage, so it sees the close.
  PostMessageW(FWindow, WM_NULL, 0, 0);
}

bool TWin32Form::HandleLoopMessage(MSG& Message)
{
  // Keys meant for this form or its children go to the form first while it runs its own loop.
  if (!OnDialogKey || (Message.hwnd != FWindow && !IsChild(FWindow, Message.hwnd)))
    return false;
  if (Message.message == WM_KEYDOWN) {
    bool handled = false;
    const std::function<bool(UINT)> onKey = OnDialogKey;
    Win32Guarded("OnDialogKey", [&] { handled = onKey(static_cast<UINT>(Message.wParam)); });
    if (handled)
      return true;
  }
  // Tab, the arrow keys and access keys ("&Yes") as in a dialog box.
  const bool keyboard = Message.message == WM_KEYDOWN || Message.message == WM_SYSKEYDOWN ||
                        Message.message == WM_CHAR || Message.message == WM_SYSCHAR;
  return keyboard && IsDialogMessageW(FWindow, &Message);
}

void TWin32Form::RunUntilClosed()
{
  const std::shared_ptr<bool> alive = FAlive;
  const unsigned closes = FCloseCount;
  MSG message;
  while (*alive && FCloseCount == closes) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // A quit request belongs to the outer loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (got < 0)
      return;
    if (*alive && HandleLoopMessage(message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

LRESULT CALLBACK TWin32Form::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (form == nullptr)
    return DefWindowProcW(Window, Message, WParam, LParam);
  LRESULT result = 0;
  bool handled = false;
  Win32Guarded("a window message", [&] {
    result = form->HandleMessage(Message, WParam, LParam);
    handled = true;
  });
  return handled ? result : DefWindowProcW(Window, Message, WParam, LParam);
}

LRESULT TWin32Form::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam)
{
  if (FMenuBar != nullptr) {
    LRESULT handled = 0;
    if (FMenuBar->HandleMessage(Message, WParam, LParam, handled))
      return handled;
  }
  switch (Message) {
  case WM_NCPAINT:
  case WM_NCACTIVATE:
    if (FMenuBar != nullptr) {
      const LRESULT result = DefWindowProcW(FWindow, Message, WParam, LParam);
      FMenuBar->PaintBarRest();
      return result;
    }
    break;
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLORDLG:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLOREDIT:
    // The theme's window colours for the labels and backgrounds of dialogs, its edit colours for
    // edits; the system's without a theme.
    if (const auto& palette = Win32ActivePalette(); palette && FThemeBrush != nullptr) {
      const auto dc = reinterpret_cast<HDC>(WParam);
      const bool edit = Message == WM_CTLCOLOREDIT;
      const uint32_t back = edit ? palette->Edit : palette->Window;
      const uint32_t text = edit ? palette->EditText : palette->WindowText;
      SetTextColor(dc, RGB(text >> 16, (text >> 8) & 0xFFU, text & 0xFFU));
      SetBkColor(dc, RGB(back >> 16, (back >> 8) & 0xFFU, back & 0xFFU));
      return reinterpret_cast<LRESULT>(edit ? FEditBrush : FThemeBrush);
    }
    break;
  case WM_CLOSE:
    // The close protocol decides; the window is never destroyed by a close request.
    RequestClose();
    return 0;
  case WM_ERASEBKGND:
    if (!FColor && FThemeBrush != nullptr) {
      RECT area{};
      GetClientRect(FWindow, &area);
      FillRect(reinterpret_cast<HDC>(WParam), &area, FThemeBrush);
      return 1;
    }
    if (FColor) {
      RECT area{};
      GetClientRect(FWindow, &area);
      const HBRUSH brush = CreateSolidBrush(RGB(*FColor >> 16, (*FColor >> 8) & 0xFFU, *FColor & 0xFFU));
      FillRect(reinterpret_cast<HDC>(WParam), &area, brush);
      DeleteObject(brush);
      return 1;
    }
    break;
  case WM_SIZE:
    if (FKind == TFormKind::Busy) {
      // Rounded corners: a region from (0, 0) to one past the size, with 4 x 4 corner ellipses.
      RECT frame{};
      GetWindowRect(FWindow, &frame);
      if (const HRGN region =
            CreateRoundRectRgn(0, 0, frame.right - frame.left + 1, frame.bottom - frame.top + 1, 4, 4);
          region != nullptr && SetWindowRgn(FWindow, region, TRUE) == 0)
        DeleteObject(region);
    }
    if (WParam == SIZE_RESTORED && !FApplyingStyle && FShownOnce) {
      FWidth = MulDiv(LOWORD(LParam), 96, ScaleForWindow(FWindow, 96));
      FHeight = MulDiv(HIWORD(LParam), 96, ScaleForWindow(FWindow, 96));
    }
    Relayout();
    break;
  case WM_GETMINMAXINFO: {
    auto* info = reinterpret_cast<MINMAXINFO*>(LParam);
    // The limits are client sizes; the frame comes on top. 0 means no limit.
    if (FConstraints.MinWidth > 0 || FConstraints.MinHeight > 0) {
      const SIZE least = WindowSizeFor(std::max(FConstraints.MinWidth, 0), std::max(FConstraints.MinHeight, 0));
      if (FConstraints.MinWidth > 0)
        info->ptMinTrackSize.x = least.cx;
      if (FConstraints.MinHeight > 0)
        info->ptMinTrackSize.y = least.cy;
    }
    if (FConstraints.MaxWidth > 0 || FConstraints.MaxHeight > 0) {
      const SIZE most = WindowSizeFor(std::max(FConstraints.MaxWidth, 0), std::max(FConstraints.MaxHeight, 0));
      if (FConstraints.MaxWidth > 0)
        info->ptMaxTrackSize.x = most.cx;
      if (FConstraints.MaxHeight > 0)
        info->ptMaxTrackSize.y = most.cy;
    }
    // Without a frame, maximized means the whole monitor (full screen).
    if (FBorderStyle == TBorderStyle::bsNone) {
      const MONITORINFO monitor = MonitorOf(FWindow);
      info->ptMaxPosition =
        POINT{monitor.rcMonitor.left - monitor.rcWork.left, monitor.rcMonitor.top - monitor.rcWork.top};
      info->ptMaxSize =
        POINT{monitor.rcMonitor.right - monitor.rcMonitor.left, monitor.rcMonitor.bottom - monitor.rcMonitor.top};
    }
    return 0;
  }
  case WM_ACTIVATE:
    // Like a dialog, the form gives the focus back to the child that had it, or to its first
    // control, instead of taking it itself.
    if (LOWORD(WParam) == WA_INACTIVE) {
      const HWND focus = GetFocus();
      if (focus != nullptr && IsChild(FWindow, focus))
        FLastFocus = focus;
    } else if (HIWORD(WParam) == 0) {
      HWND target =
        FLastFocus != nullptr && IsWindow(FLastFocus) && IsChild(FWindow, FLastFocus) ? FLastFocus : nullptr;
      if (target == nullptr && FKind == TFormKind::Dialog)
        target = GetNextDlgTabItem(FWindow, nullptr, FALSE);
      if (target != nullptr) {
        ::SetFocus(target);
        return 0;
      }
      if (const std::function<bool()> fallback = OnFocusFallback; fallback && fallback())
        return 0;
    }
    break;
  case WM_DPICHANGED: {
    // Menu images are drawn for the scale they show at.
    if (FMenuBar != nullptr)
      FMenuBar->Rebuild();
    // Moved to a monitor of another scale: the system suggests the rectangle at the new scale.
    const auto* suggested = reinterpret_cast<const RECT*>(LParam);
    SetWindowPos(FWindow, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  case WM_MOVE:
    if (const std::function<void()> onMoved = OnMoved)
      onMoved();
    break;
  case WM_COMMAND:
    if (LParam != 0 && OnCommand) {
      const std::function<void(WORD, WORD)> onCommand = OnCommand;
      onCommand(LOWORD(WParam), HIWORD(WParam));
      return 0;
    }
    break;
  default: break;
  }
  return DefWindowProcW(FWindow, Message, WParam, LParam);
}

LRESULT CALLBACK TWin32Form::ClientAreaProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (form != nullptr && Message == WM_SIZE && form->OnClientResized) {
    const std::function<void()> onResized = form->OnClientResized;
    Win32Guarded("OnClientResized", onResized);
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

} // namespace velmora
