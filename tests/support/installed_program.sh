# shellcheck shell=bash
# Shell helpers for the tests of an installed metronome. Source this file.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# strace_escaped TEXT: TEXT as strace prints a path.
strace_escaped() {
    LC_ALL=C python3 -c 'import sys
print("".join(chr(b) if 32 <= b < 127 and b not in b"\"\\\\" else "\\%o" % b
              for b in sys.argv[1].encode("utf-8", "surrogateescape")))' "$1"
}

# runs_with_clicks PROGRAM CLICKS_DIR
# Starts PROGRAM on the offscreen platform with SDL's dummy sound driver, lets it run for two
# seconds and stops it. Succeeds when it was still running, printed nothing, and opened
# CLICKS_DIR/1.wav and 2.wav. Staying alive alone proves little: without its clicks the
# program sits behind a modal error box, silent but running. strace shows the opens.
runs_with_clicks() {
    local program=$1 clicks=$2 work tracer pid wav
    work=$(mktemp -d)
    mkdir -m 700 "$work/runtime" # Qt complains when it has no runtime folder
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
        strace -f -qq -e trace=openat -o "$work/trace" "$program" >"$work/output" 2>&1 &
    tracer=$!
    sleep 2
    pid=$(cat "/proc/$tracer/task/$tracer/children" 2>/dev/null || true)
    pid=${pid%% *}
    if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
        wait "$tracer" || true
        echo "$program stopped within two seconds:" >&2
        cat "$work/output" >&2
        rm -rf "$work"
        return 1
    fi
    kill "$pid"
    wait "$tracer" || true

    local ok=0
    if [ -s "$work/output" ]; then
        echo "$program printed:" >&2
        cat "$work/output" >&2
        ok=1
    fi
    for wav in 1.wav 2.wav; do
        # strace writes a byte that is not printable ASCII as an octal escape.
        if ! grep -F "\"$(strace_escaped "$clicks/$wav")\"" "$work/trace" |
            grep -Eq '\) = [0-9]+$'; then
            echo "$program did not open $clicks/$wav; what it tried:" >&2
            grep -F '.wav"' "$work/trace" >&2 || echo "  (no wave file at all)" >&2
            ok=1
        fi
    done
    rm -rf "$work"
    return $ok
}
