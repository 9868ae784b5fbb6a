#!/usr/bin/env bash
# The bash completion of sorimba-clip, run as bash runs it on TAB, against the
# built program: subcommands, each subcommand's options as its --help shows
# them, and files or folders for the options that take a path.
set -euo pipefail

source "$(dirname "$0")/common.sh"

completions=/usr/share/bash-completion/bash_completion
[ -f "$completions" ] || fail "bash-completion is not installed"
source "$completions"
source "$SORIMBA_SOURCE/packaging/sorimba-clip.bash-completion"
PATH=$SORIMBA_BUILD:$PATH

# Prints what TAB offers after the given words (the last one is the word
# being completed), sorted, one a line.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _comp_sorimba_clip sorimba-clip "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    if [ ${#COMPREPLY[@]} -gt 0 ]; then printf '%s\n' "${COMPREPLY[@]}" | sort; fi
}

expect() {
    local what=$1 expected=$2
    shift 2
    local got
    got=$(complete_words "$@")
    [ "$got" = "$expected" ] || fail "$what: 'sorimba-clip ${*:2}<TAB>' offered [$got], expected [$expected]"
}

offered=$(complete_words sorimba-clip "")
for command in convert extract save settings; do
    grep -qx "$command" <<<"$offered" || fail "'sorimba-clip <TAB>' does not offer $command: [$offered]"
done
grep -q -- '^-' <<<"$offered" && fail "'sorimba-clip <TAB>' offers options: [$offered]"
expect "the program's flags" "$(printf '%s\n' --help --version)" sorimba-clip --
expect "one subcommand" "extract" sorimba-clip ex
expect "an extract flag" "--with-titles" sorimba-clip extract --with-ti
expect "the extract flags after others" "--with-staff-word" sorimba-clip extract --raw --with-st

# Paths: files for the save path, only folders for a folder to convert.
dir=$(scratch_dir completion)
mkdir "$dir/issues"
touch "$dir/issue.txt" "$dir/inbox.txt"
expect "the save path" "$(printf '%s\n' "$dir/inbox.txt" "$dir/issue.txt" "$dir/issues")" \
    sorimba-clip save --save-path "$dir/i"
expect "the folder to convert" "$dir/issues" sorimba-clip convert --folder "$dir/i"
expect "an encoding's name" "" sorimba-clip extract --encoding "$dir/i"
expect "the save path after =" "$(printf '%s\n' "$dir/inbox.txt" "$dir/issue.txt" "$dir/issues")" \
    sorimba-clip save --save-path = "$dir/i"

echo "completion checks passed"
