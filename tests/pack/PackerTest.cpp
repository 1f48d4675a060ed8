// The packer: bundle contents read back through the runtime's reader, and every refusal.
#include "DevLoop.h"
#ifndef _WIN32
#include "DesktopPackage.h"
#endif
#include "Packer.h"
#include "Scaffold.h"

#include "ArchivePassword.h"
#include "ExeUtils.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "ProjectSettings.h"
#include "support/PeImage.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace velmora::pack {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

// Bytes that do not deflate.
std::string Noise(size_t Size)
{
  std::string bytes(Size, '\0');
  uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245U + 12345U;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

// An app folder with the names users have: blanks, non-ASCII, upper case, nested folders.
struct TAppFixture {
  TTempDir Dir;
  std::map<std::string, std::string> Files = {
    {"index.html", "<!doctype html><title>Demo</title><img src=\"img/Logo.PNG\">"},
    {"img/Logo.PNG", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(3000, '\x01')},
    {"my page.html", "<p>blank in the name</p>"},
    {"Grüße/über.css", "body { color: red }"},
    {"pages/deep/more.js", std::string(50000, 'x')},
    {"data/noise.bin", Noise(300000)},
  };
  TPackOptions Options;

  TAppFixture()
  {
    for (const auto& [name, bytes] : Files)
      WriteFile(Dir.File("app/" + name), bytes);
    std::filesystem::create_directories(test::PathOf(Dir.File("app/empty folder")));
    WriteFile(Dir.File("ryx.ini"), "[App]\r\nID=com.example.demo\r\nName=Demo\r\nDirName=Demo App\r\n");
    Options.SettingsPath = Dir.File("ryx.ini");
    Options.AppDir = Dir.File("app");
    Options.RuntimePath = VELMORA_RUNTIME_PATH;
    Options.OutputPath = Dir.File("out/demo");
    std::filesystem::create_directories(test::PathOf(Dir.File("out")));
  }
};

TEST(Pack, WritesAnEncryptedArchiveThatTheRuntimeReads)
{
  TAppFixture app;
  WriteFile(app.Dir.File("extra.js"), "console.log('extra');");
  app.Options.ScriptPath = app.Dir.File("extra.js");
  const std::string runtimeBefore = ReadFile(VELMORA_RUNTIME_PATH);
  std::vector<TPackPhase> phases;
  const TPackReport report = Pack(app.Options, [&](TPackPhase phase, int64_t, int64_t) { phases.push_back(phase); });

  EXPECT_EQ(ReadFile(VELMORA_RUNTIME_PATH), runtimeBefore) << "the runtime must never be altered";
  const std::string packaged = ReadFile(app.Options.OutputPath);
  ASSERT_GT(packaged.size(), runtimeBefore.size());
  EXPECT_EQ(packaged.substr(0, runtimeBefore.size()), runtimeBefore);
  EXPECT_EQ(packaged.substr(runtimeBefore.size(), 4), "PK\x03\x04");
  EXPECT_EQ(static_cast<int64_t>(packaged.size()), report.OutputSize);
  EXPECT_NE(std::find(phases.begin(), phases.end(), TPackPhase::AppendingArchive), phases.end());
#ifndef _WIN32
  EXPECT_NE(std::filesystem::status(test::PathOf(app.Options.OutputPath)).permissions() &
              std::filesystem::perms::owner_exec,
            std::filesystem::perms::none);
#endif

  const TPackagedInfo info = ListPackaged(app.Options.OutputPath);
  EXPECT_EQ(info.ImageEnd, runtimeBefore.size());
  std::vector<std::string> names;
  for (const TListedEntry& entry : info.Entries) {
    SCOPED_TRACE(entry.Name);
    EXPECT_EQ(entry.EncryptionMethod, 1) << "every entry uses the traditional PKWARE encryption";
    names.push_back(entry.Name);
    // Images and what does not deflate are stored, so reading them back inflates nothing.
    const bool stored = entry.Name == "Demo App/img/Logo.PNG" || entry.Name == "Demo App/data/noise.bin";
    if (entry.Name == "Demo App/pages/deep/more.js" || stored) {
      EXPECT_EQ(entry.CompressionMethod, stored ? 0 : 8);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Demo App/", "Demo App/Grüße/", "Demo App/Grüße/über.css",
                                             "Demo App/data/", "Demo App/data/noise.bin", "Demo App/empty folder/",
                                             "Demo App/img/", "Demo App/img/Logo.PNG", "Demo App/index.html",
                                             "Demo App/my page.html", "Demo App/pages/", "Demo App/pages/deep/",
                                             "Demo App/pages/deep/more.js", "ryx.ini", "ryx-webviewjs"}));

  TExeUtils utils(app.Options.OutputPath);
  TAttachedArchive archive;
  utils.GetZipFromExe(archive);
  TExeZip zip;
  zip.SetPassword(std::string(kArchivePassword));
  ASSERT_TRUE(zip.Open(archive.Bytes()));
  for (const auto& [name, bytes] : app.Files) {
    SCOPED_TRACE(name);
    const auto read = zip.ExtractToString("demo app/" + name);
    ASSERT_TRUE(read && read.Value());
    EXPECT_EQ(*read.Value(), bytes);
  }
  EXPECT_EQ(*zip.ExtractToString("ryx.ini").Value(), ReadFile(app.Options.SettingsPath));
  EXPECT_EQ(*zip.ExtractToString("ryx-webviewjs").Value(), "console.log('extra');");
}

TEST(Pack, RefusesBadInputsAndWritesNothing)
{
  struct TCase {
    const char* Name;
    std::function<void(TAppFixture&)> Break;
    const char* Message;
  };
  const TCase cases[] = {
    {"missing settings", [](TAppFixture& a) { a.Options.SettingsPath = a.Dir.File("nope.ini"); }, "Settings file"},
    {"empty ID", [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=\nName=n\nDirName=d\n"); }, "ID"},
    {"no Name", [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=i\nDirName=d\n"); }, "Name"},
    {"an ID that is a path",
     [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=../../.config\nName=n\nDirName=d\n"); },
     "cannot name the app's data folder"},
    {"no DirName", [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=i\nName=n\n"); }, "DirName"},
    {"start page not in the app folder",
     [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=i\nName=n\nDirName=d\nIndexHtml=start.html"); },
     "start.html"},
    {"start page is a folder",
     [](TAppFixture& a) { WriteFile(a.Options.SettingsPath, "[App]\nID=i\nName=n\nDirName=d\nIndexHtml=img"); },
     "IndexHtml"},
    {"missing app folder", [](TAppFixture& a) { a.Options.AppDir = a.Dir.File("nowhere"); }, "App folder"},
    {"missing script", [](TAppFixture& a) { a.Options.ScriptPath = a.Dir.File("none.js"); }, "Page script"},
    {"missing loader", [](TAppFixture& a) { a.Options.LoaderPath = a.Dir.File("none.dll"); }, "Loader"},
    {"missing installer", [](TAppFixture& a) { a.Options.InstallerPath = a.Dir.File("none.exe"); }, "installer"},
    {"missing runtime", [](TAppFixture& a) { a.Options.RuntimePath = a.Dir.File("none"); }, "Runtime"},
    {"runtime is not an executable", [](TAppFixture& a) { a.Options.RuntimePath = a.Options.SettingsPath; },
     "not a valid executable"},
    {"output is the runtime",
     [](TAppFixture& a) {
       std::filesystem::copy_file(VELMORA_RUNTIME_PATH, test::PathOf(a.Dir.File("out/rt")));
       a.Options.RuntimePath = a.Dir.File("out/rt");
       a.Options.OutputPath = a.Dir.File("out/../out/rt");
     },
     "must not be the runtime"},
    {"runtime already carries an archive",
     [](TAppFixture& a) {
       TPackOptions first = a.Options;
       first.OutputPath = a.Dir.File("first");
       Pack(first);
       a.Options.RuntimePath = first.OutputPath;
     },
     "already carries an archive"},
    {"output folder missing", [](TAppFixture& a) { a.Options.OutputPath = a.Dir.File("no/such/dir/app"); },
     "output folder"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TAppFixture app;
    c.Break(app);
    const bool outputExisted = std::filesystem::exists(test::PathOf(app.Options.OutputPath));
    // "velmora-pack check" refuses exactly what a pack refuses.
    for (const bool checkOnly : {true, false}) {
      try {
        if (checkOnly)
          CheckPack(app.Options);
        else
          Pack(app.Options);
        ADD_FAILURE() << (checkOnly ? "check accepted" : "pack accepted");
      } catch (const TPackError& error) {
        EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
      }
    }
    EXPECT_EQ(std::filesystem::exists(test::PathOf(app.Options.OutputPath)), outputExisted);
    for (const auto& item : std::filesystem::directory_iterator(test::PathOf(app.Dir.File("out"))))
      EXPECT_EQ(item.path().string().find("velmora-tmp"), std::string::npos) << "temporary file left behind";
  }
}

TEST(Pack, CheckListsWhatTheBundleHoldsAndWritesNothing)
{
  TAppFixture app;
  app.Options.OutputPath.clear();
  const TPackPlan plan = CheckPack(app.Options);
  std::map<std::string, uint64_t> sizes;
  for (const TPlannedEntry& entry : plan.Entries)
    sizes[entry.Name] = entry.IsFolder ? UINT64_MAX : entry.Size;
  EXPECT_EQ(sizes.at("Demo App/"), UINT64_MAX);
  EXPECT_EQ(sizes.at("Demo App/data/noise.bin"), 300000U);
  EXPECT_EQ(sizes.at("Demo App/Grüße/über.css"), app.Files.at("Grüße/über.css").size());
  EXPECT_EQ(sizes.at("ryx.ini"), ReadFile(app.Options.SettingsPath).size());
  EXPECT_EQ(sizes.at("ryx-webviewjs"), 0U);
  EXPECT_EQ(plan.Entries.back().Name, "ryx-webviewjs");
  EXPECT_TRUE(std::filesystem::is_empty(test::PathOf(app.Dir.File("out"))));
}

TEST(Scaffold, InitWritesAnAppThatPacksWithEveryKeyListed)
{
  TTempDir dir;
  const std::string root = dir.File("My Notes");
  const auto written = WriteScaffold(root);
  EXPECT_EQ(written,
            (std::vector<std::string>{"ryx.ini", "app/index.html", "app/main.js", "ryx.d.ts", "jsconfig.json"}));
  EXPECT_NE(ReadFile(root + "/ryx.d.ts").find("declare var ryx: Ryx;"), std::string::npos);

  // The identity is set; every other key is there, commented out with its default.
  const std::string settings = ReadFile(root + "/ryx.ini");
  TMemIniFile ini;
  ini.SetText(DecodeSettingsText(settings));
  EXPECT_EQ(TProjectSettings::ReadString(ini, AppKeys::ID), "org.example.my-notes");
  EXPECT_EQ(TProjectSettings::ReadString(ini, AppKeys::Name), "My Notes");
  EXPECT_EQ(TProjectSettings::ReadString(ini, AppKeys::DirName), "app");
  for (const TSettingKey* key : AppKeys::All) {
    if (key == &AppKeys::ID || key == &AppKeys::Name || key == &AppKeys::DirName)
      continue;
    const std::string line = "\n;" + std::string(key->Name) + "=";
    const size_t at = settings.find(line);
    ASSERT_NE(at, std::string::npos) << key->Name;
    const std::string value = settings.substr(at + line.size(), settings.find('\n', at + 1) - at - line.size());
    TMemIniFile one;
    one.SetText(DecodeSettingsText("[App]\n" + std::string(key->Name) + "=" + value));
    EXPECT_EQ(TProjectSettings::ReadAsText(one, *key), TProjectSettings::ReadAsText(TMemIniFile(), *key)) << key->Name;
  }

  TPackOptions options;
  options.SettingsPath = root + "/ryx.ini";
  options.AppDir = root + "/app";
  options.RuntimePath = VELMORA_RUNTIME_PATH;
  EXPECT_EQ(CheckPack(options).Entries.size(), 5U); // app/, index.html, main.js, ryx.ini, ryx-webviewjs

  // A folder that holds anything is left alone.
  EXPECT_THROW(WriteScaffold(root), TPackError);
  WriteFile(dir.File("busy/keep.txt"), "mine");
  EXPECT_THROW(WriteScaffold(dir.File("busy")), TPackError);
  EXPECT_EQ(ReadFile(dir.File("busy/keep.txt")), "mine");
}

TEST(DevLoop, TheFingerprintFollowsEveryChangeOfTheInputs)
{
  TAppFixture app;
  const std::string before = InputsFingerprint(app.Options);
  EXPECT_EQ(InputsFingerprint(app.Options), before);
  const std::vector<std::function<void()>> changes = {
    [&] { WriteFile(app.Dir.File("app/index.html"), "<p>longer than it was before the change</p>"); },
    [&] { WriteFile(app.Dir.File("app/pages/new.js"), ""); },
    [&] { std::filesystem::remove(test::PathOf(app.Dir.File("app/my page.html"))); },
    [&] { WriteFile(app.Options.SettingsPath, "[App]\nID=other\nName=n\nDirName=d\n"); },
  };
  std::string last = before;
  for (size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    changes[i]();
    const std::string now = InputsFingerprint(app.Options);
    EXPECT_NE(now, last);
    last = now;
  }
}

TEST(DesktopNames, IdsBecomeDesktopAndPackageNames)
{
  const std::tuple<const char*, const char*, const char*> cases[] = {
    {"org.velmora.showcase", "org.velmora.showcase", "org.velmora.showcase"},
    {"org.example.My Notes", "org.example.My-Notes", "org.example.my-notes"},
    {"Über_App+1", "--ber_App-1", "ber-app+1"}, // two bytes of UTF-8, two dashes
    {"_x", "_x", "velmora-appx"},
  };
  for (const auto& [id, desktop, package] : cases) {
    SCOPED_TRACE(id);
    EXPECT_EQ(DesktopIdOf(id), desktop);
#ifndef _WIN32
    EXPECT_EQ(DebianPackageName(id), package);
#else
    (void)package;
#endif
  }
}

// ---- Branding a Windows runtime: --icon and --version.

// A Windows runtime to pack: the one this build makes when it is a Windows build, else the small
// program linked with the runtime's resources when the build found the mingw-w64 tools.
std::string WindowsRuntime()
{
  if (ReadFile(VELMORA_RUNTIME_PATH).substr(0, 2) == "MZ")
    return VELMORA_RUNTIME_PATH;
#ifdef VELMORA_PE_FIXTURE_RELOCATIONS_LAST
  return VELMORA_PE_FIXTURE_RELOCATIONS_LAST;
#else
  return {};
#endif
}

std::map<std::string, std::string> TextsOf(const std::string& exe)
{
  std::map<std::string, std::string> texts;
  auto tables = TExeUtils::GetExeVersionTexts(exe);
  EXPECT_TRUE(tables && tables.Value().size() == 1);
  if (tables && !tables.Value().empty()) {
    for (const pe::TVersionText& text : tables.Value()[0].Texts)
      texts[text.Key] = text.Value;
  }
  return texts;
}

TEST(Pack, BrandsAWindowsRuntimeCopyBeforeAppendingTheArchive)
{
  const std::string runtime = WindowsRuntime();
  if (runtime.empty())
    GTEST_SKIP() << "no Windows runtime in this build";
  TAppFixture app;
  app.Options.RuntimePath = runtime;
  app.Options.OutputPath = app.Dir.File("out/Demo App.exe");
  const std::vector<std::string> images = {std::string(500, 'a'), std::string(90000, 'b'), std::string(700, 'c')};
  const std::string ico = test::IcoFile(images);
  WriteFile(app.Dir.File("my icon.ico"), ico);
  app.Options.IconPath = app.Dir.File("my icon.ico");
  app.Options.VersionTexts = {{"ProductName", "First"},
                              {"FileVersion", "2.5.0.1"},
                              {"originalfilename", "Demo App.exe"},
                              {"ProductName", "Demo App"},
                              {"Comments", ""}};
  const std::string runtimeBefore = ReadFile(runtime);
  Pack(app.Options);
  EXPECT_TRUE(ReadFile(runtime) == runtimeBefore) << "the runtime must never be altered";

  // The archive starts where the branded image ends, and reads back.
  const TPackagedInfo info = ListPackaged(app.Options.OutputPath);
  const std::string packaged = ReadFile(app.Options.OutputPath);
  ASSERT_LT(info.ImageEnd, packaged.size());
  EXPECT_EQ(packaged.substr(static_cast<size_t>(info.ImageEnd), 4), "PK\x03\x04");
  EXPECT_EQ(info.Entries.back().Name, "ryx-webviewjs");
  TExeUtils utils(app.Options.OutputPath);
  TAttachedArchive archive;
  utils.GetZipFromExe(archive);
  TExeZip zip;
  zip.SetPassword(std::string(kArchivePassword));
  ASSERT_TRUE(zip.Open(archive.Bytes()));
  EXPECT_EQ(*zip.ExtractToString("ryx.ini").Value(), ReadFile(app.Options.SettingsPath));

  // The image before the archive carries the icon and the texts.
  const std::string image = packaged.substr(0, static_cast<size_t>(info.ImageEnd));
  WriteFile(app.Dir.File("image.exe"), image);
  test::ExpectConsistentPeLayout(test::Bytes(image), false);
  auto table = pe::ReadResources(test::Bytes(image));
  ASSERT_TRUE(table) << table.Error();
  const pe::TResource* group =
    table.Value().FindDefault(pe::TResourceKey::Number(pe::kGroupIconType), pe::TResourceKey::Text(u"MAINICON"));
  ASSERT_NE(group, nullptr);
  const auto parsed = pe::ParseIconGroup(group->Data);
  ASSERT_TRUE(parsed && parsed->Entries.size() == images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const pe::TResource* data = table.Value().FindDefault(pe::TResourceKey::Number(pe::kIconType),
                                                          pe::TResourceKey::Number(parsed->Entries[i].ImageId));
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(std::string(data->Data.begin(), data->Data.end()) == images[i]) << "image " << i << " differs";
  }
  // Texts given (the last of a key counts), the versions' 1.0.0.0 kept, blank placeholders emptied.
  EXPECT_EQ(TextsOf(app.Dir.File("image.exe")),
            (std::map<std::string, std::string>{{"CompanyName", ""},
                                                {"FileDescription", ""},
                                                {"FileVersion", "2.5.0.1"},
                                                {"InternalName", ""},
                                                {"LegalCopyright", ""},
                                                {"LegalTrademarks", ""},
                                                {"OriginalFilename", "Demo App.exe"},
                                                {"ProgramID", ""},
                                                {"ProductName", "Demo App"},
                                                {"ProductVersion", "1.0.0.0"},
                                                {"Comments", ""}}));
}

TEST(Pack, RefusesBrandingItCannotDoAndWritesNothing)
{
  const std::string runtime = WindowsRuntime();
  // A 64-byte ELF header: an executable image with nothing attached, but not a Windows one.
  std::string elf(64, '\0');
  elf.replace(0, 6,
              "\x7F"
              "ELF\x02\x01");
  struct TCase {
    const char* Name;
    bool NeedsWindowsRuntime;
    std::function<void(TAppFixture&)> Break;
    const char* Message;
  };
  const TCase cases[] = {
    {"an unknown key", false,
     [](TAppFixture& a) {
       a.Options.VersionTexts = {{"ProductName", "x"}, {"Version", "1"}};
     },
     "Unknown version key \"Version\" (--version); the keys are CompanyName, FileDescription"},
    {"a runtime that is not a Windows one", false,
     [&](TAppFixture& a) {
       WriteFile(a.Dir.File("elf-runtime"), elf);
       a.Options.RuntimePath = a.Dir.File("elf-runtime");
       a.Options.VersionTexts = {{"ProductName", "x"}};
     },
     "--icon and --version brand a Windows runtime; this runtime is not a Windows executable"},
    {"an icon for a runtime that is not a Windows one", false,
     [&](TAppFixture& a) {
       WriteFile(a.Dir.File("elf-runtime"), elf);
       WriteFile(a.Dir.File("icon.ico"), test::IcoFile({"abc"}));
       a.Options.RuntimePath = a.Dir.File("elf-runtime");
       a.Options.IconPath = a.Dir.File("icon.ico");
     },
     "not a Windows executable"},
    {"a missing icon", false, [](TAppFixture& a) { a.Options.IconPath = a.Dir.File("none.ico"); },
     "Icon file not found"},
    {"an invalid icon", true,
     [&](TAppFixture& a) {
       WriteFile(a.Dir.File("bad.ico"), "MZ this is no icon");
       a.Options.RuntimePath = runtime;
       a.Options.IconPath = a.Dir.File("bad.ico");
     },
     "Icon file is invalid"},
    {"an icon over 1,048,576 bytes", true,
     [&](TAppFixture& a) {
       WriteFile(a.Dir.File("big.ico"), test::IcoFile({std::string(1048576, 'x')}));
       a.Options.RuntimePath = runtime;
       a.Options.IconPath = a.Dir.File("big.ico");
     },
     "Icon file is too large"},
    {"a version longer than its slot", true,
     [&](TAppFixture& a) {
       a.Options.RuntimePath = runtime;
       a.Options.VersionTexts = {{"ProductVersion", "10.20.30.40"}};
     },
     "The version text ProductVersion is too long: 11 characters where the executable's version block holds 7"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.NeedsWindowsRuntime && runtime.empty())
      continue;
    TAppFixture app;
    c.Break(app);
    try {
      Pack(app.Options);
      ADD_FAILURE() << "accepted";
    } catch (const TPackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(test::PathOf(app.Options.OutputPath)));
    for (const auto& item : std::filesystem::directory_iterator(test::PathOf(app.Dir.File("out"))))
      ADD_FAILURE() << "left behind: " << item.path().string();
  }
}

TEST(Pack, WarnsWhenTheRuntimeHasNoVersionTextsToRewrite)
{
  TAppFixture app;
  test::TPeImageLayout layout;
  layout.Sections.push_back({".text", std::vector<uint8_t>(0x100, 0xC3), 0x60000020});
  layout.Sections.push_back({".rsrc", test::EmptyResourceTree(), 0x40000040});
  layout.ResourceSection = 1;
  const auto image = test::BuildPeImage(layout);
  WriteFile(app.Dir.File("bare.exe"), std::string(image.begin(), image.end()));
  app.Options.RuntimePath = app.Dir.File("bare.exe");
  app.Options.LoaderPath = app.Options.SettingsPath; // any readable file: no warning about the loader
  app.Options.VersionTexts = {{"ProductName", "Demo"}};
  const TPackReport report = Pack(app.Options);
  EXPECT_EQ(report.Warnings,
            std::vector<std::string>{"The runtime has no version texts to rewrite; --version changes nothing"});
  EXPECT_EQ(ListPackaged(app.Options.OutputPath).ImageEnd, image.size());
  EXPECT_TRUE(ReadFile(app.Options.OutputPath).substr(0, image.size()) == std::string(image.begin(), image.end()))
    << "the runtime copy must stay as it was";
}

} // namespace
} // namespace velmora::pack
