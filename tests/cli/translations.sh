#!/bin/sh
# Every text that dwc marks for translation has a translation in every po/LANG.po, none of
# them fuzzy, and each compiles with msgfmt's checks (a translation keeps the %s of its
# original). xgettext takes the texts from the sources as they are now, so a text added or
# changed without its translation fails here.
# Usage: translations.sh CLI_SOURCE_DIR SCRATCH_DIR
set -u
src=$1 scratch=$2
for tool in xgettext msgcmp msgfmt; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed (package gettext): translations not checked (skipped)"
        exit 77
    fi
done
mkdir -p "$scratch"
pot=$scratch/dwc.pot
(cd "$src" && xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=N_ \
    --no-location --output="$pot" ./*.cpp) || exit 1
failures=0
for po in "$src"/po/*.po; do
    if ! msgcmp "$po" "$pot"; then
        echo "FAIL: $po lacks translations (see above)"
        failures=$((failures + 1))
    fi
    if ! msgfmt --check --output-file=/dev/null "$po"; then
        echo "FAIL: $po does not compile cleanly"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "every text of dwc is translated in every language"
exit $((failures > 0))
