#!/usr/bin/env bash
# The manual page and the program agree: every command and every long option
# that `sfxpack --help` and `sfxpack COMMAND --help` show is in the manual
# page, and the manual page names no long option the program lacks.
#
# Usage: man_page_test.sh SFXPACK MAN_PAGE
set -euo pipefail
sfxpack=$1 man_page=$2

# The page's text with troff's escaped hyphens (\-) as plain hyphens.
page=$(sed 's/\\-/-/g' "$man_page")
commands=$("$sfxpack" --help | awk '/^Subcommands:/ { listing = 1; next } listing && NF { print $1 }')
[ -n "$commands" ] || { echo "FAIL: sfxpack --help lists no commands" >&2; exit 1; }

help_options=$({
  "$sfxpack" --help
  for command in $commands; do "$sfxpack" "$command" --help; done
} | grep -oE -- '--[a-z][a-z-]*' | sort -u)
page_options=$(grep -oE -- '--[a-z][a-z-]*' <<<"$page" | sort -u)

failures=0
for command in $commands; do
  grep -qE "^\.B $command( |$)" <<<"$page" || { echo "FAIL: the manual page does not describe '$command'"; failures=$((failures + 1)); }
done
while IFS= read -r option; do
  echo "FAIL: --help shows $option, the manual page does not"
  failures=$((failures + 1))
done < <(comm -23 <(echo "$help_options") <(echo "$page_options"))
while IFS= read -r option; do
  echo "FAIL: the manual page names $option, --help does not"
  failures=$((failures + 1))
done < <(comm -13 <(echo "$help_options") <(echo "$page_options"))
[ $failures -eq 0 ] || exit 1
echo "ok: $(wc -w <<<"$commands") commands and $(wc -l <<<"$help_options") long options in both"
