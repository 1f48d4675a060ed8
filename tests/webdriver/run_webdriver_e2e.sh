#!/usr/bin/env bash
# Runs the WebDriver end-to-end test in an X server of its own (Xvfb) with the openbox window
# manager and a private session bus.
# Usage: run_webdriver_e2e.sh VELMORA_PACK VELMORA_RUNTIME SHOWCASE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v WebKitWebDriver >/dev/null; then
  echo "WebKitWebDriver (Debian's webkit2gtk-driver) is not installed: run scripts/install-deps.sh" >&2
  exit 1
fi
if [ ! -d "$here/node_modules/selenium-webdriver" ]; then
  echo "selenium-webdriver is not installed in tests/webdriver: run scripts/install-deps.sh" >&2
  exit 1
fi
E2E_SCRIPT=../webdriver/webdriver_e2e.js exec bash "$here/../e2e/run_gui_e2e.sh" "$@"
