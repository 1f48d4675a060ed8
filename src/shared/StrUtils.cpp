// Portable part of TStrUtils; the system's content-type records are read in StrUtils_posix.cpp / _win.cpp.
#include "StrUtils.h"

#include "MimeTypes.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iterator>
#include <random>
#include <system_error>

namespace velmora {

namespace {

using text::AsciiLower;
using text::ReplaceAll;
using text::StartsWithIgnoringCase;

#ifdef _WIN32
constexpr char kPathDelimiter = '\\';
constexpr std::string_view kFolderDelimiters = "\\/:";
#else
constexpr char kPathDelimiter = '/';
constexpr std::string_view kFolderDelimiters = "/";
#endif

constexpr std::string_view kDefaultMimeType = "application/octet-stream";

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Letters, digits and everything outside ASCII (nearly all of which belongs to words of some
// script) join a word; the rest of ASCII separates words.
bool IsWordByte(char c)
{
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x80U || IsAsciiDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z');
}

void AppendUnitEscape(std::string& out, char32_t unit)
{
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char escape[6] = {
    '\\', 'u', kHex[(unit >> 12U) & 0xFU], kHex[(unit >> 8U) & 0xFU], kHex[(unit >> 4U) & 0xFU], kHex[unit & 0xFU]};
  out.append(escape, sizeof escape);
}

// ASCII that StringToJsonString writes as it is.
bool IsPlainJsonByte(char c)
{
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x20U && b < 0x80U && c != '"' && c != '\\' && c != '/';
}

const mime::TMimeTable& MergedMimeTable()
{
  // Built on first use; C++ guarantees one initialisation even when requests race to it.
  static const mime::TMimeTable table = [] {
    mime::TMimeTable merged = mime::BuiltInTable();
    mime::Overlay(merged, mime::ReadSystemRecords());
    return merged;
  }();
  return table;
}

// Decoded bytes need not form UTF-8; the result is promised to be valid text.
std::string PercentDecode(std::string_view text) { return SanitizeUtf8(text::PercentDecodeBytes(text)); }

} // namespace

namespace mime {

TMimeTable BuiltInTable()
{
  TMimeTable table;
  table.reserve(BuiltInRows().size());
  for (const TMimeRow& row : BuiltInRows())
    table.try_emplace(std::string(row.Extension), row.ContentType); // the first row of an extension wins
  return table;
}

void Overlay(TMimeTable& table, const TMimeTable& records)
{
  for (const auto& [extension, contentType] : records)
    table.insert_or_assign(extension, contentType);
}

std::string FileExtension(std::string_view fileName)
{
  const size_t dot = fileName.find_last_of(".\\:");
  if (dot == std::string_view::npos || fileName[dot] != '.')
    return {};
  return AsciiLower(fileName.substr(dot));
}

std::string LookUp(const TMimeTable& table, std::string_view fileName)
{
  const std::string extension = FileExtension(fileName);
  if (extension.empty())
    return std::string(kDefaultMimeType);
  if (const auto found = table.find(extension); found != table.end())
    return found->second;
  for (const TMimeRow& row : ModernWebRows()) {
    if (row.Extension == extension)
      return std::string(row.ContentType);
  }
  return std::string(kDefaultMimeType);
}

bool IsTextType(std::string_view contentType)
{
  const std::string type = AsciiLower(contentType.substr(0, contentType.find(';')));
  if (type.starts_with("text/") || type.ends_with("+xml") || type.ends_with("+json"))
    return true;
  static constexpr std::string_view kTextApplicationTypes[] = {
    "application/javascript", "application/x-javascript", "application/ecmascript",
    "application/json",       "application/xml",
  };
  return std::find(std::begin(kTextApplicationTypes), std::end(kTextApplicationTypes), type) !=
         std::end(kTextApplicationTypes);
}

} // namespace mime

std::string TStrUtils::StringToJsonString(std::string_view value)
{
  std::string out;
  out.reserve(value.size() + value.size() / 8 + 2);
  out += '"';
  size_t pos = 0;
  while (pos < value.size()) {
    // Runs of plain ASCII, by far the most common text, are copied in one piece.
    size_t end = pos;
    while (end < value.size() && IsPlainJsonByte(value[end]))
      ++end;
    out.append(value, pos, end - pos);
    pos = end;
    if (pos == value.size())
      break;

    const char c = value[pos];
    if (static_cast<unsigned char>(c) < 0x80U) {
      ++pos;
      switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default: AppendUnitEscape(out, static_cast<unsigned char>(c)); break;
      }
      continue;
    }

    // A malformed byte decodes as U+FFFD, which lies in the escaped range.
    const size_t start = pos;
    const char32_t cp = DecodeUtf8(value, pos);
    if (cp < 0x20AC) {
      out.append(value, start, pos - start);
    } else if (cp < 0x10000) {
      AppendUnitEscape(out, cp);
    } else {
      AppendUnitEscape(out, 0xD800 + ((cp - 0x10000) >> 10U));
      AppendUnitEscape(out, 0xDC00 + ((cp - 0x10000) & 0x3FFU));
    }
  }
  out += '"';
  return out;
}

TArrayStrings TStrUtils::ExplodeStrings(std::string_view separator, std::string_view value)
{
  TArrayStrings result;
  size_t start = 0;
  if (!separator.empty()) {
    for (size_t found; (found = value.find(separator, start)) != std::string_view::npos;) {
      result.emplace_back(value.substr(start, found - start));
      start = found + separator.size();
    }
  }
  result.emplace_back(value.substr(start));
  return result;
}

std::string TStrUtils::ImplodeStrings(std::string_view separator, const TArrayStrings& arrayString)
{
  std::string out;
  for (size_t i = 0; i < arrayString.size(); ++i) {
    if (i > 0)
      out.append(separator);
    out.append(arrayString[i]);
  }
  return out;
}

std::string TStrUtils::GetFileMIMEType(std::string_view fileName) { return mime::LookUp(MergedMimeTable(), fileName); }

std::string TStrUtils::GetJavascriptArrayFromMultilineString(std::string_view value)
{
  std::string out;
  for (const std::string& line : ExplodeStrings("\n", value)) {
    if (line.empty())
      continue;
    const std::string trimmed(text::TrimBlanks(line));
    if (!out.empty())
      out += ", ";
    out += '"';
    out += QuoteJavascript(trimmed);
    out += '"';
  }
  return out;
}

std::string TStrUtils::GetControlRandomSuffix(std::string_view name)
{
  std::string out(name);
  out += '-';
  out += GetRandomString(10, "abcdefghijklmnopqrstuvwxyz1234567890");
  return out;
}

std::string TStrUtils::GetRandomString(std::size_t length, std::string_view charSequence)
{
  // Characters are UTF-16 code units, so the pick is made among those.
  const std::u16string units = Utf8ToUtf16(charSequence);
  if (units.empty())
    return {};
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, units.size() - 1);
  std::u16string picked(length, u'\0');
  for (char16_t& unit : picked)
    unit = units[pick(generator)];
  return Utf16ToUtf8(picked);
}

std::string TStrUtils::GetCompilerCacheDir(std::string_view appFilePath, std::string_view suffix,
                                           std::string_view tempCache, std::string_view defaultDir)
{
  const size_t lastDelimiter = appFilePath.find_last_of(kFolderDelimiters);
  const std::string_view folder =
    lastDelimiter == std::string_view::npos ? std::string_view() : appFilePath.substr(0, lastDelimiter + 1);
  const std::string_view fileName = appFilePath.substr(folder.size());

  std::string component;
  if (appFilePath.empty()) {
    component = tempCache;
  } else {
    // A leading dot names a hidden file rather than starting an extension.
    const size_t dot = fileName.rfind('.');
    component = fileName.substr(0, dot == std::string_view::npos || dot == 0 ? fileName.size() : dot);
    component += suffix;
  }

  std::error_code error;
  const bool folderExists = !folder.empty() && std::filesystem::is_directory(PathFromUtf8(folder), error);
  std::string out(folderExists ? folder : defaultDir);
  if (!out.empty() && out.back() != kPathDelimiter && out.back() != '/')
    out += kPathDelimiter;
  out += component;
  out += kPathDelimiter;
  return out;
}

void TStrUtils::GetUrlArguments(std::string_view url, std::vector<std::string>& arguments)
{
  arguments.clear();
  const size_t question = url.find('?');
  if (question == std::string_view::npos)
    return;
  std::string_view query = url.substr(question + 1);
  query = query.substr(0, query.find('#'));
  if (query.empty())
    return;
  for (std::string& item : ExplodeStrings("&", query)) {
    std::replace(item.begin(), item.end(), '+', ' ');
    arguments.push_back(PercentDecode(item));
  }
}

bool TStrUtils::SubStringExists(std::string_view text, std::string_view subString, TSearchOptions searchOptions)
{
  if (subString.empty() || subString.size() > text.size())
    return false;
  const bool matchCase = searchOptions.Contains(TSearchOption::MatchCase);
  const bool wholeWord = searchOptions.Contains(TSearchOption::WholeWord);
  const auto equal = [matchCase](char a, char b) { return matchCase ? a == b : AsciiLower(a) == AsciiLower(b); };
  for (auto from = text.begin();;) {
    const auto match = std::search(from, text.end(), subString.begin(), subString.end(), equal);
    if (match == text.end())
      return false;
    const auto matchEnd = match + static_cast<std::ptrdiff_t>(subString.size());
    const bool touchesWord =
      (match != text.begin() && IsWordByte(*(match - 1))) || (matchEnd != text.end() && IsWordByte(*matchEnd));
    if (!wholeWord || !touchesWord)
      return true;
    from = match + 1;
  }
}

std::string TStrUtils::AddLeadingZeroes(int number, int length)
{
  // As "%.*d", except that 0 keeps its digit when length is 0 (C's printf would print nothing).
  // The magnitude is taken in 64 bits so that INT_MIN has one.
  const auto magnitude = number < 0 ? -static_cast<long long>(number) : static_cast<long long>(number);
  char digits[24];
  const char* const end = std::to_chars(std::begin(digits), std::end(digits), magnitude).ptr;
  const auto digitCount = static_cast<size_t>(end - digits);
  const size_t width = length > 0 ? std::max(static_cast<size_t>(length), digitCount) : digitCount;
  std::string out;
  out.reserve(width + 1);
  if (number < 0)
    out += '-';
  out.append(width - digitCount, '0');
  out.append(digits, digitCount);
  return out;
}

void TStrUtils::StrToResolution(std::string_view value, int& width, int& height)
{
  width = -1;
  height = -1;
  // The first match of ([0-9]+)x([0-9]+): a digit run that an "x" and another digit follow.
  // A match can only start where a digit run starts, and the run is taken whole.
  size_t pos = 0;
  while (pos < value.size()) {
    if (!IsAsciiDigit(value[pos])) {
      ++pos;
      continue;
    }
    size_t runEnd = pos;
    while (runEnd < value.size() && IsAsciiDigit(value[runEnd]))
      ++runEnd;
    if (runEnd + 1 < value.size() && value[runEnd] == 'x' && IsAsciiDigit(value[runEnd + 1])) {
      size_t secondEnd = runEnd + 1;
      while (secondEnd < value.size() && IsAsciiDigit(value[secondEnd]))
        ++secondEnd;
      int w = 0;
      int h = 0;
      const auto first = std::from_chars(value.data() + pos, value.data() + runEnd, w);
      const auto second = std::from_chars(value.data() + runEnd + 1, value.data() + secondEnd, h);
      if (first.ec == std::errc() && second.ec == std::errc()) {
        width = w;
        height = h;
      }
      return;
    }
    pos = runEnd;
  }
}

std::string TStrUtils::QuoteJavascript(std::string_view value)
{
  return ReplaceAll(ReplaceAll(value, "'", "\\x27"), "\"", "\\x22");
}

std::string TStrUtils::UnquoteJavascript(std::string_view value)
{
  return ReplaceAll(ReplaceAll(value, "\\x27", "'"), "\\x22", "\"");
}

std::string TStrUtils::QuoteArguments(std::string_view value)
{
  return ReplaceAll(ReplaceAll(QuoteJavascript(value), ":", "\\x3a"), "|", "\\x7c");
}

std::string TStrUtils::UnquoteArguments(std::string_view value)
{
  return ReplaceAll(ReplaceAll(UnquoteJavascript(value), "\\x3a", ":"), "\\x7c", "|");
}

std::string TStrUtils::RepeatString(std::string_view value, std::size_t count)
{
  std::string out;
  out.reserve(value.size() * count);
  for (std::size_t i = 0; i < count; ++i)
    out.append(value);
  return out;
}

std::string TStrUtils::Capitalize(std::string_view value)
{
  std::string out(value);
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
    out[0] = static_cast<char>(out[0] - 'a' + 'A');
  return out;
}

bool TStrUtils::FilePathIsHttpUrl(std::string_view path)
{
  return StartsWithIgnoringCase(path, "http://") || StartsWithIgnoringCase(path, "https://");
}

bool TStrUtils::FilePathIsAppRelative(std::string_view path) { return StartsWithIgnoringCase(path, "app/files/"); }

bool TStrUtils::FilePathIsPluginRelative(std::string_view path) { return StartsWithIgnoringCase(path, "app/plugins/"); }

bool MatchesWildcard(std::string_view Pattern, std::string_view Text) { return text::MatchesWildcardOf(Pattern, Text); }

} // namespace velmora
