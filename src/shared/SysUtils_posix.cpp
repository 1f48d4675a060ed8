// Linux implementation of TSysUtils, the core: the thread's last error, paths and environment,
// special folders, the engine stubs and this computer. Processes and the shell, files and folders,
// the window list and the single-instance lock have files of their own (SysUtils*_posix.cpp).
// Only Linux-specific code goes here; what is the same on every platform is in SysUtils.cpp.
#include "SysUtils.h"
#include "SysUtilsInternal.h"
#include "SysUtils_posix.h"

#include <glib.h>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace velmora {

namespace posix {

namespace {

thread_local std::string tLastError;
thread_local bool tHasLastError = false;

std::string TrimMessage(std::string text)
{
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

} // namespace

void RecordError(std::string Message)
{
  tLastError = TrimMessage(std::move(Message));
  tHasLastError = true;
}

void RecordErrno(int Code) { RecordError(g_strerror(Code)); }

void TFd::Close()
{
  if (FFd >= 0)
    close(FFd);
  FFd = -1;
}

std::string WithSeparator(std::string Path)
{
  if (Path.empty() || Path.back() != '/')
    Path += '/';
  return Path;
}

std::string EnvValue(const char* Name)
{
  const char* value = std::getenv(Name);
  return value != nullptr ? value : "";
}

std::string HomeDir()
{
  const std::string home = EnvValue("HOME");
  return home.empty() ? std::string(g_get_home_dir()) : home;
}

std::string XdgBaseDir(const char* Variable, const char* DefaultBelowHome)
{
  const std::string value = EnvValue(Variable);
  if (!value.empty() && value.front() == '/')
    return value;
  return WithSeparator(HomeDir()) + DefaultBelowHome;
}

std::string AbsolutePath(const std::string& Path)
{
  const TGString absolute(g_canonicalize_filename(Path.c_str(), nullptr));
  return absolute.get();
}

} // namespace posix

using namespace posix;

void RecordSystemError(const std::error_code& Error) { RecordError(Error); }

// ---------------------------------------------------------------- error reporting

std::string TSysUtils::GetExeFilePath()
{
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0)
    return {};
  path.resize(static_cast<size_t>(length));
  return path;
}

std::string TSysUtils::GetSystemErrorMessage(int code)
{
  std::string text = code == 0 ? std::string() : std::strerror(code);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int TSysUtils::GetLastErrorCode() { return errno; }

void TSysUtils::ShowErrorMessageBox(const std::string& text, const std::string& caption)
{
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

std::string TSysUtils::GetLastErrorMessage()
{
  if (tHasLastError)
    return tLastError;
  const int code = errno;
  return code == 0 ? std::string() : posix::TrimMessage(g_strerror(code));
}

// ---------------------------------------------------------------- browser engine

bool TSysUtils::CheckEdgeIsInstalled([[maybe_unused]] const std::string& EdgeLoaderDllPath) { return true; }

bool TSysUtils::UsesEngineLoaderLibrary() { return false; }

void TSysUtils::SetEngineEnvironment([[maybe_unused]] const std::string& WebViewDirPath) {}

// ---------------------------------------------------------------- special folders

// GLib reads user-dirs.dirs once per process, so the desktop and documents folders do not follow
// later changes of the environment; the other folders read it at every call.
std::string TSysUtils::GetUserDesktopDirPath()
{
  const char* path = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
  return WithSeparator(path != nullptr ? path : "");
}

std::string TSysUtils::GetUserDocumentsDirPath()
{
  // Without a documents folder in the user's folder settings, the home folder stands in for it,
  // as the desktop's folder rules say.
  const char* path = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  return WithSeparator(path != nullptr ? path : g_get_home_dir());
}

std::string TSysUtils::GetUserAppDataDirPath() { return WithSeparator(XdgBaseDir("XDG_CONFIG_HOME", ".config")); }

std::string TSysUtils::GetLocalAppDataDirPath() { return WithSeparator(XdgBaseDir("XDG_DATA_HOME", ".local/share")); }

// /opt, where the filesystem hierarchy puts add-on applications one folder each, as Program Files does.
std::string TSysUtils::GetProgramFilesDirPath() { return "/opt/"; }

std::string TSysUtils::GetSystemAppsDirPath() { return "/"; }

std::string TSysUtils::GetTempDirPath()
{
  const std::string path = EnvValue("TMPDIR");
  return WithSeparator(path.empty() ? "/tmp" : path);
}

// ---------------------------------------------------------------- this computer

std::string TSysUtils::GetComputerNetName()
{
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    RecordErrno(errno);
    return {};
  }
  return name;
}

std::string TSysUtils::GetUserFromWindows()
{
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && found->pw_name[0] != '\0')
    return found->pw_name;
  for (const char* variable : {"USER", "LOGNAME"}) {
    const std::string name = EnvValue(variable);
    if (!name.empty())
      return name;
  }
  return "Unknown";
}

} // namespace velmora
