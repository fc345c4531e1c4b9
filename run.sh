#!/usr/bin/env bash
# Installs what is missing (as root), builds, and runs Tapewell with ARGS.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tapewell_install_packages
tapewell_build build >&2
exec build/bin/tapewell-cli "$@"
