// Accepted image formats and menu-image drawing, the same on every platform.
#include "ImageTools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace velmora {

namespace {

using namespace std::string_view_literals;

struct TMagic {
  std::string_view Bytes;
  TImageFormat Format;
};

constexpr std::array<TMagic, 8> kMagics = {{
  {"\x89PNG\r\n\x1a\n"sv, TImageFormat::Png},
  {"\xff\xd8\xff"sv, TImageFormat::Jpeg},
  {"GIF87a"sv, TImageFormat::Gif},
  {"GIF89a"sv, TImageFormat::Gif},
  {"BM"sv, TImageFormat::Bmp},
  {"II*\0"sv, TImageFormat::Tiff},
  {"MM\0*"sv, TImageFormat::Tiff},
  {"\0\0\1\0"sv, TImageFormat::Ico},
}};

uint32_t ReadLe32(const std::string& Data, size_t Offset)
{
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(Data[Offset + i])) << (8 * i);
  return value;
}

bool PlausibleHeader(TImageFormat Format, const std::string& Data)
{
  if (Format == TImageFormat::Bmp) {
    static constexpr uint32_t kInfoSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    return Data.size() >= 18 &&
           std::find(std::begin(kInfoSizes), std::end(kInfoSizes), ReadLe32(Data, 14)) != std::end(kInfoSizes);
  }
  if (Format == TImageFormat::Ico) {
    if (Data.size() < 6)
      return false;
    const size_t count = static_cast<size_t>(static_cast<unsigned char>(Data[4])) |
                         static_cast<size_t>(static_cast<unsigned char>(Data[5])) << 8;
    if (count == 0 || Data.size() < 6 + count * 16)
      return false;
    for (size_t entry = 0; entry < count; ++entry) {
      const uint64_t size = ReadLe32(Data, 6 + entry * 16 + 8);
      const uint64_t offset = ReadLe32(Data, 6 + entry * 16 + 12);
      if (offset + size > Data.size())
        return false;
    }
  }
  return true;
}

// The colour of the source at (X, Y) in source pixels, bilinearly interpolated, with premultiplied
// colour so transparent pixels do not bleed their colour into the edges.
std::array<double, 4> Sample(const TBitmap& Bitmap, double X, double Y)
{
  const auto at = [&](int x, int y) {
    x = std::clamp(x, 0, Bitmap.Width - 1);
    y = std::clamp(y, 0, Bitmap.Height - 1);
    const uint8_t* p =
      &Bitmap.Rgba[(static_cast<size_t>(y) * static_cast<size_t>(Bitmap.Width) + static_cast<size_t>(x)) * 4];
    const double alpha = p[3] / 255.0;
    return std::array<double, 4>{p[0] * alpha, p[1] * alpha, p[2] * alpha, static_cast<double>(p[3])};
  };
  const int x0 = static_cast<int>(std::floor(X));
  const int y0 = static_cast<int>(std::floor(Y));
  const double fx = X - x0;
  const double fy = Y - y0;
  std::array<double, 4> result{};
  const auto a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
  for (size_t i = 0; i < 4; ++i)
    result[i] = (a[i] * (1 - fx) + b[i] * fx) * (1 - fy) + (c[i] * (1 - fx) + d[i] * fx) * fy;
  return result;
}

} // namespace

std::optional<TImageFormat> SniffImageFormat(const std::string& Data)
{
  for (const TMagic& magic : kMagics)
    if (Data.size() > magic.Bytes.size() && std::string_view(Data).starts_with(magic.Bytes))
      return PlausibleHeader(magic.Format, Data) ? std::optional(magic.Format) : std::nullopt;
  return std::nullopt;
}

TBitmap FitIntoSquare(const TBitmap& Bitmap, int Side, bool Disabled)
{
  TBitmap result;
  if (Side <= 0 || Bitmap.Width <= 0 || Bitmap.Height <= 0 || Bitmap.Width > kMaxImageSide ||
      Bitmap.Height > kMaxImageSide ||
      Bitmap.Rgba.size() != static_cast<size_t>(Bitmap.Width) * static_cast<size_t>(Bitmap.Height) * 4)
    return result;
  result.Width = Side;
  result.Height = Side;
  result.Rgba.assign(static_cast<size_t>(Side) * static_cast<size_t>(Side) * 4, 0);
  const double factor = std::min(static_cast<double>(Side) / Bitmap.Width, static_cast<double>(Side) / Bitmap.Height);
  const int width = std::clamp(static_cast<int>(std::lround(Bitmap.Width * factor)), 1, Side);
  const int height = std::clamp(static_cast<int>(std::lround(Bitmap.Height * factor)), 1, Side);
  const int left = (Side - width) / 2;
  const int top = (Side - height) / 2;
  // Shrinking averages every source pixel under a target pixel (by samples); enlarging
  // interpolates.
  const int samples = factor < 1.0 ? std::clamp(static_cast<int>(std::ceil(1.0 / factor)), 1, 16) : 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::array<double, 4> sum{};
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const double u = (x + (sx + 0.5) / samples) / factor - 0.5;
          const double v = (y + (sy + 0.5) / samples) / factor - 0.5;
          const auto c = Sample(Bitmap, u, v);
          for (size_t i = 0; i < 4; ++i)
            sum[i] += c[i];
        }
      }
      const double count = samples * samples;
      const double alpha = sum[3] / count;
      uint8_t* p =
        &result.Rgba[(static_cast<size_t>(top + y) * static_cast<size_t>(Side) + static_cast<size_t>(left + x)) * 4];
      for (size_t i = 0; i < 3; ++i)
        p[i] = alpha > 0 ? static_cast<uint8_t>(std::clamp(sum[i] / count / (alpha / 255.0), 0.0, 255.0) + 0.5) : 0;
      p[3] = static_cast<uint8_t>(std::clamp(alpha, 0.0, 255.0) + 0.5);
      if (Disabled) {
        // Grey and faded, lightened towards mid-grey so a dark image still reads as faded on
        // light and dark menus: an unavailable command must not look like an available one.
        const int grey = (p[0] * 30 + p[1] * 59 + p[2] * 11) / 100;
        p[0] = p[1] = p[2] = static_cast<uint8_t>((grey + 128 * 2) / 3);
        p[3] = static_cast<uint8_t>(p[3] * 2 / 5);
      }
    }
  }
  return result;
}

} // namespace velmora
