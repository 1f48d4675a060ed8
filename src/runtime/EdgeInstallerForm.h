// TEdgeInstallerForm, the busy window shown while the browser engine installs, and the
// installation flow that runs when the engine is missing at start-up.
#pragma once

#include "NativeLayer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

// An 80 x 80 pop-up centred on the screen, in the given colour, with a 64-pixel busy indicator
// at (9, 8); it refuses every close request (Alt+F4 does nothing). Shown when created.
class TEdgeInstallerForm {
public:
  TEdgeInstallerForm(uint32_t ColorRgb, TActivityIndicatorColor IndicatorColor, TActivityIndicatorKind IndicatorKind);
  ~TEdgeInstallerForm();
  TEdgeInstallerForm(const TEdgeInstallerForm&) = delete;
  TEdgeInstallerForm& operator=(const TEdgeInstallerForm&) = delete;

  TNativeForm& Form() { return *FForm; }

private:
  void FormCloseQuery(bool& CanClose);

  std::unique_ptr<TNativeForm> FForm;
  std::unique_ptr<TNativeActivityIndicator> FActivityIndicator;
};

// A colour of the settings (a 32-bit colour value: 0xFF0000nn is system colour nn, 0x00BBGGRR an
// RGB colour) as 0xRRGGBB.
uint32_t ColorFromSetting(int32_t Value);

// What the installation asks of the system. The defaults are TSysUtils's operations; tests play
// the installer and the user's machine with their own.
struct TEdgeInstallerServices {
  std::function<bool(const std::string& EdgeLoaderDllPath)> CheckEdgeIsInstalled;
  // Runs File elevated with Params and waits, keeping the windows responsive; the exit code.
  std::function<uint32_t(const std::string& File, const std::string& Params)> RunElevatedAndWait;
  // Starts File with Arguments; false when it could not be started.
  std::function<bool(const std::string& File, const std::string& Arguments)> ShellExec;
  // The running executable's full path.
  std::function<std::string()> ExeFilePath;

  static TEdgeInstallerServices System();
};

// The engine is missing: reports it, or offers, runs and checks its installation, and restarts
// the app once it succeeded. Every outcome ends the process (exit code 0): the start-up does not
// go on after it. Reads the settings and the data folder the loader published.
void RunEdgeInstallation(const TEdgeInstallerServices& Services = TEdgeInstallerServices::System());

} // namespace velmora
