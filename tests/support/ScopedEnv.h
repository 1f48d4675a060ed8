// Test support: an environment variable set (or removed) for one scope.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace velmora::test {

// Sets an environment variable, or removes it for nullopt, and restores the old state when the
// scope ends, so no test leaves its environment to the next.
class TScopedEnv {
public:
  TScopedEnv(const char* name, std::optional<std::string> value) : FName(name)
  {
    if (const char* old = std::getenv(name))
      FOld = old;
    Set(value);
  }
  ~TScopedEnv() { Set(FOld); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

  // Gives the variable another value within the same scope.
  void Set(const std::optional<std::string>& value) const
  {
#ifdef _WIN32
    // _putenv_s changes the process environment as well, so Win32 calls and child processes see
    // it; an empty value removes the variable.
    _putenv_s(FName.c_str(), value ? value->c_str() : "");
#else
    if (value)
      setenv(FName.c_str(), value->c_str(), 1);
    else
      unsetenv(FName.c_str());
#endif
  }

private:
  std::string FName;
  std::optional<std::string> FOld;
};

} // namespace velmora::test
