// Helpers shared by the Win32 parts of the native layer.
#include "Win32Support.h"

#include <objbase.h>

namespace velmora {

std::string TakeCoTaskString(LPWSTR Text)
{
  if (Text == nullptr)
    return {};
  std::string result = WideToUtf8(Text);
  CoTaskMemFree(Text);
  return result;
}

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

HFONT DialogFont()
{
  static const HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return CreateFontIndirectW(&metrics.lfMessageFont);
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}

BITMAPINFO TopDownBitmapInfo(int Width, int Height)
{
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

int ScaleForWindow(HWND Window, int Pixels)
{
  // GetDpiForWindow exists from Windows 10 1607 on; older systems get the screen's DPI.
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = 0;
  if (getDpiForWindow != nullptr && Window != nullptr)
    dpi = getDpiForWindow(Window);
  if (dpi == 0) {
    const HDC screen = GetDC(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  return MulDiv(Pixels, static_cast<int>(dpi), 96);
}

} // namespace velmora
