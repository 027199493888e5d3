#!/usr/bin/env bash
# The real program started as a new user would on a machine with neither a sound server nor
# a sound card, on a private X server: it says so in its message box, and standard error
# carries its own one line and nothing else. Exit 77 (skipped) where Xvfb or xdotool is
# missing.
# Usage: tests/no_sound_test.sh path/to/metronome
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdpyinfo xdotool; do
    command -v $tool >/dev/null || { echo "SKIP: no $tool (install xvfb x11-utils xdotool)"; exit 77; }
done

work=$(mktemp -d)
source "$here/../scripts/xvfb.sh"
start_xvfb
app=
trap 'kill $app $XVFB_PID 2>/dev/null || true; rm -rf "$work"' EXIT

# No sound server: its socket is not there, and the runtime folder where others would be is
# empty. ALSA, which SDL's fallback tries, is given a configuration without a single device,
# so it fails here as on a machine without a card, whatever cards this one has.
: >"$work/asound.conf"
# Under AddressSanitizer: leaks at exit are the other tests' affair, and would print here.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0"
env -u SDL_AUDIODRIVER QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" \
    PULSE_SERVER="unix:$work/no-sound-server" ALSA_CONFIG_PATH="$work/asound.conf" \
    "$program" 2>"$work/stderr" &
app=$!
wait_for_metronome # answers the message box
xdotool windowfocus --sync "$(metronome_window)" key Escape
status=0
wait $app || status=$?
app=

expected="metronome: no sound device"
seen=$(cat "$work/stderr")
echo "exit status $status; standard error:"
echo "$seen"
if [ "$status" -ne 0 ] || [ "$seen" != "$expected" ]; then
    echo "FAILED: wanted status 0 and standard error \"$expected\" alone"
    exit 1
fi
echo "ok"
