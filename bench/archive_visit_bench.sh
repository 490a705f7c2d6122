#!/usr/bin/env bash
# A nightly visit at 2400 baud (line paced by tavrel-sim) of a meter whose archive holds 16 000
# records and whose log has 96 new ones: new records only, against a whole read of the log.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
db=$out/bench.db
opts=(--channels 1 --start 2026-06-01T00:00)

start_sim "${opts[@]}" --records 16000   # yesterday's visit, unthrottled, fills the archive
"$bin/cli/tavrel-cli" download --port "$dev" --archive "$db" --meter north --out "$out/a.csv" >/dev/null 2>&1
kill "$sim"; wait "$sim" 2>/dev/null || true

for read in new-only whole; do
  start_sim "${opts[@]}" --records 16096 --baud 2400
  extra=()
  [ "$read" = whole ] && extra=(--full)
  t0=$(date +%s.%N)
  line=$("$bin/cli/tavrel-cli" download --port "$dev" --baud 2400 --archive "$db" --meter north \
         --out "$out/b.csv" "${extra[@]}" 2>/dev/null | grep Archived)
  t1=$(date +%s.%N)
  kill "$sim"; wait "$sim" 2>/dev/null || true
  awk -v t0="$t0" -v t1="$t1" -v r="$read" 'BEGIN { printf "%-9s %7.1f s  ", r, t1 - t0 }'
  echo "$line"
done
