// The runtime's main sequence: start-up, the single-instance rule, the main window, the loop.
#pragma once

#include <string>

namespace velmora {

// Runs the app attached to ExePath (the running executable when empty) on the installed native layer and returns the process's exit code.
int RunVelmoraApplication(const std::string& ExePath = {});

} // namespace velmora
