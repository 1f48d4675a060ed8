// The open and save file dialogs of the GTK native layer.
#pragma once

#include "NativeLayer.h"

#include <string>
#include <vector>

namespace velmora {

// Each Execute builds a GtkFileChooserNative from the properties, which goes to the desktop's file
// chooser portal where GTK decides to (sandboxes, GTK_USE_PORTAL=1) and shows GTK's own dialog
// otherwise; with no portal on the session bus it is GTK's dialog directly, because
// GtkFileChooserNative would then show nothing. The objects outlive the calls; the folder of the
// last file chosen in any of them is where the next call starts when its file name gives no
// folder, so opening after saving shows the folder just saved in.
class TGtkFileDialog : public TNativeFileDialog {
public:
  explicit TGtkFileDialog(TFileDialogKind Kind) : FKind(Kind) {}

  void ClearFileTypes() override { FFileTypes.clear(); }
  // Display name and one pattern; "*.*" means every file, and letters match in either case.
  void AddFileType(const TFileType& FileType) override { FFileTypes.push_back(FileType); }
  // A bare name, or a full path that also gives the starting folder.
  void SetFileName(const std::string& FileName) override { FFileName = FileName; }
  std::string FileName() const override { return FFileName; }
  // Empty: "Open file" or "Save file".
  void SetTitle(const std::string& Title) override { FTitle = Title; }
  void SetOverwritePrompt(bool Prompt) override { FOverwritePrompt = Prompt; }
  bool OverwritePrompt() const override { return FOverwritePrompt; }
  bool Execute() override;

private:
  TFileDialogKind FKind;
  std::vector<TFileType> FFileTypes;
  std::string FFileName;
  std::string FTitle;
  bool FOverwritePrompt = false;
};

} // namespace velmora
