// TWin32Form: the top-level Win32 window behind every form the Windows native layer creates.
#pragma once

#include "NativeLayer.h"
#include "Win32Menu.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// A main form holds two children: the client area (a plain child window the browser control
// fills) and, below it, the bottom control (the progress bar) when one is set and visible. A
// dialog form places its children at fixed client positions. Width and Height are client sizes,
// and sizes are given at 96 dots per inch: they grow with the monitor's scale.
// The defaults are bsSizeable and poDefaultPosOnly for a main form, bsDialog and poScreenCenter
// for a dialog.
class TWin32Form final : public TNativeForm {
public:
  explicit TWin32Form(TFormKind Kind);
  ~TWin32Form() override;
  TWin32Form(const TWin32Form&) = delete;
  TWin32Form& operator=(const TWin32Form&) = delete;

  void SetCaption(const std::string& Caption) override;
  std::string Caption() const override;
  void SetBorderStyle(TBorderStyle Style) override;
  TBorderStyle BorderStyle() const override;
  void SetWindowState(TWindowState State) override;
  // The window's real state once it is shown (a user may have changed it), the state it will be
  // shown in before.
  TWindowState WindowState() const override;
  void SetFormStyle(TFormStyle Style) override;
  TFormStyle FormStyle() const override;
  void SetBounds(int Left, int Top, int Width, int Height) override;
  TFormBounds Bounds() const override;
  void SetConstraints(const TSizeConstraints& Constraints) override;
  void SetPosition(TPosition Position) override;

  void Show() override;
  TModalResult ShowModal() override;
  void SetModalResult(TModalResult Result) override;
  TModalResult ModalResult() const override;
  // The Win32 menu bar comes with the menu work; until then the model is only kept.
  void SetMainMenu(TMainMenu* Menu) override;
  void MenuChanged() override;
  void Close() override;
  bool Visible() const override;
  void SetFocus() override;
  void SetColor(uint32_t Rgb) override;
  // The colour SetColor gave, when it was called.
  std::optional<uint32_t> Color() const { return FColor; }

  HWND Handle() const { return FWindow; }
  // The child window the browser control fills (main forms; the window itself for dialogs).
  HWND ClientArea() const { return FClientArea != nullptr ? FClientArea : FWindow; }
  // Places Control below the client area, Height pixels high, across the whole width; it is
  // laid out with the form, and hidden or shown by ShowWindow as its owner likes.
  void SetBottomControl(HWND Control, int Height);
  // Lays the children out again (after the bottom control was shown or hidden).
  void Relayout();
  // Restyles the window for the active theme (Win32ApplyTheme calls it on every form).
  void ThemeChanged();
  // The child that gets the keyboard focus when the form is next activated.
  void SetInitialFocus(HWND Control) { FLastFocus = Control; }

  // Raised when the client area's size changed; the browser control follows it.
  std::function<void()> OnClientResized;
  // Raised when the window has moved.
  std::function<void()> OnMoved;
  // Asked for the focus when the form is activated and none of its controls had it; true when it
  // took it (the browser control gives it to the page).
  std::function<bool()> OnFocusFallback;
  // WM_COMMAND from a child (id, notification code).
  std::function<void(WORD Id, WORD Code)> OnCommand;
  // A key pressed in the form or any of its children while the form runs its own loop (modal):
  // true when the form handled it. A form that sets it also gets the keyboard of a dialog box
  // (Tab, arrow keys, access keys) for the keys it leaves.
  std::function<bool(UINT VirtualKey)> OnDialogKey;

  // Runs the message loop until the form's next close, or until a WM_QUIT (which it leaves in the
  // queue for the caller's loop).
  void RunUntilClosed();

  // The form behind a window of ours, nullptr for any other window.
  static TWin32Form* FromHandle(HWND Window);

  // The window procedure the classes are registered with; a form installs its own at creation.
  static LRESULT CALLBACK DefaultProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);

private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK ClientAreaProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void RequestClose();
  void EnableDisabledByModal();
  DWORD StyleOf(TBorderStyle Style) const;
  DWORD ExStyleOf(TBorderStyle Style) const;
  // The window size, in pixels, for a client size at 96 dots per inch under the current styles.
  SIZE WindowSizeFor(int ClientWidth, int ClientHeight) const;
  void ApplyBorderStyle();
  void ApplyInitialPosition();
  bool HandleLoopMessage(MSG& Message);

  TFormKind FKind;
  HWND FWindow = nullptr;
  HWND FClientArea = nullptr;
  HWND FBottomControl = nullptr;
  HWND FLastFocus = nullptr; // the child that had the focus when the form was last deactivated
  int FBottomHeight = 0;
  std::string FCaption;
  TBorderStyle FBorderStyle;
  TWindowState FWindowState = TWindowState::wsNormal; // before the first show
  TFormStyle FFormStyle = TFormStyle::fsNormal;
  TPosition FPosition;
  TSizeConstraints FConstraints;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FHasPosition = false;
  bool FShownOnce = false;
  bool FApplyingStyle = false; // sizes seen while a border change is applied are not the user's
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  std::vector<HWND> FDisabledByModal; // the windows a modal show disabled, enabled again at its close
  bool FClosing = false;
  unsigned FCloseCount = 0;
  TMainMenu* FMenu = nullptr;
  std::unique_ptr<TWin32MenuBar> FMenuBar;
  HBRUSH FThemeBrush = nullptr; // the active palette's window and edit colours, while one is
  HBRUSH FEditBrush = nullptr;  // applied
  std::optional<uint32_t> FColor;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// The TWin32Form behind a form this layer created.
TWin32Form& Win32FormOf(TNativeForm& Form);

// Registers the window classes of the forms; once per process.
bool RegisterFormClasses();

} // namespace velmora
