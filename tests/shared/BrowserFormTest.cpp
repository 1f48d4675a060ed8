// The browser view: engine set-up on creation, document scripts, and app file requests.
#include "BrowserForm.h"

#include "ExeZip.h"
#include "Resources.h"
#include "SysUtils.h"
#include "support/HeadlessFixture.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <cstring>
#include <filesystem>

namespace velmora {
namespace {

constexpr const char* kPassword = "abcdefghijklmnopqrstuvwxyz0123456789";

class BrowserFormTest : public test::THeadlessTest {
protected:
  BrowserFormTest()
    : Archive(test::MakeZip({{"MyApp/", "", 1, 0, true},
                             {"MyApp/index.html", "<h1>start</h1>", 1, 8},
                             {"MyApp/rc_images/", "", 1, 0, true},
                             {"MyApp/rc_images/Logo.png", "PNGDATA", 1, 0},
                             {"MyApp/lib/\xC3\xA9t\xC3\xA9.mjs", "export {}", 1, 8},
                             {"MyApp/mod.wasm", "WASM", 1, 0},
                             {"MyApp/my page.html", "spaced", 1, 8},
                             {"MyApp/data/shared.txt", "from the archive", 1, 8},
                             {"MyApp/media/clip.webm", "0123456789ABCDEFGHIJ", 1, 8}},
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
    test::WriteFile(Disk.File("media/disk.webm"), "abcdefghijklmnopqrst");
  }

  std::string Body(const std::string& Uri)
  {
    const auto response = Browser.Request(Uri);
    return test::BodyOf(response);
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
  test::WriteFile(Disk.File("rc_images/disk.txt"), "next to the program");
  // A file beside the program folder, which an escaped ".." must not reach.
  const std::filesystem::path beside = Disk.Path().parent_path() / (Disk.Path().filename().string() + "-beside.txt");
  test::WriteFile(beside.string(), "outside the program folder");
  struct TCase {
    std::string Uri;
    const char* Body;
    const char* Headers; // nullptr: whatever type the machine registers
  };
  const std::string absolute = test::FileUriOf(Disk.File("outside/pic.png")).substr(8);
  const std::string climb = "file:///%2E%2E/" + beside.filename().string();
  const TCase cases[] = {
    {"file:///index.html", "<h1>start</h1>", "Content-Type: text/html; charset=utf-8"},
    {"FILE:///index.html", "<none>", nullptr}, // the prefix is removed in its exact letter case only
    {"file:///INDEX.HTML", "<h1>start</h1>", "Content-Type: text/html; charset=utf-8"},
    {"file:///rc_images/logo.png", "PNGDATA", nullptr},
    {"file:///my%20page.html", "spaced", "Content-Type: text/html; charset=utf-8"},
    {"file:///my page.html", "spaced", "Content-Type: text/html; charset=utf-8"},
    {"file:///data/shared.txt", "from the archive", "Content-Type: text/plain; charset=utf-8"},
    {"file:///data/config.json", "{\"on\":true}", nullptr},
    {"file:///" + absolute, "ABSOLUTE", nullptr},
    // The query and the fragment stay the page's; every escape is decoded as UTF-8.
    {"file:///index.html?x=1", "<h1>start</h1>", "Content-Type: text/html; charset=utf-8"},
    {"file:///index.html?file=a.pdf#page=2", "<h1>start</h1>", "Content-Type: text/html; charset=utf-8"},
    {"file:///my%20page.html#part", "spaced", "Content-Type: text/html; charset=utf-8"},
    {"file:///data/config.json?v=3", "{\"on\":true}", nullptr},
    {"file:///lib/%C3%A9t%C3%A9.mjs?v=2", "export {}", nullptr},
    {"file:///" + absolute + "?size=2", "ABSOLUTE", nullptr},
    // Binary types go without a character set, which some readers refuse.
    {"file:///mod.wasm", "WASM", "Content-Type: application/wasm"},
    // Folders, the empty path and names that climb out of the program folder are no files.
    {"file:///", "<none>", nullptr},
    {"file:///?x=1", "<none>", nullptr},
    {"file:///rc_images/", "<none>", nullptr},
    {"file:///rc_images", "<none>", nullptr},
    {"file:///rc_images/disk.txt", "next to the program", nullptr},
    {climb, "<none>", nullptr},
    {"file:///nowhere.html", "<none>", nullptr},
    {"file:///nowhere.html#x", "<none>", nullptr},
    {"https://example.com/index.html", "<none>", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Uri);
    const auto response = Browser.Request(c.Uri);
    EXPECT_EQ(test::BodyOf(response), c.Body);
    if (!response)
      continue;
    EXPECT_EQ(response->StatusCode, 200);
    EXPECT_EQ(response->ReasonPhrase, "OK");
    // A document from elsewhere on disk gets an opaque origin, apart from the app's documents.
    const bool foreign = c.Uri.starts_with("file:///" + absolute);
    const std::string policy = "\r\nContent-Security-Policy: sandbox allow-scripts allow-forms allow-modals";
    EXPECT_EQ(response->Headers.ends_with(policy), foreign);
    const std::string contentLine = response->Headers.substr(0, response->Headers.find('\r'));
    EXPECT_EQ(contentLine.find('\n'), std::string::npos);
    if (c.Headers != nullptr) {
      EXPECT_EQ(contentLine, c.Headers);
    }
  }
  // The module's type comes from the machine or from the modern web's table; either is text.
  const auto module = Browser.Request("file:///lib/%C3%A9t%C3%A9.mjs");
  ASSERT_TRUE(module);
  EXPECT_NE(module->Headers.find("javascript; charset=utf-8"), std::string::npos) << module->Headers;

  std::filesystem::remove(beside);

  View.SetHandleRequests(false);
  EXPECT_EQ(Body("file:///index.html"), "<none>");
}

TEST_F(BrowserFormTest, ByteRangesGetTheirPartOfArchiveEntriesAndDiskFiles)
{
  Browser.CompleteCreation(kSOk);
  struct TCase {
    const char* Uri;
    const char* Range;
    int Status;
    const char* Body;
    const char* ContentRange; // "": no such header
  };
  const TCase cases[] = {
    // A deflated, encrypted entry has to be read up to the range; a disk file is seeked.
    {"file:///media/clip.webm", "bytes=5-9", 206, "56789", "bytes 5-9/20"},
    {"file:///media/clip.webm", "bytes=15-", 206, "FGHIJ", "bytes 15-19/20"},
    {"file:///media/clip.webm", "bytes=-3", 206, "HIJ", "bytes 17-19/20"},
    {"file:///media/clip.webm", "bytes=0-999", 206, "0123456789ABCDEFGHIJ", "bytes 0-19/20"},
    {"file:///media/disk.webm", "bytes=10-12", 206, "klm", "bytes 10-12/20"},
    {"file:///media/disk.webm", "bytes=-50", 206, "abcdefghijklmnopqrst", "bytes 0-19/20"},
    // Nothing of the file lies in the range.
    {"file:///media/clip.webm", "bytes=20-", 416, "", "bytes */20"},
    {"file:///media/disk.webm", "bytes=-0", 416, "", "bytes */20"},
    // Ranges this server ignores: the whole file, as without the header.
    {"file:///media/clip.webm", "bytes=0-1,5-6", 200, "0123456789ABCDEFGHIJ", ""},
    {"file:///media/clip.webm", "items=0-1", 200, "0123456789ABCDEFGHIJ", ""},
    {"file:///media/clip.webm", "bytes=9-3", 200, "0123456789ABCDEFGHIJ", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Uri) + " " + c.Range);
    const auto response = Browser.RequestFrom(c.Uri, "file:///index.html", false, c.Range);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->StatusCode, c.Status);
    EXPECT_EQ(test::BodyOf(response), c.Body);
    const std::string line = std::string("\r\nContent-Range: ") + c.ContentRange;
    EXPECT_EQ(response->Headers.find("Content-Range") != std::string::npos, *c.ContentRange != '\0');
    if (*c.ContentRange != '\0') {
      EXPECT_TRUE(response->Headers.ends_with(line)) << response->Headers;
    }
    if (c.Status == 206) {
      EXPECT_EQ(response->ReasonPhrase, "Partial Content");
      ASSERT_TRUE(response->Body);
      EXPECT_EQ(response->Body->Length(), static_cast<int64_t>(std::strlen(c.Body)));
    }
    EXPECT_TRUE(response->Headers.starts_with("Content-Type: video/webm\r\n") ||
                response->Headers == "Content-Type: video/webm")
      << response->Headers;
  }
}

TEST_F(BrowserFormTest, OnlyTheAppsOwnDocumentsGetAppFiles)
{
  Browser.CompleteCreation(kSOk);
  const std::string planted = test::FileUriOf(Disk.File("outside/pic.png"));
  struct TCase {
    std::string Requester;
    bool Served;
  };
  const TCase cases[] = {
    {"file:///index.html", true},
    {"file:///settings/route", true}, // an app page after history.pushState
    {"file://", true},                // the app's origin
    {"blob:file:///4f1c-99", true},   // a document an app page made
    {"http://127.0.0.1:8000", false}, // the origin of a remote page's request
    {"https://example.com/page.html", false},
    {"null", false},  // an opaque origin: data:, sandboxed frames
    {planted, false}, // a document served from elsewhere on disk
    {"blob:https://example.com/77", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Requester);
    const auto response = Browser.RequestFrom("file:///index.html", c.Requester);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->StatusCode, c.Served ? 200 : 403);
    EXPECT_EQ(test::BodyOf(response), c.Served ? "<h1>start</h1>" : "");
  }
  // Reading the disk through the app address is refused as well.
  EXPECT_EQ(Browser.RequestFrom(planted, "http://127.0.0.1:8000")->StatusCode, 403);

  // A request the engine says nothing about: the view's own navigation, or one made while an app
  // document is shown; never while the view shows a page from elsewhere, nor from a popup.
  View.SetStartPageURL("file:///index.html");
  Browser.CompleteCreation(kSOk);
  EXPECT_EQ(Browser.RequestFrom("file:///index.html", "")->StatusCode, 200) << "the start page";
  Browser.FinishNavigation(true);
  Browser.CommitDocument("https://example.com/");
  EXPECT_EQ(Browser.RequestFrom("file:///data/shared.txt", "")->StatusCode, 403);
  Browser.CommitDocument(planted);
  EXPECT_EQ(Browser.RequestFrom("file:///data/shared.txt", "")->StatusCode, 403);
  Browser.CommitDocument("file:///index.html");
  EXPECT_EQ(Browser.RequestFrom("file:///data/shared.txt", "")->StatusCode, 200);
  EXPECT_EQ(Browser.RequestFrom("file:///data/shared.txt", "", true)->StatusCode, 403);
}

TEST_F(BrowserFormTest, ClickReportMovesTheFocusOnlyOutsideTheRuntime)
{
  // A view without the bridge answers the click report itself: in the runtime a page's plain
  // string moves nothing, outside it the focus goes to the window first, then to the view.
  Browser.CompleteCreation(kSOk);
  Browser.ReceiveMessage("\"ryx-webbrowser-clicked\"", "ryx-webbrowser-clicked");
  EXPECT_TRUE(Platform.FocusLog.empty());
  View.SetIsRuntime(false);
  Browser.ReceiveMessage("\"other\"", "other");
  EXPECT_TRUE(Platform.FocusLog.empty());
  Browser.ReceiveMessage("\"ryx-webbrowser-clicked\"", "ryx-webbrowser-clicked");
  EXPECT_EQ(Platform.FocusLog, (std::vector<std::string>{"form", "browser"}));
}

TEST_F(BrowserFormTest, SecondWindowsOnlyForAppDocumentsOpeningAppDocuments)
{
  std::vector<std::string> started;
  View.SetSecondInstanceStarter([&](const std::string& Arguments) { started.push_back(Arguments); });
  View.SetRuntimeAppID("my.app");
  Browser.CompleteCreation(kSOk);
  const std::string planted = test::FileUriOf(Disk.File("outside/pic.png"));
  struct TCase {
    std::string Shown;
    std::string Uri;
    bool Handled;
    bool Started;
  };
  const TCase cases[] = {
    {"file:///index.html", "file:///my%20page.html", true, true},
    {"file:///index.html", "https://example.com/", false, false}, // the engine's own window
    {"file:///index.html", planted, true, false},                 // refused: no window, no process
    {"file:///index.html", "file:///nowhere.html", true, false},
    {"https://example.com/", "file:///index.html", true, false},
    {"https://example.com/", planted, true, false},
    {planted, "file:///index.html", true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Shown + " -> " + c.Uri);
    started.clear();
    Browser.CommitDocument(c.Shown);
    EXPECT_EQ(Browser.RequestNewWindow(c.Uri), c.Handled);
    EXPECT_EQ(started,
              c.Started ? std::vector<std::string>{"\"my.app\" \"" + c.Uri + "\""} : std::vector<std::string>{});
  }
  View.SetIsRuntime(false);
  Browser.CommitDocument("file:///index.html");
  EXPECT_FALSE(Browser.RequestNewWindow("file:///page2.html"));
  EXPECT_TRUE(started.empty());
}

TEST_F(BrowserFormTest, PermissionsWithoutAskingOnlyForAppDocuments)
{
  Browser.CompleteCreation(kSOk);
  for (const auto& [source, state] : std::vector<std::pair<std::string, TPermissionState>>{
         {"file:///index.html", TPermissionState::Allow},
         {"https://example.com/", TPermissionState::Default},
         {test::FileUriOf(Disk.File("outside/pic.png")), TPermissionState::Default},
         {"data:text/html,x", TPermissionState::Default}}) {
    SCOPED_TRACE(source);
    Browser.CurrentSource = source;
    EXPECT_EQ(Browser.RequestPermission("camera"), state);
  }
}

TEST_F(BrowserFormTest, DownloadsAskWhereToSaveAndOnlyForAppDocuments)
{
  Browser.CompleteCreation(kSOk);
  // A page from elsewhere, or a popup, saves nothing and is not even asked about.
  Browser.CommitDocument("https://example.com/");
  EXPECT_TRUE(Browser.StartDownload("https://example.com/x.exe", "x.exe").Cancel);
  EXPECT_TRUE(Platform.FileDialogs.empty());

  // An app document's download shows the save dialog (made at the first one, which the headless
  // user, without an answer yet, cancels); the file goes where the user says, or nowhere.
  Browser.CommitDocument("file:///index.html");
  EXPECT_TRUE(Browser.StartDownload("blob:file:///1", "report.csv").Cancel);
  ASSERT_EQ(Platform.FileDialogs.size(), 1U);
  THeadlessFileDialog& dialog = *Platform.FileDialogs.back();
  EXPECT_EQ(dialog.Kind, TFileDialogKind::Save);
  EXPECT_EQ(dialog.Name, "report.csv");
  EXPECT_TRUE(dialog.Overwrite) << "replacing a file is asked first";
  std::optional<std::string> choice = Disk.File("saved/report.csv");
  dialog.Answer = [&](THeadlessFileDialog&) { return choice; };
  const auto saved = Browser.StartDownload("blob:file:///2", "report.csv");
  EXPECT_FALSE(saved.Cancel);
  EXPECT_EQ(saved.ResultFilePath, Disk.File("saved/report.csv"));
  choice.reset();
  EXPECT_TRUE(Browser.StartDownload("blob:file:///3", "report.csv").Cancel);
  EXPECT_EQ(dialog.Executions, 3);
}

TEST_F(BrowserFormTest, AFailedContentProcessBringsTheAppPageBackAFewTimes)
{
  View.SetStartPageURL("file:///index.html");
  Browser.CompleteCreation(kSOk);
  Browser.CommitDocument("file:///my%20page.html#part");
  Browser.FailProcess();
  Browser.CommitDocument("https://example.com/");
  Browser.FailProcess();
  Browser.FailProcess();
  Browser.FailProcess(); // the fourth within a minute: the page is left alone
  EXPECT_EQ(Browser.Navigations, (std::vector<std::string>{"file:///index.html", "file:///my%20page.html#part",
                                                           "file:///index.html", "file:///index.html"}));
}

} // namespace
} // namespace velmora
