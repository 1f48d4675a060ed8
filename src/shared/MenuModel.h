// The main menu as the bridge builds it: items, their images, and the palette a theme gives
// the native windows. The native layer draws these; the units never touch toolkit objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// A decoded image: 8-bit RGBA pixels, row by row, no padding.
struct TBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgba;
};

class TMenuItem {
public:
  std::string Caption;   // "-" is a separator; "&" marks the access key, "&&" a literal "&"
  int32_t Tag = 0;       // the item's id
  bool Enabled = true;
  int ImageIndex = -1;   // index into the menu's image collection, -1 for none
  std::string ImageName; // "MainMenuImg<n>", empty for none
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

// The colours a theme gives the native windows (window, menu bar and menus, dialogs, edits).
// Colours are 0xRRGGBB.
struct TThemePalette {
  std::string Name;
  uint32_t Window = 0;         // window and dialog background
  uint32_t WindowText = 0;
  uint32_t MenuBar = 0;        // menu bar background
  uint32_t MenuBarText = 0;
  uint32_t Menu = 0;           // drop-down menu background
  uint32_t MenuText = 0;
  uint32_t Highlight = 0;      // selected menu item, focused controls
  uint32_t HighlightText = 0;
  uint32_t Button = 0;
  uint32_t ButtonText = 0;
  uint32_t Edit = 0;           // text field background
  uint32_t EditText = 0;
  uint32_t Border = 0;
  uint32_t DisabledText = 0;
};

} // namespace velmora
