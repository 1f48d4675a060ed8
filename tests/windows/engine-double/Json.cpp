// The engine double's JSON reader and writer (see Json.h).
#include "Json.h"

#include "Text.h"

#include <charconv>
#include <cmath>

namespace velmora::enginedouble {

TJsonValue TJsonValue::MakeBool(bool value)
{
  TJsonValue v;
  v.FKind = TKind::Bool;
  v.FBool = value;
  return v;
}

TJsonValue TJsonValue::MakeNumber(double value)
{
  TJsonValue v;
  v.FKind = TKind::Number;
  v.FNumber = value;
  return v;
}

TJsonValue TJsonValue::MakeString(std::wstring value)
{
  TJsonValue v;
  v.FKind = TKind::String;
  v.FString = std::move(value);
  return v;
}

TJsonValue TJsonValue::MakeArray(std::vector<TJsonValue> items)
{
  TJsonValue v;
  v.FKind = TKind::Array;
  v.FItems = std::move(items);
  return v;
}

TJsonValue TJsonValue::MakeObject(std::vector<TMember> members)
{
  TJsonValue v;
  v.FKind = TKind::Object;
  v.FMembers = std::move(members);
  return v;
}

std::optional<int64_t> TJsonValue::AsInteger() const
{
  // 2^63 is exactly representable; every double below it in magnitude converts without overflow.
  constexpr double kLimit = 9223372036854775808.0;
  if (FKind != TKind::Number || std::trunc(FNumber) != FNumber || FNumber >= kLimit || FNumber < -kLimit)
    return std::nullopt;
  return static_cast<int64_t>(FNumber);
}

const TJsonValue* TJsonValue::Find(std::wstring_view name) const
{
  const TJsonValue* found = nullptr;
  for (const auto& [key, value] : FMembers) {
    if (key == name)
      found = &value;
  }
  return found;
}

std::optional<std::wstring> TJsonValue::FindString(std::wstring_view name) const
{
  const TJsonValue* value = Find(name);
  if (value == nullptr || !value->IsString())
    return std::nullopt;
  return value->AsString();
}

namespace {

class TJsonReader {
public:
  explicit TJsonReader(std::string_view text) : FText(text) {}

  std::optional<TJsonValue> ParseDocument(std::string* error)
  {
    SkipWhite();
    auto value = ParseValue(0);
    if (value) {
      SkipWhite();
      if (FPos != FText.size()) {
        Fail("text after the value");
        value.reset();
      }
    }
    if (!value && error != nullptr)
      *error = FError + " at byte " + std::to_string(FPos);
    return value;
  }

private:
  std::optional<TJsonValue> ParseValue(int depth)
  {
    if (depth >= kMaxJsonDepth)
      return Fail("nested too deeply");
    if (FPos >= FText.size())
      return Fail("unexpected end");
    switch (FText[FPos]) {
    case '{': return ParseObject(depth);
    case '[': return ParseArray(depth);
    case '"': {
      auto text = ParseString();
      if (!text)
        return std::nullopt;
      return TJsonValue::MakeString(std::move(*text));
    }
    case 't': return ParseWord("true", TJsonValue::MakeBool(true));
    case 'f': return ParseWord("false", TJsonValue::MakeBool(false));
    case 'n': return ParseWord("null", TJsonValue());
    default: return ParseNumber();
    }
  }

  std::optional<TJsonValue> ParseObject(int depth)
  {
    ++FPos; // {
    std::vector<TJsonValue::TMember> members;
    SkipWhite();
    if (Take('}'))
      return TJsonValue::MakeObject(std::move(members));
    for (;;) {
      SkipWhite();
      if (FPos >= FText.size() || FText[FPos] != '"')
        return Fail("expected a member name");
      auto name = ParseString();
      if (!name)
        return std::nullopt;
      SkipWhite();
      if (!Take(':'))
        return Fail("expected ':'");
      SkipWhite();
      auto value = ParseValue(depth + 1);
      if (!value)
        return std::nullopt;
      members.emplace_back(std::move(*name), std::move(*value));
      SkipWhite();
      if (Take('}'))
        return TJsonValue::MakeObject(std::move(members));
      if (!Take(','))
        return Fail("expected ',' or '}'");
    }
  }

  std::optional<TJsonValue> ParseArray(int depth)
  {
    ++FPos; // [
    std::vector<TJsonValue> items;
    SkipWhite();
    if (Take(']'))
      return TJsonValue::MakeArray(std::move(items));
    for (;;) {
      SkipWhite();
      auto value = ParseValue(depth + 1);
      if (!value)
        return std::nullopt;
      items.push_back(std::move(*value));
      SkipWhite();
      if (Take(']'))
        return TJsonValue::MakeArray(std::move(items));
      if (!Take(','))
        return Fail("expected ',' or ']'");
    }
  }

  std::optional<unsigned> ParseHex4()
  {
    if (FText.size() - FPos < 4) {
      Fail("short \\u escape");
      return std::nullopt;
    }
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = FText[FPos++];
      unsigned digit = 0;
      if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
      else {
        Fail("bad \\u escape");
        return std::nullopt;
      }
      value = value * 16 + digit;
    }
    return value;
  }

  std::optional<std::wstring> ParseString()
  {
    ++FPos;          // opening quote
    std::string raw; // UTF-8 run between escapes
    std::wstring out;
    auto flush = [&]() -> bool {
      bool valid = true;
      out += WideFromUtf8(raw, &valid);
      raw.clear();
      return valid;
    };
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '"') {
        ++FPos;
        if (!flush()) {
          Fail("invalid UTF-8 in a string");
          return std::nullopt;
        }
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        Fail("control character in a string");
        return std::nullopt;
      }
      if (c != '\\') {
        raw += c;
        ++FPos;
        continue;
      }
      if (!flush()) {
        Fail("invalid UTF-8 in a string");
        return std::nullopt;
      }
      ++FPos;
      if (FPos >= FText.size())
        break;
      const char escape = FText[FPos++];
      switch (escape) {
      case '"': out += L'"'; break;
      case '\\': out += L'\\'; break;
      case '/': out += L'/'; break;
      case 'b': out += L'\b'; break;
      case 'f': out += L'\f'; break;
      case 'n': out += L'\n'; break;
      case 'r': out += L'\r'; break;
      case 't': out += L'\t'; break;
      case 'u': {
        // A surrogate pair arrives as two escapes; each unit is kept as it is, so a lone surrogate
        // stays one too, as it would in a page's string.
        const auto unit = ParseHex4();
        if (!unit)
          return std::nullopt;
        out += static_cast<wchar_t>(*unit);
        break;
      }
      default: Fail("unknown escape"); return std::nullopt;
      }
    }
    Fail("unterminated string");
    return std::nullopt;
  }

  std::optional<TJsonValue> ParseWord(std::string_view word, TJsonValue value)
  {
    if (FText.substr(FPos, word.size()) != word)
      return Fail("unknown word");
    FPos += word.size();
    return value;
  }

  std::optional<TJsonValue> ParseNumber()
  {
    // JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    const size_t start = FPos;
    auto digits = [&]() {
      const size_t first = FPos;
      while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9')
        ++FPos;
      return FPos - first;
    };
    Take('-');
    if (!Take('0') && digits() == 0)
      return Fail("unexpected character");
    if (Take('.') && digits() == 0)
      return Fail("digits expected after '.'");
    if (Take('e') || Take('E')) {
      if (!Take('+'))
        Take('-');
      if (digits() == 0)
        return Fail("digits expected in the exponent");
    }
    double value = 0;
    const auto result = std::from_chars(FText.data() + start, FText.data() + FPos, value);
    if (result.ec != std::errc() || result.ptr != FText.data() + FPos || !std::isfinite(value))
      return Fail("number out of range");
    return TJsonValue::MakeNumber(value);
  }

  void SkipWhite()
  {
    while (FPos < FText.size() &&
           (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\r' || FText[FPos] == '\n'))
      ++FPos;
  }

  bool Take(char c)
  {
    if (FPos < FText.size() && FText[FPos] == c) {
      ++FPos;
      return true;
    }
    return false;
  }

  std::nullopt_t Fail(std::string message)
  {
    if (FError.empty())
      FError = std::move(message);
    return std::nullopt;
  }

  std::string_view FText;
  size_t FPos = 0;
  std::string FError;
};

void AppendEscape(std::string& out, unsigned unit)
{
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kDigits[(unit >> shift) & 0xF];
}

} // namespace

std::optional<TJsonValue> ParseJson(std::string_view text, std::string* error)
{
  TJsonReader reader(text);
  return reader.ParseDocument(error);
}

void AppendJsonString(std::string& out, std::wstring_view text)
{
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<unsigned>(text[i]);
    switch (unit) {
    case '"': out += "\\\""; continue;
    case '\\': out += "\\\\"; continue;
    case '\n': out += "\\n"; continue;
    case '\r': out += "\\r"; continue;
    case '\t': out += "\\t"; continue;
    case '\b': out += "\\b"; continue;
    case '\f': out += "\\f"; continue;
    default: break;
    }
    if (unit < 0x20 || unit == 0x7F) {
      AppendEscape(out, unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      out += Utf8FromWide(text.substr(i, 2));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendEscape(out, unit); // unpaired: UTF-8 cannot carry it, the escape can
    } else {
      out += Utf8FromWide(text.substr(i, 1));
    }
  }
  out += '"';
}

void AppendJsonString(std::string& out, std::string_view utf8) { AppendJsonString(out, WideFromUtf8(utf8)); }

void AppendJson(std::string& out, const TJsonValue& value)
{
  switch (value.Kind()) {
  case TJsonValue::TKind::Null: out += "null"; break;
  case TJsonValue::TKind::Bool: out += value.AsBool() ? "true" : "false"; break;
  case TJsonValue::TKind::Number: out += JsonNumberText(value.AsNumber()); break;
  case TJsonValue::TKind::String: AppendJsonString(out, std::wstring_view(value.AsString())); break;
  case TJsonValue::TKind::Array: {
    out += '[';
    bool first = true;
    for (const auto& item : value.Items()) {
      if (!first)
        out += ',';
      first = false;
      AppendJson(out, item);
    }
    out += ']';
    break;
  }
  case TJsonValue::TKind::Object: {
    out += '{';
    bool first = true;
    for (const auto& [name, member] : value.Members()) {
      if (!first)
        out += ',';
      first = false;
      AppendJsonString(out, std::wstring_view(name));
      out += ':';
      AppendJson(out, member);
    }
    out += '}';
    break;
  }
  }
}

std::string JsonNumberText(double value)
{
  if (!std::isfinite(value))
    return "null";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

TJsonObjectWriter& TJsonObjectWriter::Name(std::string_view name)
{
  if (!FFirst)
    FText += ',';
  FFirst = false;
  AppendJsonString(FText, name);
  FText += ':';
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Str(std::string_view name, std::wstring_view value)
{
  Name(name);
  AppendJsonString(FText, value);
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Utf8(std::string_view name, std::string_view value)
{
  Name(name);
  AppendJsonString(FText, value);
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Int(std::string_view name, int64_t value)
{
  Name(name);
  FText += std::to_string(value);
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Uint(std::string_view name, uint64_t value)
{
  Name(name);
  FText += std::to_string(value);
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Number(std::string_view name, double value)
{
  Name(name);
  FText += JsonNumberText(value);
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Bool(std::string_view name, bool value)
{
  Name(name);
  FText += value ? "true" : "false";
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Null(std::string_view name)
{
  Name(name);
  FText += "null";
  return *this;
}

TJsonObjectWriter& TJsonObjectWriter::Raw(std::string_view name, std::string_view json)
{
  Name(name);
  FText += json;
  return *this;
}

} // namespace velmora::enginedouble
