// Byte ranges of HTTP requests.
#include "ByteRanges.h"

#include "TextHelpers.h"

#include <limits>
#include <optional>

namespace velmora {

namespace {

// A run of decimal digits; numbers past 2^64 - 1 saturate, since no body is that long.
std::optional<uint64_t> ParseDigits(std::string_view Text)
{
  if (Text.empty())
    return std::nullopt;
  uint64_t value = 0;
  for (const char c : Text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10)
      value = std::numeric_limits<uint64_t>::max();
    else
      value = value * 10 + digit;
  }
  return value;
}

} // namespace

TByteRange ParseByteRange(std::string_view Header, uint64_t Length)
{
  using TKind = TByteRange::TKind;
  Header = text::TrimBlanks(Header);
  constexpr std::string_view kUnit = "bytes=";
  if (!text::StartsWithIgnoringCase(Header, kUnit))
    return {};
  const std::string_view rangeSet = text::TrimBlanks(Header.substr(kUnit.size()));
  const size_t dash = rangeSet.find('-');
  if (dash == std::string_view::npos || rangeSet.find(',') != std::string_view::npos)
    return {};
  const std::string_view firstText = text::TrimBlanks(rangeSet.substr(0, dash));
  const std::string_view lastText = text::TrimBlanks(rangeSet.substr(dash + 1));

  if (firstText.empty()) {
    // The last N bytes.
    const auto suffix = ParseDigits(lastText);
    if (!suffix)
      return {};
    if (*suffix == 0 || Length == 0)
      return {TKind::Unsatisfiable};
    const uint64_t count = *suffix < Length ? *suffix : Length;
    return {TKind::Part, Length - count, count};
  }
  const auto first = ParseDigits(firstText);
  if (!first)
    return {};
  uint64_t last = Length == 0 ? 0 : Length - 1;
  if (!lastText.empty()) {
    const auto asked = ParseDigits(lastText);
    if (!asked || *asked < *first)
      return {};
    if (*asked < last)
      last = *asked;
  }
  if (*first >= Length)
    return {TKind::Unsatisfiable};
  return {TKind::Part, *first, last - *first + 1};
}

} // namespace velmora
