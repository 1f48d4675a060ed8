// Image decoding through gdk-pixbuf and the drawing of decoded bitmaps as menu images.
#include "GtkImages.h"

#include "GtkSupport.h"
#include "ImageTools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

namespace velmora {

namespace {

// The gdk-pixbuf loader for each accepted format. The loader is chosen here rather than by
// gdk-pixbuf's own sniffing, so data of other kinds (SVG, XPM, TGA and the other installed
// loaders) never reaches a loader at all.
const char* LoaderFor(const std::string& Data)
{
  const std::optional<TImageFormat> format = SniffImageFormat(Data);
  if (!format)
    return nullptr;
  switch (*format) {
  case TImageFormat::Png: return "png";
  case TImageFormat::Jpeg: return "jpeg";
  case TImageFormat::Gif: return "gif";
  case TImageFormat::Bmp: return "bmp";
  case TImageFormat::Tiff: return "tiff";
  case TImageFormat::Ico: return "ico";
  }
  return nullptr;
}

// Set by the loader's size-prepared signal, before any pixel memory is taken.
struct TLoadCheck {
  bool TooLarge = false;
};

void SizePreparedCb(GdkPixbufLoader* Loader, gint Width, gint Height, gpointer Data)
{
  if (Width > 0 && Height > 0 && Width <= kMaxImageSide && Height <= kMaxImageSide)
    return;
  static_cast<TLoadCheck*>(Data)->TooLarge = true;
  // A size of zero tells the loader to stop before it allocates the pixels.
  gdk_pixbuf_loader_set_size(Loader, 0, 0);
}

// The decoded pixbuf as 8-bit RGBA rows without padding.
std::optional<TBitmap> BitmapFromPixbuf(GdkPixbuf* Source)
{
  if (gdk_pixbuf_get_colorspace(Source) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(Source) != 8)
    return std::nullopt;
  // gdk_pixbuf_add_alpha returns a new pixbuf, a copy when the source has alpha already.
  GdkPixbuf* rgba = gdk_pixbuf_add_alpha(Source, FALSE, 0, 0, 0);
  if (rgba == nullptr)
    return std::nullopt;
  TBitmap bitmap;
  bitmap.Width = gdk_pixbuf_get_width(rgba);
  bitmap.Height = gdk_pixbuf_get_height(rgba);
  const bool usable = gdk_pixbuf_get_n_channels(rgba) == 4 && bitmap.Width > 0 && bitmap.Height > 0 &&
                      bitmap.Width <= kMaxImageSide && bitmap.Height <= kMaxImageSide;
  if (usable) {
    const auto rowBytes = static_cast<size_t>(bitmap.Width) * 4;
    const auto stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(rgba));
    const guint8* pixels = gdk_pixbuf_read_pixels(rgba);
    bitmap.Rgba.resize(rowBytes * static_cast<size_t>(bitmap.Height));
    for (size_t y = 0; y < static_cast<size_t>(bitmap.Height); ++y)
      std::memcpy(bitmap.Rgba.data() + y * rowBytes, pixels + y * stride, rowBytes);
  }
  g_object_unref(rgba);
  if (!usable)
    return std::nullopt;
  return bitmap;
}

} // namespace

std::optional<TBitmap> GtkDecodeImage(const std::string& Data)
{
  const char* loaderName = LoaderFor(Data);
  if (loaderName == nullptr)
    return std::nullopt;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(loaderName, nullptr);
  if (loader == nullptr) // that loader is not installed
    return std::nullopt;
  TLoadCheck check;
  ConnectSignal<&SizePreparedCb>(loader, "size-prepared", &check);

  // The data goes in pieces so that an oversized image is given up as soon as its header has
  // been read, before its pixels are decoded into a buffer of that size.
  constexpr size_t kChunk = 64 * 1024;
  bool ok = true;
  for (size_t offset = 0; ok && offset < Data.size(); offset += kChunk) {
    const size_t length = std::min(kChunk, Data.size() - offset);
    ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(Data.data() + offset), length, nullptr) &&
         !check.TooLarge;
  }
  // Closing is required even after a failure; it reports truncated data as an error.
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok && !check.TooLarge;

  std::optional<TBitmap> result;
  if (ok) {
    if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader))
      result = BitmapFromPixbuf(pixbuf);
  }
  g_signal_handlers_disconnect_by_data(loader, &check);
  g_object_unref(loader);
  return result;
}

GdkPixbuf* GtkPixbufFromBitmap(const TBitmap& Bitmap)
{
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0 || Bitmap.Width > kMaxImageSide || Bitmap.Height > kMaxImageSide ||
      Bitmap.Rgba.size() != static_cast<size_t>(Bitmap.Width) * static_cast<size_t>(Bitmap.Height) * 4)
    return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, Bitmap.Width, Bitmap.Height);
  if (pixbuf == nullptr)
    return nullptr;
  const auto rowBytes = static_cast<size_t>(Bitmap.Width) * 4;
  const auto stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  guint8* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (size_t y = 0; y < static_cast<size_t>(Bitmap.Height); ++y)
    std::memcpy(pixels + y * stride, Bitmap.Rgba.data() + y * rowBytes, rowBytes);
  return pixbuf;
}

cairo_surface_t* GtkBitmapSurface(const TBitmap& Bitmap, int Side, int ScaleFactor, bool Disabled)
{
  GdkPixbuf* source = GtkPixbufFromBitmap(Bitmap);
  if (source == nullptr)
    return nullptr;
  const int scale = std::max(ScaleFactor, 1);
  const int box = std::max(Side, 1) * scale;
  // Fitted into the square with its proportions kept, centred on a transparent background.
  const double factor = std::min(static_cast<double>(box) / Bitmap.Width, static_cast<double>(box) / Bitmap.Height);
  const int width = std::clamp(static_cast<int>(std::lround(Bitmap.Width * factor)), 1, box);
  const int height = std::clamp(static_cast<int>(std::lround(Bitmap.Height * factor)), 1, box);
  GdkPixbuf* canvas = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, box, box);
  if (canvas == nullptr) {
    g_object_unref(source);
    return nullptr;
  }
  gdk_pixbuf_fill(canvas, 0x00000000);
  // HYPER filters best when shrinking; enlarging a small image stays sharp with BILINEAR.
  const GdkInterpType filter = factor < 1.0 ? GDK_INTERP_HYPER : GDK_INTERP_BILINEAR;
  gdk_pixbuf_scale(source, canvas, (box - width) / 2, (box - height) / 2, width, height, (box - width) / 2,
                   (box - height) / 2, factor, factor, filter);
  g_object_unref(source);

  if (Disabled) {
    // Grey and faded, whatever the theme does for insensitive images: an unavailable command
    // must not look like an available one.
    gdk_pixbuf_saturate_and_pixelate(canvas, canvas, 0.0F, FALSE);
    const int stride = gdk_pixbuf_get_rowstride(canvas);
    guint8* pixels = gdk_pixbuf_get_pixels(canvas);
    for (int y = 0; y < box; ++y) {
      guint8* row = pixels + static_cast<ptrdiff_t>(y) * stride;
      for (int x = 0; x < box; ++x) {
        guint8* pixel = row + static_cast<ptrdiff_t>(x) * 4;
        // Lightened towards mid-grey so a dark image still reads as faded on light and dark menus.
        for (int c = 0; c < 3; ++c)
          pixel[c] = static_cast<guint8>((pixel[c] + 128 * 2) / 3);
        pixel[3] = static_cast<guint8>(pixel[3] * 2 / 5);
      }
    }
  }

  // Painted onto an image surface of its own rather than one made for a window, so no display
  // is needed; the device scale makes GTK draw it at Side logical pixels.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, box, box);
  cairo_t* cr = cairo_create(surface);
  gdk_cairo_set_source_pixbuf(cr, canvas, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  g_object_unref(canvas);
  cairo_surface_set_device_scale(surface, scale, scale);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

} // namespace velmora
