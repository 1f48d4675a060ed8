// The runtime's main program: installs the platform's native layer and runs the packaged app.
#include "ExeZipLoader.h"
#include "NativeLayer.h"
#include "RuntimeMain.h"
#include "SysUtils.h"

#include <exception>
#include <string>
#include <vector>

namespace {

int GuardedMain(std::vector<std::string> args)
{
  using namespace velmora;
  try {
    SetCommandLineArgs(std::move(args));
    std::string error;
    const auto platform = CreatePlatformNativeLayer(error);
    if (!platform) {
      TSysUtils::ShowErrorMessageBox("The application cannot start: " + error, "Error");
      return 1;
    }
    SetNativePlatform(platform.get());
    const int code = RunVelmoraApplication();
    SetNativePlatform(nullptr);
    return code;
  } catch (const std::exception& error) {
    // An error that escapes the start-up sequence ends the process with a report.
    velmora::TSysUtils::ShowErrorMessageBox(std::string("The application cannot start: ") + error.what(), "Error");
    return 1;
  }
}

} // namespace

#ifdef _WIN32
#include "TextCodec.h"
int wmain(int argc, wchar_t** argv)
{
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(velmora::WideToUtf8(argv[i]));
  return GuardedMain(std::move(args));
}
#else
int main(int argc, char** argv) { return GuardedMain(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
