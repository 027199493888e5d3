#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs from it: the tree,
# the desktop entry and metainfo (by their validators), and that the program started through
# bin/metronome finds its clicks.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
# shellcheck source=support/installed_program.sh
source "$(dirname "$0")/support/installed_program.sh"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 ||
    { cat "$prefix.log" >&2; rm -f "$prefix.log"; fail "cmake --install"; }
rm -f "$prefix.log"

# The tree.
[ -x "$prefix/lib/metronome/metronome" ] || fail "no program in lib/metronome"
for wav in 1.wav 2.wav; do
    [ -s "$prefix/lib/metronome/metro/$wav" ] || fail "no lib/metronome/metro/$wav"
done
link=$(readlink "$prefix/bin/metronome") || fail "bin/metronome is not a link"
[ "$link" = ../lib/metronome/metronome ] || fail "bin/metronome points at $link"
icons=$prefix/share/icons/hicolor
for size in 16 24 32 48 64 128 256; do
    file -b "$icons/${size}x$size/apps/metronome.png" | grep -q "^PNG image data, $size x $size," ||
        fail "no ${size}x$size PNG icon"
done
grep -q '<svg' "$icons/scalable/apps/metronome.svg" || fail "no scalable icon"

# The desktop entry and the metainfo, and that they name what was installed.
desktop=$prefix/share/applications/org.example.metronome.desktop
metainfo=$prefix/share/metainfo/org.example.metronome.metainfo.xml
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate missing (desktop-file-utils)"
command -v appstreamcli >/dev/null || fail "appstreamcli missing (appstream)"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
# The component id is the program's desktop name, "metronome", not a reverse domain name.
appstreamcli validate --no-net "$metainfo" ||
    fail "metainfo does not validate"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not in bin/"
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$icons/scalable/apps/$icon_name.svg" ] || fail "Icon=$icon_name is not installed"
grep -q '<launchable type="desktop-id">org.example.metronome.desktop</launchable>' "$metainfo" ||
    fail "metainfo does not launch its desktop entry"

# The command line is read before anything opens: help and a mistake need no screen.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$prefix/bin/metronome")
"${headless[@]}" --help | grep -q -- --tempo || fail "metronome --help needs a screen"
status=0
"${headless[@]}" --tempo 500 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "a tempo out of range ended with status $status, not 2"

# The program, through the link.
runs_with_clicks "$prefix/bin/metronome" "$prefix/lib/metronome/metro" ||
    fail "the installed program did not start with its clicks"
# The check above must see a program that lost its clicks.
mv "$prefix/lib/metronome/metro" "$prefix/lib/metronome/metro.away"
! runs_with_clicks "$prefix/bin/metronome" "$prefix/lib/metronome/metro" 2>/dev/null ||
    fail "a program without its clicks passed for one with them"
# A program folder whose name is not valid UTF-8 keeps its clicks.
odd=$prefix/$'caf\xe9'
mv "$prefix/lib/metronome" "$odd"
mv "$odd/metro.away" "$odd/metro"
runs_with_clicks "$odd/metronome" "$odd/metro" ||
    fail "the program lost its clicks in a folder whose name is not UTF-8"
echo "installed tree, desktop entry, metainfo and program are fine"
