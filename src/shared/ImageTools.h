// What both native layers need around menu images: which formats are accepted (by their leading
// bytes, with the header fields checked that decoders trust), and drawing a decoded bitmap into
// a square the way a menu shows it.
#pragma once

#include "Bitmap.h"

#include <optional>
#include <string>

namespace velmora {

// Images larger than this on either side are refused rather than decoded.
inline constexpr int kMaxImageSide = 4096;

enum class TImageFormat { Png, Jpeg, Gif, Bmp, Tiff, Ico };

// The format of Data when it is one the menu accepts and its header is plausible: for BMP an info
// header of a defined size, for ICO every image inside the data (the decoders size their buffers
// from these fields before they check them). nullopt for anything else.
std::optional<TImageFormat> SniffImageFormat(const std::string& Data);

// Bitmap fitted into a Side x Side square with its proportions kept, centred on a transparent
// background, resampled by area (shrinking) or bilinearly (enlarging). Disabled gives the greyed,
// faded look of an unavailable command. An empty bitmap for an unusable one.
TBitmap FitIntoSquare(const TBitmap& Bitmap, int Side, bool Disabled);

} // namespace velmora
