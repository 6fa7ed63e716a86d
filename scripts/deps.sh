# Sourced by run.sh, test.sh and packaging/build-deb.sh: installs the Debian packages they
# need, through sudo when not root, and only when one of them is missing.

# Building dwc alone: the compiler, the build tools and gettext's msgfmt for its translations.
DIRWISE_CLI_PACKAGES="cmake ninja-build g++ gettext"
# Building the window too (with Qt's lupdate and lrelease for its translations), opening
# its help page, and Qt's own translations for its standard buttons and dialogs.
DIRWISE_RUN_PACKAGES="$DIRWISE_CLI_PACKAGES qt6-base-dev qt6-l10n-tools qt6-translations-l10n xdg-utils"
# Running every test in addition: GoogleTest, a private session bus for the shell tests, the
# locale sources for the German and French runs, the validators of the desktop files, the
# helpers that the completion of dwc is written against, jq, which reads dwc's JSON, git,
# which the skip rules are checked against, and the tools snapshots are checked against
# (NetBSD's mtree, bsdtar) with a private sshd and its client for remote roots.
DIRWISE_TEST_PACKAGES="libgtest-dev dbus locales desktop-file-utils appstream bash-completion jq git
    mtree-netbsd libarchive-tools openssh-server openssh-client"
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
