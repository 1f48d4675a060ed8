// Windows only: what the system's resource functions read back from executables branded by either
// editor, compared with the portable reader, and branded programs that still start.
#include "ExeUtils.h"

#include "TextCodec.h"
#include "support/PeImage.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <map>

namespace velmora {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

// The main icon and the version texts of an executable.
struct TBranding {
  std::vector<std::pair<std::string, std::string>> IconEntries;    // 14-byte group entry, image bytes
  std::map<std::string, std::map<std::string, std::string>> Texts; // translation "LLLLCCCC" -> key -> text
  bool operator==(const TBranding&) const = default;
};

std::string Translation(uint16_t language, uint16_t codePage)
{
  char text[9];
  std::snprintf(text, sizeof text, "%04X%04X", language, codePage);
  return text;
}

// Read by the system: the module loaded as data, FindResource and LoadResource for the icon,
// GetFileVersionInfo and VerQueryValue for the texts.
TBranding ReadWithTheSystem(const std::string& path)
{
  TBranding branding;
  const std::wstring widePath = Utf8ToWide(path);
  const HMODULE module = LoadLibraryExW(widePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(module, nullptr);
  if (module == nullptr)
    return branding;
  auto bytesOf = [&](HRSRC resource) {
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return data != nullptr ? std::string(data, SizeofResource(module, resource)) : std::string("<unreadable>");
  };
  if (const HRSRC group = FindResourceW(module, L"MAINICON", RT_GROUP_ICON)) {
    const std::string directory = bytesOf(group);
    const size_t count = directory.size() >= 6 ? static_cast<uint8_t>(directory[4]) : 0;
    for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= directory.size(); ++i) {
      const std::string entry = directory.substr(6 + 14 * i, 14);
      const auto id = static_cast<WORD>(static_cast<uint8_t>(entry[12]) | (static_cast<uint8_t>(entry[13]) << 8));
      const HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
      branding.IconEntries.emplace_back(entry, image != nullptr ? bytesOf(image) : "<missing>");
    }
  }
  FreeLibrary(module);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0)
    return branding;
  std::vector<char> block(size);
  EXPECT_TRUE(GetFileVersionInfoW(widePath.c_str(), 0, size, block.data()));
  void* pairs = nullptr;
  UINT pairsSize = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &pairs, &pairsSize))
    return branding;
  for (UINT at = 0; at + 4 <= pairsSize; at += 4) {
    const auto* pair = static_cast<const WORD*>(pairs) + at / 2;
    const std::string table = Translation(pair[0], pair[1]);
    for (const std::string_view key : kExeVersionKeys) {
      void* value = nullptr;
      UINT length = 0;
      const std::wstring query = L"\\StringFileInfo\\" + Utf8ToWide(table) + L"\\" + Utf8ToWide(key);
      if (VerQueryValueW(block.data(), query.c_str(), &value, &length) && value != nullptr)
        branding.Texts[table][std::string(key)] = WideToUtf8(static_cast<const wchar_t*>(value));
    }
  }
  return branding;
}

// Read by the portable reader.
TBranding ReadPortably(const std::string& path)
{
  TBranding branding;
  const std::string file = ReadFile(path);
  auto table = pe::ReadResources(std::vector<uint8_t>(file.begin(), file.end()));
  EXPECT_TRUE(table) << table.Error();
  if (!table)
    return branding;
  const auto groupType = pe::TResourceKey::Number(pe::kGroupIconType);
  if (const pe::TResource* group = table.Value().FindDefault(groupType, pe::TResourceKey::Text(u"MAINICON"))) {
    const std::string directory(group->Data.begin(), group->Data.end());
    const auto parsed = pe::ParseIconGroup(group->Data);
    for (size_t i = 0; parsed && i < parsed->Entries.size(); ++i) {
      const pe::TResource* image = table.Value().FindDefault(pe::TResourceKey::Number(pe::kIconType),
                                                             pe::TResourceKey::Number(parsed->Entries[i].ImageId));
      branding.IconEntries.emplace_back(directory.substr(6 + 14 * i, 14),
                                        image != nullptr ? std::string(image->Data.begin(), image->Data.end())
                                                         : "<missing>");
    }
  }
  auto tables = TExeUtils::GetExeVersionTexts(path);
  EXPECT_TRUE(tables) << tables.Error();
  for (const pe::TVersionTable& versionTable : tables ? tables.Value() : std::vector<pe::TVersionTable>{}) {
    for (const pe::TVersionText& text : versionTable.Texts) {
      // Stored under the names the eleven keys have, as the system's lookup ignores letter case.
      if (const auto index = FindExeVersionKey(text.Key))
        branding
          .Texts[Translation(versionTable.Language, versionTable.CodePage)][std::string(kExeVersionKeys[*index])] =
          text.Value;
    }
  }
  return branding;
}

std::vector<std::pair<std::string, std::string>> Executables()
{
  std::vector<std::pair<std::string, std::string>> list = {{"the runtime", VELMORA_RUNTIME_PATH}};
#ifdef VELMORA_PE_FIXTURE_RELOCATIONS_LAST
  list.emplace_back("relocations after the resources", VELMORA_PE_FIXTURE_RELOCATIONS_LAST);
  list.emplace_back("resources last", VELMORA_PE_FIXTURE_RESOURCES_LAST);
#endif
  return list;
}

DWORD RunAndWait(const std::string& path)
{
  std::wstring commandLine = L"\"" + Utf8ToWide(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(BrandingOnWindows, BothEditorsWriteWhatTheSystemAndThePortableReaderReadAlike)
{
  TTempDir dir;
  std::vector<std::string> images;
  for (size_t i = 0; i < 6; ++i)
    images.push_back(std::string(i == 2 ? 120000 : 300 + 11 * i, static_cast<char>('a' + i)));
  const std::string ico = test::IcoFile(images);
  WriteFile(dir.File("App Icon.ico"), ico);
  TExeVersionTexts texts;
  texts[*FindExeVersionKey("CompanyName")] = "Grüße & Söhne";
  texts[*FindExeVersionKey("FileVersion")] = "3.1.4.1";
  texts[*FindExeVersionKey("OriginalFileName")] = "Demo App.exe";
  texts[*FindExeVersionKey("ProgramID")] = "com.example.demo";
  texts[*FindExeVersionKey("ProductName")] = std::string(255, 'p');

  for (const auto& [name, path] : Executables()) {
    SCOPED_TRACE(name);
    TBranding results[2];
    for (const TResourceEditor editor : {TResourceEditor::System, TResourceEditor::Portable}) {
      const bool system = editor == TResourceEditor::System;
      SCOPED_TRACE(system ? "system editor" : "portable editor");
      const std::string exe = dir.File(system ? "by system.exe" : "by portable.exe");
      std::filesystem::copy_file(test::PathOf(path), test::PathOf(exe),
                                 std::filesystem::copy_options::overwrite_existing);
      TExeUtils().ChangeExeIcon(exe, dir.File("App Icon.ico"), editor);
      TExeUtils().UpdateExeInfo(exe, texts, editor);

      const TBranding bySystem = ReadWithTheSystem(exe);
      EXPECT_EQ(ReadPortably(exe), bySystem) << "the system and the portable reader disagree";
      ASSERT_EQ(bySystem.IconEntries.size(), images.size());
      for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(bySystem.IconEntries[i].first.substr(0, 12), ico.substr(6 + 16 * i, 12));
        EXPECT_TRUE(bySystem.IconEntries[i].second == images[i])
          << "image " << i << ": " << bySystem.IconEntries[i].second.size() << " bytes read, " << images[i].size()
          << " written";
      }
      ASSERT_EQ(bySystem.Texts.size(), 1U);
      const auto& table = bySystem.Texts.at("040904E4");
      for (size_t i = 0; i < kExeVersionKeys.size(); ++i) {
        const std::string key(kExeVersionKeys[i]);
        const std::string expected =
          texts[i] ? *texts[i] : (key.find("Version") != std::string::npos ? "1.0.0.0" : std::string(255, ' '));
        EXPECT_EQ(table.at(key), expected) << key;
      }
      results[system ? 0 : 1] = bySystem;
      if (name != "the runtime") {
        EXPECT_EQ(RunAndWait(exe), 42U) << "the branded program must still load and run";
      }
    }
    EXPECT_EQ(results[0], results[1]) << "the two editors' results read differently";
  }
}

TEST(BrandingOnWindows, TheSystemEditorsFailuresLeaveTheExecutableAlone)
{
  TTempDir dir;
  WriteFile(dir.File("icon.ico"), test::IcoFile({"abc"}));
  // An executable without MAINICON, and none at all.
  test::TPeImageLayout layout;
  layout.Sections.push_back({".text", std::vector<uint8_t>(0x100, 0xC3), 0x60000020});
  layout.Sections.push_back({".rsrc", test::EmptyResourceTree(), 0x40000040});
  layout.ResourceSection = 1;
  const auto image = test::BuildPeImage(layout);
  const std::string bytes(image.begin(), image.end());
  WriteFile(dir.File("plain.exe"), bytes);
  struct TCase {
    const char* Name;
    std::string Exe;
    const char* Message;
  };
  const TCase cases[] = {
    {"no such executable", dir.File("missing.exe"), "BeginUpdateResource failed (1)"},
    {"no MAINICON", dir.File("plain.exe"), "FindResource failed (1)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      TExeUtils().ChangeExeIcon(c.Exe, dir.File("icon.ico"), TResourceEditor::System);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), c.Message);
    }
  }
  EXPECT_TRUE(ReadFile(dir.File("plain.exe")) == bytes) << "the executable changed";
  EXPECT_FALSE(std::filesystem::exists(test::PathOf(dir.File("missing.exe"))));
}

} // namespace
} // namespace velmora
