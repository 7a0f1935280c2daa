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
# The line is split into COMP_WORDS as readline splits it: at blanks, and around each run of the
# word-break characters ':' and '=' (with bash's default COMP_WORDBREAKS), which velqactl's
# words contain.
complete_line() {
  bash --norc --noprofile -c '
    source "$1"; shift
    [[ "$(complete -p velqactl)" == "complete -F _velqactl velqactl" ]] || exit 9
    COMP_WORDS=(velqactl)
    line="velqactl"
    for word in "$@"; do
      line+=" $word"
      COMP_WORDS+=("")
      last=""
      for ((i = 0; i < ${#word}; i++)); do
        c="${word:i:1}"
        kind=text; [[ "$c" == [:=] ]] && kind=break
        if [[ -n "$last" && "$kind" != "$last" ]]; then COMP_WORDS+=(""); fi
        COMP_WORDS[-1]+="$c"
        last="$kind"
      done
    done
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$line"; COMP_POINT=${#COMP_LINE}
    _velqactl
    printf "%s\n" "${COMPREPLY[@]}"' _ "$src/completion/velqactl.bash" "$@" | sort
}
expect "profile" pro                                   # a command
expect "set settings shoot" s
expect "copy create" profile c                         # a subcommand
expect "0 1" profile select ""                         # profile numbers from `profile list`
expect "1" profile export Aim                          # a profile's name gives its number
expect "--help --link" profile select 1 --             # an option of that form
expect "cable receiver" profile select 1 --link ""     # the option's values
expect "0 1 2 3" shoot export ""                       # gun numbers
expect "$scratch/files/rapid.Shoot $scratch/files/recoil.Shoot" shoot import 2 "$scratch/files/r"
expect "0 1" set motion-sync ""
expect "" set dpi 2 3200 ""                            # nothing more to give
expect "" frobnicate ""                                # an unknown command offers nothing
expect "cable receiver" settings --link=               # an option's value after '='
expect "receiver" settings --link=re
expect "headset keyboard mouse mousepad" profile bindings --kind ""
expect "0 1 2 3 4 5" set polling ""                    # polling rates
expect "0 1 2 3 4 5" set dpi ""                        # stages
expect "breathing breathing-cycle" set light bre       # light modes by name
velqactl macro create jump >/dev/null || fail "velqactl macro create failed"
expect "0" macro show ""                               # macro numbers
expect "left" key set 3 mouse:le                       # an assignment, after bash's ':' split
expect "0 1 2 3" key set 3 gun:
expect "0" key set 3 macro:
expect "default dpi:" key set 3 d                      # assignment kinds

# The profiles' and macros' names come with their numbers, and the polling rates with their
# frequencies, for the shells that show descriptions.
described() {
  local want="$1"
  shift
  velqactl __complete "$@" | grep -qxF "$want" || fail "no '$want' for $*: $(velqactl __complete "$@")"
}
described "1	Aim Mode" profile select ""
described "0	jump" macro delete ""
described "macro:0	jump" key set 3 macro:
described "3	1000 Hz" set polling ""

# The same in an interactive bash, where readline itself splits the line at ':' and '=' and
# inserts what the script returns.
python3 "$(dirname "$0")/readline_completion.py" "$src/completion/velqactl.bash" \
  'velqactl key set 3 mouse:le=>velqactl key set 3 mouse:left ' \
  'velqactl settings --link=rec=>velqactl settings --link=receiver ' \
  'velqactl key set 3 medi=>velqactl key set 3 media:' \
  'velqactl set pol=>velqactl set polling ' || fail "bash's own completion differs"

# zsh and fish run their own scripts on the same lines (scripts/setup installs both). zsh's
# _describe and _files, which need a live line editor, stand in as printers of what they are given.
zsh_line() {
  zsh -f -c '
    _describe() { shift 3; print -rl -- "${(@P)1}" }
    _files() { print -r -- "@files" }
    words=(velqactl "${@:2}"); CURRENT=${#words}
    source "$1"' _ "$src/completion/_velqactl" "$@" |
    sed 's/\([^\\]\):.*/\1/; s/\\:/:/g' | sort | tr '\n' ' ' | sed 's/ $//'
}
fish_line() {
  fish --no-config -c 'source $argv[1]; complete -C"$argv[2]"' "$src/completion/velqactl.fish" \
    "velqactl $*" | cut -f1 | sort | tr '\n' ' ' | sed 's/ $//'
}
for shell in zsh fish; do
  if ! command -v "$shell" >/dev/null; then
    echo "completion: $shell is not installed (scripts/setup installs it)" >&2
    failures=$((failures + 1))
    continue
  fi
  check() {
    local want="$1" got
    shift
    got="$("${shell}_line" "$@")"
    [ "$got" = "$want" ] || fail "$shell: velqactl $* <TAB>: got '$got', want '$want'"
  }
  check "0 1 2 3 4 5" set polling ""
  check "breathing breathing-cycle" set light bre
  check "mouse:left" key set 3 mouse:le
  check "0 1" profile select ""
  check "headset keyboard mouse mousepad" profile show ""
done

[ "$failures" -eq 0 ] && echo "completion: all checks passed"
[ "$failures" -eq 0 ]
