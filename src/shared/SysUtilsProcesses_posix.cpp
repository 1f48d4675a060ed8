// Linux implementation of TSysUtils: processes, the shell, desktop handlers and logind. Programs
// start through posix_spawn (only the standard descriptors reach them), documents and addresses
// go to the desktop's handlers through GIO, folders to the file manager over D-Bus.
#include "SysUtils.h"
#include "SysUtils_posix.h"
#include "TextCodec.h"

#include <gio/gio.h>
#include <glib.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora {

using namespace posix;

namespace {

// How long a D-Bus call may take before it counts as failed: a file manager that D-Bus has to start
// first needs a moment, but nothing here may hang.
constexpr int kDBusTimeoutMs = 5000;

// Windows' EWX_POWEROFF, which asks for the same as kEwxShutdown here.
constexpr uint32_t kEwxPowerOff = 8;

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
    RecordError(error);
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
    RecordError(error);
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

// The exit code of an ended child's status; a child killed by a signal gives 128 + the signal's
// number, as shells report it.
uint32_t ExitCodeOf(int status)
{
  if (WIFEXITED(status))
    return static_cast<uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return 128U + static_cast<uint32_t>(WTERMSIG(status));
  return 0;
}

// Waits for a child to end and gives its exit code (ExitCodeOf).
uint32_t WaitForExitCode(pid_t pid)
{
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      RecordErrno(errno);
      return 0;
    }
  }
  return ExitCodeOf(status);
}

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
  return start.starts_with("\x7F"
                           "ELF") ||
         start.starts_with("#!");
}

// ---------------------------------------------------------------- desktop handlers and D-Bus

// Hands a URI to the desktop's default handler for its type or scheme.
bool LaunchDefaultForUri(const char* uri)
{
  TGError error;
  if (!g_app_info_launch_default_for_uri(uri, nullptr, error.Out())) {
    RecordError(error);
    return false;
  }
  return true;
}

bool LaunchDefaultForPath(const std::string& absolutePath)
{
  TGError error;
  const TGString uri(g_filename_to_uri(absolutePath.c_str(), nullptr, error.Out()));
  if (!uri) {
    RecordError(error);
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
    RecordError(error);
    return false;
  }
  const TGObject<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.Out()));
  if (!bus) {
    RecordError(error);
    return false;
  }
  const gchar* const uris[] = {uri.get(), nullptr};
  const TGVariant reply(g_dbus_connection_call_sync(
    bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", method,
    g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, kDBusTimeoutMs, nullptr, error.Out()));
  if (!reply) {
    RecordError(error);
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
                                              parameters, replyType, G_DBUS_CALL_FLAGS_NONE, kDBusTimeoutMs, nullptr,
                                              error.Out()));
  if (!reply)
    RecordError(error);
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

} // namespace

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

bool TSysUtils::StartProcess(const std::vector<std::string>& Args, TChildProcess& Child)
{
  pid_t pid = 0;
  if (!SpawnProcess(Args, {}, pid))
    return false;
  Child.Id = pid;
  return true;
}

std::optional<uint32_t> TSysUtils::WaitProcess(TChildProcess& Child, int TimeoutMs)
{
  if (Child.Id == 0)
    return std::nullopt;
  const auto pid = static_cast<pid_t>(Child.Id);
  if (TimeoutMs < 0) {
    Child.Id = 0;
    return WaitForExitCode(pid);
  }
  // Polled: waitpid has no timeout, and a signal handler would be the whole process's.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      Child.Id = 0;
      return ExitCodeOf(status);
    }
    if (ended < 0 && errno != EINTR) {
      Child.Id = 0;
      return 0U;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TSysUtils::StopProcess(TChildProcess& Child)
{
  if (Child.Id == 0)
    return;
  kill(static_cast<pid_t>(Child.Id), SIGTERM);
  if (!WaitProcess(Child, 3000)) {
    kill(static_cast<pid_t>(Child.Id), SIGKILL);
    WaitProcess(Child, -1);
  }
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
    RecordError(error);
    return false;
  }
  const TGObject<GDBusConnection> bus(g_dbus_connection_new_for_address_sync(
    address.get(),
    static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
    nullptr, nullptr, error.Out()));
  if (!bus) {
    RecordError(error);
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

} // namespace velmora
