// Test support: ZIP archives made in memory with libzip, and bundles made from them.
#include "support/ZipFixture.h"

#include "support/TestFiles.h"

#include <zip.h>

#include <cstdio>
#include <stdexcept>

namespace velmora::test {

std::string MakeZip(const std::vector<TFixtureEntry>& Entries, const std::string& Password)
{
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (target == nullptr)
    throw std::runtime_error("zip_source_buffer_create failed");
  zip_source_keep(target);
  zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  if (archive == nullptr)
    throw std::runtime_error("zip_open_from_source failed");
  for (const TFixtureEntry& entry : Entries) {
    zip_int64_t index = -1;
    if (entry.IsFolder) {
      index = zip_dir_add(archive, entry.Name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.Data.data(), entry.Data.size(), 0);
      index = zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
      if (index >= 0)
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), entry.Compression, 0);
    }
    if (index < 0)
      throw std::runtime_error(std::string("cannot add ") + entry.Name + ": " + zip_strerror(archive));
    if (entry.Encryption != 0 &&
        zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), entry.Encryption, Password.c_str()) != 0)
      throw std::runtime_error(std::string("cannot encrypt ") + entry.Name + ": " + zip_strerror(archive));
  }
  if (zip_close(archive) != 0)
    throw std::runtime_error(std::string("zip_close: ") + zip_strerror(archive));

  std::string bytes;
  zip_stat_t st;
  if (zip_source_stat(target, &st) == 0 && zip_source_open(target) == 0) {
    bytes.resize(static_cast<size_t>(st.size));
    const zip_int64_t got = zip_source_read(target, bytes.data(), bytes.size());
    zip_source_close(target);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  zip_source_free(target);
  return bytes;
}

void WriteBundle(const std::string& Path, const std::string& Archive)
{
  WriteFile(Path, ReadFile(VELMORA_RUNTIME_PATH) + Archive);
}

} // namespace velmora::test
