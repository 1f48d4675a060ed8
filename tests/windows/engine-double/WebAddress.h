// Web addresses as the engine double handles them: resolving a page's relative links, the canonical
// form a browser sends, and the request filter's wildcard patterns.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::enginedouble {

// Resolves reference against base the way a browser resolves a link (RFC 3986 section 5.2):
// "file:///dir/page.html" + "img/a.png" gives "file:///dir/img/a.png", "../" climbs one folder, an
// absolute address ("https://...", "file:///...") stays as it is, "/x" keeps base's scheme and host.
// The result is canonical (see CanonicalAddress). nullopt when base cannot be a base (for example
// "about:blank") and reference is relative.
std::optional<std::wstring> ResolveAddress(std::wstring_view base, std::wstring_view reference);

// What a browser does to an address before it requests it: the scheme in lower case; for file, http
// and https "\" read as "/" and "." and ".." segments removed; blanks, control characters, '"', '<',
// '>', '`', '{', '}' and every non-ASCII character percent-encoded as UTF-8. Existing escapes stay.
std::wstring CanonicalAddress(std::wstring_view address);

// The address without its "#fragment": the fragment never reaches a request.
std::wstring WithoutFragment(std::wstring_view address);

// The request filter's pattern: '*' stands for any run of characters (none included), every other
// character for itself, letter case significant. "*" matches everything, "file:///*" every file address.
bool MatchesPattern(std::wstring_view pattern, std::wstring_view address);

} // namespace velmora::enginedouble
