#!/bin/sh
# Makes the Debian packages build-deb/dirwise_VERSION-RELEASE_ARCH.deb (the window) and
# build-deb/dirwise-cli_VERSION-RELEASE_ARCH.deb (dwc) from one build: installs what is
# missing, configures a fresh build for the /usr prefix with Debian's hardening flags and
# without the tests and benchmarks, builds it and runs cpack. Lintian checks each package
# when it is installed.
set -eu
cd "$(dirname "$0")/.."
. ./scripts/deps.sh
# shellcheck disable=SC2086
install_deps $DIRWISE_RUN_PACKAGES $DIRWISE_DEB_PACKAGES

# The program directory is /usr/lib/dirwise, whatever library directory the prefix would
# otherwise get. Every hardening feature is asked for (bindnow too); CMake reads no
# CPPFLAGS, so those (_FORTIFY_SOURCE) go with CXXFLAGS.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
rm -rf build-deb
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib -DDIRWISE_TESTS=OFF
cmake --build build-deb -j "$(nproc)"
(cd build-deb && cpack -G DEB)

for deb in build-deb/dirwise_*.deb build-deb/dirwise-cli_*.deb; do
    echo "Made $deb"
    if command -v lintian >/dev/null 2>&1; then
        lintian "$deb"
    fi
done
