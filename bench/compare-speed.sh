#!/bin/sh
# Times dwc against find, rsync and the bare parallel walk (dw_floor_walk) on the same tree
# pair in one hyperfine run, and prints the medians and the ratios; then dwc's peak memory.
#   bench/compare-speed.sh [--cold] [TREES]
#     TREES defaults to $TMPDIR/dirwise-bench (a pair of FILES files is made there if missing).
#     Warm (the default): the trees stay in the page cache; the floor walks with 2 threads
#     per core.
#     --cold: the page, dentry and inode caches are dropped before every run (needs root and
#     a writable /proc/sys/vm/drop_caches); the floor walks with 8 threads.
# Environment: DWC (default build/bin/dwc), FLOOR (build/bin/dw_floor_walk), RUNS (15 warm,
# 5 cold), FILES (200000), FLOOR_THREADS (the mode's default above).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
cold=0
if [ "${1:-}" = --cold ]; then
    cold=1
    shift
fi
dwc=${DWC:-$top/build/bin/dwc}
floor=${FLOOR:-$top/build/bin/dw_floor_walk}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
for tool in hyperfine rsync python3 /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "missing: $tool (apt-get install hyperfine rsync python3 time)" >&2; exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
[ -x "$floor" ] ||
    { echo "no dw_floor_walk at $floor: build first (cmake --build build)" >&2; exit 2; }
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"

if [ "$cold" = 1 ]; then
    [ -w /proc/sys/vm/drop_caches ] ||
        { echo "--cold needs root and a writable /proc/sys/vm/drop_caches" >&2; exit 2; }
    runs=${RUNS:-5}
    threads=${FLOOR_THREADS:-8}
    # Every run, warm-ups included, starts with empty caches.
    set -- --warmup 0 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'"
else
    runs=${RUNS:-15}
    threads=${FLOOR_THREADS:-$(($(nproc) * 2))}
    set -- --warmup 3
fi

m=$trees/master
c=$trees/compare
json=$(mktemp)
trap 'rm -f "$json"' EXIT
# -i: dwc and rsync report differences through their exit status.
hyperfine -N -i "$@" --runs "$runs" --export-json "$json" \
    -n dwc "$dwc --date $m $c -o /dev/null" \
    -n find "find $m $c -type f -printf '%s %T@ %p\n'" \
    -n rsync "rsync -rtn -i $m/ $c/" \
    -n floor "$floor --threads $threads $m $c" >/dev/null

python3 - "$json" "$cold" "$threads" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
cold = sys.argv[2] == "1"
med = {k: v["median"] for k, v in res.items()}
print(f"{'cold' if cold else 'warm'} cache; floor with {sys.argv[3]} threads")
for k in ("dwc", "find", "rsync", "floor"):
    r = res[k]
    print(f"{k:6s} median {med[k]:.3f} s  (min {r['min']:.3f}, max {r['max']:.3f}, "
          f"{len(r['times'])} runs; cpu {r['user'] + r['system']:.3f} s)")
if cold:
    print(f"dwc / find  = {med['dwc'] / med['find']:.2f}")
    print(f"dwc / floor = {med['dwc'] / med['floor']:.2f}")
else:
    print(f"dwc / find  = {med['dwc'] / med['find']:.2f}   (goal: at most 0.80)")
    print(f"dwc / floor = {med['dwc'] / med['floor']:.2f}   (goal: at most 1.15)")
# The fastest runs are the ones other work on the machine disturbed least.
print(f"dwc / floor, fastest runs = {res['dwc']['min'] / res['floor']['min']:.2f}")
print(f"rsync / find = {med['rsync'] / med['find']:.2f}")
print(f"dwc / rsync = {med['dwc'] / med['rsync']:.2f}")
PY
peak=$(/usr/bin/time -f %M "$dwc" --date "$m" "$c" -o /dev/null -q 2>&1 >/dev/null | tail -n 1)
echo "dwc peak memory: $((peak / 1024)) MB (goal: under 60 MB)"
