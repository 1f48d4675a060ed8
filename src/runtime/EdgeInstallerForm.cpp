// The busy window and the installation of the browser engine from the app's archive.
#include "EdgeInstallerForm.h"

#include "ExeZipLoader.h"
#include "LocalizedMessages.h"
#include "ProjectSettings.h"
#include "SysUtils.h"

namespace velmora {

namespace {

constexpr char kInstallerName[] = "WebView2Installer.exe";

} // namespace

uint32_t ColorFromSetting(int32_t Value)
{
  const auto bits = static_cast<uint32_t>(Value);
  if ((bits & 0xFF000000U) == 0xFF000000U)
    return Native().SystemColor(static_cast<int>(bits & 0xFFU));
  // 0x00BBGGRR: the bytes the other way round.
  return ((bits & 0xFFU) << 16U) | (bits & 0xFF00U) | ((bits >> 16U) & 0xFFU);
}

TEdgeInstallerForm::TEdgeInstallerForm(uint32_t ColorRgb, TActivityIndicatorColor IndicatorColor,
                                       TActivityIndicatorKind IndicatorKind)
  : FForm(Native().CreateForm(TFormKind::Busy))
{
  FForm->SetCaption("EdgeInstallerForm");
  FForm->SetBorderStyle(TBorderStyle::bsNone);
  FForm->SetPosition(TPosition::poScreenCenter);
  FForm->SetBounds(0, 0, 80, 80);
  FForm->SetColor(ColorRgb);
  FForm->OnCloseQuery = [this](bool& CanClose) { FormCloseQuery(CanClose); };
  FActivityIndicator = Native().CreateActivityIndicator(*FForm, 9, 8, 64, IndicatorKind, IndicatorColor);
  FForm->Show();
}

TEdgeInstallerForm::~TEdgeInstallerForm()
{
  FActivityIndicator.reset();
  FForm.reset();
}

// Nobody closes the busy window: it goes with the process.
void TEdgeInstallerForm::FormCloseQuery(bool& CanClose) { CanClose = false; }

TEdgeInstallerServices TEdgeInstallerServices::System()
{
  TEdgeInstallerServices services;
  services.CheckEdgeIsInstalled = &TSysUtils::CheckEdgeIsInstalled;
  // The owner of the elevation prompt is the active window, which TSysUtils takes itself.
  services.RunElevatedAndWait = [](const std::string& File, const std::string& Params) {
    return TSysUtils::ShellExecAsAdminAndWait(nullptr, File, Params);
  };
  services.ShellExec = &TSysUtils::ShellExec;
  services.ExeFilePath = &TSysUtils::GetExeFilePath;
  return services;
}

void RunEdgeInstallation(const TEdgeInstallerServices& Services)
{
  if (!TProjectSettings::ReadBool(*ProjectINI, AppKeys::EdgeInstaller)) {
    // Not offered: reported, and nothing is deleted.
    ShowStartupError(msgRuntimeMissing);
    return;
  }
  const int answer = CustomMessageDlg(
    GetLocalizedMessage(msgAskInstallRuntime), TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbCancel},
    {GetLocalizedMessage(msgAcceptButton), GetLocalizedMessage(msgCancelButton)}, GetLocalizedMessage(msgConfirmTitle));
  if (answer == mrCancel) {
    TSysUtils::DeleteDirectory(AppDataDirPath);
    ShowStartupError(msgInstallDeclined);
    return;
  }

  // An installer left by an earlier attempt is used as it is.
  const std::string installer = AppDataDirPath + kInstallerName;
  if (!TSysUtils::FileExists(installer))
    ExtractEntryToNewFile(kInstallerName, installer);
  {
    // The busy window has no taskbar button of its own and animates while the installer runs.
    const auto color = TProjectSettings::ReadInteger(*ProjectINI, AppKeys::InstallIndicatorColor) == 0
                         ? TActivityIndicatorColor::Black
                         : TActivityIndicatorColor::White;
    TActivityIndicatorKind kind = TActivityIndicatorKind::MomentumDots;
    switch (TProjectSettings::ReadInteger(*ProjectINI, AppKeys::InstallIndicatorType)) {
    case 1: kind = TActivityIndicatorKind::RotatingSector; break;
    case 2: kind = TActivityIndicatorKind::SectorRing; break;
    default: break;
    }
    const TEdgeInstallerForm busy(
      ColorFromSetting(static_cast<int32_t>(TProjectSettings::ReadInteger(*ProjectINI, AppKeys::InstallFormColor))),
      color, kind);
    Services.RunElevatedAndWait(installer, "/silent /install");

    if (Services.CheckEdgeIsInstalled(EdgeLoaderDllPath)) {
      // Installed: a fresh start of the app, from the beginning (password included).
      if (TSysUtils::FileExists(installer))
        TSysUtils::DeleteDirectory(installer);
      Services.ShellExec(Services.ExeFilePath(), "");
      return;
    }
  }
  // The elevation was refused, or the installer failed or was cancelled.
  TSysUtils::DeleteDirectory(AppDataDirPath);
  ShowStartupError(msgInstallFailed);
}

} // namespace velmora
