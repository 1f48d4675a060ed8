// POSIX implementation of TSysUtils. Implementation here must contain only operating-system-specific code.
#include "SysUtils.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace velmora {

std::string TSysUtils::GetExeFilePath()
{
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0)
    return {};
  path.resize(static_cast<size_t>(length));
  return path;
}

std::string TSysUtils::GetSystemErrorMessage(int code)
{
  std::string text = code == 0 ? std::string() : std::strerror(code);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int TSysUtils::GetLastErrorCode() { return errno; }

void TSysUtils::ShowErrorMessageBox(const std::string& text, const std::string& caption)
{
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

} // namespace velmora
