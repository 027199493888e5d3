#!/usr/bin/env bash
# A private sound server for the tests, speaking the PulseAudio protocol:
#   sound_server.sh pulseaudio|pipewire FOLDER
# starts PulseAudio, or PipeWire as current desktops run it (pipewire, wireplumber and
# pipewire-pulse, on a D-Bus session bus of their own, WirePlumber's hardware monitors off), in
# the runtime folder FOLDER (the caller's XDG_RUNTIME_DIR), with one null sink "t" at 48 kHz as
# the default sink; PulseAudio also with a sink "slow" in front of it with 150 ms latency of its
# own, as a network or Bluetooth sink has, that it reports (a tunnel into "t"; PipeWire's sink
# of that kind is the bench's, bench/slow_sink.cpp). Then writes FOLDER/server.pid (the process
# that serves the protocol) and FOLDER/ready, and on TERM ends every process it started, the
# last started first. Exits 1 when the server does not answer within 10 s a step (a busy
# machine starts it slowly).
#   sound_server.sh pulseaudio|pipewire
# exits 0 where the server's programs are installed.
# PipeWire's folders (configuration, state, data) are all under FOLDER, so neither a user's
# settings nor WirePlumber's saved state are read or written; no hardware is touched.
set -u
server=$1 folder=${2:-}
if [ -z "$folder" ]; then
    programs="pipewire wireplumber pipewire-pulse dbus-daemon pactl"
    [ "$server" = pulseaudio ] && programs="pulseaudio pactl"
    command -v $programs >/dev/null
    exit
fi

pids=()
stop() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    rm -f "$folder/ready"
    exit "${1:-0}"
}
trap stop TERM INT
within10s() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
log=$folder/server.log

if [ "$server" = pulseaudio ]; then
    # Never rewinds: a rewound stretch would be missing from the sink's monitor.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --load='module-null-sink sink_name=t rate=48000 norewinds=1' \
        --load=module-native-protocol-unix >>"$log" 2>&1 &
    pids+=($!)
    protocol=$!
    within10s pactl info || stop 1
else
    config=$folder/config
    mkdir -p "$config/wireplumber/main.lua.d" "$config/wireplumber/bluetooth.lua.d"
    printf '%s_monitor.enabled = false\n' alsa v4l2 libcamera \
        >"$config/wireplumber/main.lua.d/51-private.lua"
    # The sink "t" made by the server as it starts, before any client (the metronome under
    # test reconnecting at once) can get in the way of a load-module.
    mkdir -p "$config/pipewire/pipewire-pulse.conf.d"
    echo 'pulse.cmd = [ { cmd = "load-module" flags = [ ]
        args = "module-null-sink sink_name=t format=float32le rate=48000 channels=2" } ]' \
        >"$config/pipewire/pipewire-pulse.conf.d/51-private.conf"
    echo 'bluez_monitor.enabled = false' >"$config/wireplumber/bluetooth.lua.d/51-private.lua"
    cat >"$folder/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:path=$folder/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
EOF
    rm -f "$folder/bus" "$folder/pipewire-0"
    run=(env -u DISPLAY -u WAYLAND_DISPLAY -u PIPEWIRE_REMOTE -u PULSE_SERVER
        -u PULSE_CLIENTCONFIG -u PULSE_LATENCY_MSEC XDG_RUNTIME_DIR="$folder"
        PIPEWIRE_RUNTIME_DIR="$folder" XDG_CONFIG_HOME="$config"
        XDG_STATE_HOME="$folder/state" XDG_DATA_HOME="$folder/data"
        DBUS_SESSION_BUS_ADDRESS="unix:path=$folder/bus")
    dbus-daemon --nofork --nopidfile --nosyslog --config-file="$folder/bus.conf" >>"$log" 2>&1 &
    pids+=($!)
    within10s test -S "$folder/bus" || stop 1
    "${run[@]}" pipewire >>"$log" 2>&1 &
    pids+=($!)
    within10s test -S "$folder/pipewire-0" || stop 1
    "${run[@]}" wireplumber >>"$log" 2>&1 &
    pids+=($!)
    "${run[@]}" pipewire-pulse >>"$log" 2>&1 &
    pids+=($!)
    protocol=$!
    within10s sh -c "pactl list short sinks | grep -q '\<t\>'" || stop 1
    # WirePlumber takes the default sink from what pactl asks for.
    within10s sh -c "pactl set-default-sink t && pactl info | grep -qx 'Default Sink: t'" || stop 1
fi

if [ "$server" = pulseaudio ]; then
    pactl load-module module-tunnel-sink sink_name=slow sink=t latency_msec=150 rate=48000 \
        channels=2 format=float32le server="unix:$folder/pulse/native" >>"$log" 2>&1 || stop 1
    within10s sh -c "pactl list short sinks | grep -q slow" || stop 1
fi

echo "$protocol" >"$folder/server.pid"
touch "$folder/ready"
while :; do
    wait
    sleep 0.1
done
