// TGtkPlatform: the native layer on Linux (GTK 3 windows and dialogs, WebKitGTK browser control).
// This header includes no GTK header, so the main program can create the platform without them.
#pragma once

#include "NativeLayer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

class TGtkPlatform : public TNativePlatform {
public:
  // Initialises GTK. Without a usable display returns nullptr and sets ErrorMessage.
  static std::unique_ptr<TGtkPlatform> Create(std::string& ErrorMessage);
  ~TGtkPlatform() override = default;
  TGtkPlatform(const TGtkPlatform&) = delete;
  TGtkPlatform& operator=(const TGtkPlatform&) = delete;

  // Forms are GTK windows (TGtkForm); the other Create functions need one of them as Parent:
  // a main form for the browser control and the progress bar, a dialog form for the password edit.
  std::unique_ptr<TNativeForm> CreateForm(TFormKind Kind) override;
  std::unique_ptr<TCustomEdgeBrowser> CreateEdgeBrowser(TNativeForm& Parent) override;
  std::unique_ptr<TNativeProgressBar> CreateProgressBar(TNativeForm& Parent) override;
  std::unique_ptr<TNativePasswordEdit> CreatePasswordEdit(TNativeForm& Parent, int Left, int Top, int Width,
                                                          int Height) override;
  std::unique_ptr<TNativeActivityIndicator> CreateActivityIndicator(TNativeForm& Parent, int Left, int Top, int Size,
                                                                    TActivityIndicatorKind Kind,
                                                                    TActivityIndicatorColor Color) override;
  // Linux has no system colours of this kind: the default colours of Windows 10 stand in.
  uint32_t SystemColor(int Index) override;

  // Owned by the active window of this process when there is one, else centred on the screen.
  TModalResult MessageDialog(const TMessageDialogSpec& Dialog) override;
  void ShowMessage(const std::string& Text) override;
  std::unique_ptr<TNativeFileDialog> CreateFileDialog(TFileDialogKind Kind) override;

  std::optional<TBitmap> DecodeImage(const std::string& Data) override;
  // One style provider on the default screen restyles every window of the process.
  void ApplyTheme(const TThemePalette* Palette) override;

  void SetBrowserDataFolder(const std::string& Path) override;
  void AllowBrowserAutomation(const std::string& ApplicationName) override;
  void SetApplicationIdentity(const std::string& DesktopId) override;
  // Also the GLib application name (set once per process; later titles are only remembered).
  void SetApplicationTitle(const std::string& Title) override;

  void Run(TNativeForm& MainForm) override;
  void PostToMainThread(std::function<void()> Fn) override;

  const std::string& BrowserDataFolder() const { return FBrowserDataFolder; }
  // The title dialogs get when their caller gives none.
  std::string ApplicationTitle() const;

private:
  TGtkPlatform() = default;

  std::string FBrowserDataFolder;
  std::optional<std::string> FAutomationName;
  std::string FApplicationTitle;
};

} // namespace velmora
