// The packer: bundle contents read back through the runtime's reader, and every refusal.
#include "Packer.h"

#include "ArchivePassword.h"
#include "ExeUtils.h"
#include "ExeZip.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace velmora::pack {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

// An app folder with the names users have: blanks, non-ASCII, upper case, nested folders.
struct TAppFixture {
  TTempDir Dir;
  std::map<std::string, std::string> Files = {
    {"index.html", "<!doctype html><title>Demo</title><img src=\"img/Logo.PNG\">"},
    {"img/Logo.PNG", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(3000, '\x01')},
    {"my page.html", "<p>blank in the name</p>"},
    {"Grüße/über.css", "body { color: red }"},
    {"pages/deep/more.js", std::string(50000, 'x')},
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
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Demo App/", "Demo App/Grüße/", "Demo App/Grüße/über.css",
                                             "Demo App/empty folder/", "Demo App/img/", "Demo App/img/Logo.PNG",
                                             "Demo App/index.html", "Demo App/my page.html", "Demo App/pages/",
                                             "Demo App/pages/deep/", "Demo App/pages/deep/more.js", "ryx.ini",
                                             "ryx-webviewjs"}));

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
    try {
      Pack(app.Options);
      ADD_FAILURE() << "accepted";
    } catch (const TPackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
    }
    EXPECT_EQ(std::filesystem::exists(test::PathOf(app.Options.OutputPath)), outputExisted);
    for (const auto& item : std::filesystem::directory_iterator(test::PathOf(app.Dir.File("out"))))
      EXPECT_EQ(item.path().string().find("velmora-tmp"), std::string::npos) << "temporary file left behind";
  }
}

} // namespace
} // namespace velmora::pack
