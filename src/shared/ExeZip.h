// TExeZip: the reader of the archive attached to a packaged executable, over libzip.
#pragma once

#include "Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;

namespace velmora {

struct TZipEntry {
  std::string Name; // as stored, "/" separated
  uint64_t Index = 0;
  uint64_t Size = 0; // uncompressed
  uint64_t CompressedSize = 0;
  uint16_t EncryptionMethod = 0; // 0 none, 1 traditional PKWARE, 0x0101..0x0103 AES
  int32_t CompressionMethod = 0; // 0 stored, 8 deflated, ...
  std::optional<uint32_t> Crc;   // the CRC-32 of the uncompressed bytes, when the archive gives it
  bool IsDirectory() const { return !Name.empty() && Name.back() == '/'; }
};

// Receives extracted bytes chunk by chunk; returns false to stop (for example a failed write).
using TByteSink = std::function<bool(std::span<const uint8_t>)>;

// The decrypted, inflated bytes of one entry, read chunk by chunk. It may be read on any thread
// (one call at a time) and outlives the TExeZip that opened it. It never yields more than the
// entry declares nor more than kMaxArchiveEntryBytes: an entry that tries ends in an error.
class TZipEntryReader {
public:
  virtual ~TZipEntryReader() = default;
  // The size the entry declares (uncompressed).
  virtual uint64_t DeclaredSize() const = 0;
  // Up to Buffer.size() bytes; 0 at the end, after the entry's checksum has been verified.
  virtual TResult<size_t> Read(std::span<uint8_t> Buffer) = 0;
  // Passes over the next Count bytes (an error when the entry ends before them). Reads and drops
  // them unless the reader can do better; a reader that did better cannot verify the checksum.
  virtual TStatus Skip(uint64_t Count);
};

// Reads Reader to its end into Sink, chunk by chunk; the first error of either ends the copy.
TStatus CopyEntry(TZipEntryReader& Reader, const std::function<TStatus(std::span<const uint8_t>)>& Sink);

// Reads a ZIP archive held in memory: traditional PKWARE, AES and unencrypted entries,
// stored or deflated. Lookups take the full stored name and ignore ASCII letter case.
// Safe to use from several threads: calls into libzip are serialised.
class TExeZip {
public:
  TExeZip();
  ~TExeZip();
  TExeZip(const TExeZip&) = delete;
  TExeZip& operator=(const TExeZip&) = delete;

  // The password used for encrypted entries; set it before Open.
  void SetPassword(std::string Password);
  // How many bytes of large encrypted entries read to their end are kept decrypted (by default
  // kDecryptedCacheBytes; 0 keeps none); set it before Open.
  void SetDecryptedCacheBytes(uint64_t Bytes);

  // Opens the archive over Bytes (no copy is made). Bytes must stay valid while the reader or
  // any entry reader it made is alive; KeepAlive, when given, is held that long for the purpose.
  TStatus Open(std::span<const uint8_t> Bytes, std::shared_ptr<const void> KeepAlive = nullptr);
  bool IsOpen() const { return FShared != nullptr; }

  // The entry of that name, or nullopt (not an error) when the archive has none.
  std::optional<TZipEntry> FindFile(std::string_view Name) const;

  // Extracts the named entry, decrypted and inflated, into Sink. The value tells whether an
  // entry of that name exists: a missing name writes nothing and is not an error. A wrong
  // password, corrupt data or a sink that refuses gives an error.
  TResult<bool> ExtractToStream(std::string_view Name, const TByteSink& Sink) const;

  // Convenience over ExtractToStream: the entry's bytes, nullopt when the name is missing. An
  // entry that declares or yields more than MaxBytes is an error and nothing is kept of it.
  TResult<std::optional<std::string>> ExtractToString(std::string_view Name, uint64_t MaxBytes = UINT64_MAX) const;

  // A reader of the named entry, or nullptr when the archive has none. Opening the entry (and
  // every failure) happens at the first Read, so this is cheap enough for the UI thread.
  std::unique_ptr<TZipEntryReader> OpenEntry(std::string_view Name) const;

  std::vector<TZipEntry> Entries() const;

  struct TShared; // the libzip archive and its lock, shared with the entry readers

private:
  std::optional<uint64_t> IndexOf(std::string_view Name) const;

  std::string FPassword;
  uint64_t FDecryptedCacheBytes;
  std::shared_ptr<TShared> FShared;
  std::unordered_map<std::string, uint64_t> FIndexByFoldedName;
};

} // namespace velmora
