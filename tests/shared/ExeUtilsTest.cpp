// Finding the attached archive: image end of PE and ELF headers, malformed headers, append and extract.
#include "ExeUtils.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace velmora {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

void Put(std::vector<uint8_t>& data, size_t offset, uint64_t value, unsigned width, bool bigEndian = false)
{
  if (data.size() < offset + width)
    data.resize(offset + width);
  for (unsigned i = 0; i < width; ++i) {
    const unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
    data[offset + i] = static_cast<uint8_t>(value >> shift);
  }
}

struct TSection {
  uint32_t PointerToRawData;
  uint32_t SizeOfRawData;
};

// The headers of a PE image: DOS header, signature at 0x80, file header, a 0xF0-byte optional
// header and the section table.
std::vector<uint8_t> PeHeaders(const std::vector<TSection>& sections)
{
  std::vector<uint8_t> data(0x400, 0);
  data[0] = 'M';
  data[1] = 'Z';
  Put(data, 0x3C, 0x80, 4);
  std::memcpy(&data[0x80], "PE\0\0", 4);
  const size_t fileHeader = 0x84;
  Put(data, fileHeader + 2, sections.size(), 2);
  Put(data, fileHeader + 16, 0xF0, 2);
  const size_t table = fileHeader + 20 + 0xF0;
  for (size_t i = 0; i < sections.size(); ++i) {
    Put(data, table + i * 40 + 16, sections[i].SizeOfRawData, 4);
    Put(data, table + i * 40 + 20, sections[i].PointerToRawData, 4);
  }
  return data;
}

TEST(ImageEndFromHeaders, PeSectionTableGivesTheLargestEndAddedIn32Bits)
{
  struct TCase {
    const char* Name;
    std::vector<TSection> Sections;
    uint64_t Expected;
  };
  // clang-format off
  const TCase cases[] = {
    // The packaged executable as shipped: the last section ends at 12,097,536.
    {"worked example", {{0x400, 0x1000}, {0x1400, 0x200}, {7443456, 4654080}}, 12097536},
    {"larger end before a smaller one", {{0x400, 0x9000}, {0x9400, 0x200}, {0x1000, 0x100}}, 0x9600},
    {"single section", {{0x200, 0x0}}, 0x200},
    {"sum wraps in 32 bits", {{0xFFFFFF00, 0x200}}, 0x100},
  };
  // clang-format on
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ImageEndFromHeaders(PeHeaders(c.Sections)), c.Expected);
  }
}

TEST(ImageEndFromHeaders, MalformedHeadersMeanNoArchive)
{
  const std::vector<uint8_t> good = PeHeaders({{0x400, 0x200}});
  ASSERT_TRUE(ImageEndFromHeaders(good));

  auto noSections = PeHeaders({});
  auto badSignature = good;
  badSignature[0x81] = 'X';
  auto lfanewOutside = good;
  Put(lfanewOutside, 0x3C, 0xFFFFFFF0, 4);
  auto tableOutside = good;
  Put(tableOutside, 0x84 + 2, 0xFFFF, 2); // 65535 sections cannot fit in 1 KB
  auto optionalHeaderOutside = good;
  Put(optionalHeaderOutside, 0x84 + 16, 0xFFFF, 2);
  const std::vector<uint8_t> truncated(good.begin(), good.begin() + 0x90);

  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
    {"empty", {}},
    {"MZ only", {'M', 'Z'}},
    {"text file", {'h', 'e', 'l', 'l', 'o'}},
    {"no sections", noSections},
    {"bad PE signature", badSignature},
    {"e_lfanew past the end", lfanewOutside},
    {"section table past the end", tableOutside},
    {"optional header past the end", optionalHeaderOutside},
    {"truncated file header", truncated},
    {"ELF magic only", {0x7F, 'E', 'L', 'F'}},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ImageEndFromHeaders(bytes));
  }
}

// A minimal ELF image: header, program headers right after it, section contents, section
// header table at the end.
struct TElfLayout {
  bool Is64 = true;
  bool BigEndian = false;
  std::vector<std::pair<uint64_t, uint64_t>> Segments;            // offset, file size
  std::vector<std::tuple<uint32_t, uint64_t, uint64_t>> Sections; // type, offset, size
  uint64_t SectionTableOffset = 0;
};

std::vector<uint8_t> ElfImage(const TElfLayout& layout, size_t fileSize)
{
  std::vector<uint8_t> data(fileSize, 0);
  const bool be = layout.BigEndian;
  data[0] = 0x7F;
  data[1] = 'E';
  data[2] = 'L';
  data[3] = 'F';
  data[4] = layout.Is64 ? 2 : 1;
  data[5] = be ? 2 : 1;
  const unsigned word = layout.Is64 ? 8 : 4;
  const uint64_t phoff = layout.Is64 ? 64 : 52;
  const uint64_t phentsize = layout.Is64 ? 56 : 32;
  const uint64_t shentsize = layout.Is64 ? 64 : 40;
  Put(data, layout.Is64 ? 0x20 : 0x1C, phoff, word, be);
  Put(data, layout.Is64 ? 0x28 : 0x20, layout.SectionTableOffset, word, be);
  Put(data, layout.Is64 ? 0x36 : 0x2A, phentsize, 2, be);
  Put(data, layout.Is64 ? 0x38 : 0x2C, layout.Segments.size(), 2, be);
  Put(data, layout.Is64 ? 0x3A : 0x2E, shentsize, 2, be);
  Put(data, layout.Is64 ? 0x3C : 0x30, layout.Sections.size(), 2, be);
  for (size_t i = 0; i < layout.Segments.size(); ++i) {
    const size_t entry = phoff + i * phentsize;
    Put(data, entry + (layout.Is64 ? 8 : 4), layout.Segments[i].first, word, be);
    Put(data, entry + (layout.Is64 ? 0x20 : 0x10), layout.Segments[i].second, word, be);
  }
  for (size_t i = 0; i < layout.Sections.size(); ++i) {
    const size_t entry = layout.SectionTableOffset + i * shentsize;
    Put(data, entry + 4, std::get<0>(layout.Sections[i]), 4, be);
    Put(data, entry + (layout.Is64 ? 0x18 : 0x10), std::get<1>(layout.Sections[i]), word, be);
    Put(data, entry + (layout.Is64 ? 0x20 : 0x14), std::get<2>(layout.Sections[i]), word, be);
  }
  return data;
}

TEST(ImageEndFromHeaders, ElfEndIsTheLargestOfSegmentsSectionsAndSectionTable)
{
  constexpr uint32_t kProgBits = 1;
  constexpr uint32_t kNoBits = 8;
  struct TCase {
    const char* Name;
    TElfLayout Layout;
    size_t FileSize;
    uint64_t Expected;
  };
  // clang-format off
  const TCase cases[] = {
    {"section table last (stripped binary)",
     {true, false, {{0, 0x800}}, {{0, 0, 0}, {kProgBits, 0x800, 0x100}}, 0x900}, 0x980, 0x980},
    {"debug section past the table",
     {true, false, {{0, 0x400}}, {{0, 0, 0}, {kProgBits, 0x600, 0x300}}, 0x400}, 0x900, 0x900},
    {"segment reaches furthest",
     {true, false, {{0, 0x300}, {0x300, 0xA00}}, {{0, 0, 0}}, 0x200}, 0xD00, 0xD00},
    {"NOBITS section takes no file space",
     {true, false, {{0, 0x200}}, {{0, 0, 0}, {kNoBits, 0x200, 0x100000}}, 0x200}, 0x280, 0x280},
    {"32-bit big-endian", {false, true, {{0, 0x300}}, {{0, 0, 0}, {kProgBits, 0x300, 0x50}}, 0x350}, 0x3A0, 0x3A0},
  };
  // clang-format on
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ImageEndFromHeaders(ElfImage(c.Layout, c.FileSize)), c.Expected);
  }
}

TEST(ImageEndFromHeaders, MalformedElfMeansNoArchive)
{
  const TElfLayout good{true, false, {{0, 0x200}}, {{0, 0, 0}}, 0x200};
  ASSERT_TRUE(ImageEndFromHeaders(ElfImage(good, 0x240)));

  auto tableOutside = ElfImage(good, 0x240);
  Put(tableOutside, 0x28, 0x10000, 8);
  auto tooManySections = ElfImage(good, 0x240);
  Put(tooManySections, 0x3C, 0xFFFE, 2);
  auto smallEntries = ElfImage(good, 0x240);
  Put(smallEntries, 0x3A, 8, 2);
  auto overflowingSegment = ElfImage(good, 0x240);
  Put(overflowingSegment, 64 + 8, 0xFFFFFFFFFFFFFFF0ULL, 8);
  Put(overflowingSegment, 64 + 0x20, 0x100, 8);
  auto badClass = ElfImage(good, 0x240);
  badClass[4] = 7;
  auto truncated = ElfImage(good, 0x240);
  truncated.resize(20);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
    {"section table past the end", tableOutside},
    {"section count beyond the file", tooManySections},
    {"section entries too small", smallEntries},
    {"segment end overflows", overflowingSegment},
    {"unknown class", badClass},
    {"truncated header", truncated},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ImageEndFromHeaders(bytes));
  }
}

TEST(TExeUtils, FreshRuntimeCarriesNothing)
{
  TExeUtils utils(VELMORA_RUNTIME_PATH);
  const auto end = utils.GetAttachedStubOffset();
  ASSERT_TRUE(end);
  EXPECT_EQ(static_cast<int64_t>(*end), TExeUtils::GetFileSize(VELMORA_RUNTIME_PATH));
  EXPECT_FALSE(utils.ExeHasAttachedStub());
}

TEST(TExeUtils, WorkedExampleFindsTheArchiveAtE)
{
  TTempDir dir;
  const std::string exe = dir.File("packaged.exe");
  WriteFile(exe, std::string());
  std::filesystem::resize_file(test::PathOf(exe), 14334883); // sparse: only headers and archive start are written
  {
    const auto headers = PeHeaders({{0x400, 0x1000}, {7443456, 4654080}});
    std::fstream file(test::PathOf(exe), std::ios::binary | std::ios::in | std::ios::out);
    file.write(reinterpret_cast<const char*>(headers.data()), static_cast<std::streamsize>(headers.size()));
    file.seekp(12097536);
    file.write("PK\x03\x04", 4);
  }
  TExeUtils utils(exe);
  EXPECT_EQ(utils.GetAttachedStubOffset(), 12097536U);
  ASSERT_TRUE(utils.ExeHasAttachedStub());
  TAttachedArchive archive;
  utils.GetZipFromExe(archive);
  ASSERT_EQ(archive.Bytes().size(), 2237347U);
  EXPECT_EQ(std::memcmp(archive.Bytes().data(), "PK\x03\x04", 4), 0);
}

TEST(TExeUtils, AnArchiveStartsOneBytePastE)
{
  TTempDir dir;
  const auto headers = PeHeaders({{0x400, 0x200}});
  std::string image(reinterpret_cast<const char*>(headers.data()), headers.size());
  image.resize(0x600, '\0');

  WriteFile(dir.File("exact.exe"), image);
  EXPECT_FALSE(TExeUtils(dir.File("exact.exe")).ExeHasAttachedStub());

  WriteFile(dir.File("plus-one.exe"), image + "Z");
  TExeUtils plusOne(dir.File("plus-one.exe"));
  ASSERT_TRUE(plusOne.ExeHasAttachedStub());
  TAttachedArchive archive;
  plusOne.GetZipFromExe(archive);
  ASSERT_EQ(archive.Bytes().size(), 1U);
  EXPECT_EQ(archive.Bytes()[0], 'Z');

  // Sections that claim more data than the file holds: nothing is attached.
  WriteFile(dir.File("short.exe"), image.substr(0, 0x500));
  EXPECT_FALSE(TExeUtils(dir.File("short.exe")).ExeHasAttachedStub());
  EXPECT_FALSE(TExeUtils(dir.File("missing.exe")).ExeHasAttachedStub());
}

TEST(TExeUtils, AppendThenExtractRoundTripsWithProgress)
{
  TTempDir dir;
  const auto headers = PeHeaders({{0x400, 0x200}});
  std::string image(reinterpret_cast<const char*>(headers.data()), headers.size());
  image.resize(0x600, '\x90');
  std::string zip(25000, '\0');
  for (size_t i = 0; i < zip.size(); ++i)
    zip[i] = static_cast<char>(i * 7 + 3);
  WriteFile(dir.File("runtime.exe"), image);
  WriteFile(dir.File("app.zip"), zip);

  TExeUtils appender;
  std::vector<int64_t> events;
  appender.OnProgressMax = [&](TExeUtils&, int64_t max) { events.push_back(-max); };
  appender.OnProgressPos = [&](TExeUtils&, int64_t pos) { events.push_back(pos); };
  appender.AppendZipToExe(dir.File("app.zip"), dir.File("runtime.exe"));
  EXPECT_EQ(events, (std::vector<int64_t>{-25000, 10240, 20480, 25000}));
  EXPECT_EQ(ReadFile(dir.File("runtime.exe")), image + zip);

  TExeUtils packaged(dir.File("runtime.exe"));
  events.clear();
  packaged.OnProgressMax = appender.OnProgressMax;
  packaged.OnProgressPos = appender.OnProgressPos;
  packaged.ExtractZipFromExe(dir.File("out.zip"));
  EXPECT_EQ(events, (std::vector<int64_t>{-25000, 10240, 20480, 25000}));
  EXPECT_EQ(ReadFile(dir.File("out.zip")), zip);

  EXPECT_THROW(appender.AppendZipToExe(dir.File("absent.zip"), dir.File("runtime.exe")), std::runtime_error);
  EXPECT_THROW(packaged.ExtractZipFromExe(dir.File("no-such-folder/out.zip")), std::runtime_error);
}

#ifndef _WIN32 // on Windows the report is a message box, which a test cannot answer
TEST(TExeUtilsDeathTest, ExtractWithoutArchiveEndsTheProcessWithExitCodeZero)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TTempDir dir;
  EXPECT_EXIT(TExeUtils(VELMORA_RUNTIME_PATH).ExtractZipFromExe(dir.File("out.zip")), testing::ExitedWithCode(0),
              "This is not a valid Windows application");
}
#endif

} // namespace
} // namespace velmora
