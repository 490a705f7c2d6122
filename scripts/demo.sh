#!/usr/bin/env bash
# Builds the tool and starts it on the built-in simulated instrument: the window where a
# display exists, otherwise a headless download and a look at the instrument's display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tavrel tavrel-cli tavrel-sim
mkdir -p demo
cd demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ../build/app/tavrel --demo "$@"
fi
echo "No display here: running the headless tool on the simulated instrument instead."
echo "(With a display, this command opens the window; see README.md.)"
../build/cli/tavrel-cli download --demo --out Logdata.csv --plot Logdata.png "$@"
echo "-- first lines of demo/Logdata.csv:"
head -n 5 Logdata.csv
../build/cli/tavrel-cli panel --demo --keys M --polls 2
