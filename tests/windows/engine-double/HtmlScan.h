// Reads the little the engine double needs from an HTML page: the resources it would load and its
// title. It runs no script and builds no document; it walks the start tags.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::enginedouble {

// One address a page refers to, as written in the attribute (entities decoded, not yet resolved).
struct THtmlReference {
  std::wstring Tag;       // element name in lower case: "img", "script", "link", ...
  std::wstring Attribute; // "src" or "href"
  std::wstring Value;
  std::wstring Rel; // the element's rel attribute (for link), lower case
};

struct THtmlScan {
  std::vector<THtmlReference> References;
  std::optional<std::wstring> Title; // the first <title>'s text, white space collapsed and trimmed
};

// Collects, in document order, every src attribute and the href of every <link> element (hyperlinks
// of <a> and <area> are navigations, not resources, and are left out), skipping the values that load
// nothing: empty ones and those starting with "#", "javascript:" or "data:". Comments, and the
// contents of <script>, <style>, <textarea> and <title>, are not read as tags.
THtmlScan ScanHtml(std::wstring_view html);

} // namespace velmora::enginedouble
