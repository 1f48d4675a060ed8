// TGtkMenuBar: builds GTK menus from the portable menu model and delivers the clicks.
#include "GtkMenuBar.h"

#include "GtkImages.h"
#include "GtkSupport.h"

#include <functional>

namespace velmora {

namespace {

// Menu images are drawn in a square of this many logical pixels.
constexpr int kMenuImageSide = 16;
constexpr int kImageSpacing = 6;

// The closure of an item's "activate" handler. It is freed with the widget, so the item pointer
// never outlives the build that made it.
struct TClickData {
  TMenuItem* Item;
  std::weak_ptr<int> Build;
};

// A click on its way to the item, delivered from an idle callback.
struct TPendingClick {
  TMenuItem* Item;
  std::weak_ptr<int> Build;
};

gboolean DeliverClickCb(gpointer Data)
{
  const auto* click = static_cast<TPendingClick*>(Data);
  // A rebuild since the click means the model may have dropped the item: the click goes nowhere.
  if (const std::shared_ptr<int> build = click->Build.lock()) {
    TMenuItem& item = *click->Item;
    // The handler runs from a copy: a page that answers the click by building a new menu
    // destroys the item, and the item's own function with it, while the handler still runs.
    if (const std::function<void(TMenuItem&)> onClick = item.OnClick)
      GuardedCall("a menu item's OnClick", [&] { onClick(item); });
  }
  return G_SOURCE_REMOVE;
}

void FreePendingClick(gpointer Data) { delete static_cast<TPendingClick*>(Data); }

void ItemActivateCb(GtkMenuItem*, gpointer Data)
{
  // The click is deferred until GTK has closed the menu and left its signal handlers, so the
  // handler may rebuild the menu (or open a modal dialog) without pulling widgets out from
  // under GTK.
  const auto* data = static_cast<TClickData*>(Data);
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, GuardedCallback<&DeliverClickCb>, new TPendingClick{data->Item, data->Build},
                  FreePendingClick);
}

void FreeClickData(gpointer Data, GClosure*) { delete static_cast<TClickData*>(Data); }

} // namespace

std::string GtkMnemonicCaption(const std::string& Caption)
{
  std::string result;
  result.reserve(Caption.size() + 4);
  bool marked = false;
  for (size_t i = 0; i < Caption.size(); ++i) {
    const char c = Caption[i];
    if (c == '_') {
      result += "__";
    } else if (c != '&' || i + 1 == Caption.size()) {
      result += c; // a trailing "&" has nothing to mark and stays as written
    } else if (Caption[i + 1] == '&') {
      result += '&';
      ++i;
    } else if (!marked && Caption[i + 1] != '_') {
      // GTK takes only one mnemonic per label; the first "&" marks it.
      result += '_';
      marked = true;
    }
  }
  return result;
}

TGtkMenuBar::TGtkMenuBar(GtkBox* Area) : FArea(Area)
{
  // The area may be destroyed with its window before this object goes.
  g_object_ref(FArea);
  ConnectSignal<&ScaleFactorChangedCb>(FArea, "notify::scale-factor", this);
}

TGtkMenuBar::~TGtkMenuBar()
{
  FBuild.reset();
  // By data, not by id: destroying the area has dropped its handlers already.
  g_signal_handlers_disconnect_by_data(FArea, this);
  RemoveBar();
  g_object_unref(FArea);
}

void TGtkMenuBar::SetMenu(TMainMenu* Menu)
{
  FMenu = Menu;
  Rebuild();
}

void TGtkMenuBar::RemoveBar()
{
  if (FBar == nullptr)
    return;
  gtk_widget_destroy(FBar);
  g_object_unref(FBar);
  FBar = nullptr;
}

void TGtkMenuBar::Rebuild()
{
  // Clicks still on their way from the previous build are dropped with it.
  FBuild = std::make_shared<int>(0);
  if (FMenu == nullptr || FMenu->Items.empty()) {
    // An attached menu without items shows no empty strip.
    RemoveBar();
    return;
  }
  // The bar itself stays, so the page below does not move; its items are made anew.
  if (FBar == nullptr) {
    FBar = gtk_menu_bar_new();
    g_object_ref_sink(FBar);
    gtk_box_pack_start(FArea, FBar, FALSE, FALSE, 0);
  } else {
    GList* children = gtk_container_get_children(GTK_CONTAINER(FBar));
    for (GList* child = children; child != nullptr; child = child->next)
      gtk_widget_destroy(GTK_WIDGET(child->data));
    g_list_free(children);
  }
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(FArea));
  for (const auto& item : FMenu->Items)
    gtk_menu_shell_append(GTK_MENU_SHELL(FBar), BuildItem(*item, false, scale));
  gtk_widget_show_all(FBar);
}

bool TGtkMenuBar::HasImage(const TMenuItem& Item) const
{
  return Item.ImageIndex >= 0 && static_cast<size_t>(Item.ImageIndex) < FMenu->Images.size();
}

GtkWidget* TGtkMenuBar::BuildItem(TMenuItem& Item, bool ReserveImage, int ScaleFactor)
{
  if (Item.Caption == "-")
    return gtk_separator_menu_item_new();

  GtkWidget* widget = gtk_menu_item_new();
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kImageSpacing);
  GtkWidget* image = nullptr;
  if (HasImage(Item)) {
    if (cairo_surface_t* surface = GtkBitmapSurface(FMenu->Images[static_cast<size_t>(Item.ImageIndex)], kMenuImageSide,
                                                    ScaleFactor, !Item.Enabled)) {
      image = gtk_image_new_from_surface(surface);
      cairo_surface_destroy(surface);
    }
  }
  // In a drop-down menu where some item has an image, the others keep the image column empty
  // so that every caption starts at the same place.
  if (image == nullptr && ReserveImage) {
    image = gtk_image_new();
    gtk_widget_set_size_request(image, kMenuImageSide, kMenuImageSide);
  }
  if (image != nullptr)
    gtk_box_pack_start(GTK_BOX(box), image, FALSE, FALSE, 0);

  GtkWidget* label = gtk_accel_label_new("");
  gtk_label_set_text_with_mnemonic(GTK_LABEL(label), GtkMnemonicCaption(GtkValidUtf8(Item.Caption)).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
  gtk_accel_label_set_accel_widget(GTK_ACCEL_LABEL(label), widget);
  gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(widget), box);

  gtk_widget_set_sensitive(widget, Item.Enabled);
  if (Item.HasSubmenu) {
    // Even without children the item opens a (then empty) menu and raises no click.
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), BuildSubmenu(Item, ScaleFactor));
  } else {
    ConnectSignal<&ItemActivateCb>(widget, "activate", new TClickData{&Item, FBuild}, GConnectFlags{}, FreeClickData);
  }
  return widget;
}

GtkWidget* TGtkMenuBar::BuildSubmenu(TMenuItem& Item, int ScaleFactor)
{
  GtkWidget* menu = gtk_menu_new();
  bool anyImage = false;
  for (const auto& child : Item.Items)
    anyImage = anyImage || (child->Caption != "-" && HasImage(*child));
  for (const auto& child : Item.Items)
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), BuildItem(*child, anyImage, ScaleFactor));
  return menu;
}

void TGtkMenuBar::ScaleFactorChangedCb(GObject*, GParamSpec*, gpointer Self)
{
  // The images were drawn for the old scale; on another screen they would be blurred.
  auto* self = static_cast<TGtkMenuBar*>(Self);
  if (self->FBar != nullptr)
    self->Rebuild();
}

} // namespace velmora
