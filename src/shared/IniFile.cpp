// Parsing of the project settings text and its typed reads.
#include "IniFile.h"

#include "ExeZip.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <limits>

namespace velmora {

namespace {

using text::TrimBlanks;
using text::TrimBlanksLeft;
using text::TrimBlanksRight;

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

std::string DecodeSettingsText(std::string_view Bytes)
{
  if (Bytes.starts_with("\xEF\xBB\xBF"))
    return SanitizeUtf8(Bytes.substr(3));
  if (Bytes.starts_with("\xFF\xFE"))
    return Utf16BytesToUtf8(Bytes.substr(2), TByteOrder::LittleEndian);
  if (Bytes.starts_with("\xFE\xFF"))
    return Utf16BytesToUtf8(Bytes.substr(2), TByteOrder::BigEndian);
  return AnsiToUtf8(Bytes);
}

std::optional<int32_t> ParseSettingsInteger(std::string_view Text)
{
  bool negative = false;
  if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
    negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  bool hex = false;
  if (Text.starts_with("$")) {
    hex = true;
    Text.remove_prefix(1);
  } else if (Text.starts_with("0x") || Text.starts_with("0X")) {
    hex = true;
    Text.remove_prefix(2);
  }
  if (Text.empty())
    return std::nullopt;
  uint64_t value = 0;
  for (const char c : Text) {
    const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0)
      return std::nullopt;
    value = value * (hex ? 16U : 10U) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFULL)
      return std::nullopt;
  }
  if (hex) {
    // Hexadecimal is a bit pattern: eight digits fill all 32 bits, sign bit included.
    auto bits = static_cast<uint32_t>(value);
    if (negative)
      bits = 0U - bits;
    return static_cast<int32_t>(bits);
  }
  const uint64_t limit = negative ? 0x80000000ULL : 0x7FFFFFFFULL;
  if (value > limit)
    return std::nullopt;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) : static_cast<int32_t>(value);
}

void TMemIniFile::SetText(std::string_view Text)
{
  FEntries.clear();
  std::optional<std::string> section;
  size_t pos = 0;
  while (pos <= Text.size()) {
    size_t end = Text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos)
      end = Text.size();
    const std::string_view line = TrimBlanks(Text.substr(pos, end - pos));
    pos = end + ((end + 1 < Text.size() && Text[end] == '\r' && Text[end + 1] == '\n') ? 2 : 1);

    if (line.empty() || line.front() == ';')
      continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      section = text::AsciiLower(TrimBlanks(line.substr(1, line.size() - 2)));
      continue;
    }
    if (!section)
      continue; // lines before the first section header belong to no section
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      continue; // a key without a value reads as absent
    FEntries.push_back({*section, text::AsciiLower(TrimBlanksRight(line.substr(0, equals))),
                        std::string(TrimBlanksLeft(line.substr(equals + 1)))});
  }
}

std::optional<std::string> TMemIniFile::Find(std::string_view Section, std::string_view Key) const
{
  const std::string section = text::AsciiLower(Section);
  const std::string key = text::AsciiLower(Key);
  for (const TEntry& entry : FEntries) {
    if (entry.Section == section && entry.Key == key)
      return entry.Value;
  }
  return std::nullopt;
}

std::string TMemIniFile::ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const
{
  auto value = Find(Section, Key);
  return value ? std::move(*value) : std::string(Default);
}

int32_t TMemIniFile::ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const
{
  const auto value = Find(Section, Key);
  if (!value)
    return Default;
  return ParseSettingsInteger(*value).value_or(Default);
}

bool TMemIniFile::ReadBool(std::string_view Section, std::string_view Key, bool Default) const
{
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

} // namespace velmora
