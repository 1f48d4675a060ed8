// velmora-pack: command line of the packer.
#include "Packer.h"

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
  velmora-pack --list FILE
  velmora-pack --extract FILE -o ZIP
  velmora-pack --help

Makes a packaged app: a copy of the runtime followed by an encrypted archive that holds the
app folder, its settings and its optional page script.

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

int Run(const std::vector<std::string>& args)
{
  TPackOptions options;
  std::string listPath;
  std::string extractPath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
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

  try {
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
