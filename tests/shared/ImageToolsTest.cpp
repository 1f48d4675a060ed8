// Which image data the menu accepts before any decoder sees it, and how an image is fitted into
// the square a menu item shows.
#include "ImageTools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace velmora {
namespace {

using namespace std::string_literals;

std::string Le32(uint32_t Value)
{
  std::string out;
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((Value >> (8 * i)) & 0xff);
  return out;
}

// An ICO directory of one entry whose image claims Size bytes at Offset, followed by Tail bytes.
std::string Ico(uint32_t Size, uint32_t Offset, size_t Tail)
{
  return "\0\0\1\0\1\0"s + "\x10\x10\0\0\1\0\x20\0"s + Le32(Size) + Le32(Offset) + std::string(Tail, '\0');
}

TEST(ImageSniffing, AcceptsKnownFormatsWithPlausibleHeadersOnly)
{
  const std::string bmpStart = "BM"s + std::string(12, '\0');
  const struct {
    const char* Name;
    std::string Data;
    std::optional<TImageFormat> Expected;
  } cases[] = {
    {"png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, TImageFormat::Png},
    {"jpeg", "\xff\xd8\xff\xe0\0\x10JFIF"s, TImageFormat::Jpeg},
    {"gif87", "GIF87a\1\0\1\0"s, TImageFormat::Gif},
    {"gif89", "GIF89a\1\0\1\0"s, TImageFormat::Gif},
    {"tiff little-endian", "II*\0\x08\0\0\0"s, TImageFormat::Tiff},
    {"tiff big-endian", "MM\0*\0\0\0\x08"s, TImageFormat::Tiff},
    {"bmp with an info header of 40 bytes", bmpStart + Le32(40), TImageFormat::Bmp},
    {"bmp with a core header", bmpStart + Le32(12), TImageFormat::Bmp},
    {"bmp with an undefined info header size", bmpStart + Le32(41), std::nullopt},
    {"bmp cut before its info header size", bmpStart + "\x28"s, std::nullopt},
    {"ico whose image lies inside the data", Ico(4, 22, 4), TImageFormat::Ico},
    {"ico whose image runs past the end", Ico(5, 22, 4), std::nullopt},
    {"ico whose offset wraps around", Ico(0x10, 0xfffffff8u, 4), std::nullopt},
    {"ico with no images", "\0\0\1\0\0\0\0\0"s, std::nullopt},
    {"ico cut inside its directory", "\0\0\1\0\2\0"s + std::string(20, '\0'), std::nullopt},
    {"only the signature", "\x89PNG\r\n\x1a\n"s, std::nullopt},
    {"svg", "<svg xmlns='http://www.w3.org/2000/svg'/>"s, std::nullopt},
    {"empty", ""s, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SniffImageFormat(c.Data), c.Expected) << c.Name;
}

TBitmap Filled(int Width, int Height, uint8_t R, uint8_t G, uint8_t B, uint8_t A)
{
  TBitmap bitmap{Width, Height, {}};
  for (int i = 0; i < Width * Height; ++i)
    bitmap.Rgba.insert(bitmap.Rgba.end(), {R, G, B, A});
  return bitmap;
}

const uint8_t* Pixel(const TBitmap& Bitmap, int X, int Y)
{
  return &Bitmap.Rgba[(static_cast<size_t>(Y) * static_cast<size_t>(Bitmap.Width) + static_cast<size_t>(X)) * 4];
}

TEST(ImageFitting, KeepsTheProportionsAndCentresOnTransparency)
{
  for (const auto& [width, height] : {std::pair{64, 32}, std::pair{4, 2}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const TBitmap fitted = FitIntoSquare(Filled(width, height, 200, 40, 10, 255), 16, false);
    ASSERT_EQ(fitted.Width, 16);
    ASSERT_EQ(fitted.Height, 16);
    ASSERT_EQ(fitted.Rgba.size(), 16U * 16U * 4U);
    for (int y = 0; y < 16; ++y) {
      const bool inside = y >= 4 && y < 12;
      for (int x = 0; x < 16; ++x) {
        const uint8_t* p = Pixel(fitted, x, y);
        if (inside) {
          EXPECT_EQ(p[3], 255) << x << "," << y;
          EXPECT_EQ(p[0], 200) << x << "," << y;
          EXPECT_EQ(p[1], 40) << x << "," << y;
        } else {
          EXPECT_EQ(p[3], 0) << x << "," << y;
        }
      }
    }
  }
}

TEST(ImageFitting, TransparentPixelsLendNoColourToTheirNeighbours)
{
  // Left half opaque red, right half fully transparent blue: shrinking mixes them at the seam,
  // and the mixed pixels must stay red, only less opaque.
  TBitmap bitmap = Filled(8, 8, 255, 0, 0, 255);
  for (int y = 0; y < 8; ++y)
    for (int x = 4; x < 8; ++x) {
      uint8_t* p = &bitmap.Rgba[(static_cast<size_t>(y) * 8 + static_cast<size_t>(x)) * 4];
      p[0] = 0, p[2] = 255, p[3] = 0;
    }
  const TBitmap fitted = FitIntoSquare(bitmap, 3, false);
  ASSERT_EQ(fitted.Width, 3);
  for (int x = 0; x < 3; ++x) {
    const uint8_t* p = Pixel(fitted, x, 1);
    if (p[3] > 0) {
      EXPECT_EQ(p[0], 255) << x;
      EXPECT_EQ(p[2], 0) << x;
    }
  }
  EXPECT_GT(Pixel(fitted, 1, 1)[3], 0);
  EXPECT_LT(Pixel(fitted, 1, 1)[3], 255);
}

TEST(ImageFitting, DisabledImagesAreGreyAndFaded)
{
  const TBitmap fitted = FitIntoSquare(Filled(2, 2, 0, 0, 0, 255), 2, true);
  ASSERT_EQ(fitted.Width, 2);
  const uint8_t* p = Pixel(fitted, 0, 0);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
  EXPECT_GT(p[0], 64) << "a black image is lightened so it reads as unavailable on a dark menu";
  EXPECT_LT(p[3], 128);
}

TEST(ImageFitting, UnusableBitmapsGiveAnEmptyImage)
{
  TBitmap lying = Filled(4, 4, 1, 2, 3, 255);
  lying.Height = 5; // claims more rows than it holds
  const TBitmap cases[] = {TBitmap{}, lying, Filled(kMaxImageSide + 1, 1, 0, 0, 0, 255)};
  for (const TBitmap& bitmap : cases) {
    const TBitmap fitted = FitIntoSquare(bitmap, 16, false);
    EXPECT_EQ(fitted.Width, 0);
    EXPECT_TRUE(fitted.Rgba.empty());
  }
  EXPECT_TRUE(FitIntoSquare(Filled(2, 2, 0, 0, 0, 255), 0, false).Rgba.empty());
}

} // namespace
} // namespace velmora
