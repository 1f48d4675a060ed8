// Windows file mapping: CreateFileMappingW + MapViewOfFile of the whole file, read-only.
#include "FileMap.h"
#include "SysUtils.h"
#include "TextCodec.h"

#include <windows.h>

namespace velmora {

namespace {
std::string LastErrorText() { return TSysUtils::GetSystemErrorMessage(TSysUtils::GetLastErrorCode()); }
} // namespace

TFileMap::~TFileMap() { Release(); }

TFileMap::TFileMap(TFileMap&& other) noexcept : FData(other.FData), FSize(other.FSize), FMapping(other.FMapping)
{
  other.FData = nullptr;
  other.FSize = 0;
  other.FMapping = nullptr;
}

TFileMap& TFileMap::operator=(TFileMap&& other) noexcept
{
  if (this != &other) {
    Release();
    FData = other.FData;
    FSize = other.FSize;
    FMapping = other.FMapping;
    other.FData = nullptr;
    other.FSize = 0;
    other.FMapping = nullptr;
  }
  return *this;
}

void TFileMap::Release()
{
  if (FData != nullptr)
    UnmapViewOfFile(FData);
  if (FMapping != nullptr)
    CloseHandle(FMapping);
  FData = nullptr;
  FSize = 0;
  FMapping = nullptr;
}

TResult<TFileMap> TFileMap::Open(const std::string& path)
{
  const HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return TError{"Cannot open " + path + ": " + LastErrorText()};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    std::string error = "Cannot read " + path + ": " + LastErrorText();
    CloseHandle(file);
    return TError{std::move(error)};
  }
  TFileMap map;
  if (size.QuadPart > 0) {
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
      std::string error = "Cannot map " + path + ": " + LastErrorText();
      CloseHandle(file);
      return TError{std::move(error)};
    }
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
      std::string error = "Cannot map " + path + ": " + LastErrorText();
      CloseHandle(mapping);
      CloseHandle(file);
      return TError{std::move(error)};
    }
    map.FMapping = mapping;
    map.FData = static_cast<const uint8_t*>(view);
    map.FSize = static_cast<size_t>(size.QuadPart);
  }
  CloseHandle(file); // the mapping object keeps the file open
  return map;
}

} // namespace velmora
