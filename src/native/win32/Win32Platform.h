// TWin32Platform: the native layer on Windows (Win32 windows and dialogs, the WebView2 browser
// control). This header includes no Windows header, so the main program can create the platform
// without them.
#pragma once

#include "NativeLayer.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace velmora {

class TWin32Platform : public TNativePlatform {
public:
  // Initialises COM for this thread as a single-threaded apartment (the engine requires it),
  // masks floating-point exceptions, and registers the window classes. nullptr with the reason in
  // ErrorMessage when that fails.
  static std::unique_ptr<TWin32Platform> Create(std::string& ErrorMessage);
  ~TWin32Platform() override;
  TWin32Platform(const TWin32Platform&) = delete;
  TWin32Platform& operator=(const TWin32Platform&) = delete;

  std::unique_ptr<TNativeForm> CreateForm(TFormKind Kind) override;
  std::unique_ptr<TCustomEdgeBrowser> CreateEdgeBrowser(TNativeForm& Parent) override;
  std::unique_ptr<TNativeProgressBar> CreateProgressBar(TNativeForm& Parent) override;
  std::unique_ptr<TNativePasswordEdit> CreatePasswordEdit(TNativeForm& Parent, int Left, int Top, int Width,
                                                          int Height) override;
  std::unique_ptr<TNativeActivityIndicator> CreateActivityIndicator(TNativeForm& Parent, int Left, int Top, int Size,
                                                                    TActivityIndicatorKind Kind,
                                                                    TActivityIndicatorColor Color) override;
  uint32_t SystemColor(int Index) override;

  // Our own dialog rather than MessageBox, so the captions, the default button and the results of
  // Escape and the close box are ours on every system.
  TModalResult MessageDialog(const TMessageDialogSpec& Dialog) override;
  void ShowMessage(const std::string& Text) override;
  std::unique_ptr<TNativeFileDialog> CreateFileDialog(TFileDialogKind Kind) override;

  // The Windows Imaging Component decodes the accepted formats.
  std::optional<TBitmap> DecodeImage(const std::string& Data) override;
  // Every window of the process follows the palette at once (Win32ApplyTheme).
  void ApplyTheme(const TThemePalette* Palette) override;

  // The engine's profile folder, which also holds its loader library ("WebView2LoaderWin64.dll").
  void SetBrowserDataFolder(const std::string& Path) override;
  void SetApplicationTitle(const std::string& Title) override;

  void Run(TNativeForm& MainForm) override;
  void PostToMainThread(std::function<void()> Fn) override;

  const std::string& BrowserDataFolder() const { return FBrowserDataFolder; }
  const std::string& ApplicationTitle() const { return FApplicationTitle; }
  // Runs the functions posted from other threads; called by the platform's message window.
  void RunPosted();

private:
  TWin32Platform() = default;

  std::string FBrowserDataFolder;
  std::string FApplicationTitle;
  bool FComInitialized = false;
  void* FMessageWindow = nullptr; // HWND of the message-only window that runs posted work
  std::mutex FPostedLock;
  std::deque<std::function<void()>> FPosted;
};

} // namespace velmora
