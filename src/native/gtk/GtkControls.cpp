// The marquee progress bar and the password edit of the GTK native layer.
#include "GtkControls.h"

#include "ActivityIndicator.h"
#include "GtkImages.h"
#include "GtkSupport.h"

#include <functional>
#include <stdexcept>

namespace velmora {

namespace {

constexpr guint kPulseIntervalMs = 100;

// Themes give progress bars and entries a minimum height of their own; these rules let the bar
// be 4 pixels high and the edit as low as the form's layout asks. They are scoped to our style
// classes so that nothing else changes.
constexpr const char* kControlsCss =
  "progressbar.velmora-marquee, progressbar.velmora-marquee trough, progressbar.velmora-marquee progress"
  " { min-height: 4px; margin: 0; padding: 0; border-width: 0; }\n"
  "entry.velmora-password { min-height: 0; padding-top: 0; padding-bottom: 0; }\n";

void InstallControlsCss()
{
  static bool installed = false;
  GdkScreen* screen = gdk_screen_get_default();
  if (installed || screen == nullptr)
    return;
  installed = true;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kControlsCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

// The first key symbol the icon theme has, or nullptr.
const char* KeyIconName()
{
  static const char* const candidates[] = {"dialog-password", "dialog-password-symbolic", "channel-secure-symbolic",
                                           "changes-prevent-symbolic"};
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  for (const char* name : candidates)
    if (theme != nullptr && gtk_icon_theme_has_icon(theme, name))
      return name;
  return nullptr;
}

} // namespace

TGtkProgressBar::TGtkProgressBar(TGtkForm& Parent)
{
  GtkBox* area = Parent.BottomArea();
  if (area == nullptr)
    throw std::invalid_argument("a progress bar needs a main form");
  InstallControlsCss();

  FBar = gtk_progress_bar_new();
  g_object_ref_sink(FBar);
  gtk_style_context_add_class(gtk_widget_get_style_context(FBar), "velmora-marquee");
  gtk_widget_set_size_request(FBar, -1, 4);
  gtk_progress_bar_set_pulse_step(GTK_PROGRESS_BAR(FBar), 0.05);
  // The form's Show() shows all its widgets; the bar's visibility is ours alone.
  gtk_widget_set_no_show_all(FBar, TRUE);
  gtk_box_pack_start(area, FBar, TRUE, TRUE, 0);
  ConnectSignal<&DestroyCb>(FBar, "destroy", this);
  gtk_widget_show(FBar);
  StartPulse();
}

TGtkProgressBar::~TGtkProgressBar()
{
  StopPulse();
  g_signal_handlers_disconnect_by_data(FBar, this);
  if (!FDestroyed)
    gtk_widget_destroy(FBar);
  g_object_unref(FBar);
}

void TGtkProgressBar::SetVisible(bool Visible)
{
  FVisible = Visible;
  if (FDestroyed)
    return;
  gtk_widget_set_visible(FBar, Visible);
  if (Visible)
    StartPulse();
  else
    StopPulse();
}

bool TGtkProgressBar::Visible() const { return FVisible && !FDestroyed; }

void TGtkProgressBar::StartPulse()
{
  if (FPulseSource == 0)
    FPulseSource = g_timeout_add(kPulseIntervalMs, GuardedCallback<&PulseCb>, this);
}

void TGtkProgressBar::StopPulse()
{
  if (FPulseSource != 0) {
    g_source_remove(FPulseSource);
    FPulseSource = 0;
  }
  // A pulsed bar animates its block from a tick callback of the frame clock, hidden or not,
  // until it leaves activity mode: without this the window repaints 60 times a second forever.
  if (!FDestroyed)
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(FBar), 0.0);
}

gboolean TGtkProgressBar::PulseCb(gpointer Self)
{
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(static_cast<TGtkProgressBar*>(Self)->FBar));
  return G_SOURCE_CONTINUE;
}

void TGtkProgressBar::DestroyCb(GtkWidget*, gpointer Self)
{
  // The form went first: stop touching the widget.
  auto* self = static_cast<TGtkProgressBar*>(Self);
  self->FDestroyed = true;
  self->StopPulse();
}

TGtkPasswordEdit::TGtkPasswordEdit(TGtkForm& Parent, int Left, int Top, int Width, int Height)
{
  GtkFixed* fixed = Parent.Fixed();
  if (fixed == nullptr)
    throw std::invalid_argument("a password edit needs a dialog form");
  InstallControlsCss();

  FEntry = GTK_ENTRY(gtk_entry_new());
  g_object_ref_sink(FEntry);
  GtkWidget* widget = GTK_WIDGET(FEntry);
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), "velmora-password");
  gtk_entry_set_visibility(FEntry, FALSE);
  gtk_entry_set_invisible_char(FEntry, '*');
  gtk_entry_set_input_purpose(FEntry, GTK_INPUT_PURPOSE_PASSWORD);
  if (const char* icon = KeyIconName(); icon != nullptr) {
    gtk_entry_set_icon_from_icon_name(FEntry, GTK_ENTRY_ICON_PRIMARY, icon);
    gtk_entry_set_icon_activatable(FEntry, GTK_ENTRY_ICON_PRIMARY, FALSE);
  }
  gtk_widget_set_size_request(widget, Width, Height);
  gtk_fixed_put(fixed, widget, Left, Top);
  ConnectSignal<&KeyReleaseCb>(widget, "key-release-event", this);
  ConnectSignal<&DestroyCb>(widget, "destroy", this);
  gtk_widget_show(widget);
}

TGtkPasswordEdit::~TGtkPasswordEdit()
{
  g_signal_handlers_disconnect_by_data(FEntry, this);
  if (!FDestroyed)
    gtk_widget_destroy(GTK_WIDGET(FEntry));
  g_object_unref(FEntry);
}

std::string TGtkPasswordEdit::Text() const
{
  const gchar* text = gtk_entry_get_text(FEntry);
  return text != nullptr ? std::string(text) : std::string();
}

void TGtkPasswordEdit::SetText(const std::string& Text) { gtk_entry_set_text(FEntry, GtkValidUtf8(Text).c_str()); }

void TGtkPasswordEdit::SetFocus()
{
  if (!FDestroyed)
    gtk_widget_grab_focus(GTK_WIDGET(FEntry));
}

gboolean TGtkPasswordEdit::KeyReleaseCb(GtkWidget*, GdkEventKey*, gpointer Self)
{
  // A copy, so that a handler that frees the edit does not free the function it runs in.
  const std::function<void()> handler = static_cast<TGtkPasswordEdit*>(Self)->OnKeyUp;
  if (handler)
    GuardedCall("OnKeyUp", handler);
  // The entry's own handling continues either way.
  return FALSE;
}

void TGtkPasswordEdit::DestroyCb(GtkWidget*, gpointer Self) { static_cast<TGtkPasswordEdit*>(Self)->FDestroyed = true; }

TGtkActivityIndicator::TGtkActivityIndicator(TGtkForm& Parent, int Left, int Top, int Size, TActivityIndicatorKind Kind,
                                             TActivityIndicatorColor Color)
  : FArea(gtk_drawing_area_new()), FKind(Kind), FColor(Color), FSize(Size), FStart(g_get_monotonic_time())
{
  if (Parent.Fixed() == nullptr)
    throw std::invalid_argument("an activity indicator needs a form with a fixed layout");
  gtk_widget_set_size_request(FArea, Size, Size);
  gtk_fixed_put(Parent.Fixed(), FArea, Left, Top);
  ConnectSignal<&DrawCb>(FArea, "draw", this);
  ConnectSignal<&DestroyCb>(FArea, "destroy", this);
  gtk_widget_show(FArea);
  FTimer = g_timeout_add(kActivityIndicatorFrameMs, GuardedCallback<&TickCb, G_SOURCE_CONTINUE>, this);
}

TGtkActivityIndicator::~TGtkActivityIndicator()
{
  if (FTimer != 0)
    g_source_remove(FTimer);
  if (!FDestroyed) {
    g_signal_handlers_disconnect_by_data(FArea, this);
    gtk_widget_destroy(FArea);
  }
}

gboolean TGtkActivityIndicator::DrawCb(GtkWidget* Widget, cairo_t* Cairo, gpointer Self)
{
  auto* self = static_cast<TGtkActivityIndicator*>(Self);
  const double elapsedMs = static_cast<double>(g_get_monotonic_time() - self->FStart) / 1000.0;
  const TBitmap frame =
    DrawActivityIndicator(self->FKind, self->FColor, self->FSize, elapsedMs / kActivityIndicatorTurnMs);
  if (cairo_surface_t* surface = GtkBitmapSurface(frame, self->FSize, gtk_widget_get_scale_factor(Widget), false)) {
    cairo_set_source_surface(Cairo, surface, 0, 0);
    cairo_paint(Cairo);
    cairo_surface_destroy(surface);
  }
  return FALSE;
}

gboolean TGtkActivityIndicator::TickCb(gpointer Self)
{
  gtk_widget_queue_draw(static_cast<TGtkActivityIndicator*>(Self)->FArea);
  return G_SOURCE_CONTINUE;
}

void TGtkActivityIndicator::DestroyCb(GtkWidget*, gpointer Self)
{
  // The form went first: stop touching the widget.
  auto* self = static_cast<TGtkActivityIndicator*>(Self);
  self->FDestroyed = true;
  if (self->FTimer != 0) {
    g_source_remove(self->FTimer);
    self->FTimer = 0;
  }
}

} // namespace velmora
