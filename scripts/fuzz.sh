#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the kept corpus (earlier finds and crashes
# stay as regression cases), then fuzzes each target for a fixed number of executions, seeded
# with real frames, log blocks and settings files the tool and the simulated instrument make
# themselves, and with a dictionary of each input's own words.
#   scripts/fuzz.sh            the CI budget: 1 000 000 executions in all
#   scripts/fuzz.sh 0.1        a tenth of it (a quick look)
#   scripts/fuzz.sh 1 --keep   then merge what was found into tests/fuzz/corpus (to commit)
set -euo pipefail
cd "$(dirname "$0")/.."
scale="${1:-1}"
keep="${2:-}"
declare -A budget=([link_fuzz]=300000 [decoder_fuzz]=400000 [settings_fuzz]=300000)
declare -A dict=([link_fuzz]=link [decoder_fuzz]=decoder [settings_fuzz]=settings)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target link_fuzz decoder_fuzz settings_fuzz make_seeds
export ASAN_OPTIONS=detect_leaks=0
seeds="$PWD/build-fuzz/seeds"
rm -rf "$seeds"
build-fuzz/tests/fuzz/make_seeds "$seeds"
total=0
for target in link_fuzz decoder_fuzz settings_fuzz; do
  bin="$PWD/build-fuzz/tests/fuzz/$target"
  corpus="$PWD/tests/fuzz/corpus/$target"
  work="$PWD/build-fuzz/corpus/$target"
  mkdir -p "$corpus" "$work" build-fuzz/crashes
  runs=$(awk -v b="${budget[$target]}" -v s="$scale" 'BEGIN{printf "%d", b*s}')
  echo "-- $target: replaying $(ls "$corpus" | wc -l) kept inputs, then $runs executions"
  "$bin" -runs=0 "$corpus" >/dev/null 2>&1 ||
    { echo "$target fails on a kept input"; "$bin" -runs=0 "$corpus"; exit 1; }
  log="build-fuzz/$target.log"
  "$bin" -runs="$runs" -dict="tests/fuzz/${dict[$target]}.dict" \
    -artifact_prefix="$PWD/build-fuzz/crashes/" -print_final_stats=1 \
    "$work" "$corpus" "$seeds/$target" >"$log" 2>&1 ||
    { tail -n 40 "$log"; echo "$target: crash (input in build-fuzz/crashes/)"; exit 1; }
  done_runs=$(awk '/stat::number_of_executed_units/{print $2}' "$log")
  grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -n 1 || true
  total=$((total + done_runs))
  if [ "$keep" = "--keep" ]; then
    "$bin" -merge=1 "$corpus" "$work" "$seeds/$target" >/dev/null 2>&1
  fi
done
echo "fuzzing: no crash in $total executions"
