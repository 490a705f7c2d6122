#!/usr/bin/env bash
# A collect round over METERS device servers (tavrel-sim --tcp, paced at 38400 baud, a log of
# RECORDS records each), first one visit at a time (--parallel 1), then all at once
# (--parallel METERS). Prints both wall times and their ratio.
# Usage: bench/collect_bench.sh [METERS] [RECORDS]   (after cmake --build --preset default)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
meters="${1:-16}"
records="${2:-300}"
base=$((42000 + RANDOM % 2000))
: >"$out/meters.txt"
for i in $(seq "$meters"); do
  port=$((base + i))
  "$bin/sim/tavrel-sim" --tcp "$port" --baud 38400 --records "$records" >/dev/null &
  printf 'meter%02d tcp://127.0.0.1:%d\n' "$i" "$port" >>"$out/meters.txt"
done
sleep 1
round() {  # args: parallel, folder; prints the wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$bin/cli/tavrel-cli" collect --meters "$out/meters.txt" --out-dir "$out/$2" \
    --parallel "$1" --retries 0 >"$out/$2.txt" 2>/dev/null || { cat "$out/$2.txt"; exit 1; }
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.2f\n", b-a}'
}
seq_s=$(round 1 sequential)
par_s=$(round "$meters" parallel)
ok=$(grep -c ' ok ' "$out/parallel.txt" || true)
echo "$meters meters x $records records at 38400 baud over TCP"
echo "sequential (--parallel 1):      ${seq_s} s"
echo "parallel   (--parallel $meters):     ${par_s} s   ($ok meters ok)"
awk -v s="$seq_s" -v p="$par_s" 'BEGIN { printf "speed-up: %.1fx\n", s / p }'
cmp -s <(cd "$out/sequential" && find . -name '*.csv' -exec md5sum {} + | sort -k2 | awk '{print $1}') \
       <(cd "$out/parallel" && find . -name '*.csv' -exec md5sum {} + | sort -k2 | awk '{print $1}') &&
  echo "the two rounds wrote the same files" || echo "the two rounds' files differ"
