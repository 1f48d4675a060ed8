#!/usr/bin/env bash
# The main job: install what is missing, build the Linux runtime and packer, pack the showcase
# app into one executable and run it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target VelmoraRuntime velmora-pack

out=build/linux/showcase
mkdir -p "$out"
build/linux/bin/velmora-pack --settings examples/showcase/ryx.ini --app examples/showcase/app \
  --runtime build/linux/bin/VelmoraRuntime -o "$out/VelmoraShowcase"
echo "Running $out/VelmoraShowcase"
"$out/VelmoraShowcase"
