// TGtkWindowForm: the GtkWindow behind every form the GTK native layer creates.
#pragma once

#include "GtkForm.h"
#include "GtkMenuBar.h"
#include "GtkSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A main form is a window holding a vertical box: the menu area, the client area (expands) and
// the bottom area. A dialog form holds a GtkFixed for children at fixed positions. The defaults
// are bsSizeable and poDefaultPosOnly for a main form, bsDialog and poScreenCenter for a dialog.
class TGtkWindowForm final : public TGtkForm {
public:
  explicit TGtkWindowForm(TFormKind Kind);
  ~TGtkWindowForm() override;
  TGtkWindowForm(const TGtkWindowForm&) = delete;
  TGtkWindowForm& operator=(const TGtkWindowForm&) = delete;

  void SetCaption(const std::string& Caption) override;
  std::string Caption() const override;
  void SetBorderStyle(TBorderStyle Style) override;
  TBorderStyle BorderStyle() const override;
  void SetWindowState(TWindowState State) override;
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
  // A main form draws the menu in its menu area; a dialog form has no menu bar.
  void SetMainMenu(TMainMenu* Menu) override;
  void MenuChanged() override;
  void Close() override;
  bool Visible() const override;
  void SetFocus() override;
  void SetColor(uint32_t Rgb) override;

  GtkWindow* Window() const override { return FWindow; }
  GtkBox* MenuArea() const override { return FMenuArea; }
  GtkBox* ClientArea() const override { return FClientArea; }
  GtkBox* BottomArea() const override { return FBottomArea; }
  GtkFixed* Fixed() const override { return FFixed; }

  // Runs a nested main loop until the form's next close (after OnClose) or its destruction.
  void RunUntilClosed();

private:
  static gboolean DeleteEventCb(GtkWidget* Widget, GdkEvent* Event, gpointer Self);
  void WindowStateChanged(const GdkEventWindowState& Event);
  static gboolean WindowStateEventCb(GtkWidget* Widget, GdkEventWindowState* Event, gpointer Self);
  static void RealizeCb(GtkWidget* Widget, gpointer Self);
  static gboolean ConfigureEventCb(GtkWidget* Widget, GdkEventConfigure* Event, gpointer Self);
  static gboolean MapEventCb(GtkWidget* Widget, GdkEvent* Event, gpointer Self);
  // Moves a window to be centred so that its whole frame is, once the window manager has framed it.
  void CentreFrame();

  // The close protocol shared by every close request.
  void RequestClose();
  void NotifyClosed();
  // Decorations, resizability and the window manager's functions for the current border style.
  void ApplyBorderStyle();
  // When the window manager gets new size hints: at once (before a request that depends on
  // them), or with GTK's next layout pass.
  enum class THintsDelivery { Now, WithNextLayout };
  void ApplyResizable(THintsDelivery Delivery = THintsDelivery::Now);
  void ApplyWmHints();
  void ApplySize();
  void ApplyInitialPosition();
  // Fixed-size border styles are lifted while the window is maximized, because window managers
  // refuse to maximize a window whose minimum and maximum sizes are equal.
  bool MaximizedNow() const;
  bool UserResizable() const;

  TFormKind FKind;
  GtkWindow* FWindow = nullptr;
  GtkBox* FMenuArea = nullptr;
  GtkBox* FClientArea = nullptr;
  GtkBox* FBottomArea = nullptr;
  GtkFixed* FFixed = nullptr;

  std::string FCaption;
  TBorderStyle FBorderStyle;
  TWindowState FWindowState = TWindowState::wsNormal;
  TFormStyle FFormStyle = TFormStyle::fsNormal;
  TPosition FPosition;
  TSizeConstraints FConstraints;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FHasPosition = false; // SetBounds gave Left and Top
  bool FHasSize = false;     // a size was given (or kept while a fixed-size window is maximized)
  bool FShownOnce = false;
  bool FCentreFramePending = false;         // centred placement waits for the frame's size
  GtkCssProvider* FColorProvider = nullptr; // the colour SetColor gave, when it was called
  bool FBorderPending = false;              // a border change waits for the window to leave maximized
  bool FRemapping = false;                  // a border change has unmapped the window to map it again

  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FClosing = false;
  // Cleared by the destructor, so code that called out into handlers can tell whether the form
  // still exists before touching it again.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  std::vector<TGtkNestedLoop*> FCloseWaiters;
  std::unique_ptr<TGtkMenuBar> FMenuBar; // made by the first SetMainMenu
};

} // namespace velmora
