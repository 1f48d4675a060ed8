// Fuzz target: the content handler's address rules and byte ranges. The first line is the
// requester the engine names, the second the address asked for, the rest the request's Range
// header; the answer's body is read as the engine would.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  using namespace velmora;
  auto& world = fuzz::TBridgeWorld::Get();
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  const size_t newline = input.find('\n');
  const std::string requester = newline == std::string::npos ? std::string() : input.substr(0, newline);
  std::string address = newline == std::string::npos ? input : input.substr(newline + 1);
  std::string range;
  if (const size_t second = address.find('\n'); second != std::string::npos) {
    range = address.substr(second + 1);
    address.resize(second);
  }
  (void)world.View->IsAppDocument(address);
  const auto response = world.Browser->RequestFrom(address, requester, (Size & 1) != 0, range);
  if (response && response->Body)
    (void)ReadWholeBody(*response->Body, 1 << 16);
  world.Browser->CommitDocument((Size & 2) != 0 ? address : std::string("file:///index.html"));
  (void)world.Browser->RequestNewWindow(address);
  (void)world.Browser->RequestPermission("camera");
  world.Settle();
  return 0;
}
