// The archive reader over libzip, opened on memory that the caller keeps alive.
#include "ExeZip.h"

#include "Limits.h"
#include "TextHelpers.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <list>
#include <map>
#include <vector>

namespace velmora {

namespace {
std::string ZipErrorText(zip_error_t* error)
{
  std::string text = zip_error_strerror(error);
  zip_error_fini(error);
  return text;
}
} // namespace

// One libzip archive for the reader and every entry reader it made. libzip is not thread-safe,
// so every call into it holds Lock; the archive goes when its last user does.
struct TExeZip::TShared {
  std::mutex Lock;
  zip_t* Archive = nullptr;
  std::shared_ptr<const void> KeepAlive; // the memory the archive is read from
  // For traditionally encrypted, stored entries: the cipher's keys at every 256 KiB of the raw
  // data that some reader has passed, by entry and raw offset. The cipher cannot seek, so a read
  // from the middle of an entry starts at the nearest of these instead of at the beginning
  // (12 bytes per 256 KiB, so bounded by the archive's size).
  std::unordered_map<uint64_t, std::map<uint64_t, std::array<uint32_t, 3>>> Checkpoints;
  // Large entries read to their end, decrypted and checked, most recently used first; at most
  // DecryptedBudget bytes in all.
  std::list<std::pair<uint64_t, std::shared_ptr<const std::vector<uint8_t>>>> Decrypted;
  uint64_t DecryptedBytes = 0;
  uint64_t DecryptedBudget = kDecryptedCacheBytes;

  // The kept bytes of the entry, made the most recently used; nullptr when it is not kept.
  std::shared_ptr<const std::vector<uint8_t>> KeptEntry(uint64_t Index)
  {
    const std::lock_guard lock(Lock);
    for (auto at = Decrypted.begin(); at != Decrypted.end(); ++at) {
      if (at->first == Index) {
        Decrypted.splice(Decrypted.begin(), Decrypted, at);
        return at->second;
      }
    }
    return nullptr;
  }

  void KeepEntry(uint64_t Index, std::shared_ptr<const std::vector<uint8_t>> Bytes)
  {
    const std::lock_guard lock(Lock);
    if (std::any_of(Decrypted.begin(), Decrypted.end(), [&](const auto& kept) { return kept.first == Index; }))
      return; // another reader finished it first
    DecryptedBytes += Bytes->size();
    Decrypted.emplace_front(Index, std::move(Bytes));
    while (DecryptedBytes > DecryptedBudget) {
      DecryptedBytes -= Decrypted.back().second->size();
      Decrypted.pop_back();
    }
  }

  ~TShared()
  {
    if (Archive != nullptr)
      zip_discard(Archive);
  }
};

namespace {

TZipEntry EntryAt(zip_t* Archive, uint64_t Index)
{
  TZipEntry entry;
  entry.Index = Index;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(Archive, Index, 0, &st) == 0) {
    if ((st.valid & ZIP_STAT_NAME) != 0U)
      entry.Name = st.name;
    if ((st.valid & ZIP_STAT_SIZE) != 0U)
      entry.Size = st.size;
    if ((st.valid & ZIP_STAT_COMP_SIZE) != 0U)
      entry.CompressedSize = st.comp_size;
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0U)
      entry.EncryptionMethod = st.encryption_method;
    if ((st.valid & ZIP_STAT_COMP_METHOD) != 0U)
      entry.CompressionMethod = st.comp_method;
    if ((st.valid & ZIP_STAT_CRC) != 0U)
      entry.Crc = st.crc;
  }
  return entry;
}

// What both entry readers keep: the archive, the entry, the libzip file they read (closed under
// the archive's lock), and the first failure, which every later read repeats.
class TLibzipEntryReader : public TZipEntryReader {
public:
  TLibzipEntryReader(std::shared_ptr<TExeZip::TShared> Shared, uint64_t Index, uint64_t Size, std::string Name)
    : FShared(std::move(Shared)), FIndex(Index), FSize(Size), FName(std::move(Name))
  {}

  ~TLibzipEntryReader() override
  {
    if (FFile != nullptr) {
      const std::lock_guard lock(FShared->Lock);
      zip_fclose(FFile);
    }
  }

  TLibzipEntryReader(const TLibzipEntryReader&) = delete;
  TLibzipEntryReader& operator=(const TLibzipEntryReader&) = delete;

  uint64_t DeclaredSize() const override { return FSize; }

protected:
  // What a read gives before it reads anything: the earlier failure, the end, or a refusal of an
  // entry above the ceiling; nothing when the read goes on.
  std::optional<TResult<size_t>> Settled(std::span<const uint8_t> Buffer)
  {
    if (!FError.empty())
      return TError{FError};
    if (FDone || Buffer.empty())
      return size_t{0};
    if (FSize > kMaxArchiveEntryBytes)
      return Fail("the entry is larger than the runtime reads (" + std::to_string(FSize) + " bytes)");
    return std::nullopt;
  }

  TError Fail(const std::string& Why)
  {
    FError = "Cannot extract " + FName + ": " + Why;
    return TError{FError};
  }

  std::shared_ptr<TExeZip::TShared> FShared;
  uint64_t FIndex;
  uint64_t FSize;
  std::string FName;
  zip_file_t* FFile = nullptr;
  uint64_t FRead = 0;
  bool FDone = false;
  std::string FError;
};

// Reads one entry under the archive's lock, a call at a time. The declared size is only a
// bound: bytes past it, or past the ceiling, end the read in an error rather than in memory.
class TEntryReader final : public TLibzipEntryReader {
public:
  using TLibzipEntryReader::TLibzipEntryReader;

  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    if (auto settled = Settled(Buffer))
      return *settled;
    const std::lock_guard lock(FShared->Lock);
    if (FFile == nullptr) {
      FFile = zip_fopen_index(FShared->Archive, FIndex, 0);
      if (FFile == nullptr)
        return Fail(zip_strerror(FShared->Archive));
    }
    // One byte more than may come, so an entry that yields more than it declares shows at once.
    const uint64_t allowed = FSize - FRead + 1;
    const auto want = static_cast<zip_uint64_t>(std::min<uint64_t>(Buffer.size(), allowed));
    const zip_int64_t got = zip_fread(FFile, Buffer.data(), want);
    if (got < 0)
      return Fail(zip_file_strerror(FFile));
    FRead += static_cast<uint64_t>(got);
    if (FRead > FSize)
      return Fail("the entry holds more data than it declares");
    if (got > 0)
      return static_cast<size_t>(got);
    // The end: closing checks the CRC of what was read, so a wrong password or damage shows.
    const int closed = zip_fclose(FFile);
    FFile = nullptr;
    if (closed != 0) {
      zip_error_t error;
      zip_error_init_with_code(&error, closed);
      return Fail(ZipErrorText(&error));
    }
    if (FRead != FSize)
      return Fail("the entry holds less data than it declares");
    FDone = true;
    return size_t{0};
  }
};

// The traditional PKWARE cipher: three keys stirred with each plain byte. libzip decrypts it through
// one call of zlib's crc32() per key update, several times slower than this table; every
// traditionally encrypted entry that is stored or deflated is read through here.
class TPkwareCipher {
public:
  explicit TPkwareCipher(std::string_view Password)
  {
    for (const char c : Password)
      Stir(static_cast<uint8_t>(c));
  }

  void Decrypt(uint8_t* Data, size_t Size)
  {
    for (size_t i = 0; i < Size; ++i) {
      const uint32_t temp = (FKey2 | 2U) & 0xFFFFU;
      const auto plain = static_cast<uint8_t>(Data[i] ^ static_cast<uint8_t>((temp * (temp ^ 1U)) >> 8));
      Data[i] = plain;
      Stir(plain);
    }
  }

  std::array<uint32_t, 3> Keys() const { return {FKey0, FKey1, FKey2}; }
  void SetKeys(const std::array<uint32_t, 3>& Keys)
  {
    FKey0 = Keys[0];
    FKey1 = Keys[1];
    FKey2 = Keys[2];
  }

private:
  static constexpr std::array<uint32_t, 256> kCrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();

  void Stir(uint8_t Plain)
  {
    FKey0 = kCrcTable[(FKey0 ^ Plain) & 0xFFU] ^ (FKey0 >> 8);
    FKey1 = (FKey1 + (FKey0 & 0xFFU)) * 134775813U + 1U;
    FKey2 = kCrcTable[(FKey2 ^ (FKey1 >> 24)) & 0xFFU] ^ (FKey2 >> 8);
  }

  uint32_t FKey0 = 0x12345678U;
  uint32_t FKey1 = 0x23456789U;
  uint32_t FKey2 = 0x34567890U;
};

// Reads a traditionally encrypted entry, stored or deflated: libzip gives the raw bytes (under the
// archive's lock, a block at a time), which are decrypted, inflated and checked here, beside the
// lock, so readers of different entries work at once. The bytes end in the same checks as
// libzip's: never more than declared, exactly as many, and the CRC-32 the archive records (which
// also tells a wrong password).
class TPkwareEntryReader final : public TLibzipEntryReader {
public:
  TPkwareEntryReader(std::shared_ptr<TExeZip::TShared> Shared, const TZipEntry& Entry, std::string_view Password,
                     std::string Name)
    : TLibzipEntryReader(std::move(Shared), Entry.Index, Entry.Size, std::move(Name)), FRawLeft(Entry.CompressedSize),
      FCrc(Entry.Crc.value_or(0)), FDeflated(Entry.CompressionMethod == ZIP_CM_DEFLATE), FCipher(Password),
      FKeeping(Entry.Size >= kMinDecryptedCacheEntryBytes && Entry.Size <= FShared->DecryptedBudget)
  {
    if (FKeeping)
      FKept.reserve(static_cast<size_t>(std::min<uint64_t>(Entry.Size, kMaxEntryReserveBytes)));
  }

  ~TPkwareEntryReader() override
  {
    if (FInflating)
      inflateEnd(&FStream);
  }

  TPkwareEntryReader(const TPkwareEntryReader&) = delete;
  TPkwareEntryReader& operator=(const TPkwareEntryReader&) = delete;

  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    if (auto settled = Settled(Buffer))
      return *settled;
    if (!Open())
      return TError{FError};
    if (FDeflated && !FInflating) {
      if (inflateInit2(&FStream, -MAX_WBITS) != Z_OK)
        return Fail("the decompressor could not start");
      FInflating = true;
    }
    // One byte more than may come, so an entry that yields more than it declares shows at once.
    const uint64_t allowed = FSize - FRead + 1;
    if (Buffer.size() > allowed)
      Buffer = Buffer.first(static_cast<size_t>(allowed));
    for (;;) {
      if (FInPos == FInput.size() && !FRawEnd) {
        if (const TStatus filled = Fill(); !filled)
          return TError{filled.Error()};
      }
      size_t produced = 0;
      bool streamEnd = false;
      if (FDeflated) {
        FStream.next_in = FInput.data() + FInPos;
        FStream.avail_in = static_cast<uInt>(FInput.size() - FInPos);
        FStream.next_out = Buffer.data();
        FStream.avail_out = static_cast<uInt>(std::min<size_t>(Buffer.size(), UINT32_MAX));
        const int result = inflate(&FStream, Z_NO_FLUSH);
        FInPos = FInput.size() - FStream.avail_in;
        produced = static_cast<size_t>(FStream.next_out - Buffer.data());
        if (result == Z_STREAM_END)
          streamEnd = true;
        else if (result != Z_OK && result != Z_BUF_ERROR)
          return Fail("the compressed data is damaged");
      } else {
        produced = std::min(Buffer.size(), FInput.size() - FInPos);
        std::copy_n(FInput.begin() + static_cast<std::ptrdiff_t>(FInPos), produced, Buffer.begin());
        FInPos += produced;
      }
      if (produced > 0) {
        FRead += produced;
        if (FRead > FSize)
          return Fail("the entry holds more data than it declares");
        FComputedCrc = crc32_z(FComputedCrc, Buffer.data(), produced);
        if (FKeeping)
          FKept.insert(FKept.end(), Buffer.data(), Buffer.data() + produced);
        return produced;
      }
      if (streamEnd || (FRawEnd && FInPos == FInput.size()))
        return Finish();
    }
  }

  TStatus Skip(uint64_t Count) override
  {
    // A stored entry read from its start can jump: its raw bytes up to the nearest checkpoint
    // are passed over undecrypted, and the cipher goes on from the keys recorded there.
    if (!FDeflated && FRawPassed == 0 && FError.empty() && !FDone && Count >= kCheckpointBytes) {
      const uint64_t targetRaw = FRead + Count + kHeaderBytes;
      std::optional<std::pair<uint64_t, std::array<uint32_t, 3>>> nearest;
      {
        const std::lock_guard lock(FShared->Lock);
        const auto entry = FShared->Checkpoints.find(FIndex);
        if (entry != FShared->Checkpoints.end()) {
          auto at = entry->second.upper_bound(targetRaw);
          if (at != entry->second.begin())
            nearest = *std::prev(at);
        }
      }
      if (nearest) {
        FKeeping = false;
        FKept = {};
        if (const TStatus passed = PassRaw(nearest->first); !passed)
          return passed;
        FCipher.SetKeys(nearest->second);
        FHeaderLeft = 0;
        FRead = nearest->first - kHeaderBytes;
        FSkipped = true;
        Count = targetRaw - nearest->first;
      }
    }
    return TZipEntryReader::Skip(Count);
  }

private:
  static constexpr size_t kBlockBytes = 64 * 1024;
  static constexpr size_t kHeaderBytes = 12;
  static constexpr uint64_t kCheckpointBytes = 256 * 1024;

  bool Open()
  {
    if (FFile == nullptr && !FRawEnd) {
      const std::lock_guard lock(FShared->Lock);
      FFile = zip_fopen_index(FShared->Archive, FIndex, ZIP_FL_ENCRYPTED);
      if (FFile == nullptr) {
        Fail(zip_strerror(FShared->Archive));
        return false;
      }
    }
    return true;
  }

  // Passes over the raw bytes up to RawOffset without decrypting them.
  TStatus PassRaw(uint64_t RawOffset)
  {
    if (!Open())
      return TError{FError};
    {
      // The raw bytes of a stored entry can be sought in, where the archive's memory allows.
      const std::lock_guard lock(FShared->Lock);
      if (RawOffset <= FRawPassed + FRawLeft && zip_fseek(FFile, static_cast<zip_int64_t>(RawOffset), SEEK_SET) == 0) {
        FRawLeft -= RawOffset - FRawPassed;
        FRawPassed = RawOffset;
        return {};
      }
    }
    std::vector<uint8_t> scratch(kBlockBytes);
    while (FRawPassed < RawOffset) {
      const auto want = static_cast<zip_uint64_t>(std::min<uint64_t>(scratch.size(), RawOffset - FRawPassed));
      zip_int64_t got = 0;
      {
        const std::lock_guard lock(FShared->Lock);
        got = zip_fread(FFile, scratch.data(), want);
        if (got <= 0)
          return Fail(got < 0 ? zip_file_strerror(FFile) : "the entry ends before the range");
      }
      FRawPassed += static_cast<uint64_t>(got);
      FRawLeft -= static_cast<uint64_t>(got);
    }
    return {};
  }

  // The next block of raw bytes, decrypted, past the encryption header. Reading stops at the
  // recorded compressed size: libzip would check the raw bytes of a stored entry against the
  // CRC of the plain ones at their end.
  TStatus Fill()
  {
    FInput.resize(static_cast<size_t>(std::min<uint64_t>(kBlockBytes, FRawLeft)));
    zip_int64_t got = 0;
    if (!FInput.empty()) {
      const std::lock_guard lock(FShared->Lock);
      got = zip_fread(FFile, FInput.data(), FInput.size());
      if (got < 0)
        return Fail(zip_file_strerror(FFile));
    }
    FRawLeft -= static_cast<uint64_t>(got);
    FInput.resize(static_cast<size_t>(got));
    FInPos = 0;
    if (got == 0) {
      FRawEnd = true;
      return {};
    }
    if (!FDeflated && FRawPassed > 0 && FRawPassed % kCheckpointBytes == 0) {
      const std::lock_guard lock(FShared->Lock);
      FShared->Checkpoints[FIndex].emplace(FRawPassed, FCipher.Keys());
    }
    FRawPassed += static_cast<uint64_t>(got);
    FCipher.Decrypt(FInput.data(), FInput.size());
    const size_t header = std::min(FHeaderLeft, FInput.size());
    FHeaderLeft -= header;
    FInPos = header;
    return {};
  }

  TResult<size_t> Finish()
  {
    if (FHeaderLeft > 0)
      return Fail("the entry ends inside its encryption header");
    if (FRead != FSize)
      return Fail("the entry holds less data than it declares");
    if (!FSkipped && FComputedCrc != FCrc)
      return Fail("the data does not match its checksum (a wrong password or damage)");
    {
      const std::lock_guard lock(FShared->Lock);
      zip_fclose(FFile);
      FFile = nullptr;
    }
    FDone = true;
    if (FKeeping && !FSkipped) {
      FKeeping = false;
      FShared->KeepEntry(FIndex, std::make_shared<const std::vector<uint8_t>>(std::move(FKept)));
    }
    return size_t{0};
  }

  uint64_t FRawLeft;
  uint32_t FCrc;
  bool FDeflated;
  TPkwareCipher FCipher;
  z_stream FStream{};
  bool FInflating = false;
  std::vector<uint8_t> FInput;
  size_t FInPos = 0;
  size_t FHeaderLeft = kHeaderBytes;
  uint64_t FRawPassed = 0; // raw bytes read so far, the encryption header included
  bool FSkipped = false;   // bytes were passed over undecrypted: the checksum cannot be verified
  bool FRawEnd = false;
  uLong FComputedCrc = 0;
  // Whether the bytes read are kept, to be handed to the archive's cache once verified.
  bool FKeeping;
  std::vector<uint8_t> FKept;
};

// Reads an entry kept decrypted in memory: a skip costs nothing.
class TKeptEntryReader final : public TZipEntryReader {
public:
  explicit TKeptEntryReader(std::shared_ptr<const std::vector<uint8_t>> Bytes) : FBytes(std::move(Bytes)) {}

  uint64_t DeclaredSize() const override { return FBytes->size(); }

  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    const size_t count = std::min(Buffer.size(), FBytes->size() - FAt);
    std::copy_n(FBytes->data() + FAt, count, Buffer.data());
    FAt += count;
    return count;
  }

  TStatus Skip(uint64_t Count) override
  {
    if (Count > FBytes->size() - FAt)
      return TError{"The entry ended before the range started"};
    FAt += static_cast<size_t>(Count);
    return {};
  }

private:
  std::shared_ptr<const std::vector<uint8_t>> FBytes;
  size_t FAt = 0;
};

} // namespace

TExeZip::TExeZip() : FDecryptedCacheBytes(kDecryptedCacheBytes) {}

TExeZip::~TExeZip() = default;

void TExeZip::SetPassword(std::string Password) { FPassword = std::move(Password); }

void TExeZip::SetDecryptedCacheBytes(uint64_t Bytes) { FDecryptedCacheBytes = Bytes; }

TStatus TExeZip::Open(std::span<const uint8_t> Bytes, std::shared_ptr<const void> KeepAlive)
{
  FShared.reset();
  FIndexByFoldedName.clear();
  // libzip reads zero bytes as a new, empty archive; here it can only be a missing one.
  if (Bytes.empty())
    return TError{"Cannot open the archive: no data"};
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(Bytes.data(), Bytes.size(), 0, &error);
  if (source == nullptr)
    return TError{"Cannot read the archive: " + ZipErrorText(&error)};
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) {
    zip_source_free(source);
    return TError{"Cannot open the archive: " + ZipErrorText(&error)};
  }
  zip_error_fini(&error);
  if (!FPassword.empty())
    zip_set_default_password(archive, FPassword.c_str());
  auto shared = std::make_shared<TShared>();
  shared->Archive = archive;
  shared->KeepAlive = std::move(KeepAlive);
  shared->DecryptedBudget = FDecryptedCacheBytes;

  // One index built up front makes every later lookup (each page request) a hash probe.
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  FIndexByFoldedName.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    if (name != nullptr)
      FIndexByFoldedName.emplace(text::AsciiLower(name), static_cast<uint64_t>(i)); // first one wins
  }
  FShared = std::move(shared);
  return {};
}

std::optional<uint64_t> TExeZip::IndexOf(std::string_view Name) const
{
  if (FShared == nullptr)
    return std::nullopt;
  const auto found = FIndexByFoldedName.find(text::AsciiLower(Name));
  if (found == FIndexByFoldedName.end())
    return std::nullopt;
  return found->second;
}

std::optional<TZipEntry> TExeZip::FindFile(std::string_view Name) const
{
  const auto index = IndexOf(Name);
  if (!index)
    return std::nullopt;
  const std::lock_guard lock(FShared->Lock);
  return EntryAt(FShared->Archive, *index);
}

std::vector<TZipEntry> TExeZip::Entries() const
{
  std::vector<TZipEntry> entries;
  if (FShared == nullptr)
    return entries;
  const std::lock_guard lock(FShared->Lock);
  const zip_int64_t count = zip_get_num_entries(FShared->Archive, 0);
  for (zip_int64_t i = 0; i < count; ++i)
    entries.push_back(EntryAt(FShared->Archive, static_cast<uint64_t>(i)));
  return entries;
}

std::unique_ptr<TZipEntryReader> TExeZip::OpenEntry(std::string_view Name) const
{
  const auto entry = FindFile(Name);
  if (!entry)
    return nullptr;
  if (entry->EncryptionMethod == ZIP_EM_TRAD_PKWARE && entry->Crc &&
      (entry->CompressionMethod == ZIP_CM_STORE || entry->CompressionMethod == ZIP_CM_DEFLATE)) {
    if (auto kept = FShared->KeptEntry(entry->Index))
      return std::make_unique<TKeptEntryReader>(std::move(kept));
    return std::make_unique<TPkwareEntryReader>(FShared, *entry, FPassword, std::string(Name));
  }
  return std::make_unique<TEntryReader>(FShared, entry->Index, entry->Size, std::string(Name));
}

TStatus TZipEntryReader::Skip(uint64_t Count)
{
  uint8_t scratch[64 * 1024];
  while (Count > 0) {
    const auto got = Read(std::span<uint8_t>(scratch, static_cast<size_t>(std::min<uint64_t>(Count, sizeof scratch))));
    if (!got)
      return TError{got.Error()};
    if (got.Value() == 0)
      return TError{"The entry ended before the range started"};
    Count -= got.Value();
  }
  return {};
}

TStatus CopyEntry(TZipEntryReader& Reader, const std::function<TStatus(std::span<const uint8_t>)>& Sink)
{
  uint8_t buffer[64 * 1024];
  for (;;) {
    const auto got = Reader.Read(buffer);
    if (!got)
      return TError{got.Error()};
    if (got.Value() == 0)
      return {};
    if (TStatus sunk = Sink(std::span<const uint8_t>(buffer, got.Value())); !sunk)
      return sunk;
  }
}

TResult<bool> TExeZip::ExtractToStream(std::string_view Name, const TByteSink& Sink) const
{
  const auto reader = OpenEntry(Name);
  if (reader == nullptr)
    return false;
  const TStatus copied = CopyEntry(*reader, [&](std::span<const uint8_t> Chunk) -> TStatus {
    if (!Sink(Chunk))
      return TError{"Cannot write the contents of " + std::string(Name)};
    return {};
  });
  if (!copied)
    return TError{copied.Error()};
  return true;
}

TResult<std::optional<std::string>> TExeZip::ExtractToString(std::string_view Name, uint64_t MaxBytes) const
{
  const auto entry = FindFile(Name);
  if (!entry)
    return std::optional<std::string>();
  if (entry->Size > MaxBytes)
    return TError{"Cannot extract " + std::string(Name) + ": the entry is larger than " + std::to_string(MaxBytes) +
                  " bytes"};
  std::string bytes;
  // What the entry declares is only a hint: never more than a modest amount is reserved before
  // the bytes have really been produced.
  bytes.reserve(static_cast<size_t>(std::min<uint64_t>(entry->Size, kMaxEntryReserveBytes)));
  auto result = ExtractToStream(Name, [&bytes](std::span<const uint8_t> chunk) {
    bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    return true;
  });
  if (!result)
    return TError{result.Error()};
  return std::optional<std::string>(std::move(bytes));
}

} // namespace velmora
