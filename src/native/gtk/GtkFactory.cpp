// The Linux native layer's entry point.
#include "GtkPlatform.h"

namespace velmora {

std::unique_ptr<TNativePlatform> CreatePlatformNativeLayer(std::string& Error) { return TGtkPlatform::Create(Error); }

} // namespace velmora
