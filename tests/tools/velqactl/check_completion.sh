#!/usr/bin/env bash
# Drives the bash completion of velqactl (completion/velqactl.bash) for a few command lines,
# with the velqactl of this build and a private data folder holding two profiles.
#   check_completion.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin="$1" src="$2"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/velqa-completion.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" PATH="$bin:/usr/bin:/bin"
mkdir -p "$HOME" "$scratch/files"
: >"$scratch/files/recoil.Shoot"
: >"$scratch/files/rapid.Shoot"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
velqactl profile create "Aim Mode" >/dev/null || fail "velqactl profile create failed"

# The candidates bash offers for the words given, the last being completed, one per line, sorted.
complete_line() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=(velqactl "$@"); COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _velqactl
    printf "%s\n" "${COMPREPLY[@]}"' _ "$src/completion/velqactl.bash" "$@" | sort
}
expect() {
  local want="$1"
  shift
  local got
  got="$(complete_line "$@" | tr '\n' ' ' | sed 's/ $//')"
  [ "$got" = "$want" ] || fail "velqactl $* <TAB>: got '$got', want '$want'"
}

expect "profile" pro                                   # a command
expect "set settings shoot" s
expect "copy create" profile c                         # a subcommand
expect "0 1" profile select ""                         # profile numbers from `profile list`
expect "1" profile export Aim                          # a profile's name gives its number
expect "--link" profile select 1 --                    # an option of that form
expect "cable receiver" profile select 1 --link ""     # the option's values
expect "0 1 2 3" shoot export ""                       # gun numbers
expect "$scratch/files/rapid.Shoot $scratch/files/recoil.Shoot" shoot import 2 "$scratch/files/r"
expect "0 1" set motion-sync ""
expect "" set dpi 2 3200 ""                            # nothing more to give
expect "" frobnicate ""                                # an unknown command offers nothing

# The profiles' names come with their numbers for the shells that show descriptions.
velqactl __complete profile select "" | grep -qxF "1	Aim Mode" ||
  fail "no name beside profile 1: $(velqactl __complete profile select '')"

# The other shells' scripts at least parse, where those shells are installed.
if command -v zsh >/dev/null; then
  zsh -n "$src/completion/_velqactl" || fail "_velqactl does not parse"
fi
if command -v fish >/dev/null; then
  fish --no-execute "$src/completion/velqactl.fish" || fail "velqactl.fish does not parse"
fi

[ "$failures" -eq 0 ] && echo "completion: all checks passed"
[ "$failures" -eq 0 ]
