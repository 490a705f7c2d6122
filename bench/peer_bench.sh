#!/usr/bin/env bash
# The link against its peers, on one pseudo-terminal each time, served by tavrel-sim unthrottled:
#  1. function 3 reads of 10 registers: the tool's link against libmodbus (bench-only program),
#     printed as a ratio;
#  2. a whole download of 16382 records x 2 channels (256 KiB log), process start and CSV
#     included, against a minimal master that only moves the same requests and replies.
# Usage: bench/peer_bench.sh [SECONDS]   (after cmake --build --preset default)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build
seconds="${1:-3}"
out=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$out"' EXIT

start_sim() {  # args: sim options; sets dev and sim
  rm -f "$out/dev"
  "$bin/sim/tavrel-sim" --pty "$@" >"$out/dev" &
  sim=$!
  for _ in $(seq 50); do [ -s "$out/dev" ] && break; sleep 0.1; done
  dev=$(head -n1 "$out/dev")
}

start_sim
peer=$("$bin/bench/modbus_peer" "$dev" "$seconds")
tool=$("$bin/bench/link_bench" rate "$dev" "$seconds")
echo "$peer"
echo "$tool"
awk -v p="$(echo "$peer" | grep -o '[0-9]* reads/s' | cut -d' ' -f1)" \
    -v t="$(echo "$tool" | grep -o '[0-9]* reads/s' | cut -d' ' -f1)" \
    'BEGIN { printf "tool / libmodbus: %.2f\n", t / p }'
kill "$sim"; wait "$sim" 2>/dev/null || true

start_sim --channels 1,2 --records 16382
minimal=$("$bin/bench/minimal_master" "$dev" 256)
echo "$minimal"
t0=$(date +%s.%N)
"$bin/cli/tavrel-cli" download --port "$dev" --out "$out/log.csv" >/dev/null 2>&1
t1=$(date +%s.%N)
awk -v t0="$t0" -v t1="$t1" -v m="$(echo "$minimal" | grep -o 'in [0-9.]* s' | cut -d' ' -f2)" \
  'BEGIN { printf "tavrel-cli download (process start, grid and CSV included): %.3f s = %.2f x the minimal master\n", t1 - t0, (t1 - t0) / m }'
echo "CSV: $(wc -l <"$out/log.csv") lines"
