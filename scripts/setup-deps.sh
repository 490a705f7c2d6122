#!/usr/bin/env bash
# Installs the Debian packages the tool needs to build, test and run (as root; a no-op when
# everything is already there).
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev libqt6serialport6-dev libgl-dev
  libgtest-dev libbenchmark-dev
  fonts-nanum socat mbpoll xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
