// Path resolution, text file bytes and base64 decoding for the file commands.
#include "AppPaths.h"

#include <algorithm>
#include <array>

namespace velmora {

std::string ResolveAppRelativePath(const std::string& Path, const std::string& ProgramFolder, char Separator)
{
  if (Separator == '\\') {
    if (Path.size() >= 2 && (Path[1] == ':' || Path.starts_with("\\\\")))
      return Path;
    std::string relative = Path;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return ProgramFolder + relative;
  }
  if (Path.starts_with("/"))
    return Path;
  std::string relative = Path;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return ProgramFolder + relative;
}

std::string TextFileBytes(const std::string& Text)
{
  std::string bytes = "\xEF\xBB\xBF";
  const std::string text = Text.substr(0, Text.find('\0'));
  bytes.reserve(text.size() + text.size() / 16 + 8);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      bytes.append(text, start, std::string::npos);
      bytes += "\r\n";
      break;
    }
    bytes.append(text, start, end - start);
    bytes += "\r\n";
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return bytes;
}

bool DecodeBase64(const std::string& Text, std::string& Bytes)
{
  static const std::array<int, 256> kValues = [] {
    std::array<int, 256> values{};
    values.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
      values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
  }();
  std::string out;
  out.reserve(Text.size() / 4 * 3);
  uint32_t group = 0;
  int count = 0;
  int padding = 0;
  for (const char c : Text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
      continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = kValues[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) // no data may follow the padding
      return false;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out += static_cast<char>((group >> 16) & 0xFF);
      out += static_cast<char>((group >> 8) & 0xFF);
      out += static_cast<char>(group & 0xFF);
      group = 0;
      count = 0;
    }
  }
  // A final group of 2 or 3 characters carries 1 or 2 bytes; padding may be left out.
  if (count == 1 || padding > 2 || (padding > 0 && count + padding != 4))
    return false;
  if (count == 2) {
    out += static_cast<char>((group >> 4) & 0xFF);
  } else if (count == 3) {
    out += static_cast<char>((group >> 10) & 0xFF);
    out += static_cast<char>((group >> 2) & 0xFF);
  }
  Bytes = std::move(out);
  return true;
}

} // namespace velmora
