// The start-up sequence and the main window on the headless layer, on real bundles.
#include "ExeZipLoader.h"
#include "LocalizedMessages.h"
#include "MainForm.h"
#include "RuntimeMain.h"
#include "StylesUtils.h"

#include "ArchivePassword.h"
#include "SysUtils.h"
#include "support/HeadlessFixture.h"
#include "support/ScopedEnv.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <cstdlib>

namespace velmora {
namespace {

class StartupTest : public test::THeadlessTest {
protected:
  StartupTest()
  {
    std::filesystem::create_directories(test::PathOf(Dir.File("run")));
    SetCommandLineArgs({});
  }
  ~StartupTest() override
  {
    SetCommandLineArgs({});
    TStylesUtils::TrySetStyle("Windows", false);
  }

  // A packaged app with these settings and an optional page script.
  std::string Bundle(const std::string& Ini, const std::string& Script = {})
  {
    const std::string path = Dir.File("app" + std::to_string(++FCount));
    test::WriteBundle(
      path,
      test::MakeZip({{"Demo/index.html", "<h1>x</h1>", 1, 8}, {"ryx.ini", Ini, 1, 8}, {"ryx-webviewjs", Script, 1, 8}},
                    std::string(kArchivePassword)));
    return path;
  }

  THeadlessForm& LastForm() { return *Platform.Forms.back(); }

  test::TTempDir Dir;
  // Keep the data folders and the instance lock of these tests inside the temporary folder.
  test::TScopedEnv DataHome{"XDG_DATA_HOME", Dir.File("data")};
  test::TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Dir.File("run")};
  int FCount = 0;
  static constexpr const char* kIdentity = "[App]\nID=demo.app\nName=Demo App\nDirName=Demo\n";
};

// The start-up goes past the engine check only where the engine is present: always on Linux,
// where it is part of the build; the Windows tests run under wine, which has no WebView2.
class AppStartTest : public StartupTest {
protected:
  void SetUp() override
  {
#ifdef _WIN32
    GTEST_SKIP() << "no WebView2 runtime to start under wine";
#endif
  }
};

#ifdef _WIN32
TEST_F(StartupTest, MissingEngineIsReportedAndEndsTheStart)
{
  // Without the installation offered; the installation itself has tests of its own.
  ASSERT_EQ(LoadExeZip(Bundle(std::string(kIdentity) + "EdgeInstaller=0\n")), TStartupResult::Exit);
  ASSERT_EQ(Platform.Dialogs.size(), 1U);
  EXPECT_EQ(Platform.Dialogs[0].Message, GetLocalizedMessage(6));
  EXPECT_TRUE(TSysUtils::FileExists(EdgeLoaderDllPath)) << "the missing loader entry leaves an empty file";
}
#endif

TEST_F(StartupTest, MissingArchiveShowsMessageFiveAndIdentityGapsEndSilently)
{
  EXPECT_EQ(LoadExeZip(VELMORA_RUNTIME_PATH), TStartupResult::Exit);
  ASSERT_EQ(Platform.Dialogs.size(), 1U);
  const TMessageDialogSpec& dialog = Platform.Dialogs[0];
  EXPECT_EQ(dialog.Type, TMsgDlgType::mtError);
  EXPECT_EQ(dialog.Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbYes});
  EXPECT_EQ(dialog.ButtonCaptions, std::vector<std::string>{GetLocalizedMessage(3)});
  EXPECT_EQ(dialog.Caption, GetLocalizedMessage(1));
  EXPECT_EQ(dialog.Message, GetLocalizedMessage(5));

  Platform.Dialogs.clear();
  EXPECT_EQ(LoadExeZip(Bundle("[App]\nID=\nName=x\nDirName=Demo\n")), TStartupResult::Exit);
  EXPECT_TRUE(Platform.Dialogs.empty());
  EXPECT_TRUE(Platform.Forms.empty());
}

TEST_F(AppStartTest, PreparesTheDataFolderAndTheEngineProfile)
{
  ASSERT_EQ(LoadExeZip(Bundle(kIdentity)), TStartupResult::Continue);
  EXPECT_EQ(AppDataDirPath, Dir.File("data") + "/demo.app/");
  EXPECT_TRUE(std::filesystem::is_directory(test::PathOf(WebViewDirPath)));
  EXPECT_EQ(Platform.BrowserDataFolder, WebViewDirPath);
  EXPECT_TRUE(WebViewDirPath.starts_with(AppDataDirPath));
}

TEST_F(AppStartTest, ThemeSettingSwitchesOrReportsAnUnknownName)
{
  ASSERT_EQ(LoadExeZip(Bundle(std::string(kIdentity) + "Theme=windows10 dark\n")), TStartupResult::Continue);
  EXPECT_EQ(TStylesUtils::GetActiveTheme(), "Windows10 Dark");
  EXPECT_TRUE(Platform.Dialogs.empty());

  ASSERT_EQ(LoadExeZip(Bundle(std::string(kIdentity) + "Theme=No Such Theme\n")), TStartupResult::Continue);
  ASSERT_EQ(Platform.Dialogs.size(), 1U);
  EXPECT_EQ(Platform.Dialogs[0].Message, "Style 'No Such Theme' not found");
  EXPECT_EQ(Platform.Dialogs[0].Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbClose});
  EXPECT_EQ(TStylesUtils::GetActiveTheme(), "Windows10 Dark") << "an unknown name leaves the active theme";
}

TEST_F(AppStartTest, PasswordPromptOpensOnlyOnTheExactTextAtAKeyRelease)
{
  const std::string app = Bundle(std::string(kIdentity) + "Password=S3cret\n");
  struct TCase {
    const char* Name;
    std::vector<std::string> Typed; // edit texts after successive key releases; then the user closes
    std::vector<std::string> Args;
    TStartupResult Expected;
    bool Prompted;
  };
  // clang-format off
  const TCase cases[] = {
    {"typed right", {"S", "S3", "S3cret"}, {}, TStartupResult::Continue, true},
    {"other letter case", {"s3cret"}, {}, TStartupResult::Exit, true},
    {"one more character then backspace", {"S3crett", "S3cret"}, {}, TStartupResult::Continue, true},
    {"one more character", {"S3crett"}, {}, TStartupResult::Exit, true},
    {"closed at once", {}, {}, TStartupResult::Exit, true},
    {"second window", {}, {"demo.app", "file:///page2.html"}, TStartupResult::Continue, false},
    {"first argument only", {}, {"demo.app"}, TStartupResult::Continue, false},
    {"app ID in other case", {}, {"DEMO.APP", "file:///x"}, TStartupResult::Exit, true},
  };
  // clang-format on
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetCommandLineArgs(c.Args);
    bool prompted = false;
    // The prompt's modal loop: type, and close the window when the typing did not open the app.
    Platform.OnModalLoop = [this, &c, &prompted](THeadlessForm& form) {
      prompted = true;
      THeadlessPasswordEdit& edit = *Platform.PasswordEdits.back();
      EXPECT_TRUE(edit.Focused);
      EXPECT_EQ(form.Caption(), "Demo App");
      EXPECT_EQ(form.BorderStyle(), TBorderStyle::bsDialog);
      for (const std::string& text : c.Typed) {
        edit.Type(text);
        if (form.ModalResult() != mrNone)
          return;
      }
      form.UserCloseRequest();
    };
    EXPECT_EQ(LoadExeZip(app), c.Expected);
    EXPECT_EQ(prompted, c.Prompted);
  }
  // Text placed in the edit without a key release is not compared.
  Platform.OnModalLoop = [this](THeadlessForm& form) {
    Platform.PasswordEdits.back()->SetText("S3cret");
    form.UserCloseRequest();
  };
  EXPECT_EQ(LoadExeZip(app), TStartupResult::Exit);
}

class MainFormTest : public AppStartTest {
protected:
  // Starts the app on the bundle and builds its main window.
  std::unique_ptr<TMainForm> Open(const std::string& Ini, const std::string& Script = {})
  {
    EXPECT_EQ(LoadExeZip(Bundle(Ini, Script)), TStartupResult::Continue);
    auto form = std::make_unique<TMainForm>();
    Browser = Platform.Browsers.back();
    Window = &static_cast<THeadlessForm&>(form->Form());
    return form;
  }
  THeadlessEdgeBrowser* Browser = nullptr;
  THeadlessForm* Window = nullptr;
};

TEST_F(MainFormTest, DefaultSettingsGiveACentredSizeableWindowOnTheStartPage)
{
  const auto form = Open(kIdentity);
  EXPECT_EQ(Window->Caption(), "Demo App");
  EXPECT_EQ(Platform.ApplicationTitle, "Demo App");
  EXPECT_EQ(Window->Width(), 800);
  EXPECT_EQ(Window->Height(), 600);
  EXPECT_EQ(Window->Position(), TPosition::poDesktopCenter);
  EXPECT_EQ(Window->BorderStyle(), TBorderStyle::bsSizeable);
  EXPECT_EQ(Window->WindowState(), TWindowState::wsNormal);
  EXPECT_EQ(Window->FormStyle(), TFormStyle::fsNormal);
  EXPECT_FALSE(form->BrowserExternalModule().InFullscreen());
  Browser->CompleteCreation(kSOk);
  EXPECT_EQ(Browser->Navigations, std::vector<std::string>{"file:///index.html"});
  EXPECT_EQ(test::BodyOf(Browser->Request("file:///index.html")), "<h1>x</h1>");
}

TEST_F(MainFormTest, SettingsShapeTheWindow)
{
  struct TCase {
    const char* Settings;
    TBorderStyle Border;
    TWindowState State;
    TFormStyle Style;
    TPosition Position;
    bool FullScreen;
  };
  using B = TBorderStyle;
  using S = TWindowState;
  const TCase cases[] = {
    {"WindowStyle=1\nWindowBorder=3", B::bsNone, S::wsMaximized, TFormStyle::fsNormal, TPosition::poDesktopCenter,
     true},
    {"WindowState=2", B::bsSizeable, S::wsNormal, TFormStyle::fsNormal, TPosition::poDesktopCenter, false},
    {"WindowState=1\nWindowBorder=1", B::bsSingle, S::wsMaximized, TFormStyle::fsNormal, TPosition::poDesktopCenter,
     false},
    {"WindowBorder=4\nWindowOrder=1", B::bsToolWindow, S::wsNormal, TFormStyle::fsStayOnTop, TPosition::poDesktopCenter,
     false},
    {"WindowBorder=9\nWindowOrder=2", B::bsSizeable, S::wsNormal, TFormStyle::fsNormal, TPosition::poDesktopCenter,
     false},
    {"WindowPosition=1\nLeft=300\nTop=200", B::bsSizeable, S::wsNormal, TFormStyle::fsNormal,
     TPosition::poDefaultPosOnly, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Settings);
    const auto form = Open(std::string(kIdentity) + c.Settings + "\nWidth=$400\nMinWidth=300\nMaxHeight=900\n");
    EXPECT_EQ(Window->BorderStyle(), c.Border);
    EXPECT_EQ(Window->WindowState(), c.State);
    EXPECT_EQ(Window->FormStyle(), c.Style);
    EXPECT_EQ(Window->Position(), c.Position);
    EXPECT_EQ(form->BrowserExternalModule().InFullscreen(), c.FullScreen);
    EXPECT_EQ(Window->Width(), 1024);
    EXPECT_EQ(Window->Constraints().MinWidth, 300);
    EXPECT_EQ(Window->Constraints().MaxHeight, 900);
    EXPECT_EQ(Window->Constraints().MaxWidth, 0);
  }
}

TEST_F(MainFormTest, SecondWindowStartOpensTheGivenAddress)
{
  SetCommandLineArgs({"demo.app", "file:///page2.html"});
  const auto form = Open(kIdentity);
  Browser->CompleteCreation(kSOk);
  EXPECT_EQ(Browser->Navigations, std::vector<std::string>{"file:///page2.html"});
}

TEST_F(MainFormTest, ClosingGoesThroughThePage)
{
  const auto form = Open(kIdentity);
  Browser->CompleteCreation(kSOk);
  Browser->CommitDocument("file:///index.html");
  Window->Show();
  Window->UserCloseRequest();
  EXPECT_TRUE(Window->Visible()) << "the page decides";
  EXPECT_EQ(Browser->ExecutedScripts, std::vector<std::string>{"ryx.events.onCloseQuery();"});

  // The page's default handler answers with app.close: the window closes for good.
  Browser->ReceiveMessage(R"({"id":50001,"uuid":"u","data":{}})");
  EXPECT_FALSE(Window->Visible());
  EXPECT_TRUE(Window->Closed());
  EXPECT_EQ(Browser->ExecutedScripts.size(), 2U) << "the page is asked once more";
  EXPECT_TRUE(Browser->PostedMessages.empty());
}

TEST_F(MainFormTest, CloseRequestWithoutAStartedBrowserClosesDirectly)
{
  const auto form = Open(kIdentity);
  Browser->CompleteCreation(kEFail);
  Window->Show();
  Window->UserCloseRequest();
  EXPECT_TRUE(Window->Closed());
}

TEST_F(MainFormTest, CloseRequestWhileNoAppPageIsShownClosesDirectly)
{
  // A page from elsewhere, an error page ("") or nothing yet cannot answer the close question:
  // waiting for it would leave a window that never closes.
  for (const char* shown : {"https://example.com/", "", "file:///no-such-page.html"}) {
    SCOPED_TRACE(shown);
    const auto form = Open(kIdentity);
    Browser->CompleteCreation(kSOk);
    Browser->CommitDocument(shown);
    Window->Show();
    Window->UserCloseRequest();
    EXPECT_TRUE(Window->Closed());
    EXPECT_TRUE(Browser->ExecutedScripts.empty()) << "nothing asks a page that is not the app's";
  }
}

TEST_F(MainFormTest, DynamicTitleFollowsThePageOnlyWhenAsked)
{
  for (const char* flag : {"1", "0"}) {
    SCOPED_TRACE(flag);
    const auto form = Open(std::string(kIdentity) + "DynamicAppTitle=" + flag + "\n");
    const bool follows = std::string(flag) == "1";
    Browser->ChangeTitle("Page Title");
    EXPECT_EQ(Window->Caption(), follows ? "Page Title" : "Demo App");
    Browser->ChangeTitle(""); // a page that clears its title
    EXPECT_EQ(Window->Caption(), follows ? "" : "Demo App");
    EXPECT_EQ(Platform.ApplicationTitle, "Demo App");
  }
}

TEST_F(MainFormTest, AppScriptComesFromTheArchive)
{
  const auto form = Open(kIdentity, "console.log('extra');");
  EXPECT_EQ(form->BrowserForm().WebviewJavascript(), "console.log('extra');");
}

TEST_F(AppStartTest, SingleInstanceLetsOnlyTheSecondWindowStartThrough)
{
  // Another instance holds the lock of this app ID (the lock lives as long as the process).
  ASSERT_EQ(TSysUtils::CreateNamedMutex("single.app"), TNamedMutexResult::Created);
  const std::string single = Bundle("[App]\nID=single.app\nName=S\nDirName=Demo\n");
  const std::string many = Bundle("[App]\nID=single.app\nName=S\nDirName=Demo\nAllowInstances=1\n");
  bool ran = false;
  Platform.OnRun = [&](TNativeForm&) { ran = true; };
  struct TCase {
    std::string App;
    std::vector<std::string> Args;
    bool Runs;
  };
  const TCase cases[] = {
    {single, {}, false},
    {single, {"single.app"}, false},
    {single, {"Single.App", "file:///p.html"}, false},
    {single, {"single.app", "file:///p.html"}, true},
    {many, {}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.size());
    SetCommandLineArgs(c.Args);
    ran = false;
    EXPECT_EQ(RunVelmoraApplication(c.App), 0);
    EXPECT_EQ(ran, c.Runs);
  }
}

} // namespace
} // namespace velmora
