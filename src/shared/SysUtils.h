// TSysUtils: the thin wrappers around the operating system's shell, process, power, window-list and folder services.
//
// One implementation per platform behind this header: SysUtils_win.cpp (Win32) and SysUtils_posix.cpp
// (Linux: POSIX, GLib/GIO, D-Bus). Text is UTF-8; paths use the platform's own separator, and every
// operation that returns a folder ends it with that separator ("/" on Linux, "\" on Windows). A folder
// the platform has no name for comes back as the separator alone.
//
// Where Linux differs from Windows:
// - ShellExec starts a program itself (an executable file that is an ELF binary or a "#!" script; the
//   arguments are split as a shell would) and hands anything else (documents, folders, URLs) to the
//   desktop's default handler through GIO; ShellExplore asks the file manager over D-Bus
//   (org.freedesktop.FileManager1) and falls back to opening the item's folder; for an item that
//   does not exist it opens the nearest folder above it that does, as Explorer does.
// - GetDosOutput runs "/bin/sh -c" instead of "cmd.exe /C", reads UTF-8 instead of the ANSI code page,
//   and ignores ShowWindow.
// - ShellExecAsAdminAndWait elevates with pkexec when it is installed (otherwise the file runs with our
//   own rights) and shows no window, so there are no messages to pump while waiting.
// - ExitWindows asks systemd-logind on the system bus; the Windows flag values below are mapped onto
//   TerminateSession, PowerOff and Reboot.
// - GetWindowsCaptions reads the X11 window manager's client list (libxcb, loaded at run time); it is
//   empty without an X display, and under Wayland it sees only X11 windows.
// - CreateNamedMutex holds a shared flock() lock on a file in $XDG_RUNTIME_DIR (else the temporary
//   folder); as with a Windows mutex, every caller holds the name, AlreadyExists or not, so the name
//   exists as long as any of them runs.
// - The engine functions (CheckEdgeIsInstalled, UsesEngineLoaderLibrary, SetEngineEnvironment) concern
//   the Windows engine's loader library and environment; on Linux the engine is linked into the build.
// - GetLastErrorMessage: Windows reads GetLastError(); Linux keeps the message of the last failing
//   TSysUtils operation per thread (GLib, D-Bus and errno texts alike).
#pragma once

#include "Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// <windows.h> defines CopyFile and ExitWindows as macros, which would rename these members or break
// their declarations; a Windows file that includes it before this header gets them undefined here.
#ifdef CopyFile
#undef CopyFile
#endif
#ifdef ExitWindows
#undef ExitWindows
#endif

namespace velmora {

enum class TNamedMutexResult { Created, AlreadyExists, Failed };

class TSysUtils {
public:
  TSysUtils() = delete;

  // ExitWindows flags, with the values of the Windows EWX_ constants; combine them with |.
  static constexpr uint32_t kEwxLogoff = 0;
  static constexpr uint32_t kEwxShutdown = 1;
  static constexpr uint32_t kEwxReboot = 2;
  static constexpr uint32_t kEwxForce = 4;

  // Full path of the running executable (Linux: the target of /proc/self/exe).
  static std::string GetExeFilePath();

  // The system's text for an error code (errno on POSIX, GetLastError on Windows), with
  // trailing blanks, control characters and full stops removed; "" for a code without text.
  static std::string GetSystemErrorMessage(int code);
  static int GetLastErrorCode();

  // An error box that needs no window of ours: MessageBoxW on Windows. POSIX has no such
  // toolkit-free box, so the text goes to standard error there.
  static void ShowErrorMessageBox(const std::string& text, const std::string& caption);

  // The system's message for the last failure of the calling thread, trimmed like GetSystemErrorMessage.
  static std::string GetLastErrorMessage();

  // ---------------------------------------------------------------- shell and processes

  // Opens a file, folder or URL with its default handler, or starts a program with Arguments (split as
  // a shell would on Linux); does not wait. False when nothing could be started.
  static bool ShellExec(const std::string& FilePath, const std::string& Arguments);
  // ShellExec without arguments.
  static bool ShellOpen(const std::string& FilePath);
  // Shows the item selected in the file manager, or the nearest existing folder when the item is
  // missing. False only when the file manager could not be started.
  static bool ShellExplore(const std::string& FilePath);
  // Runs CommandLine through the command interpreter in WorkingDir ("" = ours) and returns what it wrote
  // to standard output and standard error, once it has ended; "" when it could not start. Blocking.
  static std::string GetDosOutput(const std::string& CommandLine, const std::string& WorkingDir, bool ShowWindow);
  // GetDosOutput keeping at most MaxBytes of output: a command that prints more is ended (its whole
  // process group on Linux, its process on Windows) and the result is nullopt. "" when it could not start.
  static std::optional<std::string> GetDosOutputLimited(const std::string& CommandLine, const std::string& WorkingDir,
                                                        bool ShowWindow, size_t MaxBytes);
  // Runs a program with administrator rights and waits for it; its exit code, 0 when it did not start.
  static uint32_t ShellExecAsAdminAndWait(void* OwnerHandle, const std::string& FilePath, const std::string& Params);
  // Runs a program command line (no interpreter) and waits for it; its exit code, 0 when it did not start.
  static uint32_t ExecAndWait(const std::string& CommandLine);
  // Runs a command through the command interpreter, hidden, waiting for it when Wait; true when it started.
  static bool ExecCmd(const std::string& CMD, bool Wait);
  // A program started by StartProcess: its process id (Linux) or handle (Windows); 0 when none.
  struct TChildProcess {
    intptr_t Id = 0;
  };
  // Starts Args[0] with the rest as its arguments (no interpreter), sharing our standard streams.
  static bool StartProcess(const std::vector<std::string>& Args, TChildProcess& Child);
  // The program's exit code once it has ended, waiting at most TimeoutMs (-1: until it ends);
  // nullopt while it runs. Once it has ended, Child is 0.
  static std::optional<uint32_t> WaitProcess(TChildProcess& Child, int TimeoutMs);
  // Ends the program and waits for it: it is terminated, not asked to close its windows (on
  // Linux SIGTERM, then SIGKILL after three seconds).
  static void StopProcess(TChildProcess& Child);
  // Starts a new instance of this program with the same arguments; the caller then quits. True when started.
  static bool RestartApplication();
  // Logs off, shuts down or restarts the computer (kEwx flags); false when the system refused.
  static bool ExitWindows(uint32_t RebootParam);
  // Replaces List with the titles of the top-level windows, topmost first, leaving out blank titles.
  static void GetWindowsCaptions(std::vector<std::string>& List);
  // Holds the single-instance object called Name until the process ends, and says whether another
  // process held it already. The caller that gets Created is the name's owner.
  static TNamedMutexResult CreateNamedMutex(const std::string& Name);
  // Calls OnEnded once, on a thread of its own, when the owner of the named object Name (the
  // process whose CreateNamedMutex gave Created) has ended; at once when it has ended already.
  static void WatchNamedMutexOwner(const std::string& Name, std::function<void()> OnEnded);
  // The running instance's end of the hand-over of a later start's arguments: Received is called,
  // on a thread of its own, with the arguments each later start of this user sends under Name.
  // False when the channel could not be made.
  static bool ListenForInstanceArgs(const std::string& Name,
                                    std::function<void(std::vector<std::string> Args)> Received);
  // A later start's end: hands Args to the instance listening under Name. False when none took
  // them within a few seconds.
  static bool SendInstanceArgs(const std::string& Name, const std::vector<std::string>& Args);

  // ---------------------------------------------------------------- browser engine

  // Whether the engine is installed, asked through its loader library (Windows); true on Linux.
  static bool CheckEdgeIsInstalled(const std::string& EdgeLoaderDllPath);
  // Whether the engine needs its loader library extracted next to the program: true on Windows only.
  static bool UsesEngineLoaderLibrary();
  // Sets the engine's environment variables (data folder, browser arguments) before it starts; Windows only.
  static void SetEngineEnvironment(const std::string& WebViewDirPath);

  // ---------------------------------------------------------------- special folders

  // The user's desktop folder.
  static std::string GetUserDesktopDirPath();
  // The user's documents folder.
  static std::string GetUserDocumentsDirPath();
  // The roaming settings folder (Linux: $XDG_CONFIG_HOME, default ~/.config).
  static std::string GetUserAppDataDirPath();
  // The local data folder (Linux: $XDG_DATA_HOME, default ~/.local/share).
  static std::string GetLocalAppDataDirPath();
  // Where applications are installed, one folder each (Linux: /opt).
  static std::string GetProgramFilesDirPath();
  // The Windows folder's SystemApps; the separator alone on Linux.
  static std::string GetSystemAppsDirPath();
  // The temporary folder (Linux: $TMPDIR, default /tmp).
  static std::string GetTempDirPath();

  // ---------------------------------------------------------------- files and folders

  // Creates a folder and its missing parents; true when it exists afterwards.
  static bool ForceDirectories(const std::string& Path);
  // Whether Path names something that is not a folder (links followed).
  static bool FileExists(const std::string& Path);
  // Whether Path names a folder (links followed).
  static bool DirectoryExists(const std::string& Path);
  // "/" on Linux, "\" on Windows.
  static std::string PathDelimiter();
  // The disk path for what follows "file:///" in an address ("C:/x.png" on Windows, "/home/x.png" on Linux).
  static std::string FileUriPathToDiskPath(const std::string& Rest);
  // Receives the bytes of a file being written; an error stops the write.
  using TFileSink = std::function<TStatus(std::string_view Bytes)>;
  // Writes a whole file through a temporary file beside it that replaces the target only once every
  // byte is on the disk: any failure (disk full, no permission, a Produce that fails) leaves the old
  // file exactly as it was and no partial file behind. Produce writes the content through the sink.
  // A link is followed (the file it names is replaced; a new file keeps the usual permissions, a
  // replaced one its own). A target that exists but is not a regular file (a FIFO, a device, a
  // folder) and a path holding a NUL character are refused. Errors name the file and the system's
  // reason. Opened is false only when no file could be made beside the target at all (a missing
  // folder, no permission): a target that is refused for what it is counts as opened.
  static TStatus WriteFileSafely(const std::string& Path, const std::function<TStatus(const TFileSink&)>& Produce,
                                 bool* Opened = nullptr);
  // Removes a folder with everything in it, or a file, without asking; false when nothing was removed.
  static bool DeleteDirectory(const std::string& DirPath);
  // Copies a file, replacing the target; false on failure.
  static bool CopyFile(const std::string& From, const std::string& To);
  // Copies a folder's contents into To (created when missing), replacing files; false on failure.
  static bool CopyDirectory(const std::string& From, const std::string& To);
  // Replaces FileList with the full paths of what is directly inside RootDir and matches FileMask
  // ('*' and '?'; "*" and "*.*" match every name; letter case ignored on Windows): the folders first
  // when IncludeDirs, then the files, each group by name. Empty for a folder that does not exist.
  static void GetDirectoryFiles(const std::string& RootDir, bool IncludeDirs, std::vector<std::string>& FileList,
                                const std::string& FileMask = "*");
  // The sum of GetSizeOfFile over what GetDirectoryFiles lists for DirPath with the mask "*.*":
  // the sizes of the files directly inside (folders count 0); 0 when it does not exist.
  static int64_t GetSizeOfDir(const std::string& DirPath, bool IncludeSubdirs = false);
  // Size in bytes of the entry at FilePath, of any kind (a folder counts 0; on Windows the first
  // entry a search for the path finds, so a wildcard names the first match); -1 when there is none.
  static int64_t GetSizeOfFile(const std::string& FilePath);
  // Number of folders directly inside DirPath; 0 when it does not exist.
  static int GetSubdirectoriesCount(const std::string& DirPath);
  // Path + delimiter + "..", made absolute (against the current folder) and normalised, with a
  // trailing delimiter: the folder holding Path; the root gives itself.
  static std::string GetParentDirPath(const std::string& Path);
  // FileName made absolute against BaseDir (when relative), with "." and ".." resolved.
  static std::string ExpandFileNameRelBaseDir(const std::string& FileName, const std::string& BaseDir);
  // Whether Path could name a file on this platform (characters, lengths; Windows: reserved names).
  static bool IsValidFilePath(const std::string& Path);
  // Whether both files exist and have the same modification time.
  static bool FilesHaveSameDateTime(const std::string& FilePath1, const std::string& FilePath2);
  // Removes a leading UTF-8 byte-order mark from a file; true when the file was read (and rewritten if needed).
  static bool RemoveUTFBoomFromFile(const std::string& FilePath);
  // "1.5 KB": bytes above 1073741824 in GB, above 1048576 in MB, above 1024 in KB, else in bytes; two decimals at most.
  static std::string FormatByteSize(int64_t Bytes);

  // ---------------------------------------------------------------- this computer

  // The computer's network name; "" when unknown.
  static std::string GetComputerNetName();
  // The name of the logged-in user; "Unknown" when it cannot be found.
  static std::string GetUserFromWindows();
};

} // namespace velmora
