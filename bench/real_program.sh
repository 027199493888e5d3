#!/usr/bin/env bash
# Measures the real program as a person runs it: on a private X server (Xvfb) with a private
# PulseAudio server whose output is a null sink that we record (and that is suspended when
# idle, as a desktop's server does).
#   - CPU use of the whole program, and of the sound server, while stopped and while playing
#     at 120 (30 s each)
#   - peak memory (VmHWM)
#   - the recorded clicks against the ideal beat grid (through SDL, PulseAudio and a recording)
# Usage: bench/real_program.sh [build-dir] [seconds]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-30}
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../scripts/xvfb.sh"
start_xvfb
pids+=($XVFB_PID)
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-null-sink sink_name=bench rate=48000" \
    --load="module-native-protocol-unix" --load="module-suspend-on-idle" \
    --log-target=file:"$work/pulse.log" &
server=$!
pids+=($server)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

"$build/bin/metronome" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
wait_for_metronome
# Past start-up, and past the 5 s after which the server suspends a sink that nothing plays
# to (module-suspend-on-idle, as on a desktop's server; a corked stream plays nothing).
sleep 6

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
cpu_percent() { # over $1 seconds: the program's and the sound server's
    local a b c d
    a=$(ticks "$app")
    c=$(ticks "$server")
    sleep "$1"
    b=$(ticks "$app")
    d=$(ticks "$server")
    awk -v a="$a" -v b="$b" -v c="$c" -v d="$d" -v hz="$hz" -v s="$1" \
        'BEGIN { printf "%.2f %% (sound server %.2f %%)", (b - a) / hz / s * 100, (d - c) / hz / s * 100 }'
}

echo "CPU while stopped:  $(cpu_percent "$seconds") of one core over $seconds s"
window=$(metronome_window)
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
click 184 399 # the play button
sleep 1
# Without a recorder: it would keep the server busy too.
echo "CPU while playing:  $(cpu_percent "$seconds") of one core over $seconds s (tempo 120)"
parecord --device=bench.monitor --rate=48000 --channels=1 --format=s16le --file-format=wav \
    "$work/clicks.wav" &
rec=$!
pids+=($rec)
sleep "$seconds"
kill "$rec"
wait "$rec" 2>/dev/null || true
click 183 398 # the stop button
sleep 0.5
echo "peak memory:        $(awk '/VmHWM/ {printf "%.1f MiB", $2 / 1024}' "/proc/$app/status")"
"$build/bin/bench_click_timing" analyze "$work/clicks.wav" 120
