#!/usr/bin/env bash
# Writes a program's manual page from its own --help, so the page never drifts
# from the program: help2man formats the top-level help, the hand-written
# include file adds what --help cannot say (settings, files, see also), and
# every subcommand's --help follows, as printed, under COMMANDS.
#
# usage: help2man.sh PROGRAM SUMMARY VERSION INCLUDE OUTPUT.gz [--commands]
# With --commands, the subcommands are those listed under "Commands:" in the
# program's --help.
set -euo pipefail

program=$1 summary=$2 version=$3 include=$4 output=$5
with_commands=${6:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No display is needed for --help; the C locale keeps the page stable.
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

# Help text as literal roff: backslashes and minus signs escaped, and a line
# that starts with a dot or a quote not taken as a request.
roff_literal() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"
}

cp "$include" "$work/include.h2m"
if [ "$with_commands" = --commands ]; then
    commands=$("$program" --help | awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on && /^  [a-z]/ { print $1 }')
    [ -n "$commands" ] || { echo "help2man.sh: no commands in '$program --help'" >&2; exit 1; }
    printf '\n[COMMANDS]\n' >>"$work/include.h2m"
    for command in $commands; do
        if ! "$program" "$command" --help >"$work/help.txt" 2>&1; then
            echo "help2man.sh: '$program $command --help' failed" >&2
            cat "$work/help.txt" >&2
            exit 1
        fi
        {
            printf '.SS "%s"\n.nf\n' "$command"
            roff_literal <"$work/help.txt"
            printf '.fi\n'
        } >>"$work/include.h2m"
    done
fi

# help2man takes the synopsis from a line starting "Usage:" and from "or:"
# lines under it; a program may write "usage:" and indent its other forms
# instead. help2man runs a stand-in of the same name that writes them so.
mkdir "$work/bin"
stand_in=$work/bin/$(basename "$program")
printf '#!/bin/sh\n"%s" "$@" | sed -e %s -e %s\n' "$program" \
    "'1s/^usage:/Usage:/'" "'2,/^\$/s/^ \\{4,\\}\\([^ ]\\)/   or: \\1/'" >"$stand_in"
chmod +x "$stand_in"

help2man --no-info --no-discard-stderr --section=1 --locale=C.UTF-8 \
    --name="$summary" --version-string="$version" \
    --include="$work/include.h2m" --output="$work/page.1" "$stand_in"
gzip -9n <"$work/page.1" >"$output.tmp"
mv "$output.tmp" "$output"
