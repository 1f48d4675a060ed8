// Text helpers of the engine double (see Text.h).
#include "Text.h"

#include <objbase.h>

#include <cstring>
#include <vector>

namespace velmora::enginedouble {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::wstring& out, char32_t code)
{
  if (code < 0x10000) {
    out += static_cast<wchar_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<wchar_t>(0xD800 + (code >> 10));
  out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
}

void AppendUtf8(std::string& out, char32_t code)
{
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i; nullopt (i past the bad byte) when invalid.
// Overlong forms, surrogates and values above U+10FFFF are invalid.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& i)
{
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80)
    return lead;
  int extra = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    code = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    code = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    code = lead & 0x07;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size())
      return std::nullopt;
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80)
      return std::nullopt;
    code = (code << 6) | (next & 0x3F);
    ++i;
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return std::nullopt;
  return code;
}

} // namespace

std::wstring WideFromUtf8(std::string_view text, bool* valid)
{
  std::wstring out;
  out.reserve(text.size());
  if (valid != nullptr)
    *valid = true;
  size_t i = 0;
  while (i < text.size()) {
    if (const auto code = DecodeUtf8(text, i)) {
      AppendUtf16(out, *code);
    } else {
      AppendUtf16(out, kReplacement);
      if (valid != nullptr)
        *valid = false;
    }
  }
  return out;
}

std::string Utf8FromWide(std::wstring_view text)
{
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<char32_t>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      const auto low = static_cast<char32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes)
{
  size_t i = 0;
  while (i < bytes.size()) {
    if (!DecodeUtf8(bytes, i))
      return false;
  }
  return true;
}

std::string Base64(std::string_view bytes)
{
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const auto block = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                       static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                       static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 2]));
    out += kAlphabet[(block >> 18) & 63];
    out += kAlphabet[(block >> 12) & 63];
    out += kAlphabet[(block >> 6) & 63];
    out += kAlphabet[block & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned block = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2)
      block |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kAlphabet[(block >> 18) & 63];
    out += kAlphabet[(block >> 12) & 63];
    out += rest == 2 ? kAlphabet[(block >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring AsciiLower(std::wstring_view text)
{
  std::wstring out(text);
  for (auto& c : out)
    c = AsciiLower(c);
  return out;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b)
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return true;
}

bool StartsWithIgnoreCase(std::wstring_view text, std::wstring_view prefix)
{
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::wstring_view TrimWhite(std::wstring_view text)
{
  constexpr std::wstring_view kWhite = L" \t\r\n\f";
  const auto first = text.find_first_not_of(kWhite);
  if (first == std::wstring_view::npos)
    return {};
  const auto last = text.find_last_not_of(kWhite);
  return text.substr(first, last - first + 1);
}

std::string HresultText(HRESULT result)
{
  static constexpr char kDigits[] = "0123456789ABCDEF";
  auto value = static_cast<unsigned long>(result);
  std::string text = "0x00000000";
  for (size_t i = 9; i >= 2; --i) {
    text[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  return text;
}

std::optional<HRESULT> ParseHresult(std::wstring_view text)
{
  text = TrimWhite(text);
  unsigned base = 10;
  if (StartsWithIgnoreCase(text, L"0x")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 10)
    return std::nullopt;
  unsigned long long value = 0;
  for (const wchar_t c : text) {
    unsigned digit = 0;
    if (c >= L'0' && c <= L'9')
      digit = static_cast<unsigned>(c - L'0');
    else if (base == 16 && AsciiLower(c) >= L'a' && AsciiLower(c) <= L'f')
      digit = static_cast<unsigned>(AsciiLower(c) - L'a' + 10);
    else
      return std::nullopt;
    value = value * base + digit;
  }
  if (value > 0xFFFFFFFFull)
    return std::nullopt;
  return static_cast<HRESULT>(static_cast<unsigned long>(value));
}

LPWSTR CoTaskString(std::wstring_view text)
{
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr)
    return nullptr;
  std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
  copy[text.size()] = L'\0';
  return copy;
}

HRESULT OutString(std::wstring_view text, LPWSTR* out)
{
  if (out == nullptr)
    return E_POINTER;
  *out = CoTaskString(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::wstring TakeCoTaskString(LPWSTR text)
{
  if (text == nullptr)
    return {};
  std::wstring copy(text);
  CoTaskMemFree(text);
  return copy;
}

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name)
{
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0)
    return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::wstring>(std::wstring());
  std::vector<wchar_t> buffer(size);
  const DWORD length = GetEnvironmentVariableW(name, buffer.data(), size);
  if (length >= size)
    return std::nullopt;
  return std::wstring(buffer.data(), length);
}

} // namespace velmora::enginedouble
