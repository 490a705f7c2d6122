#!/usr/bin/env bash
# Makes docs/screenshots/*.png: the window on the simulated instrument, every tab worked.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tavrel-screenshots
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" build/app/tavrel-screenshots docs/screenshots
