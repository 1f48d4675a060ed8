// The operations of TSysUtils that are the same on every platform.
#include "SysUtils.h"
#include "SysUtilsInternal.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <cwctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The code points of a name, letter case folded where the platform's names ignore it.
std::u32string NameCharacters(std::string_view Name)
{
  std::u32string out;
  for (size_t pos = 0; pos < Name.size();) {
    char32_t c = DecodeUtf8(Name, pos);
#ifdef _WIN32
    if (c < 0x10000)
      c = static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
#endif
    out += c;
  }
  return out;
}

// Whether a name matches a file mask as a directory search matches it: "*" stands for any run of
// characters and "?" for one; "*" and "*.*" match every name. Letter case is ignored on Windows,
// whose file names ignore it.
bool MatchesFileMask(std::string_view Name, std::string_view Mask)
{
  if (Mask.empty() || Mask == "*" || Mask == "*.*")
    return true;
  return text::MatchesWildcardOf<char32_t>(NameCharacters(Mask), NameCharacters(Name));
}

std::string WithTrailingDelimiter(std::string Path)
{
  if (Path.empty() || (Path.back() != '/' && Path.back() != TSysUtils::PathDelimiter().back()))
    Path += TSysUtils::PathDelimiter();
  return Path;
}

} // namespace

std::string TSysUtils::FormatByteSize(int64_t Bytes)
{
  double divisor = 1;
  const char* unit = "bytes";
  if (Bytes > 1073741824) {
    divisor = 1073741824;
    unit = "GB";
  } else if (Bytes > 1048576) {
    divisor = 1048576;
    unit = "MB";
  } else if (Bytes > 1024) {
    divisor = 1024;
    unit = "KB";
  }
  // to_chars, unlike printf, ignores the locale: the separator is always ".".
  char buffer[64];
  const double value = static_cast<double>(Bytes) / divisor;
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  std::string number(buffer, result.ptr);
  while (number.back() == '0')
    number.pop_back();
  if (number.back() == '.')
    number.pop_back();
  return number + " " + unit;
}

int TSysUtils::GetSubdirectoriesCount(const std::string& DirPath)
{
  int count = 0;
  std::error_code error;
  fs::directory_iterator entry(PathFromUtf8(DirPath), fs::directory_options::skip_permission_denied, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;
    if (entry->is_directory(ignored))
      ++count;
  }
  return count;
}

void TSysUtils::GetDirectoryFiles(const std::string& RootDir, bool IncludeDirs, std::vector<std::string>& FileList,
                                  const std::string& FileMask)
{
  FileList.clear();
  std::error_code error;
  const fs::path root = fs::absolute(PathFromUtf8(RootDir), error);
  if (error)
    return;
  std::vector<std::string> folders;
  std::vector<std::string> files;
  fs::directory_iterator entry(root, fs::directory_options::skip_permission_denied, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    if (!MatchesFileMask(Utf8FromPath(entry->path().filename()), FileMask))
      continue;
    std::error_code ignored;
    if (entry->is_directory(ignored))
      folders.push_back(Utf8FromPath(entry->path()));
    else
      files.push_back(Utf8FromPath(entry->path()));
  }
  // Sorted by name within each group, so the list does not depend on the file system's order.
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  if (IncludeDirs)
    FileList = std::move(folders);
  FileList.insert(FileList.end(), files.begin(), files.end());
}

int64_t TSysUtils::GetSizeOfDir(const std::string& DirPath, bool IncludeSubdirs)
{
  std::vector<std::string> entries;
  GetDirectoryFiles(DirPath, IncludeSubdirs, entries, "*.*");
  int64_t total = 0;
  for (const std::string& entry : entries)
    total += std::max<int64_t>(GetSizeOfFile(entry), 0);
  return total;
}

std::string TSysUtils::GetParentDirPath(const std::string& Path)
{
  std::error_code error;
  const fs::path parent = fs::absolute(PathFromUtf8(Path + PathDelimiter() + ".."), error);
  if (error)
    return {};
  return WithTrailingDelimiter(Utf8FromPath(parent.lexically_normal()));
}

bool TSysUtils::ForceDirectories(const std::string& Path)
{
  if (Path.empty()) {
    RecordSystemError(std::make_error_code(std::errc::no_such_file_or_directory));
    return false;
  }
  std::error_code error;
  fs::create_directories(PathFromUtf8(Path), error);
  // Checked afterwards, since create_directories reports a trailing separator or an existing folder
  // unevenly.
  std::error_code ignored;
  if (fs::is_directory(PathFromUtf8(Path), ignored))
    return true;
  RecordSystemError(error ? error : std::make_error_code(std::errc::not_a_directory));
  return false;
}

std::string TSysUtils::ExpandFileNameRelBaseDir(const std::string& FileName, const std::string& BaseDir)
{
  fs::path path = PathFromUtf8(FileName);
  if (path.is_relative())
    path = PathFromUtf8(BaseDir) / path;
  if (path.is_relative()) {
    std::error_code ignored;
    const fs::path absolute = fs::absolute(path, ignored);
    if (!ignored)
      path = absolute;
  }
  return Utf8FromPath(path.lexically_normal());
}

bool TSysUtils::RemoveUTFBoomFromFile(const std::string& FilePath)
{
  // The streams report why they failed through errno only.
  const auto failure = [](int fallback) {
    RecordSystemError(std::error_code(errno != 0 ? errno : fallback, std::generic_category()));
    return false;
  };
  errno = 0;
  std::ifstream in(PathFromUtf8(FilePath), std::ios::binary);
  if (!in)
    return failure(ENOENT);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  if (!content.starts_with("\xEF\xBB\xBF"))
    return true;
  errno = 0;
  std::ofstream out(PathFromUtf8(FilePath), std::ios::binary | std::ios::trunc);
  out.write(content.data() + 3, static_cast<std::streamsize>(content.size() - 3));
  out.close();
  if (!out)
    return failure(EIO);
  return true;
}

} // namespace velmora
