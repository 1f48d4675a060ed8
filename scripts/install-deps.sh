#!/usr/bin/env bash
# Brings every build, test and cross-build dependency onto a Debian 12 machine.
# Everything comes from Debian's own archive; the Windows build's libzip is
# cross-built from Debian's source package by scripts/build-windows-deps.sh.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# deb-src lines are needed for `apt-get source` (the Windows libzip build).
enable_deb_src() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && ! grep -q '^Types:.*deb-src' "$f"; then
    $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    return 0
  fi
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
     && ! grep -q '^deb-src ' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $SUDO tee -a /etc/apt/sources.list >/dev/null
  fi
}
enable_deb_src

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config git dpkg-dev file clang-format
  # portable units
  libzip-dev zipcmp zipmerge ziptool zlib1g-dev rapidjson-dev libglib2.0-dev shared-mime-info
  libgtest-dev googletest
  # Windows cross build and its test runner
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine64
  # native layer and its end-to-end tests
  libgtk-3-dev libwebkit2gtk-4.1-dev xvfb xauth openbox xdotool x11-utils x11-apps
  # WebDriver for packaged apps, and the checker of the desktop files the packer writes
  webkit2gtk-driver desktop-file-utils
  dbus dbus-x11 imagemagick fonts-dejavu-core fonts-wqy-microhei x11-utils
  # tools used by tests to check archives made by the packer, and to find processes; Node.js
  # runs the tests of the page-side bridge script
  unzip python3 procps nodejs
  # fuzzing: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
)

stamp=/var/tmp/velmora-deps.stamp
want=$(printf '%s\n' "${PACKAGES[@]}" | sha1sum | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && dpkg -s "${PACKAGES[@]}" >/dev/null 2>&1; then
  echo "install-deps: all packages present"
else
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
  echo "$want" | $SUDO tee "$stamp" >/dev/null
fi

# Node.js packages of the tests, from the npm registry, at the versions their lock files name.
# Debian's nodejs comes without npm, which is a package of its own there.
if ! command -v npm >/dev/null 2>&1; then
  $SUDO apt-get install -y -q --no-install-recommends npm
fi
root=$(cd "$(dirname "$0")/.." && pwd)
for dir in tests/typings tests/webdriver; do
  lock="$root/$dir/package-lock.json"
  stamp="$root/$dir/node_modules/.velmora-lock"
  if [ -f "$stamp" ] && cmp -s "$lock" "$stamp"; then
    echo "install-deps: npm packages of $dir present"
  else
    (cd "$root/$dir" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$lock" "$stamp"
  fi
done
