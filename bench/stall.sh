#!/usr/bin/env bash
# The beat grid through stalls: the real program plays at 300 per minute while a busy loop
# runs on every core at normal priority, recorded through a private PulseAudio (the shared
# timing rig). Prints late, early, missing and extra clicks against the ideal grid from the
# first click, and the drift at the end (target: within 1 ms, nothing early or extra).
#   bench/stall.sh [build-dir] [seconds] [rig-out-dir]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-300}
out=$(realpath -m "${3:-$(mktemp -d)/stall}")
rig=$(realpath "$(dirname "$0")/../../shared/tools/timing/rig.sh")
[ -x "$rig" ] || { echo "no timing rig at $rig" >&2; exit 1; }

load=()
stop_load() { kill "${load[@]}" 2>/dev/null || true; }
trap stop_load EXIT
for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    load+=($!)
done

"$rig" -x -d "$seconds" -w 2 --bpm 300 -o "$out" --label "stall under load" -- \
    "$build/bin/metronome" --tempo 300 --play >/dev/null
stop_load

python3 - "$out/summary.json" "$out/clicks.csv" <<'PY'
import csv, json, sys
st = json.load(open(sys.argv[1]))
dev = [float(r["grid_dev_ms"]) for r in csv.DictReader(open(sys.argv[2]))]
print(f"clicks           {st.get('clicks', 0)}")
print(f"late  (> 1 ms)   {sum(1 for d in dev if d > 1.0)}  worst {max(dev, default=0):+.3f} ms")
print(f"early (< -1 ms)  {sum(1 for d in dev if d < -1.0)}  worst {min(dev, default=0):+.3f} ms")
print(f"missing beats    {st.get('missing_beats', 0)}")
print(f"extra clicks     {st.get('extra_clicks', 0)}")
print(f"drift at the end {st.get('drift_ms', 0):+.3f} ms")
PY
echo "recording and full report: $out"
