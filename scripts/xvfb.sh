# Sourced by the scripts that need a private X server: starts Xvfb on a free display, exports
# DISPLAY and sets XVFB_PID. The server picks its own free display number, and does not reset
# when its last client goes (a reset refuses connections for a moment).
#   start_xvfb [WIDTHxHEIGHT]   (default 400x520)
start_xvfb() {
    local size=${1:-400x520} fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local number
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=:$number
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start" >&2
    return 1
}

# The metronome's window: the visible window named Metronome that is 281 x 439 pixels.
metronome_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Metronome$' 2>/dev/null); do
        if xdotool getwindowgeometry "$w" | grep -q 'Geometry: 281x439'; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# Waits for the program's first window, up to a tenth of a second times the tries given
# (default 100); dismisses the no-sound message box if it shows. Only a dialog is dismissed:
# the main window, seen while it is still being mapped, would take the Return as Play.
wait_for_metronome() {
    local w
    for _ in $(seq "${1:-100}"); do
        metronome_window >/dev/null && return 0
        for w in $(xdotool search --onlyvisible --name '^Metronome$' 2>/dev/null); do
            xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG ||
                continue
            echo "no sound device: dismissing the message"
            xdotool windowfocus --sync "$w" key Return 2>/dev/null || true
        done
        sleep 0.1
    done
    echo "the metronome's window did not appear" >&2
    return 1
}
