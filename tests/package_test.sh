#!/usr/bin/env bash
# Builds the Debian package, checks its contents, its dependencies and lintian's view of it,
# installs it with apt, starts /usr/bin/metronome, and removes the package again. Installing
# needs root and a free apt: without them the test is skipped (exit 77).
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$1
# shellcheck source=support/installed_program.sh
source "$(dirname "$0")/support/installed_program.sh"

skip() {
    echo "SKIP: $*"
    exit 77
}

out=$(mktemp -d)
chmod 755 "$out" # apt reads the package as its own unprivileged user
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; fail "cpack"; }
deb=$(echo "$out"/metronome_*.deb)
[ -f "$deb" ] || fail "no metronome_*.deb made"

# Contents.
dpkg-deb -c "$deb" | awk '{ print $6, $7, $8 }' | sed 's/ *$//' >"$out/contents"
for entry in \
    "./usr/bin/metronome -> ../lib/metronome/metronome" \
    ./usr/lib/metronome/metronome \
    ./usr/lib/metronome/metro/1.wav \
    ./usr/lib/metronome/metro/2.wav \
    ./usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/metronome.png \
    ./usr/share/icons/hicolor/scalable/apps/metronome.svg \
    ./usr/share/applications/org.example.metronome.desktop \
    ./usr/share/metainfo/org.example.metronome.metainfo.xml \
    ./usr/share/man/man1/metronome.1.gz \
    ./usr/share/doc/metronome/copyright \
    ./usr/share/doc/metronome/changelog.Debian.gz; do
    grep -qxF "$entry" "$out/contents" || fail "package lacks $entry"
done

# Debian's own checks: no error and no warning (informational notes may stay).
command -v lintian >/dev/null || fail "lintian missing"
lintian --fail-on error,warning "$deb" >"$out/lintian.log" 2>&1 ||
    { cat "$out/lintian.log" >&2; fail "lintian finds errors or warnings"; }

# Dependencies: the libraries the program links, and what Qt loads or draws with at run time.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
for package in libqt6widgets6 libqt6svg6 libsdl2-2.0-0 fonts-liberation qt6-qpa-plugins; do
    grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
done

# Installing changes the machine: only as root, only with a free apt, and never over a
# metronome that someone installed for real.
[ "$(id -u)" -eq 0 ] || skip "installing the package needs root"
if dpkg-query -W -f='${Status}' metronome 2>/dev/null | grep -q "install ok installed"; then
    skip "a metronome package is installed already; not touching it"
fi
# What apt would pull in besides the metronome goes again with it.
mapfile -t extras < <(apt-get install -s "$deb" 2>/dev/null | sed -n 's/^Inst \([^ ]*\).*/\1/p' | grep -vx metronome)

apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=30 "$@" >"$out/apt.log" 2>&1 && return
    if grep -qiE 'could not get lock|unable to acquire|unable to lock' "$out/apt.log"; then
        skip "apt is locked by another program"
    fi
    cat "$out/apt.log" >&2
    fail "apt-get $*"
}
apt_get install -y --no-install-recommends "$deb"
trap 'apt_get remove -y metronome "${extras[@]}"; rm -rf "$out"' EXIT

[ "$(readlink -f /usr/bin/metronome)" = /usr/lib/metronome/metronome ] ||
    fail "/usr/bin/metronome does not lead to /usr/lib/metronome/metronome"
runs_with_clicks /usr/bin/metronome /usr/lib/metronome/metro ||
    fail "the installed program did not start with its clicks"

trap 'rm -rf "$out"' EXIT
apt_get remove -y metronome "${extras[@]}"
[ ! -e /usr/lib/metronome ] || fail "removing the package left /usr/lib/metronome"
echo "package $(basename "$deb") builds, installs, runs and goes again"
