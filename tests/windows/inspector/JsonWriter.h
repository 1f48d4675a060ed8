// A small streaming JSON writer for the inspector's output: compact, UTF-8, strings escaped.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::inspect {

// UTF-16 to UTF-8. Surrogate pairs become one four-byte sequence; a lone surrogate, which
// window texts may hold, becomes U+FFFD so the output stays valid UTF-8.
std::string Utf16ToUtf8(std::wstring_view Text);

// Appends Text (UTF-8) to Out as a quoted JSON string: quote, backslash and every control
// character below U+0020 are escaped.
void AppendJsonString(std::string& Out, std::string_view Text);

// Builds one JSON document. Commas are placed by the writer; a member is written as
// Key("name") followed by exactly one value (or a nested object or array).
class JsonWriter {
public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view Name);

  JsonWriter& String(std::string_view Utf8);
  JsonWriter& String(std::wstring_view Utf16);
  JsonWriter& Bool(bool Value);
  JsonWriter& Null();

  template <std::integral T>
  requires(!std::same_as<T, bool>) JsonWriter& Number(T Value)
  {
    if constexpr (std::is_signed_v<T>) {
      return Raw(std::to_string(static_cast<std::int64_t>(Value)));
    } else {
      return Raw(std::to_string(static_cast<std::uint64_t>(Value)));
    }
  }

  // The document so far; complete once every object and array is closed.
  const std::string& Text() const { return FOut; }
  bool Complete() const { return FStack.empty() && !FOut.empty(); }

private:
  JsonWriter& Raw(std::string_view Token);
  void BeforeValue();

  struct Level {
    bool IsObject;
    bool Empty;
  };
  std::string FOut;
  std::vector<Level> FStack;
  bool FAfterKey = false;
};

} // namespace velmora::inspect
