#!/bin/sh
# Installs what is missing, builds Dirwise from scratch into build/ and runs every test.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
# shellcheck disable=SC2086
install_deps $DIRWISE_RUN_PACKAGES $DIRWISE_TEST_PACKAGES
rm -rf build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIRWISE_WERROR=ON -DDIRWISE_GUI=ON \
    -DDIRWISE_TESTS=ON
cmake --build build -j "$(nproc)"
cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)"
