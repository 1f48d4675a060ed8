#!/usr/bin/env bash
# Builds the runtime, the packer and the bare engine host (the linux preset), then runs the paired
# benchmarks in an X server of their own (Xvfb) with the openbox window manager and a private
# session bus, and writes docs/PERFORMANCE.md.
# Usage: bench/run.sh [--runs N]      the full suite (default 7 rounds)
#        bench/run.sh --short         one round with small sizes, no report: keeps the suite working
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
args=()
short=0
for arg in "$@"; do
  [[ $arg == --short ]] && short=1
  args+=("$arg")
done
if ((short)); then
  args+=(--runs 1)
else
  args+=(--out "$root/docs/PERFORMANCE.md")
fi

cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target VelmoraRuntime velmora-pack velmora-bench-host

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
source "$root/scripts/x11-session.sh"
start_window_manager || exit 1
python3 "$root/bench/bench.py" "$root/build/linux/bin/velmora-pack" "$root/build/linux/bin/VelmoraRuntime" \
  "$root/build/linux/bin/velmora-bench-host" \${BENCH_ARGS}
code=\$?
kill \$WINDOW_MANAGER_PID 2>/dev/null || true
exit \$code
INNER
BENCH_ARGS="${args[*]}" exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" dbus-run-session -- bash "$inner"
