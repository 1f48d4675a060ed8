// velmora-pack run: the author's loop of packing, running, editing and running again.
#include "DevLoop.h"

#include "PackFiles.h"
#include "SysUtils.h"
#include "TextCodec.h"

#include <filesystem>

namespace velmora::pack {
namespace fs = std::filesystem;

namespace {

void AddStamp(std::string& Print, const fs::path& Path)
{
  std::error_code error;
  const auto status = fs::status(Path, error);
  Print += Utf8FromPath(Path);
  if (!error && fs::is_regular_file(status)) {
    Print += '|' + std::to_string(fs::file_size(Path, error));
    Print += '|' + std::to_string(fs::last_write_time(Path, error).time_since_epoch().count());
  } else if (!error && fs::is_directory(status)) {
    Print += "|dir";
  }
  Print += '\n';
}

// Packs into the run folder under a fresh name (a running executable is never overwritten) and
// returns the packaged app's path.
std::string PackRound(const TRunOptions& Options, const TTemporaryPath& Folder, int Round,
                      const std::function<void(const std::string&)>& Say)
{
  TPackOptions pack = Options.Pack;
  const std::string folderName = Utf8FromPath(PathFromUtf8(Options.Pack.AppDir).lexically_normal().filename());
  const std::string name = (folderName.empty() ? std::string("app") : folderName) + "-" + std::to_string(Round);
#ifdef _WIN32
  pack.OutputPath = Utf8FromPath(Folder.Path() / (name + ".exe"));
#else
  pack.OutputPath = Utf8FromPath(Folder.Path() / name);
#endif
  const TPackReport report = Pack(pack);
  for (const std::string& warning : report.Warnings)
    Say("warning: " + warning);
  Say("Packed " + std::to_string(report.EntryCount) + " entries, " + std::to_string(report.OutputSize) + " bytes");
  return pack.OutputPath;
}

TSysUtils::TChildProcess Start(const std::string& Executable, const std::vector<std::string>& AppArgs)
{
  std::vector<std::string> args{Executable};
  args.insert(args.end(), AppArgs.begin(), AppArgs.end());
  TSysUtils::TChildProcess child;
  if (!TSysUtils::StartProcess(args, child))
    throw TPackError("Cannot start " + Executable + ": " + TSysUtils::GetLastErrorMessage());
  return child;
}

} // namespace

std::string InputsFingerprint(const TPackOptions& Options)
{
  std::string print;
  AddStamp(print, PathFromUtf8(Options.SettingsPath));
  if (!Options.ScriptPath.empty())
    AddStamp(print, PathFromUtf8(Options.ScriptPath));
  std::error_code error;
  const fs::path appDir = PathFromUtf8(Options.AppDir);
  AddStamp(print, appDir);
  for (auto it = fs::recursive_directory_iterator(appDir, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error))
    AddStamp(print, it->path());
  return print;
}

int RunApp(const TRunOptions& Options, const std::function<void(const std::string&)>& Say)
{
  const TTemporaryPath folder = MakeTemporaryFolder("velmora-run-");
  int round = 0;
  std::string print = InputsFingerprint(Options.Pack);
  std::string executable = PackRound(Options, folder, ++round, Say);
  TSysUtils::TChildProcess child = Start(executable, Options.AppArgs);
  for (;;) {
    if (const auto code = TSysUtils::WaitProcess(child, Options.Watch ? Options.PollMs : -1))
      return static_cast<int>(*code);
    const std::string now = InputsFingerprint(Options.Pack);
    if (now == print)
      continue;
    print = now;
    Say("A change: packing again");
    // Packed beside the running app first, so a mistake leaves that one as it is.
    std::string next;
    try {
      next = PackRound(Options, folder, ++round, Say);
    } catch (const TPackError& error) {
      Say(std::string("Not repacked: ") + error.what());
      continue;
    }
    TSysUtils::StopProcess(child);
    std::error_code error;
    fs::remove(PathFromUtf8(executable), error);
    executable = std::move(next);
    child = Start(executable, Options.AppArgs);
  }
}

} // namespace velmora::pack
