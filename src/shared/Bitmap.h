// TBitmap: a decoded image as the units hand it to the native layer (menu images, theme previews).
#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

// 8-bit RGBA pixels, row by row, no padding.
struct TBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgba;
};

} // namespace velmora
