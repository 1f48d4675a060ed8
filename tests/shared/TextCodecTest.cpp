// Unit tests of the text encoding conversions in TextCodec.
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

std::vector<char32_t> DecodeAll(std::string_view text)
{
  std::vector<char32_t> codePoints;
  size_t pos = 0;
  while (pos < text.size())
    codePoints.push_back(DecodeUtf8(text, pos));
  return codePoints;
}

struct TDecodeCase {
  std::string Input;
  std::vector<char32_t> CodePoints;
  bool Valid;
};

TEST(TextCodecUtf8, MalformedBytesDecodeAsReplacementOneByteAtATime)
{
  const TDecodeCase cases[] = {
    {"A\u00e9\u20ac", {0x41, 0xE9, 0x20AC}, true},
    {"\U0001F600", {0x1F600}, true},
    {"\U0010FFFF", {0x10FFFF}, true},
    {"\xef\xbf\xbd", {0xFFFD}, true}, // a real U+FFFD is valid text
    {"\xff", {0xFFFD}, false},
    {"\x80", {0xFFFD}, false}, // a stray continuation byte
    {"\xc3", {0xFFFD}, false}, // truncated at the end
    {"\xe2\x82"
     "A",
     {0xFFFD, 0xFFFD, 0x41},
     false},                                                                   // truncated before ASCII
    {"\xc0\xaf", {0xFFFD, 0xFFFD}, false},                                     // overlong "/"
    {"\xe0\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD}, false},                         // overlong U+0000
    {"\xed\xa0\x80", {0xFFFD, 0xFFFD, 0xFFFD}, false},                         // an encoded surrogate
    {"\xf4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}, false},             // past U+10FFFF
    {"\xf8\x88\x80\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}, false}, // five-byte form
  };
  for (const TDecodeCase& c : cases) {
    const std::string shown = ::testing::PrintToString(c.Input);
    EXPECT_EQ(DecodeAll(c.Input), c.CodePoints) << shown;
    EXPECT_EQ(IsValidUtf8(c.Input), c.Valid) << shown;
    std::string expected;
    for (const char32_t cp : c.CodePoints)
      AppendUtf8(expected, cp);
    EXPECT_EQ(SanitizeUtf8(c.Input), expected) << shown;
    EXPECT_TRUE(IsValidUtf8(SanitizeUtf8(c.Input))) << shown;
  }
}

TEST(TextCodecUtf8, AppendUtf8WritesEachLengthAndReplacesWhatIsNoCharacter)
{
  // clang-format off
  const std::pair<char32_t, std::string> cases[] = {
    {0x7F, "\x7f"}, {0x80, "\xc2\x80"}, {0x7FF, "\xdf\xbf"}, {0x800, "\xe0\xa0\x80"}, {0xFFFF, "\xef\xbf\xbf"},
    {0x10000, "\xf0\x90\x80\x80"}, {0x10FFFF, "\xf4\x8f\xbf\xbf"},
    {0xD800, "\xef\xbf\xbd"}, {0xDFFF, "\xef\xbf\xbd"}, {0x110000, "\xef\xbf\xbd"},
  };
  // clang-format on
  for (const auto& [cp, bytes] : cases) {
    std::string out;
    AppendUtf8(out, cp);
    EXPECT_EQ(out, bytes) << std::hex << static_cast<unsigned long>(cp);
  }
}

TEST(TextCodecUtf16, SurrogatePairsConvertBothWays)
{
  const std::pair<std::string, std::u16string> pairs[] = {
    {"\U0001F600", u"\xD83D\xDE00"},
    {"a\U00010000z", u"a\xD800\xDC00z"},
    {"\U0010FFFF", u"\xDBFF\xDFFF"},
    {"\u00e9\u20ac", u"\x00E9\x20AC"},
    {"", u""},
  };
  for (const auto& [utf8, utf16] : pairs) {
    EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << utf8;
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8) << utf8;
  }
}

TEST(TextCodecUtf16, UnpairedSurrogatesBecomeReplacement)
{
  const std::pair<std::u16string, std::string> cases[] = {
    {u"\xD83D"
     u"a",
     "\ufffd"
     "a"},                             // high surrogate without its partner
    {u"a\xDE00", "a\ufffd"},           // low surrogate alone
    {u"\xDE00\xD83D", "\ufffd\ufffd"}, // the pair in the wrong order
    {u"\xD83D", "\ufffd"},             // high surrogate at the end
  };
  for (const auto& [utf16, utf8] : cases)
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  // Malformed UTF-8 reaches UTF-16 as U+FFFD as well.
  EXPECT_EQ(Utf8ToUtf16("a\xff"), u"a\xFFFD");
}

TEST(TextCodecUtf16, BytesInEitherOrderDropAnOddTrailingByte)
{
  using namespace std::string_literals;
  EXPECT_EQ(Utf16BytesToUtf8("A\0\x3D\xD8\x00\xDE"s, TByteOrder::LittleEndian), "A\U0001F600");
  EXPECT_EQ(Utf16BytesToUtf8("\0A\xD8\x3D\xDE\x00"s, TByteOrder::BigEndian), "A\U0001F600");
  EXPECT_EQ(Utf16BytesToUtf8("\xE9\0\x20"s, TByteOrder::LittleEndian), "\u00e9");
}

TEST(TextCodecWindows1252, HighBytesMapToTheirCharacters)
{
  const std::pair<std::string, std::string> cases[] = {
    {"\x80", "\u20ac"},
    {"\x82\x83\x84", "\u201a\u0192\u201e"},
    {"\x8a\x8c\x8e", "\u0160\u0152\u017d"},
    {"\x91\x92\x93\x94", "\u2018\u2019\u201c\u201d"},
    {"\x96\x97\x99", "\u2013\u2014\u2122"},
    {"\x9f", "\u0178"},
    {"\x81\x8d\x8f\x90\x9d", "\u0081\u008d\u008f\u0090\u009d"}, // unassigned: the C1 control
    {"\xa0\xe9\xff", "\u00a0\u00e9\u00ff"},                     // Latin-1 range as it is
    {"plain", "plain"},
  };
  for (const auto& [bytes, utf8] : cases)
    EXPECT_EQ(Windows1252ToUtf8(bytes), utf8) << ::testing::PrintToString(bytes);
}

#ifndef _WIN32
TEST(TextCodecAnsi, PosixKeepsValidUtf8AndReadsOtherBytesAsWindows1252)
{
  const std::pair<std::string, std::string> cases[] = {
    {"caf\u00e9 \u20ac", "caf\u00e9 \u20ac"}, // valid UTF-8 is kept
    {"\xe9t\xe9", "\u00e9t\u00e9"},           // Latin text in Windows-1252
    {"\x80 5", "\u20ac 5"},
    {"ok \xc3\xa9 \xe9", "ok \u00c3\u00a9 \u00e9"}, // one bad byte: the whole text is 1252
    {"", ""},
  };
  for (const auto& [bytes, utf8] : cases)
    EXPECT_EQ(AnsiToUtf8(bytes), utf8) << ::testing::PrintToString(bytes);
}
#endif

} // namespace
} // namespace velmora
