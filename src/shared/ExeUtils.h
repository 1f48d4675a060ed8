// TExeUtils: finds, reads and (packer side) appends the ZIP archive attached to an executable, and
// brands a Windows runtime copy with the app's icon and version texts before the archive goes on.
#pragma once

#include "FileMap.h"
#include "PeResources.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The offset E where an executable's own image ends, as its headers describe it; whatever
// follows E in the file is the attached archive.
// - PE: the largest PointerToRawData + SizeOfRawData over the section table, added in 32 bits.
// - ELF (the Linux runtime): the largest end over the program segments' file contents, the
//   sections' contents and the section header table.
// Nothing outside `headers` is read. Headers that are truncated, point outside `headers`, or
// are otherwise absurd (no sections, a table past the data) give nullopt: "no archive".
std::optional<uint64_t> ImageEndFromHeaders(std::span<const uint8_t> headers);

// The archive attached to an executable, mapped read-only. Bytes() stays valid while the
// object lives; the ZIP reader is opened directly on it.
class TAttachedArchive {
public:
  std::span<const uint8_t> Bytes() const { return FBytes; }

private:
  friend class TExeUtils;
  TFileMap FMap;
  std::span<const uint8_t> FBytes;
};

// The version texts UpdateExeInfo rewrites, in the order it takes them. The runtime's own block
// spells one of them "OriginalFilename"; keys match without regard to letter case.
inline constexpr std::array<std::string_view, 11> kExeVersionKeys = {
  "CompanyName",      "FileDescription", "FileVersion", "InternalName",   "LegalCopyright", "LegalTrademarks",
  "OriginalFileName", "ProgramID",       "ProductName", "ProductVersion", "Comments"};

// New version texts (UTF-8) by key, in the order of kExeVersionKeys. A key without a value keeps
// the text it has; an empty value empties it.
using TExeVersionTexts = std::array<std::optional<std::string>, kExeVersionKeys.size()>;

// The index of a key in kExeVersionKeys, letter case ignored, or nullopt for another key.
std::optional<size_t> FindExeVersionKey(std::string_view Key);

// What rewrites an executable's resources.
enum class TResourceEditor {
  // Windows: the system's resource update (BeginUpdateResource, UpdateResource,
  // EndUpdateResource). Other systems have none, and there it is the portable editor.
  System,
  // Our own editor of the PE file's resource section, on every platform.
  Portable,
};

class TExeUtils;
using TOnProgressMax = std::function<void(TExeUtils& Sender, int64_t AMax)>;
using TOnProgressPos = std::function<void(TExeUtils& Sender, int64_t APos)>;

class TExeUtils {
public:
  // Works on the running executable, or on ExePath when one is given (the packer and tests).
  explicit TExeUtils(std::string ExePath = {});

  // Fired once before a copy with the byte count, and after each chunk with the running total.
  TOnProgressMax OnProgressMax;
  TOnProgressPos OnProgressPos;

  // True when the executable's file is longer than E.
  bool ExeHasAttachedStub() const;

  // Maps the attached archive read-only into Archive (no copy through private memory). When
  // nothing is attached it shows "This is not a valid Windows application" and ends the
  // process with exit code 0. A file that cannot be read throws std::runtime_error.
  void GetZipFromExe(TAttachedArchive& Archive);

  // Writes the attached archive to a new (or truncated) file at ZipPath, in 10,240-byte chunks
  // with progress events. No archive: as GetZipFromExe. I/O failures throw std::runtime_error.
  void ExtractZipFromExe(const std::string& ZipPath);

  // Appends the ZIP file at ZipPath to the end of the executable at ExePath, unchanged, in
  // 10,240-byte chunks with progress events. The executable must be a fresh runtime copy
  // (nothing attached yet), since readers take the archive to start at E.
  void AppendZipToExe(const std::string& ZipPath, const std::string& ExePath);

  // Replaces the executable's main icon group "MAINICON" with the images of the .ico file at
  // IcoPath: the old group and the images it lists are deleted, each in its own language, and the
  // new images and group added in language 1033 (US English). The new images take the ids 1, 2,
  // ... except ids that other icon groups list (see pe::PlanIconReplacement). Errors throw
  // std::runtime_error with these messages, in the order checked:
  //   "Only supported on Windows NT and above" (System on Windows only),
  //   "Cannot open ..." (the .ico file), "Icon file is too large" (over 1,048,576 bytes),
  //   "Icon file is invalid" (see pe::IsValidIcon),
  //   System on Windows: "BeginUpdateResource failed (1)", "LoadLibraryEx failed (1)",
  //   "FindResource failed (1)" (no MAINICON), "LoadResource failed (1)", "LockResource failed (1)",
  //   "UpdateResource failed (1)" to "(4)" (deleting the group, deleting an image, adding an image,
  //   adding the group), "EndUpdateResource failed";
  //   Portable: the reason the file cannot be read, parsed or grown, and "FindResource failed (1)"
  //   when there is no MAINICON.
  // A failure leaves the executable as it was. Everything that rewrites a runtime copy must come
  // before AppendZipToExe, since the archive starts where the image ends.
  void ChangeExeIcon(const std::string& ExePath, const std::string& IcoPath,
                     TResourceEditor Editor = TResourceEditor::System);

  // Rewrites the texts of the executable's version block (version resource 1 as a neutral-language
  // lookup finds it): in every translation listed under "\VarFileInfo\Translation", each key of
  // Texts that has a value and that the translation's string table holds gets its slot zeroed and
  // the new text written at its start. The rewritten block is added as version resource 1 in the
  // neutral language, beside the block it was read from, which stays.
  // Texts are written in place, so none may be longer than the slot it replaces: the runtime keeps
  // 255 characters for every key but "FileVersion" and "ProductVersion", which hold "1.0.0.0" and
  // so take 7. A longer text is refused (std::runtime_error naming the key and the room there is)
  // before anything is written, rather than cut short or spilled over the next entry.
  // Does nothing when the executable does not exist or has no version block. Other failures throw
  // std::runtime_error: System on Windows "BeginUpdateResource failed (2)", "UpdateResource failed
  // (5)", "EndUpdateResource failed"; Portable the reason. A failure leaves the executable as it was.
  void UpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts,
                     TResourceEditor Editor = TResourceEditor::System);

  // The string tables of the executable's version block as UpdateExeInfo finds it, read by the
  // portable reader; empty when the file does not exist or has no version block.
  static TResult<std::vector<pe::TVersionTable>> GetExeVersionTexts(const std::string& ExePath);

  // The file's length in bytes, or -1 when no file of that name exists.
  static int64_t GetFileSize(const std::string& Path);

  // E of the executable, or nullopt when its headers are unusable.
  std::optional<uint64_t> GetAttachedStubOffset() const;

  const std::string& ExePath() const { return FExePath; }

  static constexpr size_t kChunkSize = 10240;

  // The attached range [E, file end) of a mapped executable, empty when there is none.
  static std::span<const uint8_t> AttachedRange(std::span<const uint8_t> file);

private:
  [[noreturn]] static void FailNoArchive();

  std::string FExePath;
};

} // namespace velmora
