// TGtkPlatform: creation of the GTK native layer's parts, its dialogs and its main loop.
#include "GtkPlatform.h"

#include "GtkControls.h"
#include "GtkEdgeBrowser.h"
#include "GtkFileDialog.h"
#include "GtkImages.h"
#include "GtkMessageBox.h"
#include "GtkSupport.h"
#include "GtkTheme.h"
#include "GtkWindowForm.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <stdexcept>

namespace velmora {

namespace {

// GLib warns when the application name is set a second time.
bool GApplicationNameSet = false;

TGtkWindowForm& GtkFormOf(TNativeForm& Form)
{
  auto* form = dynamic_cast<TGtkWindowForm*>(&Form);
  if (form == nullptr)
    throw std::invalid_argument("the form was not created by the GTK native layer");
  return *form;
}

gboolean RunPostedCb(gpointer Data)
{
  (*static_cast<std::function<void()>*>(Data))();
  return G_SOURCE_REMOVE;
}

void FreePostedCb(gpointer Data) { delete static_cast<std::function<void()>*>(Data); }

} // namespace

std::unique_ptr<TGtkPlatform> TGtkPlatform::Create(std::string& ErrorMessage)
{
  if (!gtk_init_check(nullptr, nullptr)) {
    const char* display = std::getenv("DISPLAY");
    ErrorMessage = display != nullptr && *display != '\0' ? std::string("Cannot open the display \"") + display + "\"."
                                                          : std::string("Cannot open a display: DISPLAY is not set.");
    return nullptr;
  }
  ErrorMessage.clear();
  return std::unique_ptr<TGtkPlatform>(new TGtkPlatform());
}

std::unique_ptr<TNativeForm> TGtkPlatform::CreateForm(TFormKind Kind) { return std::make_unique<TGtkWindowForm>(Kind); }

std::unique_ptr<TCustomEdgeBrowser> TGtkPlatform::CreateEdgeBrowser(TNativeForm& Parent)
{
  return std::make_unique<TGtkEdgeBrowser>(static_cast<TGtkForm&>(Parent), BrowserDataFolder(), FAutomationName);
}

std::unique_ptr<TNativeProgressBar> TGtkPlatform::CreateProgressBar(TNativeForm& Parent)
{
  return std::make_unique<TGtkProgressBar>(GtkFormOf(Parent));
}

std::unique_ptr<TNativeActivityIndicator> TGtkPlatform::CreateActivityIndicator(TNativeForm& Parent, int Left, int Top,
                                                                                int Size, TActivityIndicatorKind Kind,
                                                                                TActivityIndicatorColor Color)
{
  return std::make_unique<TGtkActivityIndicator>(GtkFormOf(Parent), Left, Top, Size, Kind, Color);
}

uint32_t TGtkPlatform::SystemColor(int Index)
{
  // clang-format off
  static constexpr uint32_t kWindowsDefaults[] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, // 0-7
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0, // 8-15
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000, // 16-23
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,           // 24-30
  };
  // clang-format on
  return Index >= 0 && static_cast<size_t>(Index) < std::size(kWindowsDefaults) ? kWindowsDefaults[Index] : 0;
}

std::unique_ptr<TNativePasswordEdit> TGtkPlatform::CreatePasswordEdit(TNativeForm& Parent, int Left, int Top, int Width,
                                                                      int Height)
{
  return std::make_unique<TGtkPasswordEdit>(GtkFormOf(Parent), Left, Top, Width, Height);
}

TModalResult TGtkPlatform::MessageDialog(const TMessageDialogSpec& Dialog)
{
  return GtkShowMessageDialog(Dialog, Dialog.Caption.empty() ? ApplicationTitle() : Dialog.Caption);
}

void TGtkPlatform::ShowMessage(const std::string& Text)
{
  TMessageDialogSpec dialog;
  dialog.Message = Text;
  dialog.Type = TMsgDlgType::mtCustom;
  dialog.Buttons = {TMsgDlgBtn::mbOK};
  GtkShowMessageDialog(dialog, ApplicationTitle());
}

std::unique_ptr<TNativeFileDialog> TGtkPlatform::CreateFileDialog(TFileDialogKind Kind)
{
  return std::make_unique<TGtkFileDialog>(Kind);
}

std::optional<TBitmap> TGtkPlatform::DecodeImage(const std::string& Data) { return GtkDecodeImage(Data); }

void TGtkPlatform::ApplyTheme(const TThemePalette* Palette) { GtkApplyTheme(Palette); }

void TGtkPlatform::SetBrowserDataFolder(const std::string& Path) { FBrowserDataFolder = Path; }

void TGtkPlatform::AllowBrowserAutomation(const std::string& ApplicationName) { FAutomationName = ApplicationName; }

void TGtkPlatform::SetApplicationIdentity(const std::string& DesktopId)
{
  // Read when each window is made: WM_CLASS is (program name, this class).
  gdk_set_program_class(DesktopId.c_str());
  gtk_window_set_default_icon_name(DesktopId.c_str());
}

void TGtkPlatform::SetApplicationTitle(const std::string& Title)
{
  FApplicationTitle = Title;
  if (!GApplicationNameSet) {
    GApplicationNameSet = true;
    g_set_application_name(GtkValidUtf8(Title).c_str());
  }
}

std::string TGtkPlatform::ApplicationTitle() const
{
  if (!FApplicationTitle.empty())
    return FApplicationTitle;
  // GLib falls back to the program name.
  const gchar* name = g_get_application_name();
  return name != nullptr ? std::string(name) : std::string();
}

void TGtkPlatform::Run(TNativeForm& MainForm)
{
  TGtkWindowForm& form = GtkFormOf(MainForm);
  if (!form.Visible())
    form.Show();
  form.RunUntilClosed();
}

void TGtkPlatform::PostToMainThread(std::function<void()> Fn)
{
  if (!Fn)
    return;
  // g_idle_add_full is safe from any thread and always defers, even when called on the main
  // thread, so the function never runs inside its caller.
  g_idle_add_full(G_PRIORITY_DEFAULT, GuardedCallback<&RunPostedCb>, new std::function<void()>(std::move(Fn)),
                  FreePostedCb);
}

} // namespace velmora
