// The runtime's main sequence on top of the native layer.
#include "RuntimeMain.h"

#include "ExeZipLoader.h"
#include "MainForm.h"
#include "ProjectSettings.h"
#include "SysUtils.h"

namespace velmora {

int RunVelmoraApplication(const std::string& ExePath)
{
  if (LoadExeZip(ExePath) == TStartupResult::Exit)
    return 0;

  // One instance per app ID, except the two-argument start a running instance makes for a new
  // window. The lock stays held until the process ends.
  if (!TProjectSettings::ReadBool(*ProjectINI, AppKeys::AllowInstances)) {
    if (TSysUtils::CreateNamedMutex(AppID) == TNamedMutexResult::AlreadyExists && !IsSecondWindowStart())
      return 0;
  }

  TMainForm mainForm;
  Native().Run(mainForm.Form());
  return 0;
}

} // namespace velmora
