// The fixed password of the archive attached to every packaged executable.
#pragma once

#include <string_view>

namespace velmora {

// 36 lower-case ASCII letters and digits, compiled into every runtime copy and used by the
// packer to encrypt. Changing it makes every existing packaged app unreadable.
inline constexpr std::string_view kArchivePassword = "frpgqr18x53cw4lop57p2xl7ppjzme6332h4";

} // namespace velmora
