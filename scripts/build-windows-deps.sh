#!/usr/bin/env bash
# Cross-builds the Windows x64 dependencies (static libzip, RapidJSON headers) into build/windows-deps/prefix.
#
# libzip comes from Debian's source package only (`apt-get source libzip`), built with mingw-w64 as a
# static library with Debian's mingw zlib and the Windows CNG (bcrypt) crypto backend, which gives both
# traditional PKWARE and WinZip AES encryption. RapidJSON is header-only and copied from rapidjson-dev.
# A stamp keyed by the libzip source version, the RapidJSON version, this script and the toolchain file
# makes a repeated run return at once. Needs the packages from scripts/install-deps.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$root/build/windows-deps"
src_dir="$deps/src"
build_dir="$deps/build"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
stamp="$deps/stamp"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

say() { echo "build-windows-deps: $*"; }
die() { echo "build-windows-deps: $*" >&2; exit 1; }

for tool in x86_64-w64-mingw32-gcc-posix cmake ninja dpkg-source; do
  command -v "$tool" >/dev/null || die "$tool not found; run scripts/install-deps.sh first"
done
[ -f /usr/x86_64-w64-mingw32/lib/libz.a ] || die "mingw zlib missing (libz-mingw-w64-dev); run scripts/install-deps.sh first"
[ -f /usr/include/rapidjson/document.h ] || die "RapidJSON headers missing (rapidjson-dev); run scripts/install-deps.sh first"

# The newest libzip source version apt knows about. The deb-src index may not have been fetched yet
# on a fresh machine, so one `apt-get update` is allowed before giving up.
libzip_source_version() {
  apt-cache showsrc libzip 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1
}
version=$(libzip_source_version)
if [ -z "$version" ]; then
  say "no libzip source package known; running apt-get update"
  $SUDO apt-get update -q
  version=$(libzip_source_version)
  [ -n "$version" ] || die "apt knows no libzip source package; are deb-src entries enabled (scripts/install-deps.sh)?"
fi
rapidjson_version=$(dpkg-query -W -f='${Version}' rapidjson-dev 2>/dev/null || echo unknown)

key="libzip=$version rapidjson=$rapidjson_version script=$(sha256sum "${BASH_SOURCE[0]}" | cut -d' ' -f1) toolchain=$(sha256sum "$toolchain" | cut -d' ' -f1)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] \
   && [ -f "$prefix/lib/cmake/libzip/libzip-config.cmake" ] && [ -f "$prefix/lib/libzip.a" ] \
   && [ -f "$prefix/include/rapidjson/document.h" ]; then
  say "up to date (libzip $version) in $prefix"
  exit 0
fi
rm -f "$stamp"

# Source: the package's upstream directory is libzip-<upstream version>, that is, the Debian version
# without epoch and Debian revision. A tree already unpacked for this version is reused.
upstream=${version#*:}
upstream=${upstream%-*}
libzip_src="$src_dir/libzip-$upstream"
if [ ! -f "$src_dir/.unpacked-$version" ] || [ ! -f "$libzip_src/CMakeLists.txt" ]; then
  say "fetching Debian source package libzip $version"
  rm -rf "$src_dir"
  mkdir -p "$src_dir"
  # apt's download sandbox user cannot write into root's tree; as root, download as root instead.
  apt_opts=()
  if [ "$(id -u)" -eq 0 ]; then apt_opts=(-o APT::Sandbox::User=root); fi
  fetch() { (cd "$src_dir" && apt-get "${apt_opts[@]}" source -q "libzip=$version"); }
  if ! fetch; then
    # The index may name a version the mirror no longer carries.
    say "apt-get source failed; running apt-get update and trying once more"
    $SUDO apt-get update -q
    version=$(libzip_source_version)
    upstream=${version#*:}
    upstream=${upstream%-*}
    libzip_src="$src_dir/libzip-$upstream"
    rm -rf "$src_dir"
    mkdir -p "$src_dir"
    fetch
    key="libzip=$version ${key#* }"
  fi
  [ -f "$libzip_src/CMakeLists.txt" ] || die "unpacked source not found at $libzip_src"
  touch "$src_dir/.unpacked-$version"
fi

# Only the library: no tools, tests, documentation or examples, no compression or crypto libraries
# beyond zlib and Windows CNG. Options newer libzip releases added are switched off when present.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DVELMORA_WINDOWS_DEPS="$prefix"
  -DBUILD_SHARED_LIBS=OFF
  -DENABLE_WINDOWS_CRYPTO=ON
  -DENABLE_COMMONCRYPTO=OFF
  -DENABLE_GNUTLS=OFF
  -DENABLE_MBEDTLS=OFF
  -DENABLE_OPENSSL=OFF
  -DENABLE_BZIP2=OFF
  -DENABLE_LZMA=OFF
  -DBUILD_TOOLS=OFF
  -DBUILD_REGRESS=OFF
  -DBUILD_EXAMPLES=OFF
  -DBUILD_DOC=OFF
)
for opt in ENABLE_ZSTD BUILD_OSSFUZZ; do
  if grep -q "$opt" "$libzip_src/CMakeLists.txt"; then options+=("-D$opt=OFF"); fi
done

say "building libzip $version for Windows x64"
rm -rf "$build_dir" "$prefix"
cmake -S "$libzip_src" -B "$build_dir" -G Ninja "${options[@]}" >"$deps/configure.log" 2>&1 \
  || { cat "$deps/configure.log" >&2; die "configuring libzip failed"; }
# The library must come out with the crypto backend chosen above, or AES would be silently missing.
grep -q '^#define HAVE_WINDOWS_CRYPTO' "$build_dir/config.h" \
  || die "libzip was configured without Windows CNG crypto; see $deps/configure.log"
# libzip's own sources draw compiler warnings with mingw-w64; they go to the log, not to the console.
cmake --build "$build_dir" -j "${VELMORA_JOBS:-2}" >"$deps/build.log" 2>&1 \
  || { tail -n 60 "$deps/build.log" >&2; die "building libzip failed; full log in $deps/build.log"; }
cmake --install "$build_dir" >"$deps/install.log" 2>&1 \
  || { cat "$deps/install.log" >&2; die "installing libzip failed"; }
# Consumers compile against the static library without extra defines because zipconf.h says so.
grep -q '^#define ZIP_STATIC' "$prefix/include/zipconf.h" || die "installed zipconf.h does not define ZIP_STATIC"

mkdir -p "$prefix/include"
rm -rf "$prefix/include/rapidjson"
cp -R /usr/include/rapidjson "$prefix/include/rapidjson"

echo "$key" >"$stamp"
say "done: $prefix"
