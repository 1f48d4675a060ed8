// The process's installed native layer.
#include "NativeLayer.h"

#include <stdexcept>

namespace velmora {

namespace {
TNativePlatform* GPlatform = nullptr;
} // namespace

TNativePlatform& Native()
{
  if (GPlatform == nullptr)
    throw std::logic_error("no native layer installed");
  return *GPlatform;
}

void SetNativePlatform(TNativePlatform* Platform) { GPlatform = Platform; }

} // namespace velmora
