// Writing the bundle: archive entries, encryption with the archive password, appending to the runtime.
#include "Packer.h"

#include "ArchivePassword.h"
#include "ExeUtils.h"
#include "ExeZip.h"
#include "FileMap.h"
#include "IniFile.h"
#include "PackFiles.h"
#include "ProjectSettings.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

namespace velmora::pack {

namespace fs = std::filesystem;

namespace {

void RequireReadableFile(const std::string& path, const char* what)
{
  std::error_code error;
  if (!fs::is_regular_file(PathFromUtf8(path), error))
    throw TPackError(std::string(what) + " not found or not a file: " + path);
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in)
    throw TPackError(std::string("Cannot read ") + what + ": " + path);
}

// Whether deflating the file's first 256 KiB saves less than a twentieth: then the file does not
// deflate (random data, formats of their own compression) and is stored, so reading it back,
// and answering byte ranges of it, needs no inflating.
bool DeflatesPoorly(const fs::path& file)
{
  constexpr size_t kSampleBytes = 256 * 1024;
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> sample(kSampleBytes);
  in.read(reinterpret_cast<char*>(sample.data()), static_cast<std::streamsize>(sample.size()));
  sample.resize(static_cast<size_t>(in.gcount()));
  if (sample.size() < 4096)
    return false; // too small to matter
  uLongf packedSize = compressBound(static_cast<uLong>(sample.size()));
  std::vector<unsigned char> packed(packedSize);
  if (compress2(packed.data(), &packedSize, sample.data(), static_cast<uLong>(sample.size()), Z_DEFAULT_COMPRESSION) !=
      Z_OK)
    return false;
  return packedSize * 20 >= sample.size() * 19;
}

// Media and archives are already compressed; deflating them again only costs start-up time.
bool IsAlreadyCompressed(const fs::path& file)
{
  static const std::set<std::string> kStored = {
    ".png", ".jpg",  ".jpeg", ".gif", ".webp", ".avif",  ".ico", ".mp3",  ".m4a",  ".aac",  ".ogg",
    ".oga", ".opus", ".flac", ".mp4", ".m4v",  ".webm",  ".ogv", ".mov",  ".avi",  ".zip",  ".gz",
    ".bz2", ".xz",   ".7z",   ".rar", ".woff", ".woff2", ".jar", ".docx", ".xlsx", ".pptx", ".pdf"};
  return kStored.count(text::AsciiLower(Utf8FromPath(file.extension()))) != 0;
}

// One archive entry to write: a file on disk, bytes in memory, or a folder.
struct TEntrySource {
  std::string Name;
  fs::path File;     // when not empty
  std::string Bytes; // otherwise, unless a folder
  bool IsFolder = false;
};

uint64_t EntrySize(const TEntrySource& Entry)
{
  if (Entry.File.empty())
    return Entry.Bytes.size();
  std::error_code error;
  const auto size = fs::file_size(Entry.File, error);
  return error ? 0 : size;
}

class TZipWriter {
public:
  explicit TZipWriter(const std::string& path)
  {
    int code = 0;
    FArchive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (FArchive == nullptr) {
      zip_error_t error;
      zip_error_init_with_code(&error, code);
      const std::string text = zip_error_strerror(&error);
      zip_error_fini(&error);
      throw TPackError("Cannot create the archive " + path + ": " + text);
    }
  }
  ~TZipWriter()
  {
    if (FArchive != nullptr)
      zip_discard(FArchive);
  }
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  void Add(const TEntrySource& entry)
  {
    zip_int64_t index = -1;
    if (entry.IsFolder) {
      index = zip_dir_add(FArchive, entry.Name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* source = entry.File.empty() ? zip_source_buffer(FArchive, entry.Bytes.data(), entry.Bytes.size(), 0)
                                                : zip_source_file(FArchive, Utf8FromPath(entry.File).c_str(), 0, -1);
      if (source == nullptr)
        Fail("Cannot read " + (entry.File.empty() ? entry.Name : Utf8FromPath(entry.File)));
      index = zip_file_add(FArchive, entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
      if (index < 0) {
        zip_source_free(source);
        Fail("Cannot add " + entry.Name);
      }
      if (!entry.File.empty() && (IsAlreadyCompressed(entry.File) || DeflatesPoorly(entry.File)))
        zip_set_file_compression(FArchive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (index < 0)
      Fail("Cannot add " + entry.Name);
    if (zip_file_set_encryption(FArchive, static_cast<zip_uint64_t>(index), ZIP_EM_TRAD_PKWARE,
                                std::string(kArchivePassword).c_str()) != 0)
      Fail("Cannot encrypt " + entry.Name);
  }

  void Close(const TPackProgress& progress, int64_t total)
  {
    struct TState {
      const TPackProgress* Progress;
      int64_t Total;
    } state{&progress, total};
    if (progress) {
      zip_register_progress_callback_with_state(
        FArchive, 0.01,
        [](zip_t*, double done, void* data) {
          const auto* s = static_cast<TState*>(data);
          (*s->Progress)(TPackPhase::WritingArchive, static_cast<int64_t>(done * static_cast<double>(s->Total)),
                         s->Total);
        },
        nullptr, &state);
    }
    if (zip_close(FArchive) != 0)
      Fail("Cannot write the archive");
    FArchive = nullptr;
  }

private:
  [[noreturn]] void Fail(const std::string& what) { throw TPackError(what + ": " + zip_strerror(FArchive)); }

  zip_t* FArchive = nullptr;
};

std::vector<TEntrySource> CollectAppFolder(const fs::path& appDir, const std::string& dirName,
                                           std::vector<std::string>& warnings)
{
  std::vector<TEntrySource> entries;
  std::error_code error;
  auto it = fs::recursive_directory_iterator(appDir, fs::directory_options::none, error);
  if (error)
    throw TPackError("Cannot read the app folder " + Utf8FromPath(appDir) + ": " + error.message());
  for (const fs::directory_entry& item : it) {
    const std::string relative = Utf8FromPath(item.path().lexically_relative(appDir).generic_u8string());
    if (item.is_directory(error)) {
      entries.push_back({dirName + "/" + relative + "/", {}, {}, true});
    } else if (item.is_regular_file(error)) {
      entries.push_back({dirName + "/" + relative, item.path(), {}, false});
    } else {
      warnings.push_back("Skipped " + Utf8FromPath(item.path()) + ": not a regular file or folder");
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const TEntrySource& a, const TEntrySource& b) { return a.Name < b.Name; });
  entries.insert(entries.begin(), TEntrySource{dirName + "/", {}, {}, true});
  return entries;
}

// The version texts to write: those given (the last of a key counts), and for the other keys an
// empty text where the runtime has only its blank placeholder in every translation.
TExeVersionTexts VersionTextsFor(const TPackOptions& options)
{
  TExeVersionTexts texts;
  for (const auto& [key, text] : options.VersionTexts)
    texts[*FindExeVersionKey(key)] = text;
  auto tables = TExeUtils::GetExeVersionTexts(options.RuntimePath);
  if (!tables)
    throw TPackError(tables.Error() + ": " + options.RuntimePath);
  std::array<int, kExeVersionKeys.size()> blanks{}; // 1: only blanks so far, -1: a real text somewhere
  for (const pe::TVersionTable& table : tables.Value()) {
    for (const pe::TVersionText& text : table.Texts) {
      const auto index = FindExeVersionKey(text.Key);
      if (!index)
        continue;
      const bool blank = !text.Value.empty() && text.Value.find_first_not_of(' ') == std::string::npos;
      blanks[*index] = blank && blanks[*index] >= 0 ? 1 : -1;
    }
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!texts[i] && blanks[i] == 1)
      texts[i] = "";
  }
  return texts;
}

bool SameFile(const fs::path& a, const fs::path& b)
{
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error))
    return fs::equivalent(a, b, error);
  return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

} // namespace

namespace {

// What a pack writes, every input checked: the entries in archive order and the report so far.
struct TPrepared {
  std::vector<TEntrySource> Entries;
  int64_t TotalInput = 0;
  bool Branding = false;
  TPackReport Report;
};

// Checks everything a pack refuses, reading the inputs but writing nothing. The output is
// checked only when given (a check of an app names none).
TPrepared Prepare(const TPackOptions& Options)
{
  TPrepared prepared;
  TPackReport& report = prepared.Report;
  if (Options.SettingsPath.empty())
    throw TPackError("No settings file given (--settings)");
  if (Options.AppDir.empty())
    throw TPackError("No app folder given (--app)");
  if (Options.RuntimePath.empty())
    throw TPackError("No runtime given (--runtime)");

  // Settings: the identity keys the runtime needs, read exactly as the runtime reads them.
  const std::string settingsBytes = ReadWholeFile(Options.SettingsPath, "Settings file");
  TMemIniFile ini;
  ini.SetText(DecodeSettingsText(settingsBytes));
  for (const TSettingKey* key : {&AppKeys::ID, &AppKeys::Name, &AppKeys::DirName}) {
    if (TProjectSettings::ReadString(ini, *key).empty())
      throw TPackError("The settings file has no " + std::string(key->Name) +
                       " in section [App]: " + Options.SettingsPath);
  }
  if (const std::string id = TProjectSettings::ReadString(ini, AppKeys::ID); !IsValidAppID(id))
    throw TPackError("The ID \"" + id +
                     "\" cannot name the app's data folder: it must be one folder name, without "
                     "/ \\ : * ? \" < > |, control characters or a trailing dot or blank, and not a device name: " +
                     Options.SettingsPath);
  const std::string dirName = TProjectSettings::ReadString(ini, AppKeys::DirName);
  const std::string indexHtml = TProjectSettings::ReadString(ini, AppKeys::IndexHtml);

  std::error_code error;
  const fs::path appDir = PathFromUtf8(Options.AppDir);
  if (!fs::is_directory(appDir, error))
    throw TPackError("App folder not found: " + Options.AppDir);
  std::vector<TEntrySource> appEntries = CollectAppFolder(appDir, dirName, report.Warnings);
  // The start page is looked up in the archive by its full name, ignoring ASCII letter case.
  const std::string startEntry = text::AsciiLower(dirName + "/" + indexHtml);
  const bool hasStartPage = std::any_of(appEntries.begin(), appEntries.end(), [&](const TEntrySource& e) {
    return !e.IsFolder && text::AsciiLower(e.Name) == startEntry;
  });
  if (!hasStartPage)
    throw TPackError("The start page \"" + indexHtml + "\" (IndexHtml) is not in the app folder " + Options.AppDir);

  std::string script;
  if (!Options.ScriptPath.empty())
    script = ReadWholeFile(Options.ScriptPath, "Page script");
  if (!Options.LoaderPath.empty())
    RequireReadableFile(Options.LoaderPath, "Loader library");
  if (!Options.InstallerPath.empty())
    RequireReadableFile(Options.InstallerPath, "Engine installer");

  const bool branding = !Options.IconPath.empty() || !Options.VersionTexts.empty();
  prepared.Branding = branding;
  for (const auto& [key, text] : Options.VersionTexts) {
    if (!FindExeVersionKey(key)) {
      std::string keys;
      for (const std::string_view known : kExeVersionKeys)
        keys += (keys.empty() ? "" : ", ") + std::string(known);
      throw TPackError("Unknown version key \"" + key + "\" (--version); the keys are " + keys);
    }
  }
  if (!Options.IconPath.empty())
    RequireReadableFile(Options.IconPath, "Icon file");

  // The runtime: a real executable image with nothing attached yet.
  const fs::path runtime = PathFromUtf8(Options.RuntimePath);
  const fs::path output = PathFromUtf8(Options.OutputPath);
  RequireReadableFile(Options.RuntimePath, "Runtime");
  if (!Options.OutputPath.empty() && SameFile(runtime, output))
    throw TPackError("The output must not be the runtime itself: " + Options.OutputPath);
  {
    auto map = TFileMap::Open(Options.RuntimePath);
    if (!map)
      throw TPackError(map.Error());
    const auto bytes = map.Value().Bytes();
    const auto end = ImageEndFromHeaders(bytes);
    if (!end || *end > bytes.size())
      throw TPackError("The runtime is not a valid executable image: " + Options.RuntimePath);
    if (*end < bytes.size())
      throw TPackError("The runtime already carries an archive (or is an unstripped Windows executable): " +
                       Options.RuntimePath);
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z' && Options.LoaderPath.empty())
      report.Warnings.push_back("A Windows runtime without --loader: the app will ask to install the engine and fail");
    if (branding && !pe::IsPeImage(bytes))
      throw TPackError("--icon and --version brand a Windows runtime; this runtime is not a Windows executable: " +
                       Options.RuntimePath);
  }
  const fs::path outputDir = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  if (!Options.OutputPath.empty() && !fs::is_directory(outputDir, error))
    throw TPackError("The output folder does not exist: " + Utf8FromPath(outputDir));

  // Entries in archive order: engine files, the app folder, settings, page script.
  std::vector<TEntrySource>& entries = prepared.Entries;
  if (!Options.LoaderPath.empty())
    entries.push_back({"WebView2LoaderWin64.dll", PathFromUtf8(Options.LoaderPath), {}, false});
  if (!Options.InstallerPath.empty())
    entries.push_back({"WebView2Installer.exe", PathFromUtf8(Options.InstallerPath), {}, false});
  for (TEntrySource& entry : appEntries)
    entries.push_back(std::move(entry));
  entries.push_back({"ryx.ini", {}, settingsBytes, false});
  entries.push_back({"ryx-webviewjs", {}, script, false});

  for (const TEntrySource& entry : entries)
    prepared.TotalInput += static_cast<int64_t>(EntrySize(entry));
  return prepared;
}

} // namespace

TPackPlan CheckPack(const TPackOptions& Options)
{
  const TPrepared prepared = Prepare(Options);
  TPackPlan plan;
  for (const TEntrySource& entry : prepared.Entries)
    plan.Entries.push_back({entry.Name, EntrySize(entry), entry.IsFolder});
  plan.TotalBytes = static_cast<uint64_t>(prepared.TotalInput);
  plan.Warnings = prepared.Report.Warnings;
  return plan;
}

TPackReport Pack(const TPackOptions& Options, const TPackProgress& Progress)
{
  if (Options.OutputPath.empty())
    throw TPackError("No output file given (-o)");
  TPrepared prepared = Prepare(Options);
  TPackReport& report = prepared.Report;
  const std::vector<TEntrySource>& entries = prepared.Entries;
  const int64_t totalInput = prepared.TotalInput;
  const bool branding = prepared.Branding;
  const fs::path runtime = PathFromUtf8(Options.RuntimePath);
  const fs::path output = PathFromUtf8(Options.OutputPath);
  std::error_code error;

  // Work in temporary files beside the output, so a failure leaves no half-made executable.
  const std::string suffix = ".velmora-tmp";
  // Removed when the packing does not complete.
  TTemporaryPath zipFile(fs::path(output).concat(".zip" + suffix));
  TTemporaryPath exeFile(fs::path(output).concat(suffix));
  if (!fs::copy_file(runtime, exeFile.Path(), fs::copy_options::overwrite_existing, error))
    throw TPackError("Cannot copy the runtime to " + Utf8FromPath(exeFile.Path()) + ": " + error.message());
  // Branding rewrites the copy's image, so it comes before the archive is appended, which starts
  // where the image ends; it also comes before the archive is written, so a refusal comes early.
  if (branding) {
    const std::string copy = Utf8FromPath(exeFile.Path());
    TExeUtils brander(copy);
    try {
      if (!Options.IconPath.empty())
        brander.ChangeExeIcon(copy, Options.IconPath);
    } catch (const std::runtime_error& failure) {
      throw TPackError("Cannot give the app the icon " + Options.IconPath + ": " + failure.what());
    }
    if (!Options.VersionTexts.empty()) {
      auto tables = TExeUtils::GetExeVersionTexts(Options.RuntimePath);
      if (tables && tables.Value().empty())
        report.Warnings.push_back("The runtime has no version texts to rewrite; --version changes nothing");
    }
    try {
      if (!Options.VersionTexts.empty())
        brander.UpdateExeInfo(copy, VersionTextsFor(Options));
    } catch (const std::runtime_error& failure) {
      throw TPackError(std::string("Cannot write the version texts: ") + failure.what());
    }
    if (brander.ExeHasAttachedStub())
      throw TPackError("Branding left data after the runtime's image: " + Options.RuntimePath);
  }
  {
    TZipWriter writer(Utf8FromPath(zipFile.Path()));
    for (const TEntrySource& entry : entries)
      writer.Add(entry);
    writer.Close(Progress, totalInput);
  }
  report.EntryCount = entries.size();
  report.ArchiveSize = TExeUtils::GetFileSize(Utf8FromPath(zipFile.Path()));

  TExeUtils appender;
  if (Progress) {
    appender.OnProgressMax = [&](TExeUtils&, int64_t max) { Progress(TPackPhase::AppendingArchive, 0, max); };
    appender.OnProgressPos = [&](TExeUtils&, int64_t pos) {
      Progress(TPackPhase::AppendingArchive, pos, report.ArchiveSize);
    };
  }
  try {
    appender.AppendZipToExe(Utf8FromPath(zipFile.Path()), Utf8FromPath(exeFile.Path()));
  } catch (const std::runtime_error& failure) {
    throw TPackError(failure.what());
  }
  fs::permissions(exeFile.Path(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_read |
                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::replace, error);
  fs::rename(exeFile.Path(), output, error);
  if (error)
    throw TPackError("Cannot write " + Options.OutputPath + ": " + error.message());
  report.OutputSize = TExeUtils::GetFileSize(Options.OutputPath);
  return std::move(report);
}

TPackagedInfo ListPackaged(const std::string& PackagedPath)
{
  auto map = TFileMap::Open(PackagedPath);
  if (!map)
    throw TPackError(map.Error());
  const auto bytes = map.Value().Bytes();
  const auto range = TExeUtils::AttachedRange(bytes);
  if (range.empty())
    throw TPackError("No archive is attached to " + PackagedPath);
  TExeZip zip;
  zip.SetPassword(std::string(kArchivePassword));
  if (const TStatus opened = zip.Open(range); !opened)
    throw TPackError(opened.Error());
  TPackagedInfo info;
  info.ImageEnd = bytes.size() - range.size();
  info.ArchiveSize = range.size();
  for (const TZipEntry& entry : zip.Entries())
    info.Entries.push_back(
      {entry.Name, entry.Size, entry.CompressedSize, entry.EncryptionMethod, entry.CompressionMethod});
  return info;
}

void ExtractArchive(const std::string& PackagedPath, const std::string& ZipPath)
{
  TExeUtils utils(PackagedPath);
  if (!utils.ExeHasAttachedStub())
    throw TPackError("No archive is attached to " + PackagedPath);
  try {
    utils.ExtractZipFromExe(ZipPath);
  } catch (const std::runtime_error& failure) {
    throw TPackError(failure.what());
  }
}

} // namespace velmora::pack
