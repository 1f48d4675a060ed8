// Finding the attached archive: image end of PE and ELF headers, malformed headers, append and
// extract; branding a Windows executable with an icon and version texts, by both editors.
#include "ExeUtils.h"

#include "support/PeImage.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

using test::ExpectConsistentPeLayout;
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

// ---- Branding: ChangeExeIcon and UpdateExeInfo.

const pe::TResourceKey kGroupIcon = pe::TResourceKey::Number(pe::kGroupIconType);
const pe::TResourceKey kIcon = pe::TResourceKey::Number(pe::kIconType);
const pe::TResourceKey kVersion = pe::TResourceKey::Number(pe::kVersionType);
const pe::TResourceKey kMainIcon = pe::TResourceKey::Text(u"MAINICON");
const pe::TResourceKey kKeyImage = pe::TResourceKey::Text(u"KEYIMAGE");

constexpr TResourceEditor kEditors[] = {TResourceEditor::System, TResourceEditor::Portable};

const char* EditorName(TResourceEditor editor) { return editor == TResourceEditor::System ? "system" : "portable"; }

std::vector<uint8_t> ReadBytes(const std::string& path)
{
  const std::string text = ReadFile(path);
  return {text.begin(), text.end()};
}

// Real linker output with the runtime's resources: the test programs the build links when the
// mingw-w64 tools are there, and on Windows the runtime itself.
std::vector<std::pair<std::string, std::string>> RealExecutables()
{
  std::vector<std::pair<std::string, std::string>> found;
#ifdef VELMORA_PE_FIXTURE_RELOCATIONS_LAST
  found.emplace_back("relocations after the resources", VELMORA_PE_FIXTURE_RELOCATIONS_LAST);
  found.emplace_back("resources last", VELMORA_PE_FIXTURE_RESOURCES_LAST);
#endif
  if (ReadFile(VELMORA_RUNTIME_PATH).substr(0, 2) == "MZ")
    found.emplace_back("the runtime", VELMORA_RUNTIME_PATH);
  return found;
}

#define VELMORA_REQUIRE_REAL_EXECUTABLES(list)                                                                         \
  const auto list = RealExecutables();                                                                                 \
  if (list.empty())                                                                                                    \
  GTEST_SKIP() << "no Windows executable to brand: this build found no mingw-w64 tools and its runtime is not "        \
                  "a Windows one"

// A hand-made executable whose resources are the icon groups given (each with two images) and,
// when asked, a version block copied from nowhere: enough for the refusals.
std::vector<uint8_t> SmallExecutable(const std::vector<std::u16string>& iconGroups)
{
  test::TPeImageLayout layout;
  layout.Sections.push_back({".text", std::vector<uint8_t>(0x100, 0xC3), 0x60000020});
  layout.Sections.push_back({".rsrc", test::EmptyResourceTree(), 0x40000040});
  layout.ResourceSection = 1;
  const auto image = test::BuildPeImage(layout);
  pe::TResourceTable table;
  uint16_t id = 0;
  for (const std::u16string& name : iconGroups) {
    pe::TIconGroup group;
    for (int i = 0; i < 2; ++i) {
      ++id;
      group.Entries.push_back({{static_cast<uint8_t>(16 * (i + 1))}, id});
      table.Put(
        {kIcon, pe::TResourceKey::Number(id), pe::kUsEnglish, 0, std::vector<uint8_t>(40, static_cast<uint8_t>(id))});
    }
    table.Put({kGroupIcon, pe::TResourceKey::Text(name), pe::kUsEnglish, 0, pe::SerializeIconGroup(group)});
  }
  auto written = pe::WriteResources(image, table);
  EXPECT_TRUE(written) << written.Error();
  return written ? written.Value() : image;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

pe::TResourceTable ResourcesOf(const std::string& path)
{
  auto table = pe::ReadResources(ReadBytes(path));
  EXPECT_TRUE(table) << table.Error();
  return table ? table.Value() : pe::TResourceTable{};
}

// The main icon as the portable reader finds it: its languages, and for each group entry the
// entry's first 12 bytes, image id and image bytes.
struct TIconReadBack {
  std::vector<uint16_t> Languages;
  std::vector<std::tuple<std::string, uint16_t, std::string>> Entries;
  bool operator==(const TIconReadBack&) const = default;
};

TIconReadBack ReadIcon(const pe::TResourceTable& table, const pe::TResourceKey& name)
{
  TIconReadBack result;
  result.Languages = table.Languages(kGroupIcon, name);
  const pe::TResource* group = table.FindDefault(kGroupIcon, name);
  if (group == nullptr)
    return result;
  const auto parsed = pe::ParseIconGroup(group->Data);
  EXPECT_TRUE(parsed);
  for (const pe::TIconGroupEntry& entry : parsed ? parsed->Entries : std::vector<pe::TIconGroupEntry>{}) {
    const pe::TResource* image = table.FindDefault(kIcon, pe::TResourceKey::Number(entry.ImageId));
    result.Entries.emplace_back(std::string(entry.Header.begin(), entry.Header.end()), entry.ImageId,
                                image != nullptr ? std::string(image->Data.begin(), image->Data.end()) : "<missing>");
  }
  return result;
}

// Six images, one of them large enough that the resources must grow.
std::vector<std::string> SixImages()
{
  std::vector<std::string> images;
  for (size_t i = 0; i < 6; ++i) {
    std::string image(i == 4 ? 150000 : 100 + 37 * i, '\0');
    for (size_t b = 0; b < image.size(); ++b)
      image[b] = static_cast<char>(b * (i + 3) + i);
    images.push_back(image);
  }
  return images;
}

TEST(ChangeExeIcon, RefusesBadIconFilesAndLeavesTheExecutableAlone)
{
  TTempDir dir;
  const auto exe = SmallExecutable({u"MAINICON"});
  const std::string valid = test::IcoFile({"0123456789"});
  const std::string tooLarge = test::IcoFile({std::string(1048576 - 22 + 1, 'x')});
  const std::string largest = test::IcoFile({std::string(1048576 - 22, 'x')});
  // Sets a 32-bit field of the first directory entry: 8 the image's length, 12 its offset.
  auto withEntry = [](std::string ico, size_t field, uint32_t value) {
    for (unsigned i = 0; i < 4; ++i)
      ico[6 + field + i] = static_cast<char>(value >> (8 * i));
    return ico;
  };
  const std::string overflow = withEntry(withEntry(valid, 12, 0xFFFFFF10U), 8, 0x100);
  const std::string pastEnd = withEntry(valid, 8, 11);
  std::string countTooLarge = valid;
  countTooLarge[4] = 2;

  struct TCase {
    const char* Name;
    std::string Ico; // no file at all when empty
    const char* Message;
  };
  const TCase cases[] = {
    {"one byte over 1,048,576", tooLarge, "Icon file is too large"},
    {"no such file", std::string(), "Cannot open"},
    {"five bytes", valid.substr(0, 5), "Icon file is invalid"},
    {"an executable", "MZ" + valid.substr(2), "Icon file is invalid"},
    {"more directory entries than bytes", countTooLarge, "Icon file is invalid"},
    {"an image one byte past the end", pastEnd, "Icon file is invalid"},
    {"an image past 32 bits", overflow, "Icon file is invalid"},
  };
  for (const TResourceEditor editor : kEditors) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(EditorName(editor)) + ": " + c.Name);
      WriteBytes(dir.File("app.exe"), exe);
      const std::string ico = dir.File("bad icon.ico");
      std::filesystem::remove(test::PathOf(ico));
      if (!c.Ico.empty())
        WriteFile(ico, c.Ico);
      try {
        TExeUtils().ChangeExeIcon(dir.File("app.exe"), ico, editor);
        ADD_FAILURE() << "accepted";
      } catch (const std::runtime_error& error) {
        if (std::string(c.Message) == "Cannot open") {
          EXPECT_EQ(std::string(error.what()).rfind(c.Message, 0), 0U) << error.what();
        } else {
          EXPECT_EQ(std::string(error.what()), c.Message);
        }
      }
      EXPECT_TRUE(ReadBytes(dir.File("app.exe")) == exe) << "the executable changed";
    }
    // The largest icon file allowed is taken.
    SCOPED_TRACE(EditorName(editor));
    WriteBytes(dir.File("app.exe"), exe);
    WriteFile(dir.File("largest.ico"), largest);
    TExeUtils().ChangeExeIcon(dir.File("app.exe"), dir.File("largest.ico"), editor);
    const auto icon = ReadIcon(ResourcesOf(dir.File("app.exe")), kMainIcon);
    ASSERT_EQ(icon.Entries.size(), 1U);
    EXPECT_TRUE(std::get<2>(icon.Entries[0]) == largest.substr(22)) << "the image's bytes differ";
  }
}

TEST(ChangeExeIcon, AnExecutableWithoutMainIconIsRefusedUnchanged)
{
  TTempDir dir;
  const auto exe = SmallExecutable({u"OTHERICON"});
  WriteFile(dir.File("icon.ico"), test::IcoFile({"abc"}));
  for (const TResourceEditor editor : kEditors) {
    SCOPED_TRACE(EditorName(editor));
    WriteBytes(dir.File("app.exe"), exe);
    try {
      TExeUtils().ChangeExeIcon(dir.File("app.exe"), dir.File("icon.ico"), editor);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "FindResource failed (1)");
    }
    EXPECT_TRUE(ReadBytes(dir.File("app.exe")) == exe) << "the executable changed";
  }
}

TEST(ChangeExeIcon, ReplacesTheMainIconOfRealExecutablesAndKeepsEverythingElse)
{
  VELMORA_REQUIRE_REAL_EXECUTABLES(executables);
  TTempDir dir;
  const std::vector<std::string> images = SixImages();
  const std::string ico = test::IcoFile(images);
  WriteFile(dir.File("Grüße icon.ico"), ico);
  for (const auto& [name, path] : executables) {
    const pe::TResourceTable original = ResourcesOf(path);
    const TIconReadBack key = ReadIcon(original, kKeyImage);
    ASSERT_EQ(key.Entries.size(), 2U) << name << ": the runtime's resources carry the key image";
    for (const TResourceEditor editor : kEditors) {
      SCOPED_TRACE(name + " by the " + EditorName(editor) + " editor");
      const std::string exe = dir.File("Branded App.exe");
      std::filesystem::copy_file(test::PathOf(path), test::PathOf(exe),
                                 std::filesystem::copy_options::overwrite_existing);
      TExeUtils().ChangeExeIcon(exe, dir.File("Grüße icon.ico"), editor);

      const auto branded = ReadBytes(exe);
      // The system's update under wine leaves the old checksum; ours recomputes it.
      ExpectConsistentPeLayout(branded, editor == TResourceEditor::Portable);
      EXPECT_EQ(ImageEndFromHeaders(branded), branded.size());

      const pe::TResourceTable table = ResourcesOf(exe);
      const TIconReadBack icon = ReadIcon(table, kMainIcon);
      EXPECT_EQ(icon.Languages, std::vector<uint16_t>{pe::kUsEnglish});
      const std::vector<uint16_t> ids = {1, 2, 3, 6, 7, 8}; // 4 and 5 are the key's
      ASSERT_EQ(icon.Entries.size(), images.size());
      for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::get<0>(icon.Entries[i]), ico.substr(6 + 16 * i, 12));
        EXPECT_EQ(std::get<1>(icon.Entries[i]), ids[i]);
        EXPECT_TRUE(std::get<2>(icon.Entries[i]) == images[i]) << "the image's bytes differ";
        EXPECT_EQ(table.Languages(kIcon, pe::TResourceKey::Number(ids[i])), std::vector<uint16_t>{pe::kUsEnglish});
      }
      EXPECT_EQ(ReadIcon(table, kKeyImage), key) << "the key image must stay as it was";
      // Every resource that is neither the main icon nor one of its images is unchanged.
      for (const pe::TResource& item : original.Items) {
        if (item.Type.Matches(kGroupIcon) && item.Name.Matches(kMainIcon))
          continue;
        if (item.Type.Matches(kIcon) && item.Name.Id <= 3)
          continue;
        const pe::TResource* now = table.Find(item.Type, item.Name, item.Language);
        ASSERT_NE(now, nullptr) << "type " << item.Type.Id << " id " << item.Name.Id;
        EXPECT_EQ(now->Data, item.Data);
      }
    }
  }
}

// Every key with a text: long, short, non-ASCII, empty; the keys the runtime spells otherwise.
TExeVersionTexts AllTexts()
{
  TExeVersionTexts texts;
  const std::map<std::string_view, std::string> values = {
    {"CompanyName", "Grüße & Söhne GmbH"},
    {"FileDescription", std::string(255, 'd')},
    {"FileVersion", "2.0.0.1"},
    {"InternalName", "demo"},
    {"LegalCopyright", "© 2024 Grüße"},
    {"LegalTrademarks", ""},
    {"OriginalFileName", "Demo App.exe"},
    {"ProgramID", "com.example.demo"},
    {"ProductName", "Demo App"},
    {"ProductVersion", "2.0"},
    {"Comments", "Made with \xF0\x9F\x98\x80"},
  };
  for (size_t i = 0; i < kExeVersionKeys.size(); ++i)
    texts[i] = values.at(kExeVersionKeys[i]);
  return texts;
}

std::map<std::string, std::string> LowerCaseKeys(const pe::TVersionTable& table)
{
  std::map<std::string, std::string> texts;
  for (const pe::TVersionText& text : table.Texts) {
    std::string key = text.Key;
    for (char& c : key)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    texts[key] = text.Value;
  }
  return texts;
}

std::map<std::string, std::string> Expected(const TExeVersionTexts& texts, const std::string& otherwise)
{
  std::map<std::string, std::string> expected;
  for (size_t i = 0; i < kExeVersionKeys.size(); ++i) {
    std::string key(kExeVersionKeys[i]);
    for (char& c : key)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool isVersion = key == "fileversion" || key == "productversion";
    expected[key] = texts[i] ? *texts[i] : (isVersion ? "1.0.0.0" : otherwise);
  }
  return expected;
}

TEST(UpdateExeInfo, RewritesTheTextsOfRealExecutablesBesideTheOriginalBlock)
{
  VELMORA_REQUIRE_REAL_EXECUTABLES(executables);
  TTempDir dir;
  const std::string blanks(255, ' ');
  for (const auto& [name, path] : executables) {
    const pe::TResourceTable original = ResourcesOf(path);
    ASSERT_EQ(original.Languages(kVersion, pe::TResourceKey::Number(1)), std::vector<uint16_t>{pe::kUsEnglish});
    auto before = TExeUtils::GetExeVersionTexts(path);
    ASSERT_TRUE(before && before.Value().size() == 1) << name;
    EXPECT_EQ(before.Value()[0].Language, 0x0409);
    EXPECT_EQ(before.Value()[0].CodePage, 1252);
    EXPECT_EQ(LowerCaseKeys(before.Value()[0]), Expected(TExeVersionTexts{}, blanks))
      << "the runtime's block: placeholders of 255 blanks and two versions 1.0.0.0";

    for (const TResourceEditor editor : kEditors) {
      SCOPED_TRACE(name + " by the " + EditorName(editor) + " editor");
      const std::string exe = dir.File("App.exe");
      std::filesystem::copy_file(test::PathOf(path), test::PathOf(exe),
                                 std::filesystem::copy_options::overwrite_existing);
      const TExeVersionTexts texts = AllTexts();
      TExeUtils().UpdateExeInfo(exe, texts, editor);
      const auto branded = ReadBytes(exe);
      ExpectConsistentPeLayout(branded, editor == TResourceEditor::Portable);

      auto after = TExeUtils::GetExeVersionTexts(exe);
      ASSERT_TRUE(after && after.Value().size() == 1);
      EXPECT_EQ(LowerCaseKeys(after.Value()[0]), Expected(texts, blanks));
      const pe::TResourceTable table = ResourcesOf(exe);
      EXPECT_EQ(table.Languages(kVersion, pe::TResourceKey::Number(1)),
                (std::vector<uint16_t>{pe::kNeutralLanguage, pe::kUsEnglish}));
      EXPECT_EQ(table.Find(kVersion, pe::TResourceKey::Number(1), pe::kUsEnglish)->Data,
                original.Find(kVersion, pe::TResourceKey::Number(1), pe::kUsEnglish)->Data)
        << "the block it was read from stays";
      EXPECT_EQ(table.Find(kVersion, pe::TResourceKey::Number(1), pe::kNeutralLanguage)->Data.size(),
                original.Find(kVersion, pe::TResourceKey::Number(1), pe::kUsEnglish)->Data.size());

      // Branding again starts from the branded block; keys without a value keep their text.
      TExeVersionTexts again;
      again[*FindExeVersionKey("productname")] = "Second Name";
      again[*FindExeVersionKey("COMMENTS")] = "";
      TExeUtils().UpdateExeInfo(exe, again, editor);
      auto twice = TExeUtils::GetExeVersionTexts(exe);
      ASSERT_TRUE(twice && twice.Value().size() == 1);
      auto expected = Expected(texts, blanks);
      expected["productname"] = "Second Name";
      expected["comments"] = "";
      EXPECT_EQ(LowerCaseKeys(twice.Value()[0]), expected);
    }
  }
}

TEST(UpdateExeInfo, ATextLongerThanItsSlotIsRefusedAndNothingWritten)
{
  VELMORA_REQUIRE_REAL_EXECUTABLES(executables);
  TTempDir dir;
  struct TCase {
    const char* Key;
    std::string Text;
    const char* Message;
  };
  const TCase cases[] = {
    {"FileVersion", "1.0.10.0",
     "The version text FileVersion is too long: 8 characters where the executable's version block holds 7"},
    {"ProductName", std::string(256, 'n'),
     "The version text ProductName is too long: 256 characters where the executable's version block holds 255"},
  };
  const auto& [name, path] = executables.front();
  for (const TResourceEditor editor : kEditors) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(EditorName(editor)) + ": " + c.Key);
      const std::string exe = dir.File("App.exe");
      std::filesystem::copy_file(test::PathOf(path), test::PathOf(exe),
                                 std::filesystem::copy_options::overwrite_existing);
      const auto before = ReadBytes(exe);
      TExeVersionTexts texts;
      texts[*FindExeVersionKey("CompanyName")] = "fits";
      texts[*FindExeVersionKey(c.Key)] = c.Text;
      try {
        TExeUtils().UpdateExeInfo(exe, texts, editor);
        ADD_FAILURE() << "accepted";
      } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), c.Message);
      }
      EXPECT_TRUE(ReadBytes(exe) == before) << "the executable changed";
    }
  }
}

TEST(UpdateExeInfo, DoesNothingWithoutAnExecutableOrAVersionBlock)
{
  TTempDir dir;
  TExeVersionTexts texts;
  texts[0] = "Acme";
  const auto noVersion = SmallExecutable({u"MAINICON"});
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
    {"an executable without a version block", noVersion},
    {"a text file", test::Bytes("not an executable")},
  };
  for (const TResourceEditor editor : kEditors) {
    SCOPED_TRACE(EditorName(editor));
    EXPECT_NO_THROW(TExeUtils().UpdateExeInfo(dir.File("missing.exe"), texts, editor));
    EXPECT_FALSE(std::filesystem::exists(test::PathOf(dir.File("missing.exe"))));
    for (const auto& [name, bytes] : files) {
      SCOPED_TRACE(name);
      WriteBytes(dir.File("file.exe"), bytes);
      EXPECT_NO_THROW(TExeUtils().UpdateExeInfo(dir.File("file.exe"), texts, editor));
      EXPECT_TRUE(ReadBytes(dir.File("file.exe")) == bytes) << "the file changed";
    }
  }
}

TEST(FindExeVersionKey, KnowsTheElevenKeysInAnyLetterCase)
{
  EXPECT_EQ(kExeVersionKeys.size(), 11U);
  for (size_t i = 0; i < kExeVersionKeys.size(); ++i)
    EXPECT_EQ(FindExeVersionKey(kExeVersionKeys[i]), i);
  EXPECT_EQ(FindExeVersionKey("OriginalFilename"), FindExeVersionKey("OriginalFileName"));
  EXPECT_EQ(FindExeVersionKey("programid"), 7U);
  for (const char* unknown : {"", "Version", "CompanyName ", "SpecialBuild"})
    EXPECT_FALSE(FindExeVersionKey(unknown)) << unknown;
}

TEST(Branding, TheArchiveAppendedAfterBrandingStartsWhereTheBrandedImageEnds)
{
  VELMORA_REQUIRE_REAL_EXECUTABLES(executables);
  TTempDir dir;
  WriteFile(dir.File("icon.ico"), test::IcoFile(SixImages()));
  std::string zip = "PK\x03\x04";
  zip += std::string(30000, 'z');
  WriteFile(dir.File("app.zip"), zip);
  for (const auto& [name, path] : executables) {
    for (const TResourceEditor editor : kEditors) {
      SCOPED_TRACE(name + " by the " + EditorName(editor) + " editor");
      const std::string exe = dir.File("App.exe");
      std::filesystem::copy_file(test::PathOf(path), test::PathOf(exe),
                                 std::filesystem::copy_options::overwrite_existing);
      TExeUtils utils(exe);
      utils.ChangeExeIcon(exe, dir.File("icon.ico"), editor);
      utils.UpdateExeInfo(exe, AllTexts(), editor);
      const int64_t brandedSize = TExeUtils::GetFileSize(exe);
      EXPECT_GT(brandedSize, TExeUtils::GetFileSize(path)) << "the icon makes the resources grow";
      EXPECT_FALSE(utils.ExeHasAttachedStub());
      utils.AppendZipToExe(dir.File("app.zip"), exe);
      EXPECT_EQ(utils.GetAttachedStubOffset(), static_cast<uint64_t>(brandedSize));
      TAttachedArchive archive;
      utils.GetZipFromExe(archive);
      EXPECT_TRUE(std::string(archive.Bytes().begin(), archive.Bytes().end()) == zip) << "the archive differs";
    }
  }
}

} // namespace
} // namespace velmora
