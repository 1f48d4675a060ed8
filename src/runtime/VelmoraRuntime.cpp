// The runtime's main program: installs the platform's native layer and runs the packaged app.
#include "ExeZipLoader.h"
#include "NativeLayer.h"
#include "RuntimeMain.h"
#include "SysUtils.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

// The report of an error that escapes the start-up sequence: a message box, in the native layer's
// own dialog when it is up (so it shows on a Linux desktop too), and the text on standard error.
void ReportStartupError(velmora::TNativePlatform* Platform, const std::string& Text)
{
  using namespace velmora;
  if (Platform != nullptr) {
    try {
      TMessageDialogSpec dialog;
      dialog.Message = Text;
      dialog.Type = TMsgDlgType::mtError;
      dialog.Buttons = {TMsgDlgBtn::mbOK};
      dialog.Caption = "Error";
      std::fprintf(stderr, "%s\n", Text.c_str());
      Platform->MessageDialog(dialog);
      return;
    } catch (...) {
      // The toolkit's dialog failed too: the system's own box below is all that is left.
    }
  }
  TSysUtils::ShowErrorMessageBox(Text, "Error");
}

int GuardedMain(std::vector<std::string> args)
{
  using namespace velmora;
  std::unique_ptr<TNativePlatform> platform;
  try {
    SetCommandLineArgs(std::move(args));
    std::string error;
    platform = CreatePlatformNativeLayer(error);
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
    ReportStartupError(platform.get(), std::string("The application cannot start: ") + error.what());
    return 1;
  } catch (...) {
    ReportStartupError(platform.get(), "The application cannot start: an unknown error occurred.");
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
