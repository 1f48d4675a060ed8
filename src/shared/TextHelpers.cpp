// Byte-level text helpers shared by the units.
#include "TextHelpers.h"

#include <algorithm>

namespace velmora::text {

std::string AsciiLower(std::string_view text)
{
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

bool StartsWithIgnoringCase(std::string_view Text, std::string_view Prefix)
{
  return Text.size() >= Prefix.size() && EqualsIgnoringCase(Text.substr(0, Prefix.size()), Prefix);
}

bool EqualsIgnoringCase(std::string_view A, std::string_view B)
{
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

std::string ReplaceAll(std::string_view Text, std::string_view From, std::string_view To)
{
  if (From.empty())
    return std::string(Text);
  std::string out;
  out.reserve(Text.size());
  size_t start = 0;
  for (size_t found; (found = Text.find(From, start)) != std::string_view::npos; start = found + From.size()) {
    out.append(Text, start, found - start);
    out.append(To);
  }
  out.append(Text, start);
  return out;
}

std::string_view TrimBlanksLeft(std::string_view Text)
{
  while (!Text.empty() && IsBlank(Text.front()))
    Text.remove_prefix(1);
  return Text;
}

std::string_view TrimBlanksRight(std::string_view Text)
{
  while (!Text.empty() && IsBlank(Text.back()))
    Text.remove_suffix(1);
  return Text;
}

std::string_view TrimBlanks(std::string_view Text) { return TrimBlanksLeft(TrimBlanksRight(Text)); }

std::string PercentDecodeBytes(std::string_view Text)
{
  const auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    const char lower = AsciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
  };
  std::string bytes;
  bytes.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '%' && i + 2 < Text.size() && hexValue(Text[i + 1]) >= 0 && hexValue(Text[i + 2]) >= 0) {
      bytes += static_cast<char>(hexValue(Text[i + 1]) * 16 + hexValue(Text[i + 2]));
      i += 2;
    } else {
      bytes += Text[i];
    }
  }
  return bytes;
}

} // namespace velmora::text
