// TGtkWindowForm: forms of the GTK native layer (top-level GtkWindow, close protocol, modal loop).
#include "GtkWindowForm.h"

#include <cstdio>

#include <algorithm>
#include <functional>

namespace velmora {

namespace {

// What each border style means to GTK and to the window manager. Decorations and functions are
// the _MOTIF_WM_HINTS bits; window managers read them to offer or hide title-bar buttons.
struct TBorderTraits {
  TBorderStyle Style;
  bool Decorated;
  bool Resizable;
  GdkWindowTypeHint TypeHint;
  unsigned Decorations;
  unsigned Functions;
};

constexpr unsigned kDecorTitled = GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
constexpr unsigned kFuncFixed = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;

constexpr TBorderTraits kBorderTraits[] = {
  {TBorderStyle::bsNone, false, false, GDK_WINDOW_TYPE_HINT_NORMAL, 0, kFuncFixed | GDK_FUNC_MINIMIZE},
  {TBorderStyle::bsSingle, true, false, GDK_WINDOW_TYPE_HINT_NORMAL,
   kDecorTitled | GDK_DECOR_MINIMIZE | GDK_DECOR_MAXIMIZE, kFuncFixed | GDK_FUNC_MINIMIZE | GDK_FUNC_MAXIMIZE},
  {TBorderStyle::bsSizeable, true, true, GDK_WINDOW_TYPE_HINT_NORMAL, GDK_DECOR_ALL, GDK_FUNC_ALL},
  {TBorderStyle::bsDialog, true, false, GDK_WINDOW_TYPE_HINT_DIALOG, kDecorTitled, kFuncFixed},
  {TBorderStyle::bsToolWindow, true, false, GDK_WINDOW_TYPE_HINT_UTILITY, kDecorTitled, kFuncFixed},
  {TBorderStyle::bsSizeToolWin, true, true, GDK_WINDOW_TYPE_HINT_UTILITY, kDecorTitled | GDK_DECOR_RESIZEH,
   kFuncFixed | GDK_FUNC_RESIZE},
};

const TBorderTraits& TraitsOf(TBorderStyle Style)
{
  for (const TBorderTraits& traits : kBorderTraits)
    if (traits.Style == Style)
      return traits;
  return kBorderTraits[2];
}

// No upper limit, for a side the constraints leave open: GTK reads a negative maximum as "the
// minimum", which would fix the size.
constexpr int kUnlimited = G_MAXSHORT;

} // namespace

TGtkWindowForm::TGtkWindowForm(TFormKind Kind)
  : FKind(Kind), FBorderStyle(Kind == TFormKind::Main ? TBorderStyle::bsSizeable : TBorderStyle::bsDialog),
    FPosition(Kind == TFormKind::Main ? TPosition::poDefaultPosOnly : TPosition::poScreenCenter)
{
  FWindow = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  // GTK owns top-level windows; our own reference keeps the object valid until the destructor,
  // whoever destroys the widget first.
  g_object_ref(FWindow);

  GtkWidget* content = nullptr;
  if (FKind == TFormKind::Main) {
    content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    FMenuArea = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    FClientArea = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    FBottomArea = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_pack_start(GTK_BOX(content), GTK_WIDGET(FMenuArea), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), GTK_WIDGET(FClientArea), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(content), GTK_WIDGET(FBottomArea), FALSE, FALSE, 0);
  } else {
    FFixed = GTK_FIXED(gtk_fixed_new());
    content = GTK_WIDGET(FFixed);
  }
  gtk_container_add(GTK_CONTAINER(FWindow), content);
  gtk_widget_show_all(content);
  if (FKind == TFormKind::Busy) {
    // A bare pop-up above the others, without taskbar entry; the busy cursor is set once the
    // window exists (RealizeCb).
    gtk_window_set_skip_taskbar_hint(FWindow, TRUE);
    gtk_window_set_skip_pager_hint(FWindow, TRUE);
    gtk_window_set_resizable(FWindow, FALSE);
  }

  ConnectSignal<&DeleteEventCb, TRUE>(FWindow, "delete-event", this);
  ConnectSignal<&WindowStateEventCb>(FWindow, "window-state-event", this);
  ConnectSignal<&RealizeCb>(FWindow, "realize", this, G_CONNECT_AFTER);
  ConnectSignal<&ConfigureEventCb>(FWindow, "configure-event", this);
  ConnectSignal<&MapEventCb>(FWindow, "map-event", this);

  ApplyBorderStyle();
}

TGtkWindowForm::~TGtkWindowForm()
{
  *FAlive = false;
  for (TGtkNestedLoop* loop : FCloseWaiters)
    loop->Quit();
  g_signal_handlers_disconnect_by_data(FWindow, this);
  gtk_widget_destroy(GTK_WIDGET(FWindow));
  g_object_unref(FWindow);
  if (FColorProvider != nullptr)
    g_object_unref(FColorProvider);
}

void TGtkWindowForm::SetCaption(const std::string& Caption)
{
  FCaption = Caption;
  gtk_window_set_title(FWindow, GtkValidUtf8(Caption).c_str());
}

std::string TGtkWindowForm::Caption() const { return FCaption; }

void TGtkWindowForm::SetBorderStyle(TBorderStyle Style)
{
  FBorderStyle = Style;
  // A window asked to leave maximized that the window manager still shows maximized would be
  // mapped again maximized by the unmap and map a new window type takes (GDK maps it with the
  // state it last heard of). The border then follows once the window has left that state.
  if (FWindowState == TWindowState::wsNormal && MaximizedNow() && gtk_widget_get_mapped(GTK_WIDGET(FWindow)) &&
      gtk_window_get_type_hint(FWindow) != TraitsOf(Style).TypeHint) {
    FBorderPending = true;
    return;
  }
  FBorderPending = false;
  ApplyBorderStyle();
}

TBorderStyle TGtkWindowForm::BorderStyle() const { return FBorderStyle; }

void TGtkWindowForm::SetWindowState(TWindowState State)
{
  // GTK remembers a request made before the window is mapped and applies it at map time.
  const bool mapped = gtk_widget_get_mapped(GTK_WIDGET(FWindow));
  const bool wasMaximized = MaximizedNow();
  FWindowState = State;
  switch (State) {
  case TWindowState::wsMaximized: {
    // Keep the fixed size to return to.
    if (mapped && !UserResizable() && !wasMaximized) {
      gtk_window_get_size(FWindow, &FWidth, &FHeight);
      FHasSize = true;
    }
    ApplyResizable();
    ApplyWmHints();
    gtk_window_deiconify(FWindow);
    gtk_window_maximize(FWindow);
    break;
  }
  case TWindowState::wsMinimized: gtk_window_iconify(FWindow); break;
  case TWindowState::wsNormal:
    gtk_window_deiconify(FWindow);
    gtk_window_unmaximize(FWindow);
    // While the window manager still reports the window maximized, the fixed size returns with
    // its state change (WindowStateEventCb).
    ApplyResizable();
    ApplyWmHints();
    break;
  }
}

TWindowState TGtkWindowForm::WindowState() const { return FWindowState; }

void TGtkWindowForm::SetFormStyle(TFormStyle Style)
{
  FFormStyle = Style;
  gtk_window_set_keep_above(FWindow, Style == TFormStyle::fsStayOnTop);
}

TFormStyle TGtkWindowForm::FormStyle() const { return FFormStyle; }

void TGtkWindowForm::SetBounds(int Left, int Top, int Width, int Height)
{
  FLeft = Left;
  FTop = Top;
  FHasPosition = true;
  if (Width > 0 && Height > 0) {
    FWidth = Width;
    FHeight = Height;
    FHasSize = true;
    ApplySize();
  }
  // Before the first show the position is left to SetPosition's rule.
  if (FShownOnce)
    gtk_window_move(FWindow, Left, Top);
}

TFormBounds TGtkWindowForm::Bounds() const
{
  if (!FShownOnce)
    return {FLeft, FTop, FWidth, FHeight};
  TFormBounds bounds;
  gtk_window_get_position(FWindow, &bounds.Left, &bounds.Top);
  gtk_window_get_size(FWindow, &bounds.Width, &bounds.Height);
  return bounds;
}

void TGtkWindowForm::SetConstraints(const TSizeConstraints& Constraints)
{
  FConstraints = Constraints;
  ApplyResizable();
}

void TGtkWindowForm::SetPosition(TPosition Position) { FPosition = Position; }

void TGtkWindowForm::Show()
{
  const bool wasVisible = Visible();
  ApplyInitialPosition();
  gtk_widget_show_all(GTK_WIDGET(FWindow));
  // Presenting a minimized window would restore it.
  if (wasVisible && FWindowState != TWindowState::wsMinimized)
    gtk_window_present(FWindow);
}

TModalResult TGtkWindowForm::ShowModal()
{
  if (FModal)
    return mrCancel;
  const std::shared_ptr<bool> alive = FAlive;
  FModalResult = mrNone;
  FModal = true;
  gtk_window_set_transient_for(FWindow, GtkActiveWindow(FWindow));
  gtk_window_set_modal(FWindow, TRUE);
  Show();
  RunUntilClosed();
  if (!*alive)
    return mrCancel;
  FModal = false;
  gtk_window_set_modal(FWindow, FALSE);
  gtk_window_set_transient_for(FWindow, nullptr);
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TGtkWindowForm::SetModalResult(TModalResult Result)
{
  FModalResult = Result;
  // Inside OnCloseQuery or OnClose the close under way decides; the result is only recorded.
  if (FModal && Result != mrNone && !FClosing)
    RequestClose();
}

TModalResult TGtkWindowForm::ModalResult() const { return FModalResult; }

void TGtkWindowForm::SetMainMenu(TMainMenu* Menu)
{
  if (FMenuArea == nullptr)
    return;
  if (FMenuBar == nullptr)
    FMenuBar = std::make_unique<TGtkMenuBar>(FMenuArea);
  FMenuBar->SetMenu(Menu);
}

void TGtkWindowForm::MenuChanged()
{
  if (FMenuBar != nullptr)
    FMenuBar->Rebuild();
}

void TGtkWindowForm::Close() { RequestClose(); }

bool TGtkWindowForm::Visible() const { return gtk_widget_get_visible(GTK_WIDGET(FWindow)); }

void TGtkWindowForm::SetFocus() { gtk_window_present(FWindow); }

void TGtkWindowForm::RunUntilClosed()
{
  const std::shared_ptr<bool> alive = FAlive;
  TGtkNestedLoop loop;
  FCloseWaiters.push_back(&loop);
  loop.Run();
  if (*alive)
    std::erase(FCloseWaiters, &loop);
}

void TGtkWindowForm::RequestClose()
{
  // A close requested from inside OnCloseQuery or OnClose joins the one under way.
  if (FClosing)
    return;
  FClosing = true;
  const std::shared_ptr<bool> alive = FAlive;

  // The handlers run from copies, so that one that frees the form does not free itself.
  bool canClose = true;
  if (const std::function<void(bool&)> closeQuery = OnCloseQuery)
    GuardedCall("OnCloseQuery", [&] { closeQuery(canClose); });
  if (!*alive)
    return;
  if (!canClose) {
    if (FModal)
      FModalResult = mrNone;
    FClosing = false;
    return;
  }

  if (FModal && FModalResult == mrNone)
    FModalResult = mrCancel;
  gtk_widget_hide(GTK_WIDGET(FWindow));
  if (const std::function<void()> onClose = OnClose)
    GuardedCall("OnClose", onClose);
  if (!*alive)
    return;
  FClosing = false;
  NotifyClosed();
}

void TGtkWindowForm::NotifyClosed()
{
  for (TGtkNestedLoop* loop : FCloseWaiters)
    loop->Quit();
}

bool TGtkWindowForm::MaximizedNow() const
{
  if (FWindowState == TWindowState::wsMaximized)
    return true;
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(FWindow));
  return window != nullptr && gtk_widget_get_mapped(GTK_WIDGET(FWindow)) &&
         (gdk_window_get_state(window) & GDK_WINDOW_STATE_MAXIMIZED) != 0;
}

bool TGtkWindowForm::UserResizable() const { return TraitsOf(FBorderStyle).Resizable; }

void TGtkWindowForm::ApplyBorderStyle()
{
  const TBorderTraits& traits = TraitsOf(FBorderStyle);
  GtkWidget* widget = GTK_WIDGET(FWindow);
  if (gtk_window_get_type_hint(FWindow) == traits.TypeHint || !gtk_widget_get_mapped(widget)) {
    // The size hints go first: a window manager redraws the frame when the decorations change,
    // and the frame's resize handles depend on whether the size is fixed.
    gtk_window_set_type_hint(FWindow, traits.TypeHint);
    ApplyResizable();
    gtk_window_set_decorated(FWindow, traits.Decorated);
    ApplyWmHints();
    return;
  }

  // Window managers read the window type only when a window is mapped, so a visible window is
  // unmapped and mapped again at the place and size it had. GTK keeps the maximized, minimized
  // and keep-above states across the unmap. Everything is set while the window is unmapped, so
  // the window manager finds it all, the position included, when the window comes back.
  const bool restoreGeometry = !MaximizedNow();
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  gtk_window_get_position(FWindow, &left, &top);
  gtk_window_get_size(FWindow, &width, &height);
  FRemapping = true;
  gtk_widget_hide(widget);
  gtk_window_set_type_hint(FWindow, traits.TypeHint);
  gtk_window_set_decorated(FWindow, traits.Decorated);
  ApplyResizable();
  ApplyWmHints();
  if (restoreGeometry) {
    gtk_window_move(FWindow, left, top);
    gtk_window_set_default_size(FWindow, width, height);
    gtk_window_resize(FWindow, width, height);
  }
  gtk_widget_show(widget);
}

void TGtkWindowForm::ApplyResizable(THintsDelivery Delivery)
{
  const bool userResizable = UserResizable();
  gtk_window_set_resizable(FWindow, userResizable || MaximizedNow());

  // A fixed-size window has no limits of its own to respect: its size is the one set.
  GdkGeometry geometry{};
  unsigned mask = 0;
  if (userResizable) {
    if (FConstraints.MinWidth > 0 || FConstraints.MinHeight > 0) {
      geometry.min_width = std::max(FConstraints.MinWidth, 0);
      geometry.min_height = std::max(FConstraints.MinHeight, 0);
      mask |= GDK_HINT_MIN_SIZE;
    }
    if (FConstraints.MaxWidth > 0 || FConstraints.MaxHeight > 0) {
      geometry.max_width = FConstraints.MaxWidth > 0 ? FConstraints.MaxWidth : kUnlimited;
      geometry.max_height = FConstraints.MaxHeight > 0 ? FConstraints.MaxHeight : kUnlimited;
      mask |= GDK_HINT_MAX_SIZE;
    }
  }
  gtk_window_set_geometry_hints(FWindow, nullptr, &geometry, static_cast<GdkWindowHints>(mask));
  // GTK sends new size hints with its next layout pass. The window manager must see them
  // before what follows (a maximize request, the Motif hints that make it redraw the frame),
  // so a mapped window sends them now.
  if (Delivery == THintsDelivery::Now && gtk_widget_get_mapped(GTK_WIDGET(FWindow)))
    gtk_container_check_resize(GTK_CONTAINER(FWindow));
}

void TGtkWindowForm::ApplyWmHints()
{
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(FWindow));
  if (window == nullptr)
    return;
  const TBorderTraits& traits = TraitsOf(FBorderStyle);
  if (traits.Decorated)
    gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(traits.Decorations));
  unsigned functions = traits.Functions;
  if (functions != GDK_FUNC_ALL && MaximizedNow())
    functions |= GDK_FUNC_RESIZE | GDK_FUNC_MAXIMIZE;
  gdk_window_set_functions(window, static_cast<GdkWMFunction>(functions));
}

void TGtkWindowForm::ApplySize()
{
  if (!FHasSize)
    return;
  gtk_window_set_default_size(FWindow, FWidth, FHeight);
  gtk_window_resize(FWindow, FWidth, FHeight);
}

void TGtkWindowForm::ApplyInitialPosition()
{
  if (FShownOnce)
    return;
  FShownOnce = true;
  switch (FPosition) {
  case TPosition::poDesktopCenter:
  case TPosition::poScreenCenter:
    // GTK centres the client area, as it does not know the frame yet; the frame is centred once
    // the window manager has drawn it (CentreFrame).
    gtk_window_set_position(FWindow, GTK_WIN_POS_CENTER);
    FCentreFramePending = true;
    break;
  case TPosition::poDesigned:
    gtk_window_set_position(FWindow, GTK_WIN_POS_NONE);
    if (FHasPosition)
      gtk_window_move(FWindow, FLeft, FTop);
    break;
  case TPosition::poDefaultPosOnly: gtk_window_set_position(FWindow, GTK_WIN_POS_NONE); break;
  }
}

gboolean TGtkWindowForm::DeleteEventCb(GtkWidget*, GdkEvent*, gpointer Self)
{
  // The close protocol decides; GTK must never destroy the window by itself (the signal is
  // connected with TRUE as the answer of a handler that fails, too).
  static_cast<TGtkWindowForm*>(Self)->RequestClose();
  return TRUE;
}

gboolean TGtkWindowForm::WindowStateEventCb(GtkWidget*, GdkEventWindowState* Event, gpointer Self)
{
  static_cast<TGtkWindowForm*>(Self)->WindowStateChanged(*Event);
  return FALSE;
}

void TGtkWindowForm::WindowStateChanged(const GdkEventWindowState& Event)
{
  TGtkWindowForm* self = this;
  const auto changed = static_cast<unsigned>(Event.changed_mask);
  const auto state = static_cast<unsigned>(Event.new_window_state);
  // A hidden window keeps the state it will be shown in. So does a window that a border change
  // has unmapped: what the window manager reports until it is mapped again is its forgetting
  // the state over the unmap, not a change the user made (MapEventCb brings the state back).
  if ((changed & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED)) == 0 ||
      (state & GDK_WINDOW_STATE_WITHDRAWN) != 0 || FRemapping)
    return;

  const bool leftMaximized = (changed & GDK_WINDOW_STATE_MAXIMIZED) != 0 && (state & GDK_WINDOW_STATE_MAXIMIZED) == 0;
  if ((state & GDK_WINDOW_STATE_ICONIFIED) != 0)
    self->FWindowState = TWindowState::wsMinimized;
  else if ((state & GDK_WINDOW_STATE_MAXIMIZED) != 0)
    self->FWindowState = TWindowState::wsMaximized;
  else
    self->FWindowState = TWindowState::wsNormal;

  // Sending the hints at once from here, while the window manager is still restoring the
  // window, makes GTK move it to where it was maximized; the next layout pass sends them.
  self->ApplyResizable(THintsDelivery::WithNextLayout);
  self->ApplyWmHints();
  // A border change that waited for this goes first: its unmap and map keep the size the window
  // has now, which the fixed size below then replaces.
  if (leftMaximized && self->FBorderPending) {
    self->FBorderPending = false;
    self->ApplyBorderStyle();
  }
  // Back from maximized, a fixed-size window takes its own size again, not the maximized one.
  if (leftMaximized && !self->UserResizable())
    self->ApplySize();
}

gboolean TGtkWindowForm::MapEventCb(GtkWidget*, GdkEvent*, gpointer Self)
{
  // GTK asks for the maximized state again when it maps the window after a border change, but a
  // window manager that has not yet handled the unmap may map the window without it. Asking
  // once more is harmless when the window is maximized already.
  auto* self = static_cast<TGtkWindowForm*>(Self);
  if (self->FRemapping) {
    self->FRemapping = false;
    if (self->FWindowState == TWindowState::wsMaximized)
      gtk_window_maximize(self->FWindow);
  }
  return FALSE;
}

gboolean TGtkWindowForm::ConfigureEventCb(GtkWidget*, GdkEventConfigure*, gpointer Self)
{
  static_cast<TGtkWindowForm*>(Self)->CentreFrame();
  return FALSE;
}

void TGtkWindowForm::CentreFrame()
{
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(FWindow));
  if (!FCentreFramePending || window == nullptr || !gtk_widget_get_mapped(GTK_WIDGET(FWindow)))
    return;
  // A window shown maximized, minimized or full screen has no placement of its own.
  if ((gdk_window_get_state(window) &
       (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_FULLSCREEN)) != 0) {
    FCentreFramePending = false;
    return;
  }
  GdkRectangle frame{};
  gdk_window_get_frame_extents(window, &frame);
  const int clientWidth = gdk_window_get_width(window);
  const int clientHeight = gdk_window_get_height(window);
  // Until the window manager has framed a decorated window, the frame is the client area alone.
  if (gtk_window_get_decorated(FWindow) && frame.width <= clientWidth && frame.height <= clientHeight)
    return;
  FCentreFramePending = false;
  GdkMonitor* monitor = gdk_display_get_monitor_at_window(gdk_window_get_display(window), window);
  if (monitor == nullptr)
    return;
  GdkRectangle screen{};
  gdk_monitor_get_geometry(monitor, &screen);
  const int left = screen.x + (screen.width - frame.width) / 2;
  const int top = screen.y + (screen.height - frame.height) / 2;
  // With the default gravity the position asked for is that of the frame's top-left corner.
  if (left != frame.x || top != frame.y)
    gtk_window_move(FWindow, left, top);
}

void TGtkWindowForm::RealizeCb(GtkWidget*, gpointer Self)
{
  auto* self = static_cast<TGtkWindowForm*>(Self);
  self->ApplyWmHints();
  if (self->FKind == TFormKind::Busy) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(self->FWindow));
    GdkCursor* cursor = gdk_cursor_new_from_name(gdk_window_get_display(window), "progress");
    gdk_window_set_cursor(window, cursor);
    if (cursor != nullptr)
      g_object_unref(cursor);
  }
}

void TGtkWindowForm::SetColor(uint32_t Rgb)
{
  // A provider of the window's own, above the application's theme.
  if (FColorProvider == nullptr) {
    FColorProvider = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(GTK_WIDGET(FWindow)),
                                   GTK_STYLE_PROVIDER(FColorProvider), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 10);
  }
  char css[64];
  std::snprintf(css, sizeof css, "window { background-color: #%06X; }", Rgb & 0xFFFFFFU);
  gtk_css_provider_load_from_data(FColorProvider, css, -1, nullptr);
}

} // namespace velmora
