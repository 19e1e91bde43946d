#!/usr/bin/env bash
# The generated manual page and bash completion of quillon-cli: the page renders without
# warnings and names every command of --help; the completion offers commands, options and
# the first-argument words their help texts list.
# Usage: check_cli_docs.sh QUILLON_CLI DOCS_DIR
set -euo pipefail
CLI=$1 DOCS=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

page=$(MANWIDTH=100 man --warnings -E UTF-8 -l "$DOCS/quillon-cli.1.gz" 2>"$DOCS/man-warnings.txt")
[ -s "$DOCS/man-warnings.txt" ] && fail "man warnings: $(cat "$DOCS/man-warnings.txt")"
for cmd in $("$CLI" --help | sed -n '/^Befehle:/,$p' | awk 'NR > 1 {print $1}'); do
    grep -q "^       $cmd\b" <<<"$page" || fail "manual page lacks command $cmd"
done
grep -q -- "--staerke 1..4" <<<"$page" || fail "manual page lacks the filter options"

# complete WORDS...: prints what the completion offers for the last word.
complete_words() {
    (
        # shellcheck source=/dev/null
        source "$DOCS/quillon-cli"
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _quillon_cli
        echo "${COMPREPLY[*]}"
    )
}
expect() {
    local want=$1
    shift
    local got
    got=$(complete_words "$@")
    [ "$got" = "$want" ] || fail "completion of '$*': expected '$want', got '$got'"
}
expect "filter" quillon-cli fil
expect "help" quillon-cli hel
expect "stack" quillon-cli help sta
expect "--schwelle --staerke" quillon-cli filter --s
expect "highpass" quillon-cli filter hi
expect "rechts links 180" quillon-cli rotate ""
expect "add remove" quillon-cli overlay ""
expect "--out-dir" quillon-cli calibrate a.fts --out
expect "" quillon-cli info ""
echo "cli docs ok"
