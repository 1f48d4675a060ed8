// The engine double's HTML scan (see HtmlScan.h).
#include "HtmlScan.h"

#include "Text.h"

#include <cwchar>

namespace velmora::enginedouble {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

bool IsTagNameStart(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Decodes the character references a page commonly uses in attribute values and titles: the five
// named XML ones, &nbsp;, and numeric ones. Anything else stays as written.
std::wstring DecodeEntities(std::wstring_view text)
{
  struct TNamed {
    std::wstring_view Name;
    wchar_t Character;
  };
  static constexpr TNamed kNamed[] = {{L"amp", L'&'},  {L"lt", L'<'},    {L"gt", L'>'},
                                      {L"quot", L'"'}, {L"apos", L'\''}, {L"nbsp", 0xA0}};
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t amp = text.find(L'&', i);
    if (amp == std::wstring_view::npos) {
      out += text.substr(i);
      break;
    }
    out += text.substr(i, amp - i);
    const size_t semicolon = text.find(L';', amp);
    if (semicolon == std::wstring_view::npos || semicolon - amp > 10) {
      out += L'&';
      i = amp + 1;
      continue;
    }
    const std::wstring_view name = text.substr(amp + 1, semicolon - amp - 1);
    bool decoded = false;
    if (name.size() > 1 && name[0] == L'#') {
      const bool hex = name[1] == L'x' || name[1] == L'X';
      const std::wstring digits(name.substr(hex ? 2 : 1));
      wchar_t* end = nullptr;
      const unsigned long code = digits.empty() ? 0 : std::wcstoul(digits.c_str(), &end, hex ? 16 : 10);
      if (!digits.empty() && end != nullptr && *end == L'\0' && code > 0 && code <= 0x10FFFF &&
          (code < 0xD800 || code > 0xDFFF)) {
        if (code >= 0x10000) {
          out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
          out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
          out += static_cast<wchar_t>(code);
        }
        decoded = true;
      }
    } else {
      for (const auto& named : kNamed) {
        if (EqualsIgnoreCase(name, named.Name)) {
          out += named.Character;
          decoded = true;
          break;
        }
      }
    }
    if (decoded) {
      i = semicolon + 1;
    } else {
      out += L'&';
      i = amp + 1;
    }
  }
  return out;
}

std::wstring CollapseWhite(std::wstring_view text)
{
  std::wstring out;
  bool pendingSpace = false;
  for (const wchar_t c : text) {
    if (IsSpace(c)) {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace)
      out += L' ';
    pendingSpace = false;
    out += c;
  }
  return out;
}

bool SkipsResource(std::wstring_view value)
{
  return value.empty() || value[0] == L'#' || StartsWithIgnoreCase(value, L"javascript:") ||
         StartsWithIgnoreCase(value, L"data:");
}

// Finds "</name" (any letter case) from pos; npos when the element never ends.
size_t FindEndTag(std::wstring_view html, size_t pos, std::wstring_view name)
{
  while (true) {
    pos = html.find(L"</", pos);
    if (pos == std::wstring_view::npos)
      return pos;
    if (EqualsIgnoreCase(html.substr(pos + 2, name.size()), name))
      return pos;
    pos += 2;
  }
}

struct TAttribute {
  std::wstring Name;
  std::wstring Value;
};

// Reads the attributes of a start tag from pos (just after its name) to its '>'; returns the position
// after the tag.
size_t ReadAttributes(std::wstring_view html, size_t pos, std::vector<TAttribute>& attributes)
{
  while (pos < html.size()) {
    while (pos < html.size() && (IsSpace(html[pos]) || html[pos] == L'/'))
      ++pos;
    if (pos >= html.size())
      break;
    if (html[pos] == L'>')
      return pos + 1;
    const size_t nameStart = pos;
    while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != L'=' && html[pos] != L'>' && html[pos] != L'/')
      ++pos;
    TAttribute attribute{AsciiLower(html.substr(nameStart, pos - nameStart)), L""};
    while (pos < html.size() && IsSpace(html[pos]))
      ++pos;
    if (pos < html.size() && html[pos] == L'=') {
      ++pos;
      while (pos < html.size() && IsSpace(html[pos]))
        ++pos;
      if (pos < html.size() && (html[pos] == L'"' || html[pos] == L'\'')) {
        const wchar_t quote = html[pos++];
        const size_t end = html.find(quote, pos);
        const size_t stop = end == std::wstring_view::npos ? html.size() : end;
        attribute.Value = DecodeEntities(html.substr(pos, stop - pos));
        pos = end == std::wstring_view::npos ? html.size() : end + 1;
      } else {
        const size_t valueStart = pos;
        while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != L'>')
          ++pos;
        attribute.Value = DecodeEntities(html.substr(valueStart, pos - valueStart));
      }
    }
    if (!attribute.Name.empty())
      attributes.push_back(std::move(attribute));
  }
  return html.size();
}

} // namespace

THtmlScan ScanHtml(std::wstring_view html)
{
  THtmlScan scan;
  size_t pos = 0;
  while ((pos = html.find(L'<', pos)) != std::wstring_view::npos) {
    if (html.substr(pos, 4) == L"<!--") {
      const size_t end = html.find(L"-->", pos + 4);
      pos = end == std::wstring_view::npos ? html.size() : end + 3;
      continue;
    }
    if (pos + 1 >= html.size() || !IsTagNameStart(html[pos + 1])) {
      // An end tag, a declaration (<!DOCTYPE>), a processing instruction or a lone '<'.
      const bool markup =
        pos + 1 < html.size() && (html[pos + 1] == L'/' || html[pos + 1] == L'!' || html[pos + 1] == L'?');
      const size_t end = markup ? html.find(L'>', pos) : pos;
      pos = end == std::wstring_view::npos ? html.size() : end + 1;
      continue;
    }
    size_t nameEnd = pos + 1;
    while (nameEnd < html.size() && !IsSpace(html[nameEnd]) && html[nameEnd] != L'>' && html[nameEnd] != L'/')
      ++nameEnd;
    const std::wstring tag = AsciiLower(html.substr(pos + 1, nameEnd - pos - 1));
    std::vector<TAttribute> attributes;
    pos = ReadAttributes(html, nameEnd, attributes);

    std::wstring rel;
    for (const auto& attribute : attributes) {
      if (attribute.Name == L"rel")
        rel = AsciiLower(TrimWhite(attribute.Value));
    }
    for (const auto& attribute : attributes) {
      const bool resource = attribute.Name == L"src" || (attribute.Name == L"href" && tag == L"link");
      const std::wstring value(TrimWhite(attribute.Value));
      if (resource && !SkipsResource(value))
        scan.References.push_back({tag, attribute.Name, value, rel});
    }

    if (tag == L"script" || tag == L"style" || tag == L"textarea" || tag == L"title") {
      const size_t end = FindEndTag(html, pos, tag);
      const size_t stop = end == std::wstring_view::npos ? html.size() : end;
      if (tag == L"title" && !scan.Title)
        scan.Title = CollapseWhite(DecodeEntities(html.substr(pos, stop - pos)));
      pos = stop;
    }
  }
  return scan;
}

} // namespace velmora::enginedouble
