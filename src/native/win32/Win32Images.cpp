// Image decoding with the Windows Imaging Component, and bitmaps drawn with their alpha.
#include "Win32Images.h"

#include "ImageTools.h"
#include "Win32Support.h"

#include <wincodec.h>

#include <vector>

namespace velmora {

std::optional<TBitmap> Win32DecodeImage(const std::string& Data)
{
  // Only the accepted formats reach a decoder, whatever else the system's codecs could read.
  if (!SniffImageFormat(Data) || Data.size() > UINT32_MAX)
    return std::nullopt;
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory.Put()))))
    return std::nullopt;
  TComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Put())) ||
      FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(Data.data())),
                                          static_cast<DWORD>(Data.size()))))
    return std::nullopt;
  TComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put())))
    return std::nullopt;
  TComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.Put())))
    return std::nullopt;
  UINT width = 0;
  UINT height = 0;
  // The size is checked before any pixel memory is taken.
  if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 || width > kMaxImageSide ||
      height > kMaxImageSide)
    return std::nullopt;
  TComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Put())) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return std::nullopt;
  TBitmap bitmap;
  bitmap.Width = static_cast<int>(width);
  bitmap.Height = static_cast<int>(height);
  bitmap.Rgba.resize(static_cast<size_t>(width) * height * 4);
  if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bitmap.Rgba.size()), bitmap.Rgba.data())))
    return std::nullopt;
  return bitmap;
}

void Win32DrawBitmap(HDC Dc, const TBitmap& Bitmap, int Left, int Top)
{
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0)
    return;
  BITMAPINFO info = TopDownBitmapInfo(Bitmap.Width, Bitmap.Height);
  void* bits = nullptr;
  const HDC memory = CreateCompatibleDC(Dc);
  const HBITMAP section = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory == nullptr || section == nullptr || bits == nullptr) {
    if (section != nullptr)
      DeleteObject(section);
    if (memory != nullptr)
      DeleteDC(memory);
    return;
  }
  // AlphaBlend wants blue, green, red, alpha with the colour premultiplied.
  auto* out = static_cast<uint8_t*>(bits);
  for (size_t i = 0; i + 3 < Bitmap.Rgba.size(); i += 4) {
    const unsigned alpha = Bitmap.Rgba[i + 3];
    out[i] = static_cast<uint8_t>(Bitmap.Rgba[i + 2] * alpha / 255);
    out[i + 1] = static_cast<uint8_t>(Bitmap.Rgba[i + 1] * alpha / 255);
    out[i + 2] = static_cast<uint8_t>(Bitmap.Rgba[i] * alpha / 255);
    out[i + 3] = static_cast<uint8_t>(alpha);
  }
  const HGDIOBJ old = SelectObject(memory, section);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(Dc, Left, Top, Bitmap.Width, Bitmap.Height, memory, 0, 0, Bitmap.Width, Bitmap.Height, blend);
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
}

} // namespace velmora
