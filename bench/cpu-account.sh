#!/bin/bash
# Where dwc's CPU time goes, next to the floor's: both are sampled with perf (5 kHz, call
# chains) over a few warm runs on the same pair, and each sample is put under the first
# heading whose functions appear on its stack. Prints milliseconds of CPU per run. Without
# frame pointers some user-space stacks end early: those samples count under "other".
#
#   bench/cpu-account.sh [TREES]        # default /tmp/dirwise-bench (bench/make-trees.py)
#
# Environment: DWC, FLOOR, RUNS (3), FLOOR_THREADS (2 per core), OUT (-o target, /dev/null);
# COMPARE, another compare root for dwc (a snapshot of the compare tree, say): the floor then
# walks the master tree alone, against an empty folder.
# Needs perf (linux-perf) and a kernel that lets this user sample (root, or
# kernel.perf_event_paranoid at most 1).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
dwc=${DWC:-$top/build/bin/dwc}
floor=${FLOOR:-$top/build/bin/dw_floor_walk}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
runs=${RUNS:-3}
threads=${FLOOR_THREADS:-$(($(nproc) * 2))}
command -v perf >/dev/null || { echo "missing: perf (apt-get install linux-perf)" >&2; exit 2; }
[ -x "$dwc" ] && [ -x "$floor" ] || { echo "build dwc and dw_floor_walk first" >&2; exit 2; }
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
m=$trees/master
c=${COMPARE:-$trees/compare}
floorc=$trees/compare
if [ -n "${COMPARE:-}" ]; then
    floorc=$work/empty
    mkdir "$floorc"
fi
"$dwc" --date "$m" "$c" -o /dev/null 2>/dev/null || true # warm the caches
perf record -q -e cpu-clock -F 5000 -g -o "$work/dwc.data" -- bash -c \
    "for i in \$(seq $runs); do '$dwc' --date '$m' '$c' -o '${OUT:-/dev/null}'; done" \
    >/dev/null 2>&1 || true
perf record -q -e cpu-clock -F 5000 -g -o "$work/floor.data" -- bash -c \
    "for i in \$(seq $runs); do '$floor' --threads $threads '$m' '$floorc'; done" >/dev/null 2>&1

for f in dwc floor; do
    perf script -i "$work/$f.data" -F comm,ip,sym 2>/dev/null >"$work/$f.txt"
done
python3 - "$work/dwc.txt" "$work/floor.txt" "$runs" <<'PY'
import collections, sys
# The first heading whose names appear on a sample's stack takes the sample.
HEADINGS = [
    ("stat of files (fstatat)", ["fstatat"]),
    ("listing (getdents)", ["getdents", "iterate_dir"]),
    ("opening folders", ["do_sys_openat2", "__open", "openat64", "path_openat"]),
    ("closing", ["__close", "__x64_sys_close", "close_fd", "__fput"]),
    ("folder identity (statx)", ["statx"]),
    ("threads waiting and waking", ["futex", "pthread_cond", "finish_task_switch",
                                    "__lll_lock", "try_to_wake"]),
    ("reading a snapshot", ["MtreeReader", "SnapshotStream::Read", "appendNode", "Gathered"]),
    ("snapshot lookups", ["StreamView", "SnapshotReader", "SnapshotView", "SnapshotLister"]),
    ("the report's text", ["AppendEscapedField", "SizeText", "DateText", "AppendText",
                           "AppendReportLine", "AppendLine", "appendNumeric", "appendTwo",
                           "localtime", "__tz", "__offtime", "RowStream"]),
    ("writing the report", ["__GI___libc_write", "ksys_write"]),
    ("page faults (new memory)", ["exc_page_fault"]),
    ("sorting listings", ["introsort", "insertion_sort", "ReadListing"]),
    ("facts read ahead and the pass loop", ["PairReader", "LiveReader", "FactsAhead",
                                            "DirHandle", "Run::", "Classify"]),
    ("the walk", ["Walker", "ScanNames", "ListingAhead", "MatchPattern", "yield"]),
    ("malloc and free", ["malloc", "free", "_int_", "operator new", "operator delete"]),
]

def account(path):
    counts = collections.Counter()
    for block in open(path).read().split("\n\n"):
        lines = [l.strip() for l in block.strip().split("\n") if l.strip()]
        if len(lines) < 2 or lines[0].split()[0] == "bash":
            continue
        stack = " | ".join(lines[1:])
        name = next((h for h, keys in HEADINGS if any(k in stack for k in keys)), "other")
        counts[name] += 1
    return counts

runs = int(sys.argv[3])
ms = lambda n: n / runs / 5.0  # 5 kHz: one sample is 0.2 ms
dwc, floor = account(sys.argv[1]), account(sys.argv[2])
print(f"CPU per run: dwc {ms(sum(dwc.values())):.0f} ms, floor {ms(sum(floor.values())):.0f} ms, "
      f"ratio {sum(dwc.values()) / max(1, sum(floor.values())):.2f}")
print(f"{'':38s} {'dwc':>7s} {'floor':>7s} {'more':>7s}")
for name in sorted(set(dwc) | set(floor), key=lambda k: floor[k] - dwc[k]):
    print(f"{name:38s} {ms(dwc[name]):7.1f} {ms(floor[name]):7.1f} {ms(dwc[name] - floor[name]):7.1f}")
PY
