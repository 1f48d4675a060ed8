// The process-wide GTK styling of a theme palette.
#pragma once

#include "ThemePalette.h"

#include <string>

namespace velmora {

// The GTK 3 style sheet drawn from Palette: windows and dialogs, the menu bar and its menus,
// buttons, entries, lists, borders and disabled text. Web page content is left alone.
std::string GtkThemeCss(const TThemePalette& Palette);

// Restyles every window of the process, those already shown and those still to come: one style
// provider on the default screen above the system theme. nullptr removes it, and the system
// theme shows again.
void GtkApplyTheme(const TThemePalette* Palette);

} // namespace velmora
