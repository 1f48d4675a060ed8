// The main menu commands and the themes, against the headless layer.
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "Limits.h"
#include "StrUtils.h"
#include "StylesUtils.h"
#include "SysUtils.h"

#include "support/BridgeFixture.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

namespace velmora {
namespace {

class MenuTest : public test::TBridgeTest {
protected:
  MenuTest()
    : Archive(
        test::MakeZip({{"Demo/icons/open.png", "IMG:16x16", 1, 0}, {"Demo/bad.png", "not an image", 1, 0}}, "pw")),
      Window(static_cast<THeadlessForm&>(*Form))
  {
    Zip.SetPassword("pw");
    EXPECT_TRUE(Zip.Open({reinterpret_cast<const uint8_t*>(Archive.data()), Archive.size()}));
    View.SetAppDirPath(Dir.Path().string() + TSysUtils::PathDelimiter());
    test::WriteFile(Dir.File("disk.png"), "IMG:32x32");
    Module.SetExeZip(&Zip);
  }

  std::string Call(int Id, const std::string& Data) { return One(Id, Data); }
  // setItems with the items given as JSON (sent as the text of the "items" argument).
  std::string SetItems(const std::string& Items) { return Call(12001, "{\"items\":" + TStrUtilsJson(Items) + "}"); }
  static std::string TStrUtilsJson(const std::string& text);
  const TMainMenu& Menu() const { return Module.MainMenu(); }

  test::TTempDir Dir;
  std::string Archive;
  TExeZip Zip;
  THeadlessForm& Window;
};

std::string MenuTest::TStrUtilsJson(const std::string& text) { return TStrUtils::StringToJsonString(text); }

constexpr const char* kOk = R"(true, "result": true})";
constexpr const char* kWrongItem = R"(false, "result": "Wrong menu item JSON"})";

TEST_F(MenuTest, BuildsTheMenuFromJson)
{
  EXPECT_EQ(Window.MainMenu(), nullptr) << "no menu before the first setItems";
  EXPECT_EQ(SetItems(R"([
    {"caption":"&File","id":1,"items":[
      {"caption":"&Open","id":"7","image":"Demo/icons/OPEN.png"},
      {"caption":"-","id":0},
      {"caption":"Gone","id":8,"enabled":"FALSE"},
      {"caption":null,"id":"letters","enabled":1}]},
    {"caption":"Empty","id":2,"items":[]},
    {"caption":3.50,"id":-42,"image":"disk.png","extra":{"ignored":true}}
  ])"),
            kOk);
  ASSERT_EQ(Window.MainMenu(), &Menu());
  ASSERT_EQ(Menu().Items.size(), 3U);
  const TMenuItem& file = *Menu().Items[0];
  EXPECT_EQ(file.Caption, "&File");
  EXPECT_TRUE(file.HasSubmenu);
  EXPECT_FALSE(file.OnClick) << "a submenu raises no click";
  ASSERT_EQ(file.Items.size(), 4U);
  EXPECT_EQ(file.Items[0]->Tag, 7);
  EXPECT_EQ(file.Items[0]->ImageIndex, 0);
  EXPECT_EQ(file.Items[0]->ImageName, "MainMenuImg0");
  EXPECT_EQ(file.Items[1]->Caption, "-");
  EXPECT_FALSE(file.Items[2]->Enabled);
  EXPECT_EQ(file.Items[3]->Caption, "null");
  EXPECT_EQ(file.Items[3]->Tag, 0);
  EXPECT_TRUE(file.Items[3]->Enabled);
  const TMenuItem& empty = *Menu().Items[1];
  EXPECT_TRUE(empty.HasSubmenu);
  EXPECT_TRUE(empty.Items.empty());
  EXPECT_FALSE(empty.OnClick);
  const TMenuItem& last = *Menu().Items[2];
  EXPECT_EQ(last.Caption, "3.50") << "a number caption is its text as written";
  EXPECT_EQ(last.ImageIndex, 1);
  EXPECT_EQ(Menu().Images.at(1).Width, 32);
  EXPECT_GT(Window.MenuRedraws(), 0);

  // Clicks run the page's handler with the id.
  last.OnClick(const_cast<TMenuItem&>(last));
  file.Items[0]->OnClick(*file.Items[0]);
  EXPECT_EQ(Browser.ExecutedScripts,
            (std::vector<std::string>{"ryx.events.onMainMenuItemClick(-42);", "ryx.events.onMainMenuItemClick(7);"}));

  EXPECT_EQ(SetItems("[]"), kOk);
  EXPECT_TRUE(Menu().Items.empty());
  EXPECT_TRUE(Menu().Images.empty()) << "each setItems starts the images again";
}

TEST_F(MenuTest, WrongItemsEmptyTheMenuOrStopWithoutReply)
{
  const std::string good = R"([{"caption":"A","id":1}])";
  struct TCase {
    const char* Name;
    std::string Data; // the whole "data" object
    const char* Reply;
    size_t ItemsAfter; // top-level items left in the menu
  };
  const TCase cases[] = {
    {"missing items", "{}", R"(false, "result": "Missing menu items"})", 1},
    {"empty items", R"({"items":""})", R"(false, "result": "Missing menu items"})", 1},
    {"items as an array", R"({"items":[{"caption":"A","id":1}]})", "", 1},
    {"not JSON", R"({"items":"[{"})", R"(false, "result": "Wrong menu items JSON"})", 0},
    {"not an array", R"({"items":"{\"caption\":\"A\"}"})", R"(false, "result": "Wrong menu items JSON"})", 0},
    {"second item without caption", R"({"items":"[{\"caption\":\"A\",\"id\":1},{\"id\":2}]"})", kWrongItem, 0},
    {"nested item without id", R"({"items":"[{\"caption\":\"A\",\"id\":1,\"items\":[{\"caption\":\"B\"}]}]"})",
     kWrongItem, 0},
    {"items not an array", R"({"items":"[{\"caption\":\"A\",\"id\":1,\"items\":{}}]"})", kWrongItem, 0},
    {"caption an object", R"({"items":"[{\"caption\":{},\"id\":1}]"})", kWrongItem, 0},
    {"element not an object", R"({"items":"[{\"caption\":\"A\",\"id\":1},7]"})", "", 2},
    {"enabled not a boolean", R"({"items":"[{\"caption\":\"A\",\"id\":1,\"enabled\":\"maybe\"}]"})", "", 1},
    {"image that cannot be decoded", R"({"items":"[{\"caption\":\"A\",\"id\":1,\"image\":\"Demo/bad.png\"}]"})", "", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(SetItems(good), kOk);
    EXPECT_EQ(Call(12001, c.Data), c.Reply);
    EXPECT_EQ(Menu().Items.size(), c.ItemsAfter);
  }
  EXPECT_EQ(Window.MainMenu(), &Menu()) << "the menu stays attached";
}

TEST_F(MenuTest, MenusPastTheLimitsAreWrongJsonAndNeverOverflowTheStack)
{
  // A chain of submenus Depth levels deep.
  const auto chain = [](int Depth) {
    std::string json;
    for (int i = 0; i < Depth; ++i)
      json += R"({"caption":"L","id":1,"items":[)";
    json += R"({"caption":"Leaf","id":2})";
    for (int i = 0; i < Depth; ++i)
      json += "]}";
    return "[" + json + "]";
  };
  const auto flat = [](size_t Count) {
    std::string json = "[";
    for (size_t i = 0; i < Count; ++i)
      json += std::string(i ? "," : "") + R"({"caption":"I","id":)" + std::to_string(i) + "}";
    return json + "]";
  };
  EXPECT_EQ(SetItems(chain(kMaxMenuDepth - 1)), kOk);
  EXPECT_EQ(SetItems(flat(kMaxMenuItems)), kOk);
  EXPECT_EQ(Menu().Items.size(), kMaxMenuItems);
  const std::string wrong = R"(false, "result": "Wrong menu items JSON"})";
  for (const std::string& items : {chain(kMaxMenuDepth), chain(5000), flat(kMaxMenuItems + 1), flat(100000),
                                   std::string(1000000, '[') + std::string(1000000, ']')}) {
    EXPECT_EQ(SetItems(items), wrong);
    EXPECT_TRUE(Menu().Items.empty());
  }
}

TEST_F(MenuTest, ImagesPastTheLimitsCountAsUndecodable)
{
  // Decoded pixels of all images together, the number of images, and the encoded size of one.
  test::WriteFile(Dir.File("huge.png"), "IMG:4096x4096");
  test::WriteFile(Dir.File("oversized.png"), "IMG:16x16" + std::string(kMaxMenuImageDataBytes, ' '));
  const auto item = [](const char* image) { return std::string(R"({"caption":"A","id":1,"image":")") + image + "\"}"; };
  EXPECT_EQ(SetItems("[" + item("huge.png") + "]"), kOk) << "one image of the largest size fits";
  EXPECT_EQ(SetItems("[" + item("huge.png") + "," + item("huge.png") + "]"), "");
  EXPECT_EQ(Menu().Images.size(), 1U);
  EXPECT_EQ(SetItems("[" + item("oversized.png") + "]"), "");
  std::string many = "[";
  for (size_t i = 0; i <= kMaxMenuImages; ++i)
    many += std::string(i ? "," : "") + item("Demo/icons/open.png");
  EXPECT_EQ(SetItems(many + "]"), "");
  EXPECT_EQ(Menu().Images.size(), kMaxMenuImages);
}

TEST_F(MenuTest, UpdateItemFindsTheFirstMatchDepthFirst)
{
  EXPECT_EQ(Call(12002, R"({"id":1})"), R"(false, "result": "No menu items"})");
  ASSERT_EQ(SetItems(R"([
    {"caption":"Top","id":5,"items":[{"caption":"Child","id":9,"image":"disk.png"},{"caption":"Twin","id":5}]},
    {"caption":"Other","id":9,"image":"Demo/icons/open.png"},
    {"caption":"Minus","id":-1}])"),
            kOk);
  EXPECT_EQ(Menu().Images.size(), 2U);
  const std::pair<const char*, const char*> errors[] = {
    {"{}", R"(false, "result": "Missing item ID"})"},
    {R"({"id":""})", R"(false, "result": "Missing item ID"})"},
    {R"({"id":null})", R"(false, "result": "Missing item ID"})"},
    {R"({"id":"-1"})", R"(false, "result": "Wrong item ID"})"},
    {R"({"id":"x"})", R"(false, "result": "Wrong item ID"})"},
  };
  for (const auto& [data, reply] : errors)
    EXPECT_EQ(Call(12002, data), reply) << data;

  EXPECT_EQ(Call(12002, R"({"id":"9","caption":"Renamed","enabled":"false","image":"disk.png"})"), kOk);
  const TMenuItem& child = *Menu().Items[0]->Items[0];
  EXPECT_EQ(child.Caption, "Renamed") << "the parent-before-children order finds the first 9 inside Top";
  EXPECT_FALSE(child.Enabled);
  EXPECT_EQ(child.ImageIndex, 2) << "images accumulate until the next setItems";
  EXPECT_EQ(Menu().Images.size(), 3U);
  EXPECT_EQ(Menu().Items[1]->Caption, "Other");

  EXPECT_EQ(Call(12002, R"({"id":5,"caption":""})"), kOk);
  EXPECT_EQ(Menu().Items[0]->Caption, "Top") << "an empty caption leaves the caption";
  EXPECT_EQ(Call(12002, R"({"id":5,"caption":null,"enabled":null})"), kOk);
  EXPECT_EQ(Menu().Items[0]->Caption, "Top");
  EXPECT_EQ(Call(12002, R"({"id":404,"caption":"Nobody"})"), kOk) << "no item with the id still answers true";
  EXPECT_EQ(Call(12002, R"({"id":5,"caption":[]})"), "") << "an ill-typed argument gets no reply";
}

TEST_F(MenuTest, RuntimeOnlyWithoutArchive)
{
  Module.SetExeZip(nullptr);
  EXPECT_EQ(SetItems("[]"), "");
  EXPECT_EQ(Platform.Messages.back(), "Calls to ryx.mainMenu.setItems() works only at runtime.");
  EXPECT_EQ(Call(12002, R"({"id":1})"), "");
  EXPECT_EQ(Platform.Messages.back(), "Calls to ryx.mainMenu.updateItem() works only at runtime.");
  EXPECT_EQ(Window.MainMenu(), nullptr);
}

class ThemeTest : public MenuTest {
protected:
  ~ThemeTest() override { TStylesUtils::TrySetStyle("Windows", false); }
};

TEST_F(ThemeTest, CatalogueSortsIgnoringCaseWithWindowsBeforeWindows10)
{
  std::vector<std::string> names;
  TStylesUtils::GetAvailables(names, true);
  // clang-format off
  const std::vector<std::string> expected = {
    "Amakrits", "Amethyst Kamri", "Aqua Graphite", "Aqua Light Slate", "Auric", "Carbon", "Charcoal Dark Slate",
    "Cobalt XEMedia", "Cyan Dusk", "Cyan Night", "Emerald Light Slate", "Glossy", "Glow", "Golden Graphite",
    "Iceberg Classico", "Lavender Classico", "Light", "Luna", "Metropolis UI Black", "Metropolis UI Blue",
    "Metropolis UI Dark", "Metropolis UI Green", "Obsidian", "Onyx Blue", "Ruby Graphite", "Sapphire Kamri",
    "Silver", "Sky", "Slate Classico", "Smokey Quartz Kamri", "Tablet Dark", "Tablet Light", "Turquoise Gray",
    "Windows", "Windows10", "Windows10 Blue", "Windows10 Dark", "Windows10 Green", "Windows10 Purple",
    "Windows10 SlateGray"};
  // clang-format on
  EXPECT_EQ(names, expected);
  std::string reply = "[";
  for (const std::string& name : expected)
    reply += (reply.size() > 1 ? ",\"" : "\"") + name + "\"";
  EXPECT_EQ(Call(80002, "{}"), "true, \"result\": " + reply + "]}");
  // Every style has a palette of its own; the system look has none.
  for (const TThemeEntry& entry : ThemeCatalogue)
    EXPECT_EQ(TStylesUtils::FindPalette(entry.Name) == nullptr, entry.Name == "Windows") << entry.Name;
}

TEST_F(ThemeTest, SetThemeRepliesByExactNameAndRestylesTheWindows)
{
  EXPECT_EQ(Call(80001, "{}"), R"(true, "result": "Windows"})");
  const std::pair<const char*, const char*> steps[] = {
    {R"({"name":"Windows10 Dark"})", "true"},
    {R"({"name":"windows10 blue"})", "false"}, // switched, but not the name asked for
    {R"({"name":"No Such Theme"})", "false"},
    {R"({})", "false"},
    {R"({"name":"Windows"})", "true"},
  };
  std::vector<std::string> active;
  for (const auto& [data, reply] : steps) {
    EXPECT_EQ(Call(80003, data), std::string("true, \"result\": ") + reply + "}") << data;
    active.push_back(TStylesUtils::GetActiveTheme());
  }
  EXPECT_EQ(active, (std::vector<std::string>{"Windows10 Dark", "Windows10 Blue", "Windows10 Blue", "Windows10 Blue",
                                              "Windows"}));
  EXPECT_EQ(Platform.AppliedThemes, (std::vector<std::string>{"Windows10 Dark", "Windows10 Blue", ""}));
  EXPECT_TRUE(Platform.Dialogs.empty()) << "setTheme shows no error box";
  EXPECT_EQ(Call(80003, R"({"name":["x"]})"), "");
}

TEST(DrawThemePreview, DrawsThePalettesColoursAndRefusesTheSystemLook)
{
  TBitmap preview;
  TStylesUtils::DrawThemePreview("windows10 dark", preview);
  ASSERT_EQ(preview.Rgba.size(), static_cast<size_t>(preview.Width * preview.Height * 4));
  const TThemePalette& palette = *TStylesUtils::FindPalette("Windows10 Dark");
  const auto pixel = [&](int x, int y) {
    const uint8_t* p =
      &preview.Rgba[(static_cast<size_t>(y) * static_cast<size_t>(preview.Width) + static_cast<size_t>(x)) * 4];
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  };
  EXPECT_EQ(pixel(preview.Width - 10, 3), palette.MenuBar);
  EXPECT_EQ(pixel(preview.Width / 2, preview.Height / 2 - 3), palette.Window);
  try {
    TStylesUtils::DrawThemePreview("Windows", preview);
    ADD_FAILURE() << "the system look has a preview";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Not available \"Windows\" preview.");
  }
}

} // namespace
} // namespace velmora
