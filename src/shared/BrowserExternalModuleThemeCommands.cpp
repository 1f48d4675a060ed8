// The theme commands of the bridge.
#include "BridgeArguments.h"
#include "BrowserExternalModule.h"
#include "StrUtils.h"
#include "StylesUtils.h"

namespace velmora {

void TBrowserExternalModule::ThemesGetTheme(const std::string& Uuid, const TCommandData&)
{
  SendSuccess(Uuid, "\"" + TStylesUtils::GetActiveTheme() + "\"");
}

void TBrowserExternalModule::ThemesGetThemes(const std::string& Uuid, const TCommandData&)
{
  std::vector<std::string> names;
  TStylesUtils::GetAvailables(names, true);
  SendSuccess(Uuid, JsonStringArray(names));
}

void TBrowserExternalModule::ThemesSetTheme(const std::string& Uuid, const TCommandData& Data)
{
  const std::string name = Data.ReadText("name");
  TStylesUtils::TrySetStyle(name, false);
  // True only when the active theme now has exactly the name asked for, letter case included.
  SendSuccess(Uuid, TStylesUtils::GetActiveTheme() == name ? "true" : "false");
}

} // namespace velmora
