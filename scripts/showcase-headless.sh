#!/usr/bin/env bash
# Inside a virtual X server: starts the packaged showcase under a window manager, runs its
# checks, saves a screenshot, then closes the app the way a user does (the page lets it close).
# Usage: showcase-headless.sh PACKAGED_APP SCREENSHOT
set -euo pipefail
app=$1
shot=$2
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

openbox >/dev/null 2>&1 &
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

"$app" &
pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the showcase window did not appear" >&2; exit 1; }
echo "Window: $(xdotool getwindowname "$window")"

sleep 2 # the page loads
xdotool windowactivate --sync "$window"
xdotool key Return # the focused "Run all checks" button
sleep 1.5
xdotool key alt+f # the native menu's File menu, by its access key
sleep 0.7
import -window root "$shot"
echo "Screenshot: $shot"
xdotool key Escape
sleep 0.3

xdotool key alt+F4
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the showcase did not close" >&2
  kill "$pid"
  exit 1
fi
wait "$pid"
echo "The showcase closed with exit code $?"
