// Locating the archive attached to a PE or ELF executable, the packer's append and extract, and the
// portable editor that brands a Windows runtime copy.
#include "ExeUtils.h"

#include "ExeUtilsInternal.h"
#include "SysUtils.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <vector>

namespace velmora {

namespace {

// Bounds-checked little- or big-endian reads from the header bytes.
class THeaderReader {
public:
  THeaderReader(std::span<const uint8_t> data, bool bigEndian) : FData(data), FBigEndian(bigEndian) {}

  bool Has(uint64_t offset, uint64_t length) const { return offset <= FData.size() && length <= FData.size() - offset; }

  std::optional<uint64_t> Read(uint64_t offset, unsigned width) const
  {
    if (!Has(offset, width))
      return std::nullopt;
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
      const unsigned shift = FBigEndian ? 8 * (width - 1 - i) : 8 * i;
      value |= static_cast<uint64_t>(FData[static_cast<size_t>(offset) + i]) << shift;
    }
    return value;
  }

private:
  std::span<const uint8_t> FData;
  bool FBigEndian;
};

std::optional<uint64_t> CheckedEnd(uint64_t offset, uint64_t length)
{
  if (length > UINT64_MAX - offset)
    return std::nullopt;
  return offset + length;
}

std::optional<uint64_t> PeImageEnd(std::span<const uint8_t> data)
{
  const THeaderReader r(data, false);
  const auto lfanew = r.Read(0x3C, 4);
  if (!lfanew)
    return std::nullopt;
  const uint64_t fileHeader = *lfanew + 4;
  if (!r.Has(*lfanew, 4) || data[*lfanew] != 'P' || data[*lfanew + 1] != 'E' || data[*lfanew + 2] != 0 ||
      data[*lfanew + 3] != 0)
    return std::nullopt;
  const auto sectionCount = r.Read(fileHeader + 2, 2);
  const auto optionalHeaderSize = r.Read(fileHeader + 16, 2);
  if (!sectionCount || !optionalHeaderSize || *sectionCount == 0)
    return std::nullopt;
  const uint64_t table = fileHeader + 20 + *optionalHeaderSize;
  if (!r.Has(table, *sectionCount * 40))
    return std::nullopt;
  uint32_t end = 0;
  for (uint64_t i = 0; i < *sectionCount; ++i) {
    const uint64_t header = table + i * 40;
    const auto sizeOfRawData = static_cast<uint32_t>(*r.Read(header + 16, 4));
    const auto pointerToRawData = static_cast<uint32_t>(*r.Read(header + 20, 4));
    // Both fields are 32-bit and added in 32 bits, exactly as the packer's reader always did.
    end = std::max(end, static_cast<uint32_t>(pointerToRawData + sizeOfRawData));
  }
  return end;
}

std::optional<uint64_t> ElfImageEnd(std::span<const uint8_t> data)
{
  if (data.size() < 16)
    return std::nullopt;
  const uint8_t elfClass = data[4];
  const uint8_t encoding = data[5];
  if ((elfClass != 1 && elfClass != 2) || (encoding != 1 && encoding != 2))
    return std::nullopt;
  const bool is64 = elfClass == 2;
  const THeaderReader r(data, encoding == 2);
  const unsigned word = is64 ? 8 : 4;

  const uint64_t headerSize = is64 ? 64 : 52;
  const auto phoff = r.Read(is64 ? 0x20 : 0x1C, word);
  const auto shoff = r.Read(is64 ? 0x28 : 0x20, word);
  const auto phentsize = r.Read(is64 ? 0x36 : 0x2A, 2);
  auto phnum = r.Read(is64 ? 0x38 : 0x2C, 2);
  const auto shentsize = r.Read(is64 ? 0x3A : 0x2E, 2);
  auto shnum = r.Read(is64 ? 0x3C : 0x30, 2);
  if (!phoff || !shoff || !phentsize || !phnum || !shentsize || !shnum)
    return std::nullopt;

  const uint64_t minPhent = is64 ? 56 : 32;
  const uint64_t minShent = is64 ? 64 : 40;
  // Offsets of the fields read from each entry.
  const uint64_t phOffsetField = is64 ? 8 : 4;
  const uint64_t phFileSizeField = is64 ? 0x20 : 0x10;
  const uint64_t shTypeField = 4;
  const uint64_t shOffsetField = is64 ? 0x18 : 0x10;
  const uint64_t shSizeField = is64 ? 0x20 : 0x14;
  const uint64_t shInfoField = is64 ? 0x2C : 0x1C;

  if (*shoff != 0) {
    if (*shentsize < minShent || !r.Has(*shoff, minShent))
      return std::nullopt;
    // Extended numbering: the real counts live in the first section header.
    if (*shnum == 0)
      shnum = r.Read(*shoff + shSizeField, word);
    if (*phnum == 0xFFFF)
      phnum = r.Read(*shoff + shInfoField, 4);
    if (!shnum || !phnum)
      return std::nullopt;
  } else if (*shnum != 0) {
    return std::nullopt;
  }

  uint64_t end = headerSize;
  if (*phnum > 0) {
    if (*phentsize < minPhent || *phnum > data.size() / *phentsize)
      return std::nullopt;
    const auto tableEnd = CheckedEnd(*phoff, *phnum * *phentsize);
    if (!tableEnd || *tableEnd > data.size())
      return std::nullopt;
    end = std::max(end, *tableEnd);
    for (uint64_t i = 0; i < *phnum; ++i) {
      const uint64_t entry = *phoff + i * *phentsize;
      const auto segmentEnd = CheckedEnd(*r.Read(entry + phOffsetField, word), *r.Read(entry + phFileSizeField, word));
      if (!segmentEnd)
        return std::nullopt;
      end = std::max(end, *segmentEnd);
    }
  }
  if (*shnum > 0) {
    if (*shnum > data.size() / *shentsize)
      return std::nullopt;
    const auto tableEnd = CheckedEnd(*shoff, *shnum * *shentsize);
    if (!tableEnd || *tableEnd > data.size())
      return std::nullopt;
    end = std::max(end, *tableEnd);
    constexpr uint64_t kNoBits = 8; // SHT_NOBITS occupies no file space
    for (uint64_t i = 0; i < *shnum; ++i) {
      const uint64_t entry = *shoff + i * *shentsize;
      if (*r.Read(entry + shTypeField, 4) == kNoBits)
        continue;
      const auto sectionEnd = CheckedEnd(*r.Read(entry + shOffsetField, word), *r.Read(entry + shSizeField, word));
      if (!sectionEnd)
        return std::nullopt;
      end = std::max(end, *sectionEnd);
    }
  }
  return end;
}

std::ifstream OpenForReading(const std::string& path)
{
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot open " + path + " for reading");
  return in;
}

std::vector<uint8_t> ReadExecutable(const std::string& path)
{
  auto map = TFileMap::Open(path);
  if (!map)
    throw std::runtime_error(map.Error());
  const auto bytes = map.Value().Bytes();
  return {bytes.begin(), bytes.end()};
}

// Replaces the file's content as a whole: the new image goes to a file beside it, which then takes
// its name, so a failure leaves the old executable whole.
void ReplaceExecutable(const std::string& path, const std::vector<uint8_t>& image)
{
  namespace fs = std::filesystem;
  const fs::path target = PathFromUtf8(path);
  const fs::path temporary = fs::path(target).concat(".velmora-res");
  std::error_code error;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, error);
      throw std::runtime_error("Cannot write " + Utf8FromPath(temporary));
    }
  }
  fs::permissions(temporary, fs::status(target, error).permissions(), error);
  fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw std::runtime_error("Cannot write " + path + ": " + error.message());
  }
}

const pe::TResourceKey kGroupIconType = pe::TResourceKey::Number(pe::kGroupIconType);
const pe::TResourceKey kIconType = pe::TResourceKey::Number(pe::kIconType);
const pe::TResourceKey kVersionType = pe::TResourceKey::Number(pe::kVersionType);
const pe::TResourceKey kMainIcon = pe::TResourceKey::Text(u"MAINICON");
const pe::TResourceKey kVersionName = pe::TResourceKey::Number(1);

} // namespace

namespace exeutils {

std::vector<uint8_t> ReadCheckedIcon(const std::string& IcoPath)
{
  auto map = TFileMap::Open(IcoPath);
  if (!map)
    throw std::runtime_error(map.Error());
  const auto bytes = map.Value().Bytes();
  if (bytes.size() > kMaxIconFileSize)
    throw std::runtime_error("Icon file is too large");
  if (!pe::IsValidIcon(bytes))
    throw std::runtime_error("Icon file is invalid");
  return {bytes.begin(), bytes.end()};
}

std::vector<pe::TVersionText> GivenTexts(const TExeVersionTexts& Texts)
{
  std::vector<pe::TVersionText> given;
  for (size_t i = 0; i < Texts.size(); ++i) {
    if (Texts[i])
      given.push_back({std::string(kExeVersionKeys[i]), *Texts[i]});
  }
  return given;
}

void PortableChangeExeIcon(const std::string& ExePath, const std::string& IcoPath)
{
  const std::vector<uint8_t> ico = ReadCheckedIcon(IcoPath);
  const std::vector<uint8_t> image = ReadExecutable(ExePath);
  auto read = pe::ReadResources(image);
  if (!read)
    throw std::runtime_error(read.Error() + ": " + ExePath);
  pe::TResourceTable& table = read.Value();
  const pe::TResource* group = table.FindDefault(kGroupIconType, kMainIcon);
  if (group == nullptr)
    throw std::runtime_error("FindResource failed (1)");
  const uint16_t groupLanguage = table.Languages(kGroupIconType, kMainIcon).front();

  std::set<uint16_t> keptIds;
  for (const pe::TResource& item : table.Items) {
    if (!item.Type.Matches(kGroupIconType) || (item.Name.Matches(kMainIcon) && item.Language == groupLanguage))
      continue;
    if (const auto other = pe::ParseIconGroup(item.Data)) {
      for (const pe::TIconGroupEntry& entry : other->Entries)
        keptIds.insert(entry.ImageId);
    }
  }
  auto plan = pe::PlanIconReplacement(group->Data, ico, keptIds);
  if (!plan)
    throw std::runtime_error(plan.Error());

  table.Remove(kGroupIconType, kMainIcon, groupLanguage);
  for (const uint16_t id : plan.Value().OldImageIds) {
    const auto languages = table.Languages(kIconType, pe::TResourceKey::Number(id));
    table.Remove(kIconType, pe::TResourceKey::Number(id), languages.empty() ? pe::kNeutralLanguage : languages.front());
  }
  for (const pe::TIconImage& added : plan.Value().NewImages)
    table.Put(
      {kIconType, pe::TResourceKey::Number(added.Id), pe::kUsEnglish, 0, {added.Bytes.begin(), added.Bytes.end()}});
  table.Put({kGroupIconType, kMainIcon, pe::kUsEnglish, 0, plan.Value().NewGroup});

  auto written = pe::WriteResources(image, table);
  if (!written)
    throw std::runtime_error(written.Error() + ": " + ExePath);
  ReplaceExecutable(ExePath, written.Value());
}

void PortableUpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts)
{
  if (TExeUtils::GetFileSize(ExePath) < 0)
    return;
  const std::vector<uint8_t> image = ReadExecutable(ExePath);
  if (!pe::IsPeImage(image))
    return;
  auto read = pe::ReadResources(image);
  if (!read)
    throw std::runtime_error(read.Error() + ": " + ExePath);
  pe::TResourceTable& table = read.Value();
  const pe::TResource* block = table.FindDefault(kVersionType, kVersionName);
  if (block == nullptr)
    return;
  auto rewritten = pe::RewriteVersionTexts(block->Data, GivenTexts(Texts));
  if (!rewritten)
    throw std::runtime_error(rewritten.Error());
  table.Put({kVersionType, kVersionName, pe::kNeutralLanguage, 0, std::move(rewritten.Value())});
  auto written = pe::WriteResources(image, table);
  if (!written)
    throw std::runtime_error(written.Error() + ": " + ExePath);
  ReplaceExecutable(ExePath, written.Value());
}

} // namespace exeutils

std::optional<size_t> FindExeVersionKey(std::string_view Key)
{
  const std::string wanted = text::AsciiLower(Key);
  for (size_t i = 0; i < kExeVersionKeys.size(); ++i) {
    if (text::AsciiLower(kExeVersionKeys[i]) == wanted)
      return i;
  }
  return std::nullopt;
}

void TExeUtils::ChangeExeIcon(const std::string& ExePath, const std::string& IcoPath, TResourceEditor Editor)
{
  if (Editor == TResourceEditor::Portable)
    exeutils::PortableChangeExeIcon(ExePath, IcoPath);
  else
    exeutils::SystemChangeExeIcon(ExePath, IcoPath);
}

void TExeUtils::UpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts, TResourceEditor Editor)
{
  if (Editor == TResourceEditor::Portable)
    exeutils::PortableUpdateExeInfo(ExePath, Texts);
  else
    exeutils::SystemUpdateExeInfo(ExePath, Texts);
}

TResult<std::vector<pe::TVersionTable>> TExeUtils::GetExeVersionTexts(const std::string& ExePath)
{
  std::vector<pe::TVersionTable> none;
  if (GetFileSize(ExePath) < 0)
    return none;
  auto map = TFileMap::Open(ExePath);
  if (!map)
    return TError{map.Error()};
  const auto image = map.Value().Bytes();
  if (!pe::IsPeImage(image))
    return none;
  auto table = pe::ReadResources(image);
  if (!table)
    return TError{table.Error()};
  const pe::TResource* block = table.Value().FindDefault(kVersionType, kVersionName);
  if (block == nullptr)
    return none;
  return pe::ReadVersionTexts(block->Data);
}

std::optional<uint64_t> ImageEndFromHeaders(std::span<const uint8_t> headers)
{
  if (headers.size() >= 2 && headers[0] == 'M' && headers[1] == 'Z')
    return PeImageEnd(headers);
  if (headers.size() >= 4 && headers[0] == 0x7F && headers[1] == 'E' && headers[2] == 'L' && headers[3] == 'F')
    return ElfImageEnd(headers);
  return std::nullopt;
}

TExeUtils::TExeUtils(std::string ExePath) : FExePath(ExePath.empty() ? TSysUtils::GetExeFilePath() : std::move(ExePath))
{}

int64_t TExeUtils::GetFileSize(const std::string& Path)
{
  std::error_code error;
  const auto size = std::filesystem::file_size(PathFromUtf8(Path), error);
  return error ? -1 : static_cast<int64_t>(size);
}

std::span<const uint8_t> TExeUtils::AttachedRange(std::span<const uint8_t> file)
{
  const auto end = ImageEndFromHeaders(file);
  if (!end || *end >= file.size())
    return {};
  return file.subspan(static_cast<size_t>(*end));
}

std::optional<uint64_t> TExeUtils::GetAttachedStubOffset() const
{
  auto map = TFileMap::Open(FExePath);
  if (!map)
    return std::nullopt;
  return ImageEndFromHeaders(map.Value().Bytes());
}

bool TExeUtils::ExeHasAttachedStub() const
{
  auto map = TFileMap::Open(FExePath);
  return map && !AttachedRange(map.Value().Bytes()).empty();
}

void TExeUtils::FailNoArchive()
{
  TSysUtils::ShowErrorMessageBox("This is not a valid Windows application", "Error");
  std::exit(0);
}

void TExeUtils::GetZipFromExe(TAttachedArchive& Archive)
{
  auto map = TFileMap::Open(FExePath);
  if (!map)
    throw std::runtime_error(map.Error());
  const auto range = AttachedRange(map.Value().Bytes());
  if (range.empty())
    FailNoArchive();
  // The archive is mapped rather than copied, so "copying" it is instantaneous.
  const auto length = static_cast<int64_t>(range.size());
  if (OnProgressMax)
    OnProgressMax(*this, length);
  Archive.FMap = std::move(map.Value());
  Archive.FBytes = range;
  if (OnProgressPos)
    OnProgressPos(*this, length);
}

void TExeUtils::ExtractZipFromExe(const std::string& ZipPath)
{
  auto map = TFileMap::Open(FExePath);
  if (!map)
    throw std::runtime_error(map.Error());
  const auto range = AttachedRange(map.Value().Bytes());
  if (range.empty())
    FailNoArchive();
  std::ofstream out(PathFromUtf8(ZipPath), std::ios::binary | std::ios::trunc);
  if (!out)
    throw std::runtime_error("Cannot create " + ZipPath);
  if (OnProgressMax)
    OnProgressMax(*this, static_cast<int64_t>(range.size()));
  size_t written = 0;
  while (written < range.size()) {
    const size_t chunk = std::min(kChunkSize, range.size() - written);
    out.write(reinterpret_cast<const char*>(range.data() + written), static_cast<std::streamsize>(chunk));
    if (!out)
      throw std::runtime_error("Cannot write " + ZipPath);
    written += chunk;
    if (OnProgressPos)
      OnProgressPos(*this, static_cast<int64_t>(written));
  }
  out.close();
  if (!out)
    throw std::runtime_error("Cannot write " + ZipPath);
}

void TExeUtils::AppendZipToExe(const std::string& ZipPath, const std::string& ExePath)
{
  const int64_t zipLength = GetFileSize(ZipPath);
  std::ifstream in = OpenForReading(ZipPath);
  // Opened for update, never re-created: the runtime image before E must stay byte for byte.
  std::fstream exe(PathFromUtf8(ExePath), std::ios::binary | std::ios::in | std::ios::out);
  if (!exe || zipLength < 0)
    throw std::runtime_error("Cannot open " + (zipLength < 0 ? ZipPath : ExePath) + " for writing");
  exe.seekp(0, std::ios::end);
  if (OnProgressMax)
    OnProgressMax(*this, zipLength);
  std::vector<char> buffer(kChunkSize);
  int64_t copied = 0;
  while (copied < zipLength) {
    const auto want = static_cast<std::streamsize>(std::min<int64_t>(kChunkSize, zipLength - copied));
    in.read(buffer.data(), want);
    const std::streamsize got = in.gcount();
    // A source that shrank since it was measured is an error, not a silently short archive.
    if (got <= 0)
      throw std::runtime_error(ZipPath + " ended after " + std::to_string(copied) + " of " + std::to_string(zipLength) +
                               " bytes");
    exe.write(buffer.data(), got);
    if (!exe)
      throw std::runtime_error("Cannot write " + ExePath);
    copied += got;
    if (OnProgressPos)
      OnProgressPos(*this, copied);
  }
  exe.close();
  if (!exe)
    throw std::runtime_error("Cannot write " + ExePath);
}

} // namespace velmora
