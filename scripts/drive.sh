#!/usr/bin/env bash
# Drives the real program on a private X server as a person would, with xdotool: shows the
# scale, clicks the mark 208, starts, stops and closes it, and writes a screenshot of the
# window after each step into the output folder. Exits non-zero if the program misbehaves.
# Usage: scripts/drive.sh [build-dir] [out-dir]
set -euo pipefail
build=${1:-build}
out=${2:-drive-shots}
mkdir -p "$out"
source "$(dirname "$0")/../scripts/xvfb.sh"
start_xvfb
xvfb=$XVFB_PID
app=
trap 'kill $app $xvfb 2>/dev/null || true' EXIT

"$build/bin/metronome" 2>/dev/null &
app=$!
wait_for_metronome
window=$(metronome_window)
xdotool windowmove "$window" 60 40
sleep 0.3

shot() { import -window root -crop 281x439+60+40 +repage "$out/$1.png"; echo "shot $1"; }
# Pointer positions in the window's pixels.
click() {
    xdotool mousemove --window "$window" "$1" "$2"
    sleep 0.1
    xdotool click 1
    sleep 0.3
}

shot 1-start
click 240 388 # the T button: show the scale
shot 2-scale
click 240 330 # the tempo mark 208
shot 3-mark-208
click 184 399 # play
sleep 0.37
shot 4-playing
click 183 398 # stop
shot 5-stopped
# Drag the window by its top band, 40 pixels right and 30 down, and put it back.
position() { xdotool getwindowgeometry "$window" | awk '/Position/ {print $2}'; }
before=$(position)
bx=${before%,*} by=${before#*,}
xdotool mousemove $((bx + 100)) $((by + 10)) mousedown 1 # screen coordinates
for step in 1 2 3 4 5; do
    xdotool mousemove $((bx + 100 + 8 * step)) $((by + 10 + 6 * step))
    sleep 0.05
done
xdotool mouseup 1
sleep 0.2
after=$(position)
echo "window dragged from $before to $after"
ax=${after%,*} ay=${after#*,}
if [ $((ax - bx)) -ne 40 ] || [ $((ay - by)) -ne 30 ]; then
    echo "the window did not follow the pointer" >&2
    exit 1
fi
xdotool windowmove "$window" 60 40
sleep 0.3

xdotool mousemove --window "$window" 240 8 # the close box shows under the pointer
sleep 0.3
shot 6-close-box
xdotool click 1
for _ in $(seq 30); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
    echo "the program did not end after the close box" >&2
    exit 1
fi
echo "the program ended"
