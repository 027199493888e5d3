#!/usr/bin/env bash
# The real program's window moved by its top band as a person moves it, with XTest input
# (xdotool) on a private X server: under a window manager (openbox, icewm), on a bare server
# with none, or under a Weston compositor nested in the X server (the Wayland platform). The
# window follows a drag, stays where it was released while the pointer then moves with no
# button held, and follows a second drag back. Exit 77 (skipped) where a part is missing.
# Usage: tests/window_move_test.sh path/to/metronome openbox|icewm|none|weston
set -euo pipefail
program=$(realpath "$1")
wm=$2
here=$(cd "$(dirname "$0")" && pwd)
skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for tool in Xvfb xdotool xprop import convert; do
    command -v "$tool" >/dev/null || skip "no $tool (install xvfb xdotool x11-utils imagemagick)"
done
case $wm in
openbox | icewm | weston) command -v "$wm" >/dev/null || skip "no $wm (install $wm)" ;;
none) ;;
*) fail "unknown window manager '$wm'" ;;
esac
if [ "$wm" = weston ]; then
    compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
        skip "no Qt Wayland platform (install qt6-wayland)"
fi

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
source "$here/../scripts/xvfb.sh"
start_xvfb 800x700
# The pointer starts off the nested compositor's output, and enters it as a person's would.
xdotool mousemove 790 690

# No sound server (a socket that is not there) and SDL's silent device: no message box.
export SDL_AUDIODRIVER=dummy PULSE_SERVER=unix:$work/no-sound-server QT_QPA_PLATFORM=xcb
case $wm in
openbox | icewm)
    "$wm" >"$work/wm.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    xprop -root _NET_SUPPORTED | grep -q _NET_WM_MOVERESIZE || fail "$wm does not move windows"
    ;;
weston)
    # A plain background and no panel, so that the window is found by its pixels.
    printf '[shell]\nbackground-color=0xff204060\npanel-position=none\nlocking=false\n' \
        >"$work/weston.ini"
    export XDG_RUNTIME_DIR=$work
    weston --backend=x11-backend.so --use-pixman --width=400 --height=520 \
        --config="$work/weston.ini" --socket=metronome-test --idle-time=0 \
        >"$work/weston.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$work/metronome-test" ] && break; sleep 0.1; done
    [ -S "$work/metronome-test" ] || fail "weston did not start: $(tail -3 "$work/weston.log")"
    export QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=metronome-test
    ;;
esac

"$program" 2>"$work/program.log" &
pids+=($!)

# The window's top-left on the screen, "x y". Under Weston, from the pixels: the first column
# and row where a tenth of the output differs from the background (the pointer never does).
if [ "$wm" = weston ]; then
    position() {
        local shot=$work/shot.png mask
        import -window root -crop 400x520+0+0 +repage "$shot"
        mask=(-fuzz 4% -fill black -opaque '#204060' -fill white +opaque black -colorspace gray)
        # The bounding box of what is left, WxH+X+Y, of the columns and of the rows.
        local columns rows x
        columns=$(convert "$shot" "${mask[@]}" -scale '400x1!' -threshold 10% -format '%@' info: 2>/dev/null)
        rows=$(convert "$shot" "${mask[@]}" -scale '1x520!' -threshold 10% -format '%@' info: 2>/dev/null)
        x=${columns#*+}
        echo "${x%%+*} ${rows##*+}"
    }
    for _ in $(seq 300); do
        read -r x y < <(position)
        # Nothing drawn yet gives the output's far corner.
        [ "${x:-0}" -gt 0 ] && [ "$x" -lt 400 ] && [ "${y:-0}" -gt 0 ] && [ "$y" -lt 520 ] && break
        sleep 0.1
    done
    [ "${x:-0}" -gt 0 ] && [ "$x" -lt 400 ] || fail "the window did not appear under weston"
else
    wait_for_metronome 300
    window=$(metronome_window)
    xdotool windowmove "$window" 100 100
    position() {
        xdotool getwindowgeometry "$window" | awk '/Position/ {split($2, p, ","); print p[1], p[2]}'
    }
fi
# Waits until the window stands still, then prints where.
settled() {
    local before now
    before=$(position)
    for _ in $(seq 30); do
        sleep 0.3
        now=$(position)
        [ "$now" = "$before" ] && break
        before=$now
    done
    echo "$now"
}

# Drags from 100 pixels right of the window's left edge in its top band by (dx, dy) in five
# steps. The window manager starts its move at the press or at the first step.
drag() {
    local x y
    read -r x y < <(settled)
    xdotool mousemove $((x + 100)) $((y + 10))
    sleep 0.3
    xdotool mousedown 1
    for step in 1 2 3 4 5; do
        sleep 0.05
        xdotool mousemove $((x + 100 + $1 * step / 5)) $((y + 10 + $2 * step / 5))
    done
    sleep 0.05
    xdotool mouseup 1
}
# Checks the window moved from (x0, y0) by (dx, dy), less at most one step of five.
check_moved() {
    local x0=$1 y0=$2 dx=$3 dy=$4 x y
    read -r x y < <(settled)
    local mx=$((x - x0)) my=$((y - y0))
    echo "moved by $mx,$my for a drag of $dx,$dy"
    [ $((mx * dx)) -ge $((dx * dx * 4 / 5)) ] && [ $((mx * dx)) -le $((dx * dx)) ] &&
        [ $((my * dy)) -ge $((dy * dy * 4 / 5)) ] && [ $((my * dy)) -le $((dy * dy)) ] ||
        fail "the window did not follow the drag of $dx,$dy: it moved by $mx,$my"
}
# Moves the pointer twice with no button held: the window must stay.
check_stays() {
    local before after
    before=$(settled)
    xdotool mousemove_relative -- "$1" "$2"
    sleep 0.3
    xdotool mousemove_relative -- "$1" "$2"
    after=$(settled)
    echo "after moves with no button held: $after (released at $before)"
    [ "$after" = "$before" ] || fail "the window followed the pointer with no button held: $before -> $after"
}

read -r x0 y0 < <(settled)
echo "window at $x0 $y0 ($wm)"
drag 40 30
check_moved "$x0" "$y0" 40 30
check_stays 60 60
read -r x1 y1 < <(settled)
drag -40 -30
check_moved "$x1" "$y1" -40 -30
check_stays -50 40
import -window root "$work/last.png"
echo "PASS: the window moves with the drags and stays where it was released ($wm)"
