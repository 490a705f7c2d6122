#!/usr/bin/env bash
# The Windows programs end to end under wine, against the Linux tavrel-sim on a pseudo-terminal
# that wine's port registry maps as COM1 (never wine's default, the machine's real ttyS0):
#  - tavrel-cli.exe downloads the same records, values and captions as the Linux CLI, with the
#    Windows locale's own time stamps; again under a Korean code page (cp949 captions);
#  - the window under Xvfb with the Windows style: a picture of every tab;
#  - the installer: silent install, the installed programs run, silent uninstall leaves nothing.
# Usage: tests/windows_e2e.sh BUILD-WINDOWS-FOLDER VERSION (scripts/windows.sh runs it).
set -euo pipefail
win=$(realpath "$1")
version=$2
linux=$(realpath build)
run="$QT_MINGW_PREFIX/wine-run.sh"
work=$(mktemp -d)
sims=()
cleanup() {
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
passes=0
failures=0
check() {  # check NAME CONDITION-COMMAND...
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
    passes=$((passes + 1))
  else
    echo "FAIL $name"
    failures=$((failures + 1))
  fi
}

start_sim() {  # start_sim FILE OPTIONS...: tavrel-sim; its device or address in FILE
  local file=$1
  shift
  "$linux/sim/tavrel-sim" "$@" >"$file" &
  sims+=($!)
  for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.1; done
}

map_com1() {  # wine's COM1 is the pty, whatever wine would pick by itself
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$1" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

sim_options=(--channels 1,2 --records 50 --start 2026-03-01T00:00
             --caption "1=유량 m3/h" --caption "2=적산 m3" --caption-code-page CP949)

# The Linux CLI's download of the instrument, the reference.
start_sim "$work/linux.dev" --pty "${sim_options[@]}"
mkdir "$work/linux"
(cd "$work/linux" && LC_ALL=ko_KR.EUC-KR "$linux/cli/tavrel-cli" download \
  --port "$(head -n1 "$work/linux.dev")" --out ref.csv >/dev/null)

# Field 1 is the time stamp; everything else (header, values) must be byte for byte the same.
without_stamps() { cut -d, -f2- "$1"; }

for locale in en_US.UTF-8 ko_KR.UTF-8; do
  start_sim "$work/$locale.dev" --pty "${sim_options[@]}"
  map_com1 "$(head -n1 "$work/$locale.dev")"
  mkdir -p "$work/$locale"
  (cd "$work/$locale" && LANG=$locale LC_ALL=$locale "$run" "$win/cli/tavrel-cli.exe" download \
     --out win.csv >out.txt 2>&1) || true
  csv=$work/$locale/win.csv
  check "$locale: tavrel-cli.exe downloaded over COM1" grep -q "Finished. Data in File" "$work/$locale/out.txt"
  check "$locale: CR LF lines, one a record" test "$(grep -c $'\r$' "$csv")" = 51
  check "$locale: captions and values equal the Linux download's" \
    cmp -s <(without_stamps "$work/linux/ref.csv") <(without_stamps "$csv")
  # Midnight is the date alone; a quarter past, the date and the long time.
  stamps=$(sed -n 2,3p "$csv" | cut -d, -f1 | tr -d '\r' | iconv -f "$([ "$locale" = en_US.UTF-8 ] && echo CP1252 || echo CP949)" -t UTF-8 | paste -sd'|')
  if [ "$locale" = en_US.UTF-8 ]; then
    check "$locale: stamps in the user's short date and long time" \
      test "$stamps" = "3/1/2026|3/1/2026 12:15:00 AM"
  else
    # Korean Windows: yyyy-MM-dd, then the morning mark before the time, in cp949.
    # (wine 8's Korean locale: "yyyy. M. d." and "tt h:mm:ss" with AM/PM; a Korean Windows
    # writes 2026-03-01 오전 12:15:00. The tool asks the system either way.)
    check "$locale: stamps in the Korean date and time" \
      test "$stamps" = "2026. 3. 1.|2026. 3. 1. AM 12:15:00"
  fi
done

# The chart of that download, drawn by the Windows plot module (PNG, and PDF: no Qt Svg there).
for out in win.png win.pdf; do
  (cd "$work/en_US.UTF-8" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 xvfb-run -a \
     "$run" "$win/cli/tavrel-cli.exe" plot win.csv --out "$out" >"plot-$out.txt" 2>&1) || true
  check "plot: tavrel-cli.exe drew $out" test -s "$work/en_US.UTF-8/$out"
  test -s "$work/en_US.UTF-8/$out" || sed "s/^/    /" "$work/en_US.UTF-8/plot-$out.txt"
done

# Finding the instrument on COM1: its speed and slave ID told, as on Linux.
start_sim "$work/find.dev" --pty --baud 9600 --slave 5 --records 5
map_com1 "$(head -n1 "$work/find.dev")"
found=$(cd "$work" && "$run" "$win/cli/tavrel-cli.exe" find --ports COM1 --bauds 38400,9600 \
          --slaves 1-6 2>/dev/null | tr -d '\r')
check "find: the meter on COM1 at 9600 baud, slave ID 5" \
  grep -q "^Meter on COM1: 9600 baud, slave ID 5, 5 records" <<<"$found"

# A serial device server: the same instrument over tcp:// (Windows' QTcpSocket port).
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_sim "$work/tcp.url" --tcp "$port" "${sim_options[@]}"
mkdir -p "$work/tcp"
(cd "$work/tcp" && "$run" "$win/cli/tavrel-cli.exe" download --port "$(head -n1 "$work/tcp.url")" \
   --out win.csv >out.txt 2>&1) || true
check "tcp://: tavrel-cli.exe downloaded from a device server" grep -q "Finished. Data in File" "$work/tcp/out.txt"
grep -q "Finished. Data in File" "$work/tcp/out.txt" || sed "s/^/    /" "$work/tcp/out.txt"
check "tcp://: captions and values equal the Linux download's" \
  cmp -s <(without_stamps "$work/linux/ref.csv") <(without_stamps "$work/tcp/win.csv")

# The window, under Xvfb with the Windows platform plugin and style.
mkdir -p "$win/screenshots"
wineserver -w 2>/dev/null || true
(cd "$work" && LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8 xvfb-run -a -s '-screen 0 1280x1024x24' \
   "$run" "$win/app/tavrel-screenshots.exe" "$(winepath -w "$win/screenshots")" windows- \
   >"$work/shots.txt" 2>&1) || true
for tab in tab0-download tab1-results tab2-settings tab3-front-panel tab4-modem chart; do
  check "window: $tab pictured" test -s "$win/screenshots/windows-$tab.png"
done
test -s "$win/screenshots/windows-tab0-download.png" || sed "s/^/    /" "$work/shots.txt"

# The installer, silently, into a folder of its own; then the installed programs, then away.
setup=$win/tavrel-$version-win64-setup.exe
target='C:\TAVREL-test'
unix_target=$(winepath -u "$target" 2>/dev/null)
wine "$setup" /S "/D=$target" >/dev/null 2>&1
check "installer: programs in place" test -f "$unix_target/tavrel-cli.exe" -a -f "$unix_target/tavrel.exe"
check "installer: --version runs from the installed folder" \
  sh -c "wine '$target\\tavrel-cli.exe' --version 2>/dev/null | grep -q 'tavrel-cli $version'"
mkdir -p "$work/demo"
(cd "$work/demo" && wine "$target\\tavrel-cli.exe" download --demo --sim-records 30 --out demo.csv \
   --archive demo.db --meter demo >out.txt 2>&1) || true
check "installer: a demo download" grep -q "Finished. Data in File" "$work/demo/out.txt"
check "installer: into a SQLite archive" grep -q "Archived for demo: 120 new" "$work/demo/out.txt"
# The installed plot module, and the installed window offered for a CSV's "Open with".
(cd "$work/demo" && xvfb-run -a wine "$target\\tavrel-cli.exe" plot demo.csv --out demo.png \
   >plot.txt 2>&1) || true
check "installer: a chart from the installed folder" test -s "$work/demo/demo.png"
check "installer: tavrel.exe in a CSV's Open with" \
  sh -c "wine reg query 'HKLM\\Software\\Classes\\.csv\\OpenWithList\\tavrel.exe' 2>/dev/null | grep -qi tavrel"
check "installer: in Add/Remove Programs with its version" \
  sh -c "wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TavrelDownloadTool' /v DisplayVersion 2>/dev/null | grep -q '$version'"
wine "$target\\uninstall.exe" /S >/dev/null 2>&1
for _ in $(seq 60); do [ -e "$unix_target" ] || break; sleep 0.5; done
check "uninstaller: nothing left behind" test ! -e "$unix_target"
check "uninstaller: Add/Remove Programs entry gone" \
  sh -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TavrelDownloadTool' >/dev/null 2>&1"

echo "windows: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
