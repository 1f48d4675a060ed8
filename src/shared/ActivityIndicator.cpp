// The frames of the busy indicator: momentum dots, a rotating sector, a sector ring.
#include "ActivityIndicator.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace velmora {

namespace {

constexpr double kTau = 2 * std::numbers::pi;
constexpr int kSamples = 4; // per axis: 16 samples a pixel

// The angle of a point around the centre, clockwise from the top, in [0, 1) turns.
double TurnOf(double X, double Y)
{
  double turn = std::atan2(X, -Y) / kTau;
  return turn < 0 ? turn + 1 : turn;
}

// Whether Turn lies in the arc that starts at Start and spans Sweep turns clockwise.
bool InArc(double Turn, double Start, double Sweep)
{
  double offset = std::fmod(Turn - Start, 1.0);
  if (offset < 0)
    offset += 1;
  return offset <= Sweep;
}

} // namespace

TBitmap DrawActivityIndicator(TActivityIndicatorKind Kind, TActivityIndicatorColor Color, int Size, double Phase)
{
  TBitmap bitmap;
  if (Size <= 0)
    return bitmap;
  bitmap.Width = Size;
  bitmap.Height = Size;
  bitmap.Rgba.assign(static_cast<size_t>(Size) * static_cast<size_t>(Size) * 4, 0);
  const double half = Size / 2.0;
  Phase -= std::floor(Phase);

  // The dots chase each other round the circle, bunching where they slow down.
  struct TDot {
    double X, Y, Radius;
  };
  std::vector<TDot> dots;
  if (Kind == TActivityIndicatorKind::MomentumDots) {
    for (int i = 0; i < 5; ++i) {
      double t = Phase - i * 0.05;
      t -= std::floor(t);
      const double eased = t - std::sin(kTau * t) * 0.12;
      const double angle = kTau * eased;
      dots.push_back({half + std::sin(angle) * Size * 0.36, half - std::cos(angle) * Size * 0.36, Size * 0.065});
    }
  }

  const auto inside = [&](double X, double Y) {
    const double dx = X - half;
    const double dy = Y - half;
    const double distance = std::hypot(dx, dy);
    switch (Kind) {
    case TActivityIndicatorKind::MomentumDots:
      for (const TDot& dot : dots)
        if (std::hypot(X - dot.X, Y - dot.Y) <= dot.Radius)
          return true;
      return false;
    case TActivityIndicatorKind::RotatingSector:
      // A quarter of a disc turning round the centre.
      return distance <= Size * 0.42 && InArc(TurnOf(dx, dy), Phase, 0.25);
    case TActivityIndicatorKind::SectorRing:
      // A third of a ring turning round the centre.
      return distance >= Size * 0.30 && distance <= Size * 0.42 && InArc(TurnOf(dx, dy), Phase, 0.3);
    }
    return false;
  };

  const uint8_t shade = Color == TActivityIndicatorColor::White ? 255 : 0;
  for (int y = 0; y < Size; ++y) {
    for (int x = 0; x < Size; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          if (inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples))
            ++hits;
      uint8_t* pixel = &bitmap.Rgba[(static_cast<size_t>(y) * static_cast<size_t>(Size) + static_cast<size_t>(x)) * 4];
      pixel[0] = pixel[1] = pixel[2] = shade;
      pixel[3] = static_cast<uint8_t>(hits * 255 / (kSamples * kSamples));
    }
  }
  return bitmap;
}

TBitmap CompositeOver(const TBitmap& Bitmap, uint32_t BackgroundRgb)
{
  TBitmap result = Bitmap;
  const uint8_t background[3] = {static_cast<uint8_t>(BackgroundRgb >> 16), static_cast<uint8_t>(BackgroundRgb >> 8),
                                 static_cast<uint8_t>(BackgroundRgb)};
  for (size_t i = 0; i + 3 < result.Rgba.size(); i += 4) {
    const unsigned alpha = result.Rgba[i + 3];
    for (size_t c = 0; c < 3; ++c)
      result.Rgba[i + c] =
        static_cast<uint8_t>((result.Rgba[i + c] * alpha + background[c] * (255 - alpha) + 127) / 255);
    result.Rgba[i + 3] = 255;
  }
  return result;
}

} // namespace velmora
