#!/usr/bin/env bash
# Runs the Windows end-to-end tests: packaged Windows apps under wine, in an X server of their own
# (Xvfb) with the openbox window manager, with the engine test double as the WebView2 loader.
# One wine prefix (build/wine-gui-prefix, made once) and one wine server, started with the display
# set, serve every case, so only the first start is slow.
# Usage: run_windows_e2e.sh VELMORA_PACK RUNTIME_EXE ENGINE_DOUBLE_DLL INSPECTOR_EXE [CASE...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
scripts="$root/scripts"
export WINEPREFIX="${VELMORA_WINE_GUI_PREFIX:-$root/build/wine-gui-prefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
source "$scripts/x11-session.sh"
start_window_manager || exit 1
mkdir -p "\$(dirname "\$WINEPREFIX")"
exec 9>"\$WINEPREFIX.lock"
flock 9
# A fresh prefix now and then comes up without its system libraries ("could not load
# kernel32.dll"); one more attempt from scratch gets a working one.
make_prefix() {
  wineserver -k 9>&- 2>/dev/null || true
  rm -rf "\$WINEPREFIX"
  wineboot --init </dev/null >>"\$WINEPREFIX.init.log" 2>&1 9>&- && wine winecfg /v win10 </dev/null >>"\$WINEPREFIX.init.log" 2>&1 9>&- \
    && wineserver --wait 9>&- && touch "\$WINEPREFIX/.velmora-ready"
}
if [ ! -f "\$WINEPREFIX/.velmora-ready" ]; then
  : >"\$WINEPREFIX.init.log"
  make_prefix || make_prefix || { cat "\$WINEPREFIX.init.log" >&2; exit 1; }
fi
# The server for this display, kept warm for the whole run; its output must not hold ours open.
wineserver -k 9>&- 2>/dev/null || true
wineserver -p60 </dev/null >/dev/null 2>&1 9>&-
wineboot </dev/null >/dev/null 2>&1 9>&- || true
python3 "$here/windows_e2e.py" "\$@"
code=\$?
wineserver -k 9>&- 2>/dev/null || true
kill \$WINDOW_MANAGER_PID 2>/dev/null || true
exit \$code
INNER
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$inner" "$@"
