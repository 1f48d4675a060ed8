// Reading the attached archive: encryption methods, letter case of names, missing names, bad input.
#include "ExeZip.h"

#include "support/ZipFixture.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::MakeZip;
using test::TFixtureEntry;

constexpr const char* kPassword = "abcdefghijklmnopqrstuvwxyz0123456789";

std::span<const uint8_t> BytesOf(const std::string& s)
{
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Text(size_t size)
{
  std::string text;
  while (text.size() < size)
    text += "<p>Grüße from the packaged app, line " + std::to_string(text.size()) + "</p>\n";
  text.resize(size);
  return text;
}

TEST(TExeZip, ReadsEveryEncryptionAndCompressionMethod)
{
  const std::string big = Text(200000);
  const std::vector<TFixtureEntry> entries = {
    {"pkware-stored.html", big, 1, 0},
    {"pkware-deflated.html", big, 1, 8},
    {"aes-deflated.html", big, 0x0103, 8},
    {"plain-stored.txt", "plain", 0, 0},
    {"plain-deflated.txt", big, 0, 8},
    {"empty.txt", "", 1, 0},
  };
  const std::string archive = MakeZip(entries, kPassword);
  TExeZip zip;
  zip.SetPassword(kPassword);
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  for (const TFixtureEntry& entry : entries) {
    SCOPED_TRACE(entry.Name);
    const auto found = zip.FindFile(entry.Name);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->EncryptionMethod, entry.Encryption);
    const auto bytes = zip.ExtractToString(entry.Name);
    ASSERT_TRUE(bytes) << bytes.Error();
    ASSERT_TRUE(bytes.Value());
    EXPECT_EQ(*bytes.Value(), entry.Data);
  }
}

TEST(TExeZip, FindsFullNamesIgnoringAsciiLetterCaseOnly)
{
  const std::string archive = MakeZip({{"MyApp/", "", 1, 0, true},
                                       {"MyApp/Index.HTML", "index", 1, 8},
                                       {"MyApp/my page.html", "spaced", 1, 8},
                                       {"MyApp/café.txt", "accent", 1, 8}},
                                      kPassword);
  TExeZip zip;
  zip.SetPassword(kPassword);
  ASSERT_TRUE(zip.Open(BytesOf(archive)));

  const std::pair<const char*, const char*> found[] = {
    {"MyApp/Index.HTML", "MyApp/Index.HTML"}, {"myapp/index.html", "MyApp/Index.HTML"},
    {"MYAPP/MY PAGE.HTML", "MyApp/my page.html"}, {"MYAPP/CAFé.TXT", "MyApp/café.txt"}, {"myapp/", "MyApp/"}};
  for (const auto& [query, stored] : found) {
    SCOPED_TRACE(query);
    const auto entry = zip.FindFile(query);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Name, stored);
  }
  EXPECT_TRUE(zip.FindFile("MyApp/")->IsDirectory());

  // Letter case beyond ASCII, partial names and other folders do not match.
  for (const char* query : {"MyApp/CAFÉ.txt", "Index.HTML", "MyApp/Index", "MyApp", "/MyApp/Index.HTML", ""}) {
    SCOPED_TRACE(query);
    EXPECT_FALSE(zip.FindFile(query));
    const auto bytes = zip.ExtractToString(query);
    ASSERT_TRUE(bytes) << "a missing name is not an error";
    EXPECT_FALSE(bytes.Value());
  }
}

TEST(TExeZip, WrongPasswordFailsCleanly)
{
  const std::string archive = MakeZip({{"a.txt", Text(5000), 1, 8}, {"b.txt", Text(5000), 0x0103, 8}}, kPassword);
  TExeZip zip;
  zip.SetPassword("not-the-archive-password");
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  for (const char* name : {"a.txt", "b.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(zip.ExtractToString(name));
  }
}

TEST(TExeZip, DamagedArchivesDoNotOpen)
{
  const std::string archive = MakeZip({{"a.txt", "hello", 1, 0}}, kPassword);
  const std::string cases[] = {"", "PK", "not an archive at all", archive.substr(0, archive.size() - 5),
                               archive.substr(10)};
  for (const std::string& bytes : cases) {
    TExeZip zip;
    zip.SetPassword(kPassword);
    EXPECT_FALSE(zip.Open(BytesOf(bytes)));
    EXPECT_FALSE(zip.FindFile("a.txt"));
  }
}

TEST(TExeZip, CorruptEntryDataIsAnError)
{
  std::string archive = MakeZip({{"a.txt", Text(3000), 1, 0}}, kPassword);
  // Flip bytes inside the stored, encrypted data of the only entry (past its local header).
  for (size_t i = 100; i < 120; ++i)
    archive[i] = static_cast<char>(~archive[i]);
  TExeZip zip;
  zip.SetPassword(kPassword);
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  EXPECT_FALSE(zip.ExtractToString("a.txt"));
}

} // namespace
} // namespace velmora
