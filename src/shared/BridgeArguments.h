// The "data" object of a bridge call and the rules by which command handlers read it, and the
// form of the results they write.
#pragma once

#include <rapidjson/document.h>

#include <span>
#include <stdexcept>
#include <string>

namespace velmora {

// Error replies for text arguments holding a NUL character, which would end the text early at the
// system's call and so name another file or run another command.
inline constexpr const char* kNulInPathError = "\"Invalid path: it contains a NUL character\"";
inline constexpr const char* kNulInCommandError = "\"Invalid command: it contains a NUL character\"";

// An argument of the wrong JSON type: the command stops without a reply.
struct TBridgeArgumentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Messages are parsed with numbers kept as the text written in the message, so a number
// argument reads as exactly that text.
class TCommandData {
public:
  explicit TCommandData(const rapidjson::Value& Object) : FObject(Object) {}

  // Text argument: absent or null gives Default; a string its value; a number its text as
  // written; true and false give "true" and "false"; an object or array throws.
  std::string ReadText(const char* Key, const std::string& Default = {}) const;
  // Flag argument: absent or null gives false; booleans themselves; a string or number is a
  // boolean text (a number: zero false, others true; true/false in any letter case); any other
  // text, an object or an array throws.
  bool ReadFlag(const char* Key) const;

  const rapidjson::Value& Object() const { return FObject; }

private:
  const rapidjson::Value& FObject;
};

// The boolean text rule: "true" or "false" in any letter case, or a number (zero false, any
// other true). Anything else throws TBridgeArgumentError.
bool BooleanFromText(const std::string& Text);

// The text rule applied to one value (used for "id" and "uuid", which have no default).
std::string JsonValueAsText(const rapidjson::Value& Value, const std::string& Default);

// A JSON array of strings as results carry it: each item as StringToJsonString writes it, kept as it
// is (blanks included), separated by "," with no spaces; "[]" for none.
std::string JsonStringArray(std::span<const std::string> Items);

} // namespace velmora
