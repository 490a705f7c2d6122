#!/usr/bin/env bash
# Runs a command where this machine's serial devices (/dev/ttyS*, ttyUSB*, ttyACM*) are
# /dev/null: a mount namespace of its own (unshare -m as root, else in a user namespace).
#   scripts/without-serial-ports.sh COMMAND [ARGS...]
# Why: wine gives every serial device it finds the next COM number its port registry
# (HKLM\Software\Wine\Ports) leaves free, up to COM256, and the registry cannot take COM256;
# so mapping COM ports away in the registry never keeps a real port out of wine's reach. Here
# wine still makes those COM ports, but they lead to /dev/null, and no test opens a real port.
set -euo pipefail
if [ "${TAVREL_SERIAL_HIDDEN:-}" != 1 ]; then
  for how in -m -rm; do
    if unshare "$how" true 2>/dev/null; then
      exec unshare "$how" env TAVREL_SERIAL_HIDDEN=1 "$0" "$@"
    fi
  done
  echo "$0: cannot hide the serial devices (unshare needs root or user namespaces)" >&2
  exit 1
fi
for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
  if [ -c "$device" ]; then mount --bind /dev/null "$device"; fi
done
exec "$@"
