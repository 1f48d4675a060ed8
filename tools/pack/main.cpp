// velmora-pack: command line of the packer.
#include "DevLoop.h"
#include "Packer.h"
#include "Scaffold.h"
#ifndef _WIN32
#include "DesktopPackage.h"
#endif

#include "SysUtils.h"
#include "TextCodec.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define VELMORA_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define VELMORA_ISATTY(fd) isatty(fd)
#endif

namespace {

using namespace velmora::pack;

constexpr const char* kUsage = R"(Usage:
  velmora-pack --settings FILE --app DIR [options] -o FILE
  velmora-pack init DIR
  velmora-pack check --settings FILE --app DIR [options]
  velmora-pack run --settings FILE --app DIR [options] [--watch] [-- ARG...]
  velmora-pack --list FILE
  velmora-pack --extract FILE -o ZIP
  velmora-pack --help

Makes a packaged app: a copy of the runtime followed by an encrypted archive that holds the
app folder, its settings and its optional page script.

  init DIR   writes a small working app into DIR (new or empty): ryx.ini with every key,
             app/index.html and app/main.js using the bridge, and the typings ryx.d.ts
  check      checks the app as a pack would, writing nothing, and lists what the bundle holds
  run        packs the app to a temporary file and runs it (ARGs passed on); ends with the
             app's exit code. --watch packs and restarts it whenever a file of the app, the
             settings or the script changes, until the app is closed

Options:
  --settings FILE   the app's settings (ryx.ini); needs ID, Name and DirName in [App]
  --app DIR         the app folder; stored under the settings' DirName
  --script FILE     extra script run in every page (stored empty when not given)
  --runtime FILE    the runtime to copy (default: the runtime beside velmora-pack)
  --loader FILE     the engine loader library (Windows bundles)
  --installer FILE  the engine installer (Windows bundles)
  --icon FILE       Windows runtime: the app's icon, an .ico file of at most 1,048,576 bytes
  --version KEY=VALUE
                    Windows runtime: a text of the version block; repeatable. KEY is
                    one of CompanyName, FileDescription, FileVersion, InternalName,
                    LegalCopyright, LegalTrademarks, OriginalFileName, ProgramID,
                    ProductName, ProductVersion, Comments (any letter case).
                    FileVersion and ProductVersion take up to 7 characters (1.2.3.4),
                    the others up to 255; a longer value is refused. Keys not given
                    keep 1.0.0.0 (the versions) or are left empty.
  --deb FILE.deb    Linux runtime: also write a Debian package of the app, and FILE.tar.gz with
                    the same files: the program in /opt/<package>, a command in /usr/bin, a
                    desktop file and the icon in the hicolor sizes (needs dpkg-deb and tar)
  --deb-icon FILE   the icon of the desktop packages, an image (PNG, SVG, ICO, ...); default:
                    the runtime's own
  --deb-version V   the version of the Debian package (default 1.0.0)
  -o, --output FILE the packaged executable to write (or the ZIP file for --extract)
  --list FILE       list the archive entries of a packaged executable
  --extract FILE    write the archive of a packaged executable as a plain ZIP file
  --help            show this text
)";

int Usage(const std::string& problem)
{
  std::fprintf(stderr, "velmora-pack: %s\n\n%s", problem.c_str(), kUsage);
  return 2;
}

std::string DefaultRuntimePath()
{
  const std::string self = velmora::TSysUtils::GetExeFilePath();
  const std::filesystem::path dir = velmora::PathFromUtf8(self).parent_path();
#ifdef _WIN32
  return velmora::Utf8FromPath(dir / "VelmoraRuntime.exe");
#else
  return velmora::Utf8FromPath(dir / "VelmoraRuntime");
#endif
}

const char* EncryptionName(uint16_t method)
{
  switch (method) {
  case 0: return "none";
  case 1: return "pkware";
  case 0x0101: return "aes128";
  case 0x0102: return "aes192";
  case 0x0103: return "aes256";
  default: return "other";
  }
}

class TProgressLine {
public:
  explicit TProgressLine(bool terminal) : FTerminal(terminal) {}
  void operator()(TPackPhase phase, int64_t done, int64_t total)
  {
    const char* label = phase == TPackPhase::WritingArchive ? "Writing archive" : "Appending to runtime";
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (FTerminal) {
      if (percent != FLastPercent || phase != FLastPhase)
        std::fprintf(stderr, "\r%-22s %3d%%%s", label, percent, percent >= 100 ? "\n" : "");
    } else if (phase != FLastPhase) {
      std::fprintf(stderr, "%s...\n", label);
    }
    FLastPercent = percent;
    FLastPhase = phase;
  }

private:
  bool FTerminal;
  int FLastPercent = -1;
  TPackPhase FLastPhase = TPackPhase::AppendingArchive;
};

// Lists the entries of a bundle that CheckPack has planned.
void PrintPlan(const TPackPlan& plan)
{
  std::printf("%12s  %s\n", "bytes", "entry");
  for (const TPlannedEntry& entry : plan.Entries) {
    if (entry.IsFolder)
      std::printf("%12s  %s\n", "", entry.Name.c_str());
    else
      std::printf("%12llu  %s\n", static_cast<unsigned long long>(entry.Size), entry.Name.c_str());
  }
  std::printf("%zu entries, %llu bytes before compression\n", plan.Entries.size(),
              static_cast<unsigned long long>(plan.TotalBytes));
}

int Run(std::vector<std::string> args)
{
  TPackOptions options;
  std::string listPath;
  std::string extractPath;
  std::string debPath;
  std::string debIcon;
  std::string debVersion;
  // A leading command word: init, check or run.
  const std::string command =
    !args.empty() && (args[0] == "init" || args[0] == "check" || args[0] == "run") ? args[0] : std::string();
  if (!command.empty())
    args.erase(args.begin());
  if (command == "init") {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
      return Usage("init needs one folder");
    try {
      for (const std::string& file : WriteScaffold(args[0]))
        std::printf("Wrote %s/%s\n", args[0].c_str(), file.c_str());
      std::printf("Run it with: velmora-pack run --settings %s/ryx.ini --app %s/app --watch\n", args[0].c_str(),
                  args[0].c_str());
      return 0;
    } catch (const TPackError& error) {
      std::fprintf(stderr, "velmora-pack: %s\n", error.what());
      return 1;
    }
  }
  bool watch = false;
  std::vector<std::string> appArgs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (command == "run" && arg == "--watch") {
      watch = true;
      continue;
    }
    if (command == "run" && arg == "--") {
      appArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      // Repeatable, and the text may be empty: "--version Comments=" empties the comments.
      const std::string pair = i + 1 < args.size() ? args[++i] : std::string();
      const size_t equals = pair.find('=');
      if (equals == std::string::npos || equals == 0)
        return Usage("--version needs KEY=VALUE");
      options.VersionTexts.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
      continue;
    }
    std::string* target = nullptr;
    if (arg == "--settings")
      target = &options.SettingsPath;
    else if (arg == "--app")
      target = &options.AppDir;
    else if (arg == "--script")
      target = &options.ScriptPath;
    else if (arg == "--runtime")
      target = &options.RuntimePath;
    else if (arg == "--loader")
      target = &options.LoaderPath;
    else if (arg == "--installer")
      target = &options.InstallerPath;
    else if (arg == "--icon")
      target = &options.IconPath;
    else if (arg == "-o" || arg == "--output")
      target = &options.OutputPath;
    else if (arg == "--deb" && command.empty())
      target = &debPath;
    else if (arg == "--deb-icon" && command.empty())
      target = &debIcon;
    else if (arg == "--deb-version" && command.empty())
      target = &debVersion;
    else if (arg == "--list")
      target = &listPath;
    else if (arg == "--extract")
      target = &extractPath;
    else
      return Usage("unknown argument \"" + arg + "\"");
    if (i + 1 >= args.size() || args[i + 1].empty())
      return Usage(arg + " needs a value");
    *target = args[++i];
  }

#ifdef _WIN32
  if (!debPath.empty())
    return Usage("--deb is made by the Linux packer");
#endif
  try {
    if (!command.empty()) {
      if (options.SettingsPath.empty() || options.AppDir.empty())
        return Usage(command + " needs --settings and --app");
      if (!options.OutputPath.empty() || !listPath.empty() || !extractPath.empty())
        return Usage(command + " takes no -o, --list or --extract");
      if (options.RuntimePath.empty())
        options.RuntimePath = DefaultRuntimePath();
      if (command == "check") {
        const TPackPlan plan = CheckPack(options);
        for (const std::string& warning : plan.Warnings)
          std::fprintf(stderr, "velmora-pack: warning: %s\n", warning.c_str());
        PrintPlan(plan);
        return 0;
      }
      TRunOptions run;
      run.Pack = options;
      run.Watch = watch;
      run.AppArgs = appArgs;
      // What happens goes to a terminal; run from a script, only failures are reported.
      const bool terminal = VELMORA_ISATTY(2) != 0;
      return RunApp(run, [terminal](const std::string& line) {
        if (terminal)
          std::fprintf(stderr, "velmora-pack: %s\n", line.c_str());
      });
    }
    if (!listPath.empty()) {
      const TPackagedInfo info = ListPackaged(listPath);
      std::printf("%s: archive at offset %llu, %llu bytes, %zu entries\n", listPath.c_str(),
                  static_cast<unsigned long long>(info.ImageEnd), static_cast<unsigned long long>(info.ArchiveSize),
                  info.Entries.size());
      std::printf("%12s %12s %-8s %-7s %s\n", "size", "compressed", "method", "crypt", "name");
      for (const TListedEntry& entry : info.Entries) {
        std::printf("%12llu %12llu %-8s %-7s %s\n", static_cast<unsigned long long>(entry.Size),
                    static_cast<unsigned long long>(entry.CompressedSize),
                    entry.CompressionMethod == 0 ? "stored" : (entry.CompressionMethod == 8 ? "deflated" : "other"),
                    EncryptionName(entry.EncryptionMethod), entry.Name.c_str());
      }
      return 0;
    }
    if (!extractPath.empty()) {
      if (options.OutputPath.empty())
        return Usage("--extract needs -o ZIP");
      ExtractArchive(extractPath, options.OutputPath);
      std::printf("Wrote %s\n", options.OutputPath.c_str());
      return 0;
    }
    if (options.SettingsPath.empty() || options.AppDir.empty() || options.OutputPath.empty())
      return Usage("--settings, --app and -o are required");
    if (options.RuntimePath.empty())
      options.RuntimePath = DefaultRuntimePath();
    TProgressLine progress(VELMORA_ISATTY(2) != 0);
    const TPackReport report = Pack(options, std::ref(progress));
    for (const std::string& warning : report.Warnings)
      std::fprintf(stderr, "velmora-pack: warning: %s\n", warning.c_str());
    std::printf("Packed %zu entries (%lld bytes of archive) into %s (%lld bytes)\n", report.EntryCount,
                static_cast<long long>(report.ArchiveSize), options.OutputPath.c_str(),
                static_cast<long long>(report.OutputSize));
#ifndef _WIN32
    if (!debPath.empty()) {
      static constexpr unsigned char kVelmoraIcon[] = {
#include "VelmoraIcon.inc"
      };
      TDesktopPackageOptions desktop;
      desktop.DebPath = debPath;
      desktop.IconPath = debIcon;
      desktop.Version = debVersion;
      desktop.DefaultIcon.assign(reinterpret_cast<const char*>(kVelmoraIcon), sizeof kVelmoraIcon);
      const TDesktopPackageReport packages = WriteDesktopPackages(options.OutputPath, options.SettingsPath, desktop);
      std::printf("Wrote %s and %s (package %s, desktop file %s.desktop)\n", packages.DebPath.c_str(),
                  packages.TarPath.c_str(), packages.PackageName.c_str(), packages.DesktopId.c_str());
    }
#endif
    return 0;
  } catch (const TPackError& error) {
    std::fprintf(stderr, "velmora-pack: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmora-pack: unexpected failure: %s\n", error.what());
    return 1;
  }
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(velmora::WideToUtf8(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
