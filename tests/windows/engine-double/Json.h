// A small JSON reader and writer for the engine double's command lines and transcript lines.
//
// Strings are held as UTF-16, the form the engine's interface uses, so any \uXXXX escape survives,
// an unpaired surrogate included. The reader never throws on bad input: it reports the first error.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::enginedouble {

class TJsonValue {
public:
  enum class TKind { Null, Bool, Number, String, Array, Object };
  using TMember = std::pair<std::wstring, TJsonValue>;

  TJsonValue() = default;
  static TJsonValue MakeBool(bool value);
  static TJsonValue MakeNumber(double value);
  static TJsonValue MakeString(std::wstring value);
  static TJsonValue MakeArray(std::vector<TJsonValue> items);
  static TJsonValue MakeObject(std::vector<TMember> members);

  TKind Kind() const { return FKind; }
  bool IsNull() const { return FKind == TKind::Null; }
  bool IsString() const { return FKind == TKind::String; }
  bool IsObject() const { return FKind == TKind::Object; }
  bool IsArray() const { return FKind == TKind::Array; }
  bool AsBool() const { return FBool; }
  double AsNumber() const { return FNumber; }
  // The number when it is an integer within the range of int64_t.
  std::optional<int64_t> AsInteger() const;
  const std::wstring& AsString() const { return FString; }
  const std::vector<TJsonValue>& Items() const { return FItems; }
  const std::vector<TMember>& Members() const { return FMembers; }

  // The member's value (the last one, when the name repeats), or null when absent or not an object.
  const TJsonValue* Find(std::wstring_view name) const;
  // The member as a string, or nullopt when it is absent or of another kind.
  std::optional<std::wstring> FindString(std::wstring_view name) const;

private:
  TKind FKind = TKind::Null;
  bool FBool = false;
  double FNumber = 0;
  std::wstring FString;
  std::vector<TJsonValue> FItems;
  std::vector<TMember> FMembers;
};

// Parses one JSON text (UTF-8, surrounding white space allowed). On failure gives nullopt and, when
// error is set, a short reason with the byte offset. Nesting deeper than kMaxJsonDepth is refused.
inline constexpr int kMaxJsonDepth = 64;
std::optional<TJsonValue> ParseJson(std::string_view text, std::string* error = nullptr);

// Appends text as a JSON string literal in UTF-8: quotes, backslashes and every control character
// escaped (as \n, \r, \t, \b, \f or \u00XX); an unpaired surrogate written as its \uXXXX escape.
void AppendJsonString(std::string& out, std::wstring_view text);
void AppendJsonString(std::string& out, std::string_view utf8);
// Writes a parsed value back as JSON text.
void AppendJson(std::string& out, const TJsonValue& value);

// Builds one JSON object, member by member, without a document in between.
class TJsonObjectWriter {
public:
  TJsonObjectWriter() : FText("{") {}
  TJsonObjectWriter& Str(std::string_view name, std::wstring_view value);
  TJsonObjectWriter& Utf8(std::string_view name, std::string_view value);
  TJsonObjectWriter& Int(std::string_view name, int64_t value);
  TJsonObjectWriter& Uint(std::string_view name, uint64_t value);
  TJsonObjectWriter& Number(std::string_view name, double value);
  TJsonObjectWriter& Bool(std::string_view name, bool value);
  TJsonObjectWriter& Null(std::string_view name);
  // A member whose value is JSON text built elsewhere (a nested object or an array).
  TJsonObjectWriter& Raw(std::string_view name, std::string_view json);
  // The finished object text.
  std::string Finish() const { return FText + "}"; }

private:
  TJsonObjectWriter& Name(std::string_view name);
  std::string FText;
  bool FFirst = true;
};

// Formats a double the shortest way that reads back the same ("1", "0.5", "1e+100").
std::string JsonNumberText(double value);

} // namespace velmora::enginedouble
