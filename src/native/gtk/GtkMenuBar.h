// TGtkMenuBar: the GtkMenuBar a main form shows for its TMainMenu.
#pragma once

#include "MenuModel.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A caption with "&" access keys in GTK's mnemonic syntax: the first "&x" becomes "_x", "&&" a
// literal "&", "_" a literal "__". Later "&" marks lose the "&" and keep their character.
std::string GtkMnemonicCaption(const std::string& Caption);

// Draws a TMainMenu as a GtkMenuBar packed into a form's menu area. The bar exists only while a
// menu with at least one item is attached. Every change of the model is followed by Rebuild(),
// which throws the GTK menus away and builds them again from the model, so no widget outlives
// the items it was made from.
class TGtkMenuBar {
public:
  explicit TGtkMenuBar(GtkBox* Area);
  ~TGtkMenuBar();
  TGtkMenuBar(const TGtkMenuBar&) = delete;
  TGtkMenuBar& operator=(const TGtkMenuBar&) = delete;

  // Attaches Menu and draws it as it is now (nullptr removes the bar).
  void SetMenu(TMainMenu* Menu);
  // Draws the attached menu anew after its model changed. Clicks made on the previous build and
  // not yet delivered are dropped, since the model may no longer hold their items.
  void Rebuild();

private:
  static void ScaleFactorChangedCb(GObject* Object, GParamSpec* Property, gpointer Self);

  void RemoveBar();
  GtkWidget* BuildItem(TMenuItem& Item, bool ReserveImage, int ScaleFactor);
  GtkWidget* BuildSubmenu(TMenuItem& Item, int ScaleFactor);
  bool HasImage(const TMenuItem& Item) const;

  GtkBox* FArea;
  GtkWidget* FBar = nullptr;
  TMainMenu* FMenu = nullptr;
  // Replaced by every build: a click reaches its item only while the build it came from is the
  // current one, since the model may have dropped the item since.
  std::shared_ptr<int> FBuild;
};

} // namespace velmora
