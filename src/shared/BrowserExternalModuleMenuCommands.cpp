// The main menu commands of the bridge: building the menu from JSON, updating one item, clicks.
#include "BridgeArguments.h"
#include "BrowserExternalForm.h"
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "BoundedJson.h"
#include "IniFile.h"
#include "Limits.h"
#include "SysUtils.h"
#include "TextCodec.h"

namespace velmora {

namespace {

// A value of an item object as setItems reads it: its JSON text ("null" for null; a number as
// written); nullopt for a missing key, an object or an array.
std::optional<std::string> ItemText(const rapidjson::Value& Item, const char* Key)
{
  const auto member = Item.FindMember(Key);
  if (member == Item.MemberEnd() || member->value.IsObject() || member->value.IsArray())
    return std::nullopt;
  if (member->value.IsNull())
    return std::string("null");
  return JsonValueAsText(member->value, {});
}

TMenuItem* FindMenuItemByTag(TMenuItem& Item, int32_t Id)
{
  if (Item.Tag == Id)
    return &Item;
  for (auto& child : Item.Items) {
    if (TMenuItem* found = FindMenuItemByTag(*child, Id))
      return found;
  }
  return nullptr;
}

// Redraws the menu when a command ends, however it ends, so what was built shows.
class TMenuRedraw {
public:
  explicit TMenuRedraw(TNativeForm* Form) : FForm(Form) {}
  ~TMenuRedraw()
  {
    if (FForm != nullptr)
      FForm->MenuChanged();
  }
  TMenuRedraw(const TMenuRedraw&) = delete;
  TMenuRedraw& operator=(const TMenuRedraw&) = delete;

private:
  TNativeForm* FForm;
};

} // namespace

void TBrowserExternalModule::ClearMainMenu() { FBrowserExternalForm->MainMenu.Items.clear(); }

void TBrowserExternalModule::LoadMenuItemImage(TMenuItem& Item, const std::string& Source)
{
  // The archive by full name, then the program folder, then the name as a path. Data past the
  // size limit is data the decoder cannot read, whichever place it comes from.
  const auto undecodable = [&Source] { return TBridgeArgumentError("the image " + Source + " cannot be decoded"); };
  std::optional<std::string> data;
  if (FExeZip != nullptr) {
    if (const auto entry = FExeZip->FindFile(Source)) {
      auto bytes = FExeZip->ExtractToString(Source, kMaxMenuImageDataBytes);
      if (!bytes)
        throw undecodable();
      data = std::move(*bytes.Value());
    }
  }
  for (const std::string& path : {ProgramFolder() + Source, Source}) {
    if (data || !TSysUtils::FileExists(path))
      continue;
    data = ReadWholeFile(path, kMaxMenuImageDataBytes);
    if (!data)
      throw undecodable();
  }
  if (!data || data->empty())
    return;
  TMainMenu& menu = FBrowserExternalForm->MainMenu;
  if (menu.Images.size() >= kMaxMenuImages)
    throw undecodable();
  auto bitmap = Native().DecodeImage(*data);
  if (!bitmap)
    throw undecodable();
  size_t pixelBytes = bitmap->Rgba.size();
  for (const TBitmap& image : menu.Images)
    pixelBytes += image.Rgba.size();
  if (pixelBytes > kMaxMenuImagePixelBytes)
    throw undecodable();
  const int index = static_cast<int>(menu.Images.size());
  menu.Images.push_back(std::move(*bitmap));
  menu.ImageNames.push_back("MainMenuImg" + std::to_string(index));
  Item.ImageName = menu.ImageNames.back();
  Item.ImageIndex = index;
}

bool TBrowserExternalModule::BuildMenuItem(const std::string& Uuid, const rapidjson::Value& Object, TMenuItem& Item)
{
  if (!Object.IsObject())
    throw TBridgeArgumentError("a menu item is not an object");
  const auto caption = ItemText(Object, "caption");
  const auto id = ItemText(Object, "id");
  if (!caption || !id) {
    SendError(Uuid, "\"Wrong menu item JSON\"");
    ClearMainMenu();
    return false;
  }
  Item.Tag = ParseSettingsInteger(*id).value_or(0);
  Item.Caption = *caption;
  if (const auto enabled = ItemText(Object, "enabled"))
    Item.Enabled = BooleanFromText(*enabled);
  if (const auto image = ItemText(Object, "image"))
    LoadMenuItemImage(Item, *image);
  const auto items = Object.FindMember("items");
  if (items == Object.MemberEnd()) {
    Item.OnClick = [this](TMenuItem& Sender) { MainMenuItemClick(Sender); };
    return true;
  }
  if (!items->value.IsArray()) {
    SendError(Uuid, "\"Wrong menu item JSON\"");
    ClearMainMenu();
    return false;
  }
  Item.HasSubmenu = true;
  for (const rapidjson::Value& element : items->value.GetArray()) {
    Item.Items.push_back(std::make_unique<TMenuItem>());
    if (!BuildMenuItem(Uuid, element, *Item.Items.back()))
      return false;
  }
  return true;
}

namespace {

// The menu a text describes stays within the depth and size limits; checked before anything is
// built, so building (recursive, as the menu itself is) never goes deeper than kMaxMenuDepth.
bool MenuWithinLimits(const rapidjson::Value& Items)
{
  struct TLevel {
    const rapidjson::Value* Array;
    int Depth;
  };
  std::vector<TLevel> pending{{&Items, 1}};
  size_t count = 0;
  while (!pending.empty()) {
    const TLevel level = pending.back();
    pending.pop_back();
    for (const rapidjson::Value& element : level.Array->GetArray()) {
      if (++count > kMaxMenuItems)
        return false;
      if (!element.IsObject())
        continue;
      const auto sub = element.FindMember("items");
      if (sub == element.MemberEnd() || !sub->value.IsArray() || sub->value.Empty())
        continue;
      if (level.Depth + 1 > kMaxMenuDepth)
        return false;
      pending.push_back({&sub->value, level.Depth + 1});
    }
  }
  return true;
}

} // namespace

void TBrowserExternalModule::MainMenuSetItems(const std::string& Uuid, const TCommandData& Data)
{
  const std::string text = Data.ReadText("items");
  if (text.empty())
    return SendError(Uuid, "\"Missing menu items\"");
  TMainMenu& menu = FBrowserExternalForm->MainMenu;
  if (FMainForm != nullptr)
    FMainForm->SetMainMenu(&menu);
  const TMenuRedraw redraw(FMainForm);
  ClearMainMenu();
  menu.Images.clear();
  menu.ImageNames.clear();
  // Text nested too deeply, or a menu past the limits, is as wrong as text that is not JSON.
  rapidjson::Document items;
  if (!ParseBoundedJson(items, text, TJsonNumbers::AsStrings) || !items.IsArray() || !MenuWithinLimits(items))
    return SendError(Uuid, "\"Wrong menu items JSON\"");
  for (const rapidjson::Value& element : items.GetArray()) {
    menu.Items.push_back(std::make_unique<TMenuItem>());
    if (!BuildMenuItem(Uuid, element, *menu.Items.back()))
      return; // the error reply has been sent and the menu emptied
  }
  SendSuccess(Uuid, "true");
}

void TBrowserExternalModule::MainMenuUpdateItem(const std::string& Uuid, const TCommandData& Data)
{
  const std::string idText = Data.ReadText("id");
  if (idText.empty())
    return SendError(Uuid, "\"Missing item ID\"");
  const int32_t id = ParseSettingsInteger(idText).value_or(-1);
  if (id == -1)
    return SendError(Uuid, "\"Wrong item ID\"");
  TMainMenu& menu = FBrowserExternalForm->MainMenu;
  if (menu.Items.empty())
    return SendError(Uuid, "\"No menu items\"");
  TMenuItem* item = nullptr;
  for (auto& top : menu.Items) {
    if ((item = FindMenuItemByTag(*top, id)) != nullptr)
      break;
  }
  if (item != nullptr) {
    const TMenuRedraw redraw(FMainForm);
    if (const std::string caption = Data.ReadText("caption"); !caption.empty())
      item->Caption = caption;
    if (const std::string enabled = Data.ReadText("enabled"); !enabled.empty())
      item->Enabled = BooleanFromText(enabled);
    if (const std::string image = Data.ReadText("image"); !image.empty())
      LoadMenuItemImage(*item, image);
  }
  SendSuccess(Uuid, "true");
}

void TBrowserExternalModule::MainMenuItemClick(TMenuItem& Sender)
{
  if (FBrowserForm != nullptr)
    FBrowserForm->EdgeBrowser().ExecuteScript("ryx.events.onMainMenuItemClick(" + std::to_string(Sender.Tag) + ");");
}

const TMainMenu& TBrowserExternalModule::MainMenu() const { return FBrowserExternalForm->MainMenu; }

} // namespace velmora
