#!/usr/bin/env bash
# Sets up, builds and makes the Debian package build/tev3p_<version>_<arch>.deb, to be installed
# with `sudo apt install ./build/tev3p_*.deb`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
build_all
cd "$BUILD"
cpack -G DEB
ls -l "$BUILD"/tev3p_*.deb
