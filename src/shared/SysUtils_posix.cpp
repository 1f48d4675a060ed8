// Linux implementation of TSysUtils: POSIX processes and files, GIO handlers, GDBus for the file manager and logind.
#include "SysUtils.h"
#include "StrUtils.h"
#include "TextCodec.h"

#include <gio/gio.h>
#include <glib.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace velmora {

namespace {

namespace fs = std::filesystem;

// How long a D-Bus call may take before it counts as failed: a file manager that D-Bus has to start
// first needs a moment, but nothing here may hang.
constexpr int kDBusTimeoutMs = 5000;

// Windows' EWX_POWEROFF, which asks for the same as kEwxShutdown here.
constexpr uint32_t kEwxPowerOff = 8;

// ---------------------------------------------------------------- last error of this thread

// The message of the last failing operation of this thread. Failures come from errno, GLib and D-Bus
// alike, so the text is kept rather than a code.
thread_local std::string tLastError;
thread_local bool tHasLastError = false;

std::string TrimMessage(std::string text)
{
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

void RecordError(std::string message)
{
  tLastError = TrimMessage(std::move(message));
  tHasLastError = true;
}

// g_strerror rather than strerror: it is thread safe and gives UTF-8.
void RecordErrno(int code) { RecordError(g_strerror(code)); }

void RecordError(const std::error_code& code) { RecordError(code.message()); }

// ---------------------------------------------------------------- GLib ownership helpers

struct TGFree {
  void operator()(void* p) const { g_free(p); }
};
using TGString = std::unique_ptr<char, TGFree>;

struct TGStrvFree {
  void operator()(char** p) const { g_strfreev(p); }
};
using TGStrv = std::unique_ptr<char*, TGStrvFree>;

struct TGObjectUnref {
  void operator()(void* p) const { g_object_unref(p); }
};
template <class T>
using TGObject = std::unique_ptr<T, TGObjectUnref>;

struct TGVariantUnref {
  void operator()(GVariant* p) const { g_variant_unref(p); }
};
using TGVariant = std::unique_ptr<GVariant, TGVariantUnref>;

class TGError {
public:
  TGError() = default;
  TGError(const TGError&) = delete;
  TGError& operator=(const TGError&) = delete;
  ~TGError()
  {
    if (FError != nullptr)
      g_error_free(FError);
  }
  GError** Out() { return &FError; }
  const GError* Get() const { return FError; }

  // Records the message as the thread's last error; a D-Bus error loses its "GDBus.Error:name:" prefix.
  void Record()
  {
    if (FError == nullptr) {
      RecordError("Unknown error");
      return;
    }
    if (g_dbus_error_is_remote_error(FError))
      g_dbus_error_strip_remote_error(FError);
    RecordError(FError->message);
  }

private:
  GError* FError = nullptr;
};

// ---------------------------------------------------------------- paths and environment

std::string WithSeparator(std::string path)
{
  if (path.empty() || path.back() != '/')
    path += '/';
  return path;
}

std::string EnvValue(const char* name)
{
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeDir()
{
  const std::string home = EnvValue("HOME");
  return home.empty() ? std::string(g_get_home_dir()) : home;
}

// An XDG base folder: the variable when it holds an absolute path (relative values are invalid and
// ignored, as the XDG rules say), else the default below the home folder.
std::string XdgBaseDir(const char* variable, const char* defaultBelowHome)
{
  const std::string value = EnvValue(variable);
  if (!value.empty() && value.front() == '/')
    return value;
  return WithSeparator(HomeDir()) + defaultBelowHome;
}

// Path made absolute against the current folder, "." and ".." removed lexically.
std::string AbsolutePath(const std::string& path)
{
  const TGString absolute(g_canonicalize_filename(path.c_str(), nullptr));
  return absolute.get();
}

// ---------------------------------------------------------------- processes

// Splits arguments as a shell would into args; blank text adds nothing. False (error recorded) when
// the text cannot be parsed, such as an unterminated quote.
bool SplitArguments(const std::string& text, std::vector<std::string>& args)
{
  int count = 0;
  char** parts = nullptr;
  TGError error;
  if (!g_shell_parse_argv(text.c_str(), &count, &parts, error.Out())) {
    if (g_error_matches(error.Get(), G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING))
      return true;
    error.Record();
    return false;
  }
  const TGStrv owner(parts);
  for (int i = 0; i < count; ++i)
    args.emplace_back(parts[i]);
  return true;
}

// The argv array the C interfaces want, pointing into args (which must outlive it).
std::vector<char*> ArgvOf(std::vector<std::string>& args)
{
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Starts a program that nobody waits for. Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts it through
// an intermediate child, so it never lingers as a zombie of ours.
bool StartDetached(std::vector<std::string> args)
{
  std::vector<char*> argv = ArgvOf(args);
  TGError error;
  if (!g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, error.Out())) {
    error.Record();
    return false;
  }
  return true;
}

struct TSpawnOptions {
  std::string WorkingDir; // "" keeps ours
  int OutputFd = -1;      // receives standard output and standard error when set
  bool NullInput = false; // standard input from /dev/null instead of ours
  bool OwnGroup = false;  // the child leads a process group of its own, so the group can be ended
};

// Starts args[0] (searched in PATH when it has no slash) for a caller that waits for it. Only
// descriptors 0, 1 and 2 reach the child, whatever other threads have open without O_CLOEXEC, and
// the child starts with default signal handling and nothing blocked, whatever this thread has set.
// A working folder that does not exist makes the start fail before anything runs.
bool SpawnProcess(std::vector<std::string> args, const TSpawnOptions& options, pid_t& pid)
{
  if (args.empty() || args.front().empty()) {
    RecordErrno(ENOENT);
    return false;
  }
  std::vector<char*> argv = ArgvOf(args);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.NullInput)
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (options.OutputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.OutputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, options.OutputFd, STDERR_FILENO);
  }
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  if (!options.WorkingDir.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDir.c_str());

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t noSignals;
  sigset_t allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  posix_spawnattr_setsigdefault(&attributes, &allSignals);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.OwnGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags = static_cast<short>(flags | POSIX_SPAWN_SETPGROUP);
  }
  posix_spawnattr_setflags(&attributes, flags);

  const int result = posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    RecordErrno(result);
    return false;
  }
  return true;
}

// Waits for a child to end and gives its exit status; a child killed by a signal gives 128 + the
// signal's number, as shells report it.
uint32_t WaitForExitCode(pid_t pid)
{
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      RecordErrno(errno);
      return 0;
    }
  }
  if (WIFEXITED(status))
    return static_cast<uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return 128U + static_cast<uint32_t>(WTERMSIG(status));
  return 0;
}

// A file descriptor closed when it goes out of scope.
class TFd {
public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Close(); }
  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  // Gives up ownership without closing.
  void Release() { FFd = -1; }
  void Close()
  {
    if (FFd >= 0)
      close(FFd);
    FFd = -1;
  }

private:
  int FFd;
};

// Whether a file is a program: executable for us and an ELF binary or a "#!" script. A document can
// carry the executable bit too (every file on a FAT or NTFS disk does); run as a program, the shell
// would read it as commands, so such a file goes to its default handler instead.
bool IsProgram(const std::string& path, const struct stat& info)
{
  if (!S_ISREG(info.st_mode) || access(path.c_str(), X_OK) != 0)
    return false;
  char header[4] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(header, sizeof header);
  const std::string_view start(header, static_cast<size_t>(file.gcount()));
  return start.starts_with("\x7F" "ELF") || start.starts_with("#!");
}

// ---------------------------------------------------------------- desktop handlers and D-Bus

// Hands a URI to the desktop's default handler for its type or scheme.
bool LaunchDefaultForUri(const char* uri)
{
  TGError error;
  if (!g_app_info_launch_default_for_uri(uri, nullptr, error.Out())) {
    error.Record();
    return false;
  }
  return true;
}

bool LaunchDefaultForPath(const std::string& absolutePath)
{
  TGError error;
  const TGString uri(g_filename_to_uri(absolutePath.c_str(), nullptr, error.Out()));
  if (!uri) {
    error.Record();
    return false;
  }
  return LaunchDefaultForUri(uri.get());
}

// Asks the file manager (the freedesktop FileManager1 interface) to show an item selected in its
// folder ("ShowItems") or to open a folder ("ShowFolders"). D-Bus starts a file manager that is
// installed but not running; without one the call fails at once.
bool AskFileManager(const char* method, const std::string& absolutePath)
{
  TGError error;
  const TGString uri(g_filename_to_uri(absolutePath.c_str(), nullptr, error.Out()));
  if (!uri) {
    error.Record();
    return false;
  }
  const TGObject<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.Out()));
  if (!bus) {
    error.Record();
    return false;
  }
  const gchar* const uris[] = {uri.get(), nullptr};
  const TGVariant reply(g_dbus_connection_call_sync(
    bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
    method, g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, kDBusTimeoutMs, nullptr,
    error.Out()));
  if (!reply) {
    error.Record();
    return false;
  }
  return true;
}

// The path itself when something stands there, otherwise the nearest folder above it that exists.
std::string NearestExistingItem(std::string absolutePath)
{
  struct stat info {};
  while (lstat(absolutePath.c_str(), &info) != 0 && absolutePath != "/") {
    const TGString parent(g_path_get_dirname(absolutePath.c_str()));
    absolutePath = parent.get();
  }
  return absolutePath;
}

// One call to logind; parameters is a floating GVariant (or nullptr) that the call consumes.
TGVariant CallLogind(GDBusConnection* bus, const char* objectPath, const char* interfaceName, const char* method,
                     GVariant* parameters, const GVariantType* replyType)
{
  TGError error;
  TGVariant reply(g_dbus_connection_call_sync(bus, "org.freedesktop.login1", objectPath, interfaceName, method,
                                              parameters, replyType, G_DBUS_CALL_FLAGS_NONE, kDBusTimeoutMs,
                                              nullptr, error.Out()));
  if (!reply)
    error.Record();
  return reply;
}

// Ends the caller's login session: the one named by $XDG_SESSION_ID, else the one logind assigns to
// this process.
bool TerminateOwnSession(GDBusConnection* bus)
{
  const char* managerPath = "/org/freedesktop/login1";
  const char* managerInterface = "org.freedesktop.login1.Manager";
  const std::string sessionId = EnvValue("XDG_SESSION_ID");
  if (!sessionId.empty())
    return CallLogind(bus, managerPath, managerInterface, "TerminateSession", g_variant_new("(s)", sessionId.c_str()),
                      nullptr) != nullptr;

  const TGVariant session = CallLogind(bus, managerPath, managerInterface, "GetSessionByPID",
                                       g_variant_new("(u)", static_cast<guint32>(getpid())), G_VARIANT_TYPE("(o)"));
  if (!session)
    return false;
  const gchar* sessionPath = nullptr;
  g_variant_get(session.get(), "(&o)", &sessionPath);
  return CallLogind(bus, sessionPath, "org.freedesktop.login1.Session", "Terminate", nullptr, nullptr) != nullptr;
}

// ---------------------------------------------------------------- X11 window list

// The few libxcb functions the window list needs, looked up at run time: velmora_shared links no X11
// library, and a desktop without X11 must still run. XCB rather than Xlib because XCB reports an
// error (a window closed while we read it) with the reply, while Xlib calls a process-wide error
// handler that the toolkit has installed for itself.
struct TXcb {
  decltype(&xcb_connect) Connect = nullptr;
  decltype(&xcb_connection_has_error) ConnectionHasError = nullptr;
  decltype(&xcb_disconnect) Disconnect = nullptr;
  decltype(&xcb_get_setup) GetSetup = nullptr;
  decltype(&xcb_setup_roots_iterator) SetupRootsIterator = nullptr;
  decltype(&xcb_screen_next) ScreenNext = nullptr;
  decltype(&xcb_intern_atom) InternAtom = nullptr;
  decltype(&xcb_intern_atom_reply) InternAtomReply = nullptr;
  decltype(&xcb_get_property) GetProperty = nullptr;
  decltype(&xcb_get_property_reply) GetPropertyReply = nullptr;
  decltype(&xcb_get_property_value) GetPropertyValue = nullptr;
  decltype(&xcb_get_property_value_length) GetPropertyValueLength = nullptr;
};

template <class F>
bool LoadSymbol(void* library, const char* name, F& function)
{
  void* symbol = dlsym(library, name);
  // POSIX guarantees that a symbol's address converts to a function pointer; memcpy says so without
  // a cast between object and function pointers.
  static_assert(sizeof(symbol) == sizeof(function));
  std::memcpy(&function, &symbol, sizeof(function));
  return symbol != nullptr;
}

// libxcb, loaded once and kept for the life of the process; nullptr when it is not installed.
const TXcb* Xcb()
{
  static const std::optional<TXcb> xcb = []() -> std::optional<TXcb> {
    void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
      return std::nullopt;
    TXcb functions;
    const bool complete = LoadSymbol(library, "xcb_connect", functions.Connect) &&
                          LoadSymbol(library, "xcb_connection_has_error", functions.ConnectionHasError) &&
                          LoadSymbol(library, "xcb_disconnect", functions.Disconnect) &&
                          LoadSymbol(library, "xcb_get_setup", functions.GetSetup) &&
                          LoadSymbol(library, "xcb_setup_roots_iterator", functions.SetupRootsIterator) &&
                          LoadSymbol(library, "xcb_screen_next", functions.ScreenNext) &&
                          LoadSymbol(library, "xcb_intern_atom", functions.InternAtom) &&
                          LoadSymbol(library, "xcb_intern_atom_reply", functions.InternAtomReply) &&
                          LoadSymbol(library, "xcb_get_property", functions.GetProperty) &&
                          LoadSymbol(library, "xcb_get_property_reply", functions.GetPropertyReply) &&
                          LoadSymbol(library, "xcb_get_property_value", functions.GetPropertyValue) &&
                          LoadSymbol(library, "xcb_get_property_value_length", functions.GetPropertyValueLength);
    if (!complete) {
      dlclose(library);
      return std::nullopt;
    }
    return functions;
  }();
  return xcb ? &*xcb : nullptr;
}

struct TFreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using TXcbReply = std::unique_ptr<T, TFreeReply>;

// Longest property read, in 32-bit units: a client list of 65536 windows, a title of 256 KB.
constexpr uint32_t kMaxPropertyLength = 65536;

std::string PropertyBytes(const TXcb& xcb, const xcb_get_property_reply_t* reply)
{
  if (reply == nullptr || reply->format != 8)
    return {};
  const auto* bytes = static_cast<const char*>(xcb.GetPropertyValue(reply));
  return std::string(bytes, static_cast<size_t>(xcb.GetPropertyValueLength(reply)));
}

// True when the title has something besides spaces and control characters.
bool HasVisibleCharacter(std::string_view title)
{
  size_t pos = 0;
  while (pos < title.size()) {
    const char32_t cp = DecodeUtf8(title, pos);
    if (cp > 0x20 && (cp < 0x7F || cp > 0x9F))
      return true;
  }
  return false;
}

// The titles of the X11 display's client windows in the window manager's stacking order, topmost
// first. The client list and every window's title are requested in one batch each, so a long list
// costs two round trips rather than one per window.
void ReadX11WindowTitles(std::vector<std::string>& list)
{
  if (EnvValue("DISPLAY").empty())
    return;
  const TXcb* xcb = Xcb();
  if (xcb == nullptr)
    return;
  int screenNumber = 0;
  xcb_connection_t* connection = xcb->Connect(nullptr, &screenNumber);
  const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> owner(connection, xcb->Disconnect);
  if (connection == nullptr || xcb->ConnectionHasError(connection) != 0)
    return;

  xcb_screen_iterator_t screens = xcb->SetupRootsIterator(xcb->GetSetup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
    xcb->ScreenNext(&screens);
  if (screens.rem <= 0)
    return;
  const xcb_window_t root = screens.data->root;

  // only_if_exists: atoms that no program has used yet are not created by asking for them.
  auto internAtom = [&](std::string_view name) {
    return xcb->InternAtom(connection, 1, static_cast<uint16_t>(name.size()), name.data());
  };
  const xcb_intern_atom_cookie_t cookies[] = {internAtom("_NET_CLIENT_LIST_STACKING"), internAtom("_NET_WM_NAME")};
  xcb_atom_t atoms[2] = {XCB_ATOM_NONE, XCB_ATOM_NONE};
  for (size_t i = 0; i < 2; ++i) {
    const TXcbReply<xcb_intern_atom_reply_t> reply(xcb->InternAtomReply(connection, cookies[i], nullptr));
    if (reply)
      atoms[i] = reply->atom;
  }
  const xcb_atom_t clientListAtom = atoms[0];
  const xcb_atom_t netWmNameAtom = atoms[1];
  if (clientListAtom == XCB_ATOM_NONE)
    return;

  const auto readProperty = [&](xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    return xcb->GetProperty(connection, 0, window, property, type, 0, kMaxPropertyLength);
  };
  const TXcbReply<xcb_get_property_reply_t> clientList(
    xcb->GetPropertyReply(connection, readProperty(root, clientListAtom, XCB_ATOM_WINDOW), nullptr));
  if (!clientList || clientList->format != 32 || clientList->type != XCB_ATOM_WINDOW)
    return;
  const auto* windows = static_cast<const xcb_window_t*>(xcb->GetPropertyValue(clientList.get()));
  const size_t count = static_cast<size_t>(xcb->GetPropertyValueLength(clientList.get())) / sizeof(xcb_window_t);

  // The list runs from the bottom of the stack to the top; the caller wants the top first.
  std::vector<xcb_get_property_cookie_t> netNames;
  std::vector<xcb_get_property_cookie_t> legacyNames;
  netNames.reserve(count);
  legacyNames.reserve(count);
  for (size_t i = count; i-- > 0;) {
    if (netWmNameAtom != XCB_ATOM_NONE)
      netNames.push_back(readProperty(windows[i], netWmNameAtom, XCB_ATOM_ANY));
    legacyNames.push_back(readProperty(windows[i], XCB_ATOM_WM_NAME, XCB_ATOM_ANY));
  }
  for (size_t i = 0; i < legacyNames.size(); ++i) {
    std::string title;
    if (!netNames.empty()) {
      const TXcbReply<xcb_get_property_reply_t> reply(xcb->GetPropertyReply(connection, netNames[i], nullptr));
      // _NET_WM_NAME is UTF-8 by definition, even where a program declares another type for it.
      if (reply)
        title = SanitizeUtf8(PropertyBytes(*xcb, reply.get()));
    }
    // Every reply is collected, used or not, so none stays queued on the connection.
    const TXcbReply<xcb_get_property_reply_t> legacy(xcb->GetPropertyReply(connection, legacyNames[i], nullptr));
    if (title.empty() && legacy) {
      // WM_NAME should be Latin-1, but many programs store UTF-8 there; AnsiToUtf8 takes bytes that form
      // valid UTF-8 as UTF-8 and anything else as Windows-1252, the superset of Latin-1.
      title = AnsiToUtf8(PropertyBytes(*xcb, legacy.get()));
    }
    if (HasVisibleCharacter(title))
      list.push_back(std::move(title));
  }
}

// ---------------------------------------------------------------- files

// Characters that may stand for themselves in a lock file's name; everything else is percent-encoded,
// so two different names never share a file.
std::string EncodeFileNamePart(std::string_view name)
{
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || c == '.' ||
        c == '_' || c == '-') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4U];
      encoded += kHex[byte & 0x0FU];
    }
  }
  return encoded;
}

} // namespace

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
  return code == 0 ? std::string() : TrimMessage(g_strerror(code));
}

// ---------------------------------------------------------------- shell and processes

bool TSysUtils::ShellExec(const std::string& FilePath, const std::string& Arguments)
{
  struct stat info {};
  if (FilePath.empty() || stat(FilePath.c_str(), &info) != 0) {
    const int code = FilePath.empty() ? ENOENT : errno;
    // Not on disk: an address such as https://... or mailto:... goes to the handler of its scheme.
    const char* scheme = code == ENOENT ? g_uri_peek_scheme(FilePath.c_str()) : nullptr;
    if (scheme != nullptr)
      return LaunchDefaultForUri(FilePath.c_str());
    RecordErrno(code);
    return false;
  }
  const std::string path = AbsolutePath(FilePath);
  if (IsProgram(path, info)) {
    std::vector<std::string> args{path};
    return SplitArguments(Arguments, args) && StartDetached(std::move(args));
  }
  return LaunchDefaultForPath(path);
}

bool TSysUtils::ShellOpen(const std::string& FilePath) { return ShellExec(FilePath, ""); }

bool TSysUtils::ShellExplore(const std::string& FilePath)
{
  if (FilePath.empty() || FilePath.find('\0') != std::string::npos) {
    RecordErrno(ENOENT);
    return false;
  }
  // An item that exists is shown selected in its folder. For a missing one the nearest folder
  // that exists opens instead, as Explorer does for a path it cannot select.
  const std::string path = AbsolutePath(FilePath);
  const std::string existing = NearestExistingItem(path);
  if (existing == path) {
    if (AskFileManager("ShowItems", path))
      return true;
    const TGString folder(g_path_get_dirname(path.c_str()));
    return LaunchDefaultForPath(folder.get());
  }
  return AskFileManager("ShowFolders", existing) || LaunchDefaultForPath(existing);
}

std::string TSysUtils::GetDosOutput(const std::string& CommandLine, const std::string& WorkingDir, bool ShowWindow)
{
  return GetDosOutputLimited(CommandLine, WorkingDir, ShowWindow, SIZE_MAX).value_or(std::string());
}

std::optional<std::string> TSysUtils::GetDosOutputLimited(const std::string& CommandLine, const std::string& WorkingDir,
                                                          [[maybe_unused]] bool ShowWindow, size_t MaxBytes)
{
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    RecordErrno(errno);
    return std::string();
  }
  TFd readEnd(ends[0]);
  TFd writeEnd(ends[1]);

  // One pipe for standard output and standard error, so the two interleave as they were written.
  // The command leads a process group of its own, so what it started can be ended with it.
  TSpawnOptions options;
  options.WorkingDir = WorkingDir;
  options.OutputFd = writeEnd.Get();
  options.NullInput = true;
  options.OwnGroup = true;
  pid_t pid = 0;
  const bool started = SpawnProcess({"/bin/sh", "-c", CommandLine}, options, pid);
  // Our copy of the write end must go before reading, or the pipe would never report its end.
  writeEnd.Close();
  if (!started)
    return std::string();

  std::string output;
  char buffer[64 * 1024];
  bool tooMuch = false;
  for (;;) {
    const ssize_t count = read(readEnd.Get(), buffer, sizeof buffer);
    if (count > 0) {
      if (static_cast<size_t>(count) > MaxBytes - output.size()) {
        tooMuch = true;
        break;
      }
      output.append(buffer, static_cast<size_t>(count));
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  if (tooMuch) {
    // Nothing more is kept: the command and everything it started end here.
    kill(-pid, SIGKILL);
    readEnd.Close();
    WaitForExitCode(pid);
    return std::nullopt;
  }
  WaitForExitCode(pid);
  // Decoded as a whole: a character split between two reads must not turn into two U+FFFD.
  if (IsValidUtf8(output))
    return output;
  return SanitizeUtf8(output);
}

uint32_t TSysUtils::ShellExecAsAdminAndWait([[maybe_unused]] void* OwnerHandle, const std::string& FilePath,
                                            const std::string& Params)
{
  if (FilePath.empty()) {
    RecordErrno(ENOENT);
    return 0;
  }
  std::vector<std::string> args;
  const TGString pkexec(g_find_program_in_path("pkexec"));
  if (pkexec)
    args.emplace_back(pkexec.get());
  // pkexec starts the program in the target user's home folder, so a relative path is made absolute; a
  // bare name is looked up in PATH (by pkexec, or by the start itself).
  args.push_back(FilePath.find('/') != std::string::npos ? AbsolutePath(FilePath) : FilePath);
  if (!SplitArguments(Params, args))
    return 0;
  pid_t pid = 0;
  if (!SpawnProcess(std::move(args), {}, pid))
    return 0;
  return WaitForExitCode(pid);
}

uint32_t TSysUtils::ExecAndWait(const std::string& CommandLine)
{
  std::vector<std::string> args;
  if (!SplitArguments(CommandLine, args))
    return 0;
  pid_t pid = 0;
  if (!SpawnProcess(std::move(args), {}, pid))
    return 0;
  return WaitForExitCode(pid);
}

bool TSysUtils::ExecCmd(const std::string& CMD, bool Wait)
{
  if (!Wait)
    return StartDetached({"/bin/sh", "-c", CMD});
  pid_t pid = 0;
  if (!SpawnProcess({"/bin/sh", "-c", CMD}, {}, pid))
    return false;
  WaitForExitCode(pid);
  return true;
}

bool TSysUtils::RestartApplication()
{
  // Our own arguments, as the kernel keeps them: NUL-terminated strings one after the other.
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\0', start);
    args.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  const std::string exe = GetExeFilePath();
  if (exe.empty()) {
    RecordErrno(ENOENT);
    return false;
  }
  if (args.empty())
    args.emplace_back();
  args.front() = exe;
  return StartDetached(std::move(args));
}

bool TSysUtils::ExitWindows(uint32_t RebootParam)
{
  // A private connection to the bus named by the environment at this moment, never a shared one made
  // earlier: this call must reach exactly the system bus the caller's environment names.
  TGError error;
  const TGString address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, error.Out()));
  if (!address) {
    error.Record();
    return false;
  }
  const TGObject<GDBusConnection> bus(g_dbus_connection_new_for_address_sync(
    address.get(),
    static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
    nullptr, nullptr, error.Out()));
  if (!bus) {
    error.Record();
    return false;
  }

  // "interactive" is false: logind must not stop to ask for a password, and it then goes ahead
  // despite other sessions or inhibitors where policy allows, which is what kEwxForce asks for.
  const char* managerPath = "/org/freedesktop/login1";
  const char* managerInterface = "org.freedesktop.login1.Manager";
  const auto callManager = [&](const char* method) {
    const TGVariant reply =
      CallLogind(bus.get(), managerPath, managerInterface, method, g_variant_new("(b)", FALSE), nullptr);
    return reply != nullptr;
  };
  bool done = false;
  if ((RebootParam & kEwxReboot) != 0)
    done = callManager("Reboot");
  else if ((RebootParam & (kEwxShutdown | kEwxPowerOff)) != 0)
    done = callManager("PowerOff");
  else
    done = TerminateOwnSession(bus.get());
  g_dbus_connection_close_sync(bus.get(), nullptr, nullptr);
  return done;
}

void TSysUtils::GetWindowsCaptions(std::vector<std::string>& List)
{
  List.clear();
  ReadX11WindowTitles(List);
}

namespace {

// Where the lock files of a named object live, without their extension. The user's runtime folder
// is private to the user and emptied at logout; the temporary folder is shared, so the user id goes
// into the name there as well.
std::string NamedMutexBase(const std::string& Name)
{
  std::string folder = EnvValue("XDG_RUNTIME_DIR");
  if (folder.empty() || folder.front() != '/')
    folder = TSysUtils::GetTempDirPath();
  return WithSeparator(folder) + "velmora-" + std::to_string(getuid()) + "-" + EncodeFileNamePart(Name);
}

// O_NOFOLLOW: in a shared folder another user could have planted a link by that name.
int OpenLockFile(const std::string& path)
{
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

} // namespace

TNamedMutexResult TSysUtils::CreateNamedMutex(const std::string& Name)
{
  const std::string base = NamedMutexBase(Name);

  // Like a Windows mutex, the name exists as long as any process holds it, so every caller becomes
  // a holder: each keeps a shared lock on the ".lock" file until it exits, and a caller is the
  // first when it can lock that file exclusively. The ".gate" file is held exclusively around that
  // test, so no second caller can slip in while the first turns its exclusive lock into a shared one
  // (flock does not convert atomically).
  const TFd gate(OpenLockFile(base + ".gate"));
  TFd holder(OpenLockFile(base + ".lock"));
  if (!gate.Valid() || !holder.Valid() || flock(gate.Get(), LOCK_EX) != 0) {
    RecordErrno(errno);
    return TNamedMutexResult::Failed;
  }
  TNamedMutexResult result = TNamedMutexResult::Created;
  if (flock(holder.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) {
      RecordErrno(errno);
      return TNamedMutexResult::Failed;
    }
    RecordErrno(EEXIST);
    result = TNamedMutexResult::AlreadyExists;
  }
  // Only holders' shared locks can stand against this one, so it is granted at once.
  if (flock(holder.Get(), LOCK_SH) != 0) {
    RecordErrno(errno);
    return TNamedMutexResult::Failed;
  }
  // The owner also locks the ".owner" file exclusively, which WatchNamedMutexOwner waits on.
  if (result == TNamedMutexResult::Created) {
    // A watcher holds its shared lock only for an instant, so waiting for this one is short.
    TFd owner(OpenLockFile(base + ".owner"));
    if (owner.Valid() && flock(owner.Get(), LOCK_EX) == 0)
      owner.Release();
  }
  // The descriptors stay open on purpose: their locks last as long as they do, that is until this
  // process exits. The gate closes, and unlocks, on return.
  holder.Release();
  return result;
}

void TSysUtils::WatchNamedMutexOwner(const std::string& Name, std::function<void()> OnEnded)
{
  std::thread([path = NamedMutexBase(Name) + ".owner", OnEnded = std::move(OnEnded)] {
    // A shared lock is granted once the owner's exclusive one has gone with its process. It is let
    // go at once, so it never stands in a later owner's way.
    // Without the file to wait on, nothing is known of the owner, and nothing is reported.
    const TFd owner(OpenLockFile(path));
    if (!owner.Valid())
      return;
    int locked = -1;
    while ((locked = flock(owner.Get(), LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (locked == 0)
      OnEnded();
  }).detach();
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

// ---------------------------------------------------------------- files and folders

bool TSysUtils::ForceDirectories(const std::string& Path)
{
  if (Path.empty()) {
    RecordErrno(ENOENT);
    return false;
  }
  std::error_code error;
  fs::create_directories(Path, error);
  // Checked afterwards, since create_directories reports a trailing "/" or an existing folder unevenly.
  std::error_code ignored;
  if (fs::is_directory(Path, ignored))
    return true;
  if (error)
    RecordError(error);
  else
    RecordErrno(ENOTDIR);
  return false;
}

bool TSysUtils::FileExists(const std::string& Path)
{
  std::error_code ignored;
  const fs::file_status status = fs::status(Path, ignored);
  return fs::exists(status) && !fs::is_directory(status);
}

bool TSysUtils::DirectoryExists(const std::string& Path)
{
  std::error_code ignored;
  return fs::is_directory(Path, ignored);
}

std::string TSysUtils::PathDelimiter() { return "/"; }

std::string TSysUtils::FileUriPathToDiskPath(const std::string& Rest) { return "/" + Rest; }

namespace {

// The process's file creation mask, read without changing it (umask() both reads and sets, which
// would race with other threads creating files).
mode_t CurrentUmask()
{
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

std::string WriteError(const std::string& Path, const std::string& Reason)
{
  return "Cannot write file \"" + Path + "\": " + Reason;
}

} // namespace

TStatus TSysUtils::WriteFileSafely(const std::string& Path, const std::function<TStatus(const TFileSink&)>& Produce,
                                   bool* Opened)
{
  // Refusals below still count as reaching the target; only a temporary file that cannot be made
  // does not.
  if (Opened != nullptr)
    *Opened = true;
  if (Path.empty() || Path.find('\0') != std::string::npos)
    return TError{WriteError(Path, "the path is empty or holds a NUL character")};
  // Through a link to the file it names, so the link stays a link.
  std::string target = Path;
  std::error_code error;
  if (fs::is_symlink(fs::path(target), error)) {
    const fs::path resolved = fs::weakly_canonical(fs::path(target), error);
    if (error)
      return TError{WriteError(Path, error.message())};
    target = resolved.string();
  }
  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode))
    return TError{WriteError(Path, "it is not a regular file")};

  const fs::path file(target);
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    if (Opened != nullptr)
      *Opened = false;
    return TError{WriteError(Path, g_strerror(errno))};
  }
  TFd temp(fd);
  const std::string tempPath = pattern;
  const auto fail = [&tempPath](std::string message) {
    unlink(tempPath.c_str());
    return TError{std::move(message)};
  };
  // mkstemp makes the file private; it gets the permissions the file had, or a new file's usual ones.
  const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (fchmod(temp.Get(), mode) != 0)
    return fail(WriteError(Path, g_strerror(errno)));

  const TFileSink sink = [&temp, &Path](std::string_view Bytes) -> TStatus {
    while (!Bytes.empty()) {
      const ssize_t written = write(temp.Get(), Bytes.data(), Bytes.size());
      if (written < 0) {
        if (errno == EINTR)
          continue;
        return TError{WriteError(Path, g_strerror(errno))};
      }
      Bytes.remove_prefix(static_cast<size_t>(written));
    }
    return {};
  };
  if (const TStatus produced = Produce(sink); !produced)
    return fail(produced.Error());
  // On the disk before it takes the old file's place, so a crash never leaves a cut-off file.
  if (fsync(temp.Get()) != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  const int closeResult = close(temp.Get());
  temp.Release();
  if (closeResult != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  if (rename(tempPath.c_str(), target.c_str()) != 0)
    return fail(WriteError(Path, g_strerror(errno)));
  return {};
}

bool TSysUtils::DeleteDirectory(const std::string& DirPath)
{
  // Without trailing separators: "link/" would resolve the link and empty the folder it points to,
  // where "link" removes only the link.
  std::string path = DirPath;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  if (path == "/") {
    // The separator alone is what the folder functions give for a folder they cannot name.
    RecordErrno(EBUSY);
    return false;
  }
  std::error_code error;
  const std::uintmax_t removed = fs::remove_all(path, error);
  if (error) {
    RecordError(error);
    return false;
  }
  if (removed == 0) {
    RecordErrno(ENOENT);
    return false;
  }
  return true;
}

bool TSysUtils::CopyFile(const std::string& From, const std::string& To)
{
  std::error_code error;
  fs::copy_file(From, To, fs::copy_options::overwrite_existing, error);
  if (error)
    RecordError(error);
  return !error;
}

bool TSysUtils::CopyDirectory(const std::string& From, const std::string& To)
{
  std::error_code error;
  if (!fs::is_directory(From, error)) {
    RecordErrno(error ? error.value() : ENOTDIR);
    return false;
  }
  fs::create_directories(To, error);
  const fs::copy_options options =
    fs::copy_options::recursive | fs::copy_options::overwrite_existing | fs::copy_options::copy_symlinks;
  if (!error)
    fs::copy(From, To, options, error);
  if (error)
    RecordError(error);
  return !error;
}

int64_t TSysUtils::GetSizeOfFile(const std::string& FilePath)
{
  // Any kind of entry counts, as a directory search finds it; a folder holds no bytes of its own
  // (its st_size is the file system's bookkeeping), so it counts 0, as Windows reports folders.
  struct stat info {};
  if (FilePath.find('\0') != std::string::npos || stat(FilePath.c_str(), &info) != 0)
    return -1;
  return S_ISDIR(info.st_mode) ? 0 : static_cast<int64_t>(info.st_size);
}

std::string TSysUtils::ExpandFileNameRelBaseDir(const std::string& FileName, const std::string& BaseDir)
{
  fs::path path(FileName);
  if (path.is_relative())
    path = fs::path(BaseDir) / path;
  if (path.is_relative()) {
    std::error_code ignored;
    const fs::path absolute = fs::absolute(path, ignored);
    if (!ignored)
      path = absolute;
  }
  return path.lexically_normal().native();
}

bool TSysUtils::IsValidFilePath(const std::string& Path)
{
  // Linux allows every byte but NUL; what it limits are the lengths.
  if (Path.empty() || Path.size() >= PATH_MAX || Path.find('\0') != std::string::npos)
    return false;
  size_t start = 0;
  while (start < Path.size()) {
    const size_t end = std::min(Path.find('/', start), Path.size());
    if (end - start > NAME_MAX)
      return false;
    start = end + 1;
  }
  return true;
}

bool TSysUtils::FilesHaveSameDateTime(const std::string& FilePath1, const std::string& FilePath2)
{
  std::error_code error1;
  std::error_code error2;
  if (!fs::is_regular_file(FilePath1, error1) || !fs::is_regular_file(FilePath2, error2))
    return false;
  const fs::file_time_type time1 = fs::last_write_time(FilePath1, error1);
  const fs::file_time_type time2 = fs::last_write_time(FilePath2, error2);
  return !error1 && !error2 && time1 == time2;
}

bool TSysUtils::RemoveUTFBoomFromFile(const std::string& FilePath)
{
  std::ifstream in(FilePath, std::ios::binary);
  if (!in) {
    RecordErrno(errno != 0 ? errno : ENOENT);
    return false;
  }
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  if (!content.starts_with("\xEF\xBB\xBF"))
    return true;
  std::ofstream out(FilePath, std::ios::binary | std::ios::trunc);
  out.write(content.data() + 3, static_cast<std::streamsize>(content.size() - 3));
  out.close();
  if (!out) {
    RecordErrno(errno != 0 ? errno : EIO);
    return false;
  }
  return true;
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
  passwd entry {};
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
