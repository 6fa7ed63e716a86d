#!/bin/sh
# Makes the bundled sample trees: DEST/master (the correct files) and DEST/compare (the
# questionable copy). Git keeps no file times, so every time is set here explicitly (UTC).
# Between them the trees give every result: Match, Size, Date, Size&Date and Not Found,
# also inside a subdirectory.
set -eu
dest=${1:?usage: make-sample-trees.sh DEST}
rm -rf "$dest/master" "$dest/compare"
mkdir -p "$dest/master/docs/drafts" "$dest/compare/docs/drafts"

# put TREE PATH TEXT TIME
put() {
    printf '%s' "$3" > "$dest/$1/$2"
    touch -m -d "$4" "$dest/$1/$2"
}

t1='2026-03-14 09:26:53 UTC'
t2='2026-05-01 12:00:00 UTC'
t3='2025-12-31 00:00:00 UTC'

# Match: same size, same time.
put master  readme.txt  'Read me first.'          "$t1"
put compare readme.txt  'Read me first.'          "$t1"
# Size: same time, other size.
put master  budget.csv  'year,amount\n2026,100'   "$t1"
put compare budget.csv  'year,amount'             "$t1"
# Date: same size, other time.
put master  notes.txt   'Meeting notes'           "$t1"
put compare notes.txt   'Meeting notes'           "$t2"
# Size&Date: both differ.
put master  photo.jpg   'JPEG data, full size'    "$t1"
put compare photo.jpg   'JPEG data'               "$t2"
# Not Found: only in the master tree.
put master  contract.pdf 'PDF contract'           "$t3"
# Only in the compare tree: never reported.
put compare extra.tmp   'left over'               "$t2"

# The subdirectory: a match, a size difference and a missing file.
put master  docs/guide.htm      '<p>Guide</p>'    "$t3"
put compare docs/guide.htm      '<p>Guide</p>'    "$t3"
put master  docs/drafts/plan.txt 'Plan, version 2' "$t2"
put compare docs/drafts/plan.txt 'Plan, v1'        "$t2"
put master  docs/drafts/todo.txt 'Buy milk'        "$t1"
