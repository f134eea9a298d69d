#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest with the offscreen Qt platform.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${TEST_PACKAGES[@]}"
build_all
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
