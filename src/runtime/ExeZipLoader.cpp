// The start-up loader: attached archive, settings, identity, data folder, engine, password.
#include "ExeZipLoader.h"
#include "EdgeInstallerForm.h"

#include "ArchivePassword.h"
#include "Limits.h"
#include "LocalizedMessages.h"
#include "NativeLayer.h"
#include "ProjectSettings.h"
#include "RequirePasswordForm.h"
#include "StylesUtils.h"
#include "SysUtils.h"
#include "TextCodec.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace velmora {

namespace {
// Owners of the published objects, released in reverse order at process end.
std::unique_ptr<TExeUtils> GExeUtils;
std::shared_ptr<TAttachedArchive> GArchive;
std::unique_ptr<TExeZip> GExeZip;
std::unique_ptr<TMemIniFile> GProjectINI;
std::vector<std::string> GArgs;
} // namespace

void ShowStartupError(int MessageIndex)
{
  CustomMessageDlg(GetLocalizedMessage(MessageIndex), TMsgDlgType::mtError, {TMsgDlgBtn::mbYes},
                   {GetLocalizedMessage(msgAcceptButton)}, GetLocalizedMessage(msgErrorTitle));
}

void ExtractEntryToNewFile(const std::string& EntryName, const std::string& Path)
{
  std::ofstream out(PathFromUtf8(Path), std::ios::binary);
  if (!out)
    throw std::runtime_error("Cannot create " + Path);
  // A missing entry writes nothing and leaves the file empty.
  const auto written = ExeZip->ExtractToStream(EntryName, [&out](std::span<const uint8_t> chunk) {
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    return static_cast<bool>(out);
  });
  if (!written)
    throw std::runtime_error(written.Error());
}

TExeUtils* ExeUtils = nullptr;
TExeZip* ExeZip = nullptr;
TMemIniFile* ProjectINI = nullptr;
std::string AppID;
std::string AppName;
std::string AppDirName;
std::string AppIndexHtml;
std::string AppDataDirPath;
std::string WebViewDirPath;
std::string EdgeLoaderDllPath;

void SetCommandLineArgs(std::vector<std::string> Args) { GArgs = std::move(Args); }
const std::vector<std::string>& CommandLineArgs() { return GArgs; }
bool IsSecondWindowStart() { return GArgs.size() == 2 && GArgs[0] == AppID; }
bool IsAutomationStart() { return GArgs.size() == 1 && GArgs[0] == "--automation"; }

void LoadProjectINI()
{
  ProjectINI->SetText({});
  // A settings entry that cannot be read, or is past any sane size, counts as missing.
  const auto bytes = ExeZip->ExtractToString("ryx.ini", kMaxSettingsBytes);
  if (!bytes || !bytes.Value())
    return;
  ProjectINI->SetText(DecodeSettingsText(*bytes.Value()));
}

TBundleState OpenAppBundle(const std::string& ExePath)
{
  GProjectINI.reset();
  GExeZip.reset();
  GArchive.reset();
  GExeUtils = std::make_unique<TExeUtils>(ExePath);
  GExeZip = std::make_unique<TExeZip>();
  GProjectINI = std::make_unique<TMemIniFile>();
  ExeUtils = GExeUtils.get();
  ExeZip = GExeZip.get();
  ProjectINI = GProjectINI.get();
  AppID.clear();
  AppName.clear();
  AppDirName.clear();
  AppIndexHtml.clear();

  if (!ExeUtils->ExeHasAttachedStub())
    return TBundleState::NoArchive;

  ExeZip->SetPassword(std::string(kArchivePassword));
  GArchive = std::make_shared<TAttachedArchive>();
  ExeUtils->GetZipFromExe(*GArchive);
  // The mapping stays while any entry is still being read, also by the engine's reader threads
  // while the process ends.
  if (const TStatus opened = ExeZip->Open(GArchive->Bytes(), GArchive); !opened)
    throw std::runtime_error(opened.Error());

  LoadProjectINI();
  AppID = TProjectSettings::ReadString(*ProjectINI, AppKeys::ID);
  AppName = TProjectSettings::ReadString(*ProjectINI, AppKeys::Name);
  AppDirName = TProjectSettings::ReadString(*ProjectINI, AppKeys::DirName);
  AppIndexHtml = TProjectSettings::ReadString(*ProjectINI, AppKeys::IndexHtml);
  // The ID names the data folder, so it must be one path component: any other could make the
  // runtime use (and, when an installation fails, delete) a folder that is not the app's.
  if (AppID.empty() || AppName.empty() || AppDirName.empty() || !IsValidAppID(AppID))
    return TBundleState::IdentityMissing;
  return TBundleState::Loaded;
}

TStartupResult LoadExeZip(const std::string& ExePath)
{
  switch (OpenAppBundle(ExePath)) {
  case TBundleState::Loaded: break;
  case TBundleState::NoArchive: ShowStartupError(msgNoArchive); return TStartupResult::Exit;
  case TBundleState::IdentityMissing: return TStartupResult::Exit;
  }

  // "Windows" in exactly this spelling is the system look, which needs no switch.
  const std::string theme = TProjectSettings::ReadString(*ProjectINI, AppKeys::Theme);
  if (theme != kSystemThemeName)
    TStylesUtils::TrySetStyle(theme, true);

  const std::string separator = TSysUtils::PathDelimiter();
  AppDataDirPath = TSysUtils::GetLocalAppDataDirPath() + AppID;
  if (AppDataDirPath.empty() || AppDataDirPath.back() != separator.back())
    AppDataDirPath += separator;
  TSysUtils::ForceDirectories(AppDataDirPath);
  // The engine's profile: "Win64" beside the WebView2 loader on Windows, "WebKit" on Linux.
  WebViewDirPath = AppDataDirPath + (TSysUtils::UsesEngineLoaderLibrary() ? "Win64" : "WebKit") + separator;
  EdgeLoaderDllPath = WebViewDirPath + "WebView2LoaderWin64.dll";
  TSysUtils::ForceDirectories(WebViewDirPath);

  // An existing loader library is reused, even when the archive carries another one.
  if (TSysUtils::UsesEngineLoaderLibrary() && !TSysUtils::FileExists(EdgeLoaderDllPath))
    ExtractEntryToNewFile("WebView2LoaderWin64.dll", EdgeLoaderDllPath);

  TSysUtils::SetEngineEnvironment(WebViewDirPath);
  Native().SetBrowserDataFolder(WebViewDirPath);

  // A missing engine is installed from the archive when the settings allow it; the process
  // ends either way (after starting a fresh instance when the installation succeeded).
  if (!TSysUtils::CheckEdgeIsInstalled(EdgeLoaderDllPath)) {
    RunEdgeInstallation();
    return TStartupResult::Exit;
  }

  // A second window of a running app presents the app ID and is not asked again.
  if (!GArgs.empty() && GArgs[0] == AppID)
    return TStartupResult::Continue;

  const std::string password = TProjectSettings::ReadString(*ProjectINI, AppKeys::Password);
  if (!password.empty()) {
    TRequirePasswordForm prompt;
    prompt.SetCaption(AppName);
    prompt.SetPassword(password);
    if (prompt.ShowModal() != mrOk)
      return TStartupResult::Exit;
  }
  return TStartupResult::Continue;
}

} // namespace velmora
