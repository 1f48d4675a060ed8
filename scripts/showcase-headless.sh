#!/usr/bin/env bash
# Inside a virtual X server: starts the packaged showcase under a window manager, runs its
# checks, saves a screenshot with the native File menu open, then closes the app the way a user
# does (the page lets it close). Every step waits for what it needs, never for a fixed time.
# Usage: showcase-headless.sh PACKAGED_APP SCREENSHOT
set -euo pipefail
app=$1
shot=$2
source "$(dirname "$0")/x11-session.sh"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

start_window_manager

"$app" &
pid=$!
visible_windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true; }
window=""
has_window() { window=$(visible_windows | head -n 1); [ -n "$window" ]; }
wait_until 60 has_window || { echo "the showcase window did not appear" >&2; exit 1; }
echo "Window: $(xdotool getwindowname "$window")"

# "Run all checks" has the focus once the page is loaded; until then Return finds nothing to
# press, so it is pressed again until the caption reports the checks.
checks_reported() { xdotool getwindowname "$window" | grep -q 'checks passed'; }
pressed_and_reported() {
  xdotool windowactivate --sync "$window" key Return
  wait_until 3 checks_reported
}
wait_until 60 pressed_and_reported || { echo "the showcase did not report its checks" >&2; exit 1; }
echo "Checks: $(xdotool getwindowname "$window")"

# The File menu, by its access key; its popup is a window of the app's own.
menu_open() { [ "$(visible_windows | wc -l)" -gt 1 ]; }
xdotool key alt+f
wait_until 20 menu_open || { echo "the File menu did not open" >&2; exit 1; }
# The checks change the window, and the engine repaints the page after that in its own time: the
# screenshot is taken again until the page below the menu shows something (not one flat colour).
page_painted() {
  import -window root "$shot"
  local spread
  spread=$(convert "$shot" -crop 600x400+500+250 +repage -colorspace Gray -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.005) }'
}
wait_until 20 page_painted || echo "the page did not paint; the screenshot shows the window as it is" >&2
echo "Screenshot: $shot"
xdotool key Escape
menu_closed() { ! menu_open; }
wait_until 20 menu_closed || true

xdotool windowactivate --sync "$window" key alt+F4
app_ended() { ! kill -0 "$pid" 2>/dev/null; }
if ! wait_until 20 app_ended; then
  echo "the showcase did not close" >&2
  kill "$pid"
  exit 1
fi
code=0
wait "$pid" || code=$?
echo "The showcase closed with exit code $code"
