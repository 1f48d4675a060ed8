// Smoke test of the installer double: starts the built WebView2Installer.exe from beside this program the
// way the runtime does (ShellExecuteEx with "runas", then a wait), and checks its exit code, the lines it
// wrote and the marker file; then that the engine double's "installed-by-installer" follows the marker.
#include "Json.h"
#include "JsonLinesFile.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace velmora::installerdouble {
namespace {

using enginedouble::EqualsIgnoreCase;
using enginedouble::ReadJsonLines;
using enginedouble::StartsWithIgnoreCase;
using enginedouble::TakeCoTaskString;
using enginedouble::TJsonValue;

constexpr DWORD kDelayMs = 200;

std::wstring ProgramFolder()
{
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring folder(path.data(), length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring InstallerPath() { return ProgramFolder() + L"WebView2Installer.exe"; }

void SetVariable(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

bool FileExists(const std::wstring& path)
{
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The names of the files in a folder.
std::vector<std::wstring> FilesIn(const std::wstring& dir)
{
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// A new empty folder under the temporary folder, removed with its files at the end.
class TTempDir {
public:
  explicit TTempDir(const wchar_t* label)
  {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    Path = std::wstring(temp) + L"velmora-installer-" + label + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
    CreateDirectoryW(Path.c_str(), nullptr);
  }
  ~TTempDir()
  {
    for (const auto& name : FilesIn(Path))
      DeleteFileW((Path + L"\\" + name).c_str());
    RemoveDirectoryW(Path.c_str());
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::wstring Path;
};

struct TRun {
  bool Started = false;
  bool Ended = false;
  DWORD ExitCode = STILL_ACTIVE;
  DWORD Pid = 0;
  ULONGLONG ElapsedMs = 0;
};

// Starts the installer as the runtime does: "runas" (wine has no elevation, so it just starts), hidden,
// with the given arguments and working folder, and waits for it.
TRun RunInstaller(const std::wstring& workingFolder, const wchar_t* arguments = L"/silent /install")
{
  const std::wstring program = InstallerPath();
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = program.c_str();
  info.lpParameters = arguments;
  info.lpDirectory = workingFolder.c_str();
  info.nShow = SW_HIDE;
  TRun run;
  const ULONGLONG start = GetTickCount64();
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr)
    return run;
  run.Started = true;
  run.Pid = GetProcessId(info.hProcess);
  run.Ended = WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0;
  run.ElapsedMs = GetTickCount64() - start;
  GetExitCodeProcess(info.hProcess, &run.ExitCode);
  if (!run.Ended)
    TerminateProcess(info.hProcess, 1);
  CloseHandle(info.hProcess);
  return run;
}

// Every line of installer.jsonl, each checked to be one JSON object.
std::vector<TJsonValue> Lines(const std::wstring& dir) { return ReadJsonLines(dir + L"\\installer.jsonl"); }

std::wstring Member(const TJsonValue& line, std::wstring_view name)
{
  return line.FindString(name).value_or(L"<absent>");
}

int64_t Number(const TJsonValue& line, std::wstring_view name)
{
  const TJsonValue* value = line.Find(name);
  return value != nullptr ? value->AsInteger().value_or(-1) : -1;
}

std::vector<std::wstring> Strings(const TJsonValue& line, std::wstring_view name)
{
  std::vector<std::wstring> items;
  if (const TJsonValue* value = line.Find(name); value != nullptr && value->IsArray()) {
    for (const auto& item : value->Items())
      items.push_back(item.IsString() ? item.AsString() : L"<not a string>");
  }
  return items;
}

bool Flag(const TJsonValue& line, std::wstring_view name)
{
  const TJsonValue* value = line.Find(name);
  return value != nullptr && value->Kind() == TJsonValue::TKind::Bool && value->AsBool();
}

uint64_t UnixMsNow()
{
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000ull) / 10000;
}

class InstallerDoubleTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FileExists(InstallerPath())) << "the installer double must be built beside this program";
    for (const wchar_t* name : {L"VELMORA_INSTALLER_RESULT", L"VELMORA_INSTALLER_EXIT", L"VELMORA_DOUBLE_VERSION"})
      SetVariable(name, nullptr);
    SetVariable(L"VELMORA_DOUBLE_DIR", FDir.Path.c_str());
    SetVariable(L"VELMORA_INSTALLER_DELAY_MS", std::to_wstring(kDelayMs).c_str());
  }

  void TearDown() override
  {
    for (const wchar_t* name : {L"VELMORA_DOUBLE_DIR", L"VELMORA_INSTALLER_DELAY_MS", L"VELMORA_INSTALLER_RESULT",
                                L"VELMORA_INSTALLER_EXIT", L"VELMORA_DOUBLE_VERSION"})
      SetVariable(name, nullptr);
  }

  std::wstring Marker() const { return FDir.Path + L"\\engine-installed"; }

  // Checks the two lines of one run and gives the second.
  TJsonValue CheckRun(const std::vector<TJsonValue>& lines, size_t first, const TRun& run, DWORD delayMs,
                      std::wstring_view outcome)
  {
    if (lines.size() < first + 2) {
      ADD_FAILURE() << "expected two lines from the run, got " << lines.size() - first;
      return {};
    }
    const TJsonValue& started = lines[first];
    const TJsonValue& finished = lines[first + 1];
    EXPECT_EQ(Member(started, L"event"), L"started");
    EXPECT_EQ(Member(finished, L"event"), L"finished");
    EXPECT_EQ(Number(started, L"pid"), static_cast<int64_t>(run.Pid));
    EXPECT_EQ(Number(finished, L"pid"), static_cast<int64_t>(run.Pid));
    EXPECT_EQ(Number(started, L"delayMs"), static_cast<int64_t>(delayMs));
    EXPECT_EQ(Number(started, L"exitCode"), static_cast<int64_t>(run.ExitCode));
    EXPECT_EQ(Number(finished, L"exitCode"), static_cast<int64_t>(run.ExitCode));
    EXPECT_EQ(Member(finished, L"outcome"), outcome);
    EXPECT_TRUE(EqualsIgnoreCase(Member(finished, L"marker"), Marker())) << Member(finished, L"marker").c_str();
    // The wait lies between the two lines, by the installer's own clock and by the test's.
    EXPECT_GE(Number(finished, L"unixMs") - Number(started, L"unixMs"), static_cast<int64_t>(delayMs));
    EXPECT_EQ(Number(finished, L"elapsedMs"), Number(finished, L"unixMs") - Number(started, L"unixMs"));
    EXPECT_GE(run.ElapsedMs, delayMs);
    const std::wstring time = Member(started, L"time");
    EXPECT_EQ(time.size(), 24u) << time.c_str();
    EXPECT_EQ(time.back(), L'Z') << time.c_str();
    const int64_t skew = static_cast<int64_t>(UnixMsNow()) - Number(started, L"unixMs");
    EXPECT_TRUE(skew >= 0 && skew < 60000) << skew;
    return finished;
  }

  TTempDir FDir{L"dir"};
  TTempDir FWork{L"work"};
};

TEST_F(InstallerDoubleTest, InstallsAndRecordsHowItWasStarted)
{
  const TRun run = RunInstaller(FWork.Path);
  ASSERT_TRUE(run.Started) << GetLastError();
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(FileExists(Marker()));

  const auto lines = Lines(FDir.Path);
  ASSERT_EQ(lines.size(), 2u);
  const TJsonValue finished = CheckRun(lines, 0, run, kDelayMs, L"installed");
  EXPECT_TRUE(Flag(finished, L"markerCreated"));
  EXPECT_EQ(Member(finished, L"result"), L"install");
  EXPECT_EQ(finished.Find(L"error"), nullptr);

  const TJsonValue& started = lines[0];
  EXPECT_EQ(Strings(started, L"arguments"), (std::vector<std::wstring>{L"/silent", L"/install"}));
  const std::wstring commandLine = Member(started, L"commandLine");
  EXPECT_NE(commandLine.find(L"WebView2Installer.exe"), std::wstring::npos) << commandLine.c_str();
  EXPECT_EQ(commandLine.substr(commandLine.size() - 17), L" /silent /install") << commandLine.c_str();
  EXPECT_TRUE(EqualsIgnoreCase(Member(started, L"workingFolder"), FWork.Path))
    << Member(started, L"workingFolder").c_str();
  EXPECT_TRUE(EqualsIgnoreCase(Member(started, L"program"), InstallerPath())) << Member(started, L"program").c_str();
  EXPECT_EQ(Number(started, L"parentPid"), static_cast<int64_t>(GetCurrentProcessId()));
  EXPECT_EQ(Member(started, L"result"), L"install");
  EXPECT_TRUE(Strings(started, L"invalidSettings").empty());
  // The working folder is left as it was.
  EXPECT_TRUE(FilesIn(FWork.Path).empty());
}

TEST_F(InstallerDoubleTest, FailCreatesNothingAndTheExitCodeIsTheOneGiven)
{
  SetVariable(L"VELMORA_INSTALLER_RESULT", L"fail");
  SetVariable(L"VELMORA_INSTALLER_EXIT", L"1603");
  const TRun failed = RunInstaller(FWork.Path);
  ASSERT_TRUE(failed.Started && failed.Ended);
  EXPECT_EQ(failed.ExitCode, 1603u);
  EXPECT_FALSE(FileExists(Marker()));

  // The exit code is independent of the result, and may be a full 32-bit code.
  SetVariable(L"VELMORA_INSTALLER_RESULT", L"INSTALL");
  SetVariable(L"VELMORA_INSTALLER_EXIT", L"0x80070005");
  const TRun installed = RunInstaller(FWork.Path);
  ASSERT_TRUE(installed.Started && installed.Ended);
  EXPECT_EQ(installed.ExitCode, 0x80070005u);
  EXPECT_TRUE(FileExists(Marker()));

  const auto lines = Lines(FDir.Path);
  ASSERT_EQ(lines.size(), 4u);
  const TJsonValue first = CheckRun(lines, 0, failed, kDelayMs, L"failed");
  EXPECT_FALSE(Flag(first, L"markerCreated"));
  EXPECT_EQ(Member(first, L"result"), L"fail");
  const TJsonValue second = CheckRun(lines, 2, installed, kDelayMs, L"installed");
  EXPECT_TRUE(Flag(second, L"markerCreated"));
  EXPECT_EQ(Member(lines[2], L"result"), L"INSTALL");
  EXPECT_NE(failed.Pid, installed.Pid);
}

TEST_F(InstallerDoubleTest, SettingsItCannotUseAreListedAndInstallNothing)
{
  SetVariable(L"VELMORA_INSTALLER_RESULT", L"maybe");
  SetVariable(L"VELMORA_INSTALLER_DELAY_MS", L"soon");
  SetVariable(L"VELMORA_INSTALLER_EXIT", L"1e3");
  const TRun run = RunInstaller(FWork.Path);
  ASSERT_TRUE(run.Started && run.Ended);
  // The defaults stand in for the delay and the exit code.
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_FALSE(FileExists(Marker()));
  const auto lines = Lines(FDir.Path);
  ASSERT_EQ(lines.size(), 2u);
  const TJsonValue finished = CheckRun(lines, 0, run, 1500, L"unknown-result");
  EXPECT_FALSE(Flag(finished, L"markerCreated"));
  EXPECT_EQ(Member(lines[0], L"result"), L"maybe");
  EXPECT_EQ(
    Strings(lines[0], L"invalidSettings"),
    (std::vector<std::wstring>{L"VELMORA_INSTALLER_DELAY_MS", L"VELMORA_INSTALLER_RESULT", L"VELMORA_INSTALLER_EXIT"}));
}

TEST_F(InstallerDoubleTest, WithoutTheFolderItOnlyWaitsAndExits)
{
  SetVariable(L"VELMORA_DOUBLE_DIR", nullptr);
  SetVariable(L"VELMORA_INSTALLER_DELAY_MS", L"300");
  SetVariable(L"VELMORA_INSTALLER_EXIT", L"7");
  const TRun run = RunInstaller(FWork.Path);
  ASSERT_TRUE(run.Started && run.Ended);
  EXPECT_EQ(run.ExitCode, 7u);
  EXPECT_GE(run.ElapsedMs, 300u);
  EXPECT_TRUE(FilesIn(FWork.Path).empty());
  EXPECT_TRUE(FilesIn(FDir.Path).empty());
}

// The flow the runtime depends on: no engine, the installer runs, the loader's answer changes.
TEST_F(InstallerDoubleTest, TheEngineDoubleSeesWhatTheInstallerDid)
{
  using TGetVersion = HRESULT(STDAPICALLTYPE*)(PCWSTR, LPWSTR*);
  SetVariable(L"VELMORA_DOUBLE_VERSION", L"installed-by-installer");
  HMODULE library = LoadLibraryW((ProgramFolder() + L"WebView2LoaderWin64.dll").c_str());
  ASSERT_NE(library, nullptr) << "the engine double must be built beside this program";
  const auto getVersion = reinterpret_cast<TGetVersion>(
    reinterpret_cast<void*>(GetProcAddress(library, "GetAvailableCoreWebView2BrowserVersionString")));
  ASSERT_NE(getVersion, nullptr);
  auto query = [&](std::wstring* version) {
    LPWSTR text = nullptr;
    const HRESULT result = getVersion(nullptr, &text);
    *version = text != nullptr ? TakeCoTaskString(text) : L"<null>";
    return result;
  };

  std::wstring version;
  EXPECT_EQ(query(&version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(version, L"<null>");

  SetVariable(L"VELMORA_INSTALLER_RESULT", L"fail");
  const TRun failed = RunInstaller(FWork.Path);
  ASSERT_TRUE(failed.Started && failed.Ended);
  EXPECT_EQ(query(&version), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(version, L"<null>");

  SetVariable(L"VELMORA_INSTALLER_RESULT", L"install");
  const TRun installed = RunInstaller(FWork.Path);
  ASSERT_TRUE(installed.Started && installed.Ended);
  EXPECT_EQ(installed.ExitCode, 0u);
  EXPECT_EQ(query(&version), S_OK);
  EXPECT_EQ(version, L"120.0.0.0");
  FreeLibrary(library);

  // The installer's lines and the double's transcript share the folder; each process wrote its own file.
  const auto names = FilesIn(FDir.Path);
  EXPECT_EQ(names.size(), 3u);
  EXPECT_EQ(Lines(FDir.Path).size(), 4u);
  bool transcript = false;
  for (const auto& name : names)
    transcript = transcript || StartsWithIgnoreCase(name, std::to_wstring(GetCurrentProcessId()) + L".transcript");
  EXPECT_TRUE(transcript);
}

} // namespace
} // namespace velmora::installerdouble
