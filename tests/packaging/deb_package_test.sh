#!/bin/sh
# Builds the Debian package from the build folder into a scratch folder and checks that it
# holds the program, the simulator, the manual, the desktop entry, the icon, the user unit and
# the launcher, and that it declares its Qt and font dependencies.
set -eu
build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" > "$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
deb="$(ls "$scratch"/tev3p_*.deb)"
dpkg-deb -c "$deb" > "$scratch/contents"
dpkg-deb -f "$deb" Package Version Depends > "$scratch/control"

failed=0
for path in ./usr/bin/tev3p ./usr/bin/hoq-sim ./usr/bin/tev3p-launcher \
    ./usr/share/tev3p/manual.html ./usr/share/applications/tev3p.desktop \
    ./usr/share/icons/hicolor/scalable/apps/tev3p.svg ./usr/lib/systemd/user/tev3p.service; do
    if ! awk '{print $NF}' "$scratch/contents" | grep -qx "$path"; then
        echo "missing from the package: $path"
        failed=1
    fi
done
for dependency in libqt6widgets6 libqt6network6 libqt6multimedia6 fonts-wqy-microhei; do
    if ! grep -q "$dependency" "$scratch/control"; then
        echo "dependency not declared: $dependency"
        failed=1
    fi
done
# The programs are executable.
for path in ./usr/bin/tev3p ./usr/bin/hoq-sim ./usr/bin/tev3p-launcher; do
    grep " $path\$" "$scratch/contents" | grep -q '^-rwxr-xr-x' || {
        echo "not executable: $path"
        failed=1
    }
done
cat "$scratch/control"
[ "$failed" -eq 0 ] && echo "$(basename "$deb"): $(wc -l < "$scratch/contents") entries, all expected files present"
exit "$failed"
