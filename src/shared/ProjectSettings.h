// The keys of the project settings file "ryx.ini": one table with every key, its type and default.
#pragma once

#include "IniFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

enum class TSettingType { String, Integer, Boolean, Colour };

struct TSettingKey {
  std::string_view Name;
  TSettingType Type;
  std::string_view TextDefault; // for String keys
  int32_t NumberDefault;        // for Integer, Boolean (0 or 1) and Colour keys
};

// Every key lives in this one section.
inline constexpr std::string_view kAppSection = "App";

namespace AppKeys {
inline constexpr TSettingKey ID{"ID", TSettingType::String, "", 0};
inline constexpr TSettingKey Name{"Name", TSettingType::String, "", 0};
inline constexpr TSettingKey DirName{"DirName", TSettingType::String, "", 0};
inline constexpr TSettingKey IndexHtml{"IndexHtml", TSettingType::String, "index.html", 0};
inline constexpr TSettingKey Theme{"Theme", TSettingType::String, "Windows", 0};
inline constexpr TSettingKey EdgeInstaller{"EdgeInstaller", TSettingType::Boolean, "", 1};
// System colour index 26 (hot-tracked items), 0xFF00001A.
inline constexpr TSettingKey InstallFormColor{"InstallFormColor", TSettingType::Colour, "", -16777190};
inline constexpr TSettingKey InstallIndicatorColor{"InstallIndicatorColor", TSettingType::Integer, "", 1};
inline constexpr TSettingKey InstallIndicatorType{"InstallIndicatorType", TSettingType::Integer, "", 0};
inline constexpr TSettingKey Password{"Password", TSettingType::String, "", 0};
inline constexpr TSettingKey AllowInstances{"AllowInstances", TSettingType::Boolean, "", 0};
inline constexpr TSettingKey AllowDebug{"AllowDebug", TSettingType::Boolean, "", 0};
inline constexpr TSettingKey AllowContextMenu{"AllowContextMenu", TSettingType::Boolean, "", 0};
inline constexpr TSettingKey Top{"Top", TSettingType::Integer, "", 50};
inline constexpr TSettingKey Left{"Left", TSettingType::Integer, "", 50};
inline constexpr TSettingKey Width{"Width", TSettingType::Integer, "", 800};
inline constexpr TSettingKey Height{"Height", TSettingType::Integer, "", 600};
inline constexpr TSettingKey MaxWidth{"MaxWidth", TSettingType::Integer, "", 0};
inline constexpr TSettingKey MaxHeight{"MaxHeight", TSettingType::Integer, "", 0};
inline constexpr TSettingKey MinWidth{"MinWidth", TSettingType::Integer, "", 0};
inline constexpr TSettingKey MinHeight{"MinHeight", TSettingType::Integer, "", 0};
inline constexpr TSettingKey WindowPosition{"WindowPosition", TSettingType::Integer, "", 0};
inline constexpr TSettingKey WindowStyle{"WindowStyle", TSettingType::Integer, "", 0};
inline constexpr TSettingKey WindowBorder{"WindowBorder", TSettingType::Integer, "", 2};
inline constexpr TSettingKey WindowState{"WindowState", TSettingType::Integer, "", 0};
inline constexpr TSettingKey WindowOrder{"WindowOrder", TSettingType::Integer, "", 0};
inline constexpr TSettingKey DynamicAppTitle{"DynamicAppTitle", TSettingType::Boolean, "", 0};
// A start with the single argument "--automation" (how WebKitWebDriver starts a browser) accepts
// an automation session unless this is 0.
inline constexpr TSettingKey AllowAutomation{"AllowAutomation", TSettingType::Boolean, "", 1};
// The command groups pages may use, comma-separated ("files,folders,dialogs"); empty: all.
// hello, isRuntime and the app group are always allowed.
inline constexpr TSettingKey Commands{"Commands", TSettingType::String, "", 0};

// clang-format off
inline constexpr std::array<const TSettingKey*, 29> All{
  &ID,       &Name,     &DirName,   &IndexHtml, &Theme,     &EdgeInstaller, &InstallFormColor,
  &InstallIndicatorColor, &InstallIndicatorType, &Password,  &AllowInstances, &AllowDebug,
  &AllowContextMenu,      &Top,      &Left,      &Width,     &Height,        &MaxWidth,
  &MaxHeight,             &MinWidth, &MinHeight, &WindowPosition, &WindowStyle, &WindowBorder,
  &WindowState,           &WindowOrder, &DynamicAppTitle, &AllowAutomation, &Commands};
// clang-format on
} // namespace AppKeys

// Whether an app ID can name the app's data folder: exactly one path component on every platform
// the app may run on. Not empty, at most 255 bytes, not "." or "..", none of / \ : * ? " < > |
// nor control characters, no trailing dot or blank, and not a Windows device name (CON, NUL,
// COM1 ...). Anything else could name another folder, or none.
bool IsValidAppID(std::string_view ID);

// The name an app goes by on a Linux desktop: its window class, the name of its desktop file and
// of its icon. The ID with every character other than ASCII letters, digits, ".", "-" and "_"
// made "-" (so "org.example.My Notes" gives "org.example.My-Notes").
std::string DesktopIdOf(std::string_view ID);

// Typed reads of section "App" with the key's own default. Reading a key with the wrong
// function for its type is a programming error and throws std::logic_error.
class TProjectSettings {
public:
  TProjectSettings() = delete;

  static std::string ReadString(const TMemIniFile& Ini, const TSettingKey& Key);
  static int32_t ReadInteger(const TMemIniFile& Ini, const TSettingKey& Key); // Integer and Colour keys
  static bool ReadBool(const TMemIniFile& Ini, const TSettingKey& Key);

  // The value as the runtime reads it, written as text: strings unchanged, integers and
  // colours in decimal, Booleans as "true" or "false".
  static std::string ReadAsText(const TMemIniFile& Ini, const TSettingKey& Key);
};

} // namespace velmora
