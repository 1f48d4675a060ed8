// TExeUtils: finds, reads and (packer side) appends the ZIP archive attached to an executable.
#pragma once

#include "FileMap.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// The offset E where an executable's own image ends, as its headers describe it; whatever
// follows E in the file is the attached archive.
// - PE: the largest PointerToRawData + SizeOfRawData over the section table, added in 32 bits.
// - ELF (the Linux runtime): the largest end over the program segments' file contents, the
//   sections' contents and the section header table.
// Nothing outside `headers` is read. Headers that are truncated, point outside `headers`, or
// are otherwise absurd (no sections, a table past the data) give nullopt: "no archive".
std::optional<uint64_t> ImageEndFromHeaders(std::span<const uint8_t> headers);

// The archive attached to an executable, mapped read-only. Bytes() stays valid while the
// object lives; the ZIP reader is opened directly on it.
class TAttachedArchive {
public:
  std::span<const uint8_t> Bytes() const { return FBytes; }

private:
  friend class TExeUtils;
  TFileMap FMap;
  std::span<const uint8_t> FBytes;
};

class TExeUtils;
using TOnProgressMax = std::function<void(TExeUtils& Sender, int64_t AMax)>;
using TOnProgressPos = std::function<void(TExeUtils& Sender, int64_t APos)>;

class TExeUtils {
public:
  // Works on the running executable, or on ExePath when one is given (the packer and tests).
  explicit TExeUtils(std::string ExePath = {});

  // Fired once before a copy with the byte count, and after each chunk with the running total.
  TOnProgressMax OnProgressMax;
  TOnProgressPos OnProgressPos;

  // True when the executable's file is longer than E.
  bool ExeHasAttachedStub() const;

  // Maps the attached archive read-only into Archive (no copy through private memory). When
  // nothing is attached it shows "This is not a valid Windows application" and ends the
  // process with exit code 0. A file that cannot be read throws std::runtime_error.
  void GetZipFromExe(TAttachedArchive& Archive);

  // Writes the attached archive to a new (or truncated) file at ZipPath, in 10,240-byte chunks
  // with progress events. No archive: as GetZipFromExe. I/O failures throw std::runtime_error.
  void ExtractZipFromExe(const std::string& ZipPath);

  // Appends the ZIP file at ZipPath to the end of the executable at ExePath, unchanged, in
  // 10,240-byte chunks with progress events. The executable must be a fresh runtime copy
  // (nothing attached yet), since readers take the archive to start at E.
  void AppendZipToExe(const std::string& ZipPath, const std::string& ExePath);

  // The file's length in bytes, or -1 when no file of that name exists.
  static int64_t GetFileSize(const std::string& Path);

  // E of the executable, or nullopt when its headers are unusable.
  std::optional<uint64_t> GetAttachedStubOffset() const;

  const std::string& ExePath() const { return FExePath; }

  static constexpr size_t kChunkSize = 10240;

  // The attached range [E, file end) of a mapped executable, empty when there is none.
  static std::span<const uint8_t> AttachedRange(std::span<const uint8_t> file);

private:
  [[noreturn]] static void FailNoArchive();

  std::string FExePath;
};

} // namespace velmora
