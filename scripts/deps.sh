# Sourced by run.sh, test.sh and packaging/build-deb.sh: installs the Debian packages they
# need, through sudo when not root, and only when one of them is missing.

# Building dw and dwc (the configure step also looks for GoogleTest, since the tests are
# part of the project) and opening the help page from the window.
DIRWISE_RUN_PACKAGES="cmake ninja-build g++ qt6-base-dev libgtest-dev xdg-utils"
# Running every test in addition: a private session bus for the shell tests, the German
# locale's sources for the report tests, the validators of the desktop files and the
# helpers that the completion of dwc is written against.
DIRWISE_TEST_PACKAGES="dbus locales desktop-file-utils appstream bash-completion chromium chromium-driver"
# Making the Debian package in addition: dpkg-shlibdeps and dpkg-buildflags.
DIRWISE_DEB_PACKAGES="dpkg-dev"

# install_deps PACKAGE...
install_deps() {
    missing=""
    for p in "$@"; do
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
