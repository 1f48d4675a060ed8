// Windows part of the localized messages: the user's language from the user default locale.
#include "LocalizedMessages.h"
#include "TextCodec.h"

#include <windows.h>

namespace velmora {

std::string GetUserLanguageCode()
{
  wchar_t buffer[16] = {};
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 16);
  if (length <= 1)
    return {};
  return WideToUtf8(std::wstring_view(buffer, static_cast<size_t>(length - 1)));
}

} // namespace velmora
