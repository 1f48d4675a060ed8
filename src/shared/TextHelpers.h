// Small byte-level text helpers the units share: ASCII letter case, prefixes, replacing, trimming
// and percent-decoding. Internal to the project; the public text operations are TStrUtils.
#pragma once

#include <string>
#include <string_view>

namespace velmora::text {

// ASCII letters lower-cased, every other byte kept: the letter-case rule of archive names,
// settings keys, extensions and address prefixes.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string AsciiLower(std::string_view text);

// Whether Text begins with Prefix, ASCII letter case ignored.
bool StartsWithIgnoringCase(std::string_view Text, std::string_view Prefix);

// Whether A and B are equal, ASCII letter case ignored.
bool EqualsIgnoringCase(std::string_view A, std::string_view B);

// Text with every occurrence of From replaced by To, left to right, replacements not rescanned.
std::string ReplaceAll(std::string_view Text, std::string_view From, std::string_view To);

// A blank is any byte up to U+0020: the space and the control characters.
constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20U; }
std::string_view TrimBlanksLeft(std::string_view Text);
std::string_view TrimBlanksRight(std::string_view Text);
std::string_view TrimBlanks(std::string_view Text);

// Every "%XY" with two hexadecimal digits turned into that byte; anything else, a "%" without
// two digits included, kept as it is. The result is bytes: it need not be valid UTF-8.
std::string PercentDecodeBytes(std::string_view Text);

// Whether Text matches Pattern, where '*' stands for any run of elements and '?' for one; every
// other element matches itself. The one wildcard matcher of the project: bytes for resource
// filters, code points for file masks. A greedy match that backs up to the last '*' on a mismatch,
// linear in practice.
template <class Char>
bool MatchesWildcardOf(std::basic_string_view<Char> Pattern, std::basic_string_view<Char> Text)
{
  size_t p = 0;
  size_t t = 0;
  size_t star = std::basic_string_view<Char>::npos;
  size_t resume = 0;
  while (t < Text.size()) {
    if (p < Pattern.size() && (Pattern[p] == Char('?') || Pattern[p] == Text[t])) {
      ++p;
      ++t;
    } else if (p < Pattern.size() && Pattern[p] == Char('*')) {
      star = p++;
      resume = t;
    } else if (star != std::basic_string_view<Char>::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == Char('*'))
    ++p;
  return p == Pattern.size();
}

} // namespace velmora::text
