// Test support: hand-built PE images and an independent reading of their layout.
#include "support/PeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace velmora::test {

namespace {

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kHeadersSize = 0x400;
constexpr size_t kPeOffset = 0x80;
constexpr size_t kOptionalHeader = kPeOffset + 4 + 20;
constexpr size_t kSectionTable = kOptionalHeader + 0xF0;

uint32_t Align(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void Put(std::vector<uint8_t>& data, size_t offset, uint64_t value, unsigned width)
{
  for (unsigned i = 0; i < width; ++i)
    data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t Get(std::span<const uint8_t> data, size_t offset, unsigned width)
{
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i)
    value |= static_cast<uint64_t>(data[offset + i]) << (8 * i);
  return value;
}

} // namespace

std::vector<uint8_t> BuildPeImage(const TPeImageLayout& Layout)
{
  std::vector<uint8_t> image(kHeadersSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, kPeOffset, 4);
  std::memcpy(&image[kPeOffset], "PE\0\0", 4);
  const size_t fileHeader = kPeOffset + 4;
  Put(image, fileHeader, 0x8664, 2); // x64
  Put(image, fileHeader + 2, Layout.Sections.size(), 2);
  Put(image, fileHeader + 16, 0xF0, 2);
  Put(image, fileHeader + 18, 0x22, 2); // executable image, large addresses
  Put(image, kOptionalHeader, 0x20B, 2);
  Put(image, kOptionalHeader + 24, 0x140000000ULL, 8);
  Put(image, kOptionalHeader + 32, kSectionAlignment, 4);
  Put(image, kOptionalHeader + 36, kFileAlignment, 4);
  Put(image, kOptionalHeader + 40, 6, 2); // operating system 6.0
  Put(image, kOptionalHeader + 48, 6, 2); // subsystem 6.0
  Put(image, kOptionalHeader + 60, kHeadersSize, 4);
  Put(image, kOptionalHeader + 68, 2, 2); // GUI
  Put(image, kOptionalHeader + 72, 0x100000, 8);
  Put(image, kOptionalHeader + 80, 0x1000, 8);
  Put(image, kOptionalHeader + 88, 0x100000, 8);
  Put(image, kOptionalHeader + 96, 0x1000, 8);
  Put(image, kOptionalHeader + 108, 16, 4);

  uint32_t virtualAddress = kSectionAlignment;
  for (size_t i = 0; i < Layout.Sections.size(); ++i) {
    const TPeSectionSpec& section = Layout.Sections[i];
    const auto size = static_cast<uint32_t>(section.Data.size());
    const auto raw = Align(size, kFileAlignment);
    const size_t header = kSectionTable + 40 * i;
    std::memcpy(&image[header], section.Name.data(), std::min<size_t>(8, section.Name.size()));
    Put(image, header + 8, size, 4);
    Put(image, header + 12, virtualAddress, 4);
    Put(image, header + 16, raw, 4);
    Put(image, header + 20, image.size(), 4);
    Put(image, header + 36, section.Characteristics, 4);
    if (static_cast<int>(i) == Layout.ResourceSection) {
      Put(image, kOptionalHeader + 112 + 8 * 2, virtualAddress, 4);
      Put(image, kOptionalHeader + 112 + 8 * 2 + 4, size, 4);
    }
    if (static_cast<int>(i) == Layout.RelocationSection) {
      Put(image, kOptionalHeader + 112 + 8 * 5, virtualAddress, 4);
      Put(image, kOptionalHeader + 112 + 8 * 5 + 4, size, 4);
    }
    if (i == 0)
      Put(image, kOptionalHeader + 16, virtualAddress, 4); // entry point
    image.insert(image.end(), section.Data.begin(), section.Data.end());
    image.resize(image.size() + (raw - size), 0);
    virtualAddress += Align(std::max<uint32_t>(size, 1), kSectionAlignment);
  }
  Put(image, kOptionalHeader + 56, virtualAddress, 4);
  if (Layout.Checksum)
    Put(image, kOptionalHeader + 64, PeChecksum(image), 4);
  return image;
}

std::vector<uint8_t> EmptyResourceTree() { return std::vector<uint8_t>(16, 0); }

std::vector<uint8_t> PaddingRelocations()
{
  std::vector<uint8_t> block(12, 0);
  Put(block, 0, 0x1000, 4);
  Put(block, 4, 12, 4);
  return block;
}

const TPeSectionInfo* TPeLayoutInfo::Section(const std::string& name) const
{
  for (const TPeSectionInfo& section : Sections) {
    if (section.Name == name)
      return &section;
  }
  return nullptr;
}

TPeLayoutInfo ReadPeLayout(std::span<const uint8_t> Image)
{
  TPeLayoutInfo info;
  const auto lfanew = static_cast<size_t>(Get(Image, 0x3C, 4));
  const size_t optional = lfanew + 24;
  const auto count = static_cast<size_t>(Get(Image, lfanew + 6, 2));
  const auto optionalSize = static_cast<size_t>(Get(Image, lfanew + 20, 2));
  info.SectionAlignment = static_cast<uint32_t>(Get(Image, optional + 32, 4));
  info.FileAlignment = static_cast<uint32_t>(Get(Image, optional + 36, 4));
  info.SizeOfImage = static_cast<uint32_t>(Get(Image, optional + 56, 4));
  info.SizeOfHeaders = static_cast<uint32_t>(Get(Image, optional + 60, 4));
  info.Checksum = static_cast<uint32_t>(Get(Image, optional + 64, 4));
  const size_t directories = optional + 112;
  info.ResourceRva = static_cast<uint32_t>(Get(Image, directories + 16, 4));
  info.ResourceSize = static_cast<uint32_t>(Get(Image, directories + 20, 4));
  info.RelocationRva = static_cast<uint32_t>(Get(Image, directories + 40, 4));
  info.RelocationSize = static_cast<uint32_t>(Get(Image, directories + 44, 4));
  for (size_t i = 0; i < count; ++i) {
    const size_t header = optional + optionalSize + 40 * i;
    TPeSectionInfo section;
    section.Name.assign(reinterpret_cast<const char*>(&Image[header]), 8);
    section.Name.resize(section.Name.find('\0') == std::string::npos ? 8 : section.Name.find('\0'));
    section.VirtualSize = static_cast<uint32_t>(Get(Image, header + 8, 4));
    section.VirtualAddress = static_cast<uint32_t>(Get(Image, header + 12, 4));
    section.SizeOfRawData = static_cast<uint32_t>(Get(Image, header + 16, 4));
    section.PointerToRawData = static_cast<uint32_t>(Get(Image, header + 20, 4));
    info.Sections.push_back(section);
  }
  return info;
}

void ExpectConsistentPeLayout(std::span<const uint8_t> Image, bool CheckChecksum)
{
  const TPeLayoutInfo info = ReadPeLayout(Image);
  ASSERT_FALSE(info.Sections.empty());
  uint64_t fileEnd = info.SizeOfHeaders;
  uint32_t nextAddress = Align(info.SizeOfHeaders, info.SectionAlignment);
  for (const TPeSectionInfo& section : info.Sections) {
    SCOPED_TRACE(section.Name);
    EXPECT_EQ(section.VirtualAddress, nextAddress) << "sections must be adjacent in memory";
    nextAddress = section.VirtualAddress + Align(std::max(section.VirtualSize, 1U), info.SectionAlignment);
    if (section.SizeOfRawData == 0)
      continue;
    EXPECT_EQ(section.PointerToRawData % info.FileAlignment, 0U);
    EXPECT_EQ(section.SizeOfRawData % info.FileAlignment, 0U);
    EXPECT_LE(section.SizeOfRawData, Align(section.VirtualSize, info.FileAlignment))
      << "raw data beyond the section's memory";
    EXPECT_GE(section.PointerToRawData, fileEnd) << "raw data overlaps the previous section's";
    fileEnd = uint64_t{section.PointerToRawData} + section.SizeOfRawData;
  }
  EXPECT_EQ(info.SizeOfImage, nextAddress);
  EXPECT_EQ(fileEnd, Image.size()) << "the file must end where the last section's raw data ends";

  auto expectInside = [&](uint32_t rva, uint32_t size, const char* what) {
    SCOPED_TRACE(what);
    const auto it = std::find_if(info.Sections.begin(), info.Sections.end(), [&](const TPeSectionInfo& s) {
      return rva >= s.VirtualAddress && rva - s.VirtualAddress < s.VirtualSize;
    });
    ASSERT_NE(it, info.Sections.end());
    EXPECT_EQ(rva, it->VirtualAddress);
    EXPECT_LE(size, it->VirtualSize);
    EXPECT_LE(size, it->SizeOfRawData);
  };
  if (info.ResourceRva != 0)
    expectInside(info.ResourceRva, info.ResourceSize, "resource directory");
  if (info.RelocationRva != 0)
    expectInside(info.RelocationRva, info.RelocationSize, "relocation directory");
  if (CheckChecksum && info.Checksum != 0) {
    EXPECT_EQ(info.Checksum, PeChecksum(Image));
  }
}

uint32_t PeChecksum(std::span<const uint8_t> Image)
{
  const size_t field = static_cast<size_t>(Get(Image, 0x3C, 4)) + 24 + 64;
  uint32_t sum = 0;
  for (size_t i = 0; i < Image.size(); i += 2) {
    uint32_t word = 0;
    for (size_t b = 0; b < 2 && i + b < Image.size(); ++b) {
      if (i + b < field || i + b >= field + 4)
        word |= static_cast<uint32_t>(Image[i + b]) << (8 * b);
    }
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<uint32_t>(Image.size());
}

std::string IcoFile(const std::vector<std::string>& Images)
{
  std::vector<uint8_t> header(6 + 16 * Images.size(), 0);
  Put(header, 2, 1, 2);
  Put(header, 4, Images.size(), 2);
  size_t offset = header.size();
  for (size_t i = 0; i < Images.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    header[entry] = static_cast<uint8_t>(16 + i);
    header[entry + 1] = static_cast<uint8_t>(16 + i);
    Put(header, entry + 4, 1, 2);
    Put(header, entry + 6, 32, 2);
    Put(header, entry + 8, Images[i].size(), 4);
    Put(header, entry + 12, offset, 4);
    offset += Images[i].size();
  }
  std::string ico(header.begin(), header.end());
  for (const std::string& image : Images)
    ico += image;
  return ico;
}

} // namespace velmora::test
