// The runtime's main program: opens the app bundle attached to this executable and runs the app.
#include "ExeZipLoader.h"
#include "ProjectSettings.h"
#include "SysUtils.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

int RunRuntime()
{
  using namespace velmora;
  LoadExeZip();
  // Until the main window exists, the runtime reports what it loaded and ends.
  std::printf("Velmora runtime: app bundle of %s\n", ExeUtils->ExePath().c_str());
  std::printf("App \"%s\" (ID %s), folder \"%s\", start page \"%s\"\n", AppName.c_str(), AppID.c_str(),
              AppDirName.c_str(), AppIndexHtml.c_str());
  std::printf("Archive entries: %zu\n", ExeZip->Entries().size());
  std::printf("Settings [%s]:\n", std::string(kAppSection).c_str());
  for (const TSettingKey* key : AppKeys::All) {
    std::string value = TProjectSettings::ReadAsText(*ProjectINI, *key);
    if (key == &AppKeys::Password && !value.empty())
      value = "(set)"; // the access password is not shown
    std::printf("  %s=%s\n", std::string(key->Name).c_str(), value.c_str());
  }
  return 0;
}

int GuardedMain()
{
  try {
    return RunRuntime();
  } catch (const std::exception& error) {
    // An error that escapes the start-up sequence ends the process with a report.
    velmora::TSysUtils::ShowErrorMessageBox(std::string("The application cannot start: ") + error.what(), "Error");
    return 1;
  }
}

} // namespace

#ifdef _WIN32
int wmain(int, wchar_t**) { return GuardedMain(); }
#else
int main() { return GuardedMain(); }
#endif
