#!/usr/bin/env bash
# The real program through the desktop's accessibility bus (tests/atspi_client.py), on a
# private X server and a private session bus. Exit 77 (skipped) where a part is missing.
# Usage: tests/atspi_test.sh path/to/metronome
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
skip() {
    echo "SKIP: $* (install python3-pyatspi at-spi2-core dbus xvfb x11-utils xdotool)"
    exit 77
}

python=
for candidate in /usr/bin/python3 python3; do
    if command -v "$candidate" >/dev/null && "$candidate" -c 'import pyatspi' 2>/dev/null; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || skip "no Python with pyatspi"
command -v dbus-run-session >/dev/null || skip "no dbus-run-session"
[ -e /usr/share/dbus-1/services/org.a11y.Bus.service ] || skip "no accessibility bus service"
command -v Xvfb >/dev/null && command -v xdpyinfo >/dev/null || skip "no Xvfb or xdpyinfo"
command -v xdotool >/dev/null || skip "no xdotool"

work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work
source "$here/../scripts/xvfb.sh"
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null || true; rm -rf "$work"' EXIT

# No sound server (a socket that is not there) and SDL's silent device: no sound, no message.
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 SDL_AUDIODRIVER=dummy
export PULSE_SERVER=unix:$work/no-sound-server
# Under AddressSanitizer: the session bus and the accessibility libraries keep what they
# allocated until exit; the program's own leaks are the other tests' affair.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0"
dbus-run-session -- "$python" "$here/atspi_client.py" "$program"
