#!/bin/sh
# Times dwc against find and rsync on the same tree pair, in one run on a warm cache, and
# prints the medians and the ratios; then dwc's peak memory.
#   bench/compare-speed.sh [TREES]    (TREES defaults to $TMPDIR/dirwise-bench; made if missing)
# Environment: DWC (default build/bin/dwc), RUNS (default 15), FILES (default 200000).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
dwc=${DWC:-$top/build/bin/dwc}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
runs=${RUNS:-15}
for tool in hyperfine rsync python3 /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool (apt-get install hyperfine rsync python3 time)" >&2; exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"

m=$trees/master
c=$trees/compare
json=$(mktemp)
trap 'rm -f "$json"' EXIT
# -i: dwc and rsync report differences through their exit status.
hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$json" \
    -n dwc "$dwc --date $m $c -o /dev/null" \
    -n find "find $m $c -type f -printf '%s %T@ %p\n'" \
    -n rsync "rsync -rtn -i $m/ $c/" >/dev/null

python3 - "$json" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: v["median"] for k, v in res.items()}
for k in ("dwc", "find", "rsync"):
    r = res[k]
    print(f"{k:6s} median {med[k]:.3f} s  (min {r['min']:.3f}, max {r['max']:.3f}, {len(r['times'])} runs)")
print(f"dwc / find  = {med['dwc'] / med['find']:.2f}   (goal: at most 0.80)")
print(f"rsync / find = {med['rsync'] / med['find']:.2f}")
print(f"dwc / rsync = {med['dwc'] / med['rsync']:.2f}")
PY
peak=$(/usr/bin/time -f %M "$dwc" --date "$m" "$c" -o /dev/null -q 2>&1 >/dev/null | tail -n 1)
echo "dwc peak memory: $((peak / 1024)) MB (goal: under 60 MB)"
