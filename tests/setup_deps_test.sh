#!/usr/bin/env bash
# The set-up script on a machine that has everything: it must not touch apt (no network, any
# user). With a package missing and no root, it names the package and the command to run.
set -u
script="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in apt-get apt; do
  printf '#!/bin/sh\necho called >> "%s/apt-called"\nexit 100\n' "$work" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
fail=0

if ! PATH="$work/bin:$PATH" "$script" >"$work/out" 2>&1; then
  echo "FAIL: set-up failed with every package installed:"; cat "$work/out"; fail=1
fi
[ -e "$work/apt-called" ] && { echo "FAIL: apt was run although nothing was missing"; fail=1; }

if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  as_user=()
fi
# A copy the other user can reach wherever the checkout lives.
cp "$script" "$work/setup-deps.sh"
chmod 755 "$work" "$work/bin" "$work/setup-deps.sh"
if PATH="$work/bin:$PATH" TAVREL_EXTRA_PACKAGES="tavrel-no-such-package" \
  "${as_user[@]}" "$work/setup-deps.sh" >"$work/out" 2>&1; then
  echo "FAIL: a missing package went unreported"; fail=1
fi
grep -q "sudo apt-get install tavrel-no-such-package" "$work/out" ||
  { echo "FAIL: no install command named:"; cat "$work/out"; fail=1; }
[ -e "$work/apt-called" ] && { echo "FAIL: apt was run without root"; fail=1; }

[ $fail -eq 0 ] && echo "set-up script: touches nothing when complete, names what is missing"
exit $fail
