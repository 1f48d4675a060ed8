// POSIX part of the text conversions: only what depends on the operating system.
#include "TextCodec.h"

namespace velmora {

std::string AnsiToUtf8(std::string_view bytes)
{
  return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

} // namespace velmora
