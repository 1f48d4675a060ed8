#include "InspectArgs.h"

#include "JsonWriter.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace velmora::inspect {

namespace {

constexpr std::wstring_view TitleEqualsPrefix = L"title=";
constexpr std::wstring_view TitleContainsPrefix = L"title~=";

std::wstring Upper(std::wstring_view Text)
{
  std::wstring Out(Text);
  for (wchar_t& C : Out) {
    if (C >= L'a' && C <= L'z') {
      C = static_cast<wchar_t>(C - L'a' + L'A');
    }
  }
  return Out;
}

struct NamedKey {
  std::wstring_view Name;
  unsigned Code;
};

// Names of the keys end-to-end tests press; the values are the Win32 VK_ codes.
constexpr std::array<NamedKey, 34> KeyNames{{
  {L"BACK", 0x08},   {L"BACKSPACE", 0x08}, {L"TAB", 0x09},      {L"RETURN", 0x0D},   {L"ENTER", 0x0D},
  {L"SHIFT", 0x10},  {L"CONTROL", 0x11},   {L"CTRL", 0x11},     {L"MENU", 0x12},     {L"ALT", 0x12},
  {L"PAUSE", 0x13},  {L"ESCAPE", 0x1B},    {L"ESC", 0x1B},      {L"SPACE", 0x20},    {L"PRIOR", 0x21},
  {L"PAGEUP", 0x21}, {L"NEXT", 0x22},      {L"PAGEDOWN", 0x22}, {L"END", 0x23},      {L"HOME", 0x24},
  {L"LEFT", 0x25},   {L"UP", 0x26},        {L"RIGHT", 0x27},    {L"DOWN", 0x28},     {L"INSERT", 0x2D},
  {L"DELETE", 0x2E}, {L"DEL", 0x2E},       {L"LWIN", 0x5B},     {L"RWIN", 0x5C},     {L"APPS", 0x5D},
  {L"LSHIFT", 0xA0}, {L"RSHIFT", 0xA1},    {L"LCONTROL", 0xA2}, {L"RCONTROL", 0xA3},
}};

std::optional<unsigned> ParseHex(std::wstring_view Digits)
{
  if (Digits.empty() || Digits.size() > 4) {
    return std::nullopt;
  }
  unsigned Value = 0;
  for (const wchar_t C : Digits) {
    unsigned Digit = 0;
    if (C >= L'0' && C <= L'9') {
      Digit = static_cast<unsigned>(C - L'0');
    } else if (C >= L'a' && C <= L'f') {
      Digit = static_cast<unsigned>(C - L'a' + 10);
    } else if (C >= L'A' && C <= L'F') {
      Digit = static_cast<unsigned>(C - L'A' + 10);
    } else {
      return std::nullopt;
    }
    Value = Value * 16 + Digit;
  }
  return Value;
}

std::string Narrow(std::wstring_view Text) { return Utf16ToUtf8(Text); }

} // namespace

std::optional<WindowSelector> ParseWindowSelector(std::wstring_view Text)
{
  WindowSelector Out;
  if (Text.starts_with(TitleContainsPrefix)) {
    Out.By = WindowSelector::Kind::TitleContains;
    Out.Title = Text.substr(TitleContainsPrefix.size());
    return Out;
  }
  if (Text.starts_with(TitleEqualsPrefix)) {
    Out.By = WindowSelector::Kind::TitleEquals;
    Out.Title = Text.substr(TitleEqualsPrefix.size());
    return Out;
  }
  // Window handles are 32-bit values even in 64-bit processes.
  const auto Handle = ParseUnsigned(Text, 0xFFFFFFFFu);
  if (!Handle) {
    return std::nullopt;
  }
  Out.By = WindowSelector::Kind::Handle;
  Out.Handle = *Handle;
  return Out;
}

std::optional<std::uint64_t> ParseUnsigned(std::wstring_view Text, std::uint64_t Max)
{
  if (Text.empty() || Text.size() > 20) {
    return std::nullopt;
  }
  std::uint64_t Value = 0;
  for (const wchar_t C : Text) {
    if (C < L'0' || C > L'9') {
      return std::nullopt;
    }
    const auto Digit = static_cast<std::uint64_t>(C - L'0');
    if (Value > (Max - Digit) / 10) {
      return std::nullopt;
    }
    Value = Value * 10 + Digit;
  }
  return Value;
}

std::optional<unsigned> ParseVirtualKey(std::wstring_view Text)
{
  std::optional<unsigned> Code;
  if (Text.size() > 2 && Text[0] == L'0' && (Text[1] == L'x' || Text[1] == L'X')) {
    Code = ParseHex(Text.substr(2));
  } else if (!Text.empty() && Text[0] >= L'0' && Text[0] <= L'9') {
    if (const auto Value = ParseUnsigned(Text, 0xFFFF)) {
      Code = static_cast<unsigned>(*Value);
    }
  } else {
    std::wstring Name = Upper(Text);
    if (Name.starts_with(L"VK_")) {
      Name.erase(0, 3);
    }
    if (Name.size() == 1 && Name[0] >= L'A' && Name[0] <= L'Z') {
      // The letter keys' codes are the upper-case letters.
      Code = static_cast<unsigned>(Name[0]);
    } else if (Name.size() >= 2 && Name.size() <= 3 && Name[0] == L'F') {
      const auto Number = ParseUnsigned(std::wstring_view(Name).substr(1), 24);
      if (Number && *Number >= 1) {
        Code = 0x70 + static_cast<unsigned>(*Number) - 1; // VK_F1 is 0x70
      }
    } else {
      const auto Found =
        std::find_if(KeyNames.begin(), KeyNames.end(), [&](const NamedKey& Key) { return Key.Name == Name; });
      if (Found != KeyNames.end()) {
        Code = Found->Code;
      }
    }
  }
  if (!Code || *Code < 1 || *Code > 254) {
    return std::nullopt;
  }
  return Code;
}

std::wstring StripMnemonic(std::wstring_view Text)
{
  std::wstring Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == L'&') {
      if (I + 1 < Text.size() && Text[I + 1] == L'&') {
        Out.push_back(L'&');
        ++I;
      }
      continue;
    }
    Out.push_back(Text[I]);
  }
  return Out;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::wstring>& Args,
                                            const std::vector<CommandShape>& Shapes, std::string& Error)
{
  if (Args.empty()) {
    Error = "no command given";
    return std::nullopt;
  }
  const auto Shape = std::find_if(Shapes.begin(), Shapes.end(),
                                  [&](const CommandShape& Candidate) { return Candidate.Name == Args[0]; });
  if (Shape == Shapes.end()) {
    Error = "unknown command '" + Narrow(Args[0]) + "'";
    return std::nullopt;
  }
  CommandLine Out;
  Out.Command = Args[0];
  std::size_t Next = 1;
  if (Shape->TakesWindow) {
    if (Args.size() < 2) {
      Error = Narrow(Args[0]) + ": a window is required (a decimal HWND, title=TEXT or title~=TEXT)";
      return std::nullopt;
    }
    Out.Window = ParseWindowSelector(Args[1]);
    if (!Out.Window) {
      Error =
        Narrow(Args[0]) + ": '" + Narrow(Args[1]) + "' is not a window (a decimal HWND, title=TEXT or title~=TEXT)";
      return std::nullopt;
    }
    Next = 2;
  }
  for (; Next < Args.size(); ++Next) {
    const std::wstring& Arg = Args[Next];
    const auto Equals = Arg.find(L'=');
    if (Equals == std::wstring::npos) {
      Out.Words.push_back(Arg);
      continue;
    }
    std::wstring Name = Arg.substr(0, Equals);
    if (std::find(Shape->OptionNames.begin(), Shape->OptionNames.end(), Name) == Shape->OptionNames.end()) {
      Error = Narrow(Args[0]) + ": unknown option '" + Narrow(Name) + "'";
      return std::nullopt;
    }
    if (!Out.Options.emplace(std::move(Name), Arg.substr(Equals + 1)).second) {
      Error = Narrow(Args[0]) + ": option '" + Narrow(Arg.substr(0, Equals)) + "' given twice";
      return std::nullopt;
    }
  }
  if (Out.Words.size() < Shape->MinWords || Out.Words.size() > Shape->MaxWords) {
    Error = Narrow(Args[0]) + ": wrong number of arguments";
    return std::nullopt;
  }
  return Out;
}

} // namespace velmora::inspect
