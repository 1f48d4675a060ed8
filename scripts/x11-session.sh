# Shell functions for scripts that drive apps in a virtual X server; sourced, not run.

# Starts openbox and waits until it manages the screen: its check window is set and it lists
# _NET_ACTIVE_WINDOW among what it supports, which xdotool's window activation needs. On a fresh
# machine the first start can take a while, so the wait is long and ends with an error.
start_window_manager() {
  openbox >/dev/null 2>&1 &
  WINDOW_MANAGER_PID=$!
  local deadline=$((SECONDS + 60))
  until xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_ACTIVE_WINDOW'; do
    if ((SECONDS >= deadline)) || ! kill -0 "$WINDOW_MANAGER_PID" 2>/dev/null; then
      echo "the window manager did not come up" >&2
      return 1
    fi
    sleep 0.1
  done
}

# Waits (up to $2 seconds, default 60) until the command in the remaining arguments succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}
