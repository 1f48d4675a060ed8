// Test support: ZIP archives made in memory with libzip, and bundles made from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

struct TFixtureEntry {
  std::string Name;
  std::string Data;
  uint16_t Encryption = 1; // 0 none, 1 traditional PKWARE, 0x0103 AES-256
  int32_t Compression = 0; // 0 stored, 8 deflated
  bool IsFolder = false;
};

// The bytes of a ZIP archive holding the entries, encrypted entries with Password.
std::string MakeZip(const std::vector<TFixtureEntry>& Entries, const std::string& Password);

// Writes a packaged executable: the runtime this build made, then Archive.
void WriteBundle(const std::string& Path, const std::string& Archive);

} // namespace velmora::test
