// The native layer: windows, dialogs, the password edit, the progress bar, the browser control
// and the application loop, as the portable units use them. One implementation per platform
// (gtk/ on Linux, win32/ on Windows) and a headless one for unit tests (headless/).
#pragma once

#include "EdgeEx.h"
#include "MenuModel.h"
#include "ThemePalette.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsStayOnTop };
// poDesktopCenter: centred on the desktop when first shown; poDefaultPosOnly: where the
// platform puts a new window; poScreenCenter: centred on the screen (dialogs without an owner).
enum class TPosition { poDesigned, poDesktopCenter, poDefaultPosOnly, poScreenCenter };

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

// Where a window is (its outer top-left corner) and the size of its client area: what SetBounds
// takes.
struct TFormBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

struct TSizeConstraints {
  int MinWidth = 0; // 0: no limit
  int MinHeight = 0;
  int MaxWidth = 0;
  int MaxHeight = 0;
};

enum class TFormKind {
  Main,   // the app's top-level window: menu slot, client area for the browser view
  Dialog, // a small modal window (the password prompt)
  // A plain pop-up without frame or taskbar button, with a drop shadow, corners rounded by a
  // 4 x 4 ellipse and the application-starting cursor (the busy window while the engine installs).
  Busy,
};

// A top-level window. Width and Height are the client size.
class TNativeForm {
public:
  virtual ~TNativeForm() = default;

  // Asked on every close request (title-bar button, Alt+F4, window manager, Close()); the
  // handler sets CanClose, which starts true.
  std::function<void(bool& CanClose)> OnCloseQuery;
  // The window has closed (it is hidden; the object stays until freed).
  std::function<void()> OnClose;

  virtual void SetCaption(const std::string& Caption) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetBorderStyle(TBorderStyle Style) = 0;
  virtual TBorderStyle BorderStyle() const = 0;
  virtual void SetWindowState(TWindowState State) = 0;
  virtual TWindowState WindowState() const = 0;
  virtual void SetFormStyle(TFormStyle Style) = 0;
  virtual TFormStyle FormStyle() const = 0;
  virtual void SetBounds(int Left, int Top, int Width, int Height) = 0;
  // The window's current place and client size (before it is first shown, those set), whatever
  // its state.
  virtual TFormBounds Bounds() const = 0;
  virtual void SetConstraints(const TSizeConstraints& Constraints) = 0;
  // Applies when the window is first shown.
  virtual void SetPosition(TPosition Position) = 0;

  virtual void Show() = 0;
  // Shows the window modally and returns its modal result once it has closed.
  virtual TModalResult ShowModal() = 0;
  // Setting a result other than mrNone closes a modal window.
  virtual void SetModalResult(TModalResult Result) = 0;
  virtual TModalResult ModalResult() const = 0;
  // Attaches the menu bar drawn from Menu (nullptr detaches it). The form keeps the pointer;
  // MenuChanged() redraws the bar after the model changed. Picking an item without sub-items
  // raises its OnClick.
  virtual void SetMainMenu(TMainMenu* Menu) = 0;
  virtual void MenuChanged() = 0;
  // A close request from the program: the same path as the user's, through OnCloseQuery.
  virtual void Close() = 0;
  virtual bool Visible() const = 0;
  // Gives the window the keyboard focus, as activating it does.
  virtual void SetFocus() = 0;
  // The background colour, 0xRRGGBB, in place of the system's (and of a theme's).
  virtual void SetColor(uint32_t Rgb) = 0;
};

// The marquee bar at the bottom of the browser view.
class TNativeProgressBar {
public:
  virtual ~TNativeProgressBar() = default;
  virtual void SetVisible(bool Visible) = 0;
  virtual bool Visible() const = 0;
};

enum class TActivityIndicatorKind { MomentumDots, RotatingSector, SectorRing };
enum class TActivityIndicatorColor { Black, White };

// An animated busy indicator at a fixed place in a form, animating from its creation on.
class TNativeActivityIndicator {
public:
  virtual ~TNativeActivityIndicator() = default;
  virtual TActivityIndicatorKind Kind() const = 0;
  virtual TActivityIndicatorColor Color() const = 0;
};

// A single-line edit that shows every character as "*", with a decorative key button on its left.
class TNativePasswordEdit {
public:
  virtual ~TNativePasswordEdit() = default;
  // Raised on every key release while the edit has the focus.
  std::function<void()> OnKeyUp;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& Text) = 0;
  virtual void SetFocus() = 0;
};

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
// In the order a dialog creates its buttons.
enum class TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
  mbClose
};

struct TMessageDialogSpec {
  std::string Message;
  TMsgDlgType Type = TMsgDlgType::mtInformation;
  std::vector<TMsgDlgBtn> Buttons;         // created in the order of TMsgDlgBtn
  std::vector<std::string> ButtonCaptions; // the i-th created button gets caption i, while they last
  std::string Caption;                     // the title; empty: the application title
  TPosition Position = TPosition::poScreenCenter;
};

// A button of the message dialog: its kind, the modal result it closes the dialog with, and the
// caption it has when the caller gives none ("&" marks the access key, "&&" is a plain "&").
struct TMsgDlgButtonKind {
  TMsgDlgBtn Kind;
  TModalResult Result;
  const char* Caption;
};
// Every button kind in the order a dialog creates them.
std::span<const TMsgDlgButtonKind> MessageDialogButtonKinds();
// The button that has the focus and answers Enter: the dialog's OK button, else its Yes button;
// nullopt when it has neither.
std::optional<TMsgDlgBtn> MessageDialogDefaultButton(const TMessageDialogSpec& Dialog);

struct TFileType {
  std::string Name; // display name, e.g. "Text files"
  std::string Mask; // pattern, e.g. "*.txt"
};

enum class TFileDialogKind { Open, Save };

// The system's open or save file dialog. One object is reused by every call, so properties a
// call does not set keep what the previous call or the user left in them.
class TNativeFileDialog {
public:
  virtual ~TNativeFileDialog() = default;
  virtual void ClearFileTypes() = 0;
  virtual void AddFileType(const TFileType& FileType) = 0;
  virtual void SetFileName(const std::string& FileName) = 0;
  // The chosen file's full path after Execute returned true.
  virtual std::string FileName() const = 0;
  virtual void SetTitle(const std::string& Title) = 0;
  // Save dialogs: ask before replacing an existing file.
  virtual void SetOverwritePrompt(bool Prompt) = 0;
  virtual bool OverwritePrompt() const = 0;
  // Shows the dialog modally, owned by the window active at that moment; true when the user
  // confirmed a file, false when they cancelled.
  virtual bool Execute() = 0;
};

class TNativePlatform {
public:
  virtual ~TNativePlatform() = default;

  virtual std::unique_ptr<TNativeForm> CreateForm(TFormKind Kind) = 0;
  // The browser control fills the client area of Parent. Creation of the engine starts now and
  // completes later on the UI thread with OnCreateWebViewCompleted.
  virtual std::unique_ptr<TCustomEdgeBrowser> CreateEdgeBrowser(TNativeForm& Parent) = 0;
  virtual std::unique_ptr<TNativeProgressBar> CreateProgressBar(TNativeForm& Parent) = 0;
  virtual std::unique_ptr<TNativePasswordEdit> CreatePasswordEdit(TNativeForm& Parent, int Left, int Top, int Width,
                                                                  int Height) = 0;

  // A Size x Size busy indicator at (Left, Top) in Parent's client area.
  virtual std::unique_ptr<TNativeActivityIndicator> CreateActivityIndicator(TNativeForm& Parent, int Left, int Top,
                                                                            int Size, TActivityIndicatorKind Kind,
                                                                            TActivityIndicatorColor Color) = 0;
  // The colour of a system colour (the Windows colour index, as GetSysColor takes it), 0xRRGGBB.
  virtual uint32_t SystemColor(int Index) = 0;

  // The standard message dialog, modal; returns the modal result of the pressed button, or
  // mrCancel when it is closed or Escape is pressed in a dialog with a Cancel button.
  virtual TModalResult MessageDialog(const TMessageDialogSpec& Dialog) = 0;
  // A plain box: the text, no icon, one OK button.
  virtual void ShowMessage(const std::string& Text) = 0;
  virtual std::unique_ptr<TNativeFileDialog> CreateFileDialog(TFileDialogKind Kind) = 0;

  // Decodes PNG, JPEG, BMP, GIF, TIFF or ICO data; nullopt for data it cannot read.
  virtual std::optional<TBitmap> DecodeImage(const std::string& Data) = 0;
  // Restyles every native window of the process at once: with a palette, or back to the
  // system's own look with nullptr. Page content is not themed.
  virtual void ApplyTheme(const TThemePalette* Palette) = 0;

  // The engine's profile folder (Linux; on Windows the environment carries it).
  virtual void SetBrowserDataFolder(const std::string& Path) = 0;
  virtual void SetApplicationTitle(const std::string& Title) = 0;
  // The app's name on the desktop (DesktopIdOf its ID): on Linux the class of its windows, which
  // a desktop file's StartupWMClass names, and the icon their title bars and task switchers show
  // when one of that name is installed (as the packer's .deb installs it).
  virtual void SetApplicationIdentity(const std::string& DesktopId) { (void)DesktopId; }
  // Lets a WebDriver automation session drive the browser controls made after this call, under
  // the given application name (the driver's "browserName"). Where the engine has no such
  // driver (WebView2 here), nothing changes.
  virtual void AllowBrowserAutomation(const std::string& ApplicationName) { (void)ApplicationName; }

  // Runs the message loop until MainForm has closed.
  virtual void Run(TNativeForm& MainForm) = 0;
  // Runs fn on the UI thread soon; callable from any thread.
  virtual void PostToMainThread(std::function<void()> Fn) = 0;
};

// The process's native layer, installed once at start (the platform's own, or the headless one).
TNativePlatform& Native();
void SetNativePlatform(TNativePlatform* Platform);

} // namespace velmora

namespace velmora {

// The platform's own native layer (GTK on Linux, Win32 on Windows), or nullptr with the reason
// in Error when it cannot start (for example without a display).
std::unique_ptr<TNativePlatform> CreatePlatformNativeLayer(std::string& Error);

} // namespace velmora
