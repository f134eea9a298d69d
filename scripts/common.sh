#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs (only when one is
# missing), then configures and builds everything into build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

# What building and running the program need (run.sh, package.sh).
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-wqy-microhei
  libmosquitto-dev qt6-websockets-dev
  libsqlite3-dev libpq-dev zlib1g-dev
  help2man dpkg-dev file ccache
)

# What only the tests need on top (test.sh).
TEST_PACKAGES=(
  xvfb xauth imagemagick
  pulseaudio pulseaudio-utils
  mosquitto mosquitto-clients
  locales
  lintian appstream man-db systemd
  dbus-daemon sqlite3
  prometheus python3-pandas chromium chromium-driver python3-selenium
  postgresql-15
)

# Services that a package enables and starts when it is installed. The tests start their own
# broker and sound server on private paths, so these are switched off again right after the
# install that brought them; a service the machine had before is left as it was.
SYSTEM_SERVICES=(mosquitto:mosquitto.service prometheus:prometheus.service
  postgresql-15:postgresql.service)
GLOBAL_USER_SERVICES=(pulseaudio:pulseaudio.socket pulseaudio:pulseaudio.service)

# Runs a command as root: directly when the script runs as root (as in CI), else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "Installing packages needs root: run this as a user with sudo, or as root." >&2
    return 1
  fi
}

# The units of `services` (package:unit pairs) whose package is among the given packages.
units_of() {
  local -n services="$1"
  shift
  local entry p
  for entry in "${services[@]}"; do
    for p in "$@"; do
      [ "${entry%%:*}" = "$p" ] && echo "${entry#*:}"
    done
  done
  return 0
}

# Switches off the services that the given, just installed, packages enabled: stopped where
# systemd runs, and not started again at boot or, for user units, at any user's log-in.
switch_off_services() {
  local unit
  for unit in $(units_of SYSTEM_SERVICES "$@"); do
    if [ -d /run/systemd/system ]; then
      as_root systemctl disable --now "$unit" || true
    else
      as_root systemctl disable "$unit" || true
      as_root service "${unit%.service}" stop >/dev/null 2>&1 || true
    fi
  done
  for unit in $(units_of GLOBAL_USER_SERVICES "$@"); do
    as_root systemctl --global disable "$unit" || true
  done
}

# install_packages [extra...]: installs those of PACKAGES and the extra packages that are
# missing; nothing is asked of sudo when none is.
install_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    switch_off_services "${missing[@]}"
  fi
  install_web_packages
}

# The dashboard's chart library comes from npm, pinned by src/services/web/dashboard's
# package-lock.json. Debian's nodejs and npm are installed unless a node with npm is there
# already (NodeSource's nodejs carries its own npm and conflicts with Debian's npm package).
install_web_packages() {
  local dashboard="$ROOT/src/services/web/dashboard"
  if ! command -v npm >/dev/null; then
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends nodejs npm
  fi
  local stamp="$dashboard/node_modules/.package-lock.json"
  if [ ! -e "$stamp" ] || [ "$dashboard/package-lock.json" -nt "$stamp" ]; then
    (cd "$dashboard" && npm ci --no-audit --no-fund)
  fi
}

# build/ and data/ belong to the user who runs the scripts; a folder left by a run as root
# would make every later step fail half-way.
check_writable() {
  local d
  for d in "$@"; do
    if [ -e "$d" ] && [ ! -w "$d" ]; then
      echo "$d belongs to $(stat -c %U "$d") and cannot be written by $(id -un):" >&2
      echo "  sudo chown -R $(id -un): $d" >&2
      return 1
    fi
  done
}

# ccache, where it is installed, shares compiled objects between builds and checkouts.
compiler_launcher() {
  command -v ccache >/dev/null && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache" || true
}
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1

# TEV_WERROR=ON in the environment builds with warnings as errors (as .ci/run does).
build_all() {
  check_writable "$BUILD"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(compiler_launcher) \
    "-DTEV_WERROR=${TEV_WERROR:-OFF}"
  cmake --build "$BUILD" -j "$(nproc)"
}
