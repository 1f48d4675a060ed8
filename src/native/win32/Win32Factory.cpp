// The Windows native layer's entry point.
#include "NativeLayer.h"

namespace velmora {

std::unique_ptr<TNativePlatform> CreatePlatformNativeLayer(std::string& Error)
{
  // FIXME: the Win32 and WebView2 window layer is not built yet; the Windows runtime cannot
  // open its window until it is.
  Error = "this build has no window layer for Windows yet";
  return nullptr;
}

} // namespace velmora
