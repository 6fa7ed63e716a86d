#!/bin/sh
# Makes the sample trees in a temporary folder and compares them with dwc, as run.sh does on
# a machine without a display; the README shows what this prints.
# Usage: show-sample.sh DWC
set -eu
dwc=$(realpath "${1:?usage: show-sample.sh DWC}")
samples=$(mktemp -d "${TMPDIR:-/tmp}/dirwise-sample.XXXXXX")
trap 'rm -rf "$samples"' EXIT
"$(dirname "$0")/make-sample-trees.sh" "$samples"
cd "$samples"
echo "$ dwc --date --extra master compare"
status=0
"$dwc" --date --extra master compare || status=$?
echo
echo "dwc exit status: $status (0 all match, 1 differences found, 2 trouble)"
