#!/usr/bin/env bash
# The set-up of scripts/common.sh with dpkg-query, apt-get, sudo, systemctl and id played by
# stand-ins that log their calls: it asks sudo for nothing when nothing is missing, asks it
# only for the install when it runs as a user, needs no sudo as root, switches off exactly the
# services its own install brought, and keeps the test tools out of what run.sh installs.
set -euo pipefail
scripts="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
log="$scratch/calls"
stub() {
    printf '#!/bin/sh\n%s\n' "$2" > "$scratch/bin/$1"
    chmod +x "$scratch/bin/$1"
}
stub dpkg-query 'for m in $FAKE_MISSING; do [ "$m" = "$3" ] && exit 1; done; echo "install ok installed"'
stub id 'echo "$FAKE_UID"'
stub sudo 'echo "sudo $*" >> "$FAKE_LOG"; "$@"'
stub apt-get 'echo "apt-get $*" >> "$FAKE_LOG"'
stub env 'echo "env $*" >> "$FAKE_LOG"; shift; "$@"'
stub systemctl 'echo "systemctl $*" >> "$FAKE_LOG"'
stub service 'echo "service $*" >> "$FAKE_LOG"'

failed=0
fail() {
    echo "$*"
    failed=1
}
# setup UID MISSING WITH_TESTS: runs install_packages as run.sh (0) or test.sh (1) would.
setup() {
    : > "$log"
    FAKE_UID="$1" FAKE_MISSING="$2" FAKE_LOG="$log" PATH="$scratch/bin:$PATH" \
        bash -c 'source "$1/common.sh"; if [ "$2" = 1 ]; then install_packages "${TEST_PACKAGES[@]}"; else install_packages; fi' \
        setup "$scripts" "$3" > /dev/null
}

setup 1000 "" 1
[ -s "$log" ] && fail "nothing missing, yet: $(cat "$log")"

setup 1000 "xvfb mosquitto" 1
grep -qx 'sudo apt-get update' "$log" || fail "no sudo apt-get update as a user: $(cat "$log")"
grep -q '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install .* xvfb mosquitto$' "$log" ||
    fail "install not through sudo with only the missing packages: $(cat "$log")"
grep -q '^sudo systemctl disable.* mosquitto.service$' "$log" || fail "mosquitto left enabled"
grep -q 'pulseaudio' "$log" && fail "touched pulseaudio, which it did not install"
grep -v '^sudo\|^env\|^apt-get\|^systemctl\|^service' "$log" && fail "unexpected calls"
# Every call that needs root goes through sudo.
[ "$(grep -c '^apt-get' "$log")" -eq "$(grep -c '^sudo .*apt-get' "$log")" ] &&
    [ "$(grep -c '^systemctl' "$log")" -eq "$(grep -c '^sudo systemctl' "$log")" ] ||
    fail "root's commands run without sudo: $(cat "$log")"

setup 0 "pulseaudio" 1
grep -q '^sudo' "$log" && fail "sudo asked for as root: $(cat "$log")"
grep -qx 'systemctl --global disable pulseaudio.socket' "$log" || fail "pulseaudio.socket left enabled for every user"
grep -qx 'systemctl --global disable pulseaudio.service' "$log" || fail "pulseaudio.service left enabled for every user"
grep -q 'mosquitto' "$log" && fail "touched mosquitto, which it did not install"

# run.sh installs what building and running need, never the test tools.
setup 1000 "xvfb mosquitto pulseaudio lintian cmake" 0
grep -q 'apt-get install .*cmake' "$log" || fail "run.sh does not install a missing build package"
grep -E 'xvfb|mosquitto|pulseaudio|lintian' "$log" && fail "run.sh installs test tools"
grep -q 'install_packages$' "$scripts/run.sh" || fail "run.sh does not install only the build list"
grep -q 'install_packages "${TEST_PACKAGES\[@\]}"' "$scripts/test.sh" || fail "test.sh lacks the test tools"

[ "$failed" -eq 0 ] && echo "set-up: sudo only for a missing package, services switched off, test tools only for test.sh"
exit "$failed"
