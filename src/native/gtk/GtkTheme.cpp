// The process-wide GTK styling of a theme palette: one CSS provider on the default screen.
#include "GtkTheme.h"

#include "GtkSupport.h"
#include "StylesUtils.h"

#include <gtk/gtk.h>

#include <array>
#include <cstdlib>
#include <cstdio>
#include <utility>

namespace velmora {

namespace {

// The rules use named colours, defined from the palette ahead of them. Only GTK's own widget
// nodes are named, so the page inside the web view keeps the look its own style sheets give it.
// Themes draw some parts with gradients, shadows and coloured underlines; those are cleared
// wherever a rule sets a background, so the palette colour is what shows.
constexpr const char* kThemeRules = R"css(
window, dialog, messagedialog {
  background-color: @velmora_window; background-image: none; color: @velmora_window_text;
}
label:disabled, label:disabled:backdrop { color: @velmora_disabled; }
label selection { background-color: @velmora_highlight; color: @velmora_highlight_text; }
separator { background-color: @velmora_border; }
frame > border, scrolledwindow.frame, .frame { border-color: @velmora_border; }

menubar, .menubar {
  background-color: @velmora_menubar; background-image: none; color: @velmora_menubar_text;
  border-color: @velmora_border; box-shadow: none;
}
menubar > menuitem, menubar > menuitem:backdrop { color: @velmora_menubar_text; box-shadow: none; }
menubar > menuitem:hover {
  background-color: @velmora_menubar_highlight; background-image: none; color: @velmora_menubar_highlight_text;
  box-shadow: none;
}
menubar > menuitem:disabled { color: @velmora_disabled; }

window.popup, menu, .menu, .context-menu {
  background-color: @velmora_menu; background-image: none; color: @velmora_menu_text;
  border-color: @velmora_border;
}
menu menuitem, .menu menuitem, menu menuitem:backdrop { color: @velmora_menu_text; text-shadow: none; }
menu menuitem:hover, .menu menuitem:hover {
  background-color: @velmora_menu_highlight; background-image: none; color: @velmora_menu_highlight_text;
}
menu menuitem:disabled, .menu menuitem:disabled, menu menuitem:disabled label { color: @velmora_disabled; }
menu separator, .menu separator { background-color: @velmora_border; }
menu arrow, menu menuitem arrow { color: inherit; }

button {
  background-color: @velmora_button; background-image: none; color: @velmora_button_text;
  border-color: @velmora_border; box-shadow: none; text-shadow: none; -gtk-icon-shadow: none;
}
button:hover { background-color: mix(@velmora_button, @velmora_highlight, 0.25); }
button:active, button:checked {
  background-color: @velmora_highlight; color: @velmora_highlight_text; border-color: @velmora_highlight;
}
button:focus { border-color: @velmora_highlight; }
button:disabled, button:disabled label { background-color: @velmora_button; color: @velmora_disabled; }
button.flat, button.flat:backdrop { background-color: transparent; border-color: transparent; }
button.flat:hover { background-color: mix(@velmora_window, @velmora_highlight, 0.25); }
headerbar, .titlebar {
  background-color: @velmora_menubar; background-image: none; color: @velmora_menubar_text;
  border-color: @velmora_border; box-shadow: none;
}

entry {
  background-color: @velmora_edit; background-image: none; color: @velmora_edit_text;
  border-color: @velmora_border; box-shadow: none; caret-color: @velmora_edit_text;
}
entry:focus { border-color: @velmora_highlight; box-shadow: inset 0 0 0 1px @velmora_highlight; }
entry:disabled { background-color: @velmora_window; color: @velmora_disabled; }
entry selection, entry selection:focus { background-color: @velmora_highlight; color: @velmora_highlight_text; }

.view, treeview.view, iconview, textview text, list {
  background-color: @velmora_edit; color: @velmora_edit_text;
}
.view:selected, .view:selected:focus, treeview.view:selected, iconview:selected, row:selected, list row:selected {
  background-color: @velmora_highlight; color: @velmora_highlight_text;
}
placessidebar, placessidebar list, .sidebar {
  background-color: @velmora_window; color: @velmora_window_text; border-color: @velmora_border;
}

scrollbar { background-color: @velmora_window; border-color: @velmora_border; }
scrollbar slider { background-color: @velmora_border; }
scrollbar slider:hover { background-color: @velmora_disabled; }
progressbar trough { background-color: @velmora_button; border-color: @velmora_border; }
progressbar progress { background-color: @velmora_highlight; background-image: none; border-color: @velmora_highlight; }
)css";

std::string HexColour(uint32_t Colour)
{
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "#%06x", static_cast<unsigned>(Colour & 0xFFFFFFU));
  return std::string(text.data());
}

// The one provider of this process; it stays alive between themes and is attached to the
// screen only while a palette is applied.
GtkCssProvider* GProvider = nullptr;
bool GProviderAttached = false;

void ParsingErrorCb(GtkCssProvider*, GtkCssSection* Section, GError* Error, gpointer)
{
  g_printerr("velmora: theme style sheet, line %u: %s\n", gtk_css_section_get_start_line(Section) + 1,
             Error != nullptr ? Error->message : "error");
}

} // namespace

std::string GtkThemeCss(const TThemePalette& Palette)
{
  const auto [barSelection, barSelectionText] = SelectionColours(Palette, Palette.MenuBar, Palette.MenuBarText);
  const auto [menuSelection, menuSelectionText] = SelectionColours(Palette, Palette.Menu, Palette.MenuText);
  // clang-format off
  const std::pair<const char*, uint32_t> colours[] = {
    {"velmora_window", Palette.Window},       {"velmora_window_text", Palette.WindowText},
    {"velmora_menubar", Palette.MenuBar},     {"velmora_menubar_text", Palette.MenuBarText},
    {"velmora_menu", Palette.Menu},           {"velmora_menu_text", Palette.MenuText},
    {"velmora_highlight", Palette.Highlight}, {"velmora_highlight_text", Palette.HighlightText},
    {"velmora_button", Palette.Button},       {"velmora_button_text", Palette.ButtonText},
    {"velmora_edit", Palette.Edit},           {"velmora_edit_text", Palette.EditText},
    {"velmora_border", Palette.Border},       {"velmora_disabled", Palette.DisabledText},
    {"velmora_menubar_highlight", barSelection}, {"velmora_menubar_highlight_text", barSelectionText},
    {"velmora_menu_highlight", menuSelection},   {"velmora_menu_highlight_text", menuSelectionText},
  };
  // clang-format on
  std::string css = "/* The " + Palette.Name + " theme */\n";
  for (const auto& [name, colour] : colours)
    css += std::string("@define-color ") + name + " " + HexColour(colour) + ";\n";
  return css + kThemeRules;
}

void GtkApplyTheme(const TThemePalette* Palette)
{
  GdkScreen* screen = gdk_screen_get_default();
  if (screen == nullptr)
    return;
  if (Palette == nullptr) {
    if (GProviderAttached)
      gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(GProvider));
    GProviderAttached = false;
    return;
  }
  if (GProvider == nullptr) {
    GProvider = gtk_css_provider_new();
    ConnectSignal<&ParsingErrorCb>(GProvider, "parsing-error", nullptr);
  }
  // Loading new rules into an attached provider restyles every widget at once.
  const std::string css = GtkThemeCss(*Palette);
  gtk_css_provider_load_from_data(GProvider, css.c_str(), static_cast<gssize>(css.size()), nullptr);
  if (!GProviderAttached) {
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(GProvider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    GProviderAttached = true;
  }
}

} // namespace velmora
