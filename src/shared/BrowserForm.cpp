// The browser view: engine set-up, document scripts, new windows, permissions, downloads and app
// file requests, and the trust boundary between app documents and everything else.
#include "BrowserForm.h"

#include "ByteRanges.h"

#include "ExeZip.h"
#include "MimeTypes.h"
#include "Resources.h"
#include "StrUtils.h"
#include "SysUtils.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <filesystem>
#include <fstream>

namespace velmora {

namespace {

constexpr std::string_view kFilePrefix = "file:///";

// Documents served from elsewhere on disk get an opaque origin of their own: they then share
// nothing with the app's documents (no DOM access between frames, no same-origin loads), and the
// engine treats their requests for app addresses as it treats a remote page's.
constexpr const char* kForeignDocumentPolicy =
  "Content-Security-Policy: sandbox allow-scripts allow-forms allow-modals";

// How often, and within how long, a failed content process is answered by reloading the page;
// a page that keeps bringing its process down is left alone after that.
constexpr size_t kMaxReloadsAfterFailure = 3;
constexpr std::chrono::seconds kReloadWindow{60};

using text::ReplaceAll;
using text::StartsWithIgnoringCase;

std::string WithoutFragment(const std::string& Address) { return Address.substr(0, Address.find('#')); }

// What an app address names: the address with every "file:///" removed, the query and the
// fragment left out (the page keeps both in its own address), and every percent-escape decoded.
std::string AppPathOf(const std::string& Address)
{
  std::string path = ReplaceAll(Address, kFilePrefix, "");
  path.resize(std::min(path.find_first_of("?#"), path.size()));
  return text::PercentDecodeBytes(path);
}

// Whether a decoded path may be looked up under the archive's app folder or the program folder:
// it names a file (not empty, not a folder), holds no NUL and does not climb out with "..".
bool IsRelativeFileName(const std::string& Path)
{
  if (Path.empty() || Path.back() == '/' || Path.back() == '\\' || Path.find('\0') != std::string::npos)
    return false;
  size_t begin = 0;
  while (begin <= Path.size()) {
    const size_t end = std::min(Path.find_first_of("/\\", begin), Path.size());
    if (Path.compare(begin, end - begin, "..") == 0)
      return false;
    begin = end + 1;
  }
  return true;
}

bool IsRegularFile(const std::string& Path)
{
  if (Path.find('\0') != std::string::npos)
    return false;
  std::error_code error;
  return std::filesystem::is_regular_file(PathFromUtf8(Path), error);
}

// An archive entry, inflated as the engine reads it.
class TArchiveBody final : public TWebResourceBody {
public:
  explicit TArchiveBody(std::unique_ptr<TZipEntryReader> Reader) : FReader(std::move(Reader)) {}
  int64_t Length() const override { return static_cast<int64_t>(FReader->DeclaredSize()); }
  TResult<size_t> Read(std::span<uint8_t> Buffer) override { return FReader->Read(Buffer); }
  TStatus Skip(uint64_t Count) override { return FReader->Skip(Count); }

private:
  std::unique_ptr<TZipEntryReader> FReader;
};

// A file on disk, opened at the first read (which happens beside the UI thread).
class TDiskFileBody final : public TWebResourceBody {
public:
  explicit TDiskFileBody(std::string Path) : FPath(std::move(Path))
  {
    std::error_code error;
    const auto size = std::filesystem::file_size(PathFromUtf8(FPath), error);
    FLength = error ? -1 : static_cast<int64_t>(size);
  }
  int64_t Length() const override { return FLength; }
  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    if (!FIn.is_open()) {
      FIn.open(PathFromUtf8(FPath), std::ios::binary);
      if (!FIn)
        return TError{"Cannot open " + FPath};
    }
    FIn.read(reinterpret_cast<char*>(Buffer.data()), static_cast<std::streamsize>(Buffer.size()));
    if (FIn.bad())
      return TError{"Cannot read " + FPath};
    const auto got = static_cast<size_t>(FIn.gcount());
    FRead += got;
    // A file that changed size while it was being sent would not match the length announced.
    if (FLength >= 0 &&
        (FRead > static_cast<uint64_t>(FLength) || (got == 0 && FRead != static_cast<uint64_t>(FLength))))
      return TError{FPath + " changed while it was read"};
    return got;
  }
  TStatus Skip(uint64_t Count) override
  {
    if (!FIn.is_open()) {
      FIn.open(PathFromUtf8(FPath), std::ios::binary);
      if (!FIn)
        return TError{"Cannot open " + FPath};
    }
    if (FLength >= 0 && Count > static_cast<uint64_t>(FLength) - FRead)
      return TError{FPath + " is shorter than the range"};
    FIn.seekg(static_cast<std::streamoff>(Count), std::ios::cur);
    if (!FIn)
      return TError{"Cannot read " + FPath};
    FRead += Count;
    return {};
  }

private:
  std::string FPath;
  int64_t FLength = -1;
  std::ifstream FIn;
  uint64_t FRead = 0;
};

} // namespace

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
  FEdgeBrowser->OnNavigationCompleted = [this](TCustomEdgeBrowser& s, bool ok) {
    EdgeBrowserNavigationCompleted(s, ok);
  };
  FEdgeBrowser->OnWebMessageReceived = [this](TCustomEdgeBrowser& s, const TWebMessageReceivedEventArgs& a) {
    EdgeBrowserMessageReceived(s, a);
  };
  FEdgeBrowser->OnPermissionRequested = [this](TCustomEdgeBrowser& s, TPermissionRequestedEventArgs& a) {
    EdgeBrowserPermissionRequested(s, a);
  };
  FEdgeBrowser->OnContentLoading = [this](TCustomEdgeBrowser& s, const std::string& uri) {
    EdgeBrowserContentLoading(s, uri);
  };
  FEdgeBrowser->OnDownloadStarting = [this](TCustomEdgeBrowser& s, TDownloadStartingEventArgs& a) {
    EdgeBrowserDownloadStarting(s, a);
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
  if (FIsRuntime && !text::TrimBlanks(FWebviewJavascript).empty()) {
    script += '\r';
    script += FWebviewJavascript;
  }
  if (!FIsRuntime) {
    script += "\rwindow.addEventListener(\"click\", function () "
              "{window.chrome.webview.postMessage(\"ryx-webbrowser-clicked\");});";
  }
  return script;
}

void TBrowserForm::AddDocumentCreatedScripts()
{
  FEdgeBrowser->AddScriptToExecuteOnDocumentCreated(DocumentCreatedScript());
}

void TBrowserForm::NavigateTo(const std::string& Url)
{
  // The request for this address carries no referrer: it is the view's own.
  FPendingNavigation = Url;
  FEdgeBrowser->Navigate(Url);
}

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
    NavigateTo(FStartPageURL);
}

void TBrowserForm::EdgeBrowserNavigationCompleted(TCustomEdgeBrowser&, bool)
{
  FPendingNavigation.clear();
  FProgressBar->SetVisible(false);
}

void TBrowserForm::EdgeBrowserContentLoading(TCustomEdgeBrowser&, const std::string& Uri)
{
  FDocumentAddress = Uri;
  if (Uri == FPendingNavigation)
    FPendingNavigation.clear();
}

TAppFile TBrowserForm::LocateAppFile(const std::string& Address) const
{
  if (!StartsWithIgnoringCase(Address, kFilePrefix))
    return {};
  const std::string path = AppPathOf(Address);
  if (IsRelativeFileName(path)) {
    if (!FAppDirName.empty() && FExeZip != nullptr) {
      const std::string entry = FAppDirName + "/" + path;
      if (FExeZip->FindFile(entry))
        return {TAppFileSource::Archive, entry};
    }
    const std::string diskName = FAppDirPath + ReplaceAll(path, "/", TSysUtils::PathDelimiter());
    if (IsRegularFile(diskName))
      return {TAppFileSource::ProgramFolder, diskName};
  }
  if (const std::string disk = TSysUtils::FileUriPathToDiskPath(path); IsRegularFile(disk))
    return {TAppFileSource::AbsolutePath, disk};
  return {};
}

bool TBrowserForm::IsAppDocument(const std::string& Address) const
{
  const TAppFileSource source = LocateAppFile(Address).Source;
  return source == TAppFileSource::Archive || source == TAppFileSource::ProgramFolder;
}

void TBrowserForm::EdgeBrowserNewWindowRequested(TCustomEdgeBrowser&, TNewWindowRequestedEventArgs& Args)
{
  if (!FIsRuntime || !StartsWithIgnoringCase(Args.Uri, "file:"))
    return; // the engine's default handling
  // No engine window ever opens for a "file:" address; only an app document may have a second
  // instance show an app document. Anything else is refused: no window, no process.
  Args.Handled = true;
  const std::string& requester = Args.Requester.empty() ? FDocumentAddress : Args.Requester;
  if (!IsAppDocument(requester) || !IsAppDocument(Args.Uri))
    return;
  // A second instance of this program shows the page; it passes the single-instance rule and
  // skips the password because it presents the app ID.
  const std::string arguments = "\"" + FRuntimeAppID + "\" \"" + Args.Uri + "\"";
  if (FStartSecondInstance)
    FStartSecondInstance(arguments);
  else
    TSysUtils::ShellExec(TSysUtils::GetExeFilePath(), arguments);
}

void TBrowserForm::EdgeBrowserPermissionRequested(TCustomEdgeBrowser&, TPermissionRequestedEventArgs& Args)
{
  // Granted without asking, but only to the app's own documents: any other page gets the
  // engine's default handling.
  if (IsAppDocument(Args.Uri))
    Args.State = TPermissionState::Allow;
}

void TBrowserForm::EdgeBrowserDownloadStarting(TCustomEdgeBrowser&, TDownloadStartingEventArgs& Args)
{
  // Only an app document may save a file, and only where the user says.
  const std::string& requester = Args.Requester.empty() ? FDocumentAddress : Args.Requester;
  Args.Cancel = true;
  if (Args.FromPopup || !IsAppDocument(requester))
    return;
  if (FDownloadDialog == nullptr)
    FDownloadDialog = Native().CreateFileDialog(TFileDialogKind::Save);
  FDownloadDialog->ClearFileTypes();
  FDownloadDialog->SetFileName(Args.SuggestedFileName);
  FDownloadDialog->SetTitle("Save file");
  FDownloadDialog->SetOverwritePrompt(true);
  if (!FDownloadDialog->Execute())
    return;
  Args.ResultFilePath = FDownloadDialog->FileName();
  Args.Cancel = Args.ResultFilePath.empty();
}

void TBrowserForm::EdgeBrowserProcessFailed(TCustomEdgeBrowser&)
{
  // The page's content process is gone and the view shows nothing: bring the app page back (its
  // pending calls are gone with the process), unless it keeps failing.
  if (!FWebViewCreated)
    return;
  const auto now = std::chrono::steady_clock::now();
  while (!FProcessFailures.empty() && now - FProcessFailures.front() > kReloadWindow)
    FProcessFailures.pop_front();
  if (FProcessFailures.size() >= kMaxReloadsAfterFailure)
    return;
  FProcessFailures.push_back(now);
  const std::string page = IsAppDocument(FDocumentAddress) ? FDocumentAddress : FStartPageURL;
  if (!page.empty())
    NavigateTo(page);
}

void TBrowserForm::EdgeBrowserMessageReceived(TCustomEdgeBrowser&, const TWebMessageReceivedEventArgs& Args)
{
  std::string text;
  if (!FIsRuntime && Args.TryGetWebMessageAsString(text) && text == "ryx-webbrowser-clicked") {
    FParent.SetFocus();
    FEdgeBrowser->SetFocus();
  }
}

bool TBrowserForm::RequestAllowed(const TWebResourceRequestedEventArgs& Args) const
{
  // The engine's own rules keep other origins from loading app addresses; these rules hold
  // whatever the engine lets through. A requester the engine names must be of the app's origin
  // (an app document, or a blob: document an app document made) and not a document served from
  // elsewhere on disk.
  if (!Args.Requester.empty()) {
    std::string address = Args.Requester;
    if (StartsWithIgnoringCase(address, "blob:"))
      address.erase(0, 5);
    if (!StartsWithIgnoringCase(address, "file://"))
      return false;
    return LocateAppFile(address).Source != TAppFileSource::AbsolutePath;
  }
  // A request the engine says nothing about: the view's own navigation, or one made while the
  // view shows an app document (whose frames and documents are the app's).
  if (Args.FromPopup)
    return false;
  if (!FPendingNavigation.empty() && Args.Uri == WithoutFragment(FPendingNavigation))
    return true;
  return StartsWithIgnoringCase(FDocumentAddress, kFilePrefix) &&
         LocateAppFile(FDocumentAddress).Source != TAppFileSource::AbsolutePath;
}

void TBrowserForm::EdgeBrowserWebResourceRequested(TCustomEdgeBrowser&, TWebResourceRequestedEventArgs& Args)
{
  if (!FHandleRequests || !StartsWithIgnoringCase(Args.Uri, kFilePrefix))
    return;
  if (!RequestAllowed(Args)) {
    // Refused with an answer of its own, so the engine does not go looking for the address.
    Args.Response = TWebResourceResponse{nullptr, 403, "Forbidden", "Content-Type: text/plain; charset=utf-8"};
    return;
  }
  // Text types name their encoding; other types go without the parameter, which some readers
  // refuse (WebAssembly.compileStreaming does for "application/wasm; charset=utf-8").
  const std::string contentType = TStrUtils::GetFileMIMEType(AppPathOf(Args.Uri));
  std::string headers = "Content-Type: " + contentType;
  if (mime::IsTextType(contentType))
    headers += "; charset=utf-8";

  // The lookup happens here; the bytes are read when the engine reads the body.
  const TAppFile file = LocateAppFile(Args.Uri);
  TWebResourceBodyPtr body;
  switch (file.Source) {
  case TAppFileSource::None: return; // the engine loads the address itself and shows its error page
  case TAppFileSource::Archive: body = std::make_shared<TArchiveBody>(FExeZip->OpenEntry(file.Name)); break;
  case TAppFileSource::AbsolutePath:
    headers += "\r\n";
    headers += kForeignDocumentPolicy;
    [[fallthrough]];
  case TAppFileSource::ProgramFolder: body = std::make_shared<TDiskFileBody>(file.Name); break;
  }
  // A byte range (media players seek with them) gets the part asked for; without one the answer
  // is the whole file, status 200.
  if (!Args.Range.empty() && body->Length() >= 0) {
    const auto length = static_cast<uint64_t>(body->Length());
    const TByteRange range = ParseByteRange(Args.Range, length);
    if (range.Kind == TByteRange::TKind::Unsatisfiable) {
      Args.Response = TWebResourceResponse{nullptr, 416, "Range Not Satisfiable",
                                           std::move(headers) + "\r\nContent-Range: bytes */" + std::to_string(length)};
      return;
    }
    if (range.Kind == TByteRange::TKind::Part) {
      headers += "\r\nContent-Range: bytes " + std::to_string(range.First) + "-" +
                 std::to_string(range.First + range.Count - 1) + "/" + std::to_string(length);
      Args.Response = TWebResourceResponse{MakeRangeBody(std::move(body), range.First, range.Count), 206,
                                           "Partial Content", std::move(headers)};
      return;
    }
  }
  Args.Response = TWebResourceResponse{std::move(body), 200, "OK", std::move(headers)};
}

} // namespace velmora
