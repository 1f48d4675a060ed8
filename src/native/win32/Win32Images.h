// Image decoding with the Windows Imaging Component, and bitmaps for drawing with their alpha.
#pragma once

#include "Bitmap.h"

#include <windows.h>

#include <optional>
#include <string>

namespace velmora {

// Decodes PNG, JPEG, BMP, GIF (first frame), TIFF or ICO data into RGBA pixels. Anything else,
// damaged data and images larger than kMaxImageSide give nullopt.
std::optional<TBitmap> Win32DecodeImage(const std::string& Data);

// Draws Bitmap at (Left, Top) with its alpha blended over what Dc shows.
void Win32DrawBitmap(HDC Dc, const TBitmap& Bitmap, int Left, int Top);

} // namespace velmora
