#!/usr/bin/env bash
# Builds and runs every test: the plain build, a bounded run of each fuzz target, the
# AddressSanitizer + UBSan build, then the Windows build under wine. Exits non-zero if anything
# fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
jobs=$(nproc)

echo "== plain build"
cmake --preset default -DBUILD_TESTING=ON -DTAVREL_BENCH=ON >/dev/null
cmake --build --preset default -j"$jobs"
ctest --preset default -j"$jobs"

echo "== fuzz targets (bounded)"
scripts/fuzz.sh "${FUZZ_SCALE:-1}"

echo "== AddressSanitizer + UBSan build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j"$jobs"

echo "== Windows build, installer and tests under wine"
scripts/windows.sh
