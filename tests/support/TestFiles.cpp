// Test support: temporary folders and small file helpers.
#include "support/TestFiles.h"

#include "TextCodec.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace velmora::test {

std::filesystem::path PathOf(const std::string& utf8) { return PathFromUtf8(utf8); }

std::string Utf8(const std::filesystem::path& path) { return Utf8FromPath(path); }

TTempDir::TTempDir()
{
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() / ("velmora-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      FPath = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir()
{
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string TTempDir::File(const std::string& name) const { return Utf8(FPath / PathOf(name)); }

void WriteFile(const std::string& path, const std::string& bytes)
{
  std::filesystem::create_directories(PathOf(path).parent_path());
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string FileUriOf(const std::string& path)
{
  std::string uri = PathOf(path).generic_string();
  if (!uri.empty() && uri.front() == '/')
    uri.erase(0, 1);
  return "file:///" + uri;
}

} // namespace velmora::test
