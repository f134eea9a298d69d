#!/usr/bin/env bash
# Sets up, builds and starts the power monitor. It keeps its records and settings files in its
# working directory: data/ at the top of the checkout (not under version control).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
build_all
mkdir -p "$ROOT/data"
cd "$ROOT/data"
exec "$BUILD/tev3p" "$@"
