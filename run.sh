#!/bin/sh
# Installs what is missing, builds what it runs into build/ and runs it: the window where a
# display exists, otherwise the command-line twin on the bundled sample trees.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
# shellcheck disable=SC2086
install_deps $DIRWISE_RUN_PACKAGES
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # The window and its help page, which it opens from beside itself.
    cmake --build build -j "$(nproc)" --target dw dirwise_help
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ]; then
        exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY build/bin/dw "$@"
    fi
    exec build/bin/dw "$@"
fi

cmake --build build -j "$(nproc)" --target dwc
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
