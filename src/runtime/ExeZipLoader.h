// Start-up: opening the archive attached to the running executable and publishing the app's identity.
#pragma once

#include "ExeUtils.h"
#include "ExeZip.h"
#include "IniFile.h"

#include <string>

namespace velmora {

// Process-wide start-up state, set once by the loader and read-only afterwards. The loader's
// unit owns the objects; they live until the process ends.
extern TExeUtils* ExeUtils;
extern TExeZip* ExeZip;
extern TMemIniFile* ProjectINI;
extern std::string AppID;
extern std::string AppName;
extern std::string AppDirName;
extern std::string AppIndexHtml;

enum class TBundleState {
  Loaded,          // archive open, settings read, identity complete
  NoArchive,       // nothing attached to the executable
  IdentityMissing, // "ID", "Name" or "DirName" empty (also when "ryx.ini" is missing)
};

// Opens the archive attached to ExePath (the running executable when empty), loads
// "ryx.ini" and publishes the identity strings. An archive that cannot be opened throws
// std::runtime_error: the start-up reports it as an unhandled error.
TBundleState OpenAppBundle(const std::string& ExePath = {});

// Extracts "ryx.ini" from ExeZip and hands its lines to ProjectINI, replacing its content.
// A missing or unreadable entry leaves the settings empty: every key reads as its default.
void LoadProjectINI();

// The start-up sequence before the main window: either returns with the state above
// published, or ends the process with exit code 0 (after message 5 when nothing is attached).
void LoadExeZip();

} // namespace velmora
