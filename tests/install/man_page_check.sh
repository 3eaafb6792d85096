#!/usr/bin/env bash
# Checks a program's man page: it renders without a warning, has the sections
# a user looks for, and names every option the program's --help prints.
#   man_page_check.sh PROGRAM PAGE
# Exits 77 (skipped) when groff is not installed.
set -uo pipefail
program=$1
page=$2
command -v groff >/dev/null || { echo "groff not installed"; exit 77; }

failed=0
fail() {
  echo "$(basename "$page"): $*" >&2
  failed=1
}

warnings=$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "renders with warnings:"$'\n'"$warnings"

# Plain text on one long line per paragraph, without hyphenation, so that an
# option is never split.
text=$(LC_ALL=C.UTF-8 groff -k -man -Tascii -rLL=1000n -rHY=0 -P-cbou "$page" 2>/dev/null)

for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" EXAMPLE; do
  grep -qx "$section" <<<"$text" || fail "has no $section section"
done

help=$("$program" --help 2>&1) || fail "$program --help ended with status $?"
# Options are the -x and --word tokens that start a word of the usage; every
# program takes --help, whether its usage names it or not.
mapfile -t options < <({
  echo --help
  grep -oE '(^|[][[:space:]|,(])--?[A-Za-z][A-Za-z0-9-]*' <<<"$help" | sed -E 's/^[^-]+//'
} | sort -u)
for option in "${options[@]}"; do
  grep -qE "(^|[^A-Za-z0-9-])${option}([^A-Za-z0-9-]|\$)" <<<"$text" ||
    fail "does not mention $option, which $program --help prints"
done
exit $failed
