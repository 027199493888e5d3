#!/usr/bin/env bash
# How far the drawn rod is from the heard click on the real program (+ = sound after the
# picture), measured from outside with the A/V sync meter (avsync.sh: a private Xvfb whose
# framebuffer is watched every 0.5 ms, a private PulseAudio whose null sink's monitor is
# recorded with the server's timing), at tempo 120, in three settings:
#   default     the program's own stream buffer
#   client-60   PULSE_LATENCY_MSEC=60: a user's setting for a larger client buffer
#   sink-150    a sink with a large latency of its own: the recorder asks for 150 ms and the
#               program's stream (PULSE_LATENCY_MSEC=400) for more, so the null sink renders
#               about 150 ms ahead of what is heard (its latency is printed)
# Prints the meter's offset line and the sink's latency per setting.
# Usage: bench/avsync.sh [program] [seconds]
#   METRO_AVSYNC: the meter's folder, by default /work/shared/tools/avsync
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

run() { # name, then options for avsync.sh
    local name=$1
    shift
    "$work/avsync/avsync.sh" -d "$seconds" -o "$work/out/$name" \
        -s "$work/avsync/metronome-tempo.sh 120" "$@" -- "$program" >"$work/$name.log" 2>&1 || {
        echo "$name: the meter failed (see $work/$name.log; KEEP=1 keeps it)"
        return 0
    }
    local sink
    sink=$(awk '/^Sink #/ { s = 1 } s && $1 == "Latency:" { print $2 / 1000 " ms"; exit }' \
        "$work/out/$name/streams.txt")
    printf '%-10s %s   sink latency %s\n' "$name" \
        "$(grep '^offset' "$work/out/$name/report.txt" | sed 's/^offset (ms) *//')" "$sink"
}

echo "A/V offset, heard click - vertical rod (ms), tempo 120, $seconds s each:"
run default
run client-60 -e PULSE_LATENCY_MSEC=60
run sink-150 --latency-ms 150 -e PULSE_LATENCY_MSEC=400
