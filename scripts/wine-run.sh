#!/usr/bin/env bash
# Runs one cross-built Windows program under wine, headless and quiet, and exits with its exit code.
#
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGS...]
# ctest uses it as CMAKE_CROSSCOMPILING_EMULATOR (see cmake/mingw-w64-x86_64.cmake).
#
# The wine prefix lives in build/wine-prefix of this checkout (VELMORA_WINEPREFIX overrides it) so the
# tests never touch the user's ~/.wine. It is created on first use; later runs reuse it.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${VELMORA_WINEPREFIX:-$root/build/wine-prefix}"
export WINEARCH=win64
# No debug channels: with them wine prints fixme/err lines into every test's output.
export WINEDEBUG=-all
# Skip the .NET and HTML engine installers that a new prefix would offer (and that would need the
# network), and keep wine from writing desktop menu entries for the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Without a display wine uses no window system at all, so neither init nor the tests need an X server.
unset DISPLAY WAYLAND_DISPLAY

# CI may start us with standard input closed; wine needs a valid descriptor 0.
if ! { true <&0; } 2>/dev/null; then
  exec </dev/null
fi

# Which wine: Debian's /usr/bin/wine picks wine64 when the 32-bit loader is missing.
wine_bin=$(command -v wine || true)
if [ -z "$wine_bin" ]; then
  echo "wine-run: wine not found; run scripts/install-deps.sh" >&2
  exit 127
fi

# Brings the prefix to a running state under a lock, since concurrent tests (ctest -j) share it.
prepare_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    rm -rf "$WINEPREFIX"
    local log="$WINEPREFIX.init.log"
    # Wine 8 makes new prefixes claim Windows 7; the programs target Windows 10 (_WIN32_WINNT=0x0A00).
    if ! wineboot --init </dev/null >"$log" 2>&1 9>&- \
       || ! "$wine_bin" winecfg /v win10 </dev/null >>"$log" 2>&1 9>&- \
       || ! wineserver --wait >>"$log" 2>&1 9>&-; then
      echo "wine-run: creating the wine prefix $WINEPREFIX failed; log follows" >&2
      cat "$log" >&2
      exit 1
    fi
    touch "$WINEPREFIX/.velmora-ready"
  fi
  # Start the wine server and wine's background services ourselves, detached from our output. When
  # the program under test started them, they would inherit its stdout and stderr and hold them open
  # for as long as they live, and ctest, which reads a test's output until every writer is gone, would
  # wait for them. The persistence delay keeps the server warm between consecutive tests: a run with a
  # warm server takes under a tenth of a second, a cold start closer to one second. The start fails
  # (harmlessly) when a server for this prefix is already running.
  if wineserver -p"${VELMORA_WINESERVER_PERSIST:-5}" </dev/null >/dev/null 2>&1 9>&-; then
    wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
  flock -u 9
  exec 9>&-
}
prepare_prefix

# wine returns the Windows exit code (truncated to 8 bits by the OS); set -e must not swallow it.
status=0
"$wine_bin" "$@" || status=$?
exit "$status"
