// Image decoding (gdk-pixbuf loaders) and the conversion of decoded bitmaps to menu images.
#pragma once

#include "Bitmap.h"
#include "ImageTools.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>

namespace velmora {

// Decodes PNG, JPEG, BMP, GIF (first frame), TIFF or ICO data into RGBA pixels. Anything else,
// damaged or truncated data and images larger than kMaxImageSide give nullopt.
std::optional<TBitmap> GtkDecodeImage(const std::string& Data);

// A new pixbuf holding a copy of Bitmap's pixels, or nullptr when the bitmap is empty or its
// pixel buffer does not match its size.
GdkPixbuf* GtkPixbufFromBitmap(const TBitmap& Bitmap);

// A new cairo surface Side x Side logical pixels large for a widget with the given scale factor:
// Bitmap fitted into the square (aspect kept, centred) at Side * ScaleFactor device pixels, the
// surface's device scale set so that it draws crisp on HiDPI screens. Disabled gives the
// greyed, faded look of an unavailable command. nullptr for an unusable bitmap.
cairo_surface_t* GtkBitmapSurface(const TBitmap& Bitmap, int Side, int ScaleFactor, bool Disabled);

} // namespace velmora
