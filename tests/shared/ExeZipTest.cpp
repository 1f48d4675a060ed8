// Reading the attached archive: encryption methods, letter case of names, missing names, bad input.
#include "ExeZip.h"
#include "Limits.h"

#include "support/ZipFixture.h"

#include <cstring>

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
    {"pkware-stored.html", big, 1, 0},   {"pkware-deflated.html", big, 1, 8}, {"aes-deflated.html", big, 0x0103, 8},
    {"plain-stored.txt", "plain", 0, 0}, {"plain-deflated.txt", big, 0, 8},   {"empty.txt", "", 1, 0},
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

  // clang-format off
  const std::pair<const char*, const char*> found[] = {
    {"MyApp/Index.HTML", "MyApp/Index.HTML"}, {"myapp/index.html", "MyApp/Index.HTML"},
    {"MYAPP/MY PAGE.HTML", "MyApp/my page.html"}, {"MYAPP/CAFé.TXT", "MyApp/café.txt"}, {"myapp/", "MyApp/"}};
  // clang-format on
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
  const std::string archive =
    MakeZip({{"a.txt", Text(5000), 1, 8}, {"b.txt", Text(5000), 0x0103, 8}, {"c.txt", Text(5000), 1, 0}}, kPassword);
  TExeZip zip;
  zip.SetPassword("not-the-archive-password");
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
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
  for (const int32_t compression : {0, 8}) {
    SCOPED_TRACE(compression);
    std::string archive = MakeZip({{"a.txt", Text(3000), 1, compression}}, kPassword);
    // Flip bytes inside the encrypted data of the only entry (past its local header).
    for (size_t i = 100; i < 120; ++i)
      archive[i] = static_cast<char>(~archive[i]);
    TExeZip zip;
    zip.SetPassword(kPassword);
    ASSERT_TRUE(zip.Open(BytesOf(archive)));
    EXPECT_FALSE(zip.ExtractToString("a.txt"));
  }
}

// Rewrites the uncompressed size an entry declares, in its local header and in the central
// directory, as a hostile bundle would (archives made here have no data descriptors for these).
std::string WithDeclaredSize(std::string Archive, const std::string& Name, uint32_t Size)
{
  const auto read32 = [&](size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, Archive.data() + at, 4);
    return v;
  };
  const auto read16 = [&](size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, Archive.data() + at, 2);
    return v;
  };
  for (size_t at = Archive.find("PK\x01\x02"); at != std::string::npos; at = Archive.find("PK\x01\x02", at + 4)) {
    if (Archive.compare(at + 46, read16(at + 28), Name) != 0)
      continue;
    std::memcpy(Archive.data() + at + 24, &Size, 4);
    std::memcpy(Archive.data() + read32(at + 42) + 22, &Size, 4);
    return Archive;
  }
  ADD_FAILURE() << "no entry " << Name;
  return Archive;
}

TEST(TExeZip, DeclaredSizesAreNeverTrusted)
{
  const std::string data = Text(5000);
  for (const auto& [encryption, compression] : {std::pair{0, 0}, {0, 8}, {1, 0}, {1, 8}}) {
    SCOPED_TRACE(std::to_string(encryption) + " " + std::to_string(compression));
    const std::string password = encryption != 0 ? kPassword : "";
    const std::string archive =
      MakeZip({{"page.html", data, static_cast<uint16_t>(encryption), compression}}, password);
    struct TCase {
      uint32_t Declared;
      const char* Error; // part of the error text; nullptr: any error (libzip may find it first)
    };
    const TCase cases[] = {
      {0xFFFFFFF0U, "larger than"}, // nothing near this much is reserved or read
      {100, nullptr},               // yields more than it declares
      {6000, nullptr},              // yields less
    };
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.Declared);
      const std::string lying = WithDeclaredSize(archive, "page.html", c.Declared);
      TExeZip zip;
      zip.SetPassword(password);
      ASSERT_TRUE(zip.Open(BytesOf(lying)));
      const auto bytes = zip.ExtractToString("page.html");
      ASSERT_FALSE(bytes);
      if (c.Error != nullptr) {
        EXPECT_NE(bytes.Error().find(c.Error), std::string::npos) << bytes.Error();
      }
      // The streaming reader gives no more than the entry declares before it fails.
      const auto reader = zip.OpenEntry("page.html");
      ASSERT_NE(reader, nullptr);
      uint64_t total = 0;
      uint8_t buffer[1024];
      for (;;) {
        const auto got = reader->Read(buffer);
        if (!got || got.Value() == 0) {
          EXPECT_FALSE(got);
          break;
        }
        total += got.Value();
      }
      EXPECT_LE(total, std::min<uint64_t>(c.Declared, data.size()));
    }
  }
}

TEST(TExeZip, ReadsStopAtTheCallersCeiling)
{
  const std::string archive = MakeZip({{"big.txt", Text(4096), 1, 8}}, kPassword);
  TExeZip zip;
  zip.SetPassword(kPassword);
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  EXPECT_FALSE(zip.ExtractToString("big.txt", 4095));
  const auto whole = zip.ExtractToString("big.txt", 4096);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole.Value()->size(), 4096U);
}

TEST(TExeZip, EntryReadersOutliveTheReaderThatMadeThem)
{
  // The engine may still read a response while the app ends: the archive stays with the reader.
  auto archive = std::make_shared<std::string>(MakeZip({{"a.txt", "still here", 1, 8}}, kPassword));
  std::unique_ptr<TZipEntryReader> reader;
  {
    TExeZip zip;
    zip.SetPassword(kPassword);
    ASSERT_TRUE(zip.Open(BytesOf(*archive), archive));
    reader = zip.OpenEntry("a.txt");
  }
  archive.reset();
  uint8_t buffer[64];
  const auto got = reader->Read(buffer);
  ASSERT_TRUE(got) << got.Error();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), got.Value()), "still here");
}

// Reads Count bytes from Offset of the entry through a fresh reader; the rest of the entry is
// then read to its end, which must succeed.
std::string ReadPart(const TExeZip& Zip, const char* Name, uint64_t Offset, size_t Count)
{
  const auto reader = Zip.OpenEntry(Name);
  EXPECT_NE(reader, nullptr);
  if (reader == nullptr)
    return {};
  if (const TStatus skipped = reader->Skip(Offset); !skipped) {
    ADD_FAILURE() << skipped.Error();
    return {};
  }
  std::string part(Count, '\0');
  size_t done = 0;
  while (done < Count) {
    const auto got = reader->Read({reinterpret_cast<uint8_t*>(part.data()) + done, Count - done});
    if (!got || got.Value() == 0) {
      ADD_FAILURE() << (got ? std::string("the entry ended early") : got.Error());
      return {};
    }
    done += got.Value();
  }
  uint8_t rest[65536];
  for (;;) {
    const auto got = reader->Read(rest);
    if (!got) {
      ADD_FAILURE() << got.Error();
      break;
    }
    if (got.Value() == 0)
      break;
  }
  return part;
}

TEST(TExeZip, PartsOfAnEntryFromItsMiddle)
{
  std::string data(3 * 1024 * 1024 + 4321, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>((i * 31 + i / 997) % 251);
  std::string archive = MakeZip({{"clip.webm", data, 1, 0}, {"page.txt", Text(300000), 1, 8}}, kPassword);
  TExeZip zip;
  zip.SetPassword(kPassword);
  zip.SetDecryptedCacheBytes(0); // every read goes through the cipher
  ASSERT_TRUE(zip.Open(BytesOf(archive)));

  // The first reads pass everything before the part through the cipher.
  const uint64_t offsets[] = {0, 1, 1024 * 1024 - 13, 2 * 1024 * 1024 + 77, data.size() - 1000};
  for (const uint64_t offset : offsets) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(ReadPart(zip, "clip.webm", offset, 1000), data.substr(offset, 1000));
  }
  EXPECT_EQ(ReadPart(zip, "page.txt", 123456, 500), Text(300000).substr(123456, 500));

  // Later reads start at the cipher's state at a mark an earlier read passed: damage before it is
  // never decrypted, so it neither shows in the part nor fails the read.
  for (size_t i = 200000; i < 200100; ++i)
    archive[i] = static_cast<char>(~archive[i]);
  EXPECT_EQ(ReadPart(zip, "clip.webm", 2 * 1024 * 1024 + 5, 3000), data.substr(2 * 1024 * 1024 + 5, 3000));

  // A part past the end is an error.
  const auto reader = zip.OpenEntry("clip.webm");
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(reader->Skip(data.size() + 1));
}

TEST(TExeZip, LargeEntriesReadToTheirEndAreKeptDecrypted)
{
  const std::string first = Text(400000);
  const std::string second = Text(500000).substr(1000);
  std::string archive = MakeZip({{"a.bin", first, 1, 0}, {"b.bin", second, 1, 8}}, kPassword);
  TExeZip zip;
  zip.SetPassword(kPassword);
  zip.SetDecryptedCacheBytes(600000); // room for one of the two
  ASSERT_TRUE(zip.Open(BytesOf(archive)));
  const auto damage = [&](std::string_view Entry) {
    const size_t at = archive.find(Entry) + 5000; // inside the data after the local header's name
    for (size_t i = at; i < at + 100; ++i)
      archive[i] = static_cast<char>(~archive[i]);
  };

  // Read to the end: later reads of it, whole or from its middle, come from memory and are not
  // touched by damage in the archive.
  EXPECT_EQ(ReadPart(zip, "a.bin", 0, first.size()), first);
  damage("a.bin");
  EXPECT_EQ(ReadPart(zip, "a.bin", 0, first.size()), first);
  EXPECT_EQ(ReadPart(zip, "a.bin", 300000, 5000), first.substr(300000, 5000));

  // A second entry over the budget pushes out the first, whose damage then shows.
  EXPECT_EQ(ReadPart(zip, "b.bin", 0, second.size()), second);
  EXPECT_FALSE(zip.ExtractToString("a.bin")) << "the first entry is read from the damaged archive again";
  EXPECT_EQ(ReadPart(zip, "b.bin", 1000, 10), second.substr(1000, 10));
}

} // namespace
} // namespace velmora
