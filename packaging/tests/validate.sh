#!/bin/sh
# Runs a validator on a file, or reports the test skipped when the validator is not
# installed (scripts/deps.sh installs it for ./test.sh).
# Usage: validate.sh TOOL [ARGUMENTS...]
tool=$1
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed: skipped"
    exit 77
fi
"$@"
status=$?
[ "$status" -eq 0 ] && echo "$tool: no complaints"
exit "$status"
