#!/usr/bin/env bash
# Runs the WebDriver end-to-end test in an X server of its own (Xvfb) with the openbox window
# manager and a private session bus.
# Usage: run_webdriver_e2e.sh VELMORA_PACK VELMORA_RUNTIME SHOWCASE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
if ! command -v WebKitWebDriver >/dev/null; then
  echo "WebKitWebDriver (Debian's webkit2gtk-driver) is not installed: run scripts/install-deps.sh" >&2
  exit 1
fi
if [ ! -d "$here/node_modules/selenium-webdriver" ]; then
  echo "selenium-webdriver is not installed in tests/webdriver: run scripts/install-deps.sh" >&2
  exit 1
fi
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
source "$scripts/x11-session.sh"
start_window_manager || exit 1
node "$here/webdriver_e2e.js" "\$@"
code=\$?
kill \$WINDOW_MANAGER_PID 2>/dev/null || true
exit \$code
INNER
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" dbus-run-session -- bash "$inner" "$@"
