#!/bin/sh
# Times writing a snapshot with dwc against bsdtar's mtree writer, both with the same
# keywords (type, size, time, link), in one hyperfine run; then the same with sha256 digests
# (dwc --verify, bsdtar's sha256 keyword); prints the medians and the ratios, and dwc's peak
# memory.
#   bench/snapshot-speed.sh [TREES]
#     TREES defaults to $TMPDIR/dirwise-bench (a pair of FILES files is made there if missing);
#     its master tree is the one described.
# Environment: DWC (default build/bin/dwc), RUNS (10), FILES (200000).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
dwc=${DWC:-$top/build/bin/dwc}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
runs=${RUNS:-10}
for tool in hyperfine bsdtar python3 /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "missing: $tool (apt-get install hyperfine libarchive-tools python3 time)" >&2
          exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"
m=$trees/master
json=$(mktemp)
trap 'rm -f "$json"' EXIT
hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
    -n dwc "$dwc -q --snapshot $m -o /dev/null" \
    -n bsdtar "bsdtar --format=mtree --options=!all,type,size,time,link -cf /dev/null -C $m ." \
    -n dwc-sha256 "$dwc -q --snapshot --verify $m -o /dev/null" \
    -n bsdtar-sha256 \
    "bsdtar --format=mtree --options=!all,type,size,time,link,sha256 -cf /dev/null -C $m ." \
    >/dev/null
python3 - "$json" <<'PY'
import json, sys
med = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
for k, v in med.items():
    print(f"{k:14} median {v * 1000:9.1f} ms")
for a, b in (("dwc", "bsdtar"), ("dwc-sha256", "bsdtar-sha256")):
    r = med[a] / med[b]
    print(f"{a} / {b} = {r:.2f}  (goal <= 0.50: {'met' if r <= 0.5 else 'NOT met'})")
PY
/usr/bin/time -f "dwc --snapshot --verify peak memory: %M KiB" \
    "$dwc" -q --snapshot --verify "$m" -o /dev/null
