// The Windows native layer's entry point.
#include "Win32Platform.h"

namespace velmora {

std::unique_ptr<TNativePlatform> CreatePlatformNativeLayer(std::string& Error) { return TWin32Platform::Create(Error); }

} // namespace velmora
