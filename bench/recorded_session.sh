# Sourced by the benches that play the real program into a recorded private sound server:
# a private runtime folder ($work, removed at exit unless KEEP is set), a private X server
# (Xvfb), and a private PulseAudio, or with AUDIO_SERVER=pipewire a private PipeWire as
# desktops run it (avsync's servers.sh), whose null sink's monitor avsync's monrec records and
# dates: by the server's timing, under PipeWire by arrival ($clock). Every process started
# goes into $pids and is ended at exit, the last started first, after before_cleanup (a
# script may define its own). Needs $avsync, the A/V sync meter's folder.
#   start_recorded_session SINK MONREC-SED   (the sed script adapts monrec.c to the bench)
work=$(mktemp -d)
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work HOME=$work NO_AT_BRIDGE=1
pids=()
before_cleanup() { :; }
cleanup() {
    local i
    before_cleanup
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

start_recorded_session() {
    local sink=$1
    sed "$2" "$avsync/monrec.c" >"$work/monrec.c"
    gcc -O2 -o "$work/monrec" "$work/monrec.c" $(pkg-config --cflags --libs libpulse)
    source "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"
    start_xvfb
    pids+=("$XVFB_PID")
    source "$avsync/servers.sh" # pa_server, pw_servers
    if [ "${AUDIO_SERVER:-pulseaudio}" = pipewire ]; then
        pw_servers "$work" "$work" "$sink" ||
            { echo "PipeWire did not start (logs in $work)" >&2; exit 1; }
        clock=arrival
    else
        pa_server "$work" "$work" "$sink" || { echo "PulseAudio did not start" >&2; exit 1; }
        clock=server
    fi
    pids+=("${SRV_PIDS[@]}")
    "$work/monrec" "$sink.monitor" 3600 "$work/audio.f32" "$work/audio.timing" 48000 2 "$clock" \
        >"$work/monrec.log" 2>&1 &
    pids+=($!)
}
