#!/usr/bin/env bash
# The main job: install what is missing, build the Linux runtime and packer, pack the showcase
# app into one executable and run it. With a display the app opens there; without one it runs
# in a virtual X server (Xvfb), its checks are run, and a screenshot is saved and printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target VelmoraRuntime velmora-pack

out=$PWD/build/linux/showcase
mkdir -p "$out"
build/linux/bin/velmora-pack --settings examples/showcase/ryx.ini --app examples/showcase/app \
  --runtime build/linux/bin/VelmoraRuntime -o "$out/VelmoraShowcase"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Running $out/VelmoraShowcase"
  exec "$out/VelmoraShowcase"
fi

echo "No display: running the showcase under Xvfb"
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" dbus-run-session -- \
  bash scripts/showcase-headless.sh "$out/VelmoraShowcase" "$out/showcase.png"
