// The resources of a Windows executable as bytes: the resource tree of a PE image, icon groups and
// the version block, read and rewritten without the Windows API so that any platform can brand a
// Windows bundle. Everything here works on memory; ExeUtils reads and writes the files.
#pragma once

#include "Result.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::pe {

inline constexpr uint16_t kIconType = 3;       // RT_ICON: one image of an icon
inline constexpr uint16_t kGroupIconType = 14; // RT_GROUP_ICON: the directory of an icon's images
inline constexpr uint16_t kVersionType = 16;   // RT_VERSION: the version block
inline constexpr uint16_t kNeutralLanguage = 0;
inline constexpr uint16_t kUsEnglish = 1033;

// A resource type or name: a number, or a text. Texts match as the system matches them, ASCII
// letters without regard to case (resource compilers store names in upper case).
struct TResourceKey {
  std::u16string Name; // a text when not empty, else the number Id
  uint16_t Id = 0;

  static TResourceKey Number(uint16_t Id) { return {{}, Id}; }
  static TResourceKey Text(std::u16string_view Name) { return {std::u16string(Name), 0}; }
  bool IsText() const { return !Name.empty(); }
  bool Matches(const TResourceKey& Other) const;
  bool operator==(const TResourceKey&) const = default;
};

struct TResource {
  TResourceKey Type;
  TResourceKey Name;
  uint16_t Language = kNeutralLanguage;
  uint32_t CodePage = 0;
  std::vector<uint8_t> Data;
};

// Every resource of an image, in the order of its resource directory once read.
class TResourceTable {
public:
  std::vector<TResource> Items;

  // The languages of one resource in directory order (ascending), as the system lists them.
  std::vector<uint16_t> Languages(const TResourceKey& Type, const TResourceKey& Name) const;
  const TResource* Find(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language) const;
  // What a lookup in the neutral language finds: the neutral language, then US English, then
  // the first language listed (the system's choice on an English system).
  const TResource* FindDefault(const TResourceKey& Type, const TResourceKey& Name) const;
  // Adds the resource, or replaces the one with the same type, name and language.
  void Put(TResource Resource);
  // False when there was no such resource.
  bool Remove(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language);
};

// True when the bytes start with the headers of a PE image (DOS header, "PE\0\0", file and
// optional headers, a section table inside the data).
bool IsPeImage(std::span<const uint8_t> Image);

// Reads the resource tree of a PE image. An image without resources gives an empty table; one
// whose headers or tree are malformed gives the reason.
TResult<TResourceTable> ReadResources(std::span<const uint8_t> Image);

// The image with its resources replaced by the table. The new tree goes where the old one was.
// When it needs more room, its section grows: room up to the next section and the rest of its
// file alignment are used first; beyond that the sections after it move up, which only the base
// relocation section may do (nothing refers to it except its data directory entry, which moves
// with it). SizeOfImage, the section sizes, the data directory entries, SizeOfInitializedData and
// a non-zero checksum are kept consistent. Refused: an image with data after its sections (an
// attached archive or a signature), one without a resource section, and one where other
// sections follow the resources.
TResult<std::vector<uint8_t>> WriteResources(std::span<const uint8_t> Image, const TResourceTable& Table);

// The PE checksum of an image, computed with its own checksum field taken as zero.
uint32_t ComputeChecksum(std::span<const uint8_t> Image);

// One entry of an icon group: the first 12 bytes of the .ico directory entry (size, colours,
// planes, bit count, byte count) and the id of the icon image resource.
struct TIconGroupEntry {
  std::array<uint8_t, 12> Header{};
  uint16_t ImageId = 0;
};

struct TIconGroup {
  uint16_t Reserved = 0;
  uint16_t Type = 1;
  std::vector<TIconGroupEntry> Entries;
};

// nullopt when the data is shorter than its header and entries say.
std::optional<TIconGroup> ParseIconGroup(std::span<const uint8_t> Data);
std::vector<uint8_t> SerializeIconGroup(const TIconGroup& Group);

// The checks an .ico file passes before it replaces an icon: at least 6 bytes, not starting with
// "MZ", room for its directory of n 16-byte entries, and every image (32-bit offset plus 32-bit
// length, without overflow) inside the file.
bool IsValidIcon(std::span<const uint8_t> Ico);

struct TIconImage {
  uint16_t Id = 0;
  std::span<const uint8_t> Bytes; // inside the .ico data given to PlanIconReplacement
};

// How an icon group is replaced by the images of an .ico file.
struct TIconReplacement {
  std::vector<uint16_t> OldImageIds; // the images to delete, each in its own language
  std::vector<TIconImage> NewImages; // to add in US English
  std::vector<uint8_t> NewGroup;     // to add in US English under the group's name
};

// The new group copies the old one's reserved and type words, then lists for each image of the
// .ico file the first 12 bytes of its directory entry and its image id. Image i gets the id i + 1,
// except that ids in KeptIds (those other icon groups list) are passed over and the ids after
// them used: the runtime's second icon, the password prompt's key, has the ids right after the
// main icon's, and an .ico file with more images than the main icon would overwrite it. For the
// same reason an old image that another group lists too is not deleted.
TResult<TIconReplacement> PlanIconReplacement(std::span<const uint8_t> OldGroup, std::span<const uint8_t> Ico,
                                              const std::set<uint16_t>& KeptIds);

// One text of a version block's string table, UTF-8.
struct TVersionText {
  std::string Key;
  std::string Value;
};

// The string table of one translation of a version block.
struct TVersionTable {
  uint16_t Language = 0;
  uint16_t CodePage = 0;
  std::vector<TVersionText> Texts; // in block order; a value ends at its first NUL
};

// The string tables of the translations listed under "\VarFileInfo\Translation", in the order
// listed; a translation without a table is left out.
TResult<std::vector<TVersionTable>> ReadVersionTexts(std::span<const uint8_t> Block);

// Rewrites texts of a version block in place, in every translation listed under
// "\VarFileInfo\Translation". For each text whose key the translation's string table has (the key
// matched without regard to ASCII letter case, the first match), the whole value slot is zeroed
// and the text, UTF-16, written at its start. The block's layout never changes, so a text must be
// shorter than its slot (a slot of n characters holds n - 1 and the terminating NUL): a longer
// text refuses the whole rewrite with a message naming the key and the room there is. Keys the
// table lacks are passed over.
TResult<std::vector<uint8_t>> RewriteVersionTexts(std::span<const uint8_t> Block, std::span<const TVersionText> Texts);

} // namespace velmora::pe
