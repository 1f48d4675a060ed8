// Test support: temporary folders and small file helpers.
#pragma once

#include <filesystem>
#include <string>

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // UTF-8 path of a name inside the folder.
  std::string File(const std::string& name) const;

private:
  std::filesystem::path FPath;
};

void WriteFile(const std::string& path, const std::string& bytes);
// The "file:///" address the content handler reads as this absolute disk path ("file:///tmp/x"
// on Linux, "file:///C:/x" on Windows).
std::string FileUriOf(const std::string& path);
std::string ReadFile(const std::string& path);
std::string Utf8(const std::filesystem::path& path);
std::filesystem::path PathOf(const std::string& utf8);

} // namespace velmora::test
