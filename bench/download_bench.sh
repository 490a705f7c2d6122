#!/usr/bin/env bash
# End-to-end download timings against tavrel-sim on a pseudo-terminal: the largest log the grid
# holds (16382 records x 8 channels) with the CLI (time, peak memory) and in the window (longest
# event-loop stall), and a 64 KiB log paced at 38400 baud against its line time.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh

start_sim --channels 1,2,3,4,5,6,7,8 --records 16382
/usr/bin/time -f "%e s elapsed, %M KiB peak" -o "$out/time" \
  "$bin/cli/tavrel-cli" download --port "$dev" --out "$out/big.csv" >/dev/null 2>&1
echo "CLI, 16382 records x 8 channels, unthrottled pty: $(cat "$out/time"), CSV $(stat -c %s "$out/big.csv") bytes, $(wc -l <"$out/big.csv") lines"
QT_QPA_PLATFORM=offscreen "$bin/bench/window_stall_bench" "$dev" 2>/dev/null
kill "$sim"; wait "$sim" 2>/dev/null || true

start_sim --channels 1,2,3,4,5,6,7,8 --records 1024 --baud 38400
t0=$(date +%s.%N)
"$bin/cli/tavrel-cli" download --port "$dev" --out "$out/paced.csv" >/dev/null 2>&1
t1=$(date +%s.%N)
awk -v t0="$t0" -v t1="$t1" 'BEGIN {
  pure = 65536 * 10 / 38400;
  wire = (8 + 37 + 8 * (9 + 209) + 64 * (9 + 1033)) * 10 / 38400;
  took = t1 - t0;
  printf "64 KiB log at 38400 baud: %.2f s; pure log line time %.2f s (+%.1f%%); all bytes on the wire %.2f s (+%.1f%%)\n",
         took, pure, 100 * (took - pure) / pure, wire, 100 * (took - wire) / wire }'
