// Fuzz target: every host text placed in a reply goes through StringToJsonString. Whatever the
// bytes, the result must be one JSON string that reads back as the text (malformed UTF-8 as
// U+FFFD, as SanitizeUtf8 makes it).
#include "StrUtils.h"
#include "TextCodec.h"

#include <rapidjson/document.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  using namespace velmora;
  const std::string_view input(reinterpret_cast<const char*>(Data), Size);
  const std::string json = TStrUtils::StringToJsonString(input);
  rapidjson::Document parsed;
  parsed.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
  if (parsed.HasParseError() || !parsed.IsString())
    std::abort();
  if (std::string(parsed.GetString(), parsed.GetStringLength()) != SanitizeUtf8(input))
    std::abort();
  return 0;
}
