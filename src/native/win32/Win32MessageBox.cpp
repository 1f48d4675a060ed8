// The message dialog of the Win32 native layer: our own window rather than MessageBox, so the
// title, the button captions, the default button and the results of Escape and the close box are
// the same on every system (wine's task dialog, for one, ignores Escape).
#include "Win32MessageBox.h"

#include "Win32Form.h"
#include "Win32Support.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr int kMargin = 12;
constexpr int kIconSide = 32;
constexpr int kGap = 12;
constexpr int kButtonHeight = 23;
constexpr int kButtonMinWidth = 75;
constexpr int kButtonGap = 6;
constexpr int kTextMaxWidth = 360;
constexpr int kMinClientWidth = 240;

// A confirmation shows the information image, as the platform's standard dialog does.
LPCWSTR IconOf(TMsgDlgType Type)
{
  switch (Type) {
  case TMsgDlgType::mtWarning: return IDI_WARNING;
  case TMsgDlgType::mtError: return IDI_ERROR;
  case TMsgDlgType::mtInformation:
  case TMsgDlgType::mtConfirmation: return IDI_INFORMATION;
  case TMsgDlgType::mtCustom: return nullptr;
  }
  return nullptr;
}

// The size Text needs in the dialog font, wrapped at MaxWidth.
SIZE MeasureText(HWND Window, const std::wstring& Text, int MaxWidth, UINT Flags)
{
  const HDC dc = GetDC(Window);
  const HGDIOBJ old = SelectObject(dc, DialogFont());
  RECT rect{0, 0, MaxWidth, 0};
  DrawTextW(dc, Text.c_str(), static_cast<int>(Text.size()), &rect, DT_CALCRECT | Flags);
  SelectObject(dc, old);
  ReleaseDC(Window, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

bool HasButton(const TMessageDialogSpec& Dialog, TMsgDlgBtn Kind)
{
  return std::find(Dialog.Buttons.begin(), Dialog.Buttons.end(), Kind) != Dialog.Buttons.end();
}

} // namespace

TModalResult Win32ShowMessageDialog(const TMessageDialogSpec& Dialog, const std::string& Title)
{
  TWin32Form form(TFormKind::Dialog);
  form.SetBorderStyle(TBorderStyle::bsDialog);
  form.SetCaption(Title);
  const HWND window = form.Handle();
  // The layout is in pixels at the monitor's scale; the form takes its size at 96 dots per inch.
  const int dpi = ScaleForWindow(window, 96);
  const auto px = [dpi](int Logical) { return MulDiv(Logical, dpi, 96); };
  // Owned by the window active at this moment, so it stays above it.
  if (const HWND owner = GetActiveWindow(); owner != nullptr && owner != window)
    SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));

  // The buttons, created in the order of their kinds; the i-th gets the caller's caption i.
  struct TButton {
    HWND Handle;
    TModalResult Result;
    int Width;
  };
  std::vector<TButton> buttons;
  const std::optional<TMsgDlgBtn> defaultKind = MessageDialogDefaultButton(Dialog);
  HWND defaultButton = nullptr;
  bool hasCancel = false;
  size_t captionIndex = 0;
  for (const TMsgDlgButtonKind& kind : MessageDialogButtonKinds()) {
    if (!HasButton(Dialog, kind.Kind))
      continue;
    // A caller's caption is plain text: its "&" must not mark an access key.
    std::wstring caption;
    if (captionIndex < Dialog.ButtonCaptions.size()) {
      for (const wchar_t c : Utf8ToWide(Dialog.ButtonCaptions[captionIndex]))
        caption.append(c == L'&' ? L"&&" : std::wstring(1, c));
    } else {
      caption = Utf8ToWide(kind.Caption);
    }
    ++captionIndex;
    const bool isDefault = defaultKind == kind.Kind;
    const HWND button = CreateWindowExW(
      0, L"BUTTON", caption.c_str(),
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | static_cast<DWORD>(isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, 0, 0, 0,
      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kind.Result)), ModuleInstance(), nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    const int width =
      std::max(px(kButtonMinWidth), static_cast<int>(MeasureText(window, caption, 1000, DT_SINGLELINE).cx) + px(24));
    buttons.push_back({button, kind.Result, width});
    if (isDefault)
      defaultButton = button;
    if (kind.Kind == TMsgDlgBtn::mbCancel)
      hasCancel = true;
  }

  // The image, the text beside it, the buttons below, right-aligned.
  const std::wstring message = Utf8ToWide(Dialog.Message);
  const SIZE text = MeasureText(window, message, px(kTextMaxWidth), DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  HWND icon = nullptr;
  int textLeft = px(kMargin);
  if (LPCWSTR iconName = IconOf(Dialog.Type); iconName != nullptr) {
    icon = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON, px(kMargin), px(kMargin), px(kIconSide),
                           px(kIconSide), window, nullptr, ModuleInstance(), nullptr);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, iconName)), 0);
    textLeft += px(kIconSide) + px(kGap);
  }
  const int contentHeight = std::max(static_cast<int>(text.cy), icon != nullptr ? px(kIconSide) : 0);
  const HWND label = CreateWindowExW(
    0, L"STATIC", message.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_EDITCONTROL, textLeft,
    px(kMargin) + (contentHeight - text.cy) / 2, text.cx, text.cy, window, nullptr, ModuleInstance(), nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);

  int buttonsWidth = 0;
  for (const TButton& button : buttons)
    buttonsWidth += button.Width + (buttonsWidth > 0 ? px(kButtonGap) : 0);
  const int clientWidth =
    std::max({px(kMinClientWidth), textLeft + static_cast<int>(text.cx) + px(kMargin), buttonsWidth + 2 * px(kMargin)});
  const int buttonTop = px(kMargin) + contentHeight + px(kGap) + px(6);
  int left = clientWidth - px(kMargin) - buttonsWidth;
  for (const TButton& button : buttons) {
    SetWindowPos(button.Handle, nullptr, left, buttonTop, button.Width, px(kButtonHeight),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    left += button.Width + px(kButtonGap);
  }
  form.SetBounds(0, 0, MulDiv(clientWidth, 96, dpi), MulDiv(buttonTop + px(kButtonHeight) + px(kMargin), 96, dpi));
  form.SetPosition(Dialog.Position == TPosition::poDefaultPosOnly ? TPosition::poDefaultPosOnly
                                                                  : TPosition::poScreenCenter);

  form.OnCommand = [&](WORD Id, WORD Code) {
    if (Code == BN_CLICKED)
      form.SetModalResult(static_cast<TModalResult>(Id));
  };
  form.OnDialogKey = [&](UINT Key) {
    if (Key == VK_ESCAPE) {
      // Escape answers Cancel only when the dialog has a Cancel button.
      if (hasCancel)
        form.SetModalResult(mrCancel);
      return true;
    }
    if (Key == VK_RETURN) {
      // Enter presses the button that has the focus, else the default one.
      HWND target = GetFocus();
      const bool isButton =
        std::any_of(buttons.begin(), buttons.end(), [&](const TButton& b) { return b.Handle == target; });
      if (!isButton)
        target = defaultButton;
      for (const TButton& button : buttons)
        if (button.Handle == target)
          form.SetModalResult(button.Result);
      return true;
    }
    return false;
  };
  form.SetInitialFocus(defaultButton != nullptr ? defaultButton : (buttons.empty() ? nullptr : buttons.front().Handle));
  // The close box and Alt+F4 give Cancel.
  return form.ShowModal();
}

} // namespace velmora
