// Linux implementation of TSysUtils: files and folders. Writes go through a temporary file beside
// the target (WriteFileSafely); what std::filesystem does the same on every platform is in
// SysUtils.cpp.
#include "SysUtils.h"
#include "SysUtils_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {

using namespace posix;

namespace fs = std::filesystem;

bool TSysUtils::FileExists(const std::string& Path)
{
  std::error_code ignored;
  const fs::file_status status = fs::status(Path, ignored);
  return fs::exists(status) && !fs::is_directory(status);
}

bool TSysUtils::DirectoryExists(const std::string& Path)
{
  std::error_code ignored;
  return fs::is_directory(Path, ignored);
}

std::string TSysUtils::PathDelimiter() { return "/"; }

std::string TSysUtils::FileUriPathToDiskPath(const std::string& Rest) { return "/" + Rest; }

namespace {

// The process's file creation mask, read without changing it (umask() both reads and sets, which
// would race with other threads creating files).
mode_t CurrentUmask()
{
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

std::string WriteError(const std::string& Path, const std::string& Reason)
{
  return "Cannot write file \"" + Path + "\": " + Reason;
}

} // namespace

TStatus TSysUtils::WriteFileSafely(const std::string& Path, const std::function<TStatus(const TFileSink&)>& Produce,
                                   bool* Opened)
{
  // Refusals below still count as reaching the target; only a temporary file that cannot be made
  // does not.
  if (Opened != nullptr)
    *Opened = true;
  if (Path.empty() || Path.find('\0') != std::string::npos)
    return TError{WriteError(Path, "the path is empty or holds a NUL character")};
  // Through a link to the file it names, so the link stays a link.
  std::string target = Path;
  std::error_code error;
  if (fs::is_symlink(fs::path(target), error)) {
    const fs::path resolved = fs::weakly_canonical(fs::path(target), error);
    if (error)
      return TError{WriteError(Path, error.message())};
    target = resolved.string();
  }
  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode))
    return TError{WriteError(Path, "it is not a regular file")};

  const fs::path file(target);
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    if (Opened != nullptr)
      *Opened = false;
    return TError{WriteError(Path, g_strerror(errno))};
  }
  TFd temp(fd);
  const std::string tempPath = pattern;
  const auto fail = [&tempPath](std::string message) {
    unlink(tempPath.c_str());
    return TError{std::move(message)};
  };
  // mkstemp makes the file private; it gets the permissions the file had, or a new file's usual ones.
  const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (fchmod(temp.Get(), mode) != 0)
    return fail(WriteError(Path, g_strerror(errno)));

  const TFileSink sink = [&temp, &Path](std::string_view Bytes) -> TStatus {
    while (!Bytes.empty()) {
      const ssize_t written = write(temp.Get(), Bytes.data(), Bytes.size());
      if (written < 0) {
        if (errno == EINTR)
          continue;
        return TError{WriteError(Path, g_strerror(errno))};
      }
      Bytes.remove_prefix(static_cast<size_t>(written));
    }
    return {};
  };
  if (const TStatus produced = Produce(sink); !produced)
    return fail(produced.Error());
  // On the disk before it takes the old file's place, so a crash never leaves a cut-off file.
  if (fsync(temp.Get()) != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  const int closeResult = close(temp.Get());
  temp.Release();
  if (closeResult != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  if (rename(tempPath.c_str(), target.c_str()) != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  return {};
}

bool TSysUtils::DeleteDirectory(const std::string& DirPath)
{
  // Without trailing separators: "link/" would resolve the link and empty the folder it points to,
  // where "link" removes only the link.
  std::string path = DirPath;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  if (path == "/") {
    // The separator alone is what the folder functions give for a folder they cannot name.
    RecordErrno(EBUSY);
    return false;
  }
  std::error_code error;
  const std::uintmax_t removed = fs::remove_all(path, error);
  if (error) {
    RecordError(error);
    return false;
  }
  if (removed == 0) {
    RecordErrno(ENOENT);
    return false;
  }
  return true;
}

bool TSysUtils::CopyFile(const std::string& From, const std::string& To)
{
  std::error_code error;
  fs::copy_file(From, To, fs::copy_options::overwrite_existing, error);
  if (error)
    RecordError(error);
  return !error;
}

bool TSysUtils::CopyDirectory(const std::string& From, const std::string& To)
{
  std::error_code error;
  if (!fs::is_directory(From, error)) {
    RecordErrno(error ? error.value() : ENOTDIR);
    return false;
  }
  fs::create_directories(To, error);
  const fs::copy_options options =
    fs::copy_options::recursive | fs::copy_options::overwrite_existing | fs::copy_options::copy_symlinks;
  if (!error)
    fs::copy(From, To, options, error);
  if (error)
    RecordError(error);
  return !error;
}

int64_t TSysUtils::GetSizeOfFile(const std::string& FilePath)
{
  // Any kind of entry counts, as a directory search finds it; a folder holds no bytes of its own
  // (its st_size is the file system's bookkeeping), so it counts 0, as Windows reports folders.
  struct stat info {};
  if (FilePath.find('\0') != std::string::npos || stat(FilePath.c_str(), &info) != 0)
    return -1;
  return S_ISDIR(info.st_mode) ? 0 : static_cast<int64_t>(info.st_size);
}

bool TSysUtils::IsValidFilePath(const std::string& Path)
{
  // Linux allows every byte but NUL; what it limits are the lengths.
  if (Path.empty() || Path.size() >= PATH_MAX || Path.find('\0') != std::string::npos)
    return false;
  size_t start = 0;
  while (start < Path.size()) {
    const size_t end = std::min(Path.find('/', start), Path.size());
    if (end - start > NAME_MAX)
      return false;
    start = end + 1;
  }
  return true;
}

bool TSysUtils::FilesHaveSameDateTime(const std::string& FilePath1, const std::string& FilePath2)
{
  std::error_code error1;
  std::error_code error2;
  if (!fs::is_regular_file(FilePath1, error1) || !fs::is_regular_file(FilePath2, error2))
    return false;
  const fs::file_time_type time1 = fs::last_write_time(FilePath1, error1);
  const fs::file_time_type time2 = fs::last_write_time(FilePath2, error2);
  return !error1 && !error2 && time1 == time2;
}

} // namespace velmora
