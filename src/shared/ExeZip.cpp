// The archive reader over libzip, opened on memory that the caller keeps alive.
#include "ExeZip.h"

#include <zip.h>

namespace velmora {

namespace {
std::string ZipErrorText(zip_error_t* error)
{
  std::string text = zip_error_strerror(error);
  zip_error_fini(error);
  return text;
}
} // namespace

std::string AsciiLower(std::string_view text)
{
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

TExeZip::TExeZip() = default;

TExeZip::~TExeZip()
{
  if (FArchive != nullptr)
    zip_discard(FArchive);
}

void TExeZip::SetPassword(std::string Password) { FPassword = std::move(Password); }

TStatus TExeZip::Open(std::span<const uint8_t> Bytes)
{
  const std::lock_guard lock(FLock);
  if (FArchive != nullptr) {
    zip_discard(FArchive);
    FArchive = nullptr;
    FIndexByFoldedName.clear();
  }
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
  FArchive = archive;

  // One index built up front makes every later lookup (each page request) a hash probe.
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  FIndexByFoldedName.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    if (name != nullptr)
      FIndexByFoldedName.emplace(AsciiLower(name), static_cast<uint64_t>(i)); // first one wins
  }
  return {};
}

TZipEntry TExeZip::EntryAt(uint64_t Index) const
{
  TZipEntry entry;
  entry.Index = Index;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(FArchive, Index, 0, &st) == 0) {
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
  }
  return entry;
}

std::optional<TZipEntry> TExeZip::FindFile(std::string_view Name) const
{
  const std::lock_guard lock(FLock);
  if (FArchive == nullptr)
    return std::nullopt;
  const auto found = FIndexByFoldedName.find(AsciiLower(Name));
  if (found == FIndexByFoldedName.end())
    return std::nullopt;
  return EntryAt(found->second);
}

std::vector<TZipEntry> TExeZip::Entries() const
{
  const std::lock_guard lock(FLock);
  std::vector<TZipEntry> entries;
  if (FArchive == nullptr)
    return entries;
  const zip_int64_t count = zip_get_num_entries(FArchive, 0);
  for (zip_int64_t i = 0; i < count; ++i)
    entries.push_back(EntryAt(static_cast<uint64_t>(i)));
  return entries;
}

TResult<bool> TExeZip::ExtractToStream(std::string_view Name, const TByteSink& Sink) const
{
  const std::lock_guard lock(FLock);
  if (FArchive == nullptr)
    return false;
  const auto found = FIndexByFoldedName.find(AsciiLower(Name));
  if (found == FIndexByFoldedName.end())
    return false;
  zip_file_t* file = zip_fopen_index(FArchive, found->second, 0);
  if (file == nullptr)
    return TError{"Cannot extract " + std::string(Name) + ": " + zip_strerror(FArchive)};
  uint8_t buffer[64 * 1024];
  for (;;) {
    const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
    if (got < 0) {
      std::string message = "Cannot extract " + std::string(Name) + ": " + zip_file_strerror(file);
      zip_fclose(file);
      return TError{std::move(message)};
    }
    if (got == 0)
      break;
    if (!Sink(std::span<const uint8_t>(buffer, static_cast<size_t>(got)))) {
      zip_fclose(file);
      return TError{"Cannot write the contents of " + std::string(Name)};
    }
  }
  // Closing checks the CRC of what was read; a mismatch means a wrong password or damage.
  const int closed = zip_fclose(file);
  if (closed != 0) {
    zip_error_t error;
    zip_error_init_with_code(&error, closed);
    return TError{"Cannot extract " + std::string(Name) + ": " + ZipErrorText(&error)};
  }
  return true;
}

TResult<std::optional<std::string>> TExeZip::ExtractToString(std::string_view Name) const
{
  std::string bytes;
  if (const auto entry = FindFile(Name))
    bytes.reserve(static_cast<size_t>(entry->Size));
  auto result = ExtractToStream(Name, [&bytes](std::span<const uint8_t> chunk) {
    bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    return true;
  });
  if (!result)
    return TError{result.Error()};
  if (!result.Value())
    return std::optional<std::string>();
  return std::optional<std::string>(std::move(bytes));
}

} // namespace velmora
