// TWin32MenuBar: owner-drawn Win32 menus built from the portable menu model, and the theme
// colours every window of the Win32 layer follows.
#include "Win32Menu.h"

#include "ImageTools.h"
#include "NativeLayer.h"
#include "Win32Form.h"
#include "Win32Images.h"
#include "Win32Support.h"

#include <algorithm>
#include <cwctype>
#include <functional>

namespace velmora {

namespace {

// Menu images are drawn in a square of this many pixels at 96 dots per inch.
constexpr int kMenuImageSide = 16;
constexpr int kPadding = 4;
constexpr int kTextGap = 6;
constexpr int kSubmenuArrowRoom = 18;

std::optional<TThemePalette> GPalette;

COLORREF ToColorRef(uint32_t Rgb) { return RGB((Rgb >> 16) & 0xFFU, (Rgb >> 8) & 0xFFU, Rgb & 0xFFU); }

uint32_t FromColorRef(COLORREF Color)
{
  return (static_cast<uint32_t>(GetRValue(Color)) << 16) | (static_cast<uint32_t>(GetGValue(Color)) << 8) |
         GetBValue(Color);
}

// The colours menus are drawn in: the palette's, or the system's.
struct TMenuColours {
  uint32_t Background, Text, Selected, SelectedText, Disabled;
};

TMenuColours ColoursFor(bool Bar)
{
  if (GPalette) {
    const TThemePalette& p = *GPalette;
    const uint32_t background = Bar ? p.MenuBar : p.Menu;
    const uint32_t text = Bar ? p.MenuBarText : p.MenuText;
    const TSelectionColours selected = SelectionColours(p, background, text);
    return {background, text, selected.Background, selected.Text, p.DisabledText};
  }
  return {FromColorRef(GetSysColor(Bar ? COLOR_MENUBAR : COLOR_MENU)), FromColorRef(GetSysColor(COLOR_MENUTEXT)),
          FromColorRef(GetSysColor(COLOR_HIGHLIGHT)), FromColorRef(GetSysColor(COLOR_HIGHLIGHTTEXT)),
          FromColorRef(GetSysColor(COLOR_GRAYTEXT))};
}

HFONT MenuFont()
{
  static const HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return CreateFontIndirectW(&metrics.lfMenuFont);
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}

// The character a caption's first single "&" marks, lower-cased; 0 for none.
wchar_t AccessKeyOf(const std::wstring& Caption)
{
  for (size_t i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != L'&')
      continue;
    if (Caption[i + 1] != L'&')
      return static_cast<wchar_t>(std::towlower(Caption[i + 1]));
    ++i; // "&&" is a plain "&"
  }
  return 0;
}

// The dark title bar (Windows 10 20H1 on), and caption colours (Windows 11), asked for through
// the desktop window manager where it is there; older systems and wine ignore them.
void SetWindowAttributes(HWND Window, const TThemePalette* Palette)
{
  using TSetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  static const auto setAttribute = [] {
    const HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    return dwm != nullptr
             ? reinterpret_cast<TSetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")))
             : nullptr;
  }();
  if (setAttribute == nullptr)
    return;
  constexpr DWORD kUseImmersiveDarkMode = 20;
  constexpr DWORD kCaptionColor = 35;
  constexpr DWORD kTextColor = 36;
  constexpr COLORREF kDefaultColor = 0xFFFFFFFFU;
  const BOOL dark = Palette != nullptr && IsDarkPalette(*Palette) ? TRUE : FALSE;
  setAttribute(Window, kUseImmersiveDarkMode, &dark, sizeof dark);
  const COLORREF caption = Palette != nullptr ? ToColorRef(Palette->MenuBar) : kDefaultColor;
  const COLORREF text = Palette != nullptr ? ToColorRef(Palette->MenuBarText) : kDefaultColor;
  setAttribute(Window, kCaptionColor, &caption, sizeof caption);
  setAttribute(Window, kTextColor, &text, sizeof text);
}

} // namespace

const std::optional<TThemePalette>& Win32ActivePalette() { return GPalette; }

void Win32ApplyTitleBar(HWND Window) { SetWindowAttributes(Window, GPalette ? &*GPalette : nullptr); }

void Win32ApplyTheme(const TThemePalette* Palette)
{
  GPalette = Palette != nullptr ? std::optional<TThemePalette>(*Palette) : std::nullopt;
  EnumThreadWindows(
    GetCurrentThreadId(),
    [](HWND Window, LPARAM) -> BOOL {
      if (TWin32Form* form = TWin32Form::FromHandle(Window))
        form->ThemeChanged();
      return TRUE;
    },
    0);
}

TWin32MenuBar::TWin32MenuBar(HWND Window) : FWindow(Window) {}

TWin32MenuBar::~TWin32MenuBar()
{
  FBuild.reset();
  if (IsWindow(FWindow))
    ::SetMenu(FWindow, nullptr);
  Clear();
}

void TWin32MenuBar::Clear()
{
  // Destroying the bar destroys the drop-down menus attached to it.
  if (FBar != nullptr)
    DestroyMenu(FBar);
  FBar = nullptr;
  FMenus.clear();
  FEntries.clear();
  for (HBRUSH* brush : {&FBarBrush, &FMenuBrush}) {
    if (*brush != nullptr)
      DeleteObject(*brush);
    *brush = nullptr;
  }
}

void TWin32MenuBar::SetMenu(TMainMenu* Menu)
{
  FMenu = Menu;
  Rebuild();
}

void TWin32MenuBar::Rebuild()
{
  // Clicks still on their way from the previous build are dropped with it.
  FBuild = std::make_shared<int>(0);
  ::SetMenu(FWindow, nullptr);
  Clear();
  // An attached menu without items shows no empty strip.
  if (FMenu != nullptr && !FMenu->Items.empty()) {
    FBar = BuildMenu(FMenu->Items, true);
    ApplyBackgrounds();
    ::SetMenu(FWindow, FBar);
  }
  DrawMenuBar(FWindow);
  // The client area shrank or grew with the bar.
  if (TWin32Form* form = TWin32Form::FromHandle(FWindow))
    form->Relayout();
}

HMENU TWin32MenuBar::BuildMenu(std::vector<std::unique_ptr<TMenuItem>>& Items, bool TopLevel)
{
  const HMENU menu = TopLevel ? CreateMenu() : CreatePopupMenu();
  FMenus.push_back(menu);
  const int side = ScaleForWindow(FWindow, kMenuImageSide);
  const auto hasImage = [&](const TMenuItem& Item) {
    return Item.ImageIndex >= 0 && static_cast<size_t>(Item.ImageIndex) < FMenu->Images.size();
  };
  // In a drop-down menu where some item has an image, the others keep the image column empty so
  // that every caption starts at the same place.
  const bool anyImage = !TopLevel && std::any_of(Items.begin(), Items.end(), [&](const auto& Item) {
    return Item->Caption != "-" && hasImage(*Item);
  });
  UINT position = 0;
  for (const auto& item : Items) {
    auto entry = std::make_unique<TEntry>();
    entry->Item = item.get();
    entry->Owner = menu;
    entry->TopLevel = TopLevel;
    entry->Separator = item->Caption == "-";
    entry->ReserveImage = anyImage;
    entry->Caption = Utf8ToWide(item->Caption);
    if (!entry->Separator && hasImage(*item))
      entry->Image = FitIntoSquare(FMenu->Images[static_cast<size_t>(item->ImageIndex)], side, !item->Enabled);

    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_DATA | MIIM_STRING;
    info.fType = MFT_OWNERDRAW | (entry->Separator ? MFT_SEPARATOR : 0U);
    info.fState = item->Enabled && !entry->Separator ? MFS_ENABLED : MFS_DISABLED;
    // The menu's own command id: the entry's place in the build, so the model's ids may repeat.
    info.wID = static_cast<UINT>(FEntries.size() + 1);
    info.dwItemData = reinterpret_cast<ULONG_PTR>(entry.get());
    info.dwTypeData = entry->Caption.data();
    TEntry* raw = entry.get();
    FEntries.push_back(std::move(entry));
    if (item->HasSubmenu && !raw->Separator) {
      // Even without children the item opens a (then empty) menu and raises no click.
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = BuildMenu(item->Items, false);
    }
    InsertMenuItemW(menu, position++, TRUE, &info);
  }
  return menu;
}

void TWin32MenuBar::ApplyBackgrounds()
{
  if (GPalette) {
    FBarBrush = CreateSolidBrush(ToColorRef(GPalette->MenuBar));
    FMenuBrush = CreateSolidBrush(ToColorRef(GPalette->Menu));
  }
  for (HMENU menu : FMenus) {
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND;
    info.hbrBack = menu == FBar ? FBarBrush : FMenuBrush; // nullptr: the system's
    SetMenuInfo(menu, &info);
  }
}

void TWin32MenuBar::ThemeChanged()
{
  if (FBar == nullptr)
    return;
  for (HBRUSH* brush : {&FBarBrush, &FMenuBrush}) {
    if (*brush != nullptr)
      DeleteObject(*brush);
    *brush = nullptr;
  }
  ApplyBackgrounds();
  DrawMenuBar(FWindow);
  PaintBarRest();
}

void TWin32MenuBar::PaintBarRest()
{
  if (FBar == nullptr || !GPalette || GetMenu(FWindow) != FBar)
    return;
  const int count = GetMenuItemCount(FBar);
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  RECT last{};
  RECT window{};
  if (count <= 0 || !GetMenuBarInfo(FWindow, OBJID_MENU, 0, &bar) ||
      !GetMenuItemRect(FWindow, FBar, static_cast<UINT>(count - 1), &last) || !GetWindowRect(FWindow, &window))
    return;
  // Screen coordinates to the window's own, which its window DC uses.
  RECT rest{last.right, bar.rcBar.top, bar.rcBar.right, bar.rcBar.bottom};
  OffsetRect(&rest, -window.left, -window.top);
  if (rest.right <= rest.left)
    return;
  const HDC dc = GetWindowDC(FWindow);
  const HBRUSH brush = CreateSolidBrush(ToColorRef(GPalette->MenuBar));
  FillRect(dc, &rest, brush);
  DeleteObject(brush);
  ReleaseDC(FWindow, dc);
}

TWin32MenuBar::TEntry* TWin32MenuBar::EntryOf(ULONG_PTR Data) const
{
  // Only entries of the current build answer; a message about an old one finds nothing.
  const auto found = std::find_if(FEntries.begin(), FEntries.end(),
                                  [&](const auto& Entry) { return reinterpret_cast<ULONG_PTR>(Entry.get()) == Data; });
  return found != FEntries.end() ? found->get() : nullptr;
}

bool TWin32MenuBar::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam, LRESULT& Result)
{
  switch (Message) {
  case WM_MEASUREITEM: {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(LParam);
    if (measure->CtlType != ODT_MENU)
      return false;
    const TEntry* entry = EntryOf(measure->itemData);
    if (entry == nullptr)
      return false;
    const int side = ScaleForWindow(FWindow, kMenuImageSide);
    const int padding = ScaleForWindow(FWindow, kPadding);
    if (entry->Separator) {
      measure->itemWidth = static_cast<UINT>(side);
      measure->itemHeight = static_cast<UINT>(padding * 2 + 1);
    } else {
      const HDC dc = GetDC(FWindow);
      const HGDIOBJ old = SelectObject(dc, MenuFont());
      RECT text{};
      DrawTextW(dc, entry->Caption.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE);
      SelectObject(dc, old);
      ReleaseDC(FWindow, dc);
      int width = text.right + 2 * padding;
      if (!entry->Image.Rgba.empty() || entry->ReserveImage)
        width += side + ScaleForWindow(FWindow, kTextGap);
      if (!entry->TopLevel)
        width += ScaleForWindow(FWindow, kSubmenuArrowRoom);
      measure->itemWidth = static_cast<UINT>(width);
      measure->itemHeight = static_cast<UINT>(std::max<int>(text.bottom, side) + padding * (entry->TopLevel ? 1 : 2));
    }
    Result = TRUE;
    return true;
  }
  case WM_DRAWITEM: {
    const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(LParam);
    if (draw->CtlType != ODT_MENU)
      return false;
    const TEntry* entry = EntryOf(draw->itemData);
    if (entry == nullptr)
      return false;
    const TMenuColours colours = ColoursFor(entry->TopLevel);
    const bool selected = (draw->itemState & (ODS_SELECTED | ODS_HOTLIGHT)) != 0 && !entry->Separator &&
                          (draw->itemState & ODS_DISABLED) == 0;
    const HBRUSH background = CreateSolidBrush(ToColorRef(selected ? colours.Selected : colours.Background));
    FillRect(draw->hDC, &draw->rcItem, background);
    DeleteObject(background);
    const int padding = ScaleForWindow(FWindow, kPadding);
    RECT area = draw->rcItem;
    if (entry->Separator) {
      const int middle = (area.top + area.bottom) / 2;
      const HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(colours.Disabled));
      const HGDIOBJ old = SelectObject(draw->hDC, pen);
      MoveToEx(draw->hDC, area.left + padding, middle, nullptr);
      LineTo(draw->hDC, area.right - padding, middle);
      SelectObject(draw->hDC, old);
      DeleteObject(pen);
      Result = TRUE;
      return true;
    }
    area.left += padding;
    const int side = ScaleForWindow(FWindow, kMenuImageSide);
    if (!entry->Image.Rgba.empty())
      Win32DrawBitmap(draw->hDC, entry->Image, area.left, (area.top + area.bottom - side) / 2);
    if (!entry->Image.Rgba.empty() || entry->ReserveImage)
      area.left += side + ScaleForWindow(FWindow, kTextGap);
    const bool disabled = (draw->itemState & (ODS_DISABLED | ODS_GRAYED)) != 0;
    SetBkMode(draw->hDC, TRANSPARENT);
    SetTextColor(draw->hDC, ToColorRef(disabled ? colours.Disabled : selected ? colours.SelectedText : colours.Text));
    const HGDIOBJ old = SelectObject(draw->hDC, MenuFont());
    UINT flags = DT_SINGLELINE | DT_VCENTER | (entry->TopLevel ? DT_CENTER : DT_LEFT);
    if ((draw->itemState & ODS_NOACCEL) != 0)
      flags |= DT_HIDEPREFIX;
    if (entry->TopLevel)
      area.right -= padding;
    DrawTextW(draw->hDC, entry->Caption.c_str(), -1, &area, flags);
    SelectObject(draw->hDC, old);
    Result = TRUE;
    return true;
  }
  case WM_MENUCHAR: {
    // Owner-drawn items get their access keys from here: the item of this menu whose "&" marks
    // the typed character runs; the first of several is only selected.
    const auto menu = reinterpret_cast<HMENU>(LParam);
    const auto typed = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(LOWORD(WParam))));
    int position = 0;
    std::vector<int> matches;
    for (const auto& entry : FEntries) {
      if (entry->Owner != menu)
        continue;
      // A disabled item's key does nothing, as for any disabled command.
      if (!entry->Separator && entry->Item->Enabled && AccessKeyOf(entry->Caption) == typed)
        matches.push_back(position);
      ++position;
    }
    if (matches.empty())
      return false;
    Result = MAKELRESULT(matches.front(), matches.size() == 1 ? MNC_EXECUTE : MNC_SELECT);
    return true;
  }
  case WM_COMMAND: {
    if (LParam != 0 || HIWORD(WParam) != 0)
      return false;
    const size_t index = LOWORD(WParam);
    if (index == 0 || index > FEntries.size())
      return false;
    TMenuItem* item = FEntries[index - 1]->Item;
    // The click is delivered from the loop, after the menu has closed, so the handler may build a
    // new menu (or open a modal dialog); a rebuild since then drops it.
    std::weak_ptr<int> build = FBuild;
    Native().PostToMainThread([build, item] {
      if (!build.lock())
        return;
      // The handler runs from a copy: a page that answers the click by building a new menu
      // destroys the item, and the item's own function with it, while the handler runs.
      if (const std::function<void(TMenuItem&)> onClick = item->OnClick)
        onClick(*item);
    });
    Result = 0;
    return true;
  }
  default: return false;
  }
}

} // namespace velmora
