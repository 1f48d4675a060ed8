// TStylesUtils: the catalogue of the 40 themes, the active theme and the theme switch.
#pragma once

#include "Bitmap.h"
#include "ThemePalette.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct TThemeEntry {
  std::string_view Name;         // the theme's name, as pages and settings use it
  std::string_view ResourceName; // the embedded style it comes from; empty for the system look
};

// "Windows" (the system look) first, then the 39 styles in catalogue order.
extern const std::array<TThemeEntry, 40> ThemeCatalogue;

inline constexpr std::string_view kSystemThemeName = "Windows";

class TStylesUtils {
public:
  TStylesUtils() = delete;

  // Every theme name; sorted ignoring letter case when Sorted is true.
  static void GetAvailables(std::vector<std::string>& ThemesList, bool Sorted);
  // Makes the theme of that name (letter case ignored) active. An unknown name leaves the
  // active theme; with ShowError it shows "Style '<name>' not found" with a Close button.
  static void TrySetStyle(const std::string& ThemeName, bool ShowError);
  static std::string GetActiveTheme();
  // Draws a sample of the named theme's colours (a window with a menu bar, a selected item,
  // text and a button) into Target. "Windows" has no sample: it throws std::runtime_error
  // "Not available "Windows" preview.", as does a name that is not a theme.
  static void DrawThemePreview(const std::string& ThemeName, TBitmap& Target);

  // The palette of a theme of the catalogue (exact name), nullptr for "Windows" and unknown names.
  static const TThemePalette* FindPalette(std::string_view ThemeName);
};

} // namespace velmora
