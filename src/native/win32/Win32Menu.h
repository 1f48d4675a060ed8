// TWin32MenuBar: the Win32 menu a main form shows for its TMainMenu, and the theme colours of the
// Win32 layer.
#pragma once

#include "MenuModel.h"
#include "ThemePalette.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The palette applied to every window of the process, or nullopt for the system look.
const std::optional<TThemePalette>& Win32ActivePalette();
// Makes Palette (nullptr: the system look) the active one and restyles every window of this
// thread at once: backgrounds, text, menu bars and menus, and the title bar of dark palettes
// where the system supports it.
void Win32ApplyTheme(const TThemePalette* Palette);
// The dark or light title bar a palette asks for, on one window.
void Win32ApplyTitleBar(HWND Window);

// A menu bar of owner-drawn items built from the model: "&" access keys (answered through
// WM_MENUCHAR, since the system does not look into owner-drawn captions), "-" separators, greyed
// disabled items and images, 16-pixel images scaled for the window's DPI and drawn with their
// alpha, and the theme's colours. Command ids are the menu's own, one per item, so the model's
// ids may repeat. Every change of the model is followed by Rebuild(), which throws the old menus
// away; clicks made on an earlier build are dropped.
class TWin32MenuBar {
public:
  explicit TWin32MenuBar(HWND Window);
  ~TWin32MenuBar();
  TWin32MenuBar(const TWin32MenuBar&) = delete;
  TWin32MenuBar& operator=(const TWin32MenuBar&) = delete;

  void SetMenu(TMainMenu* Menu);
  void Rebuild();
  // Applies the active theme's colours to the menus.
  void ThemeChanged();

  // Paints the bar beyond its last item in the theme's colour, after the system drew the
  // non-client area (not every system paints the bar with the menu's background brush).
  void PaintBarRest();

  // The window's menu messages; true when handled (Result is then the answer).
  bool HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam, LRESULT& Result);

private:
  struct TEntry {
    TMenuItem* Item = nullptr;
    HMENU Owner = nullptr; // the menu the entry stands in
    bool TopLevel = false;
    bool Separator = false;
    bool ReserveImage = false; // its menu has images: the image column is kept
    std::wstring Caption;
    TBitmap Image; // fitted and, for a disabled item, greyed; empty for none
  };

  HMENU BuildMenu(std::vector<std::unique_ptr<TMenuItem>>& Items, bool TopLevel);
  void Clear();
  void ApplyBackgrounds();
  TEntry* EntryOf(ULONG_PTR Data) const;

  HWND FWindow;
  TMainMenu* FMenu = nullptr;
  HMENU FBar = nullptr;
  std::vector<HMENU> FMenus; // the bar and every drop-down menu of the current build
  std::vector<std::unique_ptr<TEntry>> FEntries;
  std::shared_ptr<int> FBuild;
  HBRUSH FBarBrush = nullptr;
  HBRUSH FMenuBrush = nullptr;
};

} // namespace velmora
