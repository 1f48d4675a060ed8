// Typed reads of the project settings keys with their defaults.
#include "ProjectSettings.h"

#include <stdexcept>

namespace velmora {

namespace {
void Expect(const TSettingKey& Key, bool ok)
{
  if (!ok)
    throw std::logic_error("setting " + std::string(Key.Name) + " read with the wrong type");
}
} // namespace

std::string TProjectSettings::ReadString(const TMemIniFile& Ini, const TSettingKey& Key)
{
  Expect(Key, Key.Type == TSettingType::String);
  return Ini.ReadString(kAppSection, Key.Name, Key.TextDefault);
}

int32_t TProjectSettings::ReadInteger(const TMemIniFile& Ini, const TSettingKey& Key)
{
  Expect(Key, Key.Type == TSettingType::Integer || Key.Type == TSettingType::Colour);
  return Ini.ReadInteger(kAppSection, Key.Name, Key.NumberDefault);
}

bool TProjectSettings::ReadBool(const TMemIniFile& Ini, const TSettingKey& Key)
{
  Expect(Key, Key.Type == TSettingType::Boolean);
  return Ini.ReadBool(kAppSection, Key.Name, Key.NumberDefault != 0);
}

std::string TProjectSettings::ReadAsText(const TMemIniFile& Ini, const TSettingKey& Key)
{
  switch (Key.Type) {
  case TSettingType::String:
    return ReadString(Ini, Key);
  case TSettingType::Boolean:
    return ReadBool(Ini, Key) ? "true" : "false";
  case TSettingType::Integer:
  case TSettingType::Colour:
    break;
  }
  return std::to_string(ReadInteger(Ini, Key));
}

} // namespace velmora
