// TWin32Platform: COM and the message loop on the UI thread, forms, controls, dialogs, and the
// functions other threads post to the UI thread.
#include "Win32Platform.h"

#include "Win32Controls.h"
#include "Win32EdgeBrowser.h"
#include "Win32FileDialog.h"
#include "Win32Form.h"
#include "Win32Images.h"
#include "Win32Menu.h"
#include "Win32MessageBox.h"
#include "Win32Support.h"

#include <commctrl.h>
#include <float.h>
#include <objbase.h>

namespace velmora {

namespace {

constexpr wchar_t kMessageWindowClass[] = L"VelmoraPosted";
constexpr UINT kRunPosted = WM_APP + 1;

LRESULT CALLBACK MessageWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
  if (Message == kRunPosted) {
    if (auto* platform = reinterpret_cast<TWin32Platform*>(GetWindowLongPtrW(Window, GWLP_USERDATA)))
      platform->RunPosted();
    return 0;
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

} // namespace

std::unique_ptr<TWin32Platform> TWin32Platform::Create(std::string& ErrorMessage)
{
  std::unique_ptr<TWin32Platform> platform(new TWin32Platform());
  // The engine needs a single-threaded apartment on the UI thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) {
    ErrorMessage = "COM could not be initialised (error " + std::to_string(static_cast<unsigned long>(com)) + ")";
    return nullptr;
  }
  platform->FComInitialized = true;
  // Every floating-point exception masked: the engine and some system components compute with
  // values that would otherwise trap.
  _controlfp(_MCW_EM, _MCW_EM);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  if (!RegisterFormClasses()) {
    ErrorMessage = "the window classes could not be registered";
    return nullptr;
  }
  WNDCLASSEXW messages{};
  messages.cbSize = sizeof messages;
  messages.lpfnWndProc = &MessageWindowProc;
  messages.hInstance = ModuleInstance();
  messages.lpszClassName = kMessageWindowClass;
  RegisterClassExW(&messages);
  const HWND window =
    CreateWindowExW(0, kMessageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
  if (window == nullptr) {
    ErrorMessage = "the message window could not be created";
    return nullptr;
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(platform.get()));
  platform->FMessageWindow = window;
  return platform;
}

TWin32Platform::~TWin32Platform()
{
  if (FMessageWindow != nullptr) {
    SetWindowLongPtrW(static_cast<HWND>(FMessageWindow), GWLP_USERDATA, 0);
    DestroyWindow(static_cast<HWND>(FMessageWindow));
  }
  if (FComInitialized)
    CoUninitialize();
}

std::unique_ptr<TNativeForm> TWin32Platform::CreateForm(TFormKind Kind) { return std::make_unique<TWin32Form>(Kind); }

std::unique_ptr<TCustomEdgeBrowser> TWin32Platform::CreateEdgeBrowser(TNativeForm& Parent)
{
  std::string folder = FBrowserDataFolder;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
    folder += '\\';
  return std::make_unique<TWin32EdgeBrowser>(Win32FormOf(Parent), folder + "WebView2LoaderWin64.dll");
}

std::unique_ptr<TNativeProgressBar> TWin32Platform::CreateProgressBar(TNativeForm& Parent)
{
  return std::make_unique<TWin32ProgressBar>(Win32FormOf(Parent));
}

std::unique_ptr<TNativePasswordEdit> TWin32Platform::CreatePasswordEdit(TNativeForm& Parent, int Left, int Top,
                                                                        int Width, int Height)
{
  return std::make_unique<TWin32PasswordEdit>(Win32FormOf(Parent), Left, Top, Width, Height);
}

std::unique_ptr<TNativeActivityIndicator> TWin32Platform::CreateActivityIndicator(TNativeForm& Parent, int Left,
                                                                                  int Top, int Size,
                                                                                  TActivityIndicatorKind Kind,
                                                                                  TActivityIndicatorColor Color)
{
  return std::make_unique<TWin32ActivityIndicator>(Win32FormOf(Parent), Left, Top, Size, Kind, Color);
}

uint32_t TWin32Platform::SystemColor(int Index)
{
  const COLORREF color = GetSysColor(Index);
  return (static_cast<uint32_t>(GetRValue(color)) << 16U) | (static_cast<uint32_t>(GetGValue(color)) << 8U) |
         GetBValue(color);
}

TModalResult TWin32Platform::MessageDialog(const TMessageDialogSpec& Dialog)
{
  return Win32ShowMessageDialog(Dialog, Dialog.Caption.empty() ? FApplicationTitle : Dialog.Caption);
}

void TWin32Platform::ShowMessage(const std::string& Text)
{
  TMessageDialogSpec dialog;
  dialog.Message = Text;
  dialog.Type = TMsgDlgType::mtCustom;
  dialog.Buttons = {TMsgDlgBtn::mbOK};
  MessageDialog(dialog);
}

std::unique_ptr<TNativeFileDialog> TWin32Platform::CreateFileDialog(TFileDialogKind Kind)
{
  return std::make_unique<TWin32FileDialog>(Kind);
}

std::optional<TBitmap> TWin32Platform::DecodeImage(const std::string& Data) { return Win32DecodeImage(Data); }

void TWin32Platform::ApplyTheme(const TThemePalette* Palette) { Win32ApplyTheme(Palette); }

void TWin32Platform::SetBrowserDataFolder(const std::string& Path) { FBrowserDataFolder = Path; }

void TWin32Platform::SetApplicationTitle(const std::string& Title) { FApplicationTitle = Title; }

void TWin32Platform::Run(TNativeForm& MainForm)
{
  TWin32Form& form = Win32FormOf(MainForm);
  form.Show();
  form.RunUntilClosed();
}

void TWin32Platform::PostToMainThread(std::function<void()> Fn)
{
  if (!Fn)
    return;
  {
    const std::lock_guard<std::mutex> guard(FPostedLock);
    FPosted.push_back(std::move(Fn));
  }
  // Always deferred, even from the UI thread itself, so the function never runs inside its caller.
  PostMessageW(static_cast<HWND>(FMessageWindow), kRunPosted, 0, 0);
}

void TWin32Platform::RunPosted()
{
  for (;;) {
    std::function<void()> next;
    {
      const std::lock_guard<std::mutex> guard(FPostedLock);
      if (FPosted.empty())
        return;
      next = std::move(FPosted.front());
      FPosted.pop_front();
    }
    Win32Guarded("a function posted to the main thread", next);
  }
}

} // namespace velmora
