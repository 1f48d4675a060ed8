// Windows implementation of TSysUtils. Implementation here must contain only operating-system-specific code.
#include "SysUtils.h"
#include "TextCodec.h"

#include <windows.h>

namespace velmora {

std::string TSysUtils::GetExeFilePath()
{
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string TSysUtils::GetSystemErrorMessage(int code)
{
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
    static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? WideToUtf8(std::wstring_view(buffer, length)) : std::string();
  if (buffer != nullptr)
    LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int TSysUtils::GetLastErrorCode() { return static_cast<int>(GetLastError()); }

void TSysUtils::ShowErrorMessageBox(const std::string& text, const std::string& caption)
{
  MessageBoxW(GetActiveWindow(), Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK | MB_ICONERROR);
}

} // namespace velmora
