#!/usr/bin/env bash
# Installs what is missing (as root), builds, and runs Tapewell with ARGS.
# Without ARGS it runs the demonstration of scripts/demo.sh: a sample stream
# served on loopback and recorded over MMS and HTTP streaming.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tapewell_install_packages
tapewell_build build >&2
if [ $# -eq 0 ]; then
  exec scripts/demo.sh
fi
exec build/bin/tapewell-cli "$@"
