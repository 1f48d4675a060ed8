// Reading and rebuilding the resource section of a PE image, icon groups and version blocks.
#include "PeResources.h"

#include "ExeUtils.h"
#include "TextCodec.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace velmora::pe {

namespace {

// Bounds-checked little-endian access to image bytes.
bool Fits(std::span<const uint8_t> data, uint64_t offset, uint64_t length)
{
  return offset <= data.size() && length <= data.size() - offset;
}

uint16_t Get16(std::span<const uint8_t> data, size_t offset)
{
  return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}

uint32_t Get32(std::span<const uint8_t> data, size_t offset)
{
  return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
         (static_cast<uint32_t>(data[offset + 2]) << 16) | (static_cast<uint32_t>(data[offset + 3]) << 24);
}

void Set16(std::vector<uint8_t>& data, size_t offset, uint16_t value)
{
  data[offset] = static_cast<uint8_t>(value);
  data[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Set32(std::vector<uint8_t>& data, size_t offset, uint32_t value)
{
  for (unsigned i = 0; i < 4; ++i)
    data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameTextIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char16_t x, char16_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// Offsets of the fields this unit reads and writes.
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kResourceDirectory = 2;
constexpr size_t kBaseRelocationDirectory = 5;
constexpr uint32_t kInitializedData = 0x40; // IMAGE_SCN_CNT_INITIALIZED_DATA

struct TSection {
  size_t HeaderOffset = 0;
  std::string Name;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
  uint32_t Characteristics = 0;
};

struct TDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
};

// What the headers say about the image's layout.
struct TLayout {
  size_t OptionalHeader = 0;
  size_t Directories = 0; // offset of the data directory array
  uint32_t DirectoryCount = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  std::vector<TSection> Sections; // in table order

  size_t SizeOfInitializedDataOffset() const { return OptionalHeader + 8; }
  size_t SizeOfImageOffset() const { return OptionalHeader + 56; }
  size_t ChecksumOffset() const { return OptionalHeader + 64; }
  size_t DirectoryOffset(size_t index) const { return Directories + 8 * index; }

  TDirectory Directory(std::span<const uint8_t> image, size_t index) const
  {
    if (index >= DirectoryCount)
      return {};
    return {Get32(image, DirectoryOffset(index)), Get32(image, DirectoryOffset(index) + 4)};
  }

  // The section whose address range holds rva.
  const TSection* SectionAt(uint32_t rva) const
  {
    for (const TSection& section : Sections) {
      const uint64_t span = std::max(section.VirtualSize, section.SizeOfRawData);
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < span)
        return &section;
    }
    return nullptr;
  }

  // The file offset of [rva, rva + length) when the range lies in one section's raw data.
  std::optional<size_t> FileOffset(std::span<const uint8_t> image, uint32_t rva, uint32_t length) const
  {
    const TSection* section = SectionAt(rva);
    if (section == nullptr)
      return std::nullopt;
    const uint64_t inside = rva - section->VirtualAddress;
    if (inside > section->SizeOfRawData || length > section->SizeOfRawData - inside)
      return std::nullopt;
    const uint64_t offset = section->PointerToRawData + inside;
    if (!Fits(image, offset, length))
      return std::nullopt;
    return static_cast<size_t>(offset);
  }
};

std::optional<TLayout> ParseLayout(std::span<const uint8_t> image)
{
  if (!Fits(image, 0, 0x40) || image[0] != 'M' || image[1] != 'Z')
    return std::nullopt;
  const uint32_t lfanew = Get32(image, 0x3C);
  if (!Fits(image, lfanew, 4 + kFileHeaderSize) || std::memcmp(&image[lfanew], "PE\0\0", 4) != 0)
    return std::nullopt;
  const size_t fileHeader = lfanew + 4;
  const uint16_t sectionCount = Get16(image, fileHeader + 2);
  const uint16_t optionalSize = Get16(image, fileHeader + 16);
  TLayout layout;
  layout.OptionalHeader = fileHeader + kFileHeaderSize;
  if (!Fits(image, layout.OptionalHeader, optionalSize) || optionalSize < 2)
    return std::nullopt;
  const uint16_t magic = Get16(image, layout.OptionalHeader);
  if (magic != kPe32Magic && magic != kPe32PlusMagic)
    return std::nullopt;
  const size_t countField = magic == kPe32PlusMagic ? 108 : 92;
  if (optionalSize < countField + 4)
    return std::nullopt;
  layout.Directories = layout.OptionalHeader + countField + 4;
  layout.DirectoryCount = std::min<uint32_t>(Get32(image, layout.OptionalHeader + countField),
                                             static_cast<uint32_t>((optionalSize - countField - 4) / 8));
  layout.SectionAlignment = Get32(image, layout.OptionalHeader + 32);
  layout.FileAlignment = Get32(image, layout.OptionalHeader + 36);
  if (!IsPowerOfTwo(layout.SectionAlignment) || !IsPowerOfTwo(layout.FileAlignment) || sectionCount == 0)
    return std::nullopt;
  const size_t table = layout.OptionalHeader + optionalSize;
  if (!Fits(image, table, static_cast<uint64_t>(sectionCount) * kSectionHeaderSize))
    return std::nullopt;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t header = table + i * kSectionHeaderSize;
    TSection section;
    section.HeaderOffset = header;
    const auto name = image.subspan(header, 8);
    section.Name.assign(name.begin(), std::find(name.begin(), name.end(), uint8_t{0}));
    section.VirtualSize = Get32(image, header + 8);
    section.VirtualAddress = Get32(image, header + 12);
    section.SizeOfRawData = Get32(image, header + 16);
    section.PointerToRawData = Get32(image, header + 20);
    section.Characteristics = Get32(image, header + 36);
    layout.Sections.push_back(section);
  }
  return layout;
}

// Reading the resource tree. Offsets inside the tree count from its root directory.
class TTreeReader {
public:
  TTreeReader(std::span<const uint8_t> image, const TLayout& layout, std::span<const uint8_t> tree)
    : FImage(image), FLayout(layout), FTree(tree)
  {}

  TStatus Read(TResourceTable& table)
  {
    TResourceKey path[2];
    return ReadDirectory(0, 0, path, table);
  }

private:
  // Bounds on the work a crafted tree can cause: entries that point at shared subdirectories would
  // otherwise multiply.
  static constexpr size_t kMaxEntries = 1 << 16;

  TStatus Malformed() const { return TError{"The resources of the executable are malformed"}; }

  TStatus ReadDirectory(uint32_t offset, int level, TResourceKey (&path)[2], TResourceTable& table)
  {
    if (!Fits(FTree, offset, 16))
      return Malformed();
    const size_t count = static_cast<size_t>(Get16(FTree, offset + 12)) + Get16(FTree, offset + 14);
    if (!Fits(FTree, offset + 16ULL, count * 8ULL))
      return Malformed();
    for (size_t i = 0; i < count; ++i) {
      if (++FEntries > kMaxEntries)
        return Malformed();
      const size_t entry = offset + 16 + i * 8;
      const uint32_t nameField = Get32(FTree, entry);
      const uint32_t dataField = Get32(FTree, entry + 4);
      TResourceKey key;
      if ((nameField & 0x80000000U) != 0) {
        const uint32_t at = nameField & 0x7FFFFFFFU;
        if (!Fits(FTree, at, 2) || !Fits(FTree, at + 2ULL, 2ULL * Get16(FTree, at)))
          return Malformed();
        for (size_t c = 0; c < Get16(FTree, at); ++c)
          key.Name.push_back(static_cast<char16_t>(Get16(FTree, at + 2 + 2 * c)));
        if (key.Name.empty() || level == 2)
          return Malformed();
      } else {
        if (nameField > 0xFFFF)
          return Malformed();
        key.Id = static_cast<uint16_t>(nameField);
      }
      const bool isDirectory = (dataField & 0x80000000U) != 0;
      if (isDirectory != (level < 2))
        return Malformed();
      if (level < 2) {
        path[level] = key;
        if (TStatus status = ReadDirectory(dataField & 0x7FFFFFFFU, level + 1, path, table); !status)
          return status;
        continue;
      }
      if (!Fits(FTree, dataField, 16))
        return Malformed();
      const uint32_t rva = Get32(FTree, dataField);
      const uint32_t size = Get32(FTree, dataField + 4);
      const auto at = FLayout.FileOffset(FImage, rva, size);
      if (!at)
        return Malformed();
      TResource resource{path[0], path[1], key.Id, Get32(FTree, dataField + 8), {}};
      resource.Data.assign(FImage.begin() + static_cast<std::ptrdiff_t>(*at),
                           FImage.begin() + static_cast<std::ptrdiff_t>(*at + size));
      table.Items.push_back(std::move(resource));
    }
    return {};
  }

  std::span<const uint8_t> FImage;
  const TLayout& FLayout;
  std::span<const uint8_t> FTree;
  size_t FEntries = 0;
};

// The order of a resource directory: texts first, in code unit order, then numbers ascending.
bool KeyLess(const TResourceKey& a, const TResourceKey& b)
{
  if (a.IsText() != b.IsText())
    return a.IsText();
  return a.IsText() ? a.Name < b.Name : a.Id < b.Id;
}

// Lays out a resource tree for a section at sectionRva: every directory (root, then the types',
// then the names'), the data entries, the texts of named keys, then the data, each item 8-aligned.
std::vector<uint8_t> SerializeTree(const TResourceTable& table, uint32_t sectionRva,
                                   const std::array<uint8_t, 12>& directoryHeader)
{
  struct TName {
    TResourceKey Key;
    std::vector<const TResource*> Languages;
  };
  struct TType {
    TResourceKey Key;
    std::vector<TName> Names;
  };
  std::vector<const TResource*> sorted;
  for (const TResource& item : table.Items)
    sorted.push_back(&item);
  std::stable_sort(sorted.begin(), sorted.end(), [](const TResource* a, const TResource* b) {
    if (KeyLess(a->Type, b->Type) || KeyLess(b->Type, a->Type))
      return KeyLess(a->Type, b->Type);
    if (KeyLess(a->Name, b->Name) || KeyLess(b->Name, a->Name))
      return KeyLess(a->Name, b->Name);
    return a->Language < b->Language;
  });
  std::vector<TType> types;
  for (const TResource* item : sorted) {
    if (types.empty() || !(types.back().Key == item->Type))
      types.push_back({item->Type, {}});
    auto& names = types.back().Names;
    if (names.empty() || !(names.back().Key == item->Name))
      names.push_back({item->Name, {}});
    names.back().Languages.push_back(item);
  }

  // Offsets of every part.
  uint64_t size = 16 + 8 * types.size();
  std::vector<uint64_t> typeDirs, nameDirs;
  for (const TType& type : types) {
    typeDirs.push_back(size);
    size += 16 + 8 * type.Names.size();
  }
  for (const TType& type : types) {
    for (const TName& name : type.Names) {
      nameDirs.push_back(size);
      size += 16 + 8 * name.Languages.size();
    }
  }
  const uint64_t dataEntries = size;
  size += 16 * sorted.size();
  std::map<std::u16string, uint64_t> texts;
  auto placeText = [&](const TResourceKey& key) {
    if (key.IsText() && texts.emplace(key.Name, size).second)
      size += 2 + 2 * key.Name.size();
  };
  for (const TType& type : types) {
    placeText(type.Key);
    for (const TName& name : type.Names)
      placeText(name.Key);
  }
  std::vector<uint64_t> blobs;
  for (const TResource* item : sorted) {
    size = AlignUp(size, 8);
    blobs.push_back(size);
    size += item->Data.size();
  }

  std::vector<uint8_t> out(static_cast<size_t>(size), 0);
  static const TResourceKey kLanguageKey = TResourceKey::Number(0);
  // Directories keep the old root's characteristics, time stamp and version; texts come first.
  auto writeDirectory = [&](uint64_t at, auto keys) {
    std::copy(directoryHeader.begin(), directoryHeader.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    const auto named = static_cast<uint16_t>(
      std::count_if(keys.begin(), keys.end(), [](const TResourceKey* key) { return key->IsText(); }));
    Set16(out, static_cast<size_t>(at + 12), named);
    Set16(out, static_cast<size_t>(at + 14), static_cast<uint16_t>(keys.size() - named));
  };
  auto writeEntry = [&](uint64_t at, const TResourceKey& key, uint32_t target) {
    Set32(out, static_cast<size_t>(at),
          key.IsText() ? static_cast<uint32_t>(texts.at(key.Name)) | 0x80000000U : key.Id);
    Set32(out, static_cast<size_t>(at + 4), target);
  };

  std::vector<const TResourceKey*> typeKeys;
  for (const TType& type : types)
    typeKeys.push_back(&type.Key);
  writeDirectory(0, typeKeys);
  size_t nameIndex = 0;
  size_t leafIndex = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    const TType& type = types[t];
    writeEntry(16 + 8 * t, type.Key, static_cast<uint32_t>(typeDirs[t]) | 0x80000000U);
    std::vector<const TResourceKey*> nameKeys;
    for (const TName& name : type.Names)
      nameKeys.push_back(&name.Key);
    writeDirectory(typeDirs[t], nameKeys);
    for (size_t n = 0; n < type.Names.size(); ++n, ++nameIndex) {
      const TName& name = type.Names[n];
      writeEntry(typeDirs[t] + 16 + 8 * n, name.Key, static_cast<uint32_t>(nameDirs[nameIndex]) | 0x80000000U);
      writeDirectory(nameDirs[nameIndex], std::vector<const TResourceKey*>(name.Languages.size(), &kLanguageKey));
      for (size_t l = 0; l < name.Languages.size(); ++l, ++leafIndex) {
        const TResource& item = *name.Languages[l];
        const uint64_t entry = dataEntries + 16 * leafIndex;
        writeEntry(nameDirs[nameIndex] + 16 + 8 * l, TResourceKey::Number(item.Language), static_cast<uint32_t>(entry));
        Set32(out, static_cast<size_t>(entry), sectionRva + static_cast<uint32_t>(blobs[leafIndex]));
        Set32(out, static_cast<size_t>(entry + 4), static_cast<uint32_t>(item.Data.size()));
        Set32(out, static_cast<size_t>(entry + 8), item.CodePage);
        std::copy(item.Data.begin(), item.Data.end(), out.begin() + static_cast<std::ptrdiff_t>(blobs[leafIndex]));
      }
    }
  }
  for (const auto& [text, at] : texts) {
    Set16(out, static_cast<size_t>(at), static_cast<uint16_t>(text.size()));
    for (size_t c = 0; c < text.size(); ++c)
      Set16(out, static_cast<size_t>(at + 2 + 2 * c), static_cast<uint16_t>(text[c]));
  }
  return out;
}

// A node of a version block: wLength, wValueLength, wType, the key, the value, the children.
struct TVersionNode {
  size_t Offset = 0;
  size_t End = 0;
  uint16_t Type = 0;
  std::u16string Key;
  size_t ValueOffset = 0;
  size_t ValueBytes = 0;
  std::vector<TVersionNode> Children;

  const TVersionNode* Child(std::u16string_view key) const
  {
    for (const TVersionNode& child : Children) {
      if (SameTextIgnoringAsciiCase(child.Key, key))
        return &child;
    }
    return nullptr;
  }
};

// The block, its string file info and its translations are containers; a string table's values
// are leaves (level 3), whose padding is never read as children.
std::optional<TVersionNode> ParseVersionNode(std::span<const uint8_t> block, size_t offset, size_t limit, int level)
{
  if (offset + 6 > limit)
    return std::nullopt;
  TVersionNode node;
  node.Offset = offset;
  const uint16_t length = Get16(block, offset);
  const uint16_t valueLength = Get16(block, offset + 2);
  node.Type = Get16(block, offset + 4);
  if (length < 6 || length > limit - offset)
    return std::nullopt;
  node.End = offset + length;
  size_t at = offset + 6;
  for (;; at += 2) {
    if (at + 2 > node.End)
      return std::nullopt;
    const auto c = static_cast<char16_t>(Get16(block, at));
    if (c == 0)
      break;
    node.Key.push_back(c);
  }
  node.ValueOffset = static_cast<size_t>(AlignUp(at + 2, 4));
  node.ValueBytes = node.Type == 1 ? 2U * valueLength : valueLength;
  if (node.ValueBytes == 0)
    node.ValueOffset = std::min(node.ValueOffset, node.End);
  if (node.ValueOffset > node.End || node.ValueBytes > node.End - node.ValueOffset)
    return std::nullopt;
  if (level >= 3)
    return node;
  for (size_t child = static_cast<size_t>(AlignUp(node.ValueOffset + node.ValueBytes, 4)); child + 6 <= node.End;) {
    auto parsed = ParseVersionNode(block, child, node.End, level + 1);
    if (!parsed)
      return std::nullopt;
    child = static_cast<size_t>(AlignUp(parsed->End, 4));
    node.Children.push_back(std::move(*parsed));
  }
  return node;
}

struct TTranslation {
  uint16_t Language;
  uint16_t CodePage;
};

struct TParsedBlock {
  TVersionNode Root;
  std::vector<TTranslation> Translations;
};

TResult<TParsedBlock> ParseVersionBlock(std::span<const uint8_t> block)
{
  auto root = ParseVersionNode(block, 0, block.size(), 0);
  if (!root)
    return TError{"The version block of the executable is malformed"};
  TParsedBlock parsed{std::move(*root), {}};
  const TVersionNode* varFileInfo = parsed.Root.Child(u"VarFileInfo");
  const TVersionNode* translation = varFileInfo != nullptr ? varFileInfo->Child(u"Translation") : nullptr;
  if (translation != nullptr) {
    for (size_t at = translation->ValueOffset; at + 4 <= translation->ValueOffset + translation->ValueBytes; at += 4)
      parsed.Translations.push_back({Get16(block, at), Get16(block, at + 2)});
  }
  return parsed;
}

std::u16string TableKey(const TTranslation& translation)
{
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string key;
  for (const uint16_t word : {translation.Language, translation.CodePage}) {
    for (int shift = 12; shift >= 0; shift -= 4)
      key.push_back(kHex[(word >> shift) & 0xF]);
  }
  return key;
}

const TVersionNode* StringTable(const TParsedBlock& parsed, const TTranslation& translation)
{
  const TVersionNode* stringFileInfo = parsed.Root.Child(u"StringFileInfo");
  return stringFileInfo != nullptr ? stringFileInfo->Child(TableKey(translation)) : nullptr;
}

} // namespace

bool TResourceKey::Matches(const TResourceKey& Other) const
{
  if (IsText() != Other.IsText())
    return false;
  return IsText() ? SameTextIgnoringAsciiCase(Name, Other.Name) : Id == Other.Id;
}

std::vector<uint16_t> TResourceTable::Languages(const TResourceKey& Type, const TResourceKey& Name) const
{
  std::vector<uint16_t> languages;
  for (const TResource& item : Items) {
    if (item.Type.Matches(Type) && item.Name.Matches(Name))
      languages.push_back(item.Language);
  }
  std::sort(languages.begin(), languages.end());
  return languages;
}

const TResource* TResourceTable::Find(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language) const
{
  for (const TResource& item : Items) {
    if (item.Type.Matches(Type) && item.Name.Matches(Name) && item.Language == Language)
      return &item;
  }
  return nullptr;
}

const TResource* TResourceTable::FindDefault(const TResourceKey& Type, const TResourceKey& Name) const
{
  for (const uint16_t language : {kNeutralLanguage, kUsEnglish}) {
    if (const TResource* item = Find(Type, Name, language))
      return item;
  }
  const auto languages = Languages(Type, Name);
  return languages.empty() ? nullptr : Find(Type, Name, languages.front());
}

void TResourceTable::Put(TResource Resource)
{
  for (TResource& item : Items) {
    if (item.Type.Matches(Resource.Type) && item.Name.Matches(Resource.Name) && item.Language == Resource.Language) {
      item = std::move(Resource);
      return;
    }
  }
  Items.push_back(std::move(Resource));
}

bool TResourceTable::Remove(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language)
{
  const auto it = std::find_if(Items.begin(), Items.end(), [&](const TResource& item) {
    return item.Type.Matches(Type) && item.Name.Matches(Name) && item.Language == Language;
  });
  if (it == Items.end())
    return false;
  Items.erase(it);
  return true;
}

bool IsPeImage(std::span<const uint8_t> Image) { return ParseLayout(Image).has_value(); }

TResult<TResourceTable> ReadResources(std::span<const uint8_t> Image)
{
  const auto layout = ParseLayout(Image);
  if (!layout)
    return TError{"The file is not a Windows executable"};
  TResourceTable table;
  const TDirectory directory = layout->Directory(Image, kResourceDirectory);
  if (directory.Rva == 0 || directory.Size == 0)
    return table;
  const TSection* section = layout->SectionAt(directory.Rva);
  const uint64_t inside = section != nullptr ? directory.Rva - section->VirtualAddress : 0;
  if (section == nullptr || inside >= section->SizeOfRawData ||
      !Fits(Image, section->PointerToRawData + inside, section->SizeOfRawData - inside))
    return TError{"The resources of the executable are malformed"};
  const auto tree = Image.subspan(static_cast<size_t>(section->PointerToRawData + inside),
                                  static_cast<size_t>(section->SizeOfRawData - inside));
  TTreeReader reader(Image, *layout, tree);
  if (TStatus read = reader.Read(table); !read)
    return TError{read.Error()};
  return table;
}

uint32_t ComputeChecksum(std::span<const uint8_t> Image)
{
  const auto layout = ParseLayout(Image);
  const size_t field = layout ? layout->ChecksumOffset() : SIZE_MAX;
  auto byteAt = [&](size_t i) -> uint32_t { return i >= field && i < field + 4 ? 0 : Image[i]; };
  uint64_t sum = 0;
  for (size_t i = 0; i < Image.size(); i += 2) {
    sum += byteAt(i) | (i + 1 < Image.size() ? byteAt(i + 1) << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + Image.size());
}

TResult<std::vector<uint8_t>> WriteResources(std::span<const uint8_t> Image, const TResourceTable& Table)
{
  const auto parsed = ParseLayout(Image);
  if (!parsed)
    return TError{"The file is not a Windows executable"};
  const TLayout& layout = *parsed;
  const auto imageEnd = ImageEndFromHeaders(Image);
  if (!imageEnd || *imageEnd != Image.size())
    return TError{"The executable carries data after its image (an attached archive or a signature); brand a "
                  "fresh copy of the runtime"};
  const TDirectory directory = layout.Directory(Image, kResourceDirectory);
  const TSection* found = directory.Rva != 0 ? layout.SectionAt(directory.Rva) : nullptr;
  if (found == nullptr || found->VirtualAddress != directory.Rva)
    return TError{"The executable has no resource section of its own"};
  const TSection rsrc = *found;
  if (rsrc.SizeOfRawData < 16 || !Fits(Image, rsrc.PointerToRawData, rsrc.SizeOfRawData))
    return TError{"The resources of the executable are malformed"};

  std::array<uint8_t, 12> directoryHeader{};
  std::copy_n(Image.begin() + rsrc.PointerToRawData, directoryHeader.size(), directoryHeader.begin());
  std::vector<uint8_t> tree = SerializeTree(Table, rsrc.VirtualAddress, directoryHeader);
  const uint64_t sa = layout.SectionAlignment;
  const uint64_t fa = layout.FileAlignment;
  const uint64_t treeSize = tree.size();

  // The resources may use their raw data and the address room up to the next section; beyond
  // those, they grow in whole file and section alignments.
  uint64_t nextVirtual = 0;
  for (const TSection& section : layout.Sections) {
    if (section.VirtualAddress > rsrc.VirtualAddress && (nextVirtual == 0 || section.VirtualAddress < nextVirtual))
      nextVirtual = section.VirtualAddress;
  }
  const uint64_t oldSpan = nextVirtual != 0 ? nextVirtual - rsrc.VirtualAddress : AlignUp(rsrc.VirtualSize, sa);
  const uint64_t newSpan = std::max(oldSpan, AlignUp(treeSize, sa));
  const uint64_t oldRaw = rsrc.SizeOfRawData;
  const uint64_t newRaw = treeSize <= oldRaw ? oldRaw : AlignUp(treeSize, fa);
  const uint64_t addressShift = newSpan - oldSpan;
  const uint64_t fileShift = newRaw - oldRaw;
  if (newRaw > UINT32_MAX || newSpan > UINT32_MAX || Image.size() + fileShift > UINT32_MAX)
    return TError{"The resources are too large for the executable"};

  // Whatever follows the resources and has to move must be free to: only the base relocations.
  const TDirectory relocations = layout.Directory(Image, kBaseRelocationDirectory);
  for (const TSection& section : layout.Sections) {
    const bool movesInMemory = addressShift != 0 && section.VirtualAddress > rsrc.VirtualAddress;
    const bool movesInFile =
      fileShift != 0 && section.SizeOfRawData != 0 && section.PointerToRawData > rsrc.PointerToRawData;
    if (!movesInMemory && !movesInFile)
      continue;
    const bool isRelocations =
      relocations.Rva != 0 && relocations.Rva >= section.VirtualAddress &&
      relocations.Rva - section.VirtualAddress < std::max(section.VirtualSize, section.SizeOfRawData);
    if (!isRelocations)
      return TError{"The resources of the executable cannot grow: the section \"" + section.Name + "\" follows them"};
  }

  // The file: everything before the resources, the new tree in its (maybe larger) room, the rest.
  std::vector<uint8_t> out(Image.begin(), Image.begin() + rsrc.PointerToRawData);
  tree.resize(static_cast<size_t>(newRaw), 0);
  out.insert(out.end(), tree.begin(), tree.end());
  out.insert(out.end(), Image.begin() + static_cast<std::ptrdiff_t>(rsrc.PointerToRawData + oldRaw), Image.end());

  const uint32_t newVirtualSize =
    static_cast<uint32_t>(addressShift != 0 ? treeSize : std::max<uint64_t>(treeSize, rsrc.VirtualSize));
  for (const TSection& section : layout.Sections) {
    if (section.HeaderOffset == rsrc.HeaderOffset) {
      Set32(out, section.HeaderOffset + 8, newVirtualSize);
      Set32(out, section.HeaderOffset + 16, static_cast<uint32_t>(newRaw));
      continue;
    }
    if (addressShift != 0 && section.VirtualAddress > rsrc.VirtualAddress)
      Set32(out, section.HeaderOffset + 12, section.VirtualAddress + static_cast<uint32_t>(addressShift));
    if (fileShift != 0 && section.SizeOfRawData != 0 && section.PointerToRawData > rsrc.PointerToRawData)
      Set32(out, section.HeaderOffset + 20, section.PointerToRawData + static_cast<uint32_t>(fileShift));
  }
  // Every section from the resources on moved up by the growth of the resources' address room.
  const uint32_t sizeOfImage = Get32(Image, layout.SizeOfImageOffset()) + static_cast<uint32_t>(addressShift);
  Set32(out, layout.DirectoryOffset(kResourceDirectory) + 4, static_cast<uint32_t>(treeSize));
  if (addressShift != 0 && relocations.Rva > rsrc.VirtualAddress)
    Set32(out, layout.DirectoryOffset(kBaseRelocationDirectory), relocations.Rva + static_cast<uint32_t>(addressShift));
  Set32(out, layout.SizeOfImageOffset(), sizeOfImage);
  if ((rsrc.Characteristics & kInitializedData) != 0)
    Set32(out, layout.SizeOfInitializedDataOffset(),
          Get32(Image, layout.SizeOfInitializedDataOffset()) + static_cast<uint32_t>(fileShift));
  if (Get32(Image, layout.ChecksumOffset()) != 0)
    Set32(out, layout.ChecksumOffset(), ComputeChecksum(out));
  return out;
}

std::optional<TIconGroup> ParseIconGroup(std::span<const uint8_t> Data)
{
  if (Data.size() < 6)
    return std::nullopt;
  TIconGroup group{Get16(Data, 0), Get16(Data, 2), {}};
  const size_t count = Get16(Data, 4);
  if (!Fits(Data, 6, 14 * count))
    return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    TIconGroupEntry entry;
    std::copy_n(Data.begin() + static_cast<std::ptrdiff_t>(6 + 14 * i), 12, entry.Header.begin());
    entry.ImageId = Get16(Data, 6 + 14 * i + 12);
    group.Entries.push_back(entry);
  }
  return group;
}

std::vector<uint8_t> SerializeIconGroup(const TIconGroup& Group)
{
  std::vector<uint8_t> data(6 + 14 * Group.Entries.size(), 0);
  Set16(data, 0, Group.Reserved);
  Set16(data, 2, Group.Type);
  Set16(data, 4, static_cast<uint16_t>(Group.Entries.size()));
  for (size_t i = 0; i < Group.Entries.size(); ++i) {
    std::copy(Group.Entries[i].Header.begin(), Group.Entries[i].Header.end(),
              data.begin() + static_cast<std::ptrdiff_t>(6 + 14 * i));
    Set16(data, 6 + 14 * i + 12, Group.Entries[i].ImageId);
  }
  return data;
}

bool IsValidIcon(std::span<const uint8_t> Ico)
{
  if (Ico.size() < 6 || (Ico[0] == 'M' && Ico[1] == 'Z'))
    return false;
  const size_t count = Get16(Ico, 4);
  if (Ico.size() < 6 + 16 * count)
    return false;
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * i;
    const uint64_t end = static_cast<uint64_t>(Get32(Ico, entry + 12)) + Get32(Ico, entry + 8);
    if (end > UINT32_MAX || end > Ico.size())
      return false;
  }
  return true;
}

TResult<TIconReplacement> PlanIconReplacement(std::span<const uint8_t> OldGroup, std::span<const uint8_t> Ico,
                                              const std::set<uint16_t>& KeptIds)
{
  const auto old = ParseIconGroup(OldGroup);
  if (!old)
    return TError{"The executable's icon group MAINICON is malformed"};
  if (!IsValidIcon(Ico))
    return TError{"Icon file is invalid"};
  TIconReplacement plan;
  for (const TIconGroupEntry& entry : old->Entries) {
    if (KeptIds.count(entry.ImageId) == 0)
      plan.OldImageIds.push_back(entry.ImageId);
  }
  TIconGroup group{old->Reserved, old->Type, {}};
  const size_t count = Get16(Ico, 4);
  uint32_t id = 0;
  for (size_t i = 0; i < count; ++i) {
    do {
      ++id;
    } while (KeptIds.count(static_cast<uint16_t>(id)) != 0);
    if (id > 0xFFFF)
      return TError{"Icon file is invalid"};
    const size_t entry = 6 + 16 * i;
    TIconGroupEntry groupEntry;
    std::copy_n(Ico.begin() + static_cast<std::ptrdiff_t>(entry), 12, groupEntry.Header.begin());
    groupEntry.ImageId = static_cast<uint16_t>(id);
    group.Entries.push_back(groupEntry);
    plan.NewImages.push_back({groupEntry.ImageId, Ico.subspan(Get32(Ico, entry + 12), Get32(Ico, entry + 8))});
  }
  plan.NewGroup = SerializeIconGroup(group);
  return plan;
}

TResult<std::vector<TVersionTable>> ReadVersionTexts(std::span<const uint8_t> Block)
{
  auto parsed = ParseVersionBlock(Block);
  if (!parsed)
    return TError{parsed.Error()};
  std::vector<TVersionTable> tables;
  for (const TTranslation& translation : parsed.Value().Translations) {
    const TVersionNode* table = StringTable(parsed.Value(), translation);
    if (table == nullptr)
      continue;
    TVersionTable result{translation.Language, translation.CodePage, {}};
    for (const TVersionNode& text : table->Children) {
      std::u16string value;
      for (size_t at = text.ValueOffset; at + 2 <= text.ValueOffset + text.ValueBytes; at += 2) {
        const auto c = static_cast<char16_t>(Get16(Block, at));
        if (c == 0)
          break;
        value.push_back(c);
      }
      result.Texts.push_back({Utf16ToUtf8(text.Key), Utf16ToUtf8(value)});
    }
    tables.push_back(std::move(result));
  }
  return tables;
}

TResult<std::vector<uint8_t>> RewriteVersionTexts(std::span<const uint8_t> Block, std::span<const TVersionText> Texts)
{
  auto parsed = ParseVersionBlock(Block);
  if (!parsed)
    return TError{parsed.Error()};
  std::vector<uint8_t> out(Block.begin(), Block.end());
  for (const TTranslation& translation : parsed.Value().Translations) {
    const TVersionNode* table = StringTable(parsed.Value(), translation);
    if (table == nullptr)
      continue;
    for (const TVersionText& text : Texts) {
      const TVersionNode* slot = table->Child(Utf8ToUtf16(text.Key));
      if (slot == nullptr)
        continue;
      const std::u16string value = Utf8ToUtf16(text.Value);
      const size_t room = slot->ValueBytes / 2;
      if (value.size() >= room) {
        const size_t fits = room == 0 ? 0 : room - 1;
        return TError{"The version text " + text.Key + " is too long: " + std::to_string(value.size()) +
                      " characters where the executable's version block holds " + std::to_string(fits)};
      }
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(slot->ValueOffset), slot->ValueBytes, uint8_t{0});
      for (size_t c = 0; c < value.size(); ++c)
        Set16(out, slot->ValueOffset + 2 * c, static_cast<uint16_t>(value[c]));
    }
  }
  return out;
}

} // namespace velmora::pe
