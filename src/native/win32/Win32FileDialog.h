// The open and save dialogs of the Win32 native layer.
#pragma once

#include "NativeLayer.h"

#include <string>
#include <vector>

namespace velmora {

// The shell's common item dialog, shown modally and owned by the window active at that moment.
class TWin32FileDialog final : public TNativeFileDialog {
public:
  explicit TWin32FileDialog(TFileDialogKind Kind);

  void ClearFileTypes() override;
  void AddFileType(const TFileType& FileType) override;
  void SetFileName(const std::string& FileName) override;
  std::string FileName() const override;
  void SetTitle(const std::string& Title) override;
  void SetOverwritePrompt(bool Prompt) override;
  bool OverwritePrompt() const override;
  bool Execute() override;

private:
  TFileDialogKind FKind;
  std::vector<TFileType> FFileTypes;
  std::string FFileName;
  std::string FTitle;
  bool FOverwritePrompt = false;
};

} // namespace velmora
