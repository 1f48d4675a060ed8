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

// A drawing area at a fixed place in a form's fixed layout, drawing the busy indicator's frames.
class TGtkActivityIndicator final : public TNativeActivityIndicator {
public:
  TGtkActivityIndicator(TGtkForm& Parent, int Left, int Top, int Size, TActivityIndicatorKind Kind,
                        TActivityIndicatorColor Color);
  ~TGtkActivityIndicator() override;
  TGtkActivityIndicator(const TGtkActivityIndicator&) = delete;
  TGtkActivityIndicator& operator=(const TGtkActivityIndicator&) = delete;

  TActivityIndicatorKind Kind() const override { return FKind; }
  TActivityIndicatorColor Color() const override { return FColor; }

private:
  static gboolean DrawCb(GtkWidget* Widget, cairo_t* Cairo, gpointer Self);
  static gboolean TickCb(gpointer Self);
  static void DestroyCb(GtkWidget* Widget, gpointer Self);

  GtkWidget* FArea;
  TActivityIndicatorKind FKind;
  TActivityIndicatorColor FColor;
  int FSize;
  gint64 FStart;
  guint FTimer = 0;
  bool FDestroyed = false;
};

} // namespace velmora
