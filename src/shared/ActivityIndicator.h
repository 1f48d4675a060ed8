// The frames of the busy indicator, drawn the same way on every platform: the native layers
// only put the bitmap on the screen and advance the phase.
#pragma once

#include "Bitmap.h"
#include "NativeLayer.h"

namespace velmora {

// How long one turn of the animation takes, and how often a native layer draws a new frame.
inline constexpr int kActivityIndicatorTurnMs = 1200;
inline constexpr int kActivityIndicatorFrameMs = 40;

// The indicator at Phase (0 to 1, one turn), Size x Size pixels, in the indicator's colour with the
// shapes' coverage as alpha (anti-aliased), transparent elsewhere.
TBitmap DrawActivityIndicator(TActivityIndicatorKind Kind, TActivityIndicatorColor Color, int Size, double Phase);

// The bitmap laid over an opaque 0xRRGGBB background: the pixels as a screen shows them.
TBitmap CompositeOver(const TBitmap& Bitmap, uint32_t BackgroundRgb);

} // namespace velmora
