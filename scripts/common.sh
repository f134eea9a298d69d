#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs (only when one is
# missing), then configures and builds everything into build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-wqy-microhei
  xvfb xauth imagemagick
  dpkg-dev file ccache
  pulseaudio pulseaudio-utils
  libmosquitto-dev mosquitto mosquitto-clients
  libsqlite3-dev sqlite3
  locales
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# ccache, where it is installed, shares compiled objects between builds and checkouts.
compiler_launcher() {
  command -v ccache >/dev/null && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache" || true
}
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1

build_all() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(compiler_launcher)
  cmake --build "$BUILD" -j "$(nproc)"
}
