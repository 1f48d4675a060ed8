// The browser view: engine set-up on creation, document scripts, and app file requests.
#include "BrowserForm.h"

#include "ExeZip.h"
#include "Resources.h"
#include "SysUtils.h"
#include "support/HeadlessFixture.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <filesystem>

namespace velmora {
namespace {

constexpr const char* kPassword = "abcdefghijklmnopqrstuvwxyz0123456789";

class BrowserFormTest : public test::THeadlessTest {
protected:
  BrowserFormTest()
    : Archive(test::MakeZip({{"MyApp/", "", 1, 0, true},
                             {"MyApp/index.html", "<h1>start</h1>", 1, 8},
                             {"MyApp/rc_images/Logo.png", "PNGDATA", 1, 0},
                             {"MyApp/my page.html", "spaced", 1, 8},
                             {"MyApp/data/shared.txt", "from the archive", 1, 8}},
                            kPassword)),
      Form(Platform.CreateForm(TFormKind::Main)), View(*Form), Browser(*Platform.Browsers.back())
  {
    Zip.SetPassword(kPassword);
    EXPECT_TRUE(Zip.Open({reinterpret_cast<const uint8_t*>(Archive.data()), Archive.size()}));
    View.SetExeZip(&Zip);
    View.SetAppDirName("MyApp");
    View.SetAppDirPath(Disk.Path().string() + TSysUtils::PathDelimiter());
    View.SetHandleRequests(true);
    View.SetIsRuntime(true);
    test::WriteFile(Disk.File("data/config.json"), "{\"on\":true}");
    test::WriteFile(Disk.File("data/shared.txt"), "from the disk");
    test::WriteFile(Disk.File("outside/pic.png"), "ABSOLUTE");
  }

  std::string Body(const std::string& Uri)
  {
    const auto response = Browser.Request(Uri);
    return response ? response->Body : "<none>";
  }

  std::string Archive;
  TExeZip Zip;
  test::TTempDir Disk;
  std::unique_ptr<TNativeForm> Form;
  TBrowserForm View;
  THeadlessEdgeBrowser& Browser;
};

TEST_F(BrowserFormTest, CreationAppliesScriptsSettingsFilterAndStartPage)
{
  View.SetWithExternal(true);
  View.SetAllowDebug(true);
  View.SetStartPageURL("file:///index.html");
  View.SetWebviewJavascript("  console.log('app');\n");
  EXPECT_TRUE(Browser.Navigations.empty()) << "nothing happens before the engine exists";
  Browser.CompleteCreation(kSOk);

  ASSERT_EQ(Browser.DocumentScripts.size(), 1U);
  const std::string& script = Browser.DocumentScripts[0];
  const std::string client(FindResource("RYX_EXTERNAL_JAVASCRIPT"));
  ASSERT_TRUE(client.starts_with("\xEF\xBB\xBF")) << "the stored client script keeps its byte-order mark";
  EXPECT_EQ(script, "\r" + client +
                      "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);"
                      "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);"
                      "\r  console.log('app');\n");
  ASSERT_TRUE(Browser.Settings());
  EXPECT_TRUE(Browser.Settings()->DevToolsEnabled);
  EXPECT_FALSE(Browser.Settings()->DefaultContextMenusEnabled);
  EXPECT_FALSE(Browser.Settings()->StatusBarEnabled);
  EXPECT_FALSE(Browser.Settings()->ZoomControlEnabled);
  EXPECT_EQ(Browser.Filters, std::vector<std::string>{"*"});
  EXPECT_EQ(Browser.Navigations, std::vector<std::string>{"file:///index.html"});

  EXPECT_TRUE(Platform.ProgressBars.back()->Visible());
  Browser.FinishNavigation(false);
  EXPECT_FALSE(Platform.ProgressBars.back()->Visible());
}

TEST_F(BrowserFormTest, BlankAppScriptAddsNothingAndFailedCreationDoesNothing)
{
  View.SetWebviewJavascript(" \r\n\t ");
  EXPECT_EQ(View.DocumentCreatedScript(),
            "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);"
            "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);");
  View.SetStartPageURL("file:///index.html");
  Browser.CompleteCreation(kEFail);
  EXPECT_TRUE(Browser.DocumentScripts.empty());
  EXPECT_TRUE(Browser.Navigations.empty());
  EXPECT_FALSE(View.WebViewCreated());
  EXPECT_TRUE(Platform.ProgressBars.back()->Visible());
}

TEST_F(BrowserFormTest, AppFilesComeFromTheArchiveThenTheProgramFolderThenAbsolutePaths)
{
  Browser.CompleteCreation(kSOk);
  struct TCase {
    std::string Uri;
    const char* Body;
    const char* ContentType;
  };
  const std::string absolute = TSysUtils::PathDelimiter() == "/" ? Disk.Path().string().substr(1) + "/outside/pic.png"
                                                                 : Disk.Path().generic_string() + "/outside/pic.png";
  const TCase cases[] = {
    {"file:///index.html", "<h1>start</h1>", "text/html"},
    {"FILE:///index.html", "<none>", nullptr}, // the prefix is removed in its exact letter case only
    {"file:///INDEX.HTML", "<h1>start</h1>", "text/html"},
    {"file:///rc_images/logo.png", "PNGDATA", nullptr},
    {"file:///my%20page.html", "spaced", "text/html"},
    {"file:///my page.html", "spaced", "text/html"},
    {"file:///data/shared.txt", "from the archive", "text/plain"},
    {"file:///data/config.json", "{\"on\":true}", nullptr},
    {"file:///" + absolute, "ABSOLUTE", nullptr},
    {"file:///index.html?x=1", "<none>", nullptr},
    {"file:///nowhere.html", "<none>", nullptr},
    {"file:///", "<none>", nullptr},
    {"https://example.com/index.html", "<none>", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Uri);
    const auto response = Browser.Request(c.Uri);
    EXPECT_EQ(response ? response->Body : "<none>", c.Body);
    if (response) {
      EXPECT_EQ(response->StatusCode, 200);
      EXPECT_EQ(response->ReasonPhrase, "OK");
      if (c.ContentType != nullptr) {
        EXPECT_EQ(response->Headers, std::string("Content-Type: ") + c.ContentType + "; charset=utf-8");
      }
      EXPECT_EQ(response->Headers.find('\n'), std::string::npos);
    }
  }
  View.SetHandleRequests(false);
  EXPECT_EQ(Body("file:///index.html"), "<none>");
}

TEST_F(BrowserFormTest, NewWindowsAndPermissions)
{
  Browser.CompleteCreation(kSOk);
  EXPECT_FALSE(Browser.RequestNewWindow("https://example.com/"));
  View.SetIsRuntime(false);
  EXPECT_FALSE(Browser.RequestNewWindow("file:///page2.html"));

  Browser.CurrentSource = "file:///index.html";
  EXPECT_EQ(Browser.RequestPermission("camera"), TPermissionState::Allow);
  Browser.CurrentSource = "https://example.com/";
  EXPECT_EQ(Browser.RequestPermission("camera"), TPermissionState::Default);
}

} // namespace
} // namespace velmora
