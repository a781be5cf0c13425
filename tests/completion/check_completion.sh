#!/usr/bin/env bash
# Drives the bash completion of vantrel-ota and vantrel-package the way bash
# does on a TAB, and checks what it offers against the programs themselves:
# commands and options against their --help, port names against
# "vantrel-ota ports", --images values against what vantrel-package accepts.
# Usage: check_completion.sh COMPLETIONS_DIR VANTREL_OTA VANTREL_PACKAGE
set -uo pipefail
completions=$1 ota=$2 package=$3
failures=0
fail() { echo "check_completion: $*" >&2; failures=$((failures + 1)); }

# The candidates, sorted, one a line, for a command line whose last word is
# the one under the cursor; the function is the one "complete -p" names.
offered() {
    local name function
    name=$(basename "$1")
    function=$(complete -p "$name" 2>/dev/null | sed -n 's/.* -F \([^ ]*\) .*/\1/p')
    [[ -n $function ]] || { echo "(no completion function for $name)"; return; }
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
    local what=$1 expected=$2
    shift 2
    local got
    got=$(offered "$@")
    [[ $got == "$(sort <<<"$expected" | sed '/^$/d')" ]] ||
        fail "$what: '${*:2}' offers [${got//$'\n'/ }], expected [${expected//$'\n'/ }]"
}
# Commands are the help's lines indented by two blanks and starting with a
# letter; options are every --word in the text given.
commands_in() { sed -n 's/^  \([a-z][a-z]*\).*/\1/p'; }
options_in() { grep -o -- '--[a-z][a-z-]*' | sort -u; }

source "$completions/vantrel-ota"
source "$completions/vantrel-package"

ota_help=$("$ota" --help)
expect "ota commands" "$(commands_in <<<"$ota_help")" "$ota" ""
expect "ota commands by prefix" "flash" "$ota" fl
expect "ports options" "$(grep '^  ports' <<<"$ota_help" | options_in)" "$ota" ports -
expect "flash options" "$(sed -n '/^Options of flash/,/^Options of watch/p' <<<"$ota_help" |
    options_in)" "$ota" flash image.bin --
expect "watch options" "$(sed -n '/^Options of watch/,/^Exit status/p' <<<"$ota_help" |
    options_in)" "$ota" watch image.bin --
expect "flash image" "" "$ota" flash ima

# Port names as the table of "vantrel-ota ports" lists them (the completion
# reads its JSON form).
ports=$("$ota" ports | awk 'NR > 1 { print $1 }')
expect "--port" "$ports" "$ota" flash image.bin --port ""
expect "-p" "$ports" "$ota" flash -p ""
expect "--port=" "$ports" "$ota" flash --port =
expect "--port=<prefix>" "$(grep '^t' <<<"$ports")" "$ota" flash --port = t
expect "--baud after --port" "115200" "$ota" flash --port x --baud 1152

package_help=$("$package" --help)
expect "package commands" "$(commands_in <<<"$package_help")" "$package" ""
expect "build options" "$("$package" build --help | options_in)" "$package" build --
expect "inspect takes a file" "" "$package" inspect -
images=$(offered "$package" build --images "")
[[ -n $images ]] || fail "--images offers nothing"
for value in $images; do
    [[ $("$package" build --images "$value" 2>&1) == *--images:* ]] &&
        fail "--images offers '$value', which vantrel-package refuses"
done

((failures == 0)) || exit 1
echo "check_completion: commands, options and ports match the programs"
