# CMake toolchain file for the Windows x64 cross build with Debian's mingw-w64 (tests run under wine).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# The -posix compilers use the winpthreads thread model; the -win32 ones lack std::thread and std::mutex.
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)

# The prefix that scripts/build-windows-deps.sh fills. A preset or command line may point elsewhere
# with -DVELMORA_WINDOWS_DEPS=...; try_compile projects get the same value passed through.
get_filename_component(VELMORA_TOOLCHAIN_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(VELMORA_WINDOWS_DEPS "${VELMORA_TOOLCHAIN_ROOT}/build/windows-deps/prefix"
  CACHE PATH "Prefix holding the cross-built libzip and RapidJSON headers")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_WINDOWS_DEPS)

# Libraries and headers come only from the mingw-w64 sysroot and the dependency prefix, never from
# the host's /usr; programs (perl, pkg-config and the like) are host tools.
set(CMAKE_FIND_ROOT_PATH "/usr/${VELMORA_MINGW_TRIPLE}" "${VELMORA_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables are linked statically, so zlib must be libz.a and not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

# ctest, and gtest_discover_tests, start the cross-built .exe files through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR "/bin/bash;${VELMORA_TOOLCHAIN_ROOT}/scripts/wine-run.sh")
