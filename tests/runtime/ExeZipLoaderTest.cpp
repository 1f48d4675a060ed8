// The start-up loader on real bundles: identity published, silent ends, unreadable archives.
#include "ExeZipLoader.h"
#include "ProjectSettings.h"

#include "ArchivePassword.h"
#include "Limits.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::MakeZip;
using test::TFixtureEntry;
using test::TTempDir;

const std::string kPassword(kArchivePassword);

TEST(OpenAppBundle, PublishesTheIdentityOfACompleteBundle)
{
  TTempDir dir;
  const std::string exe = dir.File("app");
  test::WriteBundle(exe, MakeZip({{"Demo/", "", 1, 0, true},
                                  {"Demo/start.html", "<h1>hi</h1>", 1, 8},
                                  {"ryx.ini",
                                   "\xEF\xBB\xBF[App]\r\nID=demo.app\r\nName=Démo\r\nDirName=Demo\r\n"
                                   "IndexHtml=start.html\r\nWidth=$400\r\n",
                                   1, 8},
                                  {"ryx-webviewjs", "", 1, 0}},
                                 kPassword));
  ASSERT_EQ(OpenAppBundle(exe), TBundleState::Loaded);
  EXPECT_EQ(AppID, "demo.app");
  EXPECT_EQ(AppName, "Démo");
  EXPECT_EQ(AppDirName, "Demo");
  EXPECT_EQ(AppIndexHtml, "start.html");
  EXPECT_EQ(ProjectINI->ReadInteger("App", "Width", 0), 1024);
  const auto page = ExeZip->ExtractToString("demo/START.html");
  ASSERT_TRUE(page && page.Value());
  EXPECT_EQ(*page.Value(), "<h1>hi</h1>");
}

TEST(OpenAppBundle, EndsSilentlyWithoutArchiveOrIdentity)
{
  TTempDir dir;
  struct TCase {
    const char* Name;
    std::string Ini; // empty: no ryx.ini entry at all
    TBundleState Expected;
  };
  const TCase cases[] = {
    {"no ryx.ini", "", TBundleState::IdentityMissing},
    {"empty ID", "[App]\nID=\nName=n\nDirName=d", TBundleState::IdentityMissing},
    {"no Name", "[App]\nID=i\nDirName=d", TBundleState::IdentityMissing},
    {"no DirName", "[App]\nID=i\nName=n", TBundleState::IdentityMissing},
    {"identity in another section", "[Other]\nID=i\nName=n\nDirName=d", TBundleState::IdentityMissing},
    // The ID names the data folder: anything but one folder name ends the start silently.
    {"an ID that climbs out", "[App]\nID=../..\nName=n\nDirName=d", TBundleState::IdentityMissing},
    {"an ID with a separator", "[App]\nID=a/b\nName=n\nDirName=d", TBundleState::IdentityMissing},
    // Settings past any sane size count as missing.
    {"settings past the size limit", "[App]\nID=i\nName=n\nDirName=d\n;" + std::string(kMaxSettingsBytes, 'x'),
     TBundleState::IdentityMissing},
    {"complete", "[App]\nID=i\nName=n\nDirName=d", TBundleState::Loaded},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TFixtureEntry> entries = {{"d/index.html", "x", 1, 0}};
    if (!c.Ini.empty())
      entries.push_back({"ryx.ini", c.Ini, 1, 0});
    const std::string exe = dir.File(c.Name);
    test::WriteBundle(exe, MakeZip(entries, kPassword));
    EXPECT_EQ(OpenAppBundle(exe), c.Expected);
  }
  EXPECT_EQ(OpenAppBundle(VELMORA_RUNTIME_PATH), TBundleState::NoArchive);
}

TEST(IsValidAppID, OneFolderNameOnEveryPlatform)
{
  for (const char* good : {"demo.app", "org.velmora.e2e1", "My App 2", "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}",
                           "Grüße", "COM10", "console"})
    EXPECT_TRUE(IsValidAppID(good)) << good;
  for (const std::string& bad : std::vector<std::string>{"",
                                                         ".",
                                                         "..",
                                                         "../x",
                                                         "a/b",
                                                         "a\\b",
                                                         "C:",
                                                         "a:b",
                                                         "x*",
                                                         "what?",
                                                         "\"q\"",
                                                         "<a>",
                                                         "a|b",
                                                         "tab\there",
                                                         "trailing.",
                                                         "trailing ",
                                                         "CON",
                                                         "nul.txt",
                                                         "con.app.x",
                                                         "Com1",
                                                         "lpt9",
                                                         std::string(256, 'a'),
                                                         std::string("a\0b", 3)})
    EXPECT_FALSE(IsValidAppID(bad)) << bad;
}

TEST(OpenAppBundle, ArchiveThatCannotBeOpenedIsAnError)
{
  TTempDir dir;
  test::WriteBundle(dir.File("garbage"), "this is not a zip archive");
  EXPECT_THROW(OpenAppBundle(dir.File("garbage")), std::runtime_error);

  // Entries under another password open as an archive but cannot be read: the settings
  // stay empty, so the start ends silently like a bundle without identity.
  test::WriteBundle(dir.File("foreign"), MakeZip({{"ryx.ini", "[App]\nID=i\nName=n\nDirName=d", 1, 0}}, "other"));
  EXPECT_EQ(OpenAppBundle(dir.File("foreign")), TBundleState::IdentityMissing);
}

} // namespace
} // namespace velmora
