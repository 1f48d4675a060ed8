// The packer's side of the bundle: validates an app, writes its encrypted archive and appends it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora::pack {

struct TPackOptions {
  std::string SettingsPath;  // the app's ryx.ini
  std::string AppDir;        // the app folder, stored under the settings' DirName
  std::string ScriptPath;    // optional extra page script ("ryx-webviewjs"), stored empty when absent
  std::string RuntimePath;   // the runtime executable to copy
  std::string LoaderPath;    // optional engine loader library (Windows bundles)
  std::string InstallerPath; // optional engine installer (Windows bundles)
  std::string OutputPath;
  // Branding of a Windows runtime copy, before the archive is appended.
  std::string IconPath;                                          // optional .ico for the main icon
  std::vector<std::pair<std::string, std::string>> VersionTexts; // key and text; the last of a key counts
};

// Progress of the two long steps; Total is the byte count of the step.
enum class TPackPhase { WritingArchive, AppendingArchive };
using TPackProgress = std::function<void(TPackPhase Phase, int64_t Done, int64_t Total)>;

// Thrown for every refusal and failure, with a message for the user.
struct TPackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TPackReport {
  size_t EntryCount = 0;
  int64_t ArchiveSize = 0;
  int64_t OutputSize = 0;
  std::vector<std::string> Warnings;
};

// Makes a packaged executable at Options.OutputPath: a fresh copy of the runtime followed by
// the archive. The runtime file is never altered, and the output appears only when complete.
// With an icon or version texts the copy is branded first (TExeUtils::ChangeExeIcon and
// UpdateExeInfo), which only a Windows runtime can be. The version block is touched only when
// texts are given; then the keys not given keep their text, except that the runtime's blank
// placeholders are emptied rather than left as blanks.
TPackReport Pack(const TPackOptions& Options, const TPackProgress& Progress = {});

struct TPlannedEntry {
  std::string Name; // the archive name ("app/img/logo.png"; folders end with "/")
  uint64_t Size = 0;
  bool IsFolder = false;
};

struct TPackPlan {
  std::vector<TPlannedEntry> Entries; // in archive order
  uint64_t TotalBytes = 0;
  std::vector<std::string> Warnings;
};

// Checks everything Pack would refuse, reading the inputs and writing nothing, and says what the
// bundle would hold. The output is checked only when Options names one.
TPackPlan CheckPack(const TPackOptions& Options);

struct TListedEntry {
  std::string Name;
  uint64_t Size = 0;
  uint64_t CompressedSize = 0;
  uint16_t EncryptionMethod = 0;
  int32_t CompressionMethod = 0;
};

struct TPackagedInfo {
  uint64_t ImageEnd = 0;    // E: where the archive starts
  uint64_t ArchiveSize = 0; // file length - E
  std::vector<TListedEntry> Entries;
};

// Opens the archive attached to a packaged executable with the archive password.
TPackagedInfo ListPackaged(const std::string& PackagedPath);

// Writes the archive attached to a packaged executable to ZipPath as a plain ZIP file.
void ExtractArchive(const std::string& PackagedPath, const std::string& ZipPath);

} // namespace velmora::pack
