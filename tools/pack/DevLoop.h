// velmora-pack run: packs an app to a temporary file and runs it, again on every change.
#pragma once

#include "Packer.h"

#include <functional>
#include <string>
#include <vector>

namespace velmora::pack {

struct TRunOptions {
  TPackOptions Pack;                // OutputPath is chosen here
  bool Watch = false;               // repack and restart when an input changes
  std::vector<std::string> AppArgs; // passed to the app
  int PollMs = 500;                 // how often the inputs are looked at while watching
};

// Packs the app into a temporary folder, starts it, waits for it and returns its exit code. With
// Watch, a change of the settings, the page script or anything in the app folder repacks the
// app and starts it anew (a pack that fails leaves the running app alone, and is reported); the
// loop ends, with the app's exit code, when the app ends by itself. Say gets a line for each
// thing that happens. Throws TPackError when the first pack fails.
int RunApp(const TRunOptions& Options, const std::function<void(const std::string&)>& Say);

// A fingerprint of the inputs of a pack: names, sizes and modification times of the settings,
// the page script and every file and folder of the app folder. It changes when any of them does.
std::string InputsFingerprint(const TPackOptions& Options);

} // namespace velmora::pack
