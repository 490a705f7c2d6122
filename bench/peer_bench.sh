#!/usr/bin/env bash
# The link against its peers on pseudo-terminals served by tavrel-sim (unthrottled):
#  1. function 3 reads of 10 registers, the tool's link against libmodbus (a bench-only
#     program), alternating for ROUNDS rounds of SECONDS each; medians and their ratio;
#  2. a whole download of 16382 records x 2 channels (256 KiB log) by tavrel-cli, process start,
#     grid and CSV included, against a minimal master that only moves the same requests and
#     replies (also timed as a whole process); medians of ROUNDS runs and their ratio.
# Usage: bench/peer_bench.sh [ROUNDS] [SECONDS]   (after cmake --build --preset default)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
rounds="${1:-5}"
seconds="${2:-2}"
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
elapsed() {  # runs the command, prints its wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.4f\n", b-a}'
}

start_sim
: >"$out/peer"
: >"$out/tool"
peer_round() { "$bin/bench/modbus_peer" "$dev" "$seconds" | grep -o '[0-9]* reads/s' | cut -d' ' -f1 >>"$out/peer"; }
tool_round() { "$bin/bench/link_bench" rate "$dev" "$seconds" | grep -o '[0-9]* reads/s' | cut -d' ' -f1 >>"$out/tool"; }
for r in $(seq "$rounds"); do  # who goes first alternates, so neither gains from the order
  if [ $((r % 2)) -eq 1 ]; then peer_round; tool_round; else tool_round; peer_round; fi
done
p=$(median <"$out/peer")
t=$(median <"$out/tool")
echo "function 3 reads/s, $rounds rounds: libmodbus $(tr '\n' ' ' <"$out/peer")-> median $p"
echo "function 3 reads/s, $rounds rounds: tavrel    $(tr '\n' ' ' <"$out/tool")-> median $t"
awk -v p="$p" -v t="$t" 'BEGIN { printf "tool / libmodbus: %.2f\n", t / p }'
kill "$sim"; wait "$sim" 2>/dev/null || true

start_sim --channels 1,2 --records 16382
: >"$out/min"
: >"$out/cli"
for _ in $(seq "$rounds"); do
  elapsed "$bin/bench/minimal_master" "$dev" 256 >>"$out/min"
  elapsed "$bin/cli/tavrel-cli" download --port "$dev" --out "$out/log.csv" >>"$out/cli"
done
m=$(median <"$out/min")
c=$(median <"$out/cli")
echo "download of 256 KiB, $rounds runs, whole processes: minimal master median ${m} s, tavrel-cli median ${c} s"
awk -v m="$m" -v c="$c" 'BEGIN { printf "tavrel-cli / minimal master: %.2f\n", c / m }'
echo "CSV: $(wc -l <"$out/log.csv") lines"
