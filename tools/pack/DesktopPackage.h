// velmora-pack --deb: a packaged app as Linux desktop packages.
#pragma once

#include <string>
#include <vector>

namespace velmora::pack {

struct TDesktopPackageOptions {
  std::string DebPath;     // FILE.deb; FILE.tar.gz is written beside it
  std::string IconPath;    // an image in any format GdkPixbuf reads; the runtime's own icon when empty
  std::string Version;     // the package version; "1.0.0" when empty
  std::string DefaultIcon; // the bytes of the runtime's own icon
};

struct TDesktopPackageReport {
  std::string DebPath;
  std::string TarPath;
  std::string PackageName; // the Debian package name, also the folder under /opt and the command
  std::string DesktopId;   // the desktop file's and the icon's name, and the windows' class
};

// Writes a .deb (with dpkg-deb) and a .tar.gz of the same tree for a packaged executable: the
// program in /opt/<package>/, a command in /usr/bin, a desktop file (Name, Exec, Icon,
// StartupWMClass matching the class the runtime gives its windows) and the icon in the hicolor
// sizes. The settings give the names. Throws TPackError.
TDesktopPackageReport WriteDesktopPackages(const std::string& PackagedPath, const std::string& SettingsPath,
                                           const TDesktopPackageOptions& Options);

// The Debian package name for an app ID: lower case, only a-z 0-9 + - ., starting with a letter or
// digit, at least two characters.
std::string DebianPackageName(const std::string& AppId);

// The text of the app's desktop file.
std::string DesktopFileText(const std::string& Name, const std::string& Exec, const std::string& DesktopId);

} // namespace velmora::pack
