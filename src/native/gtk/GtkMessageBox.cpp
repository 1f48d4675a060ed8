// The standard message dialog of the GTK native layer: a plain modal GtkWindow with an icon, the
// text and push buttons. GtkDialog is not used because it closes on Escape whatever the buttons.
#include "GtkMessageBox.h"

#include "GtkMenuBar.h"
#include "GtkSupport.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace velmora {

namespace {

struct TTypeIcon {
  TMsgDlgType Type;
  const char* IconName; // nullptr: no image
};

// A confirmation shows the information image, as the platform's standard dialog does.
constexpr TTypeIcon kTypeIcons[] = {
  {TMsgDlgType::mtWarning, "dialog-warning"},
  {TMsgDlgType::mtError, "dialog-error"},
  {TMsgDlgType::mtInformation, "dialog-information"},
  {TMsgDlgType::mtConfirmation, "dialog-information"},
  {TMsgDlgType::mtCustom, nullptr},
};

const char* IconNameOf(TMsgDlgType Type)
{
  for (const TTypeIcon& entry : kTypeIcons)
    if (entry.Type == Type)
      return entry.IconName;
  return nullptr;
}

// The state of one shown dialog; the signal handlers get its address.
struct TDialogRun {
  TGtkNestedLoop Loop;
  TModalResult Result = mrCancel;
  bool HasCancel = false;
  bool Destroyed = false;
  std::vector<std::pair<GtkWidget*, TModalResult>> Buttons;
};

void ButtonClickedCb(GtkButton* Button, gpointer Data)
{
  auto* run = static_cast<TDialogRun*>(Data);
  for (const auto& [widget, result] : run->Buttons)
    if (widget == GTK_WIDGET(Button))
      run->Result = result;
  run->Loop.Quit();
}

gboolean DeleteEventCb(GtkWidget*, GdkEvent*, gpointer Data)
{
  auto* run = static_cast<TDialogRun*>(Data);
  run->Result = mrCancel;
  run->Loop.Quit();
  return TRUE;
}

gboolean KeyPressEventCb(GtkWidget*, GdkEventKey* Event, gpointer Data)
{
  if (Event->keyval != GDK_KEY_Escape)
    return FALSE;
  auto* run = static_cast<TDialogRun*>(Data);
  if (run->HasCancel) {
    run->Result = mrCancel;
    run->Loop.Quit();
  }
  return TRUE;
}

// The owner window was destroyed and took the dialog with it.
void DestroyCb(GtkWidget*, gpointer Data)
{
  auto* run = static_cast<TDialogRun*>(Data);
  run->Destroyed = true;
  run->Result = mrCancel;
  run->Loop.Quit();
}

constexpr int kMinimumWidth = 320;

bool HasButton(const TMessageDialogSpec& Dialog, TMsgDlgBtn Kind)
{
  return std::find(Dialog.Buttons.begin(), Dialog.Buttons.end(), Kind) != Dialog.Buttons.end();
}

GtkWidget* MakeMessageArea(const TMessageDialogSpec& Dialog)
{
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  if (const char* iconName = IconNameOf(Dialog.Type); iconName != nullptr) {
    GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  }
  GtkWidget* label = gtk_label_new(GtkValidUtf8(Dialog.Message).c_str());
  GtkLabel* text = GTK_LABEL(label);
  gtk_label_set_line_wrap(text, TRUE);
  // Chinese and Japanese have no spaces to break at.
  gtk_label_set_line_wrap_mode(text, PANGO_WRAP_WORD_CHAR);
  gtk_label_set_max_width_chars(text, 60);
  gtk_label_set_xalign(text, 0.0F);
  gtk_label_set_yalign(text, 0.5F);
  gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
  return row;
}

} // namespace

TModalResult GtkShowMessageDialog(const TMessageDialogSpec& Dialog, const std::string& Title)
{
  TDialogRun run;
  GtkWidget* dialog = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref(dialog);
  GtkWindow* window = GTK_WINDOW(dialog);
  gtk_window_set_title(window, GtkValidUtf8(Title).c_str());
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_modal(window, TRUE);
  if (GtkWindow* owner = GtkActiveWindow(); owner != nullptr) {
    gtk_window_set_transient_for(window, owner);
    gtk_window_set_destroy_with_parent(window, TRUE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(window,
                            Dialog.Position == TPosition::poDefaultPosOnly ? GTK_WIN_POS_NONE : GTK_WIN_POS_CENTER);
  }

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
  gtk_container_set_border_width(GTK_CONTAINER(column), 18);
  // Wide enough for the title of a short message to show in the title bar.
  gtk_widget_set_size_request(column, kMinimumWidth, -1);
  gtk_box_pack_start(GTK_BOX(column), MakeMessageArea(Dialog), TRUE, TRUE, 0);

  // A plain box rather than a GtkButtonBox: buttons of their natural widths keep a dialog with
  // many buttons narrower than the screen.
  GtkWidget* buttonBox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttonBox, GTK_ALIGN_END);
  gtk_box_pack_start(GTK_BOX(column), buttonBox, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(dialog), column);

  GtkWidget* defaultButton = nullptr;
  const std::optional<TMsgDlgBtn> defaultKind = MessageDialogDefaultButton(Dialog);
  size_t captionIndex = 0;
  for (const TMsgDlgButtonKind& kind : MessageDialogButtonKinds()) {
    if (!HasButton(Dialog, kind.Kind))
      continue;
    // A caller's caption is plain text; only the standard captions carry mnemonics.
    GtkWidget* button = captionIndex < Dialog.ButtonCaptions.size()
                          ? gtk_button_new_with_label(GtkValidUtf8(Dialog.ButtonCaptions[captionIndex]).c_str())
                          : gtk_button_new_with_mnemonic(GtkMnemonicCaption(kind.Caption).c_str());
    ++captionIndex;
    gtk_container_add(GTK_CONTAINER(buttonBox), button);
    ConnectSignal<&ButtonClickedCb>(button, "clicked", &run);
    run.Buttons.emplace_back(button, kind.Result);
    if (defaultKind == kind.Kind)
      defaultButton = button;
    else if (kind.Kind == TMsgDlgBtn::mbCancel)
      run.HasCancel = true;
  }
  if (defaultButton != nullptr) {
    gtk_widget_set_can_default(defaultButton, TRUE);
    gtk_window_set_default(window, defaultButton);
    gtk_widget_grab_focus(defaultButton);
  }

  ConnectSignal<&DeleteEventCb, TRUE>(dialog, "delete-event", &run);
  ConnectSignal<&KeyPressEventCb>(dialog, "key-press-event", &run);
  ConnectSignal<&DestroyCb>(dialog, "destroy", &run);
  gtk_widget_show_all(dialog);
  run.Loop.Run();

  // Destroying the window takes the buttons with it; no click can arrive after this.
  g_signal_handlers_disconnect_by_data(dialog, &run);
  if (!run.Destroyed)
    gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return run.Result;
}

} // namespace velmora
