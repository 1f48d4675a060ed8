// velmora-pack --deb: the packaged executable with a desktop file and icons, as a .deb made by
// dpkg-deb and as a .tar.gz of the same tree. Icons are scaled with GdkPixbuf.
#include "DesktopPackage.h"

#include "IniFile.h"
#include "PackFiles.h"
#include "Packer.h"
#include "ProjectSettings.h"
#include "SysUtils.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace velmora::pack {
namespace fs = std::filesystem;

namespace {

constexpr std::array<int, 7> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

// Runs a program with its arguments and fails with its name when it does not end with 0.
void RunTool(const std::vector<std::string>& Args)
{
  TSysUtils::TChildProcess child;
  if (!TSysUtils::StartProcess(Args, child))
    throw TPackError("Cannot run " + Args.front() + " (is it installed?): " + TSysUtils::GetLastErrorMessage());
  if (const auto code = TSysUtils::WaitProcess(child, -1); code.value_or(1) != 0)
    throw TPackError(Args.front() + " failed with exit code " + std::to_string(code.value_or(1)));
}

// The Debian architecture of an ELF executable, from the machine field of its first bytes.
std::string DebianArchitecture(const std::string& Bytes)
{
  if (Bytes.size() < 20 || Bytes.compare(0, 4,
                                         "\x7F"
                                         "ELF") != 0)
    throw TPackError("--deb needs a packaged Linux executable (an ELF file)");
  const auto machine = static_cast<unsigned>(static_cast<unsigned char>(Bytes[18])) |
                       (static_cast<unsigned>(static_cast<unsigned char>(Bytes[19])) << 8);
  switch (machine) {
  case 0x3E: return "amd64";
  case 0xB7: return "arm64";
  case 0x28: return "armhf";
  case 0x03: return "i386";
  default: throw TPackError("--deb: unknown machine " + std::to_string(machine) + " in the executable");
  }
}

// The icon decoded, fitted into squares of every hicolor size and saved as PNG files.
void WriteIcons(const std::string& ImageBytes, const fs::path& Hicolor, const std::string& DesktopId)
{
  GInputStream* stream =
    g_memory_input_stream_new_from_data(ImageBytes.data(), static_cast<gssize>(ImageBytes.size()), nullptr);
  GError* error = nullptr;
  GdkPixbuf* image = gdk_pixbuf_new_from_stream(stream, nullptr, &error);
  g_object_unref(stream);
  if (image == nullptr) {
    const std::string why = error != nullptr ? error->message : "unknown format";
    g_clear_error(&error);
    throw TPackError("Cannot read the icon: " + why);
  }
  const int width = gdk_pixbuf_get_width(image);
  const int height = gdk_pixbuf_get_height(image);
  for (const int size : kIconSizes) {
    // Fitted, centred on a transparent square: an icon that is not square keeps its proportions.
    const double scale = static_cast<double>(size) / std::max(width, height);
    const int fittedWidth = std::max(1, static_cast<int>(width * scale + 0.5));
    const int fittedHeight = std::max(1, static_cast<int>(height * scale + 0.5));
    GdkPixbuf* square = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    gdk_pixbuf_fill(square, 0);
    gdk_pixbuf_composite(image, square, (size - fittedWidth) / 2, (size - fittedHeight) / 2, fittedWidth, fittedHeight,
                         (size - fittedWidth) / 2.0, (size - fittedHeight) / 2.0, scale, scale, GDK_INTERP_HYPER, 255);
    const fs::path file = Hicolor / (std::to_string(size) + "x" + std::to_string(size)) / "apps" / (DesktopId + ".png");
    std::error_code made;
    fs::create_directories(file.parent_path(), made);
    const gboolean saved = gdk_pixbuf_save(square, Utf8FromPath(file).c_str(), "png", &error, nullptr);
    g_object_unref(square);
    if (!saved) {
      const std::string why = error != nullptr ? error->message : "";
      g_clear_error(&error);
      g_object_unref(image);
      throw TPackError("Cannot write " + Utf8FromPath(file) + ": " + why);
    }
  }
  g_object_unref(image);
}

// A desktop file value: its escapes for \ and line breaks.
std::string DesktopValue(const std::string& Text)
{
  std::string value;
  for (const char c : Text) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '\n')
      value += "\\n";
    else if (c == '\r')
      value += "\\r";
    else
      value += c;
  }
  return value;
}

} // namespace

std::string DebianPackageName(const std::string& AppId)
{
  std::string name;
  for (const char c : text::AsciiLower(AppId)) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    name += allowed ? c : '-';
  }
  while (!name.empty() && !((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= '0' && name[0] <= '9')))
    name.erase(0, 1);
  if (name.size() < 2)
    name = "velmora-app" + name;
  return name;
}

std::string DesktopFileText(const std::string& Name, const std::string& Exec, const std::string& DesktopId)
{
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         DesktopValue(Name) +
         "\n"
         "Exec=" +
         Exec +
         "\n"
         "Icon=" +
         DesktopId +
         "\n"
         "StartupWMClass=" +
         DesktopId +
         "\n"
         "Terminal=false\n"
         "Categories=Utility;\n";
}

TDesktopPackageReport WriteDesktopPackages(const std::string& PackagedPath, const std::string& SettingsPath,
                                           const TDesktopPackageOptions& Options)
{
  TMemIniFile ini;
  ini.SetText(DecodeSettingsText(ReadWholeFile(SettingsPath, "Settings file")));
  const std::string id = TProjectSettings::ReadString(ini, AppKeys::ID);
  const std::string name = TProjectSettings::ReadString(ini, AppKeys::Name);
  TDesktopPackageReport report;
  report.PackageName = DebianPackageName(id);
  report.DesktopId = DesktopIdOf(id);
  report.DebPath = Options.DebPath;
  fs::path tar = PathFromUtf8(Options.DebPath);
  tar.replace_extension(".tar.gz");
  report.TarPath = Utf8FromPath(tar);

  // Only the header is read: the program itself is copied, whatever its size.
  std::string header(20, '\0');
  {
    std::ifstream in(PathFromUtf8(PackagedPath), std::ios::binary);
    in.read(header.data(), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<size_t>(in.gcount()));
  }
  const std::string architecture = DebianArchitecture(header);
  const std::string icon =
    Options.IconPath.empty() ? Options.DefaultIcon : ReadWholeFile(Options.IconPath, "Icon file");
  std::string version = Options.Version.empty() ? std::string("1.0.0") : Options.Version;
  if (version.empty() || !std::isdigit(static_cast<unsigned char>(version[0])) ||
      version.find_first_not_of("0123456789.+-~abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
        std::string::npos)
    throw TPackError("The package version \"" + version + "\" is not a Debian version (digits first, no blanks)");

  // The tree both packages hold.
  const TTemporaryPath staging = MakeTemporaryFolder("velmora-deb-");
  const fs::path root = staging.Path() / "root";
  const fs::path programFile = root / "opt" / report.PackageName / report.PackageName;
  std::error_code error;
  fs::create_directories(programFile.parent_path(), error);
  if (!fs::copy_file(PathFromUtf8(PackagedPath), programFile, error))
    throw TPackError("Cannot copy " + PackagedPath + ": " + error.message());
  fs::permissions(programFile,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                    fs::perms::others_exec,
                  error);
  fs::create_directories(root / "usr" / "bin", error);
  fs::create_symlink("../../opt/" + report.PackageName + "/" + report.PackageName,
                     root / "usr" / "bin" / report.PackageName, error);
  if (error)
    throw TPackError("Cannot make the command link: " + error.message());
  WriteWholeFile(root / "usr" / "share" / "applications" / (report.DesktopId + ".desktop"),
                 DesktopFileText(name, "/opt/" + report.PackageName + "/" + report.PackageName, report.DesktopId));
  WriteIcons(icon, root / "usr" / "share" / "icons" / "hicolor", report.DesktopId);

  // The plain archive first (the control folder is not part of it).
  RunTool({"tar", "--owner=0", "--group=0", "--numeric-owner", "-czf", report.TarPath, "-C", Utf8FromPath(root), "opt",
           "usr"});

  const uint64_t installedKiB = (fs::file_size(programFile, error) + 1023) / 1024 + 64;
  WriteWholeFile(root / "DEBIAN" / "control", "Package: " + report.PackageName + "\nVersion: " + version +
                                                "\nArchitecture: " + architecture +
                                                "\nMaintainer: " + DesktopValue(name) +
                                                " <nobody@localhost>\n"
                                                "Installed-Size: " +
                                                std::to_string(installedKiB) +
                                                "\nDepends: libwebkit2gtk-4.1-0, libgtk-3-0\n"
                                                "Section: misc\nPriority: optional\n"
                                                "Description: " +
                                                DesktopValue(name) + "\n A desktop app packaged with Velmora.\n");
  fs::permissions(root / "DEBIAN",
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                    fs::perms::others_exec,
                  error);
  RunTool({"dpkg-deb", "--root-owner-group", "-Zxz", "--build", Utf8FromPath(root), report.DebPath});
  return report;
}

} // namespace velmora::pack
