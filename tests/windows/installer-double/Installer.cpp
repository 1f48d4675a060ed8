// The installer double: stands in for the engine's installer that the Windows runtime extracts and runs
// when the engine is missing. It records how it was started, waits a while as an installer would, then
// marks the engine as installed for the engine double (or not), and exits with a chosen code. See
// README.md for the settings and the lines it writes.
#include "Json.h"
#include "Text.h"

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::installerdouble {
namespace {

using enginedouble::AppendJsonString;
using enginedouble::EnvironmentVariable;
using enginedouble::EqualsIgnoreCase;
using enginedouble::HresultText;
using enginedouble::ParseHresult;
using enginedouble::TJsonObjectWriter;
using enginedouble::TrimWhite;

constexpr DWORD kDefaultDelayMs = 1500;
// Longer waits are refused as settings, so that a typo cannot leave a test hanging for hours.
constexpr DWORD kMaxDelayMs = 3600000;

// 100 ns intervals between 1601-01-01 (FILETIME) and 1970-01-01 (Unix time).
constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;

enum class TResult { Install, Fail, Unknown };

struct TSettings {
  std::wstring Dir; // VELMORA_DOUBLE_DIR; empty: nothing is written
  DWORD DelayMs = kDefaultDelayMs;
  std::wstring ResultText = L"install";
  TResult Result = TResult::Install;
  UINT ExitCode = 0;
  std::vector<std::string> Invalid; // names of variables whose value could not be used
};

// A non-negative decimal number of milliseconds, at most kMaxDelayMs.
std::optional<DWORD> ParseDelay(std::wstring_view text)
{
  text = TrimWhite(text);
  if (text.empty() || text.size() > 10)
    return std::nullopt;
  uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9')
      return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value > kMaxDelayMs)
    return std::nullopt;
  return static_cast<DWORD>(value);
}

TSettings ReadSettings()
{
  TSettings settings;
  settings.Dir = EnvironmentVariable(L"VELMORA_DOUBLE_DIR").value_or(L"");
  if (const auto delay = EnvironmentVariable(L"VELMORA_INSTALLER_DELAY_MS"); delay && !delay->empty()) {
    if (const auto parsed = ParseDelay(*delay))
      settings.DelayMs = *parsed;
    else
      settings.Invalid.push_back("VELMORA_INSTALLER_DELAY_MS");
  }
  if (const auto result = EnvironmentVariable(L"VELMORA_INSTALLER_RESULT"); result && !result->empty()) {
    settings.ResultText = *result;
    if (EqualsIgnoreCase(*result, L"install")) {
      settings.Result = TResult::Install;
    } else if (EqualsIgnoreCase(*result, L"fail")) {
      settings.Result = TResult::Fail;
    } else {
      settings.Result = TResult::Unknown;
      settings.Invalid.push_back("VELMORA_INSTALLER_RESULT");
    }
  }
  // Decimal or 0x hexadecimal, up to 32 bits, so HRESULT-like codes such as 0x80070005 can be given.
  if (const auto code = EnvironmentVariable(L"VELMORA_INSTALLER_EXIT"); code && !code->empty()) {
    if (const auto parsed = ParseHresult(*code))
      settings.ExitCode = static_cast<UINT>(*parsed);
    else
      settings.Invalid.push_back("VELMORA_INSTALLER_EXIT");
  }
  return settings;
}

std::wstring ModulePath()
{
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return std::wstring(path.data(), length);
}

std::wstring WorkingFolder()
{
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0)
    return std::wstring();
  std::vector<wchar_t> buffer(size);
  const DWORD length = GetCurrentDirectoryW(size, buffer.data());
  return length < size ? std::wstring(buffer.data(), length) : std::wstring();
}

// The id of the process that started this one, read from a process snapshot; 0 when not found.
DWORD ParentProcessId()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return 0;
  DWORD parent = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

// The arguments after the program name, split as the C runtime splits them, as a JSON array.
std::string ArgumentsJson()
{
  std::string json = "[";
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments != nullptr) {
    for (int i = 1; i < count; ++i) {
      if (i > 1)
        json += ',';
      AppendJsonString(json, std::wstring_view(arguments[i]));
    }
    LocalFree(arguments);
  }
  return json + "]";
}

std::string StringArrayJson(const std::vector<std::string>& items)
{
  std::string json = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0)
      json += ',';
    AppendJsonString(json, std::string_view(items[i]));
  }
  return json + "]";
}

// The current time: UTC text with milliseconds ("2024-05-01T12:00:00.123Z") and Unix milliseconds.
struct TTimestamp {
  std::string Text;
  uint64_t UnixMs = 0;
};

TTimestamp Now()
{
  FILETIME fileTime{};
  GetSystemTimePreciseAsFileTime(&fileTime);
  const uint64_t ticks = (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
  SYSTEMTIME time{};
  FileTimeToSystemTime(&fileTime, &time);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", time.wYear, time.wMonth, time.wDay,
                time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  return {text, (ticks - kUnixEpochInFileTime) / 10000};
}

std::wstring InFolder(const std::wstring& dir, std::wstring_view name)
{
  std::wstring path = dir;
  if (path.back() != L'\\' && path.back() != L'/')
    path += L'\\';
  return path += name;
}

// Appends one line to installer.jsonl in a single write, the file closed at once, so that a reader
// sees only complete lines. Failures are ignored: a GUI program has nowhere to report them.
void AppendLine(const TSettings& settings, const TJsonObjectWriter& line)
{
  const std::string text = line.Finish() + "\n";
  HANDLE file = CreateFileW(InFolder(settings.Dir, L"installer.jsonl").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// Creates (or replaces) the marker file the engine double's "installed-by-installer" looks for.
// Gives 0 on success, else the Windows error code.
DWORD CreateMarker(const std::wstring& path)
{
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError();
  const std::string content =
    "installed by the installer double, process " + std::to_string(GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  const DWORD error = wrote ? 0 : GetLastError();
  CloseHandle(file);
  return error;
}

const char* ResultName(TResult result)
{
  switch (result) {
  case TResult::Install: return "install";
  case TResult::Fail: return "fail";
  case TResult::Unknown: break;
  }
  return "unknown";
}

UINT Run()
{
  const TSettings settings = ReadSettings();
  const bool recording = !settings.Dir.empty();
  const TTimestamp started = Now();

  if (recording) {
    AppendLine(settings, TJsonObjectWriter()
                           .Utf8("event", "started")
                           .Uint("pid", GetCurrentProcessId())
                           .Uint("parentPid", ParentProcessId())
                           .Str("commandLine", GetCommandLineW())
                           .Raw("arguments", ArgumentsJson())
                           .Str("workingFolder", WorkingFolder())
                           .Str("program", ModulePath())
                           .Utf8("time", started.Text)
                           .Uint("unixMs", started.UnixMs)
                           .Uint("delayMs", settings.DelayMs)
                           .Str("result", settings.ResultText)
                           .Uint("exitCode", settings.ExitCode)
                           .Raw("invalidSettings", StringArrayJson(settings.Invalid)));
  }

  Sleep(settings.DelayMs);

  if (!recording)
    return settings.ExitCode;

  const std::wstring marker = InFolder(settings.Dir, L"engine-installed");
  std::string outcome;
  DWORD error = 0;
  switch (settings.Result) {
  case TResult::Install:
    error = CreateMarker(marker);
    outcome = error == 0 ? "installed" : "marker-error";
    break;
  case TResult::Fail: outcome = "failed"; break;
  case TResult::Unknown: outcome = "unknown-result"; break;
  }

  const TTimestamp finished = Now();
  auto line = TJsonObjectWriter()
                .Utf8("event", "finished")
                .Uint("pid", GetCurrentProcessId())
                .Utf8("result", ResultName(settings.Result))
                .Utf8("outcome", outcome)
                .Str("marker", marker)
                .Bool("markerCreated", settings.Result == TResult::Install && error == 0);
  if (error != 0)
    line.Utf8("error", HresultText(HRESULT_FROM_WIN32(error)));
  AppendLine(settings, line.Utf8("time", finished.Text)
                         .Uint("unixMs", finished.UnixMs)
                         .Uint("elapsedMs", finished.UnixMs - started.UnixMs)
                         .Uint("exitCode", settings.ExitCode));
  return settings.ExitCode;
}

} // namespace
} // namespace velmora::installerdouble

// A GUI-subsystem program, so starting it opens no console window; it opens no window of its own either.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
  try {
    // The full 32 bits reach the parent's GetExitCodeProcess.
    return static_cast<int>(velmora::installerdouble::Run());
  } catch (...) {
    return 1;
  }
}
