#!/usr/bin/env bash
# Each manual page renders without a warning, and names every option its program's usage text has.
set -uo pipefail
src=$1 bin=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

for page in qob qob-cli zentsim; do
  file="$src/docs/man/$page.1"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
done

# Options as the usage text writes them (--name, -h); the page rendered in ASCII writes \- as "-".
for program in qob-cli zentsim; do
  usage=$("$bin/$program" --help 2>&1) || { fail "$program --help failed: $usage"; continue; }
  [ -n "$usage" ] || fail "$program --help printed nothing"
  page=$(LC_ALL=C MANWIDTH=200 man -E ascii -l "$src/docs/man/$program.1" 2>/dev/null | col -b)
  mapfile -t options < <(grep -oE -- '(^|[^a-zA-Z-])--?[a-z][a-z-]*' <<<"$usage" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
  [ ${#options[@]} -gt 3 ] || fail "$program: found only ${#options[@]} options in its usage text"
  for option in "${options[@]}" --help -h; do
    grep -qE -- "(^|[^a-zA-Z-])$option([^a-zA-Z-]|\$)" <<<"$page" || fail "$program.1 does not mention $option"
  done
  # The commands too: every word that starts a usage line of a command.
  for command in $(grep -oE '^  [a-z]+' <<<"$usage" | sort -u); do
    grep -qE "(^|[^a-z])$command([^a-z]|\$)" <<<"$page" || fail "$program.1 does not mention the command $command"
  done
done
[ $status = 0 ] && echo "manual pages: all rendered cleanly and complete"
exit $status
