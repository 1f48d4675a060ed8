// Web address handling of the engine double (see WebAddress.h).
#include "WebAddress.h"

#include "Text.h"

#include <vector>

namespace velmora::enginedouble {

namespace {

// An address split into the five parts of RFC 3986.
struct TAddressParts {
  std::wstring Scheme; // without ':'; empty for a relative reference
  bool HasAuthority = false;
  std::wstring Authority;
  std::wstring Path;
  bool HasQuery = false;
  std::wstring Query;
  bool HasFragment = false;
  std::wstring Fragment;
};

bool IsSchemeStart(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

bool IsSchemeChar(wchar_t c)
{
  return IsSchemeStart(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
}

// The scheme's length (before ':'), or 0 when the text does not start with one.
size_t SchemeLength(std::wstring_view text)
{
  if (text.empty() || !IsSchemeStart(text[0]))
    return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == L':')
      return i;
    if (!IsSchemeChar(text[i]))
      return 0;
  }
  return 0;
}

bool IsHierarchicalScheme(std::wstring_view scheme)
{
  return scheme == L"file" || scheme == L"http" || scheme == L"https";
}

TAddressParts Split(std::wstring_view text)
{
  TAddressParts parts;
  if (const size_t length = SchemeLength(text); length > 0) {
    parts.Scheme = AsciiLower(text.substr(0, length));
    text.remove_prefix(length + 1);
  }
  if (const size_t hash = text.find(L'#'); hash != std::wstring_view::npos) {
    parts.HasFragment = true;
    parts.Fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const size_t question = text.find(L'?'); question != std::wstring_view::npos) {
    parts.HasQuery = true;
    parts.Query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  if (text.substr(0, 2) == L"//") {
    text.remove_prefix(2);
    const size_t slash = text.find(L'/');
    parts.HasAuthority = true;
    parts.Authority = text.substr(0, slash);
    text = slash == std::wstring_view::npos ? std::wstring_view() : text.substr(slash);
  }
  parts.Path = text;
  return parts;
}

std::wstring Join(const TAddressParts& parts)
{
  std::wstring text;
  if (!parts.Scheme.empty())
    text += parts.Scheme + L":";
  if (parts.HasAuthority)
    text += L"//" + parts.Authority;
  text += parts.Path;
  if (parts.HasQuery)
    text += L"?" + parts.Query;
  if (parts.HasFragment)
    text += L"#" + parts.Fragment;
  return text;
}

// RFC 3986 section 5.2.4.
std::wstring RemoveDotSegments(std::wstring_view path)
{
  std::vector<std::wstring_view> output;
  const bool absolute = !path.empty() && path[0] == L'/';
  if (absolute)
    path.remove_prefix(1);
  bool trailingSlash = false;
  while (true) {
    const size_t slash = path.find(L'/');
    const std::wstring_view segment = path.substr(0, slash);
    const bool last = slash == std::wstring_view::npos;
    if (segment == L"..") {
      if (!output.empty())
        output.pop_back();
      trailingSlash = true;
    } else if (segment == L".") {
      trailingSlash = true;
    } else {
      output.push_back(segment);
      trailingSlash = false;
    }
    if (last)
      break;
    path.remove_prefix(slash + 1);
  }
  std::wstring result = absolute ? L"/" : L"";
  for (size_t i = 0; i < output.size(); ++i) {
    if (i > 0)
      result += L'/';
    result += output[i];
  }
  if (trailingSlash && !result.empty() && result.back() != L'/')
    result += L'/';
  return result;
}

// RFC 3986 section 5.2.3.
std::wstring MergePaths(const TAddressParts& base, std::wstring_view reference)
{
  if (base.HasAuthority && base.Path.empty())
    return L"/" + std::wstring(reference);
  const size_t slash = base.Path.rfind(L'/');
  if (slash == std::wstring::npos)
    return std::wstring(reference);
  return base.Path.substr(0, slash + 1) + std::wstring(reference);
}

bool NeedsEscape(wchar_t c)
{
  return c <= 0x20 || c == 0x7F || c == L'"' || c == L'<' || c == L'>' || c == L'`' || c == L'{' || c == L'}' ||
         c > 0x7E;
}

std::wstring PercentEncode(std::wstring_view text)
{
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!NeedsEscape(text[i])) {
      out += text[i];
      continue;
    }
    // Take a surrogate pair as one character so its UTF-8 form is the four bytes of the pair.
    size_t length = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      length = 2;
    for (const char byte : Utf8FromWide(text.substr(i, length))) {
      const auto value = static_cast<unsigned char>(byte);
      out += L'%';
      out += kDigits[value >> 4];
      out += kDigits[value & 0xF];
    }
    i += length - 1;
  }
  return out;
}

TAddressParts Canonical(TAddressParts parts)
{
  if (IsHierarchicalScheme(parts.Scheme)) {
    for (auto& c : parts.Path) {
      if (c == L'\\')
        c = L'/';
    }
    parts.Path = RemoveDotSegments(parts.Path);
    if (parts.HasAuthority && parts.Path.empty())
      parts.Path = L"/";
  }
  parts.Path = PercentEncode(parts.Path);
  parts.Query = PercentEncode(parts.Query);
  parts.Fragment = PercentEncode(parts.Fragment);
  return parts;
}

// A reference with a hierarchical scheme reads "\" as "/" before it is split, as a browser does.
std::wstring WithForwardSlashes(std::wstring_view text, bool hierarchical)
{
  std::wstring out(text);
  if (hierarchical) {
    const size_t end = out.find_first_of(L"?#");
    for (size_t i = 0; i < out.size() && i < end; ++i) {
      if (out[i] == L'\\')
        out[i] = L'/';
    }
  }
  return out;
}

} // namespace

std::optional<std::wstring> ResolveAddress(std::wstring_view base, std::wstring_view reference)
{
  reference = TrimWhite(reference);
  const TAddressParts baseParts = Split(base);
  const size_t schemeLength = SchemeLength(reference);
  const std::wstring referenceScheme = AsciiLower(reference.substr(0, schemeLength));
  const bool hierarchical = IsHierarchicalScheme(schemeLength > 0 ? referenceScheme : baseParts.Scheme);
  const TAddressParts ref = Split(WithForwardSlashes(reference, hierarchical));

  if (!ref.Scheme.empty())
    return Join(Canonical(ref));

  // A base whose path is not hierarchical ("about:blank", "data:...") resolves nothing but fragments.
  const bool canBeBase = !baseParts.Scheme.empty() && (baseParts.HasAuthority || baseParts.Path.starts_with(L"/"));
  if (!canBeBase)
    return std::nullopt;

  TAddressParts target;
  target.Scheme = baseParts.Scheme;
  if (ref.HasAuthority) {
    target.HasAuthority = true;
    target.Authority = ref.Authority;
    target.Path = ref.Path;
    target.HasQuery = ref.HasQuery;
    target.Query = ref.Query;
  } else {
    target.HasAuthority = baseParts.HasAuthority;
    target.Authority = baseParts.Authority;
    if (ref.Path.empty()) {
      target.Path = baseParts.Path;
      target.HasQuery = ref.HasQuery || baseParts.HasQuery;
      target.Query = ref.HasQuery ? ref.Query : baseParts.Query;
    } else {
      target.Path = ref.Path.starts_with(L"/") ? ref.Path : MergePaths(baseParts, ref.Path);
      target.HasQuery = ref.HasQuery;
      target.Query = ref.Query;
    }
  }
  target.HasFragment = ref.HasFragment;
  target.Fragment = ref.Fragment;
  return Join(Canonical(target));
}

std::wstring CanonicalAddress(std::wstring_view address)
{
  const size_t schemeLength = SchemeLength(address);
  const bool hierarchical = IsHierarchicalScheme(AsciiLower(address.substr(0, schemeLength)));
  return Join(Canonical(Split(WithForwardSlashes(TrimWhite(address), hierarchical))));
}

std::wstring WithoutFragment(std::wstring_view address) { return std::wstring(address.substr(0, address.find(L'#'))); }

bool MatchesPattern(std::wstring_view pattern, std::wstring_view address)
{
  // Greedy wildcard match with one backtracking point: the last '*' seen.
  size_t p = 0;
  size_t a = 0;
  size_t starP = std::wstring_view::npos;
  size_t starA = 0;
  while (a < address.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starA = a;
    } else if (p < pattern.size() && pattern[p] == address[a]) {
      ++p;
      ++a;
    } else if (starP != std::wstring_view::npos) {
      p = starP + 1;
      a = ++starA;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}

} // namespace velmora::enginedouble
