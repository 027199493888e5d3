#!/usr/bin/env bash
# Measures the real program as a person runs it, on a private X server (Xvfb on display :75,
# or BENCH_DISPLAY) with a private PulseAudio server whose output is a null sink, and prints
# one table with a column for each build directory given, so that builds compare side by side:
#   - CPU of the program, the X server and the sound server, stopped and playing at tempo 120,
#     SECONDS_EACH seconds each (30), as % of one core: the median of ROUNDS rounds (3). The
#     rounds interleave the builds and the two states, so other load falls on all alike; the
#     load average is printed with each round.
#   - frames drawn per second while playing, the frame intervals' spread and longest, over 5 s
#     after the CPU figures, and the window thread's CPU time per frame (a uprobe on
#     QBackingStore::endPaint counts frames: needs perf and root, NO_FRAME_PROBE unset;
#     without them these show n/a)
#   - peak memory (VmHWM) after play, and what is resident: shared libraries and other files,
#     the program's own memory
#   - start-up to the first painted frame (bench_startup, median of 5, in a D-Bus session)
#   - the recorded clicks against the ideal beat grid (first round, first build)
# Usage: bench/real_program.sh [build-dir...] [seconds]     (default: build 30)
# A build directory may also be a directory whose bin/metronome and bin/bench_startup are
# scripts that exec the real ones (to compare environment settings).
set -euo pipefail
# A desktop session has a session bus, and Qt talks to it at start-up.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec dbus-run-session -- "$0" "$@"
fi
builds=()
seconds=${SECONDS_EACH:-30}
for b in "$@"; do
    if [[ $b =~ ^[0-9]+$ ]]; then seconds=$b; else builds+=("$(realpath "$b")"); fi
done
[ ${#builds[@]} -gt 0 ] || builds=("$(realpath build)")
stopped_seconds=${STOPPED_SECONDS:-$seconds}
rounds=${ROUNDS:-3}
display=:${BENCH_DISPLAY:-75}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
probe=""
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    pulseaudio --kill >/dev/null 2>&1 || true
    [ -z "$probe" ] || perf probe -q -d "$probe" >/dev/null 2>&1 || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

source "$here/../scripts/xvfb.sh" # metronome_window, wait_for_metronome
export DISPLAY=$display
if xdpyinfo >/dev/null 2>&1; then
    echo "display $display is taken: choose another with BENCH_DISPLAY" >&2
    exit 1
fi
Xvfb "$display" -screen 0 400x520x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# The sink is suspended when idle, as a desktop's server does.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-null-sink sink_name=bench rate=48000" \
    --load="module-suspend-on-idle timeout=5" \
    --load="module-native-protocol-unix" --log-target=file:"$work/pulse.log" &
pulse=$!
pids+=($pulse)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

# A uprobe where Qt finishes painting a frame into the window's backing store.
if [ "$(id -u)" -eq 0 ] && command -v perf >/dev/null && [ -z "${NO_FRAME_PROBE:-}" ]; then
    [ -e /sys/kernel/tracing/uprobe_events ] || mount -t tracefs nodev /sys/kernel/tracing 2>/dev/null || true
    gui=$( (ldd "${builds[0]}/bin/metronome" 2>/dev/null || ldconfig -p) |
        awk '/libQt6Gui.so.6 / {for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i}' | head -1)
    at=$(nm -D --defined-only "$gui" | awk '$3 ~ /^_ZN13QBackingStore8endPaintEv/ {print $1}' | head -1)
    if [ -n "$at" ] && perf probe -q -x "$gui" -a "metro_frame=0x$at" >/dev/null 2>&1; then
        probe=$(perf probe -l 2>/dev/null | awk '/metro_frame/ {print $1}' | head -1)
    fi
fi

hz=$(getconf CLK_TCK)
cpu_ns() { # CPU time of process $1, in nanoseconds, also of its threads that have ended
    awk -v hz="$hz" '{printf "%.0f", ($14 + $15) * 1e9 / hz}' /proc/"$1"/stat
}
thread_ns() { awk '{print $1}' /proc/"$1"/task/"$2"/schedstat; } # to the nanosecond
percent() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN {printf "%.2f", (b - a) / s / 1e7}'; }
loadavg() { cut -d' ' -f1 /proc/loadavg; }

# measure <label> <app>: CPU of the three processes over $seconds, into $work/<label>.*
measure() {
    local label=$1 app=$2 a0 x0 p0 m0 a1 x1 p1 m1
    local span=$seconds
    [[ $label == play* ]] || span=$stopped_seconds
    a0=$(cpu_ns "$app") x0=$(cpu_ns "$xvfb") p0=$(cpu_ns "$pulse") m0=$(thread_ns "$app" "$app")
    sleep "$span"
    a1=$(cpu_ns "$app") x1=$(cpu_ns "$xvfb") p1=$(cpu_ns "$pulse") m1=$(thread_ns "$app" "$app")
    echo "$(percent "$a0" "$a1" "$span")" >>"$work/$label.app"
    echo "$(percent "$x0" "$x1" "$span")" >>"$work/$label.x"
    echo "$(percent "$p0" "$p1" "$span")" >>"$work/$label.pulse"
    echo "$(percent "$m0" "$m1" "$span")" >>"$work/$label.main"
    echo "$(loadavg)" >>"$work/$label.load"
    # Frames are counted afterwards, apart from the CPU figures: a uprobe's trap costs the
    # program several microseconds a frame in a virtual machine.
    if [ -n "$probe" ] && [[ $label == play* ]]; then
        perf record -q -e "$probe" -p "$app" -o "$work/frames.data" -- sleep 5 >/dev/null 2>&1 || true
        # frames per second, interval spread and longest (ms), window thread µs per frame
        perf script -i "$work/frames.data" -F time 2>/dev/null | tr -d ' :' |
            awk -v m="$((m1 - m0))" -v s="$seconds" '
                { t[NR] = $1 }
                END {
                    n = NR; if (n < 3) exit
                    for (i = 2; i <= n; i++) { d = (t[i] - t[i-1]) * 1000; sum += d; sq += d * d; if (d > mx) mx = d }
                    mean = sum / (n - 1); sd = sqrt(sq / (n - 1) - mean * mean)
                    fps = (n - 1) / (t[n] - t[1])
                    printf "%.1f %.2f %.1f %.0f\n", fps, sd, mx, m / 1000 / (fps * s)
                }' >>"$work/$label.frames" || true
        rm -f "$work/frames.data"
    fi
}

median() { sort -g "$1" | awk '{v[NR] = $1} END {if (NR == 0) print "n/a"; else print v[int((NR + 1) / 2)]}'; }
median_col() { # column $2 of file $1
    [ -s "$1" ] || { echo n/a; return; }
    awk -v c="$2" '{print $c}' "$1" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

for round in $(seq "$rounds"); do
    for i in "${!builds[@]}"; do
        build=${builds[$i]}
        "$build/bin/metronome" >"$work/app$i.log" 2>&1 &
        app=$!
        pids+=($app)
        if ! wait_for_metronome; then
            echo "round $round, ${build}: the program did not start: $(tail -3 "$work/app$i.log")" >&2
            continue
        fi
        sleep 3 # past start-up
        window=$(metronome_window)
        click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
        echo "round $round, ${build}: load $(loadavg)" >&2
        measure "stop$i" "$app"
        rec=""
        if [ "$round" -eq 1 ] && [ "$i" -eq 0 ]; then
            parecord --device=bench.monitor --rate=48000 --channels=1 --format=s16le \
                --file-format=wav "$work/clicks.wav" &
            rec=$!
            sleep 0.5
        fi
        click 184 399 # the play button
        sleep 1
        measure "play$i" "$app"
        click 183 398 # the stop button
        sleep 0.5
        [ -z "$rec" ] || { kill "$rec"; wait "$rec" 2>/dev/null || true; }
        awk '/VmHWM/ {printf "%.1f\n", $2 / 1024}' "/proc/$app/status" >>"$work/mem$i"
        awk '/RssAnon|RssFile|RssShmem/ {printf "%s %.1f  ", $1, $2 / 1024} END {print ""}' \
            "/proc/$app/status" >"$work/rss$i"
        kill "$app"
        wait "$app" 2>/dev/null || true
    done
done

for i in "${!builds[@]}"; do
    for _ in 1 2 3 4 5; do
        dbus-run-session -- "${builds[$i]}/bin/bench_startup" 0 2>/dev/null |
            awk '/first painted frame/ {print $(NF - 1)} /session bus/ {print > "/dev/stderr"}' \
                >>"$work/start$i" 2>"$work/bus$i" || true
    done
done

row() { # label, then one value per build
    printf "%-40s" "$1"
    shift
    printf "%14s" "$@"
    echo
}
values() { # function, suffix...
    local out=() i
    for i in "${!builds[@]}"; do out+=("$("$@" "$i")"); done
    printf "%s\n" "${out[@]}"
}
echo
names=()
for b in "${builds[@]}"; do names+=("$(basename "$(dirname "$b")")/$(basename "$b")"); done
row "median of $rounds rounds, ${seconds} s each" "${names[@]}"
for state in stop play; do
    for who in app x pulse; do
        case $who in app) n="program" ;; x) n="X server" ;; pulse) n="sound server" ;; esac
        mapfile -t v < <(for i in "${!builds[@]}"; do median "$work/$state$i.$who"; done)
        row "CPU % $n, $([ $state = stop ] && echo stopped || echo playing)" "${v[@]}"
    done
done
mapfile -t v < <(for i in "${!builds[@]}"; do median "$work/play$i.main"; done)
row "CPU % program's window thread, playing" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median_col "$work/play$i.frames" 1; done)
row "frames per second drawn" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median_col "$work/play$i.frames" 2; done)
row "frame interval spread (sd, ms)" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median_col "$work/play$i.frames" 3; done)
row "longest frame interval (ms)" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median_col "$work/play$i.frames" 4; done)
row "window thread CPU per frame (µs)" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median "$work/mem$i"; done)
row "peak memory (MiB)" "${v[@]}"
mapfile -t v < <(for i in "${!builds[@]}"; do median "$work/start$i"; done)
row "start-up to first frame (ms, median of 5)" "${v[@]}"
echo "load averages during the rounds: $(cat "$work"/*.load | tr '\n' ' ')"
for i in "${!builds[@]}"; do
    echo "${names[$i]}: resident after play: $(cat "$work/rss$i"); $(sort -u "$work/bus$i" | tr '\n' ' ')"
done
if [ -s "$work/clicks.wav" ]; then
    echo "recorded clicks (${names[0]}):"
    "${builds[0]}/bin/bench_click_timing" analyze "$work/clicks.wav" 120
fi
