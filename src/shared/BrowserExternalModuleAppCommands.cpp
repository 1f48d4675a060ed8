// The app and window commands of the bridge: identity, arguments, closing, full screen, style,
// state, title, bounds.
#include "BridgeArguments.h"
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
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

namespace {
// The window state as pages name it, a JSON string.
const char* StateText(TWindowState State)
{
  switch (State) {
  case TWindowState::wsMinimized: return "\"minimized\"";
  case TWindowState::wsMaximized: return "\"maximized\"";
  case TWindowState::wsNormal: break;
  }
  return "\"normal\"";
}
} // namespace

void TBrowserExternalModule::WindowGetState(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, StateText(FMainForm != nullptr ? FMainForm->WindowState() : TWindowState::wsNormal));
}

void TBrowserExternalModule::WindowGetBounds(const std::string& Uuid, const TCommandData&)
{
  const TFormBounds bounds = FMainForm != nullptr ? FMainForm->Bounds() : TFormBounds{};
  const TWindowState state = FMainForm != nullptr ? FMainForm->WindowState() : TWindowState::wsNormal;
  SendSuccess(Uuid, "{\"left\": " + std::to_string(bounds.Left) + ", \"top\": " + std::to_string(bounds.Top) +
                      ", \"width\": " + std::to_string(bounds.Width) +
                      ", \"height\": " + std::to_string(bounds.Height) + ", \"state\": " + StateText(state) + "}");
}

void TBrowserExternalModule::WindowSetBounds(const std::string& Uuid, const TCommandData& Data)
{
  // Each key is optional: what is missing, or not an integer, stays as it is; a width or height
  // below 1 too.
  const auto read = [&Data](const char* Key) { return ParseSettingsInteger(Data.ReadText(Key)); };
  const auto left = read("left");
  const auto top = read("top");
  const auto width = read("width");
  const auto height = read("height");
  if (FMainForm != nullptr) {
    TFormBounds bounds = FMainForm->Bounds();
    bounds.Left = left.value_or(bounds.Left);
    bounds.Top = top.value_or(bounds.Top);
    if (width && *width > 0)
      bounds.Width = *width;
    if (height && *height > 0)
      bounds.Height = *height;
    FMainForm->SetBounds(bounds.Left, bounds.Top, bounds.Width, bounds.Height);
  }
  SendSuccess(Uuid, "true");
}

namespace {
// A JSON array of strings.
std::string JsonStringArray(const std::vector<std::string>& Items)
{
  std::string list = "[";
  for (const std::string& item : Items)
    list += (list.size() > 1 ? ", " : "") + TStrUtils::StringToJsonString(item);
  return list + "]";
}
} // namespace

void TBrowserExternalModule::AppGetArgs(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, JsonStringArray(FCommandLineArgs));
}

void TBrowserExternalModule::SecondInstanceStarted(const std::vector<std::string>& Args)
{
  if (FBrowserForm == nullptr || !FBrowserForm->ShowsAppDocument())
    return;
  FBrowserForm->EdgeBrowser().ExecuteScript("ryx.events.onSecondInstance(" + JsonStringArray(Args) + ");");
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
