// The headless native layer: windows, dialogs and a browser control that only record what the
// units do with them, and let unit tests play the user and the engine.
#pragma once

#include "NativeLayer.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class THeadlessPlatform;

class THeadlessForm : public TNativeForm {
public:
  THeadlessForm(TFormKind Kind, THeadlessPlatform& Platform) : FKind(Kind), FPlatform(Platform) {}

  void SetCaption(const std::string& Caption) override { FCaption = Caption; }
  std::string Caption() const override { return FCaption; }
  void SetBorderStyle(TBorderStyle Style) override
  {
    FBorderStyle = Style;
    Changes.push_back("border " + std::to_string(static_cast<int>(Style)));
  }
  TBorderStyle BorderStyle() const override { return FBorderStyle; }
  void SetWindowState(TWindowState State) override
  {
    FWindowState = State;
    Changes.push_back("state " + std::to_string(static_cast<int>(State)));
  }
  TWindowState WindowState() const override { return FWindowState; }
  void SetFormStyle(TFormStyle Style) override { FFormStyle = Style; }
  TFormStyle FormStyle() const override { return FFormStyle; }
  void SetBounds(int Left, int Top, int Width, int Height) override;
  TFormBounds Bounds() const override { return {FLeft, FTop, FWidth, FHeight}; }
  void SetConstraints(const TSizeConstraints& Constraints) override { FConstraints = Constraints; }
  void SetPosition(TPosition Position) override { FPosition = Position; }
  void SetMainMenu(TMainMenu* Menu) override { FMenu = Menu; }
  void MenuChanged() override { ++FMenuRedraws; }
  TMainMenu* MainMenu() const { return FMenu; }
  int MenuRedraws() const { return FMenuRedraws; }
  // Border and state changes in the order they came ("border N", "state N", N the enum's value).
  std::vector<std::string> Changes;
  void Show() override { FVisible = true; }
  TModalResult ShowModal() override;
  void SetModalResult(TModalResult Result) override;
  TModalResult ModalResult() const override { return FModalResult; }
  void Close() override;
  bool Visible() const override { return FVisible; }
  void SetFocus() override;
  void SetColor(uint32_t Rgb) override { FColor = Rgb; }
  std::optional<uint32_t> Color() const { return FColor; }

  // What a test inspects.
  TFormKind Kind() const { return FKind; }
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  const TSizeConstraints& Constraints() const { return FConstraints; }
  TPosition Position() const { return FPosition; }
  bool Closed() const { return FClosed; }
  // Plays the user's close request (title-bar button, Alt+F4).
  void UserCloseRequest() { Close(); }

private:
  TFormKind FKind;
  THeadlessPlatform& FPlatform;
  std::optional<uint32_t> FColor;
  std::string FCaption;
  TBorderStyle FBorderStyle = TBorderStyle::bsSizeable;
  TWindowState FWindowState = TWindowState::wsNormal;
  TFormStyle FFormStyle = TFormStyle::fsNormal;
  TPosition FPosition = TPosition::poDesigned;
  TSizeConstraints FConstraints;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FVisible = false;
  bool FClosed = false;
  bool FInClose = false;
  bool FModal = false;
  TModalResult FModalResult = mrNone;
  TMainMenu* FMenu = nullptr;
  int FMenuRedraws = 0;
};

class THeadlessEdgeBrowser;

// Where the replies to one message go: the document that sent it, while the view still shows it.
class THeadlessReplyTarget : public TWebMessageReplyTarget {
public:
  THeadlessReplyTarget(THeadlessEdgeBrowser& Browser, std::shared_ptr<bool> Alive, int Generation)
    : FBrowser(Browser), FAlive(std::move(Alive)), FGeneration(Generation)
  {}
  void PostWebMessageAsJson(const std::string& Json) override;
  // What reached the document; a reply to a document that is gone reaches nothing.
  std::vector<std::string> Received;

private:
  THeadlessEdgeBrowser& FBrowser;
  std::shared_ptr<bool> FAlive;
  int FGeneration;
};

class THeadlessEdgeBrowser : public TCustomEdgeBrowser {
public:
  ~THeadlessEdgeBrowser() override { *FAlive = false; }
  void ApplySettings(const TEdgeBrowserSettings& Settings) override { FSettings = Settings; }
  void AddScriptToExecuteOnDocumentCreated(const std::string& Script) override { DocumentScripts.push_back(Script); }
  void AddWebResourceRequestedFilter(const std::string& Filter) override { Filters.push_back(Filter); }
  void Navigate(const std::string& Url) override { Navigations.push_back(Url); }
  void ExecuteScript(const std::string& Script) override;
  void PostWebMessageAsJson(const std::string& Json) override { PostedMessages.push_back(Json); }
  void SetFocus() override
  {
    if (FocusLog != nullptr)
      FocusLog->push_back("browser");
  }
  std::string Source() const override { return CurrentSource; }

  // Plays the engine.
  void CompleteCreation(THResult Result);
  void FinishNavigation(bool Success);
  // A new top-level document: replies to the documents before it are dropped.
  void CommitDocument(const std::string& Uri);
  // A message from the document at Sender (the top-level document by default). Replies reach
  // PostedMessages, and the returned target, while that document is still shown.
  std::shared_ptr<THeadlessReplyTarget> ReceiveMessage(const std::string& Json,
                                                       std::optional<std::string> String = std::nullopt,
                                                       std::optional<std::string> Sender = std::nullopt);
  // A request made by the top-level document.
  std::optional<TWebResourceResponse> Request(const std::string& Uri);
  // A request with the requester the engine names ("" for none), from the view or a popup, with
  // the "Range" header given ("" for none).
  std::optional<TWebResourceResponse> RequestFrom(const std::string& Uri, const std::string& Requester,
                                                  bool FromPopup = false, const std::string& Range = {});
  bool RequestNewWindow(const std::string& Uri);
  TPermissionState RequestPermission(const std::string& Kind);
  TDownloadStartingEventArgs StartDownload(const std::string& Uri, const std::string& SuggestedFileName);
  void FailProcess();
  void ChangeTitle(const std::string& Title);

  bool Created() const { return FCreated; }
  int DocumentGeneration() const { return FGeneration; }
  const std::optional<TEdgeBrowserSettings>& Settings() const { return FSettings; }

  std::vector<std::string> DocumentScripts;
  std::vector<std::string> Filters;
  std::vector<std::string> Navigations;
  std::vector<std::string> ExecutedScripts;
  std::vector<std::string> PostedMessages;
  // Where the platform writes down each focus change; set when the platform makes the control.
  std::vector<std::string>* FocusLog = nullptr;
  // The address of the document that sends messages and asks for permissions.
  std::string CurrentSource = "file:///index.html";

private:
  std::optional<TEdgeBrowserSettings> FSettings;
  bool FCreated = false;
  int FGeneration = 0;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

struct THeadlessProgressBar : TNativeProgressBar {
  void SetVisible(bool Value) override { IsVisible = Value; }
  bool Visible() const override { return IsVisible; }
  bool IsVisible = true;
};

// What a created busy indicator was asked to be; kept after the indicator is gone.
struct TActivityIndicatorRecord {
  int Left = 0, Top = 0, Size = 0;
  TActivityIndicatorKind Kind = TActivityIndicatorKind::MomentumDots;
  TActivityIndicatorColor Color = TActivityIndicatorColor::White;
};

struct THeadlessActivityIndicator : TNativeActivityIndicator {
  explicit THeadlessActivityIndicator(TActivityIndicatorRecord Asked) : Record(Asked) {}
  TActivityIndicatorKind Kind() const override { return Record.Kind; }
  TActivityIndicatorColor Color() const override { return Record.Color; }
  TActivityIndicatorRecord Record;
};

struct THeadlessPasswordEdit : TNativePasswordEdit {
  std::string Text() const override { return Value; }
  void SetText(const std::string& Text) override { Value = Text; }
  void SetFocus() override { Focused = true; }
  // Plays the user: one key press and release with the edit's text after it.
  void Type(const std::string& NewText)
  {
    Value = NewText;
    if (OnKeyUp)
      OnKeyUp();
  }
  std::string Value;
  bool Focused = false;
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Plays the user of a file dialog: Answer decides what Execute returns and which file it chose.
class THeadlessFileDialog : public TNativeFileDialog {
public:
  explicit THeadlessFileDialog(TFileDialogKind DialogKind) : Kind(DialogKind) {}
  void ClearFileTypes() override { FileTypes.clear(); }
  void AddFileType(const TFileType& FileType) override { FileTypes.push_back(FileType); }
  void SetFileName(const std::string& FileName) override { Name = FileName; }
  std::string FileName() const override { return Name; }
  void SetTitle(const std::string& Value) override { Title = Value; }
  void SetOverwritePrompt(bool Prompt) override { Overwrite = Prompt; }
  bool OverwritePrompt() const override { return Overwrite; }
  bool Execute() override;

  TFileDialogKind Kind;
  std::vector<TFileType> FileTypes;
  std::string Name;
  std::string Title;
  bool Overwrite = false;
  int Executions = 0;
  // The user's answer: the chosen path, or nullopt to cancel. Runs inside Execute.
  std::function<std::optional<std::string>(THeadlessFileDialog& Dialog)> Answer;
};

class THeadlessPlatform : public TNativePlatform {
public:
  // Waits for a poster that is still inside PostToMainThread.
  ~THeadlessPlatform() override { const std::lock_guard lock(FLock); }
  std::unique_ptr<TNativeForm> CreateForm(TFormKind Kind) override;
  std::unique_ptr<TCustomEdgeBrowser> CreateEdgeBrowser(TNativeForm& Parent) override;
  std::unique_ptr<TNativeProgressBar> CreateProgressBar(TNativeForm& Parent) override;
  std::unique_ptr<TNativePasswordEdit> CreatePasswordEdit(TNativeForm& Parent, int Left, int Top, int Width,
                                                          int Height) override;
  std::unique_ptr<TNativeActivityIndicator> CreateActivityIndicator(TNativeForm& Parent, int Left, int Top, int Size,
                                                                    TActivityIndicatorKind Kind,
                                                                    TActivityIndicatorColor Color) override;
  // Index 26 (hot-tracked items) is 0x0066CC, every other index its own number.
  uint32_t SystemColor(int Index) override { return Index == 26 ? 0x0066CCU : static_cast<uint32_t>(Index); }
  TModalResult MessageDialog(const TMessageDialogSpec& Dialog) override;
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  std::unique_ptr<TNativeFileDialog> CreateFileDialog(TFileDialogKind Kind) override;
  // Decodes only the test format "IMG:<width>x<height>"; anything else cannot be read.
  std::optional<TBitmap> DecodeImage(const std::string& Data) override;
  void ApplyTheme(const TThemePalette* Palette) override { AppliedThemes.push_back(Palette ? Palette->Name : ""); }
  void SetBrowserDataFolder(const std::string& Path) override { BrowserDataFolder = Path; }
  void SetApplicationTitle(const std::string& Title) override { ApplicationTitle = Title; }
  void Run(TNativeForm& MainForm) override;
  void PostToMainThread(std::function<void()> Fn) override;

  // Runs what other threads posted, waiting up to TimeoutMs for at least one item when the
  // queue is empty. Returns how many ran.
  int RunPosted(int TimeoutMs = 0);

  // Records, newest last (the objects stay owned by the units).
  std::vector<THeadlessForm*> Forms;
  std::vector<THeadlessEdgeBrowser*> Browsers;
  std::vector<THeadlessProgressBar*> ProgressBars;
  std::vector<TActivityIndicatorRecord> ActivityIndicators;
  std::vector<THeadlessPasswordEdit*> PasswordEdits;
  std::vector<THeadlessFileDialog*> FileDialogs;
  std::vector<TMessageDialogSpec> Dialogs;
  std::deque<TModalResult> DialogAnswers; // answers for MessageDialog; mrCancel when empty
  std::vector<std::string> Messages;
  // Each SetFocus in order: "form" for a window, "browser" for a browser control.
  std::vector<std::string> FocusLog;
  std::string BrowserDataFolder;
  std::vector<std::string> AppliedThemes; // "" for the system look
  std::string ApplicationTitle;
  // Runs inside Run() while the main form is shown; the loop ends when it returns.
  std::function<void(TNativeForm& MainForm)> OnRun;
  // Runs while a form's ShowModal waits: the test plays the user there (types, closes).
  std::function<void(THeadlessForm& Form)> OnModalLoop;

private:
  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<std::function<void()>> FQueue;
};

} // namespace velmora
