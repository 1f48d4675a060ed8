#!/usr/bin/env bash
# Every test: the layout check, the Linux build (unit and end-to-end tests), the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer and under ThreadSanitizer, one short round
# of the benchmark suite, a short run of every fuzz target, and the Windows cross build's unit
# tests and end-to-end tests under wine.
# Any failing step fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=2

step() { printf '\n==== %s\n' "$*"; }

step "Dependencies"
bash scripts/install-deps.sh

step "Layout of the C++ sources (clang-format)"
bash scripts/check-format.sh

step "Linux build"
cmake --preset linux -DVELMORA_WERROR=ON >/dev/null
cmake --build --preset linux -j"$jobs"
step "Linux tests"
ctest --preset linux -j"$jobs"

step "Benchmark suite, one short round (keeps it working; its figures are not judged)"
bash bench/run.sh --short

step "Linux unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan -DVELMORA_WERROR=ON >/dev/null
cmake --build --preset linux-asan -j"$jobs" --target velmora_unit_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset linux-asan -j"$jobs"

step "Linux unit tests under ThreadSanitizer"
cmake --preset linux-tsan -DVELMORA_WERROR=ON >/dev/null
cmake --build --preset linux-tsan -j"$jobs" --target velmora_unit_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset linux-tsan -j"$jobs"

step "Fuzz targets, a short run each under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/fuzz.sh 20

step "Windows cross build"
bash scripts/build-windows-deps.sh
cmake --preset windows -DVELMORA_WERROR=ON >/dev/null
cmake --build --preset windows -j"$jobs"
step "Windows unit tests under wine"
ctest --preset windows

step "Windows end-to-end tests under wine (engine test double)"
bash tests/e2e/run_windows_e2e.sh build/linux/bin/velmora-pack build/windows/bin/VelmoraRuntime.exe \
  build/windows/bin/WebView2LoaderWin64.dll build/windows/bin/velmora-inspect.exe

step "All tests passed"
