// Windows part of TStrUtils: reads the content types registered in the registry (HKEY_CLASSES_ROOT).
// Only registry access belongs here; the lookup itself is in StrUtils.cpp.
#include "MimeTypes.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <windows.h>

#include <iterator>
#include <optional>

namespace velmora::mime {

namespace {

class TRegKey {
public:
  TRegKey(HKEY parent, const wchar_t* subKey)
  {
    if (RegOpenKeyExW(parent, subKey, 0, KEY_READ, &FKey) != ERROR_SUCCESS)
      FKey = nullptr;
  }
  ~TRegKey()
  {
    if (FKey != nullptr)
      RegCloseKey(FKey);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  HKEY Get() const { return FKey; }

private:
  HKEY FKey = nullptr;
};

// Calls onSubKey with the name of each subkey of key.
template <class F>
void ForEachSubKey(HKEY key, F onSubKey)
{
  // Key names are at most 255 characters.
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(name));
    const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS)
      return;
    if (status == ERROR_SUCCESS)
      onSubKey(std::wstring_view(name, length));
    else if (status != ERROR_MORE_DATA)
      return;
  }
}

// The REG_SZ value valueName of key\subKey; nullopt when the key cannot be opened or holds
// no such string.
std::optional<std::wstring> ReadString(HKEY key, const std::wstring& subKey, const wchar_t* valueName)
{
  std::wstring value(64, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    auto size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LSTATUS status = RegGetValueW(key, subKey.c_str(), valueName, RRF_RT_REG_SZ, nullptr, value.data(), &size);
    if (status == ERROR_SUCCESS) {
      // size counts bytes including the terminating null.
      value.resize(size / sizeof(wchar_t));
      while (!value.empty() && value.back() == L'\0')
        value.pop_back();
      return value;
    }
    if (status != ERROR_MORE_DATA)
      return std::nullopt;
    value.resize(size / sizeof(wchar_t) + 1); // the value may grow between the two calls
  }
  return std::nullopt;
}

} // namespace

TMimeTable ReadSystemRecords()
{
  TMimeTable records;

  // 1. HKEY_CLASSES_ROOT\.ext with "Content Type".
  ForEachSubKey(HKEY_CLASSES_ROOT, [&records](std::wstring_view name) {
    if (name.empty() || name.front() != L'.')
      return;
    const std::wstring subKey(name);
    const std::optional<std::wstring> contentType = ReadString(HKEY_CLASSES_ROOT, subKey, L"Content Type");
    if (contentType && !contentType->empty())
      records.insert_or_assign(text::AsciiLower(WideToUtf8(subKey)), text::AsciiLower(WideToUtf8(*contentType)));
  });

  // 2. HKEY_CLASSES_ROOT\MIME\Database\Content Type\<type> with "Extension"; replaces step 1.
  const TRegKey database(HKEY_CLASSES_ROOT, L"MIME\\Database\\Content Type");
  if (database.Get() != nullptr) {
    ForEachSubKey(database.Get(), [&records, &database](std::wstring_view name) {
      const std::wstring subKey(name);
      const std::optional<std::wstring> extension = ReadString(database.Get(), subKey, L"Extension");
      if (!extension || extension->empty())
        return;
      std::string key = text::AsciiLower(WideToUtf8(*extension));
      if (key.front() != '.')
        key.insert(key.begin(), '.');
      records.insert_or_assign(std::move(key), text::AsciiLower(WideToUtf8(subKey)));
    });
  }
  return records;
}

} // namespace velmora::mime
