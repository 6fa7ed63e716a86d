#!/bin/bash
# Drives the bash completion of dwc as bash-completion would, and checks that it offers
# every option dwc's own usage text lists.
# Usage: completion.sh COMPLETION_SCRIPT DWC
set -u
script=$(realpath "$1") dwc=$(realpath "$2")
helpers=/usr/share/bash-completion/bash_completion
if [[ ! -r $helpers ]]; then
    echo "bash-completion is not installed: skipped"
    exit 77
fi
# shellcheck disable=SC1090
. "$helpers"
# shellcheck disable=SC1090
. "$script"

failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/master" "$work/compare"
touch "$work/report.txt"
cd "$work" || exit 1

# complete LINE: the words bash-completion would offer with the cursor at the end of LINE,
# sorted, one line. Bash splits the line at blanks and makes "=" a word of its own.
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _dwc dwc "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() { # LINE EXPECTED
    local got
    got=$(complete_line "$1")
    if [[ $got != "$2" ]]; then
        echo "FAIL: '$1' completed to '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

expect "dwc --so" "--sort"
expect "dwc --sort " "compare-date compare-size master-date master-size name path result"
expect "dwc --sort m" "master-date master-size"
expect "dwc --sort=compare-d" "compare-date"
expect "dwc --sort=" "compare-date compare-size master-date master-size name path result"
expect "dwc --output=r" "report.txt"
expect "dwc --no-" "--no-date --no-follow --no-size --no-subdirs"
expect "dwc --format " "csv json report"
expect "dwc " "compare master"
expect "dwc --date master c" "compare"
expect "dwc -o " "compare master report.txt"
expect "dwc --output r" "report.txt"
expect "dwc --include " ""
expect "dwc -- -" ""

# Every option in dwc --help is offered after a single dash.
offered=" $(complete_line "dwc -") "
listed=$("$dwc" --help | grep -E '^ +-' | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,')
if [[ -z $listed ]]; then
    echo "FAIL: found no options in the output of $dwc --help"
    failures=$((failures + 1))
fi
for option in $listed; do
    if [[ $offered != *" $option "* ]]; then
        echo "FAIL: dwc --help lists $option, which the completion does not offer"
        failures=$((failures + 1))
    fi
done

[[ $failures -eq 0 ]] && echo "completion of dwc: all cases pass"
exit $((failures > 0))
