// Command-line parsing for velmora-inspect: window selectors, numbers, key names and the
// NAME=VALUE options. No Win32 calls here, so the rules are unit-tested on their own.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::inspect {

// How a command names its window: a decimal HWND value, title=EXACT or title~=SUBSTRING.
struct WindowSelector {
  enum class Kind { Handle, TitleEquals, TitleContains };
  Kind By = Kind::Handle;
  std::uint64_t Handle = 0;
  std::wstring Title;
};

std::optional<WindowSelector> ParseWindowSelector(std::wstring_view Text);

// A decimal number of at most Max; no sign, no spaces, no leading "+", nothing after the digits.
std::optional<std::uint64_t> ParseUnsigned(std::wstring_view Text, std::uint64_t Max);

// A virtual-key code: decimal ("13"), hexadecimal ("0x0D"), a single letter ("A") or a name
// with or without the VK_ prefix ("RETURN", "vk_escape", "F5"). Codes run from 1 to 254.
std::optional<unsigned> ParseVirtualKey(std::wstring_view Text);

// A control text as the user reads it: "&" marks the mnemonic and is dropped, "&&" is a literal "&".
std::wstring StripMnemonic(std::wstring_view Text);

// The arguments after the command name: the window (for commands that take one), then bare
// words in order and NAME=VALUE options in any order (the name ends at the first "=").
struct CommandLine {
  std::wstring Command;
  std::optional<WindowSelector> Window;
  std::vector<std::wstring> Words;
  std::map<std::wstring, std::wstring> Options;
};

// What a command accepts; ParseCommandLine checks the arguments against it.
struct CommandShape {
  std::wstring_view Name;
  bool TakesWindow = false;
  std::size_t MinWords = 0;
  std::size_t MaxWords = 0;
  std::vector<std::wstring_view> OptionNames;
};

// Parses Args (the arguments after the program name). On a usage error returns nothing and
// sets Error to a one-line explanation.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::wstring>& Args,
                                            const std::vector<CommandShape>& Shapes, std::string& Error);

} // namespace velmora::inspect
