// The headless native layer used by the unit tests.
#include "HeadlessPlatform.h"

#include <chrono>
#include <cstdio>
#include <condition_variable>

namespace velmora {

void THeadlessForm::SetBounds(int Left, int Top, int Width, int Height)
{
  FLeft = Left;
  FTop = Top;
  FWidth = Width;
  FHeight = Height;
}

TModalResult THeadlessForm::ShowModal()
{
  FVisible = true;
  FModal = true;
  FModalResult = mrNone;
  if (FPlatform.OnModalLoop)
    FPlatform.OnModalLoop(*this);
  // A modal loop that ended without a result is a window the user closed.
  if (FModalResult == mrNone && FVisible)
    FModalResult = mrCancel;
  FModal = false;
  FVisible = false;
  return FModalResult;
}

void THeadlessForm::SetModalResult(TModalResult Result)
{
  FModalResult = Result;
  if (Result != mrNone && FModal)
    FVisible = false;
}

void THeadlessForm::SetFocus() { FPlatform.FocusLog.push_back("form"); }

void THeadlessForm::Close()
{
  if (FInClose || FClosed)
    return;
  FInClose = true;
  bool canClose = true;
  if (OnCloseQuery)
    OnCloseQuery(canClose);
  if (canClose) {
    FVisible = false;
    if (FModal) {
      FModalResult = mrCancel;
    } else {
      FClosed = true;
    }
    if (OnClose)
      OnClose();
  }
  FInClose = false;
}

void THeadlessEdgeBrowser::ExecuteScript(const std::string& Script)
{
  if (FCreated)
    ExecutedScripts.push_back(Script);
}

void THeadlessEdgeBrowser::CompleteCreation(THResult Result)
{
  FCreated = Result == kSOk;
  if (OnCreateWebViewCompleted)
    OnCreateWebViewCompleted(*this, Result);
}

void THeadlessEdgeBrowser::FinishNavigation(bool Success)
{
  if (OnNavigationCompleted)
    OnNavigationCompleted(*this, Success);
}

void THeadlessReplyTarget::PostWebMessageAsJson(const std::string& Json)
{
  if (!*FAlive || FBrowser.DocumentGeneration() != FGeneration)
    return; // the document is gone: the reply reaches nothing
  Received.push_back(Json);
  FBrowser.PostedMessages.push_back(Json);
}

void THeadlessEdgeBrowser::CommitDocument(const std::string& Uri)
{
  CurrentSource = Uri;
  ++FGeneration;
  if (OnContentLoading)
    OnContentLoading(*this, Uri);
}

std::shared_ptr<THeadlessReplyTarget> THeadlessEdgeBrowser::ReceiveMessage(const std::string& Json,
                                                                           std::optional<std::string> String,
                                                                           std::optional<std::string> Sender)
{
  auto target = std::make_shared<THeadlessReplyTarget>(*this, FAlive, FGeneration);
  if (OnWebMessageReceived)
    OnWebMessageReceived(*this,
                         TWebMessageReceivedEventArgs(Sender.value_or(CurrentSource), Json, std::move(String), target));
  return target;
}

std::optional<TWebResourceResponse> THeadlessEdgeBrowser::Request(const std::string& Uri)
{
  return RequestFrom(Uri, CurrentSource);
}

std::optional<TWebResourceResponse> THeadlessEdgeBrowser::RequestFrom(const std::string& Uri,
                                                                      const std::string& Requester, bool FromPopup,
                                                                      const std::string& Range)
{
  TWebResourceRequestedEventArgs args;
  args.Uri = Uri;
  args.Requester = Requester;
  args.FromPopup = FromPopup;
  args.Range = Range;
  if (!Filters.empty() && OnWebResourceRequested)
    OnWebResourceRequested(*this, args);
  return args.Response;
}

TDownloadStartingEventArgs THeadlessEdgeBrowser::StartDownload(const std::string& Uri,
                                                               const std::string& SuggestedFileName)
{
  TDownloadStartingEventArgs args;
  args.Uri = Uri;
  args.SuggestedFileName = SuggestedFileName;
  if (OnDownloadStarting)
    OnDownloadStarting(*this, args);
  else
    args.Cancel = true;
  return args;
}

void THeadlessEdgeBrowser::FailProcess()
{
  if (OnProcessFailed)
    OnProcessFailed(*this);
}

bool THeadlessEdgeBrowser::RequestNewWindow(const std::string& Uri)
{
  TNewWindowRequestedEventArgs args{Uri, false};
  if (OnNewWindowRequested)
    OnNewWindowRequested(*this, args);
  return args.Handled;
}

TPermissionState THeadlessEdgeBrowser::RequestPermission(const std::string& Kind)
{
  TPermissionRequestedEventArgs args{CurrentSource, Kind, TPermissionState::Default};
  if (OnPermissionRequested)
    OnPermissionRequested(*this, args);
  return args.State;
}

void THeadlessEdgeBrowser::ChangeTitle(const std::string& Title)
{
  if (OnDocumentTitleChanged)
    OnDocumentTitleChanged(*this, Title);
}

std::unique_ptr<TNativeForm> THeadlessPlatform::CreateForm(TFormKind Kind)
{
  auto form = std::make_unique<THeadlessForm>(Kind, *this);
  Forms.push_back(form.get());
  return form;
}

std::unique_ptr<TCustomEdgeBrowser> THeadlessPlatform::CreateEdgeBrowser(TNativeForm&)
{
  auto browser = std::make_unique<THeadlessEdgeBrowser>();
  browser->FocusLog = &FocusLog;
  Browsers.push_back(browser.get());
  return browser;
}

std::unique_ptr<TNativeActivityIndicator> THeadlessPlatform::CreateActivityIndicator(TNativeForm&, int Left, int Top,
                                                                                     int Size,
                                                                                     TActivityIndicatorKind Kind,
                                                                                     TActivityIndicatorColor Color)
{
  const TActivityIndicatorRecord record{Left, Top, Size, Kind, Color};
  ActivityIndicators.push_back(record);
  return std::make_unique<THeadlessActivityIndicator>(record);
}

std::unique_ptr<TNativeProgressBar> THeadlessPlatform::CreateProgressBar(TNativeForm&)
{
  auto bar = std::make_unique<THeadlessProgressBar>();
  ProgressBars.push_back(bar.get());
  return bar;
}

std::unique_ptr<TNativePasswordEdit> THeadlessPlatform::CreatePasswordEdit(TNativeForm&, int Left, int Top, int Width,
                                                                           int Height)
{
  auto edit = std::make_unique<THeadlessPasswordEdit>();
  edit->Left = Left;
  edit->Top = Top;
  edit->Width = Width;
  edit->Height = Height;
  PasswordEdits.push_back(edit.get());
  return edit;
}

bool THeadlessFileDialog::Execute()
{
  ++Executions;
  const auto chosen = Answer ? Answer(*this) : std::nullopt;
  if (!chosen)
    return false;
  Name = *chosen;
  return true;
}

std::unique_ptr<TNativeFileDialog> THeadlessPlatform::CreateFileDialog(TFileDialogKind Kind)
{
  auto dialog = std::make_unique<THeadlessFileDialog>(Kind);
  FileDialogs.push_back(dialog.get());
  return dialog;
}

std::optional<TBitmap> THeadlessPlatform::DecodeImage(const std::string& Data)
{
  int width = 0;
  int height = 0;
  char tail = 0;
  if (std::sscanf(Data.c_str(), "IMG:%dx%d%c", &width, &height, &tail) != 2 || width <= 0 || height <= 0 ||
      width > 4096 || height > 4096)
    return std::nullopt;
  TBitmap bitmap;
  bitmap.Width = width;
  bitmap.Height = height;
  bitmap.Rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0xFF);
  return bitmap;
}

TModalResult THeadlessPlatform::MessageDialog(const TMessageDialogSpec& Dialog)
{
  Dialogs.push_back(Dialog);
  if (DialogAnswers.empty())
    return mrCancel;
  const TModalResult answer = DialogAnswers.front();
  DialogAnswers.pop_front();
  return answer;
}

void THeadlessPlatform::Run(TNativeForm& MainForm)
{
  MainForm.Show();
  if (OnRun)
    OnRun(MainForm);
}

void THeadlessPlatform::PostToMainThread(std::function<void()> Fn)
{
  // Notified under the lock: once the UI thread has taken the work, no poster still touches the
  // condition variable, so a test may end and destroy the platform right after.
  const std::lock_guard lock(FLock);
  FQueue.push_back(std::move(Fn));
  FPosted.notify_all();
}

int THeadlessPlatform::RunPosted(int TimeoutMs)
{
  std::deque<std::function<void()>> ready;
  {
    std::unique_lock lock(FLock);
    FPosted.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return !FQueue.empty(); });
    ready.swap(FQueue);
  }
  for (auto& fn : ready)
    fn();
  return static_cast<int>(ready.size());
}

} // namespace velmora
