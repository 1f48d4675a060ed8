#!/usr/bin/env bash
# Runs the GUI end-to-end tests in an X server of their own (Xvfb) with the openbox window
# manager and a private session bus, so nothing waits for a desktop that is not there.
# Usage: run_gui_e2e.sh VELMORA_PACK VELMORA_RUNTIME [CASE...]
# E2E_SCRIPT names the test script in this folder (default gui_e2e.py).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
openbox >/dev/null 2>&1 &
wm=\$!
for _ in \$(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
python3 "$here/${E2E_SCRIPT:-gui_e2e.py}" "\$@"
code=\$?
kill \$wm 2>/dev/null || true
exit \$code
INNER
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" dbus-run-session -- bash "$inner" "$@"
