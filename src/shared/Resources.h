// Files embedded into the executable at build time (resources/), looked up by name.
#pragma once

#include <string_view>

namespace velmora {

// The bytes of the named resource ("RYX_EXTERNAL_JAVASCRIPT" ...), empty when there is none.
std::string_view FindResource(std::string_view Name);

} // namespace velmora
