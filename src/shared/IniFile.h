// TMemIniFile: a read-only INI settings object held in memory, with the project file's parsing rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Decodes settings bytes: by their byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE) when they
// start with one, otherwise in the system's ANSI code page (see AnsiToUtf8).
std::string DecodeSettingsText(std::string_view Bytes);

// Parses a 32-bit signed integer as settings values are read: an optional sign and decimal
// digits, or hexadecimal digits after "$", "0x" or "0X" (eight hex digits wrap to negative,
// so $FF00001A is -16777190). Anything else, including the empty text, gives nullopt.
std::optional<int32_t> ParseSettingsInteger(std::string_view Text);

class TMemIniFile {
public:
  // Replaces the whole content with the lines of Text (split at CR, LF or CR LF).
  void SetText(std::string_view Text);

  // Section and key names are compared ignoring ASCII letter case. When a section holds the
  // same key twice, the first occurrence counts.
  std::string ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const;
  int32_t ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const;
  bool ReadBool(std::string_view Section, std::string_view Key, bool Default) const;

  // The raw value, nullopt when the key is absent (a line without "=" counts as absent).
  std::optional<std::string> Find(std::string_view Section, std::string_view Key) const;

private:
  struct TEntry {
    std::string Section; // folded to lower case
    std::string Key;     // folded to lower case
    std::string Value;
  };
  std::vector<TEntry> FEntries;
};

} // namespace velmora
