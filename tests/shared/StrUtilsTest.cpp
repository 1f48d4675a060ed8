// Unit tests of TStrUtils and of the content-type table behind GetFileMIMEType.
#include "MimeTypes.h"
#include "StrUtils.h"
#include "TextCodec.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

// ---------------------------------------------------------------- StringToJsonString

struct TJsonCase {
  std::string Input;
  std::string Expected;
};

TEST(StrUtilsJson, EscapesEachCharacterByTheTable)
{
  using namespace std::string_literals;
  const TJsonCase cases[] = {
    {"", R"("")"},
    {"a/b", R"("a\/b")"},
    {"say \"hi\" \\ there", R"("say \"hi\" \\ there")"},
    {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
    {"\x01", R"("\u0001")"},
    {"\x1f\x0b", R"("\u001F\u000B")"},
    {"a\0b"s, R"("a\u0000b")"},
    {" ~\x7f", "\" ~\x7f\""},               // U+007F is written as it is
    {"\u00e9t\u00e9", "\"\u00e9t\u00e9\""}, // é stays
    {"\u20ab", "\"\u20ab\""},               // the last character left unescaped
    {"\u20ac", R"("\u20AC")"},              // the first one escaped
    {"\ue000\uffff", R"("\uE000\uFFFF")"},
    {"\xef\xbf\xbd", R"("\uFFFD")"},             // a real U+FFFD
    {"\U0001F600", R"("\uD83D\uDE00")"},         // outside the BMP: both surrogates
    {"x\xffy", R"("x\uFFFDy")"},                 // a byte that never starts UTF-8
    {"a\xc3", R"("a\uFFFD")"},                   // truncated at the end
    {"\xe2\x82z", R"("\uFFFD\uFFFDz")"},         // truncated euro sign
    {"\xc0\xaf", R"("\uFFFD\uFFFD")"},           // overlong solidus
    {"\xed\xa0\x80", R"("\uFFFD\uFFFD\uFFFD")"}, // encoded surrogate
  };
  for (const TJsonCase& c : cases)
    EXPECT_EQ(TStrUtils::StringToJsonString(c.Input), c.Expected) << ::testing::PrintToString(c.Input);
}

// Any bytes at all must give JSON that a parser reads back as the input, malformed bytes as U+FFFD.
TEST(StrUtilsJson, RandomBytesRoundTripThroughAJsonParser)
{
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> length(0, 40);
  // Weight the draw towards the bytes that matter: controls, escapes, UTF-8 leads and continuations.
  const char interesting[] = {'"',    '\\',   '/',    '\n',   '\x01', '\x7f', '\xc3', '\xa9', '\xe2',
                              '\x82', '\xac', '\xf0', '\x9f', '\x98', '\x80', '\xed', '\xff'};
  std::uniform_int_distribution<size_t> pickInteresting(0, sizeof interesting - 1);
  for (int round = 0; round < 2000; ++round) {
    std::string input(length(generator), '\0');
    for (char& c : input)
      c = byte(generator) < 128 ? static_cast<char>(byte(generator)) : interesting[pickInteresting(generator)];

    const std::string json = TStrUtils::StringToJsonString(input);
    rapidjson::Document document;
    document.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
    ASSERT_FALSE(document.HasParseError()) << ::testing::PrintToString(input) << " gave " << json;
    ASSERT_TRUE(document.IsString());
    EXPECT_EQ(std::string(document.GetString(), document.GetStringLength()), SanitizeUtf8(input))
      << ::testing::PrintToString(input);
  }
}

// ---------------------------------------------------------------- ExplodeStrings / ImplodeStrings

struct TExplodeCase {
  std::string Separator;
  std::string Value;
  TArrayStrings Expected;
};

TEST(StrUtilsExplode, SplitsAtEveryOccurrenceAndKeepsEmptyItems)
{
  const TExplodeCase cases[] = {
    {"|", "", {""}},
    {"|", "a||b|", {"a", "", "b", ""}},
    {"|", "abc", {"abc"}},
    {";", "Text|*.txt;All|*.*", {"Text|*.txt", "All|*.*"}},
    {"", "a|b", {"a|b"}},             // the empty separator never occurs
    {"ab", "xabyab", {"x", "y", ""}}, // several characters, found left to right
    {"aa", "aaa", {"", "a"}},         // the search resumes after the whole separator
  };
  for (const TExplodeCase& c : cases) {
    EXPECT_EQ(TStrUtils::ExplodeStrings(c.Separator, c.Value), c.Expected)
      << '"' << c.Value << "\" at \"" << c.Separator << '"';
    if (!c.Separator.empty()) {
      EXPECT_EQ(TStrUtils::ImplodeStrings(c.Separator, c.Expected), c.Value);
    }
  }
}

TEST(StrUtilsExplode, ImplodeOfNoItemsIsEmpty)
{
  EXPECT_EQ(TStrUtils::ImplodeStrings(", ", {}), "");
  EXPECT_EQ(TStrUtils::ImplodeStrings(", ", {"one"}), "one");
}

// ---------------------------------------------------------------- the built-in content types

std::map<std::string, int> CountExtensions()
{
  std::map<std::string, int> counts;
  for (const mime::TMimeRow& row : mime::BuiltInRows())
    ++counts[std::string(row.Extension)];
  return counts;
}

TEST(StrUtilsMime, BuiltInListHas380LowerCaseRowsFor372Extensions)
{
  EXPECT_EQ(mime::BuiltInRows().size(), 380U);
  EXPECT_EQ(CountExtensions().size(), 372U);
  EXPECT_EQ(mime::BuiltInTable().size(), 372U);
  const auto isLower = [](std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  };
  for (const mime::TMimeRow& row : mime::BuiltInRows()) {
    EXPECT_TRUE(row.Extension.size() > 1 && row.Extension.front() == '.') << row.Extension;
    EXPECT_FALSE(row.ContentType.empty()) << row.Extension;
    EXPECT_TRUE(isLower(row.Extension) && isLower(row.ContentType)) << row.Extension << ' ' << row.ContentType;
  }
}

TEST(StrUtilsMime, ExactlyEightExtensionsStandTwiceAndKeepTheirFirstType)
{
  struct TDuplicate {
    std::string_view Extension;
    std::string_view First;
    std::string_view Second;
  };
  const TDuplicate duplicates[] = {
    {".mp3", "audio/x-mpg", "video/mpeg"},
    {".mp2", "audio/x-mpg", "video/mpeg"},
    {".m3u", "audio/mpegurl", "audio/x-mpegurl"},
    {".asf", "video/x-ms-asf", "video/x-ms-asf-plugin"},
    {".asx", "video/x-ms-asf", "video/x-ms-asx"},
    {".rm", "audio/x-pn-realaudio", "application/vnd.rn-realmedia"},
    {".cpt", "image/x-corelphotopaint", "application/mac-compactpro"},
    {".xbm", "image/xbm", "image/x-xbitmap"},
  };
  std::set<std::string> duplicated;
  for (const auto& [extension, count] : CountExtensions()) {
    EXPECT_LE(count, 2) << extension;
    if (count == 2)
      duplicated.insert(extension);
  }
  std::set<std::string> expected;
  for (const TDuplicate& d : duplicates)
    expected.emplace(d.Extension);
  EXPECT_EQ(duplicated, expected);

  const mime::TMimeTable table = mime::BuiltInTable();
  for (const TDuplicate& d : duplicates) {
    std::vector<std::string_view> rows;
    for (const mime::TMimeRow& row : mime::BuiltInRows())
      if (row.Extension == d.Extension)
        rows.push_back(row.ContentType);
    EXPECT_EQ(rows, (std::vector<std::string_view>{d.First, d.Second})) << d.Extension;
    EXPECT_EQ(mime::LookUp(table, "file" + std::string(d.Extension)), d.First) << d.Extension;
  }
}

TEST(StrUtilsMime, BuiltInListHoldsTheAgreedRows)
{
  // clang-format off
  const std::pair<const char*, const char*> rows[] = {
    {".html", "text/html"}, {".htm", "text/html"}, {".css", "text/css"}, {".js", "text/javascript"},
    {".ls", "text/javascript"}, {".mocha", "text/javascript"}, {".xhtml", "application/xhtml+xml"},
    {".xht", "application/xhtml+xml"}, {".shtml", "server-parsed-html"}, {".xml", "text/xml"}, {".txt", "text/plain"},
    {".mht", "message/rfc822"}, {".png", "image/x-png"}, {".gif", "image/gif"}, {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"}, {".jpe", "image/jpeg"}, {".bmp", "image/bmp"}, {".ico", "image/x-icon"},
    {".svg", "image/svg+xml"}, {".svgz", "image/svg+xml"}, {".webp", "image/webp"}, {".tif", "image/x-tiff"},
    {".mp3", "audio/x-mpg"}, {".mp2", "audio/x-mpg"}, {".m4a", "audio/x-mpg"}, {".wav", "audio/x-wav"},
    {".aac", "audio/mp4"}, {".mid", "audio/midi"}, {".midi", "audio/midi"}, {".ogg", "application/ogg"},
    {".mp4", "video/mpeg"}, {".mpg", "video/mpeg"}, {".mpeg", "video/x-mpeg2a"}, {".webm", "video/webm"},
    {".ogv", "video/ogg"}, {".avi", "video/x-msvideo"}, {".mov", "video/quicktime"}, {".pdf", "application/pdf"},
    {".zip", "application/x-zip-compressed"}, {".swf", "application/x-shockwave-flash"},
    {".rss", "application/rss+xml"}, {".exe", "application/x-msdos-program"},
    {".doc", "application/msword"},
    {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {".7z", "application/x-7z-compressed"}, {".msi", "application/x-msi"}, {".flv", "video/x-flv"},
    {".psd", "image/x-photoshop"}, {".c", "text/x-csrc"}, {".py", "text/x-python"},
  };
  // clang-format on
  const mime::TMimeTable table = mime::BuiltInTable();
  for (const auto& [extension, type] : rows) {
    const auto found = table.find(extension);
    ASSERT_NE(found, table.end()) << extension;
    EXPECT_EQ(found->second, type) << extension;
  }
}

TEST(StrUtilsMime, BuiltInListLeavesModernWebFormatsToTheSystem)
{
  const mime::TMimeTable table = mime::BuiltInTable();
  for (const char* extension :
       {".json", ".woff", ".woff2", ".ttf", ".otf", ".eot", ".wasm", ".mjs", ".map", ".csv", ".tiff", ".flac"})
    EXPECT_FALSE(table.contains(extension)) << extension;
}

TEST(StrUtilsMime, ExtensionIsTakenFromTheLastDot)
{
  const std::pair<const char*, const char*> cases[] = {
    {"Index.HTML", ".html"},
    {"archive.tar.GZ", ".gz"},
    {"lib.old/readme", ".old/readme"}, // "/" does not end the search
    {"C:\\dir.d\\file", ""},           // a "\" after the dot does
    {"a.b:stream", ""},                // and so does ":"
    {"README", ""},
    {"name.", "."},
  };
  for (const auto& [fileName, extension] : cases)
    EXPECT_EQ(mime::FileExtension(fileName), extension) << fileName;
}

TEST(StrUtilsMime, BuiltInLookUpIgnoresCaseAndFallsBackToOctetStream)
{
  const std::pair<const char*, const char*> cases[] = {
    {"Index.HTML", "text/html"},
    {"logo.PNG", "image/x-png"},
    {"data.csv", "application/octet-stream"},
    {"README", "application/octet-stream"},
    {"pack.old/x", "application/octet-stream"},
    {"song.mp3", "audio/x-mpg"},
    {"app/files/My Page.Htm", "text/html"},
    {"C:\\site.d\\index", "application/octet-stream"},
  };
  const mime::TMimeTable table = mime::BuiltInTable();
  for (const auto& [fileName, type] : cases)
    EXPECT_EQ(mime::LookUp(table, fileName), type) << fileName;
}

TEST(StrUtilsMime, ModernWebFormatsGetTheirStandardTypesWhereNothingElseHasOne)
{
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
    {"app.mjs", "text/javascript"},   {"sql.WASM", "application/wasm"}, {"data.json", "application/json"},
    {"app.js.map", "application/json"}, {"site.webmanifest", "application/manifest+json"},
    {"a.woff", "font/woff"},          {"a.woff2", "font/woff2"},        {"a.ttf", "font/ttf"},
    {"a.otf", "font/otf"},            {"a.avif", "image/avif"},         {"a.opus", "audio/ogg"},
    {"a.flac", "audio/flac"},         {"a.eot", "application/octet-stream"},
  };
  // clang-format on
  const mime::TMimeTable builtIn = mime::BuiltInTable();
  for (const auto& [fileName, type] : cases)
    EXPECT_EQ(mime::LookUp(builtIn, fileName), type) << fileName;
  // What the system registers still comes first.
  mime::TMimeTable withSystem = builtIn;
  mime::Overlay(withSystem, {{".wasm", "application/x-wasm"}});
  EXPECT_EQ(mime::LookUp(withSystem, "sql.wasm"), "application/x-wasm");
}

TEST(StrUtilsMime, OnlyTextTypesTakeACharacterSet)
{
  // clang-format off
  const std::pair<const char*, bool> cases[] = {
    {"text/html", true},          {"text/javascript", true},        {"application/javascript", true},
    {"application/json", true},   {"application/manifest+json", true}, {"application/xml", true},
    {"image/svg+xml", true},      {"application/xhtml+xml", true},  {"TEXT/CSS", true},
    {"application/wasm", false},  {"image/png", false},             {"font/woff2", false},
    {"application/octet-stream", false}, {"video/mp4", false},      {"application/pdf", false},
  };
  // clang-format on
  for (const auto& [type, text] : cases)
    EXPECT_EQ(mime::IsTextType(type), text) << type;
}

TEST(StrUtilsMime, SystemRecordsReplaceAndExtendTheBuiltInList)
{
  mime::TMimeTable table = mime::BuiltInTable();
  mime::Overlay(table, {{".json", "application/json"}, {".png", "image/png"}});
  EXPECT_EQ(mime::LookUp(table, "data.json"), "application/json");
  EXPECT_EQ(mime::LookUp(table, "logo.PNG"), "image/png");
  EXPECT_EQ(mime::LookUp(table, "index.html"), "text/html");
  EXPECT_EQ(table.size(), 373U);
}

TEST(StrUtilsMime, GetFileMIMETypeAnswersFromTheMergedTable)
{
  // The machine's records may change any type, but never the fallback, and never to "".
  EXPECT_EQ(TStrUtils::GetFileMIMEType("README"), "application/octet-stream");
  EXPECT_EQ(TStrUtils::GetFileMIMEType("C:\\a.b\\c"), "application/octet-stream");
  EXPECT_FALSE(TStrUtils::GetFileMIMEType("Index.HTML").empty());
  EXPECT_EQ(TStrUtils::GetFileMIMEType("Index.HTML"), TStrUtils::GetFileMIMEType("index.html"));
  // Every record the machine has is laid over the built-in list.
  const mime::TMimeTable system = mime::ReadSystemRecords();
  if (system.empty())
    GTEST_SKIP() << "this machine registers no content types";
  size_t checked = 0;
  for (const auto& [extension, type] : system) {
    if (extension.find_first_of("\\:") != std::string::npos || extension.find('.', 1) != std::string::npos)
      continue; // not an extension GetFileMIMEType reads from a name
    EXPECT_EQ(TStrUtils::GetFileMIMEType("name" + extension), type) << extension;
    if (++checked == 200)
      break;
  }
}

#ifndef _WIN32
TEST(StrUtilsMimeLinux, Globs2FixtureOverlaysTheBuiltInList)
{
  const std::vector<std::string> globs = {
    "# generated\n"
    "50:application/json:*.json\n"
    "50:image/png:*.png\n",
  };
  mime::TMimeTable table = mime::BuiltInTable();
  mime::Overlay(table, mime::ParseGlobs2(globs));
  EXPECT_EQ(mime::LookUp(table, "data.json"), "application/json");
  EXPECT_EQ(mime::LookUp(table, "logo.PNG"), "image/png");
  EXPECT_EQ(mime::LookUp(table, "song.mp3"), "audio/x-mpg");
}

TEST(StrUtilsMimeLinux, Globs2HigherWeightWinsThenEarlierFileThenEarlierLine)
{
  const std::vector<std::string> globs = {
    // user data home
    "40:text/x-user-low:*.foo\n"
    "50:text/x-user:*.bar\n",
    // system directories
    "60:text/x-system-high:*.foo\n"
    "50:text/x-system:*.bar\n"
    "50:application/json:*.json\n"
    "50:application/schema+json:*.json\n"
    "80:text/html:*.html\n",
    "50:application/xhtml+xml:*.html\n",
  };
  const mime::TMimeTable records = mime::ParseGlobs2(globs);
  EXPECT_EQ(records.at(".foo"), "text/x-system-high");
  EXPECT_EQ(records.at(".bar"), "text/x-user");
  EXPECT_EQ(records.at(".json"), "application/json");
  EXPECT_EQ(records.at(".html"), "text/html");
}

TEST(StrUtilsMimeLinux, Globs2TakesSimpleExtensionGlobsOnly)
{
  const std::vector<std::string> globs = {
    "50:application/x-sharedlib:*.so.[0-9]*\n"
    "50:application/x-compressed-tar:*.tar.gz\n"
    "50:application/x-core:core:cs\n"
    "50:text/x-makefile:makefile\n"
    "50:text/x-c++src:*.C:cs\n" // case-sensitive capitals: left out
    "50:text/x-c++src:*.C\n"    // loses to the lower-case glob of equal weight
    "50:text/x-csrc:*.c:cs\n"
    "50:text/x-csrc:*.c\n"
    "50:Text/X-Shouting:*.LOUD\n" // lower-cased on both sides
    "60:text/x-upper:*.Up\n"      // the higher weight still wins
    "50:text/x-lower:*.up\n"
    "not a record\n"
    "x:text/plain:*.bad\r\n"
    "50::*.nothing\n"
    "50:text/plain:*.\n"
    "55:text/x-crlf:*.crlf\r\n",
  };
  const mime::TMimeTable records = mime::ParseGlobs2(globs);
  const mime::TMimeTable expected = {
    {".c", "text/x-csrc"}, {".loud", "text/x-shouting"}, {".up", "text/x-upper"}, {".crlf", "text/x-crlf"}};
  EXPECT_EQ(records, expected);
}

TEST(StrUtilsMimeLinux, Globs2NoGlobsDropsTheTypeFromLaterFiles)
{
  const std::vector<std::string> globs = {
    "50:text/x-mine:*.new\n"
    "0:text/x-mine:__NOGLOBS__\n",
    "90:text/x-mine:*.old\n"
    "50:text/x-other:*.other\n",
  };
  const mime::TMimeTable records = mime::ParseGlobs2(globs);
  const mime::TMimeTable expected = {{".new", "text/x-mine"}, {".other", "text/x-other"}};
  EXPECT_EQ(records, expected);
}

TEST(StrUtilsMimeLinux, MimeTypesListsTypeThenExtensions)
{
  const std::string text = "# comment line\n"
                           "application/vnd.ms-htmlhelp\t\tchm\n"
                           "chemical/x-chemdraw chm cdx\n" // the first line for .chm wins
                           "Text/Plain  TXT asc # a comment\n"
                           "application/no-extensions\n"
                           "notatype foo\n"
                           "\n";
  const mime::TMimeTable expected = {
    {".chm", "application/vnd.ms-htmlhelp"},
    {".cdx", "chemical/x-chemdraw"},
    {".txt", "text/plain"},
    {".asc", "text/plain"},
  };
  EXPECT_EQ(mime::ParseMimeTypes(text), expected);
}

TEST(StrUtilsMimeLinux, Globs2WinsOverMimeTypes)
{
  const std::vector<std::string> globs = {"50:text/javascript:*.js\n"};
  const mime::TMimeTable records =
    mime::SystemRecordsFromTexts("application/javascript js\napplication/x-extra ext\n", globs);
  const mime::TMimeTable expected = {{".js", "text/javascript"}, {".ext", "application/x-extra"}};
  EXPECT_EQ(records, expected);
}
#endif

// ---------------------------------------------------------------- the other operations

TEST(StrUtilsQuote, QuotingEscapesAndUnquotingRestores)
{
  const std::pair<std::string, std::string> javascript[] = {
    {"it's \"so\"", R"(it\x27s \x22so\x22)"},
    {"plain: a|b", "plain: a|b"},
    {"", ""},
  };
  for (const auto& [plain, quoted] : javascript) {
    EXPECT_EQ(TStrUtils::QuoteJavascript(plain), quoted);
    EXPECT_EQ(TStrUtils::UnquoteJavascript(quoted), plain);
  }
  const std::pair<std::string, std::string> arguments[] = {
    {"a:b|c'd\"e", R"(a\x3ab\x7cc\x27d\x22e)"},
    {"C:\\dir", R"(C\x3a\dir)"},
  };
  for (const auto& [plain, quoted] : arguments) {
    EXPECT_EQ(TStrUtils::QuoteArguments(plain), quoted);
    EXPECT_EQ(TStrUtils::UnquoteArguments(quoted), plain);
  }
}

TEST(StrUtilsJavascriptArray, SkipsEmptyLinesTrimsAndQuotes)
{
  const std::pair<std::string, std::string> cases[] = {
    {"a\n\n  b c \r\n'q'\n", R"("a", "b c", "\x27q\x27")"},
    {"", ""},
    {" \n", R"("")"}, // a blank line is not empty before trimming
    {"\x01only\t", R"("only")"},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(TStrUtils::GetJavascriptArrayFromMultilineString(value), expected) << ::testing::PrintToString(value);
}

TEST(StrUtilsUrl, ArgumentsAreQueryItemsDecoded)
{
  std::vector<std::string> arguments = {"stale"};
  TStrUtils::GetUrlArguments("http://host/p?a=1&b=x+y&c=%C3%A9&d=%zz%4&&q=1%2B1#frag&no", arguments);
  const std::vector<std::string> expected = {"a=1", "b=x y", "c=\u00e9", "d=%zz%4", "", "q=1+1"};
  EXPECT_EQ(arguments, expected);

  TStrUtils::GetUrlArguments("http://host/p?bad=%FF", arguments);
  EXPECT_EQ(arguments, std::vector<std::string>{"bad=\ufffd"});

  for (const char* url : {"http://host/p", "http://host/p?", "http://host/p?#a=1"}) {
    arguments = {"stale"};
    TStrUtils::GetUrlArguments(url, arguments);
    EXPECT_TRUE(arguments.empty()) << url;
  }
}

struct TSearchCase {
  std::string Text;
  std::string SubString;
  TSearchOptions Options;
  bool Expected;
};

TEST(StrUtilsSearch, SubStringExistsHonoursCaseAndWholeWord)
{
  using enum TSearchOption;
  const TSearchCase cases[] = {
    {"Hello World", "world", {}, true},
    {"Hello World", "world", MatchCase, false},
    {"Hello World", "World", MatchCase | Down, true},
    {"Hello Worlds", "world", WholeWord, false},
    {"Worlds, world.", "WORLD", WholeWord, true}, // the second occurrence is a word
    {"Worlds, world.", "world", WholeWord | MatchCase, true},
    {"Worlds, World.", "world", WholeWord | MatchCase, false},
    {"a_b", "b", WholeWord, true},
    {"caf\u00e9", "caf", WholeWord, false}, // a non-ASCII letter joins the word
    {"x", "", {}, false},
    {"ab", "abc", {}, false},
  };
  for (const TSearchCase& c : cases)
    EXPECT_EQ(TStrUtils::SubStringExists(c.Text, c.SubString, c.Options), c.Expected)
      << '"' << c.SubString << "\" in \"" << c.Text << '"';
}

TEST(StrUtilsNumbers, AddLeadingZeroesPadsToTheLength)
{
  const std::tuple<int, int, std::string> cases[] = {
    {5, 3, "005"},
    {1234, 2, "1234"},
    {-5, 3, "-005"},
    {0, 0, "0"},
    {0, 4, "0000"},
    {7, -1, "7"},
    {-2147483647 - 1, 12, "-002147483648"},
  };
  for (const auto& [number, length, expected] : cases)
    EXPECT_EQ(TStrUtils::AddLeadingZeroes(number, length), expected) << number << ' ' << length;
}

TEST(StrUtilsNumbers, StrToResolutionReadsTheFirstMatch)
{
  const std::tuple<std::string, int, int> cases[] = {
    {"1920x1080", 1920, 1080},
    {"Size: 800x600px", 800, 600},
    {"12ax3x4", 3, 4},
    {"1x2x3", 1, 2},
    {"x600", -1, -1},
    {"800X600", -1, -1},
    {"800x", -1, -1},
    {"99999999999x1", -1, -1},
    {"", -1, -1},
  };
  for (const auto& [value, width, height] : cases) {
    int w = 7;
    int h = 7;
    TStrUtils::StrToResolution(value, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(width, height)) << value;
  }
}

TEST(StrUtilsText, RepeatCapitalizeAndPathPrefixes)
{
  EXPECT_EQ(TStrUtils::RepeatString("ab", 3), "ababab");
  EXPECT_EQ(TStrUtils::RepeatString("ab", 0), "");

  const std::pair<std::string, std::string> capitalized[] = {
    {"hello world", "Hello world"}, {"Hello", "Hello"}, {"\u00e9t\u00e9", "\u00e9t\u00e9"}, {"1a", "1a"}, {"", ""}};
  for (const auto& [value, expected] : capitalized)
    EXPECT_EQ(TStrUtils::Capitalize(value), expected);

  EXPECT_TRUE(TStrUtils::FilePathIsHttpUrl("HTTPS://example.org"));
  EXPECT_TRUE(TStrUtils::FilePathIsHttpUrl("http://x"));
  EXPECT_FALSE(TStrUtils::FilePathIsHttpUrl("ftp://x"));
  EXPECT_FALSE(TStrUtils::FilePathIsHttpUrl("http:/x"));
  EXPECT_TRUE(TStrUtils::FilePathIsAppRelative("App/Files/index.html"));
  EXPECT_FALSE(TStrUtils::FilePathIsAppRelative("app/files"));
  EXPECT_FALSE(TStrUtils::FilePathIsAppRelative("/app/files/x"));
  EXPECT_TRUE(TStrUtils::FilePathIsPluginRelative("APP/PLUGINS/p.dll"));
  EXPECT_FALSE(TStrUtils::FilePathIsPluginRelative("app/files/plugins/"));
}

TEST(StrUtilsRandom, PicksOnlyFromTheGivenCharacters)
{
  const std::string picked = TStrUtils::GetRandomString(1000, "ab");
  ASSERT_EQ(picked.size(), 1000U);
  EXPECT_EQ(picked.find_first_not_of("ab"), std::string::npos);
  EXPECT_NE(picked.find('a'), std::string::npos);
  EXPECT_NE(picked.find('b'), std::string::npos);

  // Characters are UTF-16 code units, so non-ASCII ones count as one each.
  const std::u16string units = Utf8ToUtf16(TStrUtils::GetRandomString(50, "\u00e9\u20ac"));
  ASSERT_EQ(units.size(), 50U);
  EXPECT_TRUE(std::all_of(units.begin(), units.end(), [](char16_t u) { return u == 0x00E9 || u == 0x20AC; }));

  EXPECT_EQ(TStrUtils::GetRandomString(0, "ab"), "");
  EXPECT_EQ(TStrUtils::GetRandomString(5, ""), "");

  const std::string suffixed = TStrUtils::GetControlRandomSuffix("button");
  ASSERT_EQ(suffixed.size(), std::string("button-").size() + 10);
  EXPECT_TRUE(suffixed.starts_with("button-"));
  EXPECT_EQ(suffixed.find_first_not_of("abcdefghijklmnopqrstuvwxyz1234567890", 7), std::string::npos);
  EXPECT_NE(TStrUtils::GetControlRandomSuffix("button"), suffixed); // 36^10 outcomes
}

std::string Utf8Of(const std::filesystem::path& path)
{
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(StrUtilsCacheDir, PlacesTheCacheBesideTheAppOrInTheDefaultFolder)
{
#ifdef _WIN32
  const std::string d = "\\";
#else
  const std::string d = "/";
#endif
  const std::filesystem::path folder =
    std::filesystem::temp_directory_path() / std::filesystem::path(u8"velmora cache t\u00e9st");
  std::filesystem::create_directories(folder);
  const std::string existing = Utf8Of(folder) + d;
  const std::string missing = existing + "no such folder" + d;
  const std::string defaultDir = d + "default";

  const std::tuple<std::string, std::string> cases[] = {
    {existing + "My App.v2.exe", existing + "My App.v2_cache" + d},
    {existing + "noext", existing + "noext_cache" + d},
    {missing + "app.exe", defaultDir + d + "app_cache" + d},
    {"app.exe", defaultDir + d + "app_cache" + d}, // no folder at all
    {"", defaultDir + d + "tmp" + d},
  };
  for (const auto& [appFilePath, expected] : cases)
    EXPECT_EQ(TStrUtils::GetCompilerCacheDir(appFilePath, "_cache", "tmp", defaultDir), expected) << appFilePath;
  // A default folder that already ends in the delimiter does not get a second one.
  EXPECT_EQ(TStrUtils::GetCompilerCacheDir("", "_cache", "tmp", defaultDir + d), defaultDir + d + "tmp" + d);

  std::filesystem::remove_all(folder);
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

TEST(MatchesWildcard, StarsAndQuestionMarks)
{
  // clang-format off
  const std::tuple<const char*, const char*, bool> cases[] = {
    {"*", "", true},          {"*", "anything", true},      {"*.txt", "notes.txt", true},
    {"*.txt", "notes.TXT", false}, {"a?c", "abc", true},      {"a?c", "ac", false},
    {"*a*b", "xxaxxb", true}, {"*a*b", "xxaxxbx", false},   {"", "", true},
    {"", "x", false},         {"file:///*", "file:///index.html", true}, {"**x", "abx", true},
  };
  // clang-format on
  for (const auto& [pattern, text, expected] : cases)
    EXPECT_EQ(MatchesWildcard(pattern, text), expected) << pattern << " ~ " << text;
}

} // namespace
} // namespace velmora
