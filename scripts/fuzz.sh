#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the kept inputs (earlier crashes stay as
# regression cases), then fuzzes each target for a bounded time (seconds, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target link_fuzz decoder_fuzz settings_fuzz
for target in link_fuzz decoder_fuzz settings_fuzz; do
  corpus="$PWD/tests/fuzz/corpus/$target"
  work="$PWD/build-fuzz/corpus/$target"
  mkdir -p "$corpus" "$work" build-fuzz/crashes
  echo "-- $target: replaying $(ls "$corpus" | wc -l) kept inputs, then fuzzing ${seconds}s"
  ASAN_OPTIONS=detect_leaks=0 "$PWD/build-fuzz/tests/fuzz/$target" -runs=0 "$corpus" >/dev/null 2>&1 ||
    { echo "$target fails on a kept input"; "$PWD/build-fuzz/tests/fuzz/$target" -runs=0 "$corpus"; exit 1; }
  ASAN_OPTIONS=detect_leaks=0 "$PWD/build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
    -artifact_prefix="$PWD/build-fuzz/crashes/" -print_final_stats=1 "$work" "$corpus" 2>&1 | tail -n 3
done
echo "fuzzing: no crash"
