#include "JsonWriter.h"

#include <stdexcept>

namespace velmora::inspect {

namespace {

void AppendUtf8(std::string& Out, char32_t Code)
{
  if (Code < 0x80) {
    Out.push_back(static_cast<char>(Code));
  } else if (Code < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (Code >> 6)));
    Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
  } else if (Code < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (Code >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (Code >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((Code >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
  }
}

bool IsHighSurrogate(char32_t Unit) { return Unit >= 0xD800 && Unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t Unit) { return Unit >= 0xDC00 && Unit <= 0xDFFF; }

} // namespace

std::string Utf16ToUtf8(std::wstring_view Text)
{
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    // wchar_t is 16 bits on Windows; the mask keeps the code correct where it is wider.
    const char32_t Unit = static_cast<char32_t>(Text[I]) & 0xFFFF;
    if (IsHighSurrogate(Unit) && I + 1 < Text.size()) {
      const char32_t Next = static_cast<char32_t>(Text[I + 1]) & 0xFFFF;
      if (IsLowSurrogate(Next)) {
        AppendUtf8(Out, 0x10000 + ((Unit - 0xD800) << 10) + (Next - 0xDC00));
        ++I;
        continue;
      }
    }
    if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit)) {
      AppendUtf8(Out, 0xFFFD);
    } else {
      AppendUtf8(Out, Unit);
    }
  }
  return Out;
}

void AppendJsonString(std::string& Out, std::string_view Text)
{
  static constexpr char Hex[] = "0123456789abcdef";
  Out.push_back('"');
  for (const char C : Text) {
    const auto Byte = static_cast<unsigned char>(C);
    switch (C) {
    case '"': Out += "\\\""; break;
    case '\\': Out += "\\\\"; break;
    case '\b': Out += "\\b"; break;
    case '\f': Out += "\\f"; break;
    case '\n': Out += "\\n"; break;
    case '\r': Out += "\\r"; break;
    case '\t': Out += "\\t"; break;
    default:
      if (Byte < 0x20) {
        Out += "\\u00";
        Out.push_back(Hex[Byte >> 4]);
        Out.push_back(Hex[Byte & 0x0F]);
      } else {
        Out.push_back(C);
      }
    }
  }
  Out.push_back('"');
}

void JsonWriter::BeforeValue()
{
  if (FStack.empty()) {
    if (!FOut.empty()) {
      throw std::logic_error("JsonWriter: a second top-level value");
    }
    return;
  }
  Level& Top = FStack.back();
  if (Top.IsObject) {
    if (!FAfterKey) {
      throw std::logic_error("JsonWriter: an object member without a key");
    }
    FAfterKey = false;
    return;
  }
  if (!Top.Empty) {
    FOut.push_back(',');
  }
  Top.Empty = false;
}

JsonWriter& JsonWriter::Raw(std::string_view Token)
{
  BeforeValue();
  FOut += Token;
  return *this;
}

JsonWriter& JsonWriter::BeginObject()
{
  BeforeValue();
  FOut.push_back('{');
  FStack.push_back({true, true});
  return *this;
}

JsonWriter& JsonWriter::EndObject()
{
  if (FStack.empty() || !FStack.back().IsObject || FAfterKey) {
    throw std::logic_error("JsonWriter: EndObject without an open object");
  }
  FStack.pop_back();
  FOut.push_back('}');
  return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
  BeforeValue();
  FOut.push_back('[');
  FStack.push_back({false, true});
  return *this;
}

JsonWriter& JsonWriter::EndArray()
{
  if (FStack.empty() || FStack.back().IsObject) {
    throw std::logic_error("JsonWriter: EndArray without an open array");
  }
  FStack.pop_back();
  FOut.push_back(']');
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view Name)
{
  if (FStack.empty() || !FStack.back().IsObject || FAfterKey) {
    throw std::logic_error("JsonWriter: a key outside an object");
  }
  if (!FStack.back().Empty) {
    FOut.push_back(',');
  }
  FStack.back().Empty = false;
  AppendJsonString(FOut, Name);
  FOut.push_back(':');
  FAfterKey = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view Utf8)
{
  BeforeValue();
  AppendJsonString(FOut, Utf8);
  return *this;
}

JsonWriter& JsonWriter::String(std::wstring_view Utf16) { return String(std::string_view(Utf16ToUtf8(Utf16))); }

JsonWriter& JsonWriter::Bool(bool Value) { return Raw(Value ? "true" : "false"); }

JsonWriter& JsonWriter::Null() { return Raw("null"); }

} // namespace velmora::inspect
