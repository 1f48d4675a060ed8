// Settings parsing: line rules, typed reads, decoding, and the keys with their defaults.
#include "IniFile.h"
#include "ProjectSettings.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TMemIniFile Ini(std::string_view text)
{
  TMemIniFile ini;
  ini.SetText(text);
  return ini;
}

TEST(TMemIniFile, TypedReadsFollowTheSettingsRules)
{
  struct TCase {
    const char* Text;
    const TSettingKey* Key;
    const char* Expected; // as TProjectSettings::ReadAsText gives it
  };
  const TCase cases[] = {
    {"[App]\nAllowDebug=true", &AppKeys::AllowDebug, "false"},
    {"[App]\nAllowDebug=1", &AppKeys::AllowDebug, "true"},
    {"[App]\nAllowDebug=-1", &AppKeys::AllowDebug, "true"},
    {"[App]\nEdgeInstaller=0", &AppKeys::EdgeInstaller, "false"},
    {"[App]\nEdgeInstaller=yes", &AppKeys::EdgeInstaller, "true"},
    {"[App]\nWidth=0x400", &AppKeys::Width, "1024"},
    {"[App]\nWidth=$400", &AppKeys::Width, "1024"},
    {"[App]\nWidth=0X400", &AppKeys::Width, "1024"},
    {"[App]\nWidth=", &AppKeys::Width, "800"},
    {"[App]\nWidth=12px", &AppKeys::Width, "800"},
    {"[App]\nWidth=4294967296", &AppKeys::Width, "800"},
    {"[App]\nWidth=-20", &AppKeys::Width, "-20"},
    {"[App]\nWidth=+20", &AppKeys::Width, "20"},
    {"[App]\nInstallFormColor=$FF00001A", &AppKeys::InstallFormColor, "-16777190"},
    {"[App]\nIndexHtml=", &AppKeys::IndexHtml, ""},
    {"[App]\nName=", &AppKeys::IndexHtml, "index.html"},
    {"[app]\nid=demo", &AppKeys::ID, "demo"},
    {"[ APP ]\nID=demo", &AppKeys::ID, "demo"},
    {"  [App]  \n\t Name \t=\t My App \t", &AppKeys::Name, "My App"},
    {"ID=early\n[App]\nName=x", &AppKeys::ID, ""},
    {"[App]\n;ID=commented\nName=x", &AppKeys::ID, ""},
    {"[App]\nID\nID=second", &AppKeys::ID, "second"},
    {"[App]\nID=first\nID=second", &AppKeys::ID, "first"},
    {"[App]\nDirName=a=b", &AppKeys::DirName, "a=b"},
    {"[Other]\nID=x\n[App]\nName=y\n[Other]\nDirName=z", &AppKeys::DirName, ""},
    {"[App]\nName=y\n[Other]\nx=1\n[App]\nDirName=z", &AppKeys::DirName, "z"},
    {"[App]\rID=cr\rName=x", &AppKeys::ID, "cr"},
    {"[App]\r\nID=crlf\r\nName=x", &AppKeys::ID, "crlf"},
    {"[App]\nPassword= s3cret ", &AppKeys::Password, "s3cret"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(TProjectSettings::ReadAsText(Ini(c.Text), *c.Key), c.Expected);
  }
}

TEST(TMemIniFile, EveryKeyHasItsDefaultWhenAbsent)
{
  const TMemIniFile empty;
  std::string all;
  for (const TSettingKey* key : AppKeys::All)
    all += std::string(key->Name) + "=" + TProjectSettings::ReadAsText(empty, *key) + ";";
  EXPECT_EQ(all, "ID=;Name=;DirName=;IndexHtml=index.html;Theme=Windows;EdgeInstaller=true;InstallFormColor=-16777190;"
                 "InstallIndicatorColor=1;InstallIndicatorType=0;Password=;AllowInstances=false;AllowDebug=false;"
                 "AllowContextMenu=false;Top=50;Left=50;Width=800;Height=600;MaxWidth=0;MaxHeight=0;MinWidth=0;"
                 "MinHeight=0;WindowPosition=0;WindowStyle=0;WindowBorder=2;WindowState=0;WindowOrder=0;"
                 "DynamicAppTitle=false;AllowAutomation=true;Commands=;");
  EXPECT_THROW(TProjectSettings::ReadInteger(empty, AppKeys::Name), std::logic_error);
}

TEST(ParseSettingsInteger, AcceptsDecimalAndHexadecimalIn32Bits)
{
  const std::pair<const char*, std::optional<int32_t>> cases[] = {
    {"0", 0},
    {"2147483647", 2147483647},
    {"-2147483648", INT32_MIN},
    {"2147483648", std::nullopt},
    {"$7FFFFFFF", INT32_MAX},
    {"$FFFFFFFF", -1},
    {"0x1ffffffff", std::nullopt},
    {"-$10", -16},
    {"$", std::nullopt},
    {"0x", std::nullopt},
    {"", std::nullopt},
    {"-", std::nullopt},
    {"1.5", std::nullopt},
    {"0x1G", std::nullopt},
    {" 1", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseSettingsInteger(text), expected);
  }
}

TEST(DecodeSettingsText, ByteOrderMarksChooseTheEncoding)
{
  const std::pair<std::string, std::string> cases[] = {
    {"\xEF\xBB\xBFName=Caf\xC3\xA9", "Name=Café"},
    {std::string("\xFF\xFEN\0=\0\xE9\0", 8), "N=é"},
    {std::string("\xFE\xFF\0N\0=\x20\xAC", 8), "N=€"},
    {std::string("\xFF\xFE=\0\x3D\xD8\x00\xDE", 8), "=😀"},
#ifndef _WIN32
    // Without a mark: UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252.
    {"Name=Caf\xC3\xA9", "Name=Café"},
    {"Name=Caf\xE9 \x80", "Name=Café €"},
#endif
  };
  for (const auto& [bytes, expected] : cases)
    EXPECT_EQ(DecodeSettingsText(bytes), expected);
}

} // namespace
} // namespace velmora
