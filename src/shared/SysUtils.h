// TSysUtils: the thin wrappers around the operating system's shell, process and folder services.
// One implementation per platform: SysUtils_posix.cpp (Linux, GLib/GIO) and SysUtils_win.cpp.
#pragma once

#include <string>

namespace velmora {

class TSysUtils {
public:
  TSysUtils() = delete;

  // Full path of the running executable (Linux: the target of /proc/self/exe).
  static std::string GetExeFilePath();

  // The system's text for an error code (errno on POSIX, GetLastError on Windows), with
  // trailing blanks, control characters and full stops removed; "" for a code without text.
  static std::string GetSystemErrorMessage(int code);
  static int GetLastErrorCode();

  // An error box that needs no window of ours: MessageBoxW on Windows. POSIX has no such
  // toolkit-free box, so the text goes to standard error there.
  static void ShowErrorMessageBox(const std::string& text, const std::string& caption);
};

} // namespace velmora
