#!/bin/sh
# Every description of the product names every kind of result a row or the summary can
# have: the packages' descriptions, the AppStream metadata and dwc's man page.
# Usage: result-kinds.sh SOURCE_DIR
set -u
src=$1
failures=0
for file in packaging/description-dirwise.txt packaging/description-dirwise-cli.txt \
    docs/dirwise.metainfo.xml docs/dwc.1; do
    # XML writes "&" as "&amp;"; troff may put a name in quotes or break no line inside it.
    text=$(sed 's/&amp;/\&/g' "$src/$file")
    for kind in Match Size Date 'Size&Date' 'Not Found' Extra Content 'Not Compared'; do
        case $text in
            *"$kind"*) ;;
            *)
                echo "FAIL: $file does not name the result $kind"
                failures=$((failures + 1))
                ;;
        esac
    done
done
[ "$failures" -eq 0 ] && echo "every description names every result"
exit $((failures > 0))
