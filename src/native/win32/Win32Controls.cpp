// The marquee progress bar and the password edit of the Win32 native layer.
#include "Win32Controls.h"

#include "ActivityIndicator.h"
#include "Win32Support.h"

#include <commctrl.h>

#include <stdexcept>
#include <vector>

namespace velmora {

namespace {

constexpr int kBarHeight = 4;
constexpr UINT kMarqueeIntervalMs = 30;

} // namespace

TWin32ProgressBar::TWin32ProgressBar(TWin32Form& Parent)
  : FParent(Parent), FBar(CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_MARQUEE, 0, 0, 0, 0,
                                          Parent.Handle(), nullptr, ModuleInstance(), nullptr))
{
  if (FBar == nullptr)
    throw std::runtime_error("the progress bar could not be created");
  SendMessageW(FBar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
  FParent.SetBottomControl(FBar, kBarHeight);
}

TWin32ProgressBar::~TWin32ProgressBar()
{
  // The form may have gone first, taking its children with it.
  if (IsWindow(FBar) && GetParent(FBar) == FParent.Handle()) {
    FParent.SetBottomControl(nullptr, 0);
    DestroyWindow(FBar);
  }
}

void TWin32ProgressBar::SetVisible(bool Visible)
{
  SendMessageW(FBar, PBM_SETMARQUEE, Visible ? TRUE : FALSE, kMarqueeIntervalMs);
  ShowWindow(FBar, Visible ? SW_SHOWNA : SW_HIDE);
  FParent.Relayout();
}

bool TWin32ProgressBar::Visible() const { return (GetWindowLongPtrW(FBar, GWL_STYLE) & WS_VISIBLE) != 0; }

TWin32PasswordEdit::TWin32PasswordEdit(TWin32Form& Parent, int Left, int Top, int Width, int Height)
  : FEdit(CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_PASSWORD | ES_AUTOHSCROLL,
                          ScaleForWindow(Parent.Handle(), Left), ScaleForWindow(Parent.Handle(), Top),
                          ScaleForWindow(Parent.Handle(), Width), ScaleForWindow(Parent.Handle(), Height),
                          Parent.Handle(), nullptr, ModuleInstance(), nullptr)),
    FButton(nullptr)
{
  if (FEdit == nullptr)
    throw std::runtime_error("the password edit could not be created");
  SendMessageW(FEdit, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  SendMessageW(FEdit, EM_SETPASSWORDCHAR, L'*', 0);
  SetWindowSubclass(FEdit, &EditProc, 1, reinterpret_cast<DWORD_PTR>(this));

  // The key button sits inside the edit on its left, and the text starts after it.
  RECT inside{};
  GetClientRect(FEdit, &inside);
  const int side = inside.bottom;
  FButton = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_ICON | BS_FLAT, 0, 0, side, side, FEdit,
                            nullptr, ModuleInstance(), nullptr);
  if (FButton != nullptr) {
    FKeyIcon = static_cast<HICON>(LoadImageW(ModuleInstance(), L"KEYIMAGE", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (FKeyIcon != nullptr)
      SendMessageW(FButton, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(FKeyIcon));
    SetWindowSubclass(FButton, &ButtonProc, 1, 0);
  }
  SendMessageW(FEdit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(side + 2, 0));
}

TWin32PasswordEdit::~TWin32PasswordEdit()
{
  if (IsWindow(FEdit)) {
    RemoveWindowSubclass(FEdit, &EditProc, 1);
    DestroyWindow(FEdit);
  }
  if (FKeyIcon != nullptr)
    DestroyIcon(FKeyIcon);
}

std::string TWin32PasswordEdit::Text() const
{
  const int length = GetWindowTextLengthW(FEdit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(FEdit, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return WideToUtf8(text);
}

void TWin32PasswordEdit::SetText(const std::string& Text) { SetWindowTextW(FEdit, Utf8ToWide(Text).c_str()); }

void TWin32PasswordEdit::SetFocus()
{
  // A hidden dialog gives the focus to its first control when it is shown.
  if (IsWindowVisible(GetParent(FEdit)))
    ::SetFocus(FEdit);
}

LRESULT CALLBACK TWin32PasswordEdit::EditProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                              DWORD_PTR Data)
{
  const LRESULT result = DefSubclassProc(Window, Message, WParam, LParam);
  if (Message == WM_KEYUP) {
    // A copy, so that a handler that frees the edit does not free the function it runs in.
    const std::function<void()> handler = reinterpret_cast<TWin32PasswordEdit*>(Data)->OnKeyUp;
    if (handler)
      Win32Guarded("OnKeyUp", handler);
  }
  return result;
}

LRESULT CALLBACK TWin32PasswordEdit::ButtonProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                                DWORD_PTR)
{
  // The button only shows the key: a click neither acts nor takes the focus from the edit.
  if (Message == WM_LBUTTONDOWN || Message == WM_LBUTTONDBLCLK || Message == WM_LBUTTONUP || Message == WM_SETFOCUS)
    return 0;
  return DefSubclassProc(Window, Message, WParam, LParam);
}

namespace {

constexpr wchar_t kIndicatorClass[] = L"VelmoraActivityIndicator";
constexpr UINT_PTR kFrameTimer = 1;

} // namespace

TWin32ActivityIndicator::TWin32ActivityIndicator(TWin32Form& Parent, int Left, int Top, int Size,
                                                 TActivityIndicatorKind Kind, TActivityIndicatorColor Color)
  : FParent(Parent), FKind(Kind), FColor(Color), FSize(ScaleForWindow(Parent.Handle(), Size)), FStart(GetTickCount64())
{
  static const bool registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &WindowProc;
    type.hInstance = ModuleInstance();
    type.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
    type.lpszClassName = kIndicatorClass;
    return RegisterClassExW(&type) != 0;
  }();
  if (!registered)
    throw std::runtime_error("the activity indicator's class could not be registered");
  FWindow = CreateWindowExW(0, kIndicatorClass, L"", WS_CHILD | WS_VISIBLE, ScaleForWindow(Parent.Handle(), Left),
                            ScaleForWindow(Parent.Handle(), Top), FSize, FSize, Parent.Handle(), nullptr,
                            ModuleInstance(), nullptr);
  if (FWindow == nullptr)
    throw std::runtime_error("the activity indicator could not be created");
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetTimer(FWindow, kFrameTimer, kActivityIndicatorFrameMs, nullptr);
}

TWin32ActivityIndicator::~TWin32ActivityIndicator()
{
  if (IsWindow(FWindow)) {
    KillTimer(FWindow, kFrameTimer);
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
  }
}

void TWin32ActivityIndicator::Paint(HDC Dc)
{
  const double phase = static_cast<double>(GetTickCount64() - FStart) / kActivityIndicatorTurnMs;
  const uint32_t background = FParent.Color().value_or(0xF0F0F0);
  const TBitmap frame = CompositeOver(DrawActivityIndicator(FKind, FColor, FSize, phase), background);
  // The device wants blue, green, red and a spare byte, rows from the top.
  std::vector<uint8_t> bgra(frame.Rgba.size());
  for (size_t i = 0; i + 3 < frame.Rgba.size(); i += 4) {
    bgra[i] = frame.Rgba[i + 2];
    bgra[i + 1] = frame.Rgba[i + 1];
    bgra[i + 2] = frame.Rgba[i];
    bgra[i + 3] = 0;
  }
  BITMAPINFO info = TopDownBitmapInfo(frame.Width, frame.Height);
  SetDIBitsToDevice(Dc, 0, 0, static_cast<DWORD>(frame.Width), static_cast<DWORD>(frame.Height), 0, 0, 0,
                    static_cast<UINT>(frame.Height), bgra.data(), &info, DIB_RGB_COLORS);
}

LRESULT CALLBACK TWin32ActivityIndicator::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
  auto* self = reinterpret_cast<TWin32ActivityIndicator*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (Message) {
    case WM_TIMER: InvalidateRect(Window, nullptr, FALSE); return 0;
    case WM_ERASEBKGND: return 1; // every pixel is painted
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(Window, &paint);
      Win32Guarded("the activity indicator's frame", [&] { self->Paint(dc); });
      EndPaint(Window, &paint);
      return 0;
    }
    default: break;
    }
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

} // namespace velmora
