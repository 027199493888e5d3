#!/usr/bin/env bash
# Whether a key pressed shortly before a click reaches that click, on the real program: a
# private X server (Xvfb) and a private sound server (PulseAudio, or with
# AUDIO_SERVER=pipewire PipeWire as desktops run it: avsync's servers.sh) whose null sink's
# monitor is recorded and dated (avsync's monrec: the server's timing, under PipeWire the
# arrivals), so every recorded sample has its CLOCK_MONOTONIC moment of being heard.
#
# Each trial starts the metronome (tempo 120, four beats a measure), finds its first click in
# the recording as it comes, and presses one key at a chosen lead before beat 5 (the second
# of the second measure) is heard, stamped on CLOCK_MONOTONIC just before one long-running
# xdotool sends it:
#   mute   Space: reached when beat 5 is silent
#   beats  "2": reached when beat 6 is an accent (beats 5 to 7 plain, accent, plain); a
#          change that comes one click late gives plain, plain, accent
# then stops and undoes the key. Leads 40, 30, 20 and 15 ms; prints per lead how many trials
# reached the click, and the leads as measured afterwards from the recording.
# Usage: bench/late_keys.sh [program] [trials per lead and key]
#   METRO_AVSYNC: the A/V sync meter's folder (monrec.c, servers.sh), by default
#   /work/shared/tools/avsync
set -euo pipefail
program=$(realpath "${1:-build/bin/metronome}")
trials=${2:-3}
avsync=${METRO_AVSYNC:-/work/shared/tools/avsync}
server=${AUDIO_SERVER:-pulseaudio}
source "$(dirname "$0")/recorded_session.sh"
# The recorder's files are read while it runs: unbuffered.
start_recorded_session lk 's|^    if (!audio \|\| !timing) {|    if (audio \&\& timing) { setvbuf(audio, NULL, _IONBF, 0); setvbuf(timing, NULL, _IOLBF, 0); }\n&|'

"$program" --beats 4 >"$work/program.log" 2>&1 &
pids+=($!)
wait_for_metronome >/dev/null
xdotool windowfocus --sync "$(metronome_window)"
sleep 1

py=python3
$py -c 'import numpy' 2>/dev/null || py=$(PATH=$(getconf PATH) command -v python3)
"$py" - "$work" "$trials" <<'EOF'
import subprocess, sys, time
import numpy as np

work, trials = sys.argv[1], int(sys.argv[2])
rate, beat = 48000, 24000
keys = subprocess.Popen(["xdotool", "-"], stdin=subprocess.PIPE, text=True)
audio_file = open(f"{work}/audio.f32", "rb")
timing_file = open(f"{work}/audio.timing")
audio = np.zeros(0, dtype=np.float32)
anchors = []  # (frames so far, CLOCK_MONOTONIC s at which sample 0 is heard)

def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC)

def read():
    global audio
    data = audio_file.read()
    usable = len(data) // 8 * 8
    if len(data) > usable:
        audio_file.seek(usable - len(data), 1)
    audio = np.concatenate([audio, np.frombuffer(data[:usable], dtype=np.float32)[0::2]])
    for line in timing_file.readlines():
        f = line.split()
        if len(f) >= 3:
            anchors.append((int(f[1]), int(f[0]) / 1e9 - int(f[2]) / 1e6))

def heard_at(n):  # the readings of the half second after sample n (or the latest)
    near = [a for frames, a in anchors if n < frames <= n + rate // 2]
    return float(np.median(near if near else [anchors[-1][1]])) + n / rate

def onsets(start, level=0.05):
    loud = np.flatnonzero(np.abs(audio[start:]) > level) + start
    return loud[np.insert(np.diff(loud) > rate // 10, 0, True)] if loud.size else loud

def until(moment):  # sleeps, then waits without sleeping for the last 3 ms
    while now() < moment - 0.003:
        time.sleep(max(0.0, min(0.001, moment - 0.003 - now())))
    while now() < moment:
        pass

def press(key):
    t = now()
    keys.stdin.write(f"key {key}\n")
    keys.stdin.flush()
    return t

results = []  # kind, planned lead, first onset, press moment
for _ in range(trials):
    for lead in (0.040, 0.030, 0.020, 0.015):
        for kind, key, undo in (("mute", "space", "space"), ("beats", "2", "4")):
            read()
            start = len(audio)
            press("Return")
            deadline = now() + 2
            while not onsets(start).size and now() < deadline:
                time.sleep(0.005)
                read()
            if not onsets(start).size:
                print(f"{kind} {lead}: no first click", file=sys.stderr)
                press("Return")
                continue
            first = int(onsets(start)[0])
            time.sleep(0.6)  # the readings after the first click
            read()
            until(heard_at(first) + 2.5 - lead)
            pressed = press(key)
            until(heard_at(first) + 4.2)
            press("Return")
            time.sleep(0.3)
            press(undo)
            time.sleep(1.0)
            results.append((kind, lead, first, pressed))
time.sleep(0.5)
read()

def kind_of(n):  # the click at sample n: 0 none, 1 plain, 2 accent (the accent peaks higher)
    window = np.abs(audio[max(n - 480, 0):n + 2880])
    peak = window.max() if window.size else 0
    return 0 if peak < 0.05 else 2 if peak > 0.62 else 1

summary = {}
for kind, lead, first, pressed in results:
    clicks = [kind_of(first + k * beat) for k in range(8)]
    reached = clicks[5] == 0 if kind == "mute" else clicks[5:8] == [1, 2, 1]
    measured = (heard_at(first + 5 * beat) - pressed) * 1000
    # A trial whose grid moved on the way (a stall) says nothing about the lead it planned.
    ok = abs(measured - lead * 1000) < 2 and all(clicks[k] for k in range(5))
    summary.setdefault((kind, lead), []).append((reached, measured, clicks, ok))

print("key pressed before beat 5 is heard: trials that reached it (leads as measured, ms)")
for lead in (0.040, 0.030, 0.020, 0.015):
    parts = []
    for kind, name in (("mute", "mute"), ("beats", "beat count")):
        rows = [r for r in summary.get((kind, lead), []) if r[3]]
        disturbed = len(summary.get((kind, lead), [])) - len(rows)
        got = sum(r[0] for r in rows)
        leads = " ".join(f"{r[1]:.1f}" for r in rows)
        parts.append(f"{name} {got} of {len(rows)} ({leads})" +
                     (f" +{disturbed} disturbed" if disturbed else ""))
    print(f"  {lead * 1000:4.0f} ms   " + "   ".join(parts))
print("  (disturbed: the clicks left their grid during the trial, a stall; not counted)")
shown = 0
for (kind, lead), rows in summary.items():
    for reached, _, clicks, ok in rows:
        if ok and not reached and shown < 2:
            shown += 1
            print(f"  not reached: {kind} at {lead * 1000:.0f} ms, beats 0-7 heard as {clicks}"
                  " (0 none, 1 plain, 2 accent)")
keys.stdin.close()
keys.wait()
EOF
