#!/bin/sh
# Times writing a snapshot with dwc against bsdtar's mtree writer, both with the same
# keywords (type, size, time, link), in one hyperfine run; then the same with sha256 digests
# (dwc --verify, bsdtar's sha256 keyword); and comparing the master tree with a snapshot of
# its twin against comparing the two live trees (dwc --date, warm cache). Prints the medians
# and the ratios; then dwc's peak memory comparing two made-up snapshots of 1,000,000
# entries each.
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
c=$trees/compare
json=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$json" "$work"' EXIT
"$dwc" -q --snapshot "$c" -o "$work/compare.mtree" || true
hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
    -n dwc "$dwc -q --snapshot $m -o /dev/null" \
    -n bsdtar "bsdtar --format=mtree --options=!all,type,size,time,link -cf /dev/null -C $m ." \
    -n dwc-sha256 "$dwc -q --snapshot --verify $m -o /dev/null" \
    -n bsdtar-sha256 \
    "bsdtar --format=mtree --options=!all,type,size,time,link,sha256 -cf /dev/null -C $m ." \
    -n live "$dwc -q --date $m $c -o /dev/null" \
    -n snapshot "$dwc -q --date $m $work/compare.mtree -o /dev/null" \
    -i >/dev/null
python3 - "$json" <<'PY'
import json, sys
med = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
for k, v in med.items():
    print(f"{k:14} median {v * 1000:9.1f} ms")
for a, b, goal in (("dwc", "bsdtar", 0.5), ("dwc-sha256", "bsdtar-sha256", 0.5),
                   ("snapshot", "live", 0.6)):
    r = med[a] / med[b]
    print(f"{a} / {b} = {r:.2f}  (goal <= {goal:.2f}: {'met' if r <= goal else 'NOT met'})")
PY
# Two manifests of 1,000 folders with 999 files each, one size apart in every tenth file.
python3 - "$work" <<'PY'
import sys
for side, bump in (("a", 0), ("b", 1)):
    with open(f"{sys.argv[1]}/{side}.mtree", "w") as f:
        f.write("#mtree\n. type=dir time=1.0\n")
        for d in range(1000):
            f.write(f"./folder{d:04} type=dir time=1.0\n")
            for i in range(999):
                size = 100 + (bump if i % 10 == 0 else 0)
                f.write(f"./folder{d:04}/file{i:04}.dat type=file size={size} "
                        f"time=1000000000.{i}\n")
PY
/usr/bin/time -f "comparing two 1,000,000-entry snapshots: peak memory %M KiB (goal < 100 MB)" \
    "$dwc" -q --date "$work/a.mtree" "$work/b.mtree" -o /dev/null || true
/usr/bin/time -f "dwc --snapshot --verify peak memory: %M KiB" \
    "$dwc" -q --snapshot --verify "$m" -o /dev/null
