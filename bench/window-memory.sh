#!/bin/sh
# The window's peak memory, read from outside the process: dw's main window (driven by
# dw_bench_window on a real X server, Xvfb) compares MASTER and COMPARE, or fills its list
# with N synthetic rows, sorts the list once by File Name and stays up; meanwhile this
# script reads VmHWM from /proc/PID/status until the process ends, and prints the last value.
#
#   bench/window-memory.sh MASTER COMPARE      # e.g. make-trees.py --files 1000000
#   bench/window-memory.sh --rows 1000000
#
# Environment: BENCH (default build/bin/dw_bench_window), DISPLAY_NUMBER (default 97).
# Needs xvfb (apt-get install xvfb). Goal: at most 150 MiB with a million rows.
set -eu
bench=${BENCH:-build/bin/dw_bench_window}
display=:${DISPLAY_NUMBER:-97}
[ -x "$bench" ] || { echo "build $bench first (cmake --build build --target dw_bench_window)" >&2; exit 2; }
if [ "${1:-}" = "--rows" ]; then set -- --rows "$2"; else set -- --date --sort --hold 2 "$@"; fi

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null' EXIT
sleep 1
out=$(mktemp)
DISPLAY=$display QT_QPA_PLATFORM=xcb "$bench" "$@" >"$out" 2>&1 &
pid=$!
peak=0
while kill -0 "$pid" 2>/dev/null; do
    kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
    sleep 0.1
done
wait "$pid" || { cat "$out" >&2; exit 1; }
cat "$out"
rm -f "$out"
echo "VmHWM read from outside: $peak kB ($(awk "BEGIN { printf \"%.1f\", $peak / 1024 }") MiB)"
