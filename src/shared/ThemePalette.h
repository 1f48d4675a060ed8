// TThemePalette: the colours a theme gives the native windows, and the colour mixer that derives
// the colours a theme does not name.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The colours of the native windows (window, menu bar and menus, dialogs, edits). Colours are
// 0xRRGGBB.
struct TThemePalette {
  std::string Name;
  uint32_t Window = 0; // window and dialog background
  uint32_t WindowText = 0;
  uint32_t MenuBar = 0; // menu bar background
  uint32_t MenuBarText = 0;
  uint32_t Menu = 0; // drop-down menu background
  uint32_t MenuText = 0;
  uint32_t Highlight = 0; // selected menu item, focused controls
  uint32_t HighlightText = 0;
  uint32_t Button = 0;
  uint32_t ButtonText = 0;
  uint32_t Edit = 0; // text field background
  uint32_t EditText = 0;
  uint32_t Border = 0;
  uint32_t DisabledText = 0;
};

// Mixes two 0xRRGGBB colours: Amount (0..1) of B into A, each channel rounded.
constexpr uint32_t MixColours(uint32_t A, uint32_t B, double Amount)
{
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double a = (A >> shift) & 0xFFU;
    const double b = (B >> shift) & 0xFFU;
    // Adding a half and truncating rounds correctly here, as no channel is negative; std::lround
    // would not be constexpr.
    result |= static_cast<uint32_t>(a + (b - a) * Amount + 0.5) << shift; // NOLINT(bugprone-incorrect-roundings)
  }
  return result;
}

// Whether two colours are about the same to the eye (the channels differ by less than 60 in all).
constexpr bool CloseColours(uint32_t A, uint32_t B)
{
  int distance = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int a = static_cast<int>((A >> shift) & 0xFFU);
    const int b = static_cast<int>((B >> shift) & 0xFFU);
    distance += a > b ? a - b : b - a;
  }
  return distance < 60;
}

// The colours of the selected item of a bar or menu with the given background and text: the
// palette's highlight, unless the bar or menu already has about that colour (several themes
// paint the menu bar in their accent colour), in which case a shade of the background towards
// its text marks the item instead.
struct TSelectionColours {
  uint32_t Background;
  uint32_t Text;
};
constexpr TSelectionColours SelectionColours(const TThemePalette& Palette, uint32_t Background, uint32_t Text)
{
  if (!CloseColours(Palette.Highlight, Background))
    return {Palette.Highlight, Palette.HighlightText};
  return {MixColours(Background, Text, 0.25), Text};
}

// Whether a palette is dark: its window colour is darker than mid-grey.
constexpr bool IsDarkPalette(const TThemePalette& Palette)
{
  const uint32_t c = Palette.Window;
  return ((c >> 16) & 0xFFU) * 299 + ((c >> 8) & 0xFFU) * 587 + (c & 0xFFU) * 114 < 128 * 1000;
}

} // namespace velmora
