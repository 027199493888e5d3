#!/usr/bin/env bash
# Quit at once: how long the real program takes to end after Esc, measured from the key press
# to the process's end, on a private X server with a private PulseAudio. Ten runs each:
#   playing       Esc while the metronome plays
#   busy          the same with a busy loop on every core
#   server gone   the sound server killed during play, then Esc
# Prints the median and the worst per case (target: under 200 ms every time).
#   bench/exit_time.sh [build-dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-10}
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
load=()
cleanup() {
    kill "${pids[@]}" "${load[@]}" 2>/dev/null || true
    pulseaudio --kill >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../scripts/xvfb.sh"
start_xvfb
pids+=($XVFB_PID)
start_pulse() {
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=no \
        --load="module-null-sink sink_name=bench rate=48000" \
        --load="module-native-protocol-unix" --log-target=file:"$work/pulse.log"
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
}
now_ms() { date +%s%N | awk '{printf "%.1f", $1 / 1e6}'; }

# One run: start, play, optionally take the server away, press Esc, time the end.
one_run() { # server-gone
    start_pulse
    "$build/bin/metronome" --play >/dev/null 2>&1 &
    local app=$! window pressed ended
    for _ in $(seq 100); do window=$(metronome_window) && break; sleep 0.05; done
    sleep 1
    if [ "$1" = yes ]; then
        pulseaudio --kill >/dev/null 2>&1 || true
        sleep 0.5
    fi
    xdotool windowfocus --sync "$window"
    pressed=$(now_ms)
    xdotool key Escape
    while kill -0 "$app" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$app/status" 2>/dev/null; do
        sleep 0.002
    done
    ended=$(now_ms)
    wait "$app" 2>/dev/null || true
    pulseaudio --kill >/dev/null 2>&1 || true
    sleep 0.3
    awk -v a="$pressed" -v b="$ended" 'BEGIN { printf "%.1f\n", b - a }'
}

report() { # name times...
    local name=$1
    shift
    printf '%s\n' "$@" | sort -n | awk -v name="$name" '
        { t[NR] = $1 } END {
            m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "%-12s median %6.1f ms   worst %6.1f ms   (%d runs)\n", name, m, t[NR], NR }'
}

times=()
for _ in $(seq "$runs"); do times+=("$(one_run no)"); done
report playing "${times[@]}"
for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    load+=($!)
done
times=()
for _ in $(seq "$runs"); do times+=("$(one_run no)"); done
report busy "${times[@]}"
kill "${load[@]}" 2>/dev/null || true
load=()
times=()
for _ in $(seq "$runs"); do times+=("$(one_run yes)"); done
report "server gone" "${times[@]}"
