#!/usr/bin/env bash
# Remakes tavrel.ico, the Windows programs' icon, from the same pictures the Linux desktop
# entry uses (rendered from tavrel.svg by the Linux build's render_icons), 16 to 256 pixels.
# The cross build cannot run the renderer, so the .ico is kept in the repository; run this
# after a change to tavrel.svg:  packaging/windows/make-icon.sh [LINUX-BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target icons >/dev/null
pngs=()
for size in 16 24 32 48 64 128 256; do pngs+=("$build/packaging/icons/$size/tavrel.png"); done
convert "${pngs[@]}" packaging/windows/tavrel.ico
identify packaging/windows/tavrel.ico
