// A read-only memory view of a whole file, shared with the page cache rather than copied.
#pragma once

#include "Result.h"

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// Maps a file read-only. The view costs no private memory: a 500 MB archive attached to an
// executable stays on disk until its pages are read. An empty file maps to an empty span.
class TFileMap {
public:
  TFileMap() = default;
  ~TFileMap();
  TFileMap(TFileMap&& other) noexcept;
  TFileMap& operator=(TFileMap&& other) noexcept;
  TFileMap(const TFileMap&) = delete;
  TFileMap& operator=(const TFileMap&) = delete;

  // Path is UTF-8. The error names the file and the system's reason.
  static TResult<TFileMap> Open(const std::string& path);

  std::span<const uint8_t> Bytes() const { return {FData, FSize}; }

private:
  void Release();

  const uint8_t* FData = nullptr;
  size_t FSize = 0;
#ifdef _WIN32
  void* FMapping = nullptr; // HANDLE of the file mapping object
#endif
};

} // namespace velmora
