// TStylesUtils: the catalogue of the 40 themes, the active theme and the theme switch.
#pragma once

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
};

} // namespace velmora
