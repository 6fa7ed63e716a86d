#!/bin/sh
# The README's sample run is what run.sh prints on a machine without a display: the block
# that starts with "$ dwc --date --extra master compare" equals the output of
# sample/show-sample.sh, which run.sh ends with (its CR LF line ends shown as LF, as a
# terminal shows them). ctest runs this in the C locale and in UTC, as the README says.
# Usage: readme-sample.sh SOURCE_DIR DWC SCRATCH_DIR
set -u
src=$1 dwc=$2 scratch=$3
mkdir -p "$scratch"
awk '
    /^    \$ dwc --date --extra master compare$/ { inside = 1 }
    inside && /^[^ ]/ { exit }
    inside { sub(/^    /, ""); print }
' "$src/README.md" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$scratch/readme.txt"
if [ ! -s "$scratch/readme.txt" ]; then
    echo "FAIL: the README has no sample block"
    exit 1
fi
"$src/sample/show-sample.sh" "$dwc" 2>&1 | tr -d '\r' >"$scratch/run.txt"
if ! diff -u "$scratch/readme.txt" "$scratch/run.txt"; then
    echo "FAIL: the README's sample differs from what run.sh prints (above: - README, + run)"
    exit 1
fi
echo "the README's sample is what run.sh prints"
