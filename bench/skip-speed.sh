#!/bin/sh
# What skip rules cost: dwc on the same tree pair with no rule, with 20 rules that match
# nothing there, and with one rule that skips half the tree (proj00 to proj09, about 100,000
# files), in one hyperfine run; prints the medians, the CPU time (user + system) of each and
# the ratios to the run without rules.
#   bench/skip-speed.sh [TREES]
#     TREES defaults to $TMPDIR/dirwise-bench (a pair of FILES files is made there if missing).
# Environment: DWC (default build/bin/dwc), RUNS (15), FILES (200000).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
dwc=${DWC:-$top/build/bin/dwc}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
for tool in hyperfine python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool (apt-get install $tool)" >&2; exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"

m=$trees/master
c=$trees/compare
# Rules a real project keeps, none of which matches a name of the generated trees.
rules=""
for r in '*.o' '*.obj' '*.pyc' 'build/' 'node_modules/' '.cache/' '/dist' '*.tmp' '*~' \
    '*.swp' '__pycache__/' 'target/' 'CMakeFiles/' '*.class' 'docs/**/*.bak' '**/vendor/' \
    '[Tt]humbs.db' '.DS_Store' '*.log.[0-9]' '!keep.me'; do
    rules="$rules --skip=$r"
done
json=$(mktemp)
trap 'rm -f "$json"' EXIT
# -N: no shell, so the patterns reach dwc as they are. -i: dwc reports differences by status.
hyperfine -N -i --warmup 3 --runs "${RUNS:-15}" --export-json "$json" \
    -n none "$dwc --date $m $c -o /dev/null" \
    -n rules20 "$dwc --date $rules $m $c -o /dev/null" \
    -n half "$dwc --date --skip=/proj0[0-9]/ $m $c -o /dev/null" >/dev/null

python3 - "$json" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
cpu = {k: r["user"] + r["system"] for k, r in res.items()}
for k in ("none", "rules20", "half"):
    r = res[k]
    print(f"{k:8s} median {r['median']:.3f} s  (min {r['min']:.3f}, max {r['max']:.3f}, "
          f"{len(r['times'])} runs; cpu {cpu[k]:.3f} s)")
print(f"rules20 / none, cpu    = {cpu['rules20'] / cpu['none']:.3f}   (goal: at most 1.05)")
print(f"rules20 / none, median = {res['rules20']['median'] / res['none']['median']:.3f}")
print(f"half / none, median    = {res['half']['median'] / res['none']['median']:.3f}   "
      "(the skipped half costs nothing: about 0.5)")
PY
