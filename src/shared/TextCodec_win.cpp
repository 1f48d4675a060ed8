// Windows part of the text conversions: the ANSI code page and the UTF-16 API boundary.
#include "TextCodec.h"

#include <windows.h>

namespace velmora {

std::wstring Utf8ToWide(std::string_view text)
{
  const std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string WideToUtf8(std::wstring_view text) { return Utf16ToUtf8(std::u16string(text.begin(), text.end())); }

std::string AnsiToUtf8(std::string_view bytes)
{
  if (bytes.empty())
    return {};
  const int size = static_cast<int>(bytes.size());
  const int count = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (count <= 0)
    return Windows1252ToUtf8(bytes);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), count);
  return WideToUtf8(wide);
}

} // namespace velmora
