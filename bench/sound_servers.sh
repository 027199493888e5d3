#!/usr/bin/env bash
# The real program on each sound server desktops run: a private PulseAudio, then a private
# PipeWire (pipewire, wireplumber and pipewire-pulse), each with a recorded null sink, the
# program under Xvfb. Per server:
#   - keys pressed 40, 30, 20 and 15 ms before a click is heard: whether mute and a new beat
#     count reach that click (bench/late_keys.sh)
#   - Enter to the first click heard: after launch, after a 1 s and a 4 s stop
#     (bench/first_click.sh)
#   - the drawn rod against the heard click, median and per-click standard deviation: the
#     program's own buffer, PULSE_LATENCY_MSEC=60, a sink with 150 ms latency of its own
#     (bench/avsync.sh)
#   - CPU of the program and of the server while playing at 120 (the meter's servercpu.sh)
# with the load average before each server's runs (the machine may be shared).
# Usage: bench/sound_servers.sh [program] [trials per key and lead] [starts] [seconds]
#   SERVERS: the servers to run, by default "pulseaudio pipewire"
#   METRO_AVSYNC: the A/V sync meter's folder, by default /work/shared/tools/avsync
set -euo pipefail
here=$(dirname "$(realpath "$0")")
program=$(realpath "${1:-build/bin/metronome}")
trials=${2:-3}
starts=${3:-10}
seconds=${4:-20}
avsync=$(realpath "${METRO_AVSYNC:-/work/shared/tools/avsync}")

echo "$program"
for server in ${SERVERS:-pulseaudio pipewire}; do
    export AUDIO_SERVER=$server
    echo
    echo "== $server   (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    "$here/late_keys.sh" "$program" "$trials"
    "$here/first_click.sh" "$program" "$starts"
    "$here/avsync.sh" "$program" "$seconds"
    echo "CPU while playing at 120, % of one core over 30 s:"
    "$avsync/servercpu.sh" -d 30 -- "$program" | sed 's/^/  /'
done
