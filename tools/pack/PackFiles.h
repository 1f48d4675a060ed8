// The packer's own files: whole files read and written, and temporary places that go with their
// owner. Every failure is a TPackError.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace velmora::pack {

// The bytes of a regular file; What names it in the error ("Settings file").
std::string ReadWholeFile(const std::string& Path, const char* What);

// Writes Bytes to File, replacing it, after making its folders.
void WriteWholeFile(const std::filesystem::path& File, std::string_view Bytes);

// A file or folder removed, with all it holds, when the object goes (unless moved from).
class TTemporaryPath {
public:
  explicit TTemporaryPath(std::filesystem::path Path) : FPath(std::move(Path)) {}
  TTemporaryPath(TTemporaryPath&& Other) noexcept : FPath(std::exchange(Other.FPath, {})) {}
  TTemporaryPath& operator=(TTemporaryPath&&) = delete;
  TTemporaryPath(const TTemporaryPath&) = delete;
  TTemporaryPath& operator=(const TTemporaryPath&) = delete;
  ~TTemporaryPath();
  const std::filesystem::path& Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

// A new folder under the temporary folder, named Prefix and a random number.
TTemporaryPath MakeTemporaryFolder(const std::string& Prefix);

} // namespace velmora::pack
