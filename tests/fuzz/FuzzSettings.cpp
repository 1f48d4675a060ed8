// Fuzz target: the settings file, from its bytes (any encoding) to every key the runtime reads.
#include "IniFile.h"
#include "ProjectSettings.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  using namespace velmora;
  TMemIniFile ini;
  ini.SetText(DecodeSettingsText(std::string_view(reinterpret_cast<const char*>(Data), Size)));
  for (const TSettingKey* key : AppKeys::All)
    (void)TProjectSettings::ReadAsText(ini, *key);
  (void)IsValidAppID(TProjectSettings::ReadString(ini, AppKeys::ID));
  return 0;
}
