#!/usr/bin/env bash
# Makes docs/screenshots/*.png: the window on the simulated instrument, every tab worked, in
# Korean (tab*.png) and in English (en-tab*.png).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tavrel-screenshots
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" build/app/tavrel-screenshots docs/screenshots "" ko
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" build/app/tavrel-screenshots docs/screenshots en- en
# The eight-channel chart (Korean captions, mixed units, over-range marks) the chart suite draws.
cmake --build --preset default -j"$(nproc)" --target chart_tests
TAVREL_KEEP_CHART_SHOT="$PWD/docs/screenshots/chart-eight-channels.png" QT_QPA_PLATFORM=offscreen \
  build/tests/chart_tests --gtest_filter='ChartView.*' >/dev/null
