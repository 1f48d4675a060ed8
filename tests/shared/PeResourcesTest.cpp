// The portable resource editor on bytes: resource trees, section growth, icon groups, version blocks.
#include "PeResources.h"

#include "support/PeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

namespace velmora::pe {
namespace {

using test::BuildPeImage;
using test::ExpectConsistentPeLayout;
using test::ReadPeLayout;
using test::TPeImageLayout;

void Put(std::vector<uint8_t>& data, size_t offset, uint64_t value, unsigned width)
{
  for (unsigned i = 0; i < width; ++i)
    data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return data;
}

// ---- Version blocks, laid out here by hand, independently of the code under test.

std::vector<uint8_t> VersionNode(std::u16string_view key, uint16_t type, const std::vector<uint8_t>& value,
                                 uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children)
{
  std::vector<uint8_t> node(6, 0);
  for (const char16_t c : key) {
    node.push_back(static_cast<uint8_t>(c));
    node.push_back(static_cast<uint8_t>(c >> 8));
  }
  node.insert(node.end(), {0, 0});
  node.resize((node.size() + 3) / 4 * 4, 0);
  node.insert(node.end(), value.begin(), value.end());
  for (const auto& child : children) {
    node.resize((node.size() + 3) / 4 * 4, 0);
    node.insert(node.end(), child.begin(), child.end());
  }
  Put(node, 0, node.size(), 2);
  Put(node, 2, valueLength, 2);
  Put(node, 4, type, 2);
  return node;
}

// A text value with its terminating NUL, as resource compilers write it.
std::vector<uint8_t> TextValue(std::u16string_view key, std::u16string_view text)
{
  std::vector<uint8_t> value;
  for (const char16_t c : text) {
    value.push_back(static_cast<uint8_t>(c));
    value.push_back(static_cast<uint8_t>(c >> 8));
  }
  value.insert(value.end(), {0, 0});
  return VersionNode(key, 1, value, static_cast<uint16_t>(text.size() + 1), {});
}

struct TTableSpec {
  std::u16string Name;
  std::vector<std::pair<std::u16string, std::u16string>> Texts;
};

std::vector<uint8_t> VersionBlock(const std::vector<TTableSpec>& tables,
                                  const std::vector<std::pair<uint16_t, uint16_t>>& translations)
{
  std::vector<uint8_t> fixed(52, 0);
  Put(fixed, 0, 0xFEEF04BD, 4);
  std::vector<std::vector<uint8_t>> tableNodes;
  for (const TTableSpec& table : tables) {
    std::vector<std::vector<uint8_t>> texts;
    for (const auto& [key, text] : table.Texts)
      texts.push_back(TextValue(key, text));
    tableNodes.push_back(VersionNode(table.Name, 1, {}, 0, texts));
  }
  std::vector<uint8_t> pairs(4 * translations.size());
  for (size_t i = 0; i < translations.size(); ++i) {
    Put(pairs, 4 * i, translations[i].first, 2);
    Put(pairs, 4 * i + 2, translations[i].second, 2);
  }
  const auto varFileInfo = VersionNode(
    u"VarFileInfo", 1, {}, 0, {VersionNode(u"Translation", 0, pairs, static_cast<uint16_t>(pairs.size()), {})});
  return VersionNode(u"VS_VERSION_INFO", 0, fixed, 52,
                     {VersionNode(u"StringFileInfo", 1, {}, 0, tableNodes), varFileInfo});
}

const std::u16string kBlanks20(20, u' ');

std::vector<uint8_t> TwoTranslationBlock()
{
  return VersionBlock(
    {{u"040904E4", {{u"CompanyName", kBlanks20}, {u"FileVersion", u"1.0.0.0"}, {u"OriginalFilename", kBlanks20}}},
     {u"040704b0", {{u"CompanyName", u"xxxxxxxxxx"}, {u"Comments", u"old comment"}}},
     {u"041104B0", {{u"CompanyName", u"not listed"}}}},
    {{0x0409, 1252}, {0x0407, 1200}});
}

std::map<std::string, std::string> TextsOf(const TVersionTable& table)
{
  std::map<std::string, std::string> texts;
  for (const TVersionText& text : table.Texts)
    texts[text.Key] = text.Value;
  return texts;
}

TEST(VersionTexts, EveryListedTranslationIsRewrittenInPlace)
{
  const std::vector<uint8_t> block = TwoTranslationBlock();
  const std::vector<TVersionText> texts = {
    {"CompanyName", "Acme"}, {"OriginalFileName", "app.exe"}, {"ProgramID", "absent key"}, {"Comments", ""}};
  auto rewritten = RewriteVersionTexts(block, texts);
  ASSERT_TRUE(rewritten) << rewritten.Error();
  const std::vector<uint8_t>& out = rewritten.Value();
  ASSERT_EQ(out.size(), block.size()) << "the layout of the block never changes";

  auto tables = ReadVersionTexts(out);
  ASSERT_TRUE(tables) << tables.Error();
  ASSERT_EQ(tables.Value().size(), 2U) << "the table of a translation not listed is not read";
  EXPECT_EQ(tables.Value()[0].Language, 0x0409);
  EXPECT_EQ(tables.Value()[0].CodePage, 1252);
  EXPECT_EQ(TextsOf(tables.Value()[0]),
            (std::map<std::string, std::string>{
              {"CompanyName", "Acme"}, {"FileVersion", "1.0.0.0"}, {"OriginalFilename", "app.exe"}}));
  EXPECT_EQ(tables.Value()[1].Language, 0x0407);
  EXPECT_EQ(TextsOf(tables.Value()[1]),
            (std::map<std::string, std::string>{{"CompanyName", "Acme"}, {"Comments", ""}}));

  // Only value slots changed, and each slot is zero after the new text: nothing of the old one remains.
  const std::u16string acme = u"Acme";
  std::vector<uint8_t> acmeSlot(2 * (kBlanks20.size() + 1), 0);
  for (size_t i = 0; i < acme.size(); ++i)
    acmeSlot[2 * i] = static_cast<uint8_t>(acme[i]);
  EXPECT_NE(std::search(out.begin(), out.end(), acmeSlot.begin(), acmeSlot.end()), out.end());
  size_t changed = 0;
  for (size_t i = 0; i < out.size(); ++i)
    changed += out[i] != block[i] ? 1U : 0U;
  EXPECT_LE(changed, 2U * (20 + 20 + 10 + 11)) << "bytes outside the four rewritten slots changed";
  const std::u16string unlisted = u"not listed";
  const std::vector<uint8_t> unlistedBytes(reinterpret_cast<const uint8_t*>(unlisted.data()),
                                           reinterpret_cast<const uint8_t*>(unlisted.data() + unlisted.size()));
  EXPECT_NE(std::search(out.begin(), out.end(), unlistedBytes.begin(), unlistedBytes.end()), out.end());
}

TEST(VersionTexts, ATextMustBeShorterThanItsSlot)
{
  const std::u16string blanks255(255, u' ');
  const auto block =
    VersionBlock({{u"040904E4", {{u"FileVersion", u"1.0.0.0"}, {u"ProductName", blanks255}}}}, {{0x0409, 1252}});
  struct TCase {
    const char* Name;
    std::string Key;
    std::string Text;
    const char* Refusal; // nullptr when the text fits
  };
  // clang-format off
  const TCase cases[] = {
    {"seven characters fill a 1.0.0.0 slot", "FileVersion", "2.3.4.5", nullptr},
    {"eight do not", "FileVersion", "1.0.10.0", "The version text FileVersion is too long: 8 characters where the executable's version block holds 7"},
    {"an empty text", "FileVersion", "", nullptr},
    {"255 characters in a placeholder", "ProductName", std::string(255, 'p'), nullptr},
    {"256 characters", "ProductName", std::string(256, 'p'), "holds 255"},
    {"non-ASCII letters count once", "FileVersion", "\xC3\xA4\xC3\xB6\xC3\xBC.1.2", nullptr},
    {"characters beyond U+FFFF count twice", "FileVersion", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "8 characters"},
  };
  // clang-format on
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<TVersionText> texts = {{c.Key, c.Text}};
    auto rewritten = RewriteVersionTexts(block, texts);
    if (c.Refusal != nullptr) {
      ASSERT_FALSE(rewritten);
      EXPECT_NE(rewritten.Error().find(c.Refusal), std::string::npos) << rewritten.Error();
      continue;
    }
    ASSERT_TRUE(rewritten) << rewritten.Error();
    auto tables = ReadVersionTexts(rewritten.Value());
    ASSERT_TRUE(tables && tables.Value().size() == 1);
    EXPECT_EQ(TextsOf(tables.Value()[0]).at(c.Key), c.Text);
  }

  // One text too long refuses the whole rewrite, including the texts before it.
  const std::vector<TVersionText> mixed = {{"ProductName", "fits"}, {"FileVersion", "10.10.10.10"}};
  EXPECT_FALSE(RewriteVersionTexts(block, mixed));
}

TEST(VersionTexts, MalformedBlocksAreRefused)
{
  const std::vector<uint8_t> good = TwoTranslationBlock();
  ASSERT_TRUE(ReadVersionTexts(good));
  auto lengthPastEnd = good;
  Put(lengthPastEnd, 0, good.size() + 4, 2);
  auto keyWithoutEnd = VersionNode(u"VS_VERSION_INFO", 0, {}, 0, {});
  keyWithoutEnd.resize(keyWithoutEnd.size() - 4); // cuts the key's NUL and padding
  Put(keyWithoutEnd, 0, keyWithoutEnd.size(), 2);
  auto valuePastNode = VersionBlock({{u"040904E4", {{u"CompanyName", u"abc"}}}}, {{0x0409, 1252}});
  // The first text's wValueLength claims 400 characters.
  const std::u16string key = u"CompanyName";
  const auto at = std::search(valuePastNode.begin(), valuePastNode.end(), reinterpret_cast<const uint8_t*>(key.data()),
                              reinterpret_cast<const uint8_t*>(key.data() + key.size()));
  ASSERT_NE(at, valuePastNode.end());
  Put(valuePastNode, static_cast<size_t>(at - valuePastNode.begin()) - 4, 400, 2);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
    {"empty", {}},
    {"shorter than a node header", {8, 0, 0}},
    {"wLength past the end", lengthPastEnd},
    {"key without its NUL", keyWithoutEnd},
    {"value past its node", valuePastNode},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ReadVersionTexts(bytes));
    const std::vector<TVersionText> texts = {{"CompanyName", "x"}};
    EXPECT_FALSE(RewriteVersionTexts(bytes, texts));
  }
}

// ---- Resource tables and trees.

TResource Item(TResourceKey type, TResourceKey name, uint16_t language, std::vector<uint8_t> data,
               uint32_t codePage = 0)
{
  return {std::move(type), std::move(name), language, codePage, std::move(data)};
}

TEST(ResourceTable, NeutralLookupPrefersNeutralThenUsEnglishThenTheFirstListed)
{
  struct TCase {
    std::vector<uint16_t> Languages;
    int Expected; // -1: none
  };
  const TCase cases[] = {{{1033, 0}, 0}, {{1031, 1033}, 1033}, {{1036, 1031}, 1031}, {{}, -1}};
  for (const TCase& c : cases) {
    TResourceTable table;
    for (const uint16_t language : c.Languages)
      table.Put(Item(TResourceKey::Number(kGroupIconType), TResourceKey::Text(u"MAINICON"), language, {1}));
    const TResource* found = table.FindDefault(TResourceKey::Number(kGroupIconType), TResourceKey::Text(u"mainIcon"));
    if (c.Expected < 0) {
      EXPECT_EQ(found, nullptr);
      continue;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Language, c.Expected);
  }
}

// A table with text and number types and names in several languages and code pages.
TResourceTable MixedTable(size_t bigSize)
{
  TResourceTable table;
  table.Put(Item(TResourceKey::Number(kVersionType), TResourceKey::Number(1), 1033, Pattern(300, 1)));
  table.Put(Item(TResourceKey::Text(u"MYDATA"), TResourceKey::Text(u"ZETA"), 0, Pattern(7, 2), 1252));
  table.Put(Item(TResourceKey::Text(u"MYDATA"), TResourceKey::Text(u"ALPHA"), 1031, Pattern(bigSize, 3)));
  table.Put(Item(TResourceKey::Number(kIconType), TResourceKey::Number(2), 1033, Pattern(40, 4)));
  table.Put(Item(TResourceKey::Number(kIconType), TResourceKey::Number(1), 1033, Pattern(41, 5)));
  table.Put(Item(TResourceKey::Number(kIconType), TResourceKey::Number(1), 0, Pattern(42, 6)));
  table.Put(Item(TResourceKey::Number(kGroupIconType), TResourceKey::Text(u"MAINICON"), 1033, Pattern(34, 7)));
  return table;
}

using TResourceRow =
  std::tuple<std::u16string, uint16_t, std::u16string, uint16_t, uint16_t, uint32_t, std::vector<uint8_t>>;

std::vector<TResourceRow> Rows(const TResourceTable& table)
{
  std::vector<TResourceRow> rows;
  for (const TResource& item : table.Items)
    rows.emplace_back(item.Type.Name, item.Type.Id, item.Name.Name, item.Name.Id, item.Language, item.CodePage,
                      item.Data);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// .text, .rsrc with an empty tree in 0x600 bytes of room, and maybe .reloc after it.
TPeImageLayout ImageLayout(bool relocationsFollow, bool withChecksum)
{
  TPeImageLayout layout;
  layout.Sections.push_back({".text", std::vector<uint8_t>(0x180, 0xC3), 0x60000020});
  auto tree = test::EmptyResourceTree();
  tree.resize(0x600, 0);
  layout.Sections.push_back({".rsrc", tree, 0x40000040});
  layout.ResourceSection = 1;
  if (relocationsFollow) {
    layout.Sections.push_back({".reloc", test::PaddingRelocations(), 0x42000040});
    layout.RelocationSection = 2;
  }
  layout.Checksum = withChecksum;
  return layout;
}

uint32_t Align(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

TEST(WriteResources, TheTreeReadsBackAndTheLayoutStaysConsistent)
{
  enum class TGrowth { None, FileOnly, FileAndMemory };
  struct TCase {
    const char* Name;
    bool RelocationsFollow;
    size_t BigSize;
    TGrowth Growth;
  };
  const TCase cases[] = {
    {"fits in the old raw data", true, 0, TGrowth::None},
    {"grows within its address room", true, 2000, TGrowth::FileOnly},
    {"grows past the next section", true, 9000, TGrowth::FileAndMemory},
    {"the last section grows", false, 9000, TGrowth::FileAndMemory},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> image = BuildPeImage(ImageLayout(c.RelocationsFollow, true));
    const TResourceTable table = MixedTable(c.BigSize);
    auto written = WriteResources(image, table);
    ASSERT_TRUE(written) << written.Error();
    const std::vector<uint8_t>& out = written.Value();
    ExpectConsistentPeLayout(out, true);

    auto read = ReadResources(out);
    ASSERT_TRUE(read) << read.Error();
    EXPECT_EQ(Rows(read.Value()), Rows(table));

    // The raw data grows to the tree's size in whole file alignments, the address room to it in
    // whole section alignments, and neither shrinks.
    const auto before = ReadPeLayout(image);
    const auto after = ReadPeLayout(out);
    const uint32_t oldRaw = before.Section(".rsrc")->SizeOfRawData;
    const uint32_t oldRoom = 0x1000;
    const uint32_t rawGrowth = std::max(Align(after.ResourceSize, 0x200), oldRaw) - oldRaw;
    const uint32_t addressGrowth = std::max(Align(after.ResourceSize, 0x1000), oldRoom) - oldRoom;
    EXPECT_EQ(rawGrowth != 0, c.Growth != TGrowth::None);
    EXPECT_EQ(addressGrowth != 0, c.Growth == TGrowth::FileAndMemory);
    EXPECT_EQ(after.Section(".rsrc")->SizeOfRawData - oldRaw, rawGrowth);
    EXPECT_EQ(after.SizeOfImage - before.SizeOfImage, addressGrowth);
    EXPECT_TRUE(std::equal(image.begin() + 0x400, image.begin() + 0x600, out.begin() + 0x400)) << ".text changed";
    if (c.RelocationsFollow) {
      const auto* oldRelocations = before.Section(".reloc");
      const auto* newRelocations = after.Section(".reloc");
      EXPECT_EQ(newRelocations->PointerToRawData - oldRelocations->PointerToRawData, rawGrowth);
      EXPECT_EQ(newRelocations->VirtualAddress - oldRelocations->VirtualAddress, addressGrowth);
      EXPECT_EQ(after.RelocationRva, newRelocations->VirtualAddress);
      EXPECT_TRUE(std::equal(image.begin() + oldRelocations->PointerToRawData, image.end(),
                             out.begin() + newRelocations->PointerToRawData))
        << "the relocations' content must move unchanged";
    }
  }
}

TEST(WriteResources, RefusesWhatItCannotRewriteSoundly)
{
  const std::vector<uint8_t> good = BuildPeImage(ImageLayout(true, false));
  auto withArchive = good;
  withArchive.insert(withArchive.end(), {'P', 'K', 3, 4});

  TPeImageLayout dataFollows = ImageLayout(false, false);
  dataFollows.Sections.push_back({".data", std::vector<uint8_t>(64, 1), 0xC0000040});
  TPeImageLayout noResources = ImageLayout(false, false);
  noResources.ResourceSection = -1;

  struct TCase {
    const char* Name;
    std::vector<uint8_t> Image;
    size_t BigSize;
    const char* Refusal; // nullptr when accepted
  };
  const TCase cases[] = {
    {"data after the image", withArchive, 0, "carries data after its image"},
    {"a data section after the resources, growth needed", BuildPeImage(dataFollows), 9000,
     "cannot grow: the section \".data\" follows them"},
    {"a data section after the resources, no growth needed", BuildPeImage(dataFollows), 0, nullptr},
    {"no resource section", BuildPeImage(noResources), 0, "no resource section"},
    {"not an executable", test::Bytes("MZ not really"), 0, "not a Windows executable"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto written = WriteResources(c.Image, MixedTable(c.BigSize));
    if (c.Refusal == nullptr) {
      ASSERT_TRUE(written) << written.Error();
      ExpectConsistentPeLayout(written.Value(), true);
      continue;
    }
    ASSERT_FALSE(written);
    EXPECT_NE(written.Error().find(c.Refusal), std::string::npos) << written.Error();
  }
}

TEST(ReadResources, MalformedTreesAreRefusedNotFollowed)
{
  TResourceTable one;
  one.Put(Item(TResourceKey::Number(kVersionType), TResourceKey::Text(u"NAME"), 0, Pattern(10, 9)));
  auto written = WriteResources(BuildPeImage(ImageLayout(false, false)), one);
  ASSERT_TRUE(written);
  const std::vector<uint8_t> good = written.Value();
  ASSERT_TRUE(ReadResources(good));
  const size_t tree = ReadPeLayout(good).Section(".rsrc")->PointerToRawData;
  // The layout written: root (16 + 8), type directory (16 + 8), name directory (16 + 8), then the
  // data entry.
  const size_t typeEntry = tree + 16;
  const size_t nameEntry = tree + 24 + 16;
  const size_t dataEntry = tree + 72;
  struct TCase {
    const char* Name;
    size_t Offset;
    uint32_t Value;
  };
  const TCase cases[] = {
    {"a type that points back at the root", typeEntry + 4, 0x80000000U},
    {"a name text past the tree", nameEntry, 0x8000FFF0U},
    {"a leaf where a directory belongs", typeEntry + 4, static_cast<uint32_t>(dataEntry - tree)},
    {"data outside every section", dataEntry, 0x7FFF0000U},
    {"data running past its section", dataEntry + 4, 0x100000U},
    {"more entries than the tree holds", tree + 14, 0xFFFF},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto broken = good;
    Put(broken, c.Offset, c.Value, c.Offset == tree + 14 ? 2 : 4);
    auto read = ReadResources(broken);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.Error(), "The resources of the executable are malformed");
  }
}

// ---- Icons.

TEST(IconChecks, AnIcoFileMustHoldItsDirectoryAndImages)
{
  const std::string one = test::IcoFile({"0123456789"});
  auto withCount = [](std::string ico, uint16_t count) {
    ico[4] = static_cast<char>(count);
    ico[5] = static_cast<char>(count >> 8);
    return ico;
  };
  auto withEntry = [](std::string ico, size_t field, uint32_t value) {
    std::string bytes;
    for (unsigned i = 0; i < 4; ++i)
      bytes.push_back(static_cast<char>(value >> (8 * i)));
    return ico.replace(6 + field, 4, bytes);
  };
  struct TCase {
    const char* Name;
    std::string Ico;
    bool Valid;
  };
  const TCase cases[] = {
    {"one image", one, true},
    {"no images at all", std::string("\0\0\1\0\0\0", 6), true},
    {"five bytes", std::string("\0\0\1\0\0", 5), false},
    {"an executable", "MZ" + one.substr(2), false},
    {"a directory longer than the file", withCount(one, 2), false},
    {"an image one byte past the end", withEntry(one, 8, 11), false},
    {"an image ending exactly at the end", withEntry(withEntry(one, 8, 1), 12, static_cast<uint32_t>(one.size() - 1)),
     true},
    {"offset plus length past 32 bits", withEntry(withEntry(one, 8, 0x20), 12, 0xFFFFFFF0U), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto bytes = test::Bytes(c.Ico);
    EXPECT_EQ(IsValidIcon(bytes), c.Valid);
  }
}

TEST(IconReplacement, NewImagesTakeIdsFromOneAndPassOverTheIdsOfOtherGroups)
{
  TIconGroup old{0, 1, {}};
  for (uint16_t id = 1; id <= 4; ++id)
    old.Entries.push_back({{static_cast<uint8_t>(id)}, id});
  const std::vector<std::string> images = {"a", "bb", "ccc", "dddd", "eeeee", "ffffff"};
  const auto ico = test::Bytes(test::IcoFile(images));
  // Id 4 is listed by the old group and by another one (KEYIMAGE lists 4 and 5).
  auto plan = PlanIconReplacement(SerializeIconGroup(old), ico, {4, 5});
  ASSERT_TRUE(plan) << plan.Error();
  EXPECT_EQ(plan.Value().OldImageIds, (std::vector<uint16_t>{1, 2, 3})) << "an image another group lists stays";
  ASSERT_EQ(plan.Value().NewImages.size(), images.size());
  const std::vector<uint16_t> expectedIds = {1, 2, 3, 6, 7, 8};
  const auto group = ParseIconGroup(plan.Value().NewGroup);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->Reserved, 0);
  EXPECT_EQ(group->Type, 1);
  ASSERT_EQ(group->Entries.size(), images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(plan.Value().NewImages[i].Id, expectedIds[i]);
    EXPECT_EQ(std::string(plan.Value().NewImages[i].Bytes.begin(), plan.Value().NewImages[i].Bytes.end()), images[i]);
    EXPECT_EQ(group->Entries[i].ImageId, expectedIds[i]);
    EXPECT_TRUE(std::equal(group->Entries[i].Header.begin(), group->Entries[i].Header.end(),
                           ico.begin() + static_cast<std::ptrdiff_t>(6 + 16 * i)))
      << "the group entry starts with the .ico entry's first 12 bytes";
  }

  EXPECT_FALSE(PlanIconReplacement(std::vector<uint8_t>{0, 0, 1, 0, 5, 0}, ico, {})) << "a truncated old group";
}

} // namespace
} // namespace velmora::pe
