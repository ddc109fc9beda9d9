#!/usr/bin/env bash
# Checks that quaverly-list's --help and its manual page name the same options.
#   man_options_test.sh QUAVERLY_LIST MAN_PAGE
set -euo pipefail
program=$1
page=$2

# The help's option lines: "  -o, --output FILE  write..." and "      --version  show...".
help_options() {
    "$program" --help | sed -nE 's/^ +(-[^ ].*)/\1/p' | sed -E 's/  .*//' |
        grep -oE -- '--?[a-z][a-z-]*' | sort -u
}

# The page's OPTIONS section: the tag line after each .TP, with roff's "\-" as a plain dash.
page_options() {
    awk '/^\.SH/ { options = ($2 == "OPTIONS") }
         options && tag { print }
         { tag = options && /^\.TP/ }' "$page" |
        sed 's/\\-/-/g' | grep -oE -- '--?[a-z][a-z-]*' | sort -u
}

help=$(help_options)
documented=$(page_options)
if [[ -z "$help" || -z "$documented" ]]; then
    echo "no options found: --help gave '$help', the page gave '$documented'" >&2
    exit 1
fi
status=0
if only_help=$(comm -23 <(echo "$help") <(echo "$documented")) && [[ -n "$only_help" ]]; then
    echo "in --help but not in $page:" $only_help >&2
    status=1
fi
if only_page=$(comm -13 <(echo "$help") <(echo "$documented")) && [[ -n "$only_page" ]]; then
    echo "in $page but not in --help:" $only_page >&2
    status=1
fi
exit "$status"
