#!/usr/bin/env bash
# Installs the Debian packages the tool needs to build, test and run. When everything is
# already there it touches nothing (no apt, no network, any user). When something is missing
# it installs it as root, or names the one command to run when we are not root.
set -euo pipefail
# Real package names only: dpkg-query never reports a virtual package as installed.
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libgl-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libqt6sql6-sqlite libqt6sql6-psql postgresql chromium
  libgtest-dev libbenchmark-dev
  fonts-nanum socat mbpoll xvfb xauth strace
  locales-all appstream libmodbus-dev
)
# More packages for one run (its test uses a name that does not exist).
read -r -a extra <<<"${TAVREL_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them with:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
