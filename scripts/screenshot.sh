#!/usr/bin/env bash
# Starts the metronome on a private X server and writes a screenshot of its window with the
# tempo scale shown.
# Usage: scripts/screenshot.sh [build-dir] [out.png]
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
source "$(dirname "$0")/../scripts/xvfb.sh"
start_xvfb
xvfb=$XVFB_PID
app=
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
"$build/bin/metronome" &
app=$!
wait_for_metronome
window=$(metronome_window)
xdotool windowmove "$window" 60 40
# The picture shows the tempo scale, as the T key does.
xdotool windowfocus --sync "$window" key t
sleep 0.3
mkdir -p "$(dirname "$out")"
import -window root -crop 281x439+60+40 +repage "$out"
echo "wrote $out"
