// The marquee progress bar and the password edit of the GTK native layer.
#pragma once

#include "GtkForm.h"

namespace velmora {

// A GtkProgressBar 4 pixels high across the form's bottom area, pulsing while visible.
// Visible from creation.
class TGtkProgressBar final : public TNativeProgressBar {
public:
  explicit TGtkProgressBar(TGtkForm& Parent);
  ~TGtkProgressBar() override;
  TGtkProgressBar(const TGtkProgressBar&) = delete;
  TGtkProgressBar& operator=(const TGtkProgressBar&) = delete;

  void SetVisible(bool Visible) override;
  bool Visible() const override;

private:
  static gboolean PulseCb(gpointer Self);
  static void DestroyCb(GtkWidget* Widget, gpointer Self);
  void StartPulse();
  void StopPulse();

  GtkWidget* FBar;
  guint FPulseSource = 0;
  bool FVisible = true;
  bool FDestroyed = false;
};

// A GtkEntry at a fixed place in a dialog form that shows every character as "*", with a
// decorative key icon on its left.
class TGtkPasswordEdit final : public TNativePasswordEdit {
public:
  TGtkPasswordEdit(TGtkForm& Parent, int Left, int Top, int Width, int Height);
  ~TGtkPasswordEdit() override;
  TGtkPasswordEdit(const TGtkPasswordEdit&) = delete;
  TGtkPasswordEdit& operator=(const TGtkPasswordEdit&) = delete;

  std::string Text() const override;
  void SetText(const std::string& Text) override;
  void SetFocus() override;

  GtkEntry* Entry() const { return FEntry; }

private:
  static gboolean KeyReleaseCb(GtkWidget* Widget, GdkEventKey* Event, gpointer Self);
  static void DestroyCb(GtkWidget* Widget, gpointer Self);

  GtkEntry* FEntry;
  bool FDestroyed = false;
};

} // namespace velmora
