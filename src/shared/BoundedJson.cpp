// Iterative, depth-limited JSON parsing over RapidJSON.
#include "BoundedJson.h"

#include "Limits.h"
#include "TextCodec.h"

namespace velmora {

int JsonNestingDepth(std::string_view Text, int Limit)
{
  int depth = 0;
  int deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (inString) {
      if (c == '\\')
        ++i; // the escaped character cannot end the string
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
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

} // namespace velmora
