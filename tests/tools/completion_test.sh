#!/usr/bin/env bash
# The bash completion of mvbasics, driven as bash drives it, and the manual page's sections.
# Usage: completion_test.sh <mvbasics> <completion script> [<mvbasics.1.gz>]
set -u
tool=$1
source "$2"
failed=0

# expect "<words typed, the last one being completed>" <word that must be offered>...
expect() {
    local line=$1 want
    shift
    read -ra COMP_WORDS <<<"$line"
    COMP_WORDS=("$tool" "${COMP_WORDS[@]:1}")
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _mvbasics
    for want in "$@"; do
        if [[ $'\n'$(printf '%s\n' "${COMPREPLY[@]}")$'\n' != *$'\n'$want$'\n'* ]]; then
            echo "completion of '$line' lacks '$want' (offered: ${COMPREPLY[*]})" >&2
            failed=1
        fi
    done
}

expect "mvbasics " demo error perf registry checksum pack unpack log module help
expect "mvbasics pe" perf
expect "mvbasics perf s" serve
expect "mvbasics perf serve --l" --listen
expect "mvbasics log -" -f --follow --since --source --json --file --help
expect "mvbasics log --since 2h --s" --since --source
expect "mvbasics module " describe find
expect "mvbasics module describe --ch" --check-flags
expect "mvbasics help mod" module
expect "mvbasics help module f" find
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/events.jsonl"
expect "mvbasics log --file $scratch/ev" "$scratch/events.jsonl"
expect "mvbasics checksum $scratch/" "$scratch/events.jsonl"
# Nothing offered where nothing fits.
expect "mvbasics frob"
[[ ${#COMPREPLY[@]} == 0 ]] || { echo "'frob' offered: ${COMPREPLY[*]}" >&2; failed=1; }

if [[ $# -ge 3 ]]; then
    page=$(gzip -dc "$3") || { echo "cannot read $3" >&2; exit 1; }
    for section in '.SH NAME' '.SH SYNOPSIS' '.SH COMMANDS' '.SS mvbasics log' \
        '.SS mvbasics module describe' '.SS mvbasics perf serve' '.SH "EXIT STATUS"' \
        '.SH ENVIRONMENT' 'MERIVANE_EVENT_LOG'; do
        grep -qF -- "$section" <<<"$page" || { echo "manual page lacks '$section'" >&2; failed=1; }
    done
fi
exit $failed
