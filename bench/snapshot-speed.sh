#!/bin/sh
# Snapshots and remote trees against the tools that do the nearest thing, in one hyperfine run:
#   - writing a snapshot with dwc against bsdtar's mtree writer with the same keywords (type,
#     size, time, link), then both with sha256 digests (dwc --verify, bsdtar's sha256);
#   - comparing the master tree with a snapshot of its twin against comparing the two live
#     trees (dwc --date, warm cache);
#   - comparing the master tree with its twin on "another machine" (127.0.0.1 through a
#     private sshd the script starts, dwc's remote root) against `rsync -rtn -i -e ssh` on the
#     same pair.
# Prints each command's median and mean CPU time (user + system, which other work on the
# machine disturbs less) and the ratios; then dwc's peak memory comparing two made-up
# snapshots of 1,000,000 entries each (written in the walk's order, as dwc writes them) and
# writing a snapshot with digests.
#   bench/snapshot-speed.sh [TREES]
#     TREES defaults to $TMPDIR/dirwise-bench (a pair of FILES files is made there if missing);
#     its master and compare trees are the pair.
# Environment: DWC (default build/bin/dwc), RUNS (10), FILES (200000); DWC_BEFORE, another
# dwc (an earlier build) timed in the same run beside DWC, so before and after meet the same
# load; NO_REMOTE=1 leaves the ssh part out (it needs root or a user sshd accepts, and
# /usr/sbin/sshd from openssh-server).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
dwc=${DWC:-$top/build/bin/dwc}
before=${DWC_BEFORE:-}
trees=${1:-${TMPDIR:-/tmp}/dirwise-bench}
runs=${RUNS:-10}
for tool in hyperfine bsdtar python3 /usr/bin/time rsync ssh-keygen; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "missing: $tool (apt-get install hyperfine libarchive-tools python3 time rsync" \
               "openssh-client)" >&2
          exit 2; }
done
[ -x "$dwc" ] || { echo "no dwc at $dwc: build first (cmake --build build)" >&2; exit 2; }
# The remote side runs them too, from its own folder: their paths must not be relative.
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
dwc=$(absolute "$dwc")
[ -z "$before" ] || before=$(absolute "$before")
[ -d "$trees/master" ] || python3 "$here/make-trees.py" --files "${FILES:-200000}" "$trees"
m=$trees/master
c=$trees/compare
json=$(mktemp)
work=$(mktemp -d)
sshd_pid=
cleanup() {
    [ -z "$sshd_pid" ] || kill "$sshd_pid" 2>/dev/null || true
    rm -rf "$json" "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private sshd on a free port of 127.0.0.1 that takes one key made here.
rsh=
if [ "${NO_REMOTE:-0}" != 1 ] && [ -x /usr/sbin/sshd ]; then
    s=$work/sshd
    mkdir -p "$s"
    [ "$(id -u)" != 0 ] || mkdir -p /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f "$s/host"
    ssh-keygen -q -t ed25519 -N '' -f "$s/user"
    cp "$s/user.pub" "$s/authorized"
    chmod 600 "$s/authorized"
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat >"$s/config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $s/host
AuthorizedKeysFile $s/authorized
PidFile $s/sshd.pid
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin yes
EOF
    /usr/sbin/sshd -D -e -f "$s/config" 2>"$s/log" &
    sshd_pid=$!
    rsh="ssh -F /dev/null -i $s/user -p $port -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR"
    tries=0
    until $rsh 127.0.0.1 true 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 50 ]; then
            echo "sshd did not start, the remote part is left out:" >&2
            cat "$s/log" >&2
            rsh=
            break
        fi
        sleep 0.2
    done
fi

"$dwc" -q --snapshot "$c" -o "$work/compare.mtree" || true
set -- \
    -n dwc "$dwc -q --snapshot $m -o /dev/null" \
    -n bsdtar "bsdtar --format=mtree --options=!all,type,size,time,link -cf /dev/null -C $m ." \
    -n dwc-sha256 "$dwc -q --snapshot --verify $m -o /dev/null" \
    -n bsdtar-sha256 \
    "bsdtar --format=mtree --options=!all,type,size,time,link,sha256 -cf /dev/null -C $m ." \
    -n live "$dwc -q --date $m $c -o /dev/null" \
    -n snapshot "$dwc -q --date $m $work/compare.mtree -o /dev/null"
# What no snapshot compare can beat: stat'ing the master tree alone (the compare side an empty
# folder), beside the same for both trees, which bounds the live compare from below.
floor=$(dirname "$dwc")/dw_floor_walk
if [ -x "$floor" ]; then
    mkdir "$work/empty"
    set -- "$@" -n floor-master "$floor $m $work/empty" -n floor-pair "$floor $m $c"
fi
if [ -n "$before" ]; then
    set -- "$@" \
        -n dwc-before "$before -q --snapshot $m -o /dev/null" \
        -n dwc-sha256-before "$before -q --snapshot --verify $m -o /dev/null" \
        -n snapshot-before "$before -q --date $m $work/compare.mtree -o /dev/null"
fi
if [ -n "$rsh" ]; then
    set -- "$@" \
        -n remote "$dwc -q --date --rsh='$rsh' --remote-dwc=$dwc $m 127.0.0.1:$c -o /dev/null" \
        -n rsync "rsync -rtn -i -e '$rsh' $m/ 127.0.0.1:$c/"
    [ -z "$before" ] || set -- "$@" -n remote-before \
        "$before -q --date --rsh='$rsh' --remote-dwc=$before $m 127.0.0.1:$c -o /dev/null"
fi
hyperfine -N --warmup 1 --runs "$runs" --export-json "$json" -i "$@" >/dev/null 2>&1
python3 - "$json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
med = {r["command"]: r["median"] for r in results}
cpu = {r["command"]: r["user"] + r["system"] for r in results}
codes = {r["command"]: sorted(set(r.get("exit_codes", []))) for r in results}
for k in med:
    print(f"{k:18} median {med[k] * 1000:9.1f} ms   cpu {cpu[k] * 1000:9.1f} ms"
          f"   exit {codes[k]}")
for a, b, goal in (("dwc", "bsdtar", 0.5), ("dwc-sha256", "bsdtar-sha256", 0.5),
                   ("snapshot", "live", 0.6), ("remote", "rsync", 0.7),
                   ("dwc-before", "bsdtar", None), ("dwc-sha256-before", "bsdtar-sha256", None),
                   ("snapshot-before", "live", None), ("remote-before", "rsync", None)):
    if a not in med or b not in med:
        continue
    r = med[a] / med[b]
    verdict = f"goal <= {goal:.2f}: {'met' if r <= goal else 'NOT met'}" if goal else "before"
    print(f"{a} / {b} = {r:.2f}  (cpu {cpu[a] / cpu[b]:.2f}; {verdict})")
if all(k in med for k in ("floor-master", "floor-pair", "live", "snapshot")):
    # snapshot = floor-master + x and live = floor-pair + y, x and y the work beyond each
    # floor; the goal needs x - 0.6 y <= 0.6 floor-pair - floor-master. Rows cost both
    # compares alike, so cutting them lowers the left side by only 0.4 of the cut.
    for name, t in (("elapsed", med), ("cpu", cpu)):
        x = (t["snapshot"] - t["floor-master"]) * 1000
        y = (t["live"] - t["floor-pair"]) * 1000
        room = (0.6 * t["floor-pair"] - t["floor-master"]) * 1000
        print(f"beyond the floor ({name}): snapshot {x:.0f} ms, live {y:.0f} ms; "
              f"the goal needs snapshot - 0.6 x live = {x - 0.6 * y:.0f} <= {room:.0f} ms "
              f"(floor-master / live = {t['floor-master'] / t['live']:.2f})")
PY
snapshot_read=$(dirname "$dwc")/dw_snapshot_read
[ ! -x "$snapshot_read" ] ||
    echo "reading the snapshot alone: $("$snapshot_read" "$work/compare.mtree" 9 | tail -n 1)"
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
for tool in "$dwc" $before; do
    /usr/bin/time -f "$tool, two 1,000,000-entry snapshots: peak memory %M KiB (goal < 100 MB)" \
        "$tool" -q --date "$work/a.mtree" "$work/b.mtree" -o /dev/null || true
done
/usr/bin/time -f "dwc --snapshot --verify peak memory: %M KiB" \
    "$dwc" -q --snapshot --verify "$m" -o /dev/null
