#!/bin/sh
# The engine's goals, measured on a warm cache, each part in one hyperfine run:
#   warm          a 200,000-file pair: dwc --date against find, rsync -rtn and dw_floor_walk
#                 (goals: dwc at most 1.15 x the floor and 0.8 x find)
#   memory        a 1,000,000-file pair: dwc's peak resident memory (goal: under 64 MB)
#   verify-small  20,000 pairs of 4-64 KiB files: dwc --verify against diff -rq
#                 (goal: at most 0.5 x diff)
#   verify-large  four pairs of 512 MiB files: dwc --verify against two cats reading both
#                 trees at once (goal: at least 80 % of their rate)
#
#   bench/engine-speed.sh [WORK]      (WORK defaults to $TMPDIR/dirwise-engine-bench)
#
# The trees are made in WORK when missing (the 1,000,000-file pair takes some minutes, the
# large files 4 GiB of disk, removed at the end unless KEEP=1). Environment: DWC, FLOOR,
# RUNS (default 10; 5 for the verify parts), PARTS (default: all four, in the order above).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
work=${1:-${TMPDIR:-/tmp}/dirwise-engine-bench}
dwc=${DWC:-$top/build/bin/dwc}
floor=${FLOOR:-$top/build/bin/dw_floor_walk}
runs=${RUNS:-10}
parts=${PARTS:-warm memory verify-small verify-large}

for tool in hyperfine rsync python3 /usr/bin/time diff; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "missing: $tool (apt-get install hyperfine rsync python3 time diffutils)" >&2; exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first" >&2; exit 2; }
mkdir -p "$work"
json=$(mktemp)
trap 'rm -f "$json"' EXIT
echo "cores: $(nproc); dwc: $dwc"

# Prints each command's median and the ratio of the first to every other, from $json.
report() {
    python3 - "$json" "$@" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
for k, r in res.items():
    cpu = r.get("user", 0) + r.get("system", 0)
    print(f"  {k:8s} median {r['median']:7.3f} s  (min {r['min']:.3f}, max {r['max']:.3f}, "
          f"{len(r['times'])} runs, cpu {cpu:.3f} s)")
first = next(iter(res))
for item in sys.argv[2:]:
    other, goal = item.split("=")
    print(f"  {first} / {other} = {res[first]['median'] / res[other]['median']:.2f}   ({goal})")
PY
}

for part in $parts; do
    case $part in
    warm)
        trees=$work/warm
        [ -d "$trees/master" ] || python3 "$here/make-trees.py" --files 200000 "$trees"
        m=$trees/master c=$trees/compare
        echo "warm cache, 200,000 files:"
        # The floor right after dwc: the two that matter most are timed closest together.
        set -- -n dwc "$dwc --date $m $c -o /dev/null"
        [ -x "$floor" ] && set -- "$@" -n floor "$floor $m $c"
        set -- "$@" -n find "find $m $c -type f -printf '%s %T@ %p\n'" \
            -n rsync "rsync -rtn -i $m/ $c/"
        # -i: dwc and rsync report differences through their exit status.
        hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$json" "$@" >/dev/null
        if [ -x "$floor" ]; then
            report "floor=goal: at most 1.15" "find=goal: at most 0.80" "rsync=rsync"
        else
            report "find=goal: at most 0.80" "rsync=rsync"
        fi
        ;;
    memory)
        trees=$work/million
        [ -d "$trees/master" ] || python3 "$here/make-trees.py" --files 1000000 "$trees"
        "$dwc" --date "$trees/master" "$trees/compare" -o /dev/null -q || true # warm the cache
        peak=$(/usr/bin/time -f %M "$dwc" --date "$trees/master" "$trees/compare" -o /dev/null -q \
            2>&1 >/dev/null | tail -n 1)
        echo "1,000,000 files: dwc peak memory $((peak / 1024)) MB (goal: under 64 MB)"
        ;;
    verify-small)
        trees=$work/small
        if [ ! -d "$trees/master" ]; then
            python3 - "$trees" <<'PY'
import os, random, sys
# 20,000 pairs of 4-64 KiB of random bytes in 100 folders; about 1 % differ in one byte.
dest, rng = sys.argv[1], random.Random(11)
pool = os.urandom(1 << 20)
for i in range(20000):
    size = rng.randrange(4096, 65537)
    at = rng.randrange(0, len(pool) - size)
    data = pool[at:at + size]
    other = data
    if rng.random() < 0.01:
        k = rng.randrange(size)
        other = data[:k] + bytes([data[k] ^ 1]) + data[k + 1:]
    for side, content in (("master", data), ("compare", other)):
        folder = os.path.join(dest, side, f"d{i % 100:03d}")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, f"f{i:05d}.bin")
        with open(path, "wb") as f:
            f.write(content)
        os.utime(path, (1700000000, 1700000000))
PY
        fi
        m=$trees/master c=$trees/compare
        echo "verify, 20,000 pairs of 4-64 KiB:"
        hyperfine -N -i --warmup 2 --runs "${RUNS:-5}" --export-json "$json" \
            -n dwc "$dwc --verify $m $c -o /dev/null" \
            -n diff "diff -rq $m $c" >/dev/null
        report "diff=goal: at most 0.50"
        ;;
    verify-large)
        trees=$work/large
        mkdir -p "$trees/master" "$trees/compare"
        for i in 1 2 3 4; do
            f=big$i.bin
            if [ ! -f "$trees/master/$f" ]; then
                head -c 512M /dev/urandom >"$trees/master/$f"
                cp "$trees/master/$f" "$trees/compare/$f"
                touch -r "$trees/master/$f" "$trees/compare/$f"
            fi
        done
        m=$trees/master c=$trees/compare
        echo "verify, four pairs of 512 MiB:"
        hyperfine -N -i --warmup 1 --runs "${RUNS:-5}" --export-json "$json" \
            -n dwc "$dwc --verify $m $c -o /dev/null" \
            -n cat "sh -c 'cat $m/* >/dev/null & cat $c/* >/dev/null; wait'" >/dev/null
        report "cat=goal: at most 1.25, i.e. at least 80 % of the rate"
        [ "${KEEP:-0}" = 1 ] || rm -rf "$trees"
        ;;
    *)
        echo "unknown part: $part" >&2
        exit 2
        ;;
    esac
done
