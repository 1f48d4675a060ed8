// The app and window commands of the bridge: identity, closing, full screen, style, state, title.
#include "BridgeArguments.h"
#include "BrowserExternalModule.h"
#include "IniFile.h"
#include "ProjectSettings.h"
#include "StrUtils.h"

namespace velmora {

void TBrowserExternalModule::Hello(const std::string& Uuid, const TCommandData&) { SendSuccess(Uuid, "\"2021.43\""); }

void TBrowserExternalModule::IsRuntime(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, FExeZip != nullptr ? "true" : "false");
}

void TBrowserExternalModule::AppClose(const std::string&, const TCommandData&)
{
  if (FOnAppCloseRequest)
    FOnAppCloseRequest(*this);
}

void TBrowserExternalModule::AppInFullscreen(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, FInFullscreen ? "true" : "false");
}

void TBrowserExternalModule::AppEnterFullscreen(const std::string&, const TCommandData&)
{
  if (FInFullscreen || FMainForm == nullptr)
    return;
  FInFullscreen = true;
  FMainForm->SetBorderStyle(TBorderStyle::bsNone);
  FMainForm->SetWindowState(TWindowState::wsMaximized);
}

void TBrowserExternalModule::AppExitFullscreen(const std::string&, const TCommandData&)
{
  if (!FInFullscreen || FMainForm == nullptr)
    return;
  FInFullscreen = false;
  // Nothing was saved on entry: leaving restores the normal state and the configured border.
  FMainForm->SetWindowState(TWindowState::wsNormal);
  const int border = FProjectINI != nullptr ? TProjectSettings::ReadInteger(*FProjectINI, AppKeys::WindowBorder)
                                            : AppKeys::WindowBorder.NumberDefault;
  FMainForm->SetBorderStyle(BorderStyleFromSetting(border));
}

void TBrowserExternalModule::WindowGetStyle(const std::string& Uuid, const TCommandData&)
{
  const bool onTop = FMainForm != nullptr && FMainForm->FormStyle() == TFormStyle::fsStayOnTop;
  SendSuccess(Uuid, onTop ? "\"ontop\"" : "\"normal\"");
}

void TBrowserExternalModule::WindowSetStyle(const std::string& Uuid, const TCommandData& Data)
{
  const std::string style = Data.ReadText("style", "normal");
  if (FMainForm != nullptr)
    FMainForm->SetFormStyle(style == "ontop" ? TFormStyle::fsStayOnTop : TFormStyle::fsNormal);
  SendSuccess(Uuid, "true");
}

void TBrowserExternalModule::WindowGetState(const std::string& Uuid, const TCommandData&)
{
  const TWindowState state = FMainForm != nullptr ? FMainForm->WindowState() : TWindowState::wsNormal;
  switch (state) {
  case TWindowState::wsMinimized: SendSuccess(Uuid, "\"minimized\""); return;
  case TWindowState::wsMaximized: SendSuccess(Uuid, "\"maximized\""); return;
  case TWindowState::wsNormal: break;
  }
  SendSuccess(Uuid, "\"normal\"");
}

void TBrowserExternalModule::WindowSetState(const std::string& Uuid, const TCommandData& Data)
{
  const std::string state = Data.ReadText("state", "normal");
  if (FMainForm != nullptr) {
    if (state == "normal")
      FMainForm->SetWindowState(TWindowState::wsNormal);
    else if (state == "minimized")
      FMainForm->SetWindowState(TWindowState::wsMinimized);
    else if (state == "maximized")
      FMainForm->SetWindowState(TWindowState::wsMaximized);
  }
  SendSuccess(Uuid, "true");
}

void TBrowserExternalModule::WindowGetTitle(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(FMainForm != nullptr ? FMainForm->Caption() : std::string()));
}

void TBrowserExternalModule::WindowSetTitle(const std::string& Uuid, const TCommandData& Data)
{
  const std::string title = Data.ReadText("title");
  if (FMainForm != nullptr)
    FMainForm->SetCaption(title);
  SendSuccess(Uuid, "true");
}

} // namespace velmora
