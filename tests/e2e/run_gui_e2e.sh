#!/usr/bin/env bash
# Runs the GUI end-to-end tests in an X server of their own (Xvfb) with the openbox window
# manager and a private session bus, so nothing waits for a desktop that is not there.
# Usage: run_gui_e2e.sh VELMORA_PACK VELMORA_RUNTIME [CASE...]
# E2E_SCRIPT names the test script, relative to this folder (default gui_e2e.py); a .js script
# runs with Node.js, any other with Python.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
source "$scripts/x11-session.sh"
start_window_manager || exit 1
script="$here/${E2E_SCRIPT:-gui_e2e.py}"
if [[ \$script == *.js ]]; then node "\$script" "\$@"; else python3 "\$script" "\$@"; fi
code=\$?
kill \$WINDOW_MANAGER_PID 2>/dev/null || true
exit \$code
INNER
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" dbus-run-session -- bash "$inner" "$@"
