#!/bin/sh
# Installs the build into a scratch directory under the /usr prefix and checks what lands
# there. With the window (GUI ON): the desktop entry, the AppStream metadata and the icons
# are present and pass desktop-file-validate and appstreamcli validate-tree (which also
# checks that the metadata names a desktop entry that is installed). Without the window
# (GUI OFF): nothing that only the window needs is installed.
# Usage: install-tree.sh BUILD_DIR SCRATCH_DIR ON|OFF
set -u
build=$1 scratch=$2 gui=$3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! DESTDIR="$scratch" cmake --install "$build" --prefix /usr >"$scratch.log" 2>&1; then
    cat "$scratch.log"
    echo "FAIL: cmake --install failed"
    exit 1
fi
usr="$scratch/usr"

# dwc and its files are installed either way.
for f in bin/dwc share/man/man1/dwc.1.gz share/bash-completion/completions/dwc \
    share/doc/dirwise-cli/copyright share/locale/de/LC_MESSAGES/dwc.mo; do
    [ -e "$usr/$f" ] || fail "$f is not installed"
done
gzip -t "$usr/share/man/man1/dwc.1.gz" 2>/dev/null || fail "dwc.1.gz is not gzip data"
# The packages add their changelogs themselves; a plain install leaves them out.
find "$usr" -name changelog.Debian.gz | grep -q . && fail "changelog.Debian.gz installed"

desktop_only="bin/dw share/man/man1/dw.1.gz share/applications share/metainfo share/icons
    share/doc/dirwise"
if [ "$gui" != ON ]; then
    for f in $desktop_only; do
        [ ! -e "$usr/$f" ] || fail "$f is installed although the window is not built"
    done
    find "$usr" -name dw.htm | grep -q . && fail "dw.htm is installed although the window is not built"
    [ "$failures" -eq 0 ] && echo "install tree without the window: as expected"
    exit $((failures > 0))
fi

for f in $desktop_only share/applications/dirwise.desktop share/icons/hicolor/scalable/apps/dirwise.svg; do
    [ -e "$usr/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 64 128 256; do
    [ -e "$usr/share/icons/hicolor/${size}x$size/apps/dirwise.png" ] || fail "the ${size}px icon is not installed"
done
# bin/dw is a relative link to the program, with the help page beside the program.
link=$(readlink "$usr/bin/dw")
case $link in
    /*) fail "bin/dw links to the absolute path $link" ;;
esac
[ -x "$usr/bin/dw" ] || fail "bin/dw does not lead to the program"
[ -e "$(dirname "$(readlink -f "$usr/bin/dw")")/dw.htm" ] || fail "no dw.htm beside the program"

missing=""
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    [ "$failures" -eq 0 ] || exit 1
    echo "not installed:$missing: the desktop files were not validated (skipped)"
    exit 77
fi
desktop-file-validate "$usr/share/applications/dirwise.desktop" || fail "desktop-file-validate"
appstreamcli validate-tree --no-net "$scratch" || fail "appstreamcli validate-tree"

[ "$failures" -eq 0 ] && echo "install tree with the window: as expected"
exit $((failures > 0))
