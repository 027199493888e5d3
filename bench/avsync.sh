#!/usr/bin/env bash
# How far the drawn rod is from the heard click on the real program (+ = sound after the
# picture), measured from outside with the A/V sync meter (avsync.sh: a private Xvfb whose
# framebuffer is watched every 0.5 ms, a private PulseAudio whose null sink's monitor is
# recorded with the server's timing), at tempo 120, in three settings:
#   default     the program's own stream buffer
#   client-60   PULSE_LATENCY_MSEC=60: a user's setting for a larger client buffer
#   tunnel-150  a sink with a large latency of its own: module-tunnel-sink with
#               latency_msec=150 in front of the recorded null sink (a stream into the same
#               server), the program's stream moved to it before the start (and the default
#               sink, for a program that opens its stream then); like a network
#               or Bluetooth sink, it reports that latency. Under PipeWire it is slow_sink
#               (bench/slow_sink.cpp, built beside the program), which delays by exactly 150 ms
#               and says so: PipeWire's own tunnel resamples on the way and hides its delay
# Prints the meter's offset line and the latency of the sink the program plays to.
# Usage: bench/avsync.sh [program] [seconds]
#   METRO_AVSYNC: the meter's folder, by default /work/shared/tools/avsync
#   AUDIO_SERVER=pipewire: a private PipeWire instead of PulseAudio (the meter's servers.sh)
set -euo pipefail
program=$(realpath "${1:-build/bin/metronome}")
seconds=${2:-20}
avsync=$(realpath "${METRO_AVSYNC:-/work/shared/tools/avsync}")
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
# The meter builds its helpers into its own folder and reads its sibling ../timing: a copy.
cp -r "$avsync" "$work/avsync"
cp -r "$avsync/../timing" "$work/timing"
rm -rf "$work/avsync/build"

tempo="$work/avsync/metronome-tempo.sh 120"
# Set-up hook for the tunnel sink: the tempo, then the tunnel and the move.
{
    echo '#!/usr/bin/env bash'
    echo "$tempo"
    echo 'inputs=$(pactl list short sink-inputs | cut -f1) # the program'"'"'s, before the tunnel'"'"'s'
    if [ "${AUDIO_SERVER:-pulseaudio}" = pipewire ]; then
        echo "$(dirname "$program")/slow_sink 150 av tunnel >\$AV_OUT/tunnel.log 2>&1 &"
        echo 'echo $! >"$AV_OUT/tunnel.pid"'
        echo 'for _ in $(seq 50); do pactl list short sinks | grep -q tunnel && break; sleep 0.1; done'
    else
        echo 'pactl load-module module-tunnel-sink sink_name=tunnel server="$PULSE_SERVER" sink=av \\'
        echo '    latency_msec=150 rate=48000 channels=2 format=float32le >/dev/null'
    fi
    echo 'sleep 1'
    # (Not on PipeWire: WirePlumber would move the meter's recorder to the new default sink's
    # monitor, which hears the sound before the delay.)
    [ "${AUDIO_SERVER:-pulseaudio}" = pipewire ] ||
        echo 'pactl set-default-sink tunnel # for a program that opens its stream at the start'
    echo 'for input in $inputs; do'
    echo '    pactl move-sink-input "$input" tunnel'
    echo 'done'
    echo 'sleep 1'
} >"$work/tunnel.sh"
chmod +x "$work/tunnel.sh"

run() { # name, set-up hook, then options for avsync.sh
    local name=$1 setup=$2
    shift 2
    local failed=0
    "$work/avsync/avsync.sh" -d "$seconds" -o "$work/out/$name" -s "$setup" "$@" -- "$program" \
        >"$work/$name.log" 2>&1 || failed=1
    if [ -s "$work/out/$name/tunnel.pid" ]; then # the hook's tunnel outlives the meter's server
        kill "$(cat "$work/out/$name/tunnel.pid")" 2>/dev/null || true
    fi
    [ $failed -eq 0 ] || {
        echo "$name: the meter failed (see $work/$name.log; KEEP=1 keeps it)"
        return 0
    }
    local sink
    sink=$(awk '/^Sink Input #/ { i = 1 } i && $1 == "Sink" && $2 == "Latency:" {
        print $3 / 1000 " ms"; exit }' "$work/out/$name/streams.txt")
    printf '%-10s %s   the sink'\''s latency %s\n' "$name" \
        "$(grep '^offset' "$work/out/$name/report.txt" | sed 's/^offset (ms) *//')" "$sink"
}

echo "A/V offset, heard click - vertical rod (ms), tempo 120, $seconds s each, ${AUDIO_SERVER:-pulseaudio}:"
run default "$tempo"
run client-60 "$tempo" -e PULSE_LATENCY_MSEC=60
run tunnel-150 "$work/tunnel.sh"
