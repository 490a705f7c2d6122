#!/usr/bin/env bash
# Cross-checks the simulated instrument with a Modbus master nobody here wrote: Debian's mbpoll
# reads the display registers and writes the key register of `tavrel-sim --pty`.
set -euo pipefail
sim="$1"
if ! command -v mbpoll >/dev/null; then
  echo "mbpoll is not installed (scripts/setup-deps.sh installs it)" >&2
  exit 1
fi
out=$(mktemp)
"$sim" --pty >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
dev=$(head -n1 "$out")
# Registers 24.. (mbpoll counts from 1 unless -0): the first display line, "FLOW RATE".
read1=$(mbpoll -m rtu -a 1 -b 38400 -P none -t 4:hex -0 -r 24 -c 5 -1 -o 2 "$dev")
echo "$read1"
echo "$read1" | grep -q '\[24\]:[[:space:]]*0x464C' || { echo "display line 1 is not FLOW RATE"; exit 1; }
# Key "M" (0x4D) with 0xFF: the menu opens, and line 1 then starts with the cursor 0x02.
mbpoll -m rtu -a 1 -b 38400 -P none -t 4:hex -0 -r 209 -1 -o 2 "$dev" 0x4DFF
read2=$(mbpoll -m rtu -a 1 -b 38400 -P none -t 4:hex -0 -r 24 -c 1 -1 -o 2 "$dev")
echo "$read2"
echo "$read2" | grep -q '\[24\]:[[:space:]]*0x0246' || { echo "the key did not open the menu"; exit 1; }
echo "mbpoll cross-check passed"
