#!/usr/bin/env bash
# A fleet round: 48 meters on device servers (tavrel-sim --tcp, paced at 38400 baud, 200 records
# of 4 channels each), collected by one, two and three collectors (each --parallel 4, the same
# meters file: every meter reachable by all) into one throwaway PostgreSQL cluster. Round time,
# and the database's load from pg_stat_database (transactions, rows written and read).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
pgbin=$(ls -d /usr/lib/postgresql/*/bin | tail -n1)
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
pgdir=$(mktemp -d)
[ "$(id -u)" = 0 ] && chown postgres "$pgdir"
as_pg "$pgbin/initdb" -D "$pgdir/data" -A trust -U tavrel --no-sync >/dev/null
as_pg "$pgbin/pg_ctl" -D "$pgdir/data" -w -l "$pgdir/log" -o "-k $pgdir -c listen_addresses=" start >/dev/null
trap 'as_pg "$pgbin/pg_ctl" -D "$pgdir/data" -m immediate stop >/dev/null; rm -rf "$pgdir" "$out"; kill $(jobs -p) 2>/dev/null' EXIT
psql() { "$pgbin/psql" -h "$pgdir" -U tavrel -At "$@"; }

: >"$out/meters.txt"
base=$((20000 + RANDOM % 20000))
for i in $(seq 1 48); do
  port=$((base + i))
  "$bin/sim/tavrel-sim" --tcp "$port" --baud 38400 --records 200 >/dev/null &
  echo "m$i tcp://127.0.0.1:$port" >>"$out/meters.txt"
done
sleep 1

for collectors in 1 2 3; do
  db=fleet$collectors
  psql -d postgres -c "CREATE DATABASE $db" >/dev/null
  url="postgresql://tavrel@/$db?host=$pgdir"
  "$bin/cli/tavrel-cli" meters --archive "$url" >/dev/null   # the schema, made before the clock
  stat() { psql -d "$db" -c "SELECT xact_commit + xact_rollback, tup_inserted, tup_fetched FROM pg_stat_database WHERE datname = '$db'"; }
  before=$(stat)
  t0=$(date +%s.%N)
  for c in $(seq 1 "$collectors"); do
    "$bin/cli/tavrel-cli" collect --meters "$out/meters.txt" --archive "$url" --no-csv \
      --parallel 4 --retries 0 --out-dir "$out/c$collectors-$c" >"$out/c$c.txt" 2>&1 &
  done
  wait $(jobs -p | tail -n "$collectors") 2>/dev/null || true
  t1=$(date +%s.%N)
  sleep 1  # statistics reach pg_stat_database within a moment
  after=$(stat)
  visits=$(psql -d "$db" -c "SELECT COUNT(*) FROM visits WHERE result = 'ok'")
  awk -v t0="$t0" -v t1="$t1" -v c="$collectors" -v b="$before" -v a="$after" -v v="$visits" 'BEGIN {
    split(b, x, "|"); split(a, y, "|");
    printf "%d collector(s): round %.1f s, %d meters collected; database: %d transactions, %d rows inserted, %d rows fetched\n",
           c, t1 - t0, v, y[1] - x[1], y[2] - x[2], y[3] - x[3] }'
done
