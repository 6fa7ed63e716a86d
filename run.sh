#!/bin/sh
# Installs what is missing, builds what it runs into build/ and runs it: the window where a
# display exists, otherwise the command-line twin on the bundled sample trees. Neither needs
# the tests; without a display neither Qt nor the window is installed or built.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # shellcheck disable=SC2086
    install_deps $DIRWISE_RUN_PACKAGES
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIRWISE_GUI=ON \
        -DDIRWISE_TESTS=OFF >/dev/null
    # The window and its help page, which it opens from beside itself.
    cmake --build build -j "$(nproc)" --target dw dirwise_help
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ]; then
        exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY build/bin/dw "$@"
    fi
    exec build/bin/dw "$@"
fi

# shellcheck disable=SC2086
install_deps $DIRWISE_CLI_PACKAGES
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIRWISE_GUI=OFF \
    -DDIRWISE_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target dwc
echo "No display: comparing the bundled sample trees with dwc"
echo
exec sample/show-sample.sh build/bin/dwc
