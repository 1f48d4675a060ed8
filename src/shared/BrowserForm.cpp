// The browser view: engine set-up, document scripts, new windows, permissions and app file requests.
#include "BrowserForm.h"

#include "ExeZip.h"
#include "Resources.h"
#include "StrUtils.h"
#include "SysUtils.h"
#include "TextCodec.h"


namespace velmora {

namespace {

bool StartsWithIgnoringCase(const std::string& text, std::string_view prefix)
{
  return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

std::string TrimBlanksAndControls(const std::string& text)
{
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  return text.substr(begin, end - begin);
}


} // namespace

bool IsAppDocumentAddress(const std::string& Address) { return StartsWithIgnoringCase(Address, "file:"); }

TBrowserForm::TBrowserForm(TNativeForm& Parent) : FParent(Parent)
{
  // FormCreate: the fields start cleared; the program folder comes from the executable's path.
  const std::string exePath = TSysUtils::GetExeFilePath();
  FAppDirPath = Utf8FromPath(PathFromUtf8(exePath).parent_path());
  if (FAppDirPath.empty() || FAppDirPath.back() != TSysUtils::PathDelimiter().back())
    FAppDirPath += TSysUtils::PathDelimiter();

  FProgressBar = Native().CreateProgressBar(Parent);
  FProgressBar->SetVisible(true);
  FEdgeBrowser = Native().CreateEdgeBrowser(Parent);
  FEdgeBrowser->OnProcessFailed = [this](TCustomEdgeBrowser& s) { EdgeBrowserProcessFailed(s); };
  FEdgeBrowser->OnNewWindowRequested = [this](TCustomEdgeBrowser& s, TNewWindowRequestedEventArgs& a) {
    EdgeBrowserNewWindowRequested(s, a);
  };
  FEdgeBrowser->OnCreateWebViewCompleted = [this](TCustomEdgeBrowser& s, THResult r) {
    EdgeBrowserCreateWebViewCompleted(s, r);
  };
  FEdgeBrowser->OnWebResourceRequested = [this](TCustomEdgeBrowser& s, TWebResourceRequestedEventArgs& a) {
    EdgeBrowserWebResourceRequested(s, a);
  };
  FEdgeBrowser->OnNavigationCompleted = [this](TCustomEdgeBrowser& s, bool ok) { EdgeBrowserNavigationCompleted(s, ok); };
  FEdgeBrowser->OnWebMessageReceived = [this](TCustomEdgeBrowser& s, const TWebMessageReceivedEventArgs& a) {
    EdgeBrowserMessageReceived(s, a);
  };
  FEdgeBrowser->OnPermissionRequested = [this](TCustomEdgeBrowser& s, TPermissionRequestedEventArgs& a) {
    EdgeBrowserPermissionRequested(s, a);
  };
}

TBrowserForm::~TBrowserForm()
{
  FEdgeBrowser.reset();
  FProgressBar.reset();
}

std::string TBrowserForm::DocumentCreatedScript() const
{
  std::string script;
  if (FWithExternal) {
    script += '\r';
    script += FindResource("RYX_EXTERNAL_JAVASCRIPT"); // its byte-order mark stays: white space to the script
  }
  script += "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);";
  script += "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);";
  if (FIsRuntime && !TrimBlanksAndControls(FWebviewJavascript).empty()) {
    script += '\r';
    script += FWebviewJavascript;
  }
  if (!FIsRuntime) {
    script += "\rwindow.addEventListener(\"click\", function () "
              "{window.chrome.webview.postMessage(\"ryx-webbrowser-clicked\");});";
  }
  return script;
}

void TBrowserForm::AddDocumentCreatedScripts() { FEdgeBrowser->AddScriptToExecuteOnDocumentCreated(DocumentCreatedScript()); }

void TBrowserForm::EdgeBrowserCreateWebViewCompleted(TCustomEdgeBrowser&, THResult AResult)
{
  // A failed creation leaves the view empty with the progress bar running; nothing is reported.
  if (AResult != kSOk)
    return;
  FWebViewCreated = true;
  AddDocumentCreatedScripts();
  TEdgeBrowserSettings settings;
  settings.ScriptEnabled = true;
  settings.StatusBarEnabled = false;
  settings.ZoomControlEnabled = false;
  settings.WebMessageEnabled = true;
  settings.BuiltInErrorPageEnabled = true;
  settings.DevToolsEnabled = FAllowDebug;
  settings.DefaultContextMenusEnabled = FAllowContextMenu;
  FEdgeBrowser->ApplySettings(settings);
  FEdgeBrowser->AddWebResourceRequestedFilter("*");
  if (!FStartPageURL.empty())
    FEdgeBrowser->Navigate(FStartPageURL);
}

void TBrowserForm::EdgeBrowserNavigationCompleted(TCustomEdgeBrowser&, bool) { FProgressBar->SetVisible(false); }

void TBrowserForm::EdgeBrowserNewWindowRequested(TCustomEdgeBrowser&, TNewWindowRequestedEventArgs& Args)
{
  if (!FIsRuntime || !StartsWithIgnoringCase(Args.Uri, "file:"))
    return; // the engine's default handling
  Args.Handled = true;
  // A second instance of this program shows the page; it passes the single-instance rule and
  // skips the password because it presents the app ID.
  TSysUtils::ShellExec(TSysUtils::GetExeFilePath(), "\"" + FRuntimeAppID + "\" \"" + Args.Uri + "\"");
}

void TBrowserForm::EdgeBrowserPermissionRequested(TCustomEdgeBrowser&, TPermissionRequestedEventArgs& Args)
{
  // Granted without asking, but only to the app's own documents: a page from elsewhere that the
  // app navigated to gets the engine's default handling.
  if (IsAppDocumentAddress(Args.Uri))
    Args.State = TPermissionState::Allow;
}

void TBrowserForm::EdgeBrowserProcessFailed(TCustomEdgeBrowser&) {}

void TBrowserForm::EdgeBrowserMessageReceived(TCustomEdgeBrowser&, const TWebMessageReceivedEventArgs& Args)
{
  std::string text;
  if (!FIsRuntime && Args.TryGetWebMessageAsString(text) && text == "ryx-webbrowser-clicked")
    FEdgeBrowser->SetFocus();
}

void TBrowserForm::EdgeBrowserWebResourceRequested(TCustomEdgeBrowser&, TWebResourceRequestedEventArgs& Args)
{
  if (!FHandleRequests || !StartsWithIgnoringCase(Args.Uri, "file:///"))
    return;
  std::string path = Args.Uri;
  ReplaceAll(path, "file:///", "");
  const std::string contentType = TStrUtils::GetFileMIMEType(path);
  ReplaceAll(path, "%20", " ");

  std::optional<std::string> body;
  // Folder entries ("name/") hold no page to serve.
  if (!FAppDirName.empty() && FExeZip != nullptr && !path.empty() && path.back() != '/') {
    auto entry = FExeZip->ExtractToString(FAppDirName + "/" + path);
    if (entry && entry.Value())
      body = std::move(*entry.Value());
  }
  if (!body) {
    std::string diskName = path;
    ReplaceAll(diskName, "/", TSysUtils::PathDelimiter());
    body = ReadWholeFile(FAppDirPath + diskName);
  }
  if (!body) {
    std::string absolute = Args.Uri;
    ReplaceAll(absolute, "file:///", "");
    body = ReadWholeFile(TSysUtils::FileUriPathToDiskPath(absolute));
  }
  if (!body)
    return; // the engine loads the address itself and shows its error page
  Args.Response = TWebResourceResponse{std::move(*body), 200, "OK", "Content-Type: " + contentType + "; charset=utf-8"};
}

} // namespace velmora
