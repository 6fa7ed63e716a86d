# Sourced by run.sh and test.sh: installs the Debian packages Dirwise builds and tests with,
# through sudo when not root, and only when one of them is missing.
DIRWISE_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev dbus xauth xvfb python3 xdg-utils locales"

install_deps() {
    missing=""
    for p in $DIRWISE_PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        sudo=""
    elif command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "These packages are missing and there is no sudo to install them:$missing" >&2
        exit 1
    fi
    $sudo apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
}
