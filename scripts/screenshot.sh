#!/usr/bin/env bash
# Starts the metronome on a private X server and writes a screenshot of its window.
# Usage: scripts/screenshot.sh [build-dir] [out.png]
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
display=:${METRO_DISPLAY:-97}
Xvfb "$display" -screen 0 400x520x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$app" "$xvfb" 2>/dev/null || true' EXIT
sleep 0.5
DISPLAY=$display "$build/bin/metronome" &
app=$!
for _ in $(seq 50); do
    DISPLAY=$display xdotool search --name '^Metronome$' >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.5
# Without a sound device the program first says so in a message box: dismiss it.
if [ "$(DISPLAY=$display xdotool search --name '^Metronome$' | wc -l)" -gt 1 ]; then
    DISPLAY=$display xdotool key Return
    sleep 0.5
fi
window=$(DISPLAY=$display xdotool search --name '^Metronome$' | tail -1)
DISPLAY=$display xdotool windowmove "$window" 60 40
sleep 0.3
mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window root -crop 281x439+60+40 +repage "$out"
echo "wrote $out"
