// POSIX part of the localized messages: the user's language from the locale variables.
#include "LocalizedMessages.h"

#include <cstdlib>

namespace velmora {

std::string GetUserLanguageCode()
{
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return LanguageFromLocaleName(value);
  }
  return {};
}

} // namespace velmora
