// Portable encoding conversions; the ANSI code page lives in TextCodec_posix.cpp / _win.cpp.
#include "TextCodec.h"

#include <cstring>

#include <fstream>

namespace velmora {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0U) == 0x80U; }
} // namespace

char32_t DecodeUtf8(std::string_view text, size_t& pos)
{
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80U) {
    ++pos;
    return lead;
  }
  size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0U) == 0xC0U) {
    length = 2;
    cp = lead & 0x1FU;
    minimum = 0x80;
  } else if ((lead & 0xF0U) == 0xE0U) {
    length = 3;
    cp = lead & 0x0FU;
    minimum = 0x800;
  } else if ((lead & 0xF8U) == 0xF0U) {
    length = 4;
    cp = lead & 0x07U;
    minimum = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (text.size() - pos < length) {
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(b)) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3FU);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += length;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp)
{
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text)
{
  size_t pos = 0;
  while (pos < text.size()) {
    // Runs of ASCII, eight bytes at a time: most text is mostly ASCII.
    while (text.size() - pos >= 8) {
      uint64_t block = 0;
      std::memcpy(&block, text.data() + pos, 8);
      if ((block & 0x8080808080808080ULL) != 0)
        break;
      pos += 8;
    }
    if (pos >= text.size())
      break;
    const size_t start = pos;
    if (DecodeUtf8(text, pos) == kReplacement) {
      // A literal U+FFFD is valid; a replacement produced for bad input consumed one byte.
      if (pos - start != 3)
        return false;
    }
  }
  return true;
}

std::string SanitizeUtf8(std::string_view text)
{
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size())
    AppendUtf8(out, DecodeUtf8(text, pos));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp); // a lone surrogate becomes U+FFFD here
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
  std::u16string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = DecodeUtf8(text, pos);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16BytesToUtf8(std::string_view bytes, TByteOrder order)
{
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    units +=
      order == TByteOrder::LittleEndian ? static_cast<char16_t>(b0 | (b1 << 8)) : static_cast<char16_t>((b0 << 8) | b1);
  }
  return Utf16ToUtf8(units);
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
  // 0x80..0x9F differ from Latin-1; 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned.
  static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b <= 0x9F)
      AppendUtf8(out, kHigh[b - 0x80]);
    else
      AppendUtf8(out, b);
  }
  return out;
}

std::filesystem::path PathFromUtf8(std::string_view Path)
{
  return std::filesystem::path(std::u8string(Path.begin(), Path.end()));
}

std::string Utf8FromPath(const std::filesystem::path& Path)
{
  const std::u8string text = Path.u8string();
  return std::string(text.begin(), text.end());
}

std::optional<std::string> ReadWholeFile(const std::string& Path, uint64_t MaxBytes)
{
  if (Path.find('\0') != std::string::npos)
    return std::nullopt;
  const std::filesystem::path file = PathFromUtf8(Path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    return std::nullopt;
  const auto size = std::filesystem::file_size(file, error);
  if (error || size > MaxBytes)
    return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::nullopt;
  // Read in chunks up to the limit: the file may have grown since its size was taken.
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size));
  char buffer[64 * 1024];
  while (in) {
    in.read(buffer, sizeof buffer);
    const auto got = static_cast<uint64_t>(in.gcount());
    if (got > MaxBytes - bytes.size())
      return std::nullopt;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  if (in.bad())
    return std::nullopt;
  return bytes;
}

} // namespace velmora
