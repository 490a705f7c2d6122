#!/usr/bin/env bash
# Plants known faults in the product one at a time and tells which the tests catch: the proof
# that trimming a suite lost nothing. Not part of CI (it rebuilds once per fault).
#
#   scripts/mutants.sh                 every fault
#   scripts/mutants.sh crc-order ...   only these
#   scripts/mutants.sh --list          the faults, one a line
#
# The working tree (committed or not) is copied to $MUTANTS_DIR (default /tmp/tavrel-mutants)
# and built there once; each fault is applied to that copy, the suites it names are built and
# run first, and when they all pass every suite is built and run. A fault is "caught" when some
# test fails; "MISSED" when the whole of ctest passes with it in place. Exit status: the number
# of faults missed (or that no longer apply to the code).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${MUTANTS_DIR:-/tmp/tavrel-mutants}"
jobs=$(nproc)

# id | file | text as it stands | the fault ("~~" is a line break) | suites to run first
faults() {
  cat <<'EOF'
crc-order|link/transactions.cpp|    state_.CrcLow = state_.CrcValue & 255;~~    state_.CrcHigh = (state_.CrcValue & 0xFF00) / 256;|    state_.CrcHigh = state_.CrcValue & 255;~~    state_.CrcLow = (state_.CrcValue & 0xFF00) / 256;|link_tests
resend-after-2s|link/transactions.cpp|if (t - resendMark <= 1.0) continue;|if (t - resendMark <= 2.0) continue;|link_tests
reply-waits-one-byte-short|link/transactions.cpp|const int awaited = 2 * state_.CountLow + 5;|const int awaited = 2 * state_.CountLow + 4;|link_tests panel_tests
log-selector-off-by-one|download/download_driver.cpp|0x80 + (position % 16384) / 256|0x81 + (position % 16384) / 256|download_tests
half-rounded-up|platform/clock.cpp|return std::nearbyint(timeOfDay);|return std::floor(timeOfDay + 0.5);|link_tests download_tests
bcd-day-as-binary|download/record_decoding.cpp|const int day = bcd(e[1]);|const int day = e[1];|download_tests
float-exponent-bias|download/record_decoding.cpp|std::ldexp(1.0, e - 126)|std::ldexp(1.0, e - 127)|download_tests
csv-leading-blank-dropped|download/record_decoding.cpp|*o++ = value < 0 ? '-' : ' ';|if (value < 0) *o++ = '-';|download_tests
csv-lf-not-crlf|download/csv_export.cpp|    line += "\r\n";~~}|    line += "\n";~~}|download_tests
block-512-at-38400|download/download_driver.cpp|for (int bytes = kBlockBytes; bytes > 256; bytes -= 256) {|for (int bytes = kBlockBytes / 2; bytes > 256; bytes -= 256) {|download_tests
key-dequeued-before-write|panel/front_panel.cpp|        if (link_.WriteMultipleRegisters(s.CommSlaveID, kKeyRegister, 1, 2)) {~~            // Keys clicked during the write were appended meanwhile and stay queued.~~            s.KeyBuffer = s.KeyBuffer.size() >= 2 ? s.KeyBuffer.mid(1) : QByteArray();~~        } else {|        s.KeyBuffer = s.KeyBuffer.mid(1);~~        if (link_.WriteMultipleRegisters(s.CommSlaveID, kKeyRegister, 1, 2)) {~~        } else {|panel_tests
settings-lines-swapped|shell/settings_file.cpp|    out += crlf(QStringLiteral("[Commport]=%1").arg(widgets.selectedPortOption() + 1));~~    out += crlf(QStringLiteral("[CommBaud]=") + baudCaptions().value(widgets.selectedBaudOption()));|    out += crlf(QStringLiteral("[CommBaud]=") + baudCaptions().value(widgets.selectedBaudOption()));~~    out += crlf(QStringLiteral("[Commport]=%1").arg(widgets.selectedPortOption() + 1));|app_tests
panel-every-second|app/dwnload1.cpp|timer1_.setInterval(750);|timer1_.setInterval(1000);|window_tests
no-guard-before-escape|modem/modem.cpp|constexpr double kEscapeGuard = 1.2;|constexpr double kEscapeGuard = 0.0;|modem_tests
modem-waits-60s|modem/modem.cpp|constexpr double kPhaseLimit = 90.0;|constexpr double kPhaseLimit = 60.0;|modem_tests
hang-up-ignores-operation|link/port_lock.h|void cancelOperation() { cancelled_ = operationBusy(); }|void cancelOperation() {}|modem_tests
no-fsync-before-rename|collect/collector.cpp|    syncPath(part, O_RDONLY);~~|~~|collect_e2e_tests
hangul-one-column|platform/local_text.cpp|width += wide ? 2 : 1;|width += wide ? 1 : 1;|collect_e2e_tests
archive-year-off-by-one|archive/log_stream.cpp|            year = y;|            year = y - 1;|archive_tests
archive-conflict-overwritten|archive/archive.cpp|ON CONFLICT (series_id, channel, stamp) DO NOTHING|ON CONFLICT (series_id, channel, stamp) DO UPDATE SET value = excluded.value|archive_tests
chart-over-range-missed|chart/chart_data.cpp|if (std::fabs(v) >= 9.99e36) return v > 0 ? 1 : -1;|if (std::fabs(v) >= 9.99e37) return v > 0 ? 1 : -1;|chart_tests
chart-new-year-not-moved|chart/chart_data.cpp|if (records[i].x - records[i - 1].x < -kNewYearStep) wraps.append(i);|if (records[i].x - records[i - 1].x < -2 * kNewYearStep) wraps.append(i);|chart_tests
chart-weeks-on-sundays|chart/chart_data.cpp|if (day.dayOfWeek() == 1 && |if (day.dayOfWeek() == 7 && |chart_tests
chart-flat-channel-shared|chart/chart_picture.cpp|span(k) < (hi - lo) / 10 ? apart|span(k) < (hi - lo) / 100 ? apart|chart_tests
chart-stamps-in-local-time|chart/chart_data.cpp|fromMSecsSinceEpoch(msecs, Qt::UTC)|fromMSecsSinceEpoch(msecs)|chart_tests
EOF
}

if [[ "${1:-}" == "--list" ]]; then
  faults | cut -d'|' -f1
  exit 0
fi

echo "== copying the tree to $work/src"
mkdir -p "$work/src"
(cd "$root" && git ls-files -co --exclude-standard | tar -cf - -T -) | tar -xf - -C "$work/src"
cd "$work/src"
cmake --preset default -DBUILD_TESTING=ON >/dev/null
echo "== building it whole"
cmake --build --preset default -j"$jobs" >"$work/build.log" 2>&1 ||
  { echo "the unchanged tree does not build: $work/build.log"; exit 99; }

missed=0
printf '%-30s %s\n' fault result
while IFS='|' read -r id file old new suites; do
  [[ -z "$id" ]] && continue
  if [[ $# -gt 0 ]] && [[ " $* " != *" $id "* ]]; then continue; fi
  cp "$file" "$work/original"
  if ! OLD="$old" NEW="$new" perl -0pi -e '
        BEGIN { ($o, $n) = ($ENV{OLD}, $ENV{NEW}); s/~~/\n/g for $o, $n; }
        $count = s/\Q$o\E/$n/g;
        END { exit($count == 1 ? 0 : 1) }' "$file"; then
    cp "$work/original" "$file"
    printf '%-30s %s\n' "$id" "NOT APPLIED (the text is not in $file once)"
    missed=$((missed + 1))
    continue
  fi
  log="$work/$id.log"
  labels="^($(tr ' ' '|' <<<"$suites"))\$"
  result=""
  # shellcheck disable=SC2086
  if ! cmake --build --preset default -j"$jobs" --target $suites tavrel-sim tavrel-cli >"$log" 2>&1; then
    result="NOT BUILT (see $log)"
  elif ! ctest --preset default -L "$labels" -j"$jobs" --stop-on-failure >>"$log" 2>&1; then
    result="caught by $suites"
  elif ! cmake --build --preset default -j"$jobs" >>"$log" 2>&1; then
    result="NOT BUILT (see $log)"
  elif ! ctest --preset default -j"$jobs" --stop-on-failure >>"$log" 2>&1; then
    result="caught by another suite"
  else
    result="MISSED"
  fi
  if [[ "$result" == caught* ]]; then
    # The first test ctest lists as failed.
    result="$result: $(sed -n '/tests FAILED:/{n;p;q}' "$log" |
      sed -E 's/^[[:space:]]*[0-9]+ - //; s/ +# GetParam\(\).*//; s/ \((Failed|Timeout)\)$//')"
  else
    missed=$((missed + 1))
  fi
  cp "$work/original" "$file"  # a new mtime: the next build compiles it again
  printf '%-30s %s\n' "$id" "$result"
done < <(faults)
echo "== $missed not caught"
exit "$missed"
