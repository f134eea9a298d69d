#!/bin/sh
# Builds the Debian package from the build folder into a scratch folder and checks what a
# packager and a user meet: the files it holds (programs, manual, manual pages, copyright,
# changelog, desktop entry, icon, AppStream metainfo, user unit, the README's pages), the
# dependencies it declares, lintian with no error and no warning, appstreamcli validate, and
# `man` reading the pages, tev3p.ini(5) without a warning.
set -eu
build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for tool in lintian appstreamcli man dpkg-deb; do
    command -v "$tool" > /dev/null || { echo "missing test tool: $tool"; exit 1; }
done

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" > "$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
deb="$(ls "$scratch"/tev3p_*.deb)"
dpkg-deb -c "$deb" > "$scratch/contents"
dpkg-deb -f "$deb" Package Version Maintainer Depends Recommends > "$scratch/control"
mkdir "$scratch/root"
dpkg-deb -x "$deb" "$scratch/root"

failed=0
fail() {
    echo "$*"
    failed=1
}
for path in ./usr/bin/tev3p ./usr/bin/hoq-sim ./usr/bin/tev3p-launcher \
    ./usr/share/tev3p/manual.html ./usr/share/applications/tev3p.desktop \
    ./usr/share/icons/hicolor/scalable/apps/tev3p.svg ./usr/lib/systemd/user/tev3p.service \
    ./usr/share/doc/tev3p/copyright ./usr/share/doc/tev3p/changelog.gz \
    ./usr/share/doc/tev3p/README.md ./usr/share/metainfo/org.tev3p.PowerMonitor.metainfo.xml \
    ./usr/share/man/man1/tev3p.1.gz ./usr/share/man/man1/tev3p-launcher.1.gz \
    ./usr/share/man/man1/hoq-sim.1.gz ./usr/share/man/man5/tev3p.ini.5.gz \
    ./usr/share/doc/tev3p/docs/configuration.md ./usr/share/doc/tev3p/docs/main-window.png; do
    awk '{print $NF}' "$scratch/contents" | grep -qx "$path" || fail "missing from the package: $path"
done
for dependency in libqt6widgets6 libqt6network6 libqt6multimedia6 libqt6svg6 fonts-wqy-microhei; do
    grep '^Depends:' "$scratch/control" | grep -q "$dependency" ||
        fail "dependency not declared: $dependency"
done
grep '^Recommends:' "$scratch/control" | grep -q 'ca-certificates' ||
    fail "ca-certificates not recommended"
# The programs are executable.
for path in ./usr/bin/tev3p ./usr/bin/hoq-sim ./usr/bin/tev3p-launcher; do
    grep " $path\$" "$scratch/contents" | grep -q '^-rwxr-xr-x' || fail "not executable: $path"
done
# Every line of the description fits a terminal of 80 columns.
dpkg-deb -f "$deb" Description | awk 'length > 80 { print "description line over 80 columns: " $0; bad = 1 } END { exit bad }' ||
    failed=1

# lintian: no error and no warning; overrides only those the package carries with a reason.
lintian --fail-on error,warning --info "$deb" > "$scratch/lintian" 2>&1 || {
    cat "$scratch/lintian"
    fail "lintian reports errors or warnings"
}
grep -E '^[EW]: ' "$scratch/lintian" && fail "lintian findings above"

# AppStream: the metainfo validates and names the desktop entry the package installs.
metainfo="$scratch/root/usr/share/metainfo/org.tev3p.PowerMonitor.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate failed"
grep -q '<launchable type="desktop-id">tev3p.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not name tev3p.desktop"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"

# `man tev3p` finds the page where the package puts it, and it lists the program's options.
for page in tev3p tev3p-launcher hoq-sim; do
    MANPATH="$scratch/root/usr/share/man" MANWIDTH=80 man "$page" > "$scratch/$page.txt" 2> "$scratch/man.err" ||
        fail "man $page: $(cat "$scratch/man.err")"
done
grep -q -- '--headless' "$scratch/tev3p.txt" || fail "man tev3p lacks --headless"
grep -q -- '--write-demo' "$scratch/hoq-sim.txt" || fail "man hoq-sim lacks --write-demo"
grep -q 'XDG_DATA_HOME' "$scratch/tev3p-launcher.txt" || fail "man tev3p-launcher lacks its folder"

# `man 5 tev3p.ini` finds the settings file's page, which names every group, and groff reads
# the page as installed without a single warning.
MANPATH="$scratch/root/usr/share/man" MANWIDTH=80 man 5 tev3p.ini > "$scratch/tev3p.ini.txt" 2> "$scratch/man.err" ||
    fail "man 5 tev3p.ini: $(cat "$scratch/man.err")"
for group in meters mqtt http archive alerts tariff quality tray fleet; do
    grep -q "^\[$group\]" "$scratch/tev3p.ini.txt" || fail "man 5 tev3p.ini lacks [$group]"
done
LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 \
    -l "$scratch/root/usr/share/man/man5/tev3p.ini.5.gz" > /dev/null 2> "$scratch/man.err" || true
[ -s "$scratch/man.err" ] && fail "man --warnings on tev3p.ini.5: $(cat "$scratch/man.err")"

cat "$scratch/control"
[ "$failed" -eq 0 ] && echo "$(basename "$deb"): $(wc -l < "$scratch/contents") entries, lintian and appstreamcli clean"
exit "$failed"
