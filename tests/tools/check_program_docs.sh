#!/usr/bin/env bash
# The programs' --version, and velqactl's manual page against its command table.
#   check_program_docs.sh BIN_DIR MAN_DIR VERSION
# Every check runs; the exit code is 1 when any failed.
set -uo pipefail
bin="$1" man="$2" version="$3"
home="$(mktemp -d "${TMPDIR:-/tmp}/velqa-docs.XXXXXX")"
trap 'rm -rf "$home"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# "NAME VERSION", and the git description only in parentheses after it.
for program in velqactl velqa-sim velqa; do
  [ -x "$bin/$program" ] || { [ "$program" = velqa ] && continue; fail "$program not built"; continue; }
  out="$(env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen "$bin/$program" --version 2>/dev/null)"
  rc=$?
  [ "$rc" -eq 0 ] || fail "$program --version exited $rc"
  [[ "$out" =~ ^$program\ ${version//./\\.}(\ \(git\ [^\)]+\))?$ ]] || fail "$program --version printed '$out'"
done

# Each command of velqactl's table, and each of its subcommands, has its entry in the page. The
# words come from the table itself (the completion's view of it), not from the help text.
page="$man/velqactl.1.gz"
if [ -f "$page" ]; then
  text="$(zcat "$page" | sed 's/\\f[BIRP]//g; s/\\-/-/g')"
  ctl() { env -i PATH=/usr/bin:/bin HOME="$home" "$bin/velqactl" "$@"; }
  commands="$(ctl __complete "" | grep -E '^[a-z][a-z-]*$')"
  [ "$(wc -w <<<"$commands")" -ge 10 ] || fail "velqactl lists only: $commands"
  for word in $commands; do
    entries="$(grep -E "^$word( |$)" <<<"$text")"
    if [ -z "$entries" ]; then
      fail "velqactl $word has no entry in the manual page"
      continue
    fi
    for sub in $(ctl __complete "$word" "" | grep -E '^[a-z][a-z-]*$'); do
      grep -Eq "(^| \| )$word $sub( |$)|^$word .* \| $sub( |$)" <<<"$entries" ||
        fail "velqactl $word $sub has no entry in the manual page"
    done
  done
  # Every entry of the table comes with its description: help2man's paragraph is the synopsis,
  # two spaces, the text.
  while IFS= read -r entry; do
    [[ "${entry#  }" == *"  "?* ]] || fail "velqactl entry without a description: $entry"
  done < <(ctl --help-man | sed -n '/^Commands:/,$p' | grep -E '^  [a-z]')
else
  fail "$page was not built"
fi
# The paths are the installed ones, and velqa(1) explains access to the mouse.
for program in velqactl velqa-sim velqa; do
  [ -f "$man/$program.1.gz" ] || continue
  text="$(zcat "$man/$program.1.gz" | sed 's/\\f[BIRP]//g; s/\\-/-/g')"
  grep -Eq '(^|[^r])/lib/udev' <<<"$text" && fail "$program(1) names /lib/udev, not /usr/lib/udev"
  if [ "$program" = velqa ]; then
    grep -q 'ACCESS TO THE MOUSE' <<<"$text" || fail "velqa(1) has no section on access"
    grep -q 'Allow access' <<<"$text" || fail "velqa(1) does not explain \"Allow access\""
  fi
done
for program in velqa-sim velqa; do
  [ -x "$bin/$program" ] && { [ -f "$man/$program.1.gz" ] || fail "$program.1.gz was not built"; }
done

[ "$failures" -eq 0 ] && echo "program docs: all checks passed"
[ "$failures" -eq 0 ]
