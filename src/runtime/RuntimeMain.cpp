// The runtime's main sequence on top of the native layer.
#include "RuntimeMain.h"

#include "ExeZipLoader.h"
#include "MainForm.h"
#include "ProjectSettings.h"
#include "SysUtils.h"

#include <memory>
#include <mutex>

namespace velmora {

int RunVelmoraApplication(const std::string& ExePath)
{
  if (LoadExeZip(ExePath) == TStartupResult::Exit)
    return 0;

  // One instance per app ID, except the two-argument start a running instance makes for a new
  // window. Every instance holds the name until it ends, second windows included.
  bool ownedByAnother = false;
  const bool singleInstance = !TProjectSettings::ReadBool(*ProjectINI, AppKeys::AllowInstances);
  if (singleInstance) {
    ownedByAnother = TSysUtils::CreateNamedMutex(AppID) == TNamedMutexResult::AlreadyExists;
    if (ownedByAnother && !IsSecondWindowStart()) {
      // The running instance hears this start's arguments (ryx.events.onSecondInstance), so it
      // can open the file it was given; this start ends either way.
      TSysUtils::SendInstanceArgs(AppID, CommandLineArgs());
      return 0;
    }
  }

  // Before any window exists: the windows are made with the app's class.
  Native().SetApplicationIdentity(DesktopIdOf(AppID));
  // Only the start WebKitWebDriver makes accepts an automation session, and only when the bundle
  // does not forbid it; an ordinary start never does.
  if (IsAutomationStart() && TProjectSettings::ReadBool(*ProjectINI, AppKeys::AllowAutomation))
    Native().AllowBrowserAutomation(AppName);

  TMainForm mainForm;
  // A second window belongs to the instance that owns the name: when that one ends, the window is
  // asked to close as the user would ask it. The watch reports from a thread of its own, which may
  // outlive this function; the shared state keeps it from posting once the window is gone.
  struct TOwnerWatch {
    std::mutex Lock;
    bool WindowAlive = true;
  };
  const auto watch = std::make_shared<TOwnerWatch>();
  if (ownedByAnother) {
    TNativeForm* window = &mainForm.Form();
    TNativePlatform* platform = &Native();
    TSysUtils::WatchNamedMutexOwner(AppID, [watch, window, platform] {
      const std::lock_guard<std::mutex> guard(watch->Lock);
      if (!watch->WindowAlive)
        return;
      platform->PostToMainThread([watch, window] {
        if (watch->WindowAlive)
          window->Close();
      });
    });
  }
  if (singleInstance && !ownedByAnother) {
    TBrowserExternalModule* module = &mainForm.BrowserExternalModule();
    TNativePlatform* platform = &Native();
    TSysUtils::ListenForInstanceArgs(AppID, [watch, module, platform](std::vector<std::string> Args) {
      const std::lock_guard<std::mutex> guard(watch->Lock);
      if (!watch->WindowAlive)
        return;
      platform->PostToMainThread([watch, module, args = std::move(Args)] {
        if (watch->WindowAlive)
          module->SecondInstanceStarted(args);
      });
    });
  }
  Native().Run(mainForm.Form());
  const std::lock_guard<std::mutex> guard(watch->Lock);
  watch->WindowAlive = false;
  return 0;
}

} // namespace velmora
