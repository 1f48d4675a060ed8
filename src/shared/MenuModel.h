// The main menu as the bridge builds it: items and their images. The native layer draws it; the
// units never touch toolkit objects.
#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class TMenuItem {
public:
  std::string Caption; // "-" is a separator; "&" marks the access key, "&&" a literal "&"
  int32_t Tag = 0;     // the item's id
  bool Enabled = true;
  int ImageIndex = -1;     // index into the menu's image collection, -1 for none
  std::string ImageName;   // "MainMenuImg<n>", empty for none
  bool HasSubmenu = false; // true when the JSON gave "items", even an empty array
  std::vector<std::unique_ptr<TMenuItem>> Items;
  // Set on items without sub-items; raised when the user picks the item.
  std::function<void(TMenuItem& Sender)> OnClick;
};

// The menu bar: top-level items and the image collection their ImageIndex refers to.
struct TMainMenu {
  std::vector<std::unique_ptr<TMenuItem>> Items;
  std::vector<TBitmap> Images; // decoded, at their own size; drawn 16 x 16 scaled by the screen
  std::vector<std::string> ImageNames;
};

} // namespace velmora
