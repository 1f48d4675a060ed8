// The theme catalogue and the process-wide active theme.
#include "StylesUtils.h"

#include "ExeZip.h"
#include "NativeLayer.h"

#include <algorithm>
#include <mutex>

namespace velmora {

const std::array<TThemeEntry, 40> ThemeCatalogue = {{
  {"Windows", ""},
  {"Amakrits", "AMAKRITS"},
  {"Amethyst Kamri", "AMETHYSTKAMRI"},
  {"Aqua Graphite", "AQUAGRAPHITE"},
  {"Aqua Light Slate", "AQUALIGHTSLATE"},
  {"Auric", "AURIC"},
  {"Carbon", "CARBON"},
  {"Charcoal Dark Slate", "CHARCOALDARKSLATE"},
  {"Cobalt XEMedia", "COBALTXEMEDIA"},
  {"Cyan Dusk", "CYANDUSK"},
  {"Cyan Night", "CYANNIGHT"},
  {"Emerald Light Slate", "EMERALDLIGHTSLATE"},
  {"Glossy", "GLOSSY"},
  {"Glow", "GLOW"},
  {"Golden Graphite", "GOLDENGRAPHITE"},
  {"Iceberg Classico", "ICEBERGCLASSICO"},
  {"Lavender Classico", "LAVENDERCLASSICO"},
  {"Light", "LIGHT"},
  {"Luna", "LUNA"},
  {"Metropolis UI Black", "METROPOLISUIBLACK"},
  {"Metropolis UI Blue", "METROPOLISUIBLUE"},
  {"Metropolis UI Dark", "METROPOLISUIDARK"},
  {"Metropolis UI Green", "METROPOLISUIGREEN"},
  {"Obsidian", "OBSIDIAN"},
  {"Onyx Blue", "ONYXBLUE"},
  {"Ruby Graphite", "RUBYGRAPHITE"},
  {"Sapphire Kamri", "SAPPHIREKAMRI"},
  {"Silver", "SILVER"},
  {"Sky", "SKY"},
  {"Slate Classico", "SLATECLASSICO"},
  {"Smokey Quartz Kamri", "SMOKEYQUARTZKAMRI"},
  {"Tablet Dark", "TABLETDARK"},
  {"Tablet Light", "TABLETLIGHT"},
  {"Turquoise Gray", "TURQUOISEGRAY"},
  {"Windows10", "WINDOWS"},
  {"Windows10 Blue", "WINDOWSBLUE"},
  {"Windows10 Dark", "WINDOWSDARK"},
  {"Windows10 Green", "WINDOWSGREEN"},
  {"Windows10 Purple", "WINDOWSPURPLE"},
  {"Windows10 SlateGray", "WINDOWSSLATEGRAY"},
}};

namespace {
std::mutex GLock;
std::string GActiveTheme(kSystemThemeName);
} // namespace

void TStylesUtils::GetAvailables(std::vector<std::string>& ThemesList, bool Sorted)
{
  ThemesList.clear();
  for (const TThemeEntry& entry : ThemeCatalogue)
    ThemesList.emplace_back(entry.Name);
  if (Sorted) {
    std::stable_sort(ThemesList.begin(), ThemesList.end(),
                     [](const std::string& a, const std::string& b) { return AsciiLower(a) < AsciiLower(b); });
  }
}

void TStylesUtils::TrySetStyle(const std::string& ThemeName, bool ShowError)
{
  const std::string wanted = AsciiLower(ThemeName);
  for (const TThemeEntry& entry : ThemeCatalogue) {
    if (AsciiLower(entry.Name) == wanted) {
      const std::lock_guard lock(GLock);
      GActiveTheme = entry.Name;
      return;
    }
  }
  if (ShowError) {
    TMessageDialogSpec spec;
    spec.Message = "Style '" + ThemeName + "' not found";
    spec.Type = TMsgDlgType::mtError;
    spec.Buttons = {TMsgDlgBtn::mbClose};
    spec.Position = TPosition::poScreenCenter;
    Native().MessageDialog(spec);
  }
}

std::string TStylesUtils::GetActiveTheme()
{
  const std::lock_guard lock(GLock);
  return GActiveTheme;
}

} // namespace velmora
