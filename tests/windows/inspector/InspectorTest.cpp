// Unit tests of the inspector's JSON writer and argument rules (no windows involved).
#include "InspectArgs.h"
#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::inspect {
namespace {

// ---------------------------------------------------------------- UTF-16 to UTF-8

TEST(InspectorUtf8, EncodesEachLengthOfSequence)
{
  EXPECT_EQ(Utf16ToUtf8(L""), "");
  EXPECT_EQ(Utf16ToUtf8(L"Abc"), "Abc");
  EXPECT_EQ(Utf16ToUtf8(L"\u00e9"), "\xc3\xa9");     // two bytes
  EXPECT_EQ(Utf16ToUtf8(L"\u20ac"), "\xe2\x82\xac"); // three bytes
  EXPECT_EQ(Utf16ToUtf8(L"\uffff"), "\xef\xbf\xbf"); // the last three-byte code point
  EXPECT_EQ(Utf16ToUtf8(L"\u07ff\u0800"), "\xdf\xbf\xe0\xa0\x80");
}

TEST(InspectorUtf8, JoinsSurrogatePairs)
{
  const wchar_t Smiley[] = {0xD83D, 0xDE00, 0}; // U+1F600
  EXPECT_EQ(Utf16ToUtf8(Smiley), "\xf0\x9f\x98\x80");
  const wchar_t Highest[] = {0xDBFF, 0xDFFF, 0}; // U+10FFFF
  EXPECT_EQ(Utf16ToUtf8(Highest), "\xf4\x8f\xbf\xbf");
  const wchar_t Lowest[] = {0xD800, 0xDC00, L'x', 0}; // U+10000
  EXPECT_EQ(Utf16ToUtf8(Lowest), "\xf0\x90\x80\x80x");
}

TEST(InspectorUtf8, ReplacesLoneSurrogates)
{
  const std::string Replacement = "\xef\xbf\xbd";
  const wchar_t HighAtEnd[] = {L'a', 0xD83D, 0};
  EXPECT_EQ(Utf16ToUtf8(HighAtEnd), "a" + Replacement);
  const wchar_t HighThenLetter[] = {0xD83D, L'b', 0};
  EXPECT_EQ(Utf16ToUtf8(HighThenLetter), Replacement + "b");
  const wchar_t LowAlone[] = {0xDE00, L'c', 0};
  EXPECT_EQ(Utf16ToUtf8(LowAlone), Replacement + "c");
  const wchar_t Reversed[] = {0xDE00, 0xD83D, 0};
  EXPECT_EQ(Utf16ToUtf8(Reversed), Replacement + Replacement);
}

// ---------------------------------------------------------------- JSON strings

std::string Quoted(std::string_view Text)
{
  std::string Out;
  AppendJsonString(Out, Text);
  return Out;
}

TEST(InspectorJsonString, EscapesQuotesBackslashesAndControlCharacters)
{
  EXPECT_EQ(Quoted(""), "\"\"");
  EXPECT_EQ(Quoted("plain"), "\"plain\"");
  EXPECT_EQ(Quoted("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(Quoted("C:\\dir"), "\"C:\\\\dir\"");
  EXPECT_EQ(Quoted("a\nb\rc\td\be\ff"), "\"a\\nb\\rc\\td\\be\\ff\"");
  EXPECT_EQ(Quoted(std::string_view("\x00\x01\x1f", 3)), "\"\\u0000\\u0001\\u001f\"");
  EXPECT_EQ(Quoted("\x7f/ok"), "\"\x7f/ok\"");
}

TEST(InspectorJsonString, EveryControlCharacterIsEscaped)
{
  for (int Code = 0; Code < 0x20; ++Code) {
    const std::string Text = Quoted(std::string(1, static_cast<char>(Code)));
    for (const char C : Text) {
      EXPECT_GE(static_cast<unsigned char>(C), 0x20) << "control character " << Code << " left raw";
    }
  }
}

TEST(InspectorJsonString, KeepsUtf8Bytes)
{
  EXPECT_EQ(Quoted("\xc3\xa9\xf0\x9f\x98\x80"), "\"\xc3\xa9\xf0\x9f\x98\x80\"");
}

// ---------------------------------------------------------------- JsonWriter

TEST(InspectorJsonWriter, PlacesCommasAndNestsValues)
{
  JsonWriter W;
  W.BeginObject();
  W.Key("a").Number(1);
  W.Key("b").String("x");
  W.Key("c").BeginArray();
  W.Number(-2).Bool(true).Null();
  W.BeginObject().EndObject();
  W.BeginArray().EndArray();
  W.EndArray();
  W.Key("d").String(L"\u00e9\"");
  W.Key("e").Number(std::uint64_t{18446744073709551615u});
  W.Key("f").Number(std::int64_t{-9223372036854775807 - 1});
  W.EndObject();
  EXPECT_TRUE(W.Complete());
  EXPECT_EQ(W.Text(), "{\"a\":1,\"b\":\"x\",\"c\":[-2,true,null,{},[]],\"d\":\"\xc3\xa9\\\"\","
                      "\"e\":18446744073709551615,\"f\":-9223372036854775808}");
}

TEST(InspectorJsonWriter, WritesUnsignedStylesAsPositiveNumbers)
{
  JsonWriter W;
  W.BeginArray();
  W.Number(static_cast<unsigned long>(0x94C80000u)); // WS_POPUP | WS_VISIBLE | ... as a DWORD
  W.Number(static_cast<long>(-1));
  W.EndArray();
  EXPECT_EQ(W.Text(), "[2496135168,-1]");
}

TEST(InspectorJsonWriter, RejectsMisuse)
{
  {
    JsonWriter W;
    W.BeginObject();
    EXPECT_THROW(W.Number(1), std::logic_error); // a member without a key
  }
  {
    JsonWriter W;
    W.BeginArray();
    EXPECT_THROW(W.Key("k"), std::logic_error); // a key inside an array
    EXPECT_THROW(W.EndObject(), std::logic_error);
  }
  {
    JsonWriter W;
    W.BeginObject();
    W.Key("k");
    EXPECT_THROW(W.EndObject(), std::logic_error); // a key without its value
    EXPECT_FALSE(W.Complete());
  }
  {
    JsonWriter W;
    W.Number(1);
    EXPECT_THROW(W.Number(2), std::logic_error); // two documents
  }
}

// ---------------------------------------------------------------- window selectors

TEST(InspectorArgs, ParsesWindowSelectors)
{
  auto Handle = ParseWindowSelector(L"65612");
  ASSERT_TRUE(Handle);
  EXPECT_EQ(Handle->By, WindowSelector::Kind::Handle);
  EXPECT_EQ(Handle->Handle, 65612u);

  auto Exact = ParseWindowSelector(L"title=Untitled - Editor");
  ASSERT_TRUE(Exact);
  EXPECT_EQ(Exact->By, WindowSelector::Kind::TitleEquals);
  EXPECT_EQ(Exact->Title, L"Untitled - Editor");

  auto Part = ParseWindowSelector(L"title~=a=b");
  ASSERT_TRUE(Part);
  EXPECT_EQ(Part->By, WindowSelector::Kind::TitleContains);
  EXPECT_EQ(Part->Title, L"a=b");

  auto Empty = ParseWindowSelector(L"title=");
  ASSERT_TRUE(Empty);
  EXPECT_EQ(Empty->By, WindowSelector::Kind::TitleEquals);
  EXPECT_EQ(Empty->Title, L"");

  auto MaxHandle = ParseWindowSelector(L"4294967295");
  ASSERT_TRUE(MaxHandle);
  EXPECT_EQ(MaxHandle->Handle, 4294967295u);
}

TEST(InspectorArgs, RejectsBadWindowSelectors)
{
  for (const wchar_t* Bad : {L"", L"12a", L"-5", L"+5", L" 5", L"0x1F", L"4294967296", L"99999999999999999999999",
                             L"Title=x", L"name=x", L"title"}) {
    EXPECT_FALSE(ParseWindowSelector(Bad)) << Utf16ToUtf8(Bad);
  }
}

TEST(InspectorArgs, ParsesUnsignedWithinLimit)
{
  EXPECT_EQ(ParseUnsigned(L"0", 10), 0u);
  EXPECT_EQ(ParseUnsigned(L"10", 10), 10u);
  EXPECT_FALSE(ParseUnsigned(L"11", 10));
  EXPECT_EQ(ParseUnsigned(L"18446744073709551615", UINT64_MAX), UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned(L"18446744073709551616", UINT64_MAX));
  EXPECT_FALSE(ParseUnsigned(L"", 10));
  EXPECT_FALSE(ParseUnsigned(L"1 ", 10));
  EXPECT_FALSE(ParseUnsigned(L"\u0661", 10)); // an Arabic-Indic digit is no ASCII digit
}

// ---------------------------------------------------------------- virtual keys

TEST(InspectorArgs, ParsesVirtualKeys)
{
  EXPECT_EQ(ParseVirtualKey(L"13"), 0x0Du);
  EXPECT_EQ(ParseVirtualKey(L"0x1b"), 0x1Bu);
  EXPECT_EQ(ParseVirtualKey(L"0X41"), 0x41u);
  EXPECT_EQ(ParseVirtualKey(L"a"), 0x41u);
  EXPECT_EQ(ParseVirtualKey(L"Z"), 0x5Au);
  EXPECT_EQ(ParseVirtualKey(L"RETURN"), 0x0Du);
  EXPECT_EQ(ParseVirtualKey(L"vk_escape"), 0x1Bu);
  EXPECT_EQ(ParseVirtualKey(L"Tab"), 0x09u);
  EXPECT_EQ(ParseVirtualKey(L"F1"), 0x70u);
  EXPECT_EQ(ParseVirtualKey(L"VK_F24"), 0x87u);
  EXPECT_EQ(ParseVirtualKey(L"254"), 254u);
}

TEST(InspectorArgs, RejectsBadVirtualKeys)
{
  for (const wchar_t* Bad : {L"", L"0", L"255", L"0x", L"0x100", L"0xZZ", L"F0", L"F25", L"VK_", L"AB", L"RETURNS",
                             L"-1", L"1.5", L"\u00e9"}) {
    EXPECT_FALSE(ParseVirtualKey(Bad)) << Utf16ToUtf8(Bad);
  }
}

TEST(InspectorArgs, StripsMnemonics)
{
  EXPECT_EQ(StripMnemonic(L"&Yes"), L"Yes");
  EXPECT_EQ(StripMnemonic(L"Save &As..."), L"Save As...");
  EXPECT_EQ(StripMnemonic(L"Fish && Chips"), L"Fish & Chips");
  EXPECT_EQ(StripMnemonic(L"End&"), L"End");
  EXPECT_EQ(StripMnemonic(L"Cancel"), L"Cancel");
}

// ---------------------------------------------------------------- command lines

const std::vector<CommandShape> Shapes{
  {L"list", false, 0, 1, {L"pid"}},
  {L"key", true, 1, 2, {}},
  {L"press", true, 0, 0, {L"button"}},
};

std::optional<CommandLine> Parse(const std::vector<std::wstring>& Args, std::string& Error)
{
  return ParseCommandLine(Args, Shapes, Error);
}

TEST(InspectorCommandLine, SplitsWindowWordsAndOptions)
{
  std::string Error;
  auto Line = Parse({L"key", L"title~=Notes", L"RETURN", L"down"}, Error);
  ASSERT_TRUE(Line) << Error;
  EXPECT_EQ(Line->Command, L"key");
  ASSERT_TRUE(Line->Window);
  EXPECT_EQ(Line->Window->By, WindowSelector::Kind::TitleContains);
  EXPECT_EQ(Line->Words, (std::vector<std::wstring>{L"RETURN", L"down"}));
  EXPECT_TRUE(Line->Options.empty());

  Line = Parse({L"press", L"123", L"button=&Yes=No"}, Error);
  ASSERT_TRUE(Line) << Error;
  EXPECT_EQ(Line->Window->Handle, 123u);
  EXPECT_EQ(Line->Options.at(L"button"), L"&Yes=No");

  Line = Parse({L"list", L"pid=42", L"visible"}, Error);
  ASSERT_TRUE(Line) << Error;
  EXPECT_FALSE(Line->Window);
  EXPECT_EQ(Line->Words, (std::vector<std::wstring>{L"visible"}));
  EXPECT_EQ(Line->Options.at(L"pid"), L"42");
}

TEST(InspectorCommandLine, ReportsUsageErrors)
{
  const std::vector<std::vector<std::wstring>> Bad{
    {},                                           // no command
    {L"frobnicate"},                              // unknown command
    {L"key"},                                     // no window
    {L"key", L"nonsense", L"13"},                 // not a window
    {L"key", L"123"},                             // too few words
    {L"key", L"123", L"13", L"down", L"up"},      // too many words
    {L"press", L"123", L"label=OK"},              // unknown option
    {L"press", L"123", L"button=A", L"button=B"}, // option twice
    {L"list", L"a", L"b"},                        // too many words
  };
  for (const auto& Args : Bad) {
    std::string Error;
    EXPECT_FALSE(Parse(Args, Error)) << (Args.empty() ? std::string("(none)") : Utf16ToUtf8(Args[0]));
    EXPECT_FALSE(Error.empty());
  }
}

} // namespace
} // namespace velmora::inspect
