// Fuzz target: the bridge end to end on the headless layer. Any message text goes through the
// dispatcher as a page's message would; only commands that touch nothing outside the process run,
// so the fuzzer never deletes, writes, starts programs or logs anyone off.
#include "BoundedJson.h"
#include "BridgeArguments.h"
#include "FuzzSupport.h"

#include <set>

namespace {

bool TouchesTheSystem(std::string_view Message)
{
  static const std::set<int32_t> kUnsafe = {11001, 11002, 11003, 30002, 30003, 30004,
                                            40002, 70001, 70002, 70003, 90001};
  rapidjson::Document document;
  if (!velmora::ParseBoundedJson(document, Message, velmora::TJsonNumbers::AsStrings) || !document.IsObject())
    return false;
  if (!document.HasMember("id"))
    return false;
  const rapidjson::Value& id = document["id"];
  if (id.IsObject() || id.IsArray())
    return false;
  const auto number = velmora::ParseSettingsInteger(velmora::JsonValueAsText(id, {}));
  return number && kUnsafe.count(*number) > 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  using namespace velmora;
  auto& world = fuzz::TBridgeWorld::Get();
  const std::string message(reinterpret_cast<const char*>(Data), Size);
  if (TouchesTheSystem(message))
    return 0;
  world.Browser->ReceiveMessage(message, message);
  world.Settle();
  return 0;
}
