# Third-party libraries (zlib also directly: the archive reader inflates entries it decrypts
# itself). On Linux they come from Debian's -dev packages; the Windows
# cross build takes libzip (and a copy of the RapidJSON headers) from the prefix that
# scripts/build-windows-deps.sh fills, and zlib from Debian's mingw-w64 zlib package.

if(WIN32)
  set(VELMORA_WINDOWS_DEPS "" CACHE PATH "Prefix holding the cross-built libzip and RapidJSON headers")
  if(NOT VELMORA_WINDOWS_DEPS OR NOT EXISTS "${VELMORA_WINDOWS_DEPS}/lib/cmake/libzip")
    message(FATAL_ERROR "Windows dependencies not found in '${VELMORA_WINDOWS_DEPS}'; run scripts/build-windows-deps.sh")
  endif()
  list(PREPEND CMAKE_PREFIX_PATH "${VELMORA_WINDOWS_DEPS}")
  find_package(ZLIB REQUIRED)
  find_package(libzip CONFIG REQUIRED)
  add_library(velmora_libzip INTERFACE)
  target_link_libraries(velmora_libzip INTERFACE libzip::zip ZLIB::ZLIB bcrypt)
  set(VELMORA_RAPIDJSON_INCLUDE "${VELMORA_WINDOWS_DEPS}/include")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
  pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0)
  find_package(ZLIB REQUIRED)
  add_library(velmora_libzip INTERFACE)
  target_link_libraries(velmora_libzip INTERFACE PkgConfig::LIBZIP ZLIB::ZLIB)
  find_path(VELMORA_RAPIDJSON_INCLUDE rapidjson/document.h REQUIRED)
endif()

# RapidJSON is header-only; it is included as a system header so its own warnings stay out of ours.
add_library(velmora_rapidjson INTERFACE)
target_include_directories(velmora_rapidjson SYSTEM INTERFACE "${VELMORA_RAPIDJSON_INCLUDE}")
target_compile_definitions(velmora_rapidjson INTERFACE RAPIDJSON_HAS_STDSTRING=1)
# Its SSE2 scanning of strings and white space goes 16 bytes at a time. It reads whole aligned
# blocks, up to 15 bytes past the end of a text: the bridge's in-place parse pads its buffer for
# that, but other texts (a test's, say) are not, and the sanitizers report such reads, so the
# sanitized builds scan a byte at a time.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ
   AND NOT VELMORA_TSAN)
  target_compile_definitions(velmora_rapidjson INTERFACE RAPIDJSON_SSE2)
endif()

if(BUILD_TESTING)
  if(WIN32)
    # Debian's googletest package ships the sources; build them with the cross compiler.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # googletest 1.11 and later define the GTest:: aliases themselves; older sources do not.
    foreach(lib gtest gtest_main gmock)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
