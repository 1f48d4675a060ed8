// Iterative, depth-limited JSON parsing over RapidJSON.
#include "BoundedJson.h"

#include "Limits.h"
#include "TextCodec.h"

#include <cstring>

namespace velmora {

int JsonNestingDepth(std::string_view Text, int Limit)
{
  int depth = 0;
  int deepest = 0;
  const char* const begin = Text.data();
  const char* const end = begin + Text.size();
  for (const char* at = begin; at < end; ++at) {
    const char c = *at;
    if (c == '"') {
      // The string ends at the next quote that follows an even run of backslashes; the quotes
      // are found by memchr, so long strings (the bulk of large messages) pass quickly.
      const char* quote = at;
      for (;;) {
        quote = static_cast<const char*>(std::memchr(quote + 1, '"', static_cast<size_t>(end - quote - 1)));
        if (quote == nullptr)
          return deepest;
        const char* run = quote;
        while (run - 1 > at && run[-1] == '\\')
          --run;
        if ((quote - run) % 2 == 0)
          break;
      }
      at = quote;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest && (deepest = depth) > Limit)
        return deepest;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

bool ParseBoundedJson(rapidjson::Document& Document, std::string_view Text, TJsonNumbers Numbers)
{
  Document.SetNull();
  if (JsonNestingDepth(Text, kMaxJsonNesting) > kMaxJsonNesting)
    return false;
  // Text that is not UTF-8 is refused whole, checked ahead of the parser: several times faster
  // than the parser's own check, which goes a character at a time.
  if (!IsValidUtf8(Text))
    return false;
  // The iterative parser keeps its state on the heap, so no text can overflow the native stack;
  // the depth check above bounds that state too.
  constexpr unsigned kBase = rapidjson::kParseIterativeFlag;
  if (Numbers == TJsonNumbers::AsStrings)
    Document.Parse<kBase | rapidjson::kParseNumbersAsStringsFlag>(Text.data(), Text.size());
  else
    Document.Parse<kBase>(Text.data(), Text.size());
  return !Document.HasParseError();
}

bool ParseBoundedJsonInPlace(rapidjson::Document& Document, std::string& Text, TJsonNumbers Numbers)
{
  Document.SetNull();
  // The in-place parser ends at the first NUL; JSON text never holds one unescaped, so such a
  // text is refused here as the copying parser refuses it.
  if (Text.find('\0') != std::string::npos || JsonNestingDepth(Text, kMaxJsonNesting) > kMaxJsonNesting ||
      !IsValidUtf8(Text))
    return false;
  // The SSE2 scanner reads whole aligned 16-byte blocks, past the text's end: those bytes must
  // be the string's own.
  Text.reserve(Text.size() + kInPlaceParsePadding);
  constexpr unsigned kBase = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;
  if (Numbers == TJsonNumbers::AsStrings)
    Document.ParseInsitu<kBase | rapidjson::kParseNumbersAsStringsFlag>(Text.data());
  else
    Document.ParseInsitu<kBase>(Text.data());
  return !Document.HasParseError();
}

} // namespace velmora
