// POSIX half of TExeUtils. These systems have no resource-update functions of their own, so the
// portable editor brands Windows executables here; only that choice belongs in this file.
#include "ExeUtilsInternal.h"

namespace velmora::exeutils {

void SystemChangeExeIcon(const std::string& ExePath, const std::string& IcoPath)
{
  PortableChangeExeIcon(ExePath, IcoPath);
}

void SystemUpdateExeInfo(const std::string& ExePath, const TExeVersionTexts& Texts)
{
  PortableUpdateExeInfo(ExePath, Texts);
}

} // namespace velmora::exeutils
