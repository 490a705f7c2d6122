#!/usr/bin/env bash
# A 16 KiB log (2048 records x 1 channel) downloaded in real time from tavrel-sim paced at
# 1200, 2400, 9600 and 38400 baud, against the line time of every byte that crossed the line:
# the size registers, the eight set-up records and the log blocks with their requests (the
# block size follows the line speed below 4800 baud).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh

for baud in 1200 2400 9600 38400; do
  start_sim --channels 1 --records 2048 --baud "$baud"
  t0=$(date +%s.%N)
  "$bin/cli/tavrel-cli" download --port "$dev" --baud "$baud" --out "$out/log.csv" >/dev/null 2>&1
  t1=$(date +%s.%N)
  kill "$sim"; wait "$sim" 2>/dev/null || true
  block=1024
  [ "$baud" -le 2400 ] && block=512
  [ "$baud" -le 1200 ] && block=256
  awk -v t0="$t0" -v t1="$t1" -v baud="$baud" -v block="$block" 'BEGIN {
    blocks = 16384 / block;
    bytes = (8 + 21) + 8 * (9 + 209) + blocks * (9 + 9 + block);
    wire = bytes * 10 / baud; took = t1 - t0;
    printf "%5d baud, %4d-byte blocks: %7.2f s; line time of its %d bytes %7.2f s (+%.1f%%)\n",
           baud, block, took, bytes, wire, 100 * (took - wire) / wire }'
done
