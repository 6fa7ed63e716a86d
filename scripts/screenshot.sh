#!/bin/sh
# Makes docs/screenshot.png: the real window under a virtual X server (xvfb-run), after a
# compare of the sample trees with the Difference column in view. Needs a built tree
# (./run.sh or ./test.sh) and installs xvfb, xauth, xdotool and imagemagick when missing.
set -eu
cd "$(dirname "$0")/.."
. ./scripts/deps.sh
install_deps xvfb xauth xdotool imagemagick
cmake --build build --target dw dirwise_help >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/dirwise-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT
sample/make-sample-trees.sh "$work/trees" >/dev/null
out=${1:-docs/screenshot.png}

# A private settings folder whose file turns on date matching, extras and verification.
mkdir -p "$work/config/Dirwise"
printf '[Settings]\nSave=1\nSubDir=1\nCheckSize=1\nCheckDate=1\nNoShowMatch=0\nShowExtra=1\nVerifyContents=1\n' \
    >"$work/config/Dirwise/Dirwise.conf"
XDG_CONFIG_HOME="$work/config" xvfb-run -a -s "-screen 0 1300x580x24" sh -c '
    build/bin/dw "$1/master" "$1/compare" &
    pid=$!
    win=$(xdotool search --sync --onlyvisible --name "^Dirwise")
    xdotool windowmove --sync "$win" 0 0
    xdotool windowsize --sync "$win" 1280 560
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
    sleep 1
    xdotool key --clearmodifiers alt+b   # Begin
    sleep 2
    xdotool key --clearmodifiers Return   # closes the summary
    sleep 1
    import -window root "$2"
    kill "$pid"
' sh "$work/trees" "$work/shot.png"
convert "$work/shot.png" -crop 1280x560+0+0 +repage "$out"
echo "Wrote $out"
