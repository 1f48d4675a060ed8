// The open and save dialogs of the Win32 native layer: the shell's common item dialogs
// (IFileOpenDialog, IFileSaveDialog).
#include "Win32FileDialog.h"

#include "Win32Support.h"

#include <shobjidl.h>

namespace velmora {

namespace {

// Splits "C:\dir\name.txt" into its folder and its name; a bare name has no folder.
std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& Path)
{
  const size_t slash = Path.find_last_of(L"\\/");
  if (slash == std::wstring::npos)
    return {L"", Path};
  return {Path.substr(0, slash + 1), Path.substr(slash + 1)};
}

} // namespace

TWin32FileDialog::TWin32FileDialog(TFileDialogKind Kind) : FKind(Kind) {}

void TWin32FileDialog::ClearFileTypes() { FFileTypes.clear(); }

void TWin32FileDialog::AddFileType(const TFileType& FileType) { FFileTypes.push_back(FileType); }

void TWin32FileDialog::SetFileName(const std::string& FileName) { FFileName = FileName; }

std::string TWin32FileDialog::FileName() const { return FFileName; }

void TWin32FileDialog::SetTitle(const std::string& Title) { FTitle = Title; }

void TWin32FileDialog::SetOverwritePrompt(bool Prompt) { FOverwritePrompt = Prompt; }

bool TWin32FileDialog::OverwritePrompt() const { return FOverwritePrompt; }

bool TWin32FileDialog::Execute()
{
  // A dialog object shows once; the properties live here and go to a new one each time, and the
  // shell remembers the folder the user was last in.
  TComPtr<IFileDialog> dialog;
  const CLSID& classId = FKind == TFileDialogKind::Open ? CLSID_FileOpenDialog : CLSID_FileSaveDialog;
  const IID& interfaceId = FKind == TFileDialogKind::Open ? IID_IFileOpenDialog : IID_IFileSaveDialog;
  if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId,
                              reinterpret_cast<void**>(dialog.Put()))) ||
      !dialog)
    return false;

  std::vector<std::wstring> names;
  std::vector<std::wstring> masks;
  for (const TFileType& type : FFileTypes) {
    names.push_back(Utf8ToWide(type.Name));
    masks.push_back(Utf8ToWide(type.Mask));
  }
  std::vector<COMDLG_FILTERSPEC> filters;
  for (size_t i = 0; i < names.size(); ++i)
    filters.push_back(COMDLG_FILTERSPEC{names[i].c_str(), masks[i].c_str()});
  if (!filters.empty())
    dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());

  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM;
  if (FKind == TFileDialogKind::Open)
    options |= FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST;
  else if (FOverwritePrompt)
    options |= FOS_OVERWRITEPROMPT;
  else
    options &= ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_OVERWRITEPROMPT);
  dialog->SetOptions(options);
  if (!FTitle.empty())
    dialog->SetTitle(Utf8ToWide(FTitle).c_str());

  // A file name with a folder opens the dialog in that folder; a folder alone opens that folder.
  auto [folder, name] = SplitPath(Utf8ToWide(FFileName));
  if (const DWORD attributes = GetFileAttributesW(Utf8ToWide(FFileName).c_str());
      !FFileName.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    folder = Utf8ToWide(FFileName);
    name.clear();
  }
  if (!folder.empty()) {
    TComPtr<IShellItem> item;
    if (SUCCEEDED(
          SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.Put()))) &&
        item)
      dialog->SetFolder(item.Get());
  }
  if (!name.empty())
    dialog->SetFileName(name.c_str());

  if (FAILED(dialog->Show(GetActiveWindow())))
    return false; // cancelled, or the dialog could not be shown
  TComPtr<IShellItem> result;
  if (FAILED(dialog->GetResult(result.Put())) || !result)
    return false;
  LPWSTR path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || path == nullptr)
    return false;
  FFileName = TakeCoTaskString(path);
  return true;
}

} // namespace velmora
