// Windows implementation of TSysUtils: the Win32 shell, process, power, window-list and special-folder services.
#include "SysUtils.h"
#include "SysUtilsInternal.h"
#include "TextCodec.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

// <windows.h> turns these member names into other names; see SysUtils.h.
#undef CopyFile
#undef ExitWindows

#include <algorithm>
#include <charconv>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <thread>

namespace velmora {

namespace {

namespace fs = std::filesystem;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::string WithSeparator(std::string path)
{
  if (path.empty() || (path.back() != '\\' && path.back() != '/'))
    path += '\\';
  return path;
}

// ShellExecuteW reports failure as a code of its own (32 or less), and does not always set the
// thread's last error; the codes are turned into the Win32 errors they stand for.
bool ShellExecuteSucceeded(HINSTANCE result)
{
  const auto code = reinterpret_cast<INT_PTR>(result);
  if (code > 32)
    return true;
  if (GetLastError() != ERROR_SUCCESS)
    return false;
  switch (code) {
  case 0:
  case SE_ERR_OOM: SetLastError(ERROR_NOT_ENOUGH_MEMORY); break;
  case SE_ERR_SHARE: SetLastError(ERROR_SHARING_VIOLATION); break;
  case SE_ERR_ASSOCINCOMPLETE:
  case SE_ERR_NOASSOC: SetLastError(ERROR_NO_ASSOCIATION); break;
  case SE_ERR_DDETIMEOUT:
  case SE_ERR_DDEFAIL:
  case SE_ERR_DDEBUSY: SetLastError(ERROR_DDE_FAIL); break;
  case SE_ERR_DLLNOTFOUND: SetLastError(ERROR_DLL_NOT_FOUND); break;
  default: SetLastError(static_cast<DWORD>(code)); break; // file and path not found, access denied, bad format
  }
  return false;
}

// Starts a command line; waits for it and gives its exit code when exitCode is set.
bool RunProcess(std::wstring commandLine, bool hidden, DWORD* exitCode)
{
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  if (exitCode != nullptr) {
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, exitCode))
      *exitCode = 0;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// True when the title has something besides spaces and control characters.
bool HasVisibleCharacter(std::wstring_view title)
{
  return std::any_of(title.begin(), title.end(), [](wchar_t c) { return c > 0x20 && (c < 0x7F || c > 0x9F); });
}

BOOL CALLBACK AddWindowCaption(HWND window, LPARAM data)
{
  auto& list = *reinterpret_cast<std::vector<std::string>*>(data);
  const int length = GetWindowTextLengthW(window);
  if (length > 0) {
    std::wstring title(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, title.data(), length + 1);
    title.resize(static_cast<size_t>(std::max(copied, 0)));
    if (HasVisibleCharacter(title))
      list.push_back(WideToUtf8(title));
  }
  return TRUE;
}

// A function looked up in a library, converted through the generic function pointer type that casts
// from and to any other without a warning.
template <class F>
F ProcAddress(HMODULE library, const char* name)
{
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Copies a folder's contents into another, created when missing, replacing files. std::filesystem::copy
// would do, but the MinGW standard library refuses to replace an existing file (EEXIST) whatever the
// options say, so files go through CopyFileW.
bool CopyTree(const fs::path& from, const fs::path& to)
{
  std::error_code error;
  fs::create_directories(to, error);
  fs::directory_iterator entry(from, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const fs::path target = to / entry->path().filename();
    std::error_code ignored;
    if (entry->is_directory(ignored)) {
      if (!CopyTree(entry->path(), target))
        return false;
    } else if (!CopyFileW(entry->path().c_str(), target.c_str(), FALSE)) {
      return false;
    }
  }
  if (error) {
    RecordSystemError(error);
    return false;
  }
  return true;
}

std::string ShellFolder(int csidl)
{
  wchar_t buffer[261] = {};
  const HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return WithSeparator(result < 0 ? std::string() : WideToUtf8(buffer));
}

// Device names that Windows reserves in every folder, with or without an extension.
bool IsReservedName(std::wstring_view component)
{
  const std::wstring_view stem = component.substr(0, component.find(L'.'));
  std::wstring upper(stem);
  for (wchar_t& c : upper)
    c = static_cast<wchar_t>(std::towupper(c));
  static constexpr std::wstring_view kNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};
  if (std::find(std::begin(kNames), std::end(kNames), upper) != std::end(kNames))
    return true;
  return upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT")) && upper[3] >= L'1' &&
         upper[3] <= L'9';
}

} // namespace

// A std::filesystem or stream failure may carry an errno value rather than a Win32 error: such
// values become the Win32 errors they stand for.
void RecordSystemError(const std::error_code& error)
{
  if (error.category() == std::system_category()) {
    SetLastError(static_cast<DWORD>(error.value()));
    return;
  }
  switch (error.value()) {
  case ENOENT: SetLastError(ERROR_FILE_NOT_FOUND); break;
  case EACCES:
  case EPERM: SetLastError(ERROR_ACCESS_DENIED); break;
  case EEXIST: SetLastError(ERROR_ALREADY_EXISTS); break;
  case ENOTDIR: SetLastError(ERROR_DIRECTORY); break;
  case ENOTEMPTY: SetLastError(ERROR_DIR_NOT_EMPTY); break;
  case ENOSPC: SetLastError(ERROR_DISK_FULL); break;
  case EIO: SetLastError(ERROR_WRITE_FAULT); break;
  default: SetLastError(ERROR_GEN_FAILURE); break;
  }
}

// ---------------------------------------------------------------- error reporting

std::string TSysUtils::GetExeFilePath()
{
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string TSysUtils::GetSystemErrorMessage(int code)
{
  wchar_t* buffer = nullptr;
  const DWORD length =
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? WideToUtf8(std::wstring_view(buffer, length)) : std::string();
  if (buffer != nullptr)
    LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int TSysUtils::GetLastErrorCode() { return static_cast<int>(GetLastError()); }

void TSysUtils::ShowErrorMessageBox(const std::string& text, const std::string& caption)
{
  MessageBoxW(GetActiveWindow(), Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK | MB_ICONERROR);
}

std::string TSysUtils::GetLastErrorMessage() { return GetSystemErrorMessage(static_cast<int>(GetLastError())); }

// ---------------------------------------------------------------- shell and processes

bool TSysUtils::ShellExec(const std::string& FilePath, const std::string& Arguments)
{
  const std::wstring file = Utf8ToWide(FilePath);
  const std::wstring parameters = Utf8ToWide(Arguments);
  SetLastError(ERROR_SUCCESS);
  return ShellExecuteSucceeded(
    ShellExecuteW(GetActiveWindow(), L"open", file.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL));
}

bool TSysUtils::ShellOpen(const std::string& FilePath) { return ShellExec(FilePath, ""); }

bool TSysUtils::ShellExplore(const std::string& FilePath)
{
  const std::wstring parameters = L"/select, \"" + Utf8ToWide(FilePath) + L"\"";
  SetLastError(ERROR_SUCCESS);
  return ShellExecuteSucceeded(
    ShellExecuteW(GetActiveWindow(), L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL));
}

std::string TSysUtils::GetDosOutput(const std::string& CommandLine, const std::string& WorkingDir, bool ShowWindow)
{
  return GetDosOutputLimited(CommandLine, WorkingDir, ShowWindow, SIZE_MAX).value_or(std::string());
}

std::optional<std::string> TSysUtils::GetDosOutputLimited(const std::string& CommandLine, const std::string& WorkingDir,
                                                          bool ShowWindow, size_t MaxBytes)
{
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.bInheritHandle = TRUE;
  HANDLE readPipe = nullptr;
  HANDLE writePipe = nullptr;
  if (!CreatePipe(&readPipe, &writePipe, &security, 0))
    return std::string();
  // The read end stays ours.
  SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = static_cast<WORD>(ShowWindow ? SW_SHOWNORMAL : SW_HIDE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writePipe;
  startup.hStdError = writePipe;

  // The command runs in a job of its own, so what it started can be ended with it; it starts
  // suspended until it is in the job.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  std::wstring command = L"cmd.exe /C " + Utf8ToWide(CommandLine);
  const std::wstring folder = Utf8ToWide(WorkingDir);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  const DWORD startError = GetLastError();
  // Our copy of the write end must go before reading, or the pipe would never report its end.
  CloseHandle(writePipe);
  if (!started) {
    CloseHandle(readPipe);
    if (job != nullptr)
      CloseHandle(job);
    SetLastError(startError);
    return std::string();
  }
  if (job != nullptr)
    AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);

  std::string bytes;
  char buffer[64 * 1024];
  DWORD count = 0;
  bool tooMuch = false;
  while (ReadFile(readPipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    if (count > MaxBytes - bytes.size()) {
      tooMuch = true;
      break;
    }
    bytes.append(buffer, count);
  }
  if (tooMuch) {
    if (job != nullptr)
      TerminateJobObject(job, 1);
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(readPipe);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (job != nullptr)
    CloseHandle(job);
  if (tooMuch)
    return std::nullopt;
  // The command's NUL characters end nothing but themselves; the text is decoded as a whole, so a
  // character split between two reads stays one character.
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  return AnsiToUtf8(bytes);
}

uint32_t TSysUtils::ShellExecAsAdminAndWait(void* OwnerHandle, const std::string& FilePath, const std::string& Params)
{
  const std::wstring file = Utf8ToWide(FilePath);
  const std::wstring parameters = Utf8ToWide(Params);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = static_cast<HWND>(OwnerHandle);
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr)
    return 0;

  // The owner window stays responsive while the program runs: pending messages are handled, then
  // the wait sleeps until the next message or 50 ms, whichever comes first. A quit request ends
  // the wait: the application is terminating, and the program may go on without it.
  DWORD code = STILL_ACTIVE;
  bool quitRequested = false;
  int quitCode = 0;
  while (!quitRequested) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitRequested = true;
        quitCode = static_cast<int>(message.wParam);
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!GetExitCodeProcess(info.hProcess, &code) || code != STILL_ACTIVE)
      break;
    if (!quitRequested)
      MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 50, QS_ALLINPUT);
  }
  CloseHandle(info.hProcess);
  // The quit request belongs to the application's own message loop.
  if (quitRequested)
    PostQuitMessage(quitCode);
  return code;
}

uint32_t TSysUtils::ExecAndWait(const std::string& CommandLine)
{
  DWORD code = 0;
  return RunProcess(Utf8ToWide(CommandLine), false, &code) ? code : 0;
}

bool TSysUtils::ExecCmd(const std::string& CMD, bool Wait)
{
  DWORD code = 0;
  return RunProcess(L"cmd.exe /C " + Utf8ToWide(CMD), true, Wait ? &code : nullptr);
}

namespace {
// One argument quoted for a Windows command line as the C runtime splits it: backslashes are
// literal except before a quote, where each is doubled along with the quote's own escape.
std::wstring QuoteArgument(const std::wstring& Argument)
{
  if (!Argument.empty() && Argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return Argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : Argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}
} // namespace

bool TSysUtils::StartProcess(const std::vector<std::string>& Args, TChildProcess& Child)
{
  if (Args.empty())
    return false;
  std::wstring commandLine;
  for (const std::string& argument : Args)
    commandLine += (commandLine.empty() ? L"" : L" ") + QuoteArgument(Utf8ToWide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const std::wstring program = Utf8ToWide(Args.front());
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  Child.Id = reinterpret_cast<intptr_t>(process.hProcess);
  return true;
}

std::optional<uint32_t> TSysUtils::WaitProcess(TChildProcess& Child, int TimeoutMs)
{
  if (Child.Id == 0)
    return std::nullopt;
  const auto handle = reinterpret_cast<HANDLE>(Child.Id);
  if (WaitForSingleObject(handle, TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs)) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(handle, &code))
    code = 0;
  CloseHandle(handle);
  Child.Id = 0;
  return static_cast<uint32_t>(code);
}

void TSysUtils::StopProcess(TChildProcess& Child)
{
  if (Child.Id == 0)
    return;
  TerminateProcess(reinterpret_cast<HANDLE>(Child.Id), 1);
  WaitProcess(Child, -1);
}

// The hand-over of a later start's arguments is not built on Windows yet: a later start ends as
// it always did, and its arguments do not reach the running instance.
bool TSysUtils::ListenForInstanceArgs(const std::string&, std::function<void(std::vector<std::string>)>)
{
  return false;
}

bool TSysUtils::SendInstanceArgs(const std::string&, const std::vector<std::string>&) { return false; }

bool TSysUtils::RestartApplication()
{
  const std::wstring exe = Utf8ToWide(GetExeFilePath());
  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool TSysUtils::ExitWindows(uint32_t RebootParam)
{
  // Shutting down needs SeShutdownPrivilege enabled in our token; when that fails, ExitWindowsEx
  // reports the refusal itself.
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
  }
  return ExitWindowsEx(RebootParam, 0) != 0;
}

void TSysUtils::GetWindowsCaptions(std::vector<std::string>& List)
{
  List.clear();
  EnumWindows(AddWindowCaption, reinterpret_cast<LPARAM>(&List));
}

TNamedMutexResult TSysUtils::CreateNamedMutex(const std::string& Name)
{
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, Utf8ToWide(Name).c_str());
  if (mutex == nullptr)
    return TNamedMutexResult::Failed;
  // The handle stays open on purpose: the mutex lives as long as a handle to it does.
  const TNamedMutexResult result =
    GetLastError() == ERROR_ALREADY_EXISTS ? TNamedMutexResult::AlreadyExists : TNamedMutexResult::Created;
  // The owner also owns a second mutex for as long as it runs; its end abandons that mutex, which
  // is what WatchNamedMutexOwner waits for.
  if (result == TNamedMutexResult::Created)
    CreateMutexW(nullptr, TRUE, Utf8ToWide(Name + ".owner").c_str());
  return result;
}

void TSysUtils::WatchNamedMutexOwner(const std::string& Name, std::function<void()> OnEnded)
{
  std::thread([name = Utf8ToWide(Name + ".owner"), OnEnded = std::move(OnEnded)] {
    const HANDLE owner = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (owner == nullptr) {
      // No owner holds it any more: the mutex went with the last handle.
      if (GetLastError() == ERROR_FILE_NOT_FOUND)
        OnEnded();
      return;
    }
    const DWORD waited = WaitForSingleObject(owner, INFINITE);
    // Granted means owned now: it is given back at once, so it stands in no later owner's way.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
      ReleaseMutex(owner);
    CloseHandle(owner);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
      OnEnded();
  }).detach();
}

// ---------------------------------------------------------------- browser engine

bool TSysUtils::CheckEdgeIsInstalled(const std::string& EdgeLoaderDllPath)
{
  const std::wstring path = Utf8ToWide(EdgeLoaderDllPath);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  const HMODULE library = LoadLibraryW(path.c_str());
  if (library == nullptr)
    return false;
  using TGetVersion = HRESULT(WINAPI*)(PCWSTR browserExecutableFolder, LPWSTR * versionInfo);
  const auto getVersion = ProcAddress<TGetVersion>(library, "GetAvailableCoreWebView2BrowserVersionString");
  bool installed = false;
  if (getVersion != nullptr) {
    LPWSTR version = nullptr;
    getVersion(nullptr, &version);
    installed = version != nullptr && version[0] != L'\0';
    if (version != nullptr)
      CoTaskMemFree(version);
  }
  FreeLibrary(library);
  return installed;
}

bool TSysUtils::UsesEngineLoaderLibrary() { return true; }

void TSysUtils::SetEngineEnvironment(const std::string& WebViewDirPath)
{
  SetEnvironmentVariableW(L"WEBVIEW2_USER_DATA_FOLDER", Utf8ToWide(WebViewDirPath).c_str());
  SetEnvironmentVariableW(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS",
                          L"--disable-logging --disable-features=RendererCodeIntegrity "
                          L"--enable-features=msSpeechRecognition");
  // A browser folder or release channel from outside would override the engine the program expects.
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", nullptr);
  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", nullptr);
}

// ---------------------------------------------------------------- special folders

std::string TSysUtils::GetUserDesktopDirPath() { return ShellFolder(CSIDL_DESKTOP); }

std::string TSysUtils::GetUserDocumentsDirPath() { return ShellFolder(CSIDL_PERSONAL); }

std::string TSysUtils::GetUserAppDataDirPath() { return ShellFolder(CSIDL_APPDATA); }

std::string TSysUtils::GetLocalAppDataDirPath() { return ShellFolder(CSIDL_LOCAL_APPDATA); }

std::string TSysUtils::GetProgramFilesDirPath() { return ShellFolder(CSIDL_PROGRAM_FILES); }

std::string TSysUtils::GetSystemAppsDirPath() { return ShellFolder(CSIDL_WINDOWS) + "SystemApps\\"; }

std::string TSysUtils::GetTempDirPath()
{
  const DWORD size = GetTempPathW(0, nullptr);
  if (size == 0)
    return "\\";
  std::wstring path(size, L'\0');
  const DWORD length = GetTempPathW(size, path.data());
  path.resize(length < size ? length : 0);
  // GetTempPathW may give the short 8.3 form of the folder; callers show and compare the long one.
  const DWORD longSize = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (longSize > 0) {
    std::wstring longPath(longSize, L'\0');
    const DWORD longLength = GetLongPathNameW(path.c_str(), longPath.data(), longSize);
    if (longLength > 0 && longLength < longSize)
      path = longPath.substr(0, longLength);
  }
  return WithSeparator(WideToUtf8(path));
}

// ---------------------------------------------------------------- files and folders

bool TSysUtils::FileExists(const std::string& Path)
{
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(Path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TSysUtils::DirectoryExists(const std::string& Path)
{
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(Path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TSysUtils::PathDelimiter() { return "\\"; }

std::string TSysUtils::FileUriPathToDiskPath(const std::string& Rest) { return Rest; }

TStatus TSysUtils::WriteFileSafely(const std::string& Path, const std::function<TStatus(const TFileSink&)>& Produce,
                                   bool* Opened)
{
  // Refusals below still count as reaching the target; only a temporary file that cannot be made
  // does not.
  if (Opened != nullptr)
    *Opened = true;
  const auto writeError = [&Path](const std::string& Reason) {
    return TError{"Cannot write file \"" + Path + "\": " + Reason};
  };
  if (Path.empty() || Path.find('\0') != std::string::npos)
    return writeError("the path is empty or holds a NUL character");
  const std::wstring target = Utf8ToWide(Path);
  // Device names ("\\.\COM1", "NUL", "CON") and folders are not files to replace.
  if (target.rfind(L"\\\\.\\", 0) == 0)
    return writeError("it is not a regular file");
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return writeError("it is not a regular file");

  const std::filesystem::path file(target);
  const std::wstring folder = file.has_parent_path() ? file.parent_path().wstring() : std::wstring(L".");
  wchar_t tempName[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder.c_str(), L"vlm", 0, tempName) == 0) {
    if (Opened != nullptr)
      *Opened = false;
    return writeError(GetSystemErrorMessage(static_cast<int>(GetLastError())));
  }
  HANDLE handle = CreateFileW(tempName, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    DeleteFileW(tempName);
    if (Opened != nullptr)
      *Opened = false;
    return writeError(GetSystemErrorMessage(static_cast<int>(code)));
  }
  const auto fail = [&](TError error) {
    if (handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
    DeleteFileW(tempName);
    return error;
  };
  const TFileSink sink = [&](std::string_view Bytes) -> TStatus {
    while (!Bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(Bytes.size(), 1U << 30));
      DWORD written = 0;
      if (!WriteFile(handle, Bytes.data(), chunk, &written, nullptr))
        return writeError(GetSystemErrorMessage(static_cast<int>(GetLastError())));
      Bytes.remove_prefix(written);
    }
    return {};
  };
  if (const TStatus produced = Produce(sink); !produced)
    return fail(TError{produced.Error()});
  if (!FlushFileBuffers(handle))
    return fail(writeError(GetSystemErrorMessage(static_cast<int>(GetLastError()))));
  CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  if (!MoveFileExW(tempName, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return fail(writeError(GetSystemErrorMessage(static_cast<int>(GetLastError()))));
  return {};
}

bool TSysUtils::DeleteDirectory(const std::string& DirPath)
{
  // Without trailing separators, which the shell's file operation does not accept; a drive's root
  // (or the separator alone, what the folder functions give for a folder they cannot name) is refused.
  std::wstring path = Utf8ToWide(DirPath);
  while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == L':'))
    path.pop_back();
  const bool isDriveRoot = path.size() >= 2 && path.size() <= 3 && path[1] == L':';
  if (path.empty() || (path.size() == 1 && IsSeparator(path[0])) || isDriveRoot) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // The source is a list of names, each ending with a zero, the list with another one.
  path.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = path.c_str();
  operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_SILENT | FOF_NOCONFIRMATION);
  const int result = SHFileOperationW(&operation);
  if (result != 0) {
    // 0x7C (DE_INVALIDFILES) is what the operation gives for a missing source.
    SetLastError(result == 0x7C ? ERROR_FILE_NOT_FOUND : static_cast<DWORD>(result));
    return false;
  }
  return true;
}

bool TSysUtils::CopyFile(const std::string& From, const std::string& To)
{
  return CopyFileW(Utf8ToWide(From).c_str(), Utf8ToWide(To).c_str(), FALSE) != 0;
}

bool TSysUtils::CopyDirectory(const std::string& From, const std::string& To)
{
  std::error_code error;
  if (!fs::is_directory(PathFromUtf8(From), error)) {
    if (error)
      RecordSystemError(error);
    else
      SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return CopyTree(PathFromUtf8(From), PathFromUtf8(To));
}

int64_t TSysUtils::GetSizeOfFile(const std::string& FilePath)
{
  // The first entry a directory search finds, whatever its attributes (a folder reports 0).
  WIN32_FIND_DATAW data{};
  const HANDLE search = FindFirstFileW(Utf8ToWide(FilePath).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
    return -1;
  FindClose(search);
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32U) | data.nFileSizeLow);
}

bool TSysUtils::IsValidFilePath(const std::string& Path)
{
  std::wstring path = Utf8ToWide(Path);
  if (path.empty() || path.size() > 32767 || Path.find('\0') != std::string::npos)
    return false;
  // The "\\?\" prefix of long paths is not part of any name.
  if (path.starts_with(L"\\\\?\\"))
    path.erase(0, 4);
  // A drive letter is the only place for a colon.
  size_t start = 0;
  if (path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]))
    start = 2;
  for (size_t i = start; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < 32 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos)
      return false;
  }
  while (start < path.size()) {
    const size_t end = std::min(path.find_first_of(L"\\/", start), path.size());
    const std::wstring_view component(path.data() + start, end - start);
    if (component.size() > 255 || IsReservedName(component))
      return false;
    start = end + 1;
  }
  return true;
}

bool TSysUtils::FilesHaveSameDateTime(const std::string& FilePath1, const std::string& FilePath2)
{
  WIN32_FILE_ATTRIBUTE_DATA first{};
  WIN32_FILE_ATTRIBUTE_DATA second{};
  if (!GetFileAttributesExW(Utf8ToWide(FilePath1).c_str(), GetFileExInfoStandard, &first) ||
      !GetFileAttributesExW(Utf8ToWide(FilePath2).c_str(), GetFileExInfoStandard, &second) ||
      ((first.dwFileAttributes | second.dwFileAttributes) & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  return CompareFileTime(&first.ftLastWriteTime, &second.ftLastWriteTime) == 0;
}

// ---------------------------------------------------------------- this computer

std::string TSysUtils::GetComputerNetName()
{
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? WideToUtf8(std::wstring_view(name, size)) : std::string();
}

std::string TSysUtils::GetUserFromWindows()
{
  // 257 characters: the longest user name (UNLEN) and its terminating zero.
  wchar_t name[257] = {};
  DWORD size = 257;
  if (!GetUserNameW(name, &size) || size <= 1)
    return "Unknown";
  return WideToUtf8(std::wstring_view(name, size - 1));
}

} // namespace velmora
