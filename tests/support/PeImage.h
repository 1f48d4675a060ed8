// Test support: small PE images built by hand, the layout a PE image's headers describe (read
// independently of the code under test), and .ico files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora::test {

struct TPeSectionSpec {
  std::string Name;
  std::vector<uint8_t> Data;
  uint32_t Characteristics = 0x40000040; // initialized data, readable
};

// A 64-bit executable: DOS header, PE headers with 16 data directories, section alignment 0x1000,
// file alignment 0x200, headers of 0x400 bytes, then the sections one after another.
struct TPeImageLayout {
  std::vector<TPeSectionSpec> Sections;
  int ResourceSection = -1;   // its Data is a resource tree, named by data directory 2
  int RelocationSection = -1; // its Data is base relocations, named by data directory 5
  bool Checksum = false;      // whether the headers carry a checksum
};

std::vector<uint8_t> BuildPeImage(const TPeImageLayout& Layout);

// A resource tree with nothing in it (a root directory without entries).
std::vector<uint8_t> EmptyResourceTree();

// One block of base relocations with padding entries only, which loaders skip.
std::vector<uint8_t> PaddingRelocations();

// A section as its header describes it.
struct TPeSectionInfo {
  std::string Name;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
};

struct TPeLayoutInfo {
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t Checksum = 0;
  uint32_t ResourceRva = 0, ResourceSize = 0;
  uint32_t RelocationRva = 0, RelocationSize = 0;
  std::vector<TPeSectionInfo> Sections;
  const TPeSectionInfo* Section(const std::string& name) const;
};

TPeLayoutInfo ReadPeLayout(std::span<const uint8_t> Image);

// GoogleTest failures for every way the image's layout is inconsistent: sections out of order or
// not adjacent in memory, raw data outside the file or not aligned, SizeOfImage, the resource and
// relocation directories outside their sections, data after the sections, and (when asked) a
// checksum that does not match.
void ExpectConsistentPeLayout(std::span<const uint8_t> Image, bool CheckChecksum);

// The standard PE checksum with the image's checksum field taken as zero.
uint32_t PeChecksum(std::span<const uint8_t> Image);

// An .ico file whose images are the given byte strings, with directory entries that name their
// sizes (width and height i + 16, 32 bits per pixel).
std::string IcoFile(const std::vector<std::string>& Images);

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

} // namespace velmora::test
