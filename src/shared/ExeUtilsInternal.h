// What ExeUtils.cpp, the portable part of TExeUtils, and each platform's half share for branding an
// executable. Internal to the ExeUtils*.cpp files.
#pragma once

#include "ExeUtils.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::exeutils {

inline constexpr uint64_t kMaxIconFileSize = 1048576;

// The .ico file, read whole while denying writers, after its size and format checks ("Icon file is
// too large", "Icon file is invalid"). Throws std::runtime_error.
std::vector<uint8_t> ReadCheckedIcon(const std::string& IcoPath);

// The keys and texts of TExeVersionTexts that have a value, in their order.
std::vector<pe::TVersionText> GivenTexts(const TExeVersionTexts& Texts);

// The portable editor.
void PortableChangeExeIcon(const std::string& ExePath, const std::string& IcoPath);
void PortableUpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts);

// The system's editor: the Win32 resource update on Windows, the portable editor elsewhere.
void SystemChangeExeIcon(const std::string& ExePath, const std::string& IcoPath);
void SystemUpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts);

} // namespace velmora::exeutils
