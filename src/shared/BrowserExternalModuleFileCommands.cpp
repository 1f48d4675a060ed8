// The dialog, file, folder and base64 commands of the bridge.
#include "AppPaths.h"
#include "BridgeArguments.h"
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "ProjectSettings.h"
#include "StrUtils.h"
#include "SysUtils.h"
#include "TextCodec.h"

#include "Limits.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace velmora {

namespace {

namespace fs = std::filesystem;

// The bytes of a regular file, refused past kMaxReadFileBytes (the reply carries them whole).
TResult<std::string> ReadFileForPage(const std::string& File)
{
  std::error_code error;
  const fs::path path = PathFromUtf8(File);
  const fs::file_status status = fs::status(path, error);
  if (error)
    return TError{"Cannot read " + File + ": " + error.message()};
  if (!fs::is_regular_file(status))
    return TError{"Cannot read " + File + ": not a file"};
  const uintmax_t size = fs::file_size(path, error);
  if (error)
    return TError{"Cannot read " + File + ": " + error.message()};
  const auto tooLarge = TError{"Cannot read " + File + ": larger than the " + std::to_string(kMaxReadFileBytes >> 20) +
                               " MiB a page may read"};
  if (size > kMaxReadFileBytes)
    return tooLarge;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return TError{"Cannot read " + File + ": " + TSysUtils::GetSystemErrorMessage(errno)};
  // What the file holds now: it may have changed since its size was taken.
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (in.peek() != std::char_traits<char>::eof())
    return TError{"Cannot read " + File + ": it grew while it was read"};
  return bytes;
}

// "2026-12-11T18:08:04Z": a file time in UTC, to the second.
std::string IsoUtcTime(fs::file_time_type Time)
{
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(file_clock::to_sys(Time));
  const auto day = floor<days>(seconds);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> clock{seconds - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

// What a folder directly holds, as folders.list answers: folders first, then files, each in the
// order of their names' bytes.
TResult<std::string> ListFolder(const std::string& Dir)
{
  struct TItem {
    std::string Name;
    bool IsDir = false;
    uintmax_t Size = 0;
    std::string Modified;
  };
  std::error_code error;
  const fs::path path = PathFromUtf8(Dir);
  if (!fs::is_directory(path, error))
    return TError{"Cannot list " + Dir + ": " + (error ? error.message() : std::string("not a folder"))};
  std::vector<TItem> items;
  fs::directory_iterator it(path, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    if (items.size() >= kMaxFolderListEntries)
      return TError{"Cannot list " + Dir + ": it holds more than " + std::to_string(kMaxFolderListEntries) +
                    " entries"};
    TItem item;
    item.Name = Utf8FromPath(it->path().filename());
    std::error_code entryError;
    item.IsDir = it->is_directory(entryError); // links count as what they point to
    if (!item.IsDir && it->is_regular_file(entryError))
      item.Size = it->file_size(entryError);
    const auto modified = it->last_write_time(entryError);
    item.Modified = entryError ? std::string() : IsoUtcTime(modified);
    items.push_back(std::move(item));
  }
  if (error)
    return TError{"Cannot list " + Dir + ": " + error.message()};
  std::sort(items.begin(), items.end(),
            [](const TItem& a, const TItem& b) { return a.IsDir != b.IsDir ? a.IsDir : a.Name < b.Name; });
  std::string json = "[";
  for (const TItem& item : items) {
    if (json.size() > 1)
      json += ", ";
    json += "{\"name\": " + TStrUtils::StringToJsonString(item.Name) +
            ", \"isDir\": " + (item.IsDir ? "true" : "false") + ", \"size\": " + std::to_string(item.Size) +
            ", \"modified\": " + (item.Modified.empty() ? std::string("null") : "\"" + item.Modified + "\"") + "}";
  }
  return json + "]";
}

// Creates the folders of a file path; whether that worked shows when the file is written.
void CreateParentFolders(const std::string& FilePath)
{
  std::error_code ignored;
  const fs::path parent = PathFromUtf8(FilePath).parent_path();
  if (!parent.empty())
    fs::create_directories(parent, ignored);
}

} // namespace

std::string TBrowserExternalModule::ProgramFolder() const
{
  if (FBrowserForm != nullptr)
    return FBrowserForm->AppDirPath();
  return Utf8FromPath(PathFromUtf8(TSysUtils::GetExeFilePath()).parent_path()) + TSysUtils::PathDelimiter();
}

std::string TBrowserExternalModule::ResolvePath(const std::string& Path) const
{
  return ResolveAppRelativePath(Path, ProgramFolder(), TSysUtils::PathDelimiter()[0]);
}

void TBrowserExternalModule::RunFileDialog(TNativeFileDialog& Dialog, const std::string& Uuid,
                                           const std::string& FileName, const std::string& Title,
                                           const std::string& FileTypes)
{
  Dialog.ClearFileTypes();
  Dialog.SetFileName(FileName);
  Dialog.SetTitle(Title);
  // "Name|mask;Name|mask": an entry that is not exactly one name and one mask is skipped.
  for (const std::string& entry : TStrUtils::ExplodeStrings(";", FileTypes)) {
    const TArrayStrings parts = TStrUtils::ExplodeStrings("|", entry);
    if (parts.size() == 2)
      Dialog.AddFileType({parts[0], parts[1]});
  }
  const bool chosen = Dialog.Execute();
  SendSuccess(Uuid, chosen ? TStrUtils::StringToJsonString(Dialog.FileName()) : "\"\"");
}

void TBrowserExternalModule::RunDialogCall(std::function<void()> Show)
{
  // A modal dialog runs a nested loop, so the page can send another dialog call meanwhile: it
  // waits until the open dialog has closed, then runs, and gets its own reply.
  if (FDialogOpen) {
    // It answers its own document when it runs, not the one whose dialog is open then.
    FWaitingDialogCalls.push_back([this, caller = FCaller, show = std::move(Show)] {
      TWebMessageReplyTargetPtr saved = std::exchange(FCaller, caller);
      try {
        show();
      } catch (...) {
        FCaller = std::move(saved);
        throw;
      }
      FCaller = std::move(saved);
    });
    return;
  }
  struct TDialogOpen {
    bool& Flag;
    explicit TDialogOpen(bool& flag) : Flag(flag) { Flag = true; }
    ~TDialogOpen() { Flag = false; }
  } open(FDialogOpen);
  Show();
  while (!FWaitingDialogCalls.empty()) {
    auto next = std::move(FWaitingDialogCalls.front());
    FWaitingDialogCalls.pop_front();
    next();
  }
}

void TBrowserExternalModule::DialogsOpenFile(const std::string& Uuid, const TCommandData& Data)
{
  const std::string fileName = Data.ReadText("fileName");
  const std::string title = Data.ReadText("title", "Open file");
  const std::string fileTypes = Data.ReadText("fileTypes");
  RunDialogCall(
    [this, Uuid, fileName, title, fileTypes] { RunFileDialog(*FFileOpenDialog, Uuid, fileName, title, fileTypes); });
}

void TBrowserExternalModule::DialogsSaveFile(const std::string& Uuid, const TCommandData& Data)
{
  const std::string fileName = Data.ReadText("fileName");
  const std::string title = Data.ReadText("title", "Save file");
  const std::string fileTypes = Data.ReadText("fileTypes");
  const bool overwritePrompt = Data.ReadFlag("overwritePrompt");
  RunDialogCall([this, Uuid, fileName, title, fileTypes, overwritePrompt] {
    FFileSaveDialog->SetOverwritePrompt(overwritePrompt);
    RunFileDialog(*FFileSaveDialog, Uuid, fileName, title, fileTypes);
  });
}

std::optional<std::string> TBrowserExternalModule::ReadPathArgument(const std::string& Uuid, const TCommandData& Data,
                                                                    const char* Key)
{
  std::string path = Data.ReadText(Key);
  if (path.empty()) {
    SendError(Uuid, std::string("\"Missing ") + Key + "\"");
    return std::nullopt;
  }
  // A NUL would end the path early at the system's call and name another file.
  if (path.find('\0') != std::string::npos) {
    SendError(Uuid, kNulInPathError);
    return std::nullopt;
  }
  return path;
}

void TBrowserExternalModule::ReplyForPath(const std::string& Uuid, const TCommandData& Data, const char* Key,
                                          std::function<bool(const std::string& Path)> Test)
{
  const auto path = ReadPathArgument(Uuid, Data, Key);
  if (!path)
    return;
  ReplyLater(Uuid, TWorkPlace::FileQueue,
             [file = ResolvePath(*path), test = std::move(Test)]() -> std::optional<TReply> {
               return TReply{test(file) ? "true" : "false"};
             });
}

void TBrowserExternalModule::FilesFileExists(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForPath(Uuid, Data, "filePath", [](const std::string& path) { return TSysUtils::FileExists(path); });
}

void TBrowserExternalModule::FilesDeleteFile(const std::string& Uuid, const TCommandData& Data)
{
  // Files only: a folder is not deleted, and a failure is a false result, not an error.
  ReplyForPath(Uuid, Data, "filePath", [](const std::string& path) {
    std::error_code error;
    const fs::path file = PathFromUtf8(path);
    return !fs::is_directory(fs::symlink_status(file, error)) && fs::remove(file, error) && !error;
  });
}

void TBrowserExternalModule::ReplyForWrittenFile(const std::string& Uuid, const TCommandData& Data,
                                                 TFileProducer Produce)
{
  const auto path = ReadPathArgument(Uuid, Data, "filePath");
  if (!path)
    return;
  // From here on every failure, a "contents" of the wrong type included, is an error reply.
  std::string contents;
  try {
    contents = Data.ReadText("contents");
  } catch (const std::exception& failure) {
    return SendError(Uuid, TStrUtils::StringToJsonString(failure.what()));
  }
  ReplyLater(Uuid, TWorkPlace::FileQueue,
             [file = ResolvePath(*path), contents = std::move(contents),
              produce = std::move(Produce)]() -> std::optional<TReply> {
               CreateParentFolders(file);
               try {
                 const TStatus written = TSysUtils::WriteFileSafely(
                   file, [&](const TSysUtils::TFileSink& Sink) { return produce(contents, Sink); });
                 if (!written)
                   return TReply{TStrUtils::StringToJsonString(written.Error()), false};
               } catch (const std::exception& failure) {
                 return TReply{TStrUtils::StringToJsonString(failure.what()), false};
               }
               return TReply{"true"};
             });
}

void TBrowserExternalModule::FilesWriteTextFile(const std::string& Uuid, const TCommandData& Data)
{
  // The text goes to the file line by line as it is converted, never copied whole.
  ReplyForWrittenFile(Uuid, Data, [](const std::string& contents, const TSysUtils::TFileSink& Sink) {
    return WriteTextFileBytes(contents, Sink);
  });
}

void TBrowserExternalModule::FilesExtractFile(const std::string& Uuid, const TCommandData& Data)
{
  const std::string source = Data.ReadText("sourceFile");
  if (source.empty())
    return SendError(Uuid, "\"Missing sourceFile\"");
  const std::string target = Data.ReadText("targetFile");
  if (target.empty())
    return SendError(Uuid, "\"Missing targetFile\"");
  if (target.find('\0') != std::string::npos)
    return SendError(Uuid, kNulInPathError);
  // The settings' folder name and the argument, joined as they are: "/img/a.png" names
  // "<DirName>/img/a.png". The target is used unchanged, relative to the current folder.
  const std::string dirName =
    FProjectINI != nullptr ? TProjectSettings::ReadString(*FProjectINI, AppKeys::DirName) : std::string();
  const std::string entry = dirName + source;
  std::shared_ptr<TZipEntryReader> reader = FExeZip->OpenEntry(entry);
  if (reader == nullptr)
    return SendError(Uuid, "\"File not found\"");
  ReplyLater(Uuid, TWorkPlace::FileQueue, [reader, target]() -> std::optional<TReply> {
    bool opened = false;
    const TStatus written = TSysUtils::WriteFileSafely(
      target,
      [&reader](const TSysUtils::TFileSink& Sink) {
        return CopyEntry(*reader, [&Sink](std::span<const uint8_t> Chunk) {
          return Sink(std::string_view(reinterpret_cast<const char*>(Chunk.data()), Chunk.size()));
        });
      },
      &opened);
    if (!opened)
      return std::nullopt; // a target that cannot be opened ends the command without a reply
    if (!written)
      return TReply{TStrUtils::StringToJsonString(written.Error()), false};
    return TReply{"true"};
  });
}

void TBrowserExternalModule::FoldersDirExists(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForPath(Uuid, Data, "dirPath", [](const std::string& path) { return TSysUtils::DirectoryExists(path); });
}

void TBrowserExternalModule::FoldersDeleteDir(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForPath(Uuid, Data, "dirPath", [](const std::string& path) { return TSysUtils::DeleteDirectory(path); });
}

void TBrowserExternalModule::FoldersGetTempDir(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetTempDirPath()));
}

void TBrowserExternalModule::FoldersGetUserDocumentsDir(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetUserDocumentsDirPath()));
}

void TBrowserExternalModule::FoldersGetUserDesktopDir(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetUserDesktopDirPath()));
}

void TBrowserExternalModule::FoldersGetAppExecutableDir(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(ProgramFolder()));
}

void TBrowserExternalModule::FoldersGetAppDataDir(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, TStrUtils::StringToJsonString(TSysUtils::GetUserAppDataDirPath()));
}

void TBrowserExternalModule::ReplyForReadFile(const std::string& Uuid, const TCommandData& Data,
                                              std::function<TResult<std::string>(std::string Bytes)> Encode)
{
  const auto path = ReadPathArgument(Uuid, Data, "filePath");
  if (!path)
    return;
  ReplyLater(Uuid, TWorkPlace::FileQueue,
             [file = ResolvePath(*path), encode = std::move(Encode)]() -> std::optional<TReply> {
               TResult<std::string> bytes = ReadFileForPage(file);
               if (bytes)
                 bytes = encode(std::move(bytes.Value()));
               if (!bytes)
                 return TReply{TStrUtils::StringToJsonString(bytes.Error()), false};
               return TReply{TStrUtils::StringToJsonString(bytes.Value())};
             });
}

void TBrowserExternalModule::FilesReadTextFile(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForReadFile(Uuid, Data, [](std::string Bytes) { return TextOfFileBytes(std::move(Bytes)); });
}

void TBrowserExternalModule::FilesReadBase64(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForReadFile(Uuid, Data, [](std::string Bytes) -> TResult<std::string> { return EncodeBase64(Bytes); });
}

void TBrowserExternalModule::FoldersList(const std::string& Uuid, const TCommandData& Data)
{
  const auto path = ReadPathArgument(Uuid, Data, "dirPath");
  if (!path)
    return;
  ReplyLater(Uuid, TWorkPlace::FileQueue, [dir = ResolvePath(*path)]() -> std::optional<TReply> {
    TResult<std::string> listing = ListFolder(dir);
    if (!listing)
      return TReply{TStrUtils::StringToJsonString(listing.Error()), false};
    return TReply{std::move(listing.Value())};
  });
}

void TBrowserExternalModule::Base64DecodeToFile(const std::string& Uuid, const TCommandData& Data)
{
  ReplyForWrittenFile(Uuid, Data, [](const std::string& contents, const TSysUtils::TFileSink& Sink) -> TStatus {
    std::string bytes;
    if (!DecodeBase64(contents, bytes))
      return TError{"The contents are not valid base64 data"};
    return Sink(bytes);
  });
}

} // namespace velmora
