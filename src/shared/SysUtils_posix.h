// What the parts of the Linux TSysUtils share: the calling thread's last error, an owned file
// descriptor, and the paths and environment variables the folder functions read. Internal to the
// SysUtils*_posix.cpp files.
#pragma once

#include "GLibSupport_posix.h"

#include <string>
#include <system_error>

namespace velmora::posix {

// Keeps Message (trimmed of trailing blanks and full stops) as the calling thread's last error,
// which TSysUtils::GetLastErrorMessage gives. Failures come from errno, GLib and D-Bus alike, so
// the text is kept rather than a code.
void RecordError(std::string Message);
// The system's text for an errno value (g_strerror: thread safe, UTF-8).
void RecordErrno(int Code);
inline void RecordError(const std::error_code& Code) { RecordError(Code.message()); }
inline void RecordError(TGError& Error) { RecordError(Error.Message()); }

// A file descriptor closed when it goes out of scope.
class TFd {
public:
  explicit TFd(int Fd = -1) : FFd(Fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Close(); }
  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  // Gives up ownership without closing.
  void Release() { FFd = -1; }
  void Close();

private:
  int FFd;
};

// Path with a trailing "/".
std::string WithSeparator(std::string Path);
// The variable's value, "" when it is not set.
std::string EnvValue(const char* Name);
// $HOME, else the home folder of the user's account.
std::string HomeDir();
// An XDG base folder: the variable when it holds an absolute path (relative values are invalid and
// ignored, as the XDG rules say), else the default below the home folder.
std::string XdgBaseDir(const char* Variable, const char* DefaultBelowHome);
// Path made absolute against the current folder, "." and ".." removed lexically.
std::string AbsolutePath(const std::string& Path);

} // namespace velmora::posix
