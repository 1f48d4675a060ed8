// Fuzz target: the menu item JSON of mainMenu.setItems, then updates of the menu it built.
#include "FuzzSupport.h"
#include "StrUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  using namespace velmora;
  auto& world = fuzz::TBridgeWorld::Get();
  const std::string items(reinterpret_cast<const char*>(Data), Size);
  world.Browser->ReceiveMessage(R"({"id":12001,"uuid":"u","data":{"items":)" + TStrUtils::StringToJsonString(items) +
                                "}}");
  for (const char* update : {R"({"id":12002,"uuid":"u","data":{"id":"1","caption":"x","enabled":"false"}})",
                             R"({"id":12002,"uuid":"u","data":{"id":0,"image":"app/img/icon.png"}})"})
    world.Browser->ReceiveMessage(update);
  world.Settle();
  return 0;
}
