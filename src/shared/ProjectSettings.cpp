// Typed reads of the project settings keys with their defaults.
#include "ProjectSettings.h"

#include "ExeZip.h"
#include "TextHelpers.h"

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
  case TSettingType::String: return ReadString(Ini, Key);
  case TSettingType::Boolean: return ReadBool(Ini, Key) ? "true" : "false";
  case TSettingType::Integer:
  case TSettingType::Colour: break;
  }
  return std::to_string(ReadInteger(Ini, Key));
}

std::string DesktopIdOf(std::string_view ID)
{
  std::string id(ID);
  for (char& c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if (!((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '.' ||
          c == '-' || c == '_'))
      c = '-';
  }
  return id;
}

bool IsValidAppID(std::string_view ID)
{
  if (ID.empty() || ID.size() > 255 || ID == "." || ID == "..")
    return false;
  for (const char c : ID) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
      return false;
  }
  if (ID.back() == '.' || ID.back() == ' ')
    return false;
  // Windows reads these names, with any extension, as devices.
  const std::string stem = text::AsciiLower(ID.substr(0, ID.find('.')));
  for (const char* device : {"con", "prn", "aux", "nul"})
    if (stem == device)
      return false;
  if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '0' && stem[3] <= '9')
    return false;
  return true;
}

} // namespace velmora
