// The installation of a missing browser engine, played on the headless layer: the user answers the
// dialogs, the test plays the installer and the machine.
#include "EdgeInstallerForm.h"

#include "ActivityIndicator.h"
#include "ArchivePassword.h"
#include "ExeZipLoader.h"
#include "LocalizedMessages.h"
#include "SysUtils.h"
#include "support/HeadlessFixture.h"
#include "support/ScopedEnv.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <filesystem>

namespace velmora {
namespace {

namespace fs = std::filesystem;

class EdgeInstallerTest : public test::THeadlessTest {
protected:
  // A bundle with the given settings and an installer entry, loaded as the start-up loads it,
  // with its data folder (holding the engine's profile) in a temporary folder.
  void Load(const std::string& Settings)
  {
    // A new file each time: the loaded bundle stays mapped, and Windows does not let a mapped file
    // be rewritten.
    const std::string exe = Dir.File("app" + std::to_string(++Bundles));
    test::WriteBundle(exe, test::MakeZip({{"ryx.ini", "[App]\nID=demo.app\nName=Demo\nDirName=Web\n" + Settings, 1, 8},
                                          {"Web/index.html", "x", 1, 0},
                                          {"WebView2Installer.exe", "INSTALLER", 1, 8}},
                                         std::string(kArchivePassword)));
    ASSERT_EQ(OpenAppBundle(exe), TBundleState::Loaded);
    AppDataDirPath = Dir.File("data") + TSysUtils::PathDelimiter();
    EdgeLoaderDllPath = AppDataDirPath + "Win64" + TSysUtils::PathDelimiter() + "WebView2LoaderWin64.dll";
    ASSERT_TRUE(TSysUtils::ForceDirectories(AppDataDirPath + "Win64"));
    test::WriteFile(EdgeLoaderDllPath, "LOADER");
  }

  std::string Installer() const { return AppDataDirPath + "WebView2Installer.exe"; }

  // The machine: the engine is missing until the installer (when it works) has run.
  TEdgeInstallerServices Machine(bool InstallerWorks)
  {
    TEdgeInstallerServices services;
    services.CheckEdgeIsInstalled = [this](const std::string& Loader) {
      EXPECT_EQ(Loader, EdgeLoaderDllPath);
      return Installed;
    };
    services.RunElevatedAndWait = [this, InstallerWorks](const std::string& File, const std::string& Params) {
      Runs.push_back(File + " " + Params);
      InstallerSeen = test::ReadFile(File);
      // The busy window is up while the installer runs, and refuses to close; what it looks
      // like is noted now, since it goes with the installation.
      EXPECT_FALSE(Platform.Forms.empty());
      if (!Platform.Forms.empty()) {
        THeadlessForm& form = *Platform.Forms.back();
        EXPECT_TRUE(form.Visible());
        form.UserCloseRequest();
        EXPECT_FALSE(form.Closed()) << "the busy window closed";
        Busy = TBusySeen{form.Kind(), form.Caption(), form.Width(), form.Height(), form.Position(), form.Color()};
      }
      Installed = InstallerWorks;
      return 0U;
    };
    services.ShellExec = [this](const std::string& File, const std::string& Arguments) {
      Starts.push_back(File + "|" + Arguments);
      return true;
    };
    services.ExeFilePath = [] { return std::string("/opt/demo/app"); };
    return services;
  }

  test::TTempDir Dir;
  int Bundles = 0;
  bool Installed = false;
  std::vector<std::string> Runs;
  std::vector<std::string> Starts;
  std::string InstallerSeen;
  struct TBusySeen {
    TFormKind Kind;
    std::string Caption;
    int Width, Height;
    TPosition Position;
    std::optional<uint32_t> Color;
  };
  std::optional<TBusySeen> Busy;
};

TEST_F(EdgeInstallerTest, EachOutcomeShowsItsMessagesAndKeepsOrDeletesTheDataFolder)
{
  struct TCase {
    const char* Name;
    const char* Settings;
    std::vector<TModalResult> Answers;
    bool InstallerWorks;
    std::vector<int> Messages; // message indexes, in the order shown
    bool InstallerRuns;
    bool DataFolderKept;
    bool Restarted;
  };
  const TCase cases[] = {
    {"not offered", "EdgeInstaller=0", {}, true, {msgRuntimeMissing}, false, true, false},
    {"declined", "", {mrCancel}, true, {msgAskInstallRuntime, msgInstallDeclined}, false, false, false},
    {"failed", "", {mrYes}, false, {msgAskInstallRuntime, msgInstallFailed}, true, false, false},
    {"restarted", "", {mrYes}, true, {msgAskInstallRuntime}, true, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Load(c.Settings);
    Installed = false;
    Runs.clear();
    Starts.clear();
    Platform.Dialogs.clear();
    Platform.DialogAnswers.assign(c.Answers.begin(), c.Answers.end());
    RunEdgeInstallation(Machine(c.InstallerWorks));

    std::vector<std::string> shown;
    for (const TMessageDialogSpec& dialog : Platform.Dialogs)
      shown.push_back(dialog.Message);
    std::vector<std::string> expected;
    for (int message : c.Messages)
      expected.push_back(GetLocalizedMessage(message));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(Runs, c.InstallerRuns ? std::vector<std::string>{Installer() + " /silent /install"}
                                    : std::vector<std::string>{});
    EXPECT_EQ(fs::exists(test::PathOf(AppDataDirPath)), c.DataFolderKept);
    // Exactly one fresh start of the app, without arguments, and only after a success; the
    // installer is gone then.
    EXPECT_EQ(Starts, c.Restarted ? std::vector<std::string>{"/opt/demo/app|"} : std::vector<std::string>{});
    if (c.Restarted) {
      EXPECT_FALSE(fs::exists(test::PathOf(Installer())));
    }
    if (c.InstallerRuns) {
      EXPECT_EQ(InstallerSeen, "INSTALLER");
    }
    if (!c.InstallerRuns && c.DataFolderKept) {
      EXPECT_FALSE(fs::exists(test::PathOf(Installer()))) << "extracted although not offered";
    }
    fs::remove_all(test::PathOf(AppDataDirPath));
  }
}

TEST_F(EdgeInstallerTest, TheDialogsAndTheBusyWindowFollowTheSettings)
{
  Load("InstallFormColor=$00336699\nInstallIndicatorColor=0\nInstallIndicatorType=2");
  // An installer left by an earlier attempt is run as it is.
  test::WriteFile(Installer(), "OLD");
  Platform.DialogAnswers = {mrYes};
  RunEdgeInstallation(Machine(true));
  EXPECT_EQ(InstallerSeen, "OLD");

  ASSERT_EQ(Platform.Dialogs.size(), 1U);
  const TMessageDialogSpec& ask = Platform.Dialogs[0];
  EXPECT_EQ(ask.Type, TMsgDlgType::mtConfirmation);
  EXPECT_EQ(ask.Buttons, (std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbCancel}));
  EXPECT_EQ(ask.ButtonCaptions,
            (std::vector<std::string>{GetLocalizedMessage(msgAcceptButton), GetLocalizedMessage(msgCancelButton)}));
  EXPECT_EQ(ask.Caption, GetLocalizedMessage(msgConfirmTitle));

  ASSERT_TRUE(Busy);
  EXPECT_EQ(Busy->Kind, TFormKind::Busy);
  EXPECT_EQ(Busy->Caption, "EdgeInstallerForm");
  EXPECT_EQ(std::make_pair(Busy->Width, Busy->Height), std::make_pair(80, 80));
  EXPECT_EQ(Busy->Position, TPosition::poScreenCenter);
  EXPECT_EQ(Busy->Color, 0x996633U) << "0x00BBGGRR read the other way round";
  ASSERT_EQ(Platform.ActivityIndicators.size(), 1U);
  const TActivityIndicatorRecord& indicator = Platform.ActivityIndicators[0];
  EXPECT_EQ(std::make_tuple(indicator.Left, indicator.Top, indicator.Size), std::make_tuple(9, 8, 64));
  EXPECT_EQ(indicator.Kind, TActivityIndicatorKind::SectorRing);
  EXPECT_EQ(indicator.Color, TActivityIndicatorColor::Black);
}

TEST_F(EdgeInstallerTest, ColoursOfTheSettingsAndTheDefaultBusyWindow)
{
  // The default is the hot-tracked-item system colour (index 26); RGB colours come as 0x00BBGGRR.
  EXPECT_EQ(ColorFromSetting(-16777190), Platform.SystemColor(26));
  EXPECT_EQ(ColorFromSetting(0x000000FF), 0xFF0000U);
  EXPECT_EQ(ColorFromSetting(0x00FF0000), 0x0000FFU);
  Load("");
  Platform.DialogAnswers = {mrYes};
  RunEdgeInstallation(Machine(true));
  ASSERT_TRUE(Busy);
  EXPECT_EQ(Busy->Color, Platform.SystemColor(26));
  ASSERT_EQ(Platform.ActivityIndicators.size(), 1U);
  EXPECT_EQ(Platform.ActivityIndicators[0].Kind, TActivityIndicatorKind::MomentumDots);
  EXPECT_EQ(Platform.ActivityIndicators[0].Color, TActivityIndicatorColor::White);
}

#ifndef _WIN32
TEST_F(EdgeInstallerTest, TheQuestionInGerman)
{
  const test::TScopedEnv language("LC_ALL", "de_DE.UTF-8");
  Load("");
  Platform.DialogAnswers = {mrCancel};
  RunEdgeInstallation(Machine(true));
  ASSERT_EQ(Platform.Dialogs.size(), 2U);
  EXPECT_EQ(Platform.Dialogs[0].Message, "Die Microsoft WebView2-Laufzeit ist erforderlich, um diese Anwendung "
                                         "auszuführen. Möchten Sie es jetzt installieren?");
  EXPECT_EQ(Platform.Dialogs[0].Caption, "Bestätigen");
  EXPECT_EQ(Platform.Dialogs[0].ButtonCaptions, (std::vector<std::string>{"Akzeptieren", "Stornieren"}));
  EXPECT_EQ(Platform.Dialogs[1].Message, "Diese Anwendung kann nicht fortgesetzt werden und wird jetzt geschlossen.");
}
#endif

TEST(ActivityIndicator, EachKindDrawsATurningShapeInItsColour)
{
  for (const auto kind : {TActivityIndicatorKind::MomentumDots, TActivityIndicatorKind::RotatingSector,
                          TActivityIndicatorKind::SectorRing}) {
    SCOPED_TRACE(static_cast<int>(kind));
    const TBitmap first = DrawActivityIndicator(kind, TActivityIndicatorColor::White, 64, 0.0);
    const TBitmap later = DrawActivityIndicator(kind, TActivityIndicatorColor::White, 64, 0.25);
    ASSERT_EQ(first.Rgba.size(), 64U * 64U * 4U);
    EXPECT_NE(first.Rgba, later.Rgba) << "the frames do not move";
    size_t covered = 0;
    for (size_t i = 0; i < first.Rgba.size(); i += 4) {
      if (first.Rgba[i + 3] > 0) {
        ++covered;
        EXPECT_EQ(first.Rgba[i], 255);
      }
    }
    EXPECT_GT(covered, 100U);
    EXPECT_LT(covered, 64U * 64U / 2) << "the shape fills the square";
    const TBitmap black = DrawActivityIndicator(kind, TActivityIndicatorColor::Black, 64, 0.0);
    EXPECT_EQ(CompositeOver(black, 0xFFFFFF).Rgba.size(), black.Rgba.size());
  }
  // Over a background, uncovered pixels take the background and covered ones the colour.
  const TBitmap over = CompositeOver(
    DrawActivityIndicator(TActivityIndicatorKind::RotatingSector, TActivityIndicatorColor::Black, 64, 0.0), 0x336699);
  EXPECT_EQ(std::vector<uint8_t>(over.Rgba.begin(), over.Rgba.begin() + 4),
            (std::vector<uint8_t>{0x33, 0x66, 0x99, 255}));
  const size_t inside = (static_cast<size_t>(10) * 64 + 40) * 4; // right of the top: in the first quarter
  EXPECT_EQ(std::vector<uint8_t>(over.Rgba.begin() + inside, over.Rgba.begin() + inside + 4),
            (std::vector<uint8_t>{0, 0, 0, 255}));
}

} // namespace
} // namespace velmora
