// The theme catalogue and the process-wide active theme.
#include "StylesUtils.h"

#include "ExeZip.h"
#include "NativeLayer.h"
#include "Resources.h"
#include "TextHelpers.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

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

uint32_t ParseColour(const rapidjson::Value& Theme, const char* Key)
{
  const auto member = Theme.FindMember(Key);
  if (member == Theme.MemberEnd() || !member->value.IsString())
    throw std::logic_error(std::string("theme colour missing: ") + Key);
  const std::string text = member->value.GetString();
  return static_cast<uint32_t>(std::stoul(text.substr(text.starts_with("#") ? 1 : 0), nullptr, 16));
}

double Luminance(uint32_t Colour)
{
  return 0.299 * ((Colour >> 16) & 0xFF) + 0.587 * ((Colour >> 8) & 0xFF) + 0.114 * (Colour & 0xFF);
}

// The palettes of the 39 styles, from the embedded resources/themes.json: five colours per
// theme, from which the rest are derived so every theme stays readable.
const std::map<std::string, TThemePalette, std::less<>>& Palettes()
{
  static const std::map<std::string, TThemePalette, std::less<>> palettes = [] {
    std::map<std::string, TThemePalette, std::less<>> result;
    const std::string_view json = FindResource("THEMES");
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (document.HasParseError() || !document.IsObject() || !document.HasMember("themes"))
      throw std::logic_error("the embedded theme palettes are damaged");
    for (const rapidjson::Value& theme : document["themes"].GetArray()) {
      TThemePalette palette;
      palette.Name = theme["name"].GetString();
      palette.Window = ParseColour(theme, "window");
      palette.WindowText = ParseColour(theme, "text");
      palette.Highlight = ParseColour(theme, "accent");
      palette.MenuBar = ParseColour(theme, "menuBar");
      palette.MenuBarText = ParseColour(theme, "menuBarText");
      const bool dark = Luminance(palette.Window) < 128;
      palette.Menu = MixColours(palette.Window, dark ? 0x000000 : 0xFFFFFF, 0.35);
      palette.MenuText = palette.WindowText;
      palette.HighlightText = Luminance(palette.Highlight) < 150 ? 0xFFFFFF : 0x000000;
      palette.Button = MixColours(palette.Window, palette.WindowText, 0.10);
      palette.ButtonText = palette.WindowText;
      palette.Edit = MixColours(palette.Window, dark ? 0x000000 : 0xFFFFFF, 0.6);
      palette.EditText = palette.WindowText;
      palette.Border = MixColours(palette.Window, palette.WindowText, 0.30);
      palette.DisabledText = MixColours(palette.Window, palette.WindowText, 0.45);
      result.emplace(palette.Name, palette);
    }
    return result;
  }();
  return palettes;
}

void FillRect(TBitmap& Target, int Left, int Top, int Width, int Height, uint32_t Colour)
{
  for (int y = std::max(0, Top); y < std::min(Target.Height, Top + Height); ++y) {
    for (int x = std::max(0, Left); x < std::min(Target.Width, Left + Width); ++x) {
      uint8_t* pixel =
        &Target.Rgba[(static_cast<size_t>(y) * static_cast<size_t>(Target.Width) + static_cast<size_t>(x)) * 4];
      pixel[0] = static_cast<uint8_t>(Colour >> 16);
      pixel[1] = static_cast<uint8_t>(Colour >> 8);
      pixel[2] = static_cast<uint8_t>(Colour);
      pixel[3] = 0xFF;
    }
  }
}
} // namespace

const TThemePalette* TStylesUtils::FindPalette(std::string_view ThemeName)
{
  const auto& palettes = Palettes();
  const auto found = palettes.find(ThemeName);
  return found == palettes.end() ? nullptr : &found->second;
}

void TStylesUtils::DrawThemePreview(const std::string& ThemeName, TBitmap& Target)
{
  const TThemePalette* palette = nullptr;
  for (const TThemeEntry& entry : ThemeCatalogue) {
    if (text::AsciiLower(entry.Name) == text::AsciiLower(ThemeName))
      palette = FindPalette(entry.Name);
  }
  if (palette == nullptr)
    throw std::runtime_error("Not available \"" + ThemeName + "\" preview.");
  if (Target.Width <= 0 || Target.Height <= 0) {
    Target.Width = 160;
    Target.Height = 100;
  }
  Target.Rgba.assign(static_cast<size_t>(Target.Width) * static_cast<size_t>(Target.Height) * 4, 0);
  const int w = Target.Width;
  const int h = Target.Height;
  FillRect(Target, 0, 0, w, h, palette->Border);
  FillRect(Target, 1, 1, w - 2, h - 2, palette->Window);
  FillRect(Target, 1, 1, w - 2, h / 8, palette->MenuBar);           // menu bar
  FillRect(Target, 4, h / 16 - 1, w / 6, 2, palette->MenuBarText);  // its caption
  FillRect(Target, 4, h / 8 + 4, w / 2, h / 8, palette->Highlight); // selected item
  FillRect(Target, 8, h / 8 + 4 + h / 16 - 1, w / 4, 2, palette->HighlightText);
  for (int line = 0; line < 3; ++line) // text
    FillRect(Target, 8, h / 2 + line * (h / 10), w / 2 - line * (w / 10), 2, palette->WindowText);
  FillRect(Target, w - w / 3 - 6, h - h / 4 - 4, w / 3, h / 4, palette->Button); // button
  FillRect(Target, w - w / 3 + 2, h - h / 8 - 5, w / 6, 2, palette->ButtonText);
}

void TStylesUtils::GetAvailables(std::vector<std::string>& ThemesList, bool Sorted)
{
  ThemesList.clear();
  for (const TThemeEntry& entry : ThemeCatalogue)
    ThemesList.emplace_back(entry.Name);
  if (Sorted) {
    std::stable_sort(ThemesList.begin(), ThemesList.end(), [](const std::string& a, const std::string& b) {
      return text::AsciiLower(a) < text::AsciiLower(b);
    });
  }
}

void TStylesUtils::TrySetStyle(const std::string& ThemeName, bool ShowError)
{
  const std::string wanted = text::AsciiLower(ThemeName);
  for (const TThemeEntry& entry : ThemeCatalogue) {
    if (text::AsciiLower(entry.Name) == wanted) {
      {
        const std::lock_guard lock(GLock);
        GActiveTheme = entry.Name;
      }
      // "Windows" is the system look: no palette, our styling removed.
      Native().ApplyTheme(FindPalette(entry.Name));
      return;
    }
  }
  if (ShowError) {
    TMessageDialogSpec dialog;
    dialog.Message = "Style '" + ThemeName + "' not found";
    dialog.Type = TMsgDlgType::mtError;
    dialog.Buttons = {TMsgDlgBtn::mbClose};
    dialog.Position = TPosition::poScreenCenter;
    Native().MessageDialog(dialog);
  }
}

std::string TStylesUtils::GetActiveTheme()
{
  const std::lock_guard lock(GLock);
  return GActiveTheme;
}

} // namespace velmora
