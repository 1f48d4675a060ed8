// Unit tests of TSysUtils: command output, special folders, the single-instance lock, files and folders, the shell.
#include "SysUtils.h"

#include "support/ScopedEnv.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// <windows.h> renames these two members of TSysUtils with its macros.
#undef CopyFile
#undef ExitWindows
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::PathOf;
using test::ReadFile;
using test::TTempDir;
using test::Utf8;
using test::WriteFile;

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

using test::TScopedEnv;

// Runs an operation that must fail on a new thread, whose last error starts out empty, and returns the
// message it left there: a message left over from an earlier test cannot answer for it.
template <class F>
std::string FailureMessageOf(F operation)
{
  bool result = true;
  std::string message;
  std::thread([&] {
    result = operation();
    message = TSysUtils::GetLastErrorMessage();
  }).join();
  EXPECT_FALSE(result);
  return message;
}

// A path of the temporary folder with the platform's separators, as the listing functions give it.
std::string Native(const std::string& path) { return Utf8(PathOf(path).make_preferred()); }

// Waits up to ten seconds for a file that a started program writes.
bool WaitForFile(const std::string& path)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(PathOf(path))) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string UniqueName(const std::string& prefix)
{
  std::random_device seed;
  return prefix + std::to_string(seed()) + std::to_string(seed());
}

// ---------------------------------------------------------------- GetDosOutput

struct TOutputCase {
  const char* Name;
  std::string Command;
  std::string Expected;
};

#ifndef _WIN32

TEST(SysUtilsDosOutput, ReturnsWhatTheCommandWrote)
{
  std::string lines;
  for (int i = 0; i < 20000; ++i)
    lines += "0123456789\n";
  const TOutputCase cases[] = {
    {"standard output and error interleave in order", "echo a; echo b >&2; echo c", "a\nb\nc\n"},
    {"quotes and backslashes reach the shell unchanged", R"(printf '%s\n' "say \"hi\"" 'back\slash' "a\\b")",
     "say \"hi\"\nback\\slash\na\\b\n"},
    {"a character split between two writes", R"(printf '\303'; sleep 0.2; printf '\251\n')", "\xC3\xA9\n"},
    {"a four-byte character in four writes",
     R"(printf '\360'; sleep 0.1; printf '\237'; sleep 0.1; printf '\230'; sleep 0.1; printf '\200')",
     "\xF0\x9F\x98\x80"},
    {"invalid bytes become U+FFFD", R"(printf 'a\377b\300')",
     "a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD"},
    {"more than a pipe holds", "i=0; while [ $i -lt 20000 ]; do echo 0123456789; i=$((i+1)); done", lines},
    {"the exit status does not matter", "echo x; exit 3", "x\n"},
    {"no output", "true", ""},
  };
  for (const TOutputCase& c : cases)
    EXPECT_EQ(TSysUtils::GetDosOutput(c.Command, "", false), c.Expected) << c.Name;
}

TEST(SysUtilsDosOutput, ChildReadsNothingFromOurInput)
{
  // Our standard input holds text here, whatever the test runner gave us; the command must not see it.
  // It stays on /dev/null afterwards: no test reads it.
  TTempDir dir;
  WriteFile(dir.File("input.txt"), "ours\n");
  ASSERT_NE(std::freopen(dir.File("input.txt").c_str(), "r", stdin), nullptr);
  const std::string output = TSysUtils::GetDosOutput("cat; readlink /proc/self/fd/0", "", false);
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  EXPECT_EQ(output, "/dev/null\n");
}

TEST(SysUtilsDosOutput, ChildGetsOnlyTheStandardDescriptors)
{
  // A descriptor opened without O_CLOEXEC, as other code in the process may hold one.
  TTempDir dir;
  WriteFile(dir.File("held.txt"), "x");
  std::FILE* held = std::fopen(dir.File("held.txt").c_str(), "r");
  ASSERT_NE(held, nullptr);
  // "; true" keeps the shell from replacing itself by ls, so ls lists the shell's descriptors.
  EXPECT_EQ(TSysUtils::GetDosOutput("ls /proc/$$/fd; true", "", false), "0\n1\n2\n");
  std::fclose(held);
}

TEST(SysUtilsDosOutput, RunsInTheWorkingFolder)
{
  TTempDir dir;
  const std::string folder = Utf8(fs::canonical(dir.Path()));
  EXPECT_EQ(TSysUtils::GetDosOutput("pwd -P", folder, false), folder + "\n");
  EXPECT_EQ(TSysUtils::GetDosOutput("pwd -P", "", false), Utf8(fs::canonical(fs::current_path())) + "\n");
}

TEST(SysUtilsDosOutput, ReturnsAfterTheCommandHasEnded)
{
  // The command closes its output early and goes on working: the call must wait for it all the same.
  TTempDir dir;
  const std::string marker = dir.File("done");
  EXPECT_EQ(TSysUtils::GetDosOutput("echo early; exec >&- 2>&-; sleep 0.3; touch '" + marker + "'", "", false),
            "early\n");
  EXPECT_TRUE(fs::exists(PathOf(marker)));
}

TEST(SysUtilsDosOutput, OutputPastTheCeilingEndsTheCommandAndAllItStarted)
{
  TTempDir dir;
  const std::string marker = dir.File("survived");
  // "yes" never ends by itself, and a child of the shell keeps a copy of the pipe: both must go.
  const auto endless = TSysUtils::GetDosOutputLimited("(sleep 1; touch '" + marker + "') & yes", "", false, 1 << 20);
  EXPECT_FALSE(endless);
  const auto small = TSysUtils::GetDosOutputLimited("printf 12345", "", false, 5);
  ASSERT_TRUE(small);
  EXPECT_EQ(*small, "12345");
  EXPECT_FALSE(TSysUtils::GetDosOutputLimited("printf 123456", "", false, 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(fs::exists(PathOf(marker))) << "a process the command started lived on";
}

#else

TEST(SysUtilsDosOutput, ReturnsWhatTheCommandWrote)
{
  const TOutputCase cases[] = {
    {"standard output and error interleave in order", "(echo a)&(echo b>&2)&(echo c)", "a\r\nb\r\nc\r\n"},
    {"no output", "rem", ""},
  };
  for (const TOutputCase& c : cases)
    EXPECT_EQ(TSysUtils::GetDosOutput(c.Command, "", false), c.Expected) << c.Name;
}

TEST(SysUtilsDosOutput, RunsInTheWorkingFolder)
{
  TTempDir dir;
  EXPECT_EQ(TSysUtils::GetDosOutput("cd", Utf8(dir.Path()), false), Utf8(dir.Path()) + "\r\n");
}

#endif

TEST(SysUtilsDosOutput, MissingWorkingFolderRunsNothing)
{
  TTempDir dir;
  const std::string marker = dir.File("ran");
  std::string output = "unset";
  const std::string message = FailureMessageOf([&] {
    output = TSysUtils::GetDosOutput("echo ran> \"" + marker + "\"", dir.File("missing"), false);
    return !output.empty();
  });
  EXPECT_EQ(output, "");
  EXPECT_FALSE(fs::exists(PathOf(marker)));
  EXPECT_FALSE(message.empty());
}

TEST(SysUtilsDosOutput, ThreadsRunCommandsAtTheSameTime)
{
  constexpr size_t kThreads = 6;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < kThreads; ++i) {
    // clang-format off
    threads.emplace_back([&results, i] {
      const std::string n = std::to_string(i);
#ifdef _WIN32
      // "[n]" and not "n": cmd would read "1>&2" as a redirection of handle 1.
      results[i] = TSysUtils::GetDosOutput("(echo start [" + n + "])&(echo end [" + n + "]>&2)", "", false);
#else
      results[i] = TSysUtils::GetDosOutput("echo start " + n + "; sleep 0.2; echo end " + n + " >&2", "", false);
#endif
    });
    // clang-format on
  }
  for (std::thread& thread : threads)
    thread.join();
  for (size_t i = 0; i < kThreads; ++i) {
#ifdef _WIN32
    const std::string n = "[" + std::to_string(i) + "]";
    EXPECT_EQ(results[i], "start " + n + "\r\nend " + n + "\r\n");
#else
    const std::string n = std::to_string(i);
    EXPECT_EQ(results[i], "start " + n + "\nend " + n + "\n");
#endif
  }
}

// ---------------------------------------------------------------- special folders

TEST(SysUtilsFolders, EveryFolderEndsWithTheSeparator)
{
  const struct {
    const char* Name;
    std::string (*Get)();
    // clang-format off
  } folders[] = {
    {"desktop", &TSysUtils::GetUserDesktopDirPath},     {"documents", &TSysUtils::GetUserDocumentsDirPath},
    {"app data", &TSysUtils::GetUserAppDataDirPath},    {"local app data", &TSysUtils::GetLocalAppDataDirPath},
    {"program files", &TSysUtils::GetProgramFilesDirPath}, {"system apps", &TSysUtils::GetSystemAppsDirPath},
    {"temp", &TSysUtils::GetTempDirPath},
  };
  // clang-format on
  for (const auto& folder : folders) {
    const std::string path = folder.Get();
    ASSERT_FALSE(path.empty()) << folder.Name;
    EXPECT_EQ(path.back(), kSeparator) << folder.Name << ": " << path;
    EXPECT_EQ(path.find(std::string(2, kSeparator), 1), std::string::npos) << folder.Name << ": " << path;
  }
#ifdef _WIN32
  const std::string systemApps = TSysUtils::GetSystemAppsDirPath();
  EXPECT_TRUE(systemApps.ends_with("\\SystemApps\\")) << systemApps;
#endif
}

#ifndef _WIN32

TEST(SysUtilsFolders, FollowTheEnvironmentAtEachCall)
{
  const struct {
    const char* Name;
    std::string (*Get)();
    const char* Variable;
    std::optional<std::string> Value;
    std::string Expected;
  } cases[] = {
    {"config set", &TSysUtils::GetUserAppDataDirPath, "XDG_CONFIG_HOME", "/x/config", "/x/config/"},
    {"config with separator", &TSysUtils::GetUserAppDataDirPath, "XDG_CONFIG_HOME", "/x/config/", "/x/config/"},
    {"config unset", &TSysUtils::GetUserAppDataDirPath, "XDG_CONFIG_HOME", std::nullopt, "/home/tester/.config/"},
    {"config relative", &TSysUtils::GetUserAppDataDirPath, "XDG_CONFIG_HOME", "rel/config", "/home/tester/.config/"},
    {"data set", &TSysUtils::GetLocalAppDataDirPath, "XDG_DATA_HOME", "/x/data", "/x/data/"},
    {"data unset", &TSysUtils::GetLocalAppDataDirPath, "XDG_DATA_HOME", std::nullopt, "/home/tester/.local/share/"},
    {"data empty", &TSysUtils::GetLocalAppDataDirPath, "XDG_DATA_HOME", "", "/home/tester/.local/share/"},
    {"temp set", &TSysUtils::GetTempDirPath, "TMPDIR", "/x/tmp", "/x/tmp/"},
    {"temp unset", &TSysUtils::GetTempDirPath, "TMPDIR", std::nullopt, "/tmp/"},
    {"temp empty", &TSysUtils::GetTempDirPath, "TMPDIR", "", "/tmp/"},
  };
  const TScopedEnv home("HOME", "/home/tester");
  for (const auto& c : cases) {
    const TScopedEnv variable(c.Variable, c.Value);
    EXPECT_EQ(c.Get(), c.Expected) << c.Name;
  }
}

#else

TEST(SysUtilsFolders, TempFolderFollowsTheEnvironment)
{
  TTempDir dir;
  const TScopedEnv tmp("TMP", Utf8(dir.Path()));
  EXPECT_EQ(TSysUtils::GetTempDirPath(), Utf8(dir.Path()) + "\\");
}

#endif

// ---------------------------------------------------------------- CreateNamedMutex

TEST(SysUtilsNamedMutex, SecondLockOfTheSameNameIsRefused)
{
  TTempDir runtime;
#ifndef _WIN32
  const TScopedEnv runtimeDir("XDG_RUNTIME_DIR", Utf8(runtime.Path()));
#endif
  const std::string name = UniqueName("velmora-test-");
  EXPECT_EQ(TSysUtils::CreateNamedMutex(name), TNamedMutexResult::Created);
  EXPECT_EQ(TSysUtils::CreateNamedMutex(name), TNamedMutexResult::AlreadyExists);

  // Names that a careless mapping onto file names would merge with the first or with each other.
  const std::string suffixes[] = {"/x", "_x", "%2Fx", "%x", ".x", " x", "\xC3\xA9"};
  for (const std::string& suffix : suffixes)
    EXPECT_EQ(TSysUtils::CreateNamedMutex(name + suffix), TNamedMutexResult::Created) << suffix;
#ifndef _WIN32
  // A lock file, its gate and the owner's file for each name.
  const auto files = std::distance(fs::directory_iterator(runtime.Path()), fs::directory_iterator());
  EXPECT_EQ(files, static_cast<std::ptrdiff_t>(3 * (std::size(suffixes) + 1)));
#endif
}

#ifndef _WIN32
TEST(SysUtilsNamedMutex, OwnerWatchReportsWhenTheOwningProcessEnds)
{
  TTempDir runtime;
  const TScopedEnv runtimeDir("XDG_RUNTIME_DIR", Utf8(runtime.Path()));
  const std::string name = UniqueName("velmora-test-");
  // The owner is a child process that holds the name until its pipe closes.
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    close(ready[0]);
    close(release[1]);
    const char created = TSysUtils::CreateNamedMutex(name) == TNamedMutexResult::Created ? 'c' : 'x';
    char ignored = 0;
    if (write(ready[1], &created, 1) == 1)
      (void)!read(release[0], &ignored, 1);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char created = 0;
  ASSERT_EQ(read(ready[0], &created, 1), 1);
  ASSERT_EQ(created, 'c');
  EXPECT_EQ(TSysUtils::CreateNamedMutex(name), TNamedMutexResult::AlreadyExists);

  std::promise<void> ended;
  TSysUtils::WatchNamedMutexOwner(name, [&ended] { ended.set_value(); });
  auto endedFuture = ended.get_future();
  EXPECT_EQ(endedFuture.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
    << "reported while the owner still runs";
  close(release[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(endedFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  close(ready[0]);

  // A watch that starts after the owner has gone reports at once; this process, which only holds
  // the name, never became its owner.
  std::promise<void> late;
  TSysUtils::WatchNamedMutexOwner(name, [&late] { late.set_value(); });
  EXPECT_EQ(late.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
#endif

#ifndef _WIN32
TEST(SysUtilsNamedMutex, UnusableFolderFails)
{
  TTempDir dir;
  const TScopedEnv runtimeDir("XDG_RUNTIME_DIR", dir.File("missing"));
  TNamedMutexResult result = TNamedMutexResult::Created;
  const std::string message = FailureMessageOf([&] {
    result = TSysUtils::CreateNamedMutex("velmora-test");
    return result != TNamedMutexResult::Failed;
  });
  EXPECT_EQ(result, TNamedMutexResult::Failed);
  EXPECT_FALSE(message.empty());
}
#endif

// ---------------------------------------------------------------- DeleteDirectory

TEST(SysUtilsDeleteDirectory, RemovesATreeButNothingItsLinksPointTo)
{
  TTempDir dir;
  WriteFile(dir.File("tree/a.txt"), "a");
  WriteFile(dir.File("tree/sub/deeper/b.txt"), "b");
  WriteFile(dir.File("outside/keep.txt"), "keep");
#ifndef _WIN32
  fs::create_directory_symlink(dir.Path() / "outside", dir.Path() / "tree" / "link");
  fs::create_directory_symlink(dir.Path() / "outside", dir.Path() / "top-link");
  // Given with a separator, a link must still go as a link, not as the folder it points to.
  EXPECT_TRUE(TSysUtils::DeleteDirectory(dir.File("top-link") + "/"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path() / "top-link")));
#endif
  // With a trailing separator, as the folder functions return folders.
  EXPECT_TRUE(TSysUtils::DeleteDirectory(dir.File("tree") + kSeparator));
  EXPECT_FALSE(fs::exists(dir.Path() / "tree"));
  EXPECT_EQ(ReadFile(dir.File("outside/keep.txt")), "keep");

  WriteFile(dir.File("single.txt"), "x");
  EXPECT_TRUE(TSysUtils::DeleteDirectory(dir.File("single.txt")));
  EXPECT_FALSE(fs::exists(dir.Path() / "single.txt"));

  EXPECT_FALSE(FailureMessageOf([&] { return TSysUtils::DeleteDirectory(dir.File("tree")); }).empty());
}

// ---------------------------------------------------------------- shell

TEST(SysUtilsShell, MissingFileFailsWithAMessage)
{
  TTempDir dir;
  const std::string missing = dir.File("missing.txt");
  EXPECT_FALSE(FailureMessageOf([&] { return TSysUtils::ShellOpen(missing); }).empty());
  EXPECT_FALSE(FailureMessageOf([&] { return TSysUtils::ShellExec(missing, "a b"); }).empty());
}

#ifndef _WIN32

TEST(SysUtilsShell, StartsAnExecutableWithArgumentsSplitAsAShellWould)
{
  TTempDir dir;
  const std::string script = dir.File("report.sh");
  const std::string report = script + ".out";
  // Writes its argument count and arguments, one a line, and renames the file only once it is complete.
  WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
  fs::permissions(PathOf(script), fs::perms::owner_all, fs::perm_options::add);

  const struct {
    std::string Arguments;
    std::string Expected;
  } cases[] = {
    {"", "0\n"},
    {"'two words' x", "2\ntwo words\nx\n"},
    {R"("a \"b\"" c\ d)", "2\na \"b\"\nc d\n"},
    {"  spaced   out  ", "2\nspaced\nout\n"},
  };
  for (const auto& c : cases) {
    fs::remove(PathOf(report));
    ASSERT_TRUE(TSysUtils::ShellExec(script, c.Arguments)) << c.Arguments << ": " << TSysUtils::GetLastErrorMessage();
    ASSERT_TRUE(WaitForFile(report)) << c.Arguments;
    EXPECT_EQ(ReadFile(report), c.Expected) << c.Arguments;
  }

  // Arguments that cannot be split start nothing.
  fs::remove(PathOf(report));
  EXPECT_FALSE(FailureMessageOf([&] { return TSysUtils::ShellExec(script, "'unterminated"); }).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(PathOf(report)));
}

TEST(SysUtilsShell, ExecAndWaitReturnsTheExitCode)
{
  const struct {
    std::string CommandLine;
    uint32_t Expected;
  } cases[] = {
    {"/bin/sh -c 'exit 7'", 7},
    {"sh -c 'exit 0'", 0},
    {"/bin/sh -c 'kill -TERM $$'", 128 + 15},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TSysUtils::ExecAndWait(c.CommandLine), c.Expected) << c.CommandLine;
  EXPECT_FALSE(FailureMessageOf([] { return TSysUtils::ExecAndWait("/no/such/program") != 0; }).empty());
}

TEST(SysUtilsWindowsCaptions, EmptyWithoutADisplay)
{
  const TScopedEnv display("DISPLAY", std::nullopt);
  std::vector<std::string> list = {"left over"};
  TSysUtils::GetWindowsCaptions(list);
  EXPECT_TRUE(list.empty());
}

TEST(SysUtilsExitWindows, FailsWithAMessageWithoutASystemBus)
{
  // The address names a socket that does not exist, and the call connects to exactly the address the
  // environment gives, so nothing here can reach a real logind.
  TTempDir dir;
  const std::string socket = dir.File("no-such-socket");
  ASSERT_FALSE(fs::exists(PathOf(socket)));
  const TScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket);
  const uint32_t requests[] = {TSysUtils::kEwxLogoff, TSysUtils::kEwxReboot, TSysUtils::kEwxShutdown};
  for (const uint32_t request : requests) {
    const uint32_t flags = request | TSysUtils::kEwxForce;
    EXPECT_FALSE(FailureMessageOf([flags] { return TSysUtils::ExitWindows(flags); }).empty()) << flags;
  }
}

#else

TEST(SysUtilsShell, StartsAProgramWithArguments)
{
  TTempDir dir;
  const std::string marker = dir.File("marker.txt");
  ASSERT_TRUE(TSysUtils::ShellExec("cmd.exe", "/C echo started> \"" + marker + "\""))
    << TSysUtils::GetLastErrorMessage();
  ASSERT_TRUE(WaitForFile(marker));
}

TEST(SysUtilsShell, AdminWaitEndsWithTheProgramOrWhenTheApplicationQuits)
{
  // Wine has no elevation prompt: "runas" starts the program directly.
  EXPECT_EQ(TSysUtils::ShellExecAsAdminAndWait(nullptr, "cmd.exe", "/C exit 7"), 7U);
  // A quit request ends the wait with STILL_ACTIVE while the program runs on, and stays queued
  // for the application's own loop.
  PostQuitMessage(3);
  EXPECT_EQ(TSysUtils::ShellExecAsAdminAndWait(nullptr, "cmd.exe", "/C ping -n 3 127.0.0.1 >nul"), 259U);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3U);
  EXPECT_EQ(TSysUtils::ShellExecAsAdminAndWait(nullptr, "C:\\no\\such\\program.exe", ""), 0U);
}

TEST(SysUtilsEngine, MissingLoaderLibraryMeansNotInstalled)
{
  TTempDir dir;
  EXPECT_FALSE(TSysUtils::CheckEdgeIsInstalled(dir.File("WebView2Loader.dll")));
  EXPECT_TRUE(TSysUtils::UsesEngineLoaderLibrary());
}

TEST(SysUtilsEngine, EnvironmentReachesChildProcesses)
{
  const TScopedEnv userData("WEBVIEW2_USER_DATA_FOLDER", std::nullopt);
  const TScopedEnv arguments("WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", std::nullopt);
  const TScopedEnv folder("WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", "C:\\elsewhere");
  const TScopedEnv channel("WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", "1");
  TSysUtils::SetEngineEnvironment("C:\\data\\WebView");
  // cmd leaves an unset variable's %NAME% as it is.
  EXPECT_EQ(TSysUtils::GetDosOutput("echo [%WEBVIEW2_USER_DATA_FOLDER%][%WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS%]"
                                    "[%WEBVIEW2_BROWSER_EXECUTABLE_FOLDER%][%WEBVIEW2_RELEASE_CHANNEL_PREFERENCE%]",
                                    "", false),
            "[C:\\data\\WebView][--disable-logging --disable-features=RendererCodeIntegrity "
            "--enable-features=msSpeechRecognition][%WEBVIEW2_BROWSER_EXECUTABLE_FOLDER%]"
            "[%WEBVIEW2_RELEASE_CHANNEL_PREFERENCE%]\r\n");
}

TEST(SysUtilsWindowsCaptions, LeavesOutBlankTitles)
{
  std::vector<std::string> list = {"left over"};
  TSysUtils::GetWindowsCaptions(list);
  for (const std::string& title : list)
    EXPECT_TRUE(std::any_of(title.begin(), title.end(), [](char c) { return static_cast<unsigned char>(c) > ' '; }))
      << title;
  EXPECT_EQ(std::count(list.begin(), list.end(), "left over"), 0);
}

#endif

// ---------------------------------------------------------------- paths

struct TTextCase {
  std::string Input;
  std::string Expected;
};

TEST(SysUtilsPaths, FileUriPathToDiskPath)
{
#ifdef _WIN32
  const TTextCase cases[] = {{"C:/Users/x.png", "C:/Users/x.png"}, {"D:/a%20b/c", "D:/a%20b/c"}};
#else
  const TTextCase cases[] = {{"home/u/x.png", "/home/u/x.png"}, {"", "/"}, {"tmp/a b", "/tmp/a b"}};
#endif
  for (const TTextCase& c : cases)
    EXPECT_EQ(TSysUtils::FileUriPathToDiskPath(c.Input), c.Expected) << c.Input;
}

TEST(SysUtilsPaths, GetParentDirPath)
{
#ifdef _WIN32
  const TTextCase cases[] = {
    {"C:\\a\\b", "C:\\a\\"}, {"C:\\a\\b\\", "C:\\a\\"}, {"C:\\a", "C:\\"}, {"C:\\", "C:\\"}, {"C:/a/b", "C:\\a\\"},
  };
#else
  const TTextCase cases[] = {
    {"/a/b/c", "/a/b/"}, {"/a/b/c/", "/a/b/"}, {"/a", "/"}, {"/", "/"}, {"/a/./b/../c", "/a/"}, {"", "/"},
  };
#endif
  for (const TTextCase& c : cases)
    EXPECT_EQ(TSysUtils::GetParentDirPath(c.Input), c.Expected) << c.Input;
  // A relative path is taken from the current folder.
  const std::string current = Utf8(fs::current_path());
  EXPECT_EQ(TSysUtils::GetParentDirPath("a"), current + kSeparator);
  EXPECT_EQ(TSysUtils::GetParentDirPath("a" + std::string(1, kSeparator) + "b"),
            current + kSeparator + "a" + kSeparator);
}

TEST(SysUtilsPaths, ExpandFileNameRelBaseDir)
{
  const struct {
    std::string FileName;
    std::string BaseDir;
    std::string Expected;
  } cases[] = {
#ifdef _WIN32
    {"b.txt", "C:\\base\\dir", "C:\\base\\dir\\b.txt"},
    {"..\\b.txt", "C:\\base\\dir", "C:\\base\\b.txt"},
    {"sub/x.txt", "C:\\base", "C:\\base\\sub\\x.txt"},
    {"D:\\abs\\.\\f", "C:\\base", "D:\\abs\\f"},
#else
    {"b.txt", "/base/dir", "/base/dir/b.txt"},
    {"../b.txt", "/base/dir", "/base/b.txt"},
    {"./x/../y", "/base", "/base/y"},
    {"/abs/./f", "/base", "/abs/f"},
#endif
  };
  for (const auto& c : cases)
    EXPECT_EQ(TSysUtils::ExpandFileNameRelBaseDir(c.FileName, c.BaseDir), c.Expected) << c.FileName;
}

TEST(SysUtilsPaths, IsValidFilePath)
{
  using namespace std::string_literals;
  const struct {
    std::string Path;
    bool Valid;
  } cases[] = {
    {"", false},
    {"a\0b"s, false},
#ifdef _WIN32
    {"C:\\a\\b.txt", true},
    {"C:\\a?b", false},
    {"C:\\a<b>", false},
    {"C:\\a|b", false},
    {"C:\\a\"b", false},
    {"C:\\a\x01"
     "b",
     false},
    {"ab:c", false},
    {"a:b", true}, // drive A:, relative to its current folder
    {"C:\\con", false},
    {"C:\\dir\\LPT1.txt", false},
    {"C:\\console", true},
    {"\\\\?\\C:\\x", true},
#else
    {"/a/b", true}, {"a:b?*<>|\\", true}, {"/" + std::string(255, 'x'), true}, {"/" + std::string(256, 'x'), false},
#endif
  };
  for (const auto& c : cases)
    EXPECT_EQ(TSysUtils::IsValidFilePath(c.Path), c.Valid) << ::testing::PrintToString(c.Path);
}

TEST(SysUtilsPaths, FormatByteSize)
{
  const struct {
    int64_t Bytes;
    std::string Expected;
    // clang-format off
  } cases[] = {
    {0, "0 bytes"},         {1024, "1024 bytes"},     {1025, "1 KB"},         {1126, "1.1 KB"},
    {1536, "1.5 KB"},       {1048576, "1024 KB"},     {1234567, "1.18 MB"},   {1572864, "1.5 MB"},
    {1073741824, "1024 MB"}, {1610612736, "1.5 GB"}, {5497558138880, "5120 GB"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(TSysUtils::FormatByteSize(c.Bytes), c.Expected) << c.Bytes;
}

// ---------------------------------------------------------------- files and folders

TEST(SysUtilsFiles, ExistenceAndCreation)
{
  TTempDir dir;
  WriteFile(dir.File("file.txt"), "x");
  EXPECT_TRUE(TSysUtils::FileExists(dir.File("file.txt")));
  EXPECT_FALSE(TSysUtils::DirectoryExists(dir.File("file.txt")));
  EXPECT_FALSE(TSysUtils::FileExists(Utf8(dir.Path())));
  EXPECT_TRUE(TSysUtils::DirectoryExists(Utf8(dir.Path())));
  EXPECT_FALSE(TSysUtils::FileExists(dir.File("missing")));
  EXPECT_FALSE(TSysUtils::DirectoryExists(dir.File("missing")));

  const std::string nested = dir.File("a/b/c");
  EXPECT_TRUE(TSysUtils::ForceDirectories(nested + kSeparator));
  EXPECT_TRUE(TSysUtils::DirectoryExists(nested));
  EXPECT_TRUE(TSysUtils::ForceDirectories(nested));
  EXPECT_FALSE(FailureMessageOf([&] { return TSysUtils::ForceDirectories(dir.File("file.txt/below")); }).empty());
}

TEST(SysUtilsFiles, SizesListingsAndCopies)
{
  TTempDir dir;
  const std::string root = dir.File("root");
  WriteFile(dir.File("root/a.txt"), "123");
  WriteFile(dir.File("root/b.log"), "4567");
  WriteFile(dir.File("root/sub/c.txt"), "89");
  WriteFile(dir.File("root/sub/deeper/d.TXT"), "0");
  fs::create_directory(PathOf(dir.File("root/empty")));

  // Sizes: any entry has one (a folder 0); a folder's is the sum of what lies directly inside.
  EXPECT_EQ(TSysUtils::GetSizeOfFile(dir.File("root/b.log")), 4);
  EXPECT_EQ(TSysUtils::GetSizeOfFile(dir.File("root/missing")), -1);
  EXPECT_EQ(TSysUtils::GetSizeOfFile(root), 0);
  EXPECT_EQ(TSysUtils::GetSizeOfDir(root), 7);
  EXPECT_EQ(TSysUtils::GetSizeOfDir(root, true), 7);
  EXPECT_EQ(TSysUtils::GetSizeOfDir(dir.File("missing")), 0);
  EXPECT_EQ(TSysUtils::GetSubdirectoriesCount(root), 2);

  // Listings: what is directly inside, folders first when asked, each group by name.
  WriteFile(dir.File("root/Z.TXT"), "zz");
  WriteFile(dir.File("root/\xC3\xA9t\xC3\xA9.txt"), "");
  fs::create_directory(PathOf(dir.File("root/folder.txt")));
  const struct {
    bool IncludeDirs;
    const char* Mask;
    std::vector<std::string> Expected;
  } cases[] = {
#ifdef _WIN32
    // Windows matches names without regard to case.
    {false, "*.txt", {"root/Z.TXT", "root/a.txt", "root/\xC3\xA9t\xC3\xA9.txt"}},
    {true, "*.txt", {"root/folder.txt", "root/Z.TXT", "root/a.txt", "root/\xC3\xA9t\xC3\xA9.txt"}},
#else
    {false, "*.txt", {"root/a.txt", "root/\xC3\xA9t\xC3\xA9.txt"}},
    {true, "*.txt", {"root/folder.txt", "root/a.txt", "root/\xC3\xA9t\xC3\xA9.txt"}},
#endif
    {true,
     "*.*",
     {"root/empty", "root/folder.txt", "root/sub", "root/Z.TXT", "root/a.txt", "root/b.log",
      "root/\xC3\xA9t\xC3\xA9.txt"}},
    {false, "?.log", {"root/b.log"}},
    {false, "?t?.txt", {"root/\xC3\xA9t\xC3\xA9.txt"}}, // "?" is one character, not one byte
    {true, "nothing*", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Mask);
    std::vector<std::string> files = {"left over"};
    TSysUtils::GetDirectoryFiles(root, c.IncludeDirs, files, c.Mask);
    std::vector<std::string> expected;
    for (const std::string& name : c.Expected)
      expected.push_back(Native(dir.File(name)));
    EXPECT_EQ(files, expected);
  }
  std::vector<std::string> none = {"left over"};
  TSysUtils::GetDirectoryFiles(dir.File("missing"), true, none);
  EXPECT_TRUE(none.empty());
  // A relative folder gives full paths too.
  const std::filesystem::path here = fs::current_path();
  fs::current_path(PathOf(root));
  std::vector<std::string> relative;
  TSysUtils::GetDirectoryFiles("sub", false, relative);
  fs::current_path(here);
  EXPECT_EQ(relative, std::vector<std::string>{Native(dir.File("root/sub/c.txt"))});

  const std::string copy = dir.File("copy");
  WriteFile(dir.File("copy/a.txt"), "old");
  EXPECT_TRUE(TSysUtils::CopyDirectory(root, copy));
  EXPECT_EQ(ReadFile(dir.File("copy/a.txt")), "123");
  EXPECT_EQ(ReadFile(dir.File("copy/sub/deeper/d.TXT")), "0");
  EXPECT_TRUE(TSysUtils::DirectoryExists(dir.File("copy/empty")));
  EXPECT_FALSE(TSysUtils::CopyDirectory(dir.File("missing"), dir.File("copy2")));

  EXPECT_TRUE(TSysUtils::CopyFile(dir.File("root/b.log"), dir.File("copy/a.txt")));
  EXPECT_EQ(ReadFile(dir.File("copy/a.txt")), "4567");
  EXPECT_FALSE(TSysUtils::CopyFile(dir.File("missing"), dir.File("copy/x")));
}

TEST(SysUtilsFiles, SameDateTime)
{
  TTempDir dir;
  WriteFile(dir.File("one"), "1");
  WriteFile(dir.File("two"), "2");
  // Both set: the MinGW library writes whole seconds, so a time read back need not be the one written.
  const auto time = fs::last_write_time(PathOf(dir.File("one"))) - std::chrono::hours(1);
  fs::last_write_time(PathOf(dir.File("one")), time);
  fs::last_write_time(PathOf(dir.File("two")), time);
  EXPECT_TRUE(TSysUtils::FilesHaveSameDateTime(dir.File("one"), dir.File("two")));
  fs::last_write_time(PathOf(dir.File("two")), time + std::chrono::seconds(5));
  EXPECT_FALSE(TSysUtils::FilesHaveSameDateTime(dir.File("one"), dir.File("two")));
  EXPECT_FALSE(TSysUtils::FilesHaveSameDateTime(dir.File("one"), dir.File("missing")));
}

TEST(SysUtilsFiles, RemoveUTFBoomFromFile)
{
  const TTextCase cases[] = {
    {"\xEF\xBB\xBF"
     "abc",
     "abc"},
    {"abc", "abc"},
    {"\xEF\xBB\xBF", ""},
    {"\xEF\xBB", "\xEF\xBB"},
    {"", ""},
    {"x\xEF\xBB\xBF", "x\xEF\xBB\xBF"},
  };
  TTempDir dir;
  const std::string path = dir.File("text.txt");
  for (const TTextCase& c : cases) {
    WriteFile(path, c.Input);
    EXPECT_TRUE(TSysUtils::RemoveUTFBoomFromFile(path)) << ::testing::PrintToString(c.Input);
    EXPECT_EQ(ReadFile(path), c.Expected) << ::testing::PrintToString(c.Input);
  }
  EXPECT_FALSE(TSysUtils::RemoveUTFBoomFromFile(dir.File("missing")));
}

// ---------------------------------------------------------------- WriteFileSafely

TStatus WriteText(const std::string& Path, const std::string& Text, bool* Opened = nullptr)
{
  return TSysUtils::WriteFileSafely(
    Path, [&](const TSysUtils::TFileSink& Sink) { return Sink(Text); }, Opened);
}

TEST(SysUtilsWriteFileSafely, ReplacesWholeFilesAndLeavesNothingElseBehind)
{
  TTempDir dir;
  const std::string file = dir.File("notes.txt");
  ASSERT_TRUE(WriteText(file, "a much longer first version"));
  ASSERT_TRUE(WriteText(file, "short"));
  EXPECT_EQ(ReadFile(file), "short");
  // A write that fails half-way leaves the old file exactly as it was, and no temporary file.
  const TStatus failed = TSysUtils::WriteFileSafely(file, [](const TSysUtils::TFileSink& Sink) -> TStatus {
    if (TStatus half = Sink("partial"); !half)
      return half;
    return TError{"the source gave out"};
  });
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.Error(), "the source gave out");
  EXPECT_EQ(ReadFile(file), "short");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  // Where no file can be made the old one stays too, and the error says why.
  bool opened = true;
  const TStatus nowhere = WriteText(dir.File("no/such/folder/x.txt"), "x", &opened);
  ASSERT_FALSE(nowhere);
  EXPECT_FALSE(opened);
  EXPECT_NE(nowhere.Error().find("x.txt"), std::string::npos) << nowhere.Error();
}

#ifndef _WIN32
TEST(SysUtilsWriteFileSafely, RefusesWhatIsNoRegularFileAndFollowsLinks)
{
  TTempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO would block the writer until someone reads: refused at once instead.
  const TStatus toFifo = WriteText(fifo, "x");
  ASSERT_FALSE(toFifo);
  EXPECT_NE(toFifo.Error().find("not a regular file"), std::string::npos) << toFifo.Error();
  EXPECT_FALSE(WriteText(dir.Path().string(), "x"));
  EXPECT_FALSE(WriteText("/dev/null", "x"));
  const TStatus withNul = WriteText(dir.File("a") + std::string("\0b", 2), "x");
  EXPECT_FALSE(withNul);
  EXPECT_FALSE(fs::exists(dir.Path() / "a"));

  // Through a link the file it names is replaced, keeping its permissions; the link stays.
  const std::string target = dir.File("target.txt");
  WriteFile(target, "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(target, dir.File("link.txt"));
  ASSERT_TRUE(WriteText(dir.File("link.txt"), "new"));
  EXPECT_TRUE(fs::is_symlink(dir.File("link.txt")));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

} // namespace
} // namespace velmora
