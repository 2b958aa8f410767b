#!/usr/bin/env bash
# Checks the bash completion of harbex-cli: sources it without the
# bash-completion package, fills COMP_WORDS as bash does for a typed line, and
# compares the offered words with what harbex-cli accepts there.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "${1:?completion file}")

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HARBEX_HOME="$home"
mkdir -p "$home/Tasks/General" "$home/Tasks/News" "$home/Profiles"
: >"$home/Tasks/General/Sample Site.hxt"
: >"$home/Tasks/News/Daily Paper.hxt"
: >"$home/Profiles/Whole Site.hxp"
: >"$home/Profiles/Single Page.hxp"
# File names are completed from the working folder: an empty one offers none.
mkdir "$home/empty"
cd "$home/empty" || exit 1

# shellcheck source=/dev/null
source "$completion"
complete -p harbex-cli >/dev/null || { echo "FAIL: no completion registered for harbex-cli"; exit 1; }

failures=0
# complete_line "WORDS..." : the line typed so far, the last word being completed
# (an empty last word stands for a space typed after the previous one).
complete_line()
{
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _harbex_cli
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|'
}

expect()
{
    local wanted=$1
    shift
    local got
    got=$(complete_line "$@")
    if [[ $got != "$wanted" ]]; then
        echo "FAIL: '$*' offered [$got], expected [$wanted]"
        failures=$((failures + 1))
    fi
}

expect "copy|explain|report|run|schedule|settings|tasks|zip" harbex-cli ""
expect "report|run" harbex-cli r
expect "schedule|settings" harbex-cli s
expect "--pacing|--pages|--password-file" harbex-cli --pa
expect "--verbose|--version" harbex-cli --ver
expect "--no-check-certificate|--no-http2|--no-robots" harbex-cli --no
expect "copy" harbex-cli --no-robots --wait 1 co
expect "classic|fast" harbex-cli --pacing ""
expect "copy" harbex-cli --pacing fast co
expect "--category|--connect-timeout|--connections" harbex-cli copy http://127.0.0.1/ --c
expect "Single Page|Whole Site" harbex-cli copy http://127.0.0.1/ --profile ""
expect "Whole Site" harbex-cli copy http://127.0.0.1/ --profile W
expect "--recover|--resources|--restart|--resume" harbex-cli run Site --re
expect "anywhere|folder|site" harbex-cli copy http://127.0.0.1/ --pages ""
expect "--json" harbex-cli tasks --j
expect "--limit-rate" harbex-cli run Site --li
expect "--load-cookies|--login-url" harbex-cli copy http://127.0.0.1/ --lo
expect "--load-cookies" harbex-cli run Site --lo
expect "Daily Paper|Sample Site" harbex-cli run ""
expect "General|News" harbex-cli tasks ""
expect "Never|Now" harbex-cli schedule "Sample Site" N
expect "add|delete|extract|list" harbex-cli zip ""
expect "--errors" harbex-cli report "Sample Site" --
expect "--task" harbex-cli explain http://127.0.0.1/ --t
expect "Daily Paper" harbex-cli explain http://127.0.0.1/ --task D

if ((failures > 0)); then
    echo "$failures completion check(s) failed"
    exit 1
fi
echo "harbex-cli completion: all checks passed"
