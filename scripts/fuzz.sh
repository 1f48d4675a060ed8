#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each over its corpus for SECONDS (default 20).
# CI runs the short default to keep the targets working; for a long hunt, give hours:
#   scripts/fuzz.sh 3600            # an hour per target, one after another
#   scripts/fuzz.sh 3600 FuzzBridge # one target only
# New inputs are kept under build/fuzz/corpus/; failing inputs go to build/fuzz/artifacts/ and
# fail the run. Seeds worth keeping are copied into tests/fuzz/corpus/<target>/ by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(FuzzImageEnd FuzzSettings FuzzBridge FuzzMenuJson FuzzBase64 FuzzContentAddresses FuzzJsonString)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]}"

mkdir -p build/fuzz/artifacts
failed=0
for target in "${targets[@]}"; do
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  echo "fuzz: $target for ${seconds}s"
  # The first folder receives new inputs; the committed corpus is only read.
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "build/fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
      "$work" "tests/fuzz/corpus/$target" >"build/fuzz/$target.log" 2>&1; then
    echo "fuzz: $target FAILED (log: build/fuzz/$target.log)"
    tail -40 "build/fuzz/$target.log"
    failed=1
  else
    grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE" "build/fuzz/$target.log" | tail -2 || true
  fi
done
exit $failed
