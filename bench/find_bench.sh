#!/usr/bin/env bash
# tavrel-cli find: a meter at 9600 baud with slave ID 7 among four ports (the others silent),
# and the full scan of one silent port over all seven speeds and IDs 1-247.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
devs=()
start_sim --baud 9600 --slave 7
devs+=("$dev")
for _ in 1 2 3; do
  start_sim --fault silence
  devs+=("$dev")
done
# The time until the meter is told (the search of the silent ports goes on after it).
t0=$(date +%s.%N)
"$bin/cli/tavrel-cli" find --ports "$(IFS=,; echo "${devs[*]}")" 2>/dev/null | while read -r line; do
  case "$line" in
    Meter*) awk -v t0="$t0" -v t1="$(date +%s.%N)" -v l="$line" 'BEGIN { printf "found among four ports in %.1f s: %s\n", t1 - t0, l }' ;;
  esac
done
t0=$(date +%s.%N)
"$bin/cli/tavrel-cli" find --ports "${devs[1]}" >/dev/null 2>&1 || true
t1=$(date +%s.%N)
awk -v t0="$t0" -v t1="$t1" 'BEGIN { printf "full scan of a silent port (7 speeds x IDs 1-247): %.1f s\n", t1 - t0 }'
