// Start-up: opening the archive attached to the running executable, the settings, the app's
// identity and folders, the engine's environment and the access password.
#pragma once

#include "ExeUtils.h"
#include "ExeZip.h"
#include "IniFile.h"

#include <string>
#include <vector>

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
extern std::string AppDataDirPath;    // per-user data folder of the app, ending in a separator
extern std::string WebViewDirPath;    // the engine's profile inside it
extern std::string EdgeLoaderDllPath; // the engine's loader library (Windows)

// The command line without the program name: none, or the app ID and a start address.
void SetCommandLineArgs(std::vector<std::string> Args);
const std::vector<std::string>& CommandLineArgs();
// True for the two-argument start a running instance makes for a new window.
bool IsSecondWindowStart();
// True for the start WebKitWebDriver makes: the single argument "--automation".
bool IsAutomationStart();

enum class TBundleState {
  Loaded,          // archive open, settings read, identity complete
  NoArchive,       // nothing attached to the executable
  IdentityMissing, // "ID", "Name" or "DirName" empty (also when "ryx.ini" is missing), or an ID
                   // that is not one path component
};

// Opens the archive attached to ExePath (the running executable when empty), loads
// "ryx.ini" and publishes the identity strings. An archive that cannot be opened throws
// std::runtime_error: the start-up reports it as an unhandled error.
TBundleState OpenAppBundle(const std::string& ExePath = {});

// Extracts "ryx.ini" from ExeZip and hands its lines to ProjectINI, replacing its content.
// A missing or unreadable entry leaves the settings empty: every key reads as its default.
void LoadProjectINI();

// Shows start-up message MessageIndex of the localized table as an error with one
// localized "Accept" button and the localized title "Error".
void ShowStartupError(int MessageIndex);

// Creates (or truncates) the file at Path and extracts the archive entry EntryName into it; a
// missing entry leaves the file empty. A file that cannot be written throws std::runtime_error.
void ExtractEntryToNewFile(const std::string& EntryName, const std::string& Path);

enum class TStartupResult { Continue, Exit };

// The whole sequence before the main window, on ExePath (the running executable when empty):
// Exit means the process must end now with exit code 0, after whatever was shown.
TStartupResult LoadExeZip(const std::string& ExePath = {});

} // namespace velmora
