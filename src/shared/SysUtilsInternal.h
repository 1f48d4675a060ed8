// What SysUtils.cpp, the portable part of TSysUtils, needs from each platform's half. Internal to
// the SysUtils*.cpp files.
#pragma once

#include <system_error>

namespace velmora {

// Keeps a failure of the standard library (a std::filesystem or stream error) as the calling
// thread's last error, so TSysUtils::GetLastErrorMessage tells it: its own text on POSIX, the Win32
// error it stands for on Windows.
void RecordSystemError(const std::error_code& Error);

} // namespace velmora
