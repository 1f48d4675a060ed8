// Conversions between the text encodings the system meets: UTF-8 (all portable code),
// UTF-16 (settings files with a byte-order mark, the Windows API) and the ANSI code page.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Decodes one code point from UTF-8 at text[pos] and advances pos. Malformed or truncated
// sequences, overlong forms and surrogate code points decode as U+FFFD and consume one byte.
char32_t DecodeUtf8(std::string_view text, size_t& pos);

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values past U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

bool IsValidUtf8(std::string_view text);

// Replaces every malformed sequence by U+FFFD, so the result is valid UTF-8.
std::string SanitizeUtf8(std::string_view text);

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 bytes in the given byte order (an odd trailing byte is dropped) to UTF-8.
enum class TByteOrder { LittleEndian, BigEndian };
std::string Utf16BytesToUtf8(std::string_view bytes, TByteOrder order);

// Windows-1252 to UTF-8 (the five unassigned bytes map to the C1 controls of the same value).
std::string Windows1252ToUtf8(std::string_view bytes);

// Text in the system's ANSI code page to UTF-8. On Windows this is the active code page
// (CP_ACP). POSIX systems have no ANSI code page: bytes that form valid UTF-8 are read as
// UTF-8, anything else as Windows-1252, the code page such text most often comes from.
std::string AnsiToUtf8(std::string_view bytes);

// File system paths from and to UTF-8 text. A char8_t string is read as UTF-8 everywhere; a
// plain std::string would be taken in the ANSI code page on Windows.
std::filesystem::path PathFromUtf8(std::string_view Path);
std::string Utf8FromPath(const std::filesystem::path& Path);

// The whole content of a regular file, or nullopt when there is none, it cannot be read, it is
// larger than MaxBytes, or the path holds a NUL character (which would name another file).
std::optional<std::string> ReadWholeFile(const std::string& Path, uint64_t MaxBytes = UINT64_MAX);

#ifdef _WIN32
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
#endif

} // namespace velmora
