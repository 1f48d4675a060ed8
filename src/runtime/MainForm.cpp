// The main window: settings applied at creation, dynamic title, close protocol.
#include "MainForm.h"

#include "ExeZipLoader.h"
#include "Limits.h"
#include "ProjectSettings.h"
#include "TextCodec.h"

namespace velmora {

TMainForm::TMainForm() : FForm(Native().CreateForm(TFormKind::Main))
{
  FForm->SetCaption("MainForm");
  FForm->SetBounds(0, 0, 568, 424);
  FForm->OnCloseQuery = [this](bool& CanClose) { FormCloseQuery(CanClose); };
  FForm->OnClose = [this] { FormClose(); };
  FormCreate();
}

TMainForm::~TMainForm()
{
  FForm->OnCloseQuery = nullptr;
  FForm->OnClose = nullptr;
  FBrowserExternalModule.reset();
  FBrowserForm.reset();
  FForm.reset();
}

void TMainForm::FormCreate()
{
  FCanClose = false;
  FBrowserExternalModule = std::make_unique<TBrowserExternalModule>();
  FBrowserExternalModule->SetExeZip(ExeZip);

  FBrowserForm = std::make_unique<TBrowserForm>(*FForm);
  FBrowserForm->SetExeZip(ExeZip);
  FBrowserForm->SetIsRuntime(true);
  FBrowserForm->SetAppDirName(AppDirName);
  FBrowserForm->SetHandleRequests(true);
  FBrowserForm->SetRuntimeAppID(AppID);
  FBrowserForm->SetWithExternal(true);
  FBrowserForm->SetAllowDebug(TProjectSettings::ReadBool(*ProjectINI, AppKeys::AllowDebug));
  FBrowserForm->SetAllowContextMenu(TProjectSettings::ReadBool(*ProjectINI, AppKeys::AllowContextMenu));

  TEdgeBrowser& browser = FBrowserForm->EdgeBrowser();
  browser.OnWebMessageReceived = [this](TCustomEdgeBrowser& Sender, const TWebMessageReceivedEventArgs& Args) {
    FBrowserExternalModule->EdgeBrowserWebMessageReceived(Sender, Args);
  };
  browser.OnDocumentTitleChanged = [this](TCustomEdgeBrowser& Sender, const std::string& Title) {
    EdgeBrowserDocumentTitleChanged(Sender, Title);
  };
  FBrowserExternalModule->SetMainForm(FForm.get());
  FBrowserExternalModule->SetBrowserForm(FBrowserForm.get());
  FBrowserExternalModule->SetProjectINI(ProjectINI);
  FBrowserExternalModule->SetCommandLineArgs(CommandLineArgs());
  FBrowserExternalModule->SetOnAppCloseRequest(
    [this](TBrowserExternalModule& Sender) { BrowserExternalModuleAppCloseRequest(Sender); });

  // A missing, empty, unreadable or oversized entry gives an empty extra script.
  const auto script = ExeZip != nullptr ? ExeZip->ExtractToString("ryx-webviewjs", kMaxExtraScriptBytes)
                                        : TResult<std::optional<std::string>>(std::optional<std::string>());
  FBrowserForm->SetWebviewJavascript(script && script.Value() ? SanitizeUtf8(*script.Value()) : std::string());

  FForm->SetCaption(AppName);
  Native().SetApplicationTitle(AppName);

  const TMemIniFile& ini = *ProjectINI;
  FForm->SetBounds(TProjectSettings::ReadInteger(ini, AppKeys::Left), TProjectSettings::ReadInteger(ini, AppKeys::Top),
                   TProjectSettings::ReadInteger(ini, AppKeys::Width),
                   TProjectSettings::ReadInteger(ini, AppKeys::Height));
  FForm->SetConstraints(
    {TProjectSettings::ReadInteger(ini, AppKeys::MinWidth), TProjectSettings::ReadInteger(ini, AppKeys::MinHeight),
     TProjectSettings::ReadInteger(ini, AppKeys::MaxWidth), TProjectSettings::ReadInteger(ini, AppKeys::MaxHeight)});
  // Either placement replaces "Left" and "Top"; the size stays.
  FForm->SetPosition(TProjectSettings::ReadInteger(ini, AppKeys::WindowPosition) == 0 ? TPosition::poDesktopCenter
                                                                                      : TPosition::poDefaultPosOnly);

  if (TProjectSettings::ReadInteger(ini, AppKeys::WindowStyle) == 1) {
    FForm->SetBorderStyle(TBorderStyle::bsNone);
    FForm->SetWindowState(TWindowState::wsMaximized);
    FBrowserExternalModule->SetInFullscreen(true);
  } else {
    FForm->SetBorderStyle(BorderStyleFromSetting(TProjectSettings::ReadInteger(ini, AppKeys::WindowBorder)));
    FForm->SetWindowState(TProjectSettings::ReadInteger(ini, AppKeys::WindowState) == 1 ? TWindowState::wsMaximized
                                                                                        : TWindowState::wsNormal);
  }
  if (TProjectSettings::ReadInteger(ini, AppKeys::WindowOrder) == 1)
    FForm->SetFormStyle(TFormStyle::fsStayOnTop);

  FBrowserForm->SetStartPageURL(IsSecondWindowStart() ? CommandLineArgs()[1] : "file:///" + AppIndexHtml);
}

void TMainForm::FormCloseQuery(bool& CanClose)
{
  // Only an app page can answer the question: when the engine never started, or the view shows
  // anything but an app document (a page from elsewhere, an error page, nothing yet), the window
  // closes directly rather than waiting for an answer that cannot come.
  const bool pageCanAnswer = FBrowserForm->WebViewCreated() && FBrowserForm->ShowsAppDocument();
  CanClose = FCanClose || !pageCanAnswer;
  if (pageCanAnswer)
    FBrowserForm->EdgeBrowser().ExecuteScript(kCloseQueryScript);
}

void TMainForm::FormClose()
{
  // The bridge and the view are freed by the destructor, once the message loop has returned:
  // this handler can run inside a bridge message, and freeing them here would pull the
  // objects out from under the call that is still running.
}

void TMainForm::EdgeBrowserDocumentTitleChanged(TCustomEdgeBrowser&, const std::string& ADocumentTitle)
{
  if (TProjectSettings::ReadBool(*ProjectINI, AppKeys::DynamicAppTitle))
    FForm->SetCaption(ADocumentTitle);
}

void TMainForm::BrowserExternalModuleAppCloseRequest(TBrowserExternalModule&)
{
  FCanClose = true;
  FForm->Close();
}

} // namespace velmora
