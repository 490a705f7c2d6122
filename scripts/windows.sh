#!/usr/bin/env bash
# The Windows build, made here: cross-compiles the programs with mingw-w64 against the Qt SDK in
# ../shared/toolchains, packs the installer and the portable zip into build-windows/, then runs
# the Windows tests under wine (the suites, then end to end against tavrel-sim on a pty mapped
# as COM1, a Korean code page, the window's screenshots, the installer).
#   scripts/windows.sh               build, pack and test
#   scripts/windows.sh --build-only  stop after the installer and the zip
set -euo pipefail
cd "$(dirname "$0")/.."
toolchains=$(cd ../shared/toolchains && pwd)

TAVREL_EXTRA_PACKAGES="xz-utils g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev qt6-base-dev-tools wine wine64 nsis zip \
  imagemagick ${TAVREL_EXTRA_PACKAGES:-}" scripts/setup-deps.sh

QT_MINGW_PREFIX=$("$toolchains/use-qt-mingw.sh" prefix)
export QT_MINGW_PREFIX
version=$(sed -n 's/^project(tavreldwn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build-windows

echo "== Windows build (mingw-w64, Qt $(basename "$QT_MINGW_PREFIX"))"
cmake --preset windows-cross >/dev/null
cmake --build --preset windows-cross -j"$(nproc)"

echo "== installer and zip"
stage=$out/stage
rm -rf "$stage"
cmake --install "$out" --prefix "$stage" --strip >/dev/null
size_kb=$(du -sk --apparent-size "$stage" | cut -f1)
echo "installed size: $size_kb KB"
setup=$out/tavrel-$version-win64-setup.exe
makensis -V2 -DSTAGE="$(realpath "$stage")" -DOUT="$(realpath -m "$setup")" -DSIZE_KB="$size_kb" \
  "$out/tavrel.nsi"
rm -f "$out/tavrel-$version-win64.zip"
(cd "$stage" && zip -qr "../tavrel-$version-win64.zip" .)
echo "built $setup and $out/tavrel-$version-win64.zip"
[ "${1:-}" = "--build-only" ] && exit 0

echo "== Windows tests under wine"
# The Linux simulated instrument and CLI are the far end and the reference of the end-to-end run.
if [ ! -x build/sim/tavrel-sim ] || [ ! -x build/cli/tavrel-cli ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target tavrel-sim tavrel-cli
fi
# No desktop entries or icons in the Linux home folder for the installer's Start-menu shortcuts.
export WINEPREFIX=$PWD/$out/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# No Windows test may open a real serial port: every test runs where they are /dev/null, and
# a wineserver started elsewhere (which would see the real ones) is ended first.
scripts/without-serial-ports.sh bash -ec '
  wineserver -k 2>/dev/null || true
  ctest --preset windows-cross -j"$(nproc)"
  tests/windows_e2e.sh "$0" "$1"' "$out" "$version"
