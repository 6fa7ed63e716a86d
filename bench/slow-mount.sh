#!/bin/sh
# Times dwc on a slow mount: the master and compare trees are each mounted through dw_slowfs,
# which sleeps DELAY_US before answering every lookup, stat, listing and read and lets the
# kernel cache none of them. One hyperfine run times dwc, rsync, find and the bare parallel
# walk (dw_floor_walk, 32 threads), then the medians and the ratios are printed.
#   bench/slow-mount.sh [TREES [DELAY_US]]
#     TREES defaults to $TMPDIR/dirwise-bench-slow (a pair of FILES files is made there if it
#     holds no master/ yet); DELAY_US defaults to 500.
# Environment: DWC (default build/bin/dwc), FLOOR (build/bin/dw_floor_walk), SLOWFS
# (build/bin/dw_slowfs), RUNS (5), FILES (10000), FLOOR_THREADS (32), FIND (1; 0 leaves find
# out). Needs root or a user allowed to mount FUSE, /dev/fuse, fusermount3, libfuse3-dev to
# build dw_slowfs, hyperfine, rsync and python3. Both mounts are taken down on every way out,
# Ctrl-C included.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench-slow}
delay=${2:-500}
runs=${RUNS:-5}
files=${FILES:-10000}
floor_threads=${FLOOR_THREADS:-32}
dwc=${DWC:-$top/build/bin/dwc}
floor=${FLOOR:-$top/build/bin/dw_floor_walk}
slowfs=${SLOWFS:-$top/build/bin/dw_slowfs}

for tool in hyperfine rsync python3 fusermount3 mountpoint; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "missing: $tool (apt-get install hyperfine rsync python3 fuse3)" >&2; exit 2; }
done
[ -e /dev/fuse ] ||
    { echo "no /dev/fuse: this machine cannot mount FUSE file systems" >&2; exit 2; }
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
case $delay in
'' | *[!0-9]*) echo "DELAY_US must be a whole number of microseconds" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/dirwise-slow.XXXXXX")
mkdir "$work/master" "$work/compare"
cleanup() {
    for m in "$work/master" "$work/compare"; do
        if mountpoint -q "$m"; then
            # Lazily when something still holds it open; the daemon ends with the mount.
            fusermount3 -u "$m" 2>/dev/null || fusermount3 -uz "$m" || true
        fi
    done
    # Only empty folders and our own files go; never anything under a live mount.
    for m in "$work/master" "$work/compare"; do
        mountpoint -q "$m" || rmdir "$m" 2>/dev/null || true
    done
    rm -f "$work/times.json" "$work/dw_slowfs" "$work/dw_floor_walk"
    rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The helpers come from the CMake build when it has them; otherwise they are compiled here.
if [ ! -x "$slowfs" ] || [ ! -x "$floor" ]; then
    if [ -f "$top/build/build.ninja" ] || [ -f "$top/build/Makefile" ]; then
        cmake --build "$top/build" -j2 --target dw_floor_walk dw_slowfs >/dev/null 2>&1 || true
    fi
fi
if [ ! -x "$slowfs" ]; then
    if ! pkg-config --exists 'fuse3 >= 3.12' 2>/dev/null; then
        echo "dw_slowfs needs libfuse 3.12 or later (apt-get install libfuse3-dev pkg-config)" >&2
        exit 2
    fi
    slowfs=$work/dw_slowfs
    # shellcheck disable=SC2046
    c++ -std=c++20 -O2 -o "$slowfs" "$here/slowfs.cpp" $(pkg-config --cflags --libs fuse3) -pthread
fi
if [ ! -x "$floor" ]; then
    floor=$work/dw_floor_walk
    c++ -std=c++20 -O2 -o "$floor" "$here/floor_walk.cpp" -pthread
fi

[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "$files" "$trees"
# Read the backing trees once so that only the mount's delay separates the tools.
find "$trees/master" "$trees/compare" >/dev/null

m=$work/master
c=$work/compare
"$slowfs" --delay-us "$delay" "$trees/master" "$m"
"$slowfs" --delay-us "$delay" "$trees/compare" "$c"
echo "master and compare mounted through dw_slowfs, $delay us a request"
echo "floor walk: $("$floor" --threads "$floor_threads" "$m" "$c" || true)"

set -- -n dwc "'$dwc' --date '$m' '$c' -o /dev/null" \
    -n rsync "rsync -rtn -i '$m/' '$c/'"
[ "${FIND:-1}" = 0 ] || set -- "$@" -n find "find '$m' '$c' -type f"
set -- "$@" -n floor "'$floor' --threads $floor_threads '$m' '$c'"
# -i: dwc and rsync report differences through their exit status. Nothing is cached by the
# mounts, so a warm-up would only repeat the first run.
hyperfine -N -i --runs "$runs" --export-json "$work/times.json" "$@" >/dev/null

python3 - "$work/times.json" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: v["median"] for k, v in res.items()}
for k, r in res.items():
    print(f"{k:6s} median {med[k]:8.3f} s  (min {r['min']:.3f}, max {r['max']:.3f}, "
          f"{len(r['times'])} runs; cpu {r['user'] + r['system']:.3f} s)")
print(f"rsync / dwc  = {med['rsync'] / med['dwc']:6.2f}   (goal: at least 10)")
print(f"dwc / floor  = {med['dwc'] / med['floor']:6.2f}   (goal: at most 1.5)")
# The fastest runs are the ones other work on the machine disturbed least.
print(f"dwc / floor, fastest runs = {res['dwc']['min'] / res['floor']['min']:.2f}")
if "find" in med:
    print(f"dwc / find   = {med['dwc'] / med['find']:6.2f}")
PY
