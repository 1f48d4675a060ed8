// POSIX file mapping: mmap of the whole file, read-only and shared.
#include "FileMap.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

TFileMap::~TFileMap() { Release(); }

TFileMap::TFileMap(TFileMap&& other) noexcept : FData(other.FData), FSize(other.FSize)
{
  other.FData = nullptr;
  other.FSize = 0;
}

TFileMap& TFileMap::operator=(TFileMap&& other) noexcept
{
  if (this != &other) {
    Release();
    FData = other.FData;
    FSize = other.FSize;
    other.FData = nullptr;
    other.FSize = 0;
  }
  return *this;
}

void TFileMap::Release()
{
  if (FData != nullptr && FSize > 0)
    munmap(const_cast<uint8_t*>(FData), FSize);
  FData = nullptr;
  FSize = 0;
}

TResult<TFileMap> TFileMap::Open(const std::string& path)
{
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return TError{"Cannot open " + path + ": " + std::strerror(errno)};
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    ::close(fd);
    return TError{"Cannot read " + path + ": " + (error != 0 ? std::strerror(error) : "not a regular file")};
  }
  TFileMap map;
  if (st.st_size > 0) {
    const auto size = static_cast<size_t>(st.st_size);
    void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
      const int error = errno;
      ::close(fd);
      return TError{"Cannot map " + path + ": " + std::strerror(error)};
    }
    map.FData = static_cast<const uint8_t*>(data);
    map.FSize = size;
  }
  ::close(fd); // the mapping keeps its own reference to the file
  return map;
}

} // namespace velmora
