#!/bin/sh
# The user unit as systemd reads it: systemd-analyze verify reports every unknown key, bad value
# and missing program, and a clean unit makes it say nothing. The launcher is named by its bare
# name in the unit, which the user manager finds in /usr/bin; here it is the checkout's copy.
set -eu
packaging="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
unit="$packaging/tev3p.service"
failed=0

grep -qx 'ExecStart=tev3p-launcher --headless' "$unit" || {
    echo "the unit does not start tev3p-launcher --headless"
    failed=1
}
# Status 1 means another program holds the folder: restarting every 10 s cannot help.
grep -qx 'RestartPreventExitStatus=1' "$unit" || {
    echo "the unit restarts after status 1"
    failed=1
}
# The user manager has no network-online.target; naming it only misleads.
if grep -q 'network-online' "$unit"; then
    echo "the unit names network-online.target"
    failed=1
fi

sed "s|^ExecStart=tev3p-launcher|ExecStart=$packaging/tev3p-launcher|" "$unit" > "$scratch/tev3p.service"
if ! systemd-analyze verify "$scratch/tev3p.service" > "$scratch/verify" 2>&1; then
    echo "systemd-analyze verify failed"
    failed=1
fi
if [ -s "$scratch/verify" ]; then
    cat "$scratch/verify"
    failed=1
fi
[ "$failed" -eq 0 ] && echo "tev3p.service: systemd-analyze verify is clean"
exit "$failed"
