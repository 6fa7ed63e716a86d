#!/bin/sh
# Installs what is missing, builds Dirwise into build/ and runs it: the window where a
# display exists, otherwise the command-line twin on the bundled sample trees.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/dw ]; then
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ]; then
        exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY build/bin/dw "$@"
    fi
    exec build/bin/dw "$@"
fi

samples=$(mktemp -d "${TMPDIR:-/tmp}/dirwise-sample.XXXXXX")
trap 'rm -rf "$samples"' EXIT
sample/make-sample-trees.sh "$samples"
echo "No display: comparing the sample trees with dwc --date"
echo "  master:  $samples/master"
echo "  compare: $samples/compare"
echo
status=0
build/bin/dwc --date "$samples/master" "$samples/compare" || status=$?
echo
echo "dwc exit status: $status (0 all match, 1 differences found, 2 trouble)"
