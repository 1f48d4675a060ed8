// The packer's own files.
#include "PackFiles.h"

#include "Packer.h"
#include "SysUtils.h"
#include "TextCodec.h"

#include <fstream>
#include <iterator>
#include <random>

namespace velmora::pack {
namespace fs = std::filesystem;

std::string ReadWholeFile(const std::string& Path, const char* What)
{
  std::error_code error;
  if (!fs::is_regular_file(PathFromUtf8(Path), error))
    throw TPackError(std::string(What) + " not found or not a file: " + Path);
  std::ifstream in(PathFromUtf8(Path), std::ios::binary);
  if (!in)
    throw TPackError(std::string("Cannot read ") + What + ": " + Path);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad())
    throw TPackError(std::string("Cannot read ") + What + ": " + Path);
  return bytes;
}

void WriteWholeFile(const fs::path& File, std::string_view Bytes)
{
  std::error_code error;
  fs::create_directories(File.parent_path(), error);
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  out.close();
  if (!out)
    throw TPackError("Cannot write " + Utf8FromPath(File));
}

TTemporaryPath::~TTemporaryPath()
{
  if (FPath.empty())
    return;
  std::error_code ignored;
  fs::remove_all(FPath, ignored);
}

TTemporaryPath MakeTemporaryFolder(const std::string& Prefix)
{
  std::random_device random;
  const fs::path base = PathFromUtf8(TSysUtils::GetTempDirPath());
  for (int attempt = 0; attempt < 16; ++attempt) {
    fs::path candidate = base / (Prefix + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error))
      return TTemporaryPath(std::move(candidate));
  }
  throw TPackError("Cannot make a folder under " + TSysUtils::GetTempDirPath());
}

} // namespace velmora::pack
