#!/usr/bin/env python3
"""Makes a master/compare tree pair for the benchmarks.

The master tree holds FILES files spread over nested directories (three levels). The
compare tree is a copy in which about 2% of the files are missing, about 2% have another
size and about 2% another modification time. Sizes are set with truncate, so the trees
take little disk space. The same seed always gives the same trees.
"""
import argparse
import os
import random
import shutil


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("dest", help="folder that receives master/ and compare/")
    ap.add_argument("--files", type=int, default=200_000)
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    master = os.path.join(args.dest, "master")
    compare = os.path.join(args.dest, "compare")
    for d in (master, compare):
        shutil.rmtree(d, ignore_errors=True)

    # 20 x 10 x 10 leaf directories; files also sit in the upper levels.
    dirs = []
    for a in range(20):
        for b in range(10):
            for c in range(10):
                dirs.append(f"proj{a:02d}/module{b}/part{c}")
    dirs += [f"proj{a:02d}" for a in range(20)] + [""]

    base_time = 1_700_000_000
    counts = {"missing": 0, "size": 0, "date": 0}
    for i in range(args.files):
        rel_dir = dirs[i % len(dirs)]
        name = f"file{i:07d}.{('txt', 'dat', 'log', 'cpp', 'h')[i % 5]}"
        rel = os.path.join(rel_dir, name) if rel_dir else name
        size = rng.randrange(0, 200_000)
        mtime = base_time + rng.randrange(0, 86400 * 365)

        m = os.path.join(master, rel)
        os.makedirs(os.path.dirname(m), exist_ok=True)
        with open(m, "wb") as f:
            f.truncate(size)
        os.utime(m, (mtime, mtime))

        roll = rng.random()
        if roll < 0.02:
            counts["missing"] += 1
            continue
        c = os.path.join(compare, rel)
        os.makedirs(os.path.dirname(c), exist_ok=True)
        if roll < 0.04:
            counts["size"] += 1
            size += 1 + rng.randrange(0, 1000)
        elif roll < 0.06:
            counts["date"] += 1
            mtime += 1 + rng.randrange(0, 86400)
        with open(c, "wb") as f:
            f.truncate(size)
        os.utime(c, (mtime, mtime))

    print(f"{args.files} master files in {len(dirs)} directories; "
          f"{counts['missing']} missing, {counts['size']} other sizes, "
          f"{counts['date']} other dates in the compare tree")


if __name__ == "__main__":
    main()
