#!/usr/bin/env bash
# Installs the tool like real software and runs it from there: `cmake --install` into a scratch
# prefix (every file in its place, nothing that is only for tests), then the .deb CPack makes,
# unpacked into a scratch root with dpkg -x, its dependencies named, and its programs run.
# Usage: package_test.sh BUILD_DIR
set -u
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
say() { echo "FAIL: $*"; fail=1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; say "cmake --install failed"; }
for f in bin/tavrel bin/tavrel-cli bin/tavrel-sim bin/tavrel-desktop \
  share/applications/org.tavrel.Tavreldwn.desktop share/metainfo/org.tavrel.Tavreldwn.metainfo.xml \
  share/icons/hicolor/scalable/apps/tavrel.svg share/icons/hicolor/48x48/apps/tavrel.png \
  share/icons/hicolor/256x256/apps/tavrel.png share/man/man1/tavrel.1 share/man/man1/tavrel-cli.1 \
  share/man/man1/tavrel-sim.1 share/bash-completion/completions/tavrel-cli \
  share/doc/tavrel/collect.md share/doc/tavrel/examples/tavrel-collect.timer \
  lib/tavrel/tavrel-plot.so share/tavrel/translations/tavrel_ko.qm \
  share/tavrel/translations/tavrel_en.qm; do
  [ -e "$work/prefix/$f" ] || say "not installed: $f"
done
extra=$(cd "$work/prefix" && find . -type f | grep -E 'test|bench|fuzz|screenshot|render_icons|make_seeds')
[ -z "$extra" ] || say "installed but only for tests: $extra"
appstreamcli validate --no-net "$work/prefix/share/metainfo/org.tavrel.Tavreldwn.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; say "metainfo does not validate"; }
grep -q '^Categories=Utility;Engineering;' "$work/prefix/share/applications/org.tavrel.Tavreldwn.desktop" ||
  say "desktop entry categories"
# The launcher and the software centre speak both of the window's languages.
for key in Name GenericName Comment Keywords; do
  grep -q "^$key\[ko\]=" "$work/prefix/share/applications/org.tavrel.Tavreldwn.desktop" ||
    say "desktop entry has no Korean $key"
done
[ "$(grep -c 'xml:lang="ko"' "$work/prefix/share/metainfo/org.tavrel.Tavreldwn.metainfo.xml")" -ge 4 ] ||
  say "metainfo lacks its Korean name, summary and description"

(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
  { tail -n 20 "$work/cpack.log"; say "cpack failed"; }
deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -n1)
if [ -n "$deb" ]; then
  depends=$(dpkg-deb -f "$deb" Depends)
  for d in libqt6core6 libqt6widgets6 fonts-nanum qt6-qpa-plugins; do
    echo "$depends" | grep -q "$d" || say "Depends lacks $d: $depends"
  done
  dpkg -x "$deb" "$work/root"
  bin="$work/root/usr/bin"
  # Qt Network and the libraries it loads made every start of the command line ~3 ms slower;
  # the tool's ports do not need it here.
  ! ldd "$bin/tavrel-cli" | grep -q libQt6Network || say "tavrel-cli loads Qt Network"
  version=$("$bin/tavrel-cli" --version) || say "tavrel-cli --version"
  echo "$version" | grep -qE '^tavrel-cli [0-9]+\.[0-9]+' || say "version text: $version"
  "$bin/tavrel-sim" --version | grep -qE '^tavrel-sim [0-9]' || say "tavrel-sim --version"
  # Without any display at all: a script asking the version must not need one.
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/tavrel" --version | grep -qE '^tavrel [0-9]' ||
    say "tavrel --version without a display"
  mkdir "$work/run"
  (cd "$work/run" && "$bin/tavrel-cli" download --demo --sim-records 50 --out demo.csv >"$work/cli.log" 2>&1) ||
    { cat "$work/cli.log"; say "tavrel-cli download --demo from the package"; }
  [ "$(grep -c $'\r' "$work/run/demo.csv" 2>/dev/null)" = 51 ] || say "demo.csv lines"
  # The chart comes from the plot module in the package's library folder.
  (cd "$work/run" && "$bin/tavrel-cli" plot demo.csv --out demo.png >"$work/plot.log" 2>&1) ||
    { cat "$work/plot.log"; say "tavrel-cli plot from the package"; }
  [ -s "$work/run/demo.png" ] || say "no chart from the package"
  # The chart is the tool's own: Qt Svg for its SVG, Qt Print Support for the print dialog;
  # never the GPL-only Qt Charts.
  for d in libqt6svg6 libqt6printsupport6; do
    echo "$depends" | grep -q "$d" || say "Depends lacks $d (the chart): $depends"
  done
  ! echo "$depends" | grep -q libqt6charts || say "Depends names Qt Charts: $depends"
  # The window runs until it is closed: alive after three seconds is the pass. The demo works
  # in ~/Tavrel/Demo, made on first start, and leaves the folder it started in alone.
  (cd "$work/run" && HOME="$work/home" QT_QPA_PLATFORM=offscreen timeout 3 "$bin/tavrel" --demo \
     >"$work/gui.log" 2>&1)
  [ $? -eq 124 ] || { cat "$work/gui.log"; say "tavrel --demo did not stay up"; }
  [ -f "$work/home/Tavrel/Demo/Tavreldwn.ini" ] || say "tavrel --demo did not work in ~/Tavrel/Demo"
  # The window finds its languages where the package put them (it says so when it does not).
  for lang in ko en; do
    (cd "$work/run" && HOME="$work/home" QT_QPA_PLATFORM=offscreen timeout 3 "$bin/tavrel" --demo \
       --lang $lang >"$work/lang.log" 2>&1)
    ! grep -q "qm is not in" "$work/lang.log" || { cat "$work/lang.log"; say "no $lang texts"; }
  done
  [ ! -e "$work/run/Tavreldwn.ini" ] || say "tavrel --demo made settings where it started"
  # From the desktop the window works in ~/Tavrel, made on first start.
  HOME="$work/home" QT_QPA_PLATFORM=offscreen timeout 3 "$bin/tavrel-desktop" >/dev/null 2>&1
  [ -f "$work/home/Tavrel/Tavreldwn.ini" ] || say "tavrel-desktop did not start the window in ~/Tavrel"
  # Opened with a saved log (the desktop entry's %f): the window in the log's folder, up with it.
  mkdir "$work/logs"
  cp "$work/run/demo.csv" "$work/logs/"
  HOME="$work/home" QT_QPA_PLATFORM=offscreen timeout 3 "$bin/tavrel-desktop" "$work/logs/demo.csv" \
    >"$work/open.log" 2>&1
  [ $? -eq 124 ] || { cat "$work/open.log"; say "tavrel-desktop LOG.csv did not stay up"; }
  [ -f "$work/logs/Tavreldwn.ini" ] || say "tavrel-desktop LOG.csv did not start in the log's folder"
else
  say "no .deb made"
fi
[ $fail -eq 0 ] && echo "installed, packaged and run from the package: $(basename "${deb:-none}")"
exit $fail
