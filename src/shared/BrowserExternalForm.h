// TBrowserExternalForm: the never-shown holder of the main menu and its image collection.
#pragma once

#include "MenuModel.h"

namespace velmora {

// The bridge module owns one; the menu is attached to the main window the first time a page
// sets items, and goes away with the module.
class TBrowserExternalForm {
public:
  TMainMenu MainMenu;
};

} // namespace velmora
