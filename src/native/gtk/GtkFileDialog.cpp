// TGtkFileDialog: the open and save file dialogs of the GTK native layer.
#include "GtkFileDialog.h"

#include "GtkSupport.h"

namespace velmora {

namespace {

// A path in the encoding GLib uses for file names (UTF-8 unless G_FILENAME_ENCODING says
// otherwise); the text as it is when it cannot be converted.
std::string ToFileSystem(const std::string& Utf8)
{
  gchar* converted = g_filename_from_utf8(Utf8.c_str(), -1, nullptr, nullptr, nullptr);
  if (converted == nullptr)
    return Utf8;
  std::string result(converted);
  g_free(converted);
  return result;
}

// The reverse of ToFileSystem. A name that is not text in that encoding keeps its bytes, which
// still open the same file when the path is used again.
std::string FromFileSystem(const char* Name)
{
  gchar* converted = g_filename_to_utf8(Name, -1, nullptr, nullptr, nullptr);
  if (converted == nullptr)
    return std::string(Name);
  std::string result(converted);
  g_free(converted);
  return result;
}

std::string TakeString(gchar* Text)
{
  std::string result(Text != nullptr ? Text : "");
  g_free(Text);
  return result;
}

bool IsFolder(const std::string& Utf8Path)
{
  return g_file_test(ToFileSystem(Utf8Path).c_str(), G_FILE_TEST_IS_DIR) != FALSE;
}

// The GTK pattern for a mask as the apps write it. "*.*" stands for every file, names without a
// dot included; ASCII letters match in either case, so "*.txt" also finds "NOTES.TXT". A mask
// with its own bracket expressions is taken as written.
std::string GtkFilePattern(const std::string& Mask)
{
  if (Mask.empty() || Mask == "*.*")
    return "*";
  if (Mask.find('[') != std::string::npos)
    return Mask;
  std::string pattern;
  for (const char c : Mask) {
    const bool lower = c >= 'a' && c <= 'z';
    const bool upper = c >= 'A' && c <= 'Z';
    if (!lower && !upper) {
      pattern += c;
      continue;
    }
    const char other = static_cast<char>(lower ? c - 'a' + 'A' : c - 'A' + 'a');
    pattern += '[';
    pattern += c;
    pattern += other;
    pattern += ']';
  }
  return pattern;
}

// The folder of the last file chosen in any file dialog of the process (UTF-8; empty at first).
std::string LastFolder;

// Whether the desktop portal runs on the session bus or can be started there. GTK sends its
// native file chooser to the portal when it runs sandboxed or GTK_USE_PORTAL=1 is set, and when
// the portal is missing it shows nothing at all and reports a cancel, so without one the file
// dialog is GTK's own from the start.
bool PortalOnBus()
{
  constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr)
    return false;
  const auto askBus = [bus](const char* Method, GVariant* Parameters, const char* ReplyType) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       Method, Parameters, G_VARIANT_TYPE(ReplyType), G_DBUS_CALL_FLAGS_NONE, 2000,
                                       nullptr, nullptr);
  };
  bool found = false;
  if (GVariant* reply = askBus("NameHasOwner", g_variant_new("(s)", kPortal), "(b)"); reply != nullptr) {
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    found = owned != FALSE;
    g_variant_unref(reply);
  }
  if (!found) {
    if (GVariant* reply = askBus("ListActivatableNames", nullptr, "(as)"); reply != nullptr) {
      GVariantIter* names = nullptr;
      const gchar* name = nullptr;
      g_variant_get(reply, "(as)", &names);
      while (!found && g_variant_iter_next(names, "&s", &name))
        found = g_strcmp0(name, kPortal) == 0;
      g_variant_iter_free(names);
      g_variant_unref(reply);
    }
  }
  g_object_unref(bus);
  return found;
}

// One shown chooser: a GtkFileChooserNative, or GTK's own dialog when there is no portal. Both
// are set up through the GtkFileChooser interface they share.
class TChooser {
public:
  TChooser(const std::string& Title, GtkWindow* Owner, GtkFileChooserAction Action, bool Native)
  {
    if (Native) {
      FNative = gtk_file_chooser_native_new(Title.c_str(), Owner, Action, nullptr, nullptr);
      gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(FNative), TRUE);
      FChooser = GTK_FILE_CHOOSER(FNative);
      return;
    }
    const bool save = Action == GTK_FILE_CHOOSER_ACTION_SAVE;
    FDialog = gtk_file_chooser_dialog_new(Title.c_str(), Owner, Action, "_Cancel", GTK_RESPONSE_CANCEL,
                                          save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    g_object_ref(FDialog); // kept until the destructor, even when destroyed from elsewhere
    gtk_window_set_modal(GTK_WINDOW(FDialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(FDialog), GTK_RESPONSE_ACCEPT);
    FChooser = GTK_FILE_CHOOSER(FDialog);
  }
  ~TChooser()
  {
    if (FNative != nullptr) {
      gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(FNative));
      g_object_unref(FNative);
    } else {
      if (!FDestroyed)
        gtk_widget_destroy(FDialog);
      g_object_unref(FDialog);
    }
  }
  TChooser(const TChooser&) = delete;
  TChooser& operator=(const TChooser&) = delete;

  GtkFileChooser* Chooser() const { return FChooser; }

  // Shows the chooser and returns its response once it has one (Escape and closing the window
  // give GTK_RESPONSE_DELETE_EVENT).
  gint Run()
  {
    gpointer source = FNative != nullptr ? static_cast<gpointer>(FNative) : static_cast<gpointer>(FDialog);
    ConnectSignal<&ResponseCb>(source, "response", this);
    if (FNative != nullptr) {
      gtk_native_dialog_show(GTK_NATIVE_DIALOG(FNative));
    } else {
      // A dialog destroyed from elsewhere (with its owner, say) never responds: that is a cancel.
      ConnectSignal<&DestroyCb>(FDialog, "destroy", this);
      gtk_window_present(GTK_WINDOW(FDialog));
    }
    FLoop.Run();
    g_signal_handlers_disconnect_by_data(source, this);
    return FResponse;
  }

private:
  static void ResponseCb(GObject*, gint Response, gpointer Data)
  {
    auto* self = static_cast<TChooser*>(Data);
    self->FResponse = Response;
    self->FLoop.Quit();
  }
  static void DestroyCb(GtkWidget*, gpointer Data)
  {
    auto* self = static_cast<TChooser*>(Data);
    self->FDestroyed = true;
    self->FLoop.Quit();
  }

  GtkFileChooserNative* FNative = nullptr;
  GtkWidget* FDialog = nullptr;
  GtkFileChooser* FChooser = nullptr;
  TGtkNestedLoop FLoop;
  gint FResponse = GTK_RESPONSE_CANCEL;
  bool FDestroyed = false;
};

} // namespace

bool TGtkFileDialog::Execute()
{
  const bool save = FKind == TFileDialogKind::Save;
  const std::string title = !FTitle.empty() ? FTitle : save ? "Save file" : "Open file";
  TChooser shown(GtkValidUtf8(title), GtkActiveWindow(),
                 save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, PortalOnBus());
  GtkFileChooser* chooser = shown.Chooser();
  // The caller gets a path, so only files with one (local or mounted) can be chosen.
  gtk_file_chooser_set_local_only(chooser, TRUE);
  if (save)
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, FOverwritePrompt ? TRUE : FALSE);

  GtkFileFilter* first = nullptr;
  for (const TFileType& type : FFileTypes) {
    GtkFileFilter* filter = gtk_file_filter_new();
    // GTK lists a filter by its name only, so one without a name shows its mask.
    gtk_file_filter_set_name(filter, GtkValidUtf8(type.Name.empty() ? type.Mask : type.Name).c_str());
    gtk_file_filter_add_pattern(filter, GtkFilePattern(type.Mask).c_str());
    gtk_file_chooser_add_filter(chooser, filter); // takes the floating reference
    if (first == nullptr)
      first = filter;
  }
  if (first != nullptr)
    gtk_file_chooser_set_filter(chooser, first);

  // Where the dialog starts: a full path names its file or folder (a file that does not exist
  // yet gives its folder, and for saving its name); a bare name starts in the folder of the last
  // file chosen in any file dialog. GTK's open dialog has no name field to put a bare name in, so
  // there it only stays FileName() until a file is chosen.
  std::string folder = LastFolder;
  std::string name;
  bool selected = false;
  if (g_path_is_absolute(FFileName.c_str())) {
    if (IsFolder(FFileName)) {
      folder = FFileName;
    } else if (g_file_test(ToFileSystem(FFileName).c_str(), G_FILE_TEST_EXISTS)) {
      selected = gtk_file_chooser_set_filename(chooser, ToFileSystem(FFileName).c_str()) != FALSE;
    } else {
      if (std::string parent = TakeString(g_path_get_dirname(FFileName.c_str())); IsFolder(parent))
        folder = parent;
      name = TakeString(g_path_get_basename(FFileName.c_str()));
    }
  } else if (!FFileName.empty()) {
    name = TakeString(g_path_get_basename(FFileName.c_str()));
  }
  if (!selected) {
    // GTK's save dialog would start in the current folder, which for an app is wherever it was
    // started from; the documents folder is where a first save belongs.
    if (folder.empty() && save) {
      const gchar* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
      folder = FromFileSystem(documents != nullptr && g_file_test(documents, G_FILE_TEST_IS_DIR) ? documents
                                                                                                 : g_get_home_dir());
    }
    if (!folder.empty() && IsFolder(folder))
      gtk_file_chooser_set_current_folder(chooser, ToFileSystem(folder).c_str());
    if (save && !name.empty())
      gtk_file_chooser_set_current_name(chooser, GtkValidUtf8(name).c_str());
  }

  if (shown.Run() != GTK_RESPONSE_ACCEPT)
    return false;
  gchar* path = gtk_file_chooser_get_filename(chooser);
  if (path == nullptr)
    return false;
  FFileName = FromFileSystem(path);
  g_free(path);
  LastFolder = TakeString(g_path_get_dirname(FFileName.c_str()));
  return true;
}

} // namespace velmora
