// Text helpers of the engine double: UTF-8/UTF-16 conversion, base64, ASCII case rules, HRESULT text,
// strings handed across the interface (CoTaskMemAlloc) and environment variables.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace velmora::enginedouble {

// Decodes UTF-8; an invalid sequence becomes U+FFFD and clears *valid (when given).
std::wstring WideFromUtf8(std::string_view text, bool* valid = nullptr);
// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
bool IsValidUtf8(std::string_view bytes);
std::string Base64(std::string_view bytes);

wchar_t AsciiLower(wchar_t c);
std::wstring AsciiLower(std::wstring_view text);
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoreCase(std::wstring_view text, std::wstring_view prefix);
std::wstring_view TrimWhite(std::wstring_view text);

// "0x80004005": the form HRESULTs take in the transcript.
std::string HresultText(HRESULT result);
// Reads "0x80004005" (or decimal) as an HRESULT; nullopt when it is neither.
std::optional<HRESULT> ParseHresult(std::wstring_view text);

// A CoTaskMemAlloc copy for an LPWSTR out parameter; null when out of memory.
LPWSTR CoTaskString(std::wstring_view text);
// Fills an LPWSTR out parameter with a copy of text.
HRESULT OutString(std::wstring_view text, LPWSTR* out);
// Takes a string the engine's interface allocated: copies it and frees the original.
std::wstring TakeCoTaskString(LPWSTR text);
// A null LPCWSTR reads as the empty string.
inline std::wstring_view View(LPCWSTR text) { return text != nullptr ? std::wstring_view(text) : std::wstring_view(); }

// The value of an environment variable of this process, or nullopt when it is not set.
std::optional<std::wstring> EnvironmentVariable(const wchar_t* name);

} // namespace velmora::enginedouble
