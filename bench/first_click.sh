#!/usr/bin/env bash
# From the press of Enter to the first click heard, on the real program: a private X server
# (Xvfb) and a private PulseAudio server whose null sink (48 kHz float, no rewinds, suspended
# after 2 s idle by module-suspend-on-idle) is recorded through its monitor with the
# server's timing, so every recorded sample has its CLOCK_MONOTONIC moment of being heard
# (avsync's monrec). With AUDIO_SERVER=pipewire: a private PipeWire (pipewire, wireplumber and
# pipewire-pulse, avsync's servers.sh) whose monitor is dated by arrival; its sink is not
# suspended while it is recorded. Presses go through one long-running xdotool, stamped on
# CLOCK_MONOTONIC just before the key is sent.
#   launch  the first start, 1 s after the window showed (a new program each time)
#   short   a start 1 s after a stop
#   long    a start 4 s after a stop: past the sink's 2 s idle timeout, so the sink is
#           suspended (checked; PulseAudio only) and must wake; this stands in for an hour's
#           pause
# Prints the median and the worst per case.
# Usage: bench/first_click.sh [program] [starts per case]
#   METRO_AVSYNC: the A/V sync meter's folder (monrec.c), by default /work/shared/tools/avsync
set -euo pipefail
program=$(realpath "${1:-build/bin/metronome}")
starts=${2:-10}
avsync=${METRO_AVSYNC:-/work/shared/tools/avsync}
server=${AUDIO_SERVER:-pulseaudio}
source "$(dirname "$0")/recorded_session.sh"
before_cleanup() { exec 7>&-; } # the presses' xdotool ends with its input
# The recorder must not keep the sink awake, or it would never suspend.
start_recorded_session fc 's/PA_STREAM_ADJUST_LATENCY)/PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND)/'
rec=${pids[-1]}
[ "$server" = pipewire ] || pactl load-module module-suspend-on-idle timeout=2 >/dev/null

# One xdotool for all the presses: starting a new one per press would add its start-up.
exec 7> >(xdotool - >/dev/null 2>&1)
# Presses are stamped with bash's own clock (no process started between the stamp and the
# key), the wall clock; the recording's clock is CLOCK_MONOTONIC: the difference is read once.
python3 -c 'import time; print(time.time_ns() - time.clock_gettime_ns(time.CLOCK_MONOTONIC))' \
    >"$work/clock_offset"
press() { # case name: stamps the moment and sends Enter
    local t=$EPOCHREALTIME
    echo "key Return" >&7
    echo "$1 $t" >>"$work/presses"
}
sink_state() { pactl list sinks short | awk '$2 == "fc" { print $NF }'; }

launch() {
    "$program" >"$work/program.log" 2>&1 &
    app=$!
    wait_for_metronome >/dev/null
    window=$(metronome_window)
    echo "windowfocus --sync $window" >&7
    sleep 1
}
quit() {
    echo "key Escape" >&7
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
}

: >"$work/presses"
for ((i = 0; i < starts; i++)); do
    launch
    press launch
    sleep 1.2
    press stop
    sleep 1
    press short
    sleep 1.2
    press stop
    sleep 4
    state=$(sink_state)
    [ "$state" = SUSPENDED ] || [ "$server" = pipewire ] ||
        echo "warning: the sink is $state, not SUSPENDED, before a long-stop start" >&2
    press long
    sleep 1.2
    press stop
    sleep 0.3
    quit
done
sleep 0.5
kill -INT "$rec"
wait "$rec" 2>/dev/null || true

py=python3
$py -c 'import numpy' 2>/dev/null || py=$(PATH=$(getconf PATH) command -v python3)
"$py" - "$work" "$server" <<'EOF'
import sys
import numpy as np

work = sys.argv[1]
audio = np.fromfile(f"{work}/audio.f32", dtype=np.float32).reshape(-1, 2)[:, 0]
timing = np.loadtxt(f"{work}/audio.timing", ndmin=2)
rate = 48000
# Sample n is heard at A + n / rate, A = arrival - stream time, from the readings of the
# fragments just after it (A moves while the sink is suspended, and the null sink's clock
# drifts a little against CLOCK_MONOTONIC).
anchors_n = timing[:, 1]
anchors_a = timing[:, 0] / 1e9 - timing[:, 2] / 1e6
def heard_at(n):
    near = (anchors_n >= n) & (anchors_n < n + rate // 5)
    a = np.median(anchors_a[near]) if near.any() else anchors_a[np.argmin(np.abs(anchors_n - n))]
    return a + n / rate

level = np.abs(audio)
threshold = 0.03 * level.max()
loud = np.flatnonzero(level > threshold)
onsets = loud[np.insert(np.diff(loud) > rate // 10, 0, True)] if loud.size else loud
onset_times = np.array([heard_at(n) for n in onsets])

offset = int(open(f"{work}/clock_offset").read()) / 1e9  # wall clock - CLOCK_MONOTONIC
results = {}
for line in open(f"{work}/presses"):
    case, t = line.split()
    if case == "stop":
        continue
    t = float(t) - offset
    after = onset_times[onset_times > t]
    if after.size == 0 or after[0] - t > 0.5:
        results.setdefault(case, []).append(float("nan"))
        continue
    results.setdefault(case, []).append((after[0] - t) * 1000)

names = {"launch": "right after launch", "short": "after a 1 s stop",
         "long": "after a 4 s stop" + (" (sink suspended)" if sys.argv[2] == "pulseaudio" else "")}
print("press to first heard click (ms):")
for case in ("launch", "short", "long"):
    v = np.array(results.get(case, []))
    missing = int(np.isnan(v).sum())
    v = v[~np.isnan(v)]
    if v.size == 0:
        print(f"  {names[case]:36s} no clicks found")
        continue
    extra = f", {missing} without a click" if missing else ""
    print(f"  {names[case]:36s} median {np.median(v):6.1f}  worst {v.max():6.1f}  "
          f"best {v.min():6.1f}  (n={v.size}{extra})")
EOF
