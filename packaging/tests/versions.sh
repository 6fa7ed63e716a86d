#!/bin/sh
# The version is written by hand in the files below; each must name the project's version.
# Usage: versions.sh SOURCE_DIR VERSION DEBIAN_RELEASE
set -u
src=$1 version=$2 release=$3
failures=0
check() { # WHAT FOUND
    if [ "$2" != "$version" ]; then
        echo "FAIL: $1 names version '$2', the project is $version"
        failures=$((failures + 1))
    fi
}

top=$(sed -n '1s/^dirwise (\([^)]*\)).*/\1/p' "$src/packaging/changelog")
check "the newest entry of packaging/changelog" "${top%-*}"
if [ "${top##*-}" != "$release" ]; then
    echo "FAIL: packaging/changelog's newest entry is release '${top##*-}', the package is $release"
    failures=$((failures + 1))
fi
check "the newest release in docs/dirwise.metainfo.xml" \
    "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$src/docs/dirwise.metainfo.xml" | head -n 1)"
for page in dw.1 dwc.1; do
    check "the title line of docs/$page" \
        "$(sed -n '1s/^\.TH .* "Dirwise \([^"]*\)".*/\1/p' "$src/docs/$page")"
done

[ "$failures" -eq 0 ] && echo "every file names version $version"
exit $((failures > 0))
