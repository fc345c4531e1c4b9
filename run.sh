#!/usr/bin/env bash
# Installs what is missing (as root), builds, and runs Tapewell.
#   ./run.sh          the desktop program when there is a display (DISPLAY or
#                     WAYLAND_DISPLAY), else the demonstration below
#   ./run.sh demo     the demonstration of scripts/demo.sh: a sample stream
#                     served on loopback and recorded over MMS and HTTP streaming
#   ./run.sh ARGS     tapewell-cli ARGS
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tapewell_install_packages
tapewell_build build >&2
if [ $# -eq 0 ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/bin/tapewell
  fi
  exec scripts/demo.sh
fi
if [ $# -eq 1 ] && [ "$1" = demo ]; then
  exec scripts/demo.sh
fi
exec build/bin/tapewell-cli "$@"
