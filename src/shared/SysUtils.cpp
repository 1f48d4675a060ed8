// The operations of TSysUtils that are the same on every platform.
#include "SysUtils.h"
#include "TextCodec.h"

#include <charconv>
#include <filesystem>

namespace velmora {

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
  namespace fs = std::filesystem;
  int count = 0;
  std::error_code error;
  fs::directory_iterator entry(PathFromUtf8(DirPath),
                               fs::directory_options::skip_permission_denied, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;
    if (entry->is_directory(ignored))
      ++count;
  }
  return count;
}

} // namespace velmora
