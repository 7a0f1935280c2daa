# bash completion for velqactl. The candidates come from velqactl itself (its hidden
# `__complete` command reads the command table), so they follow the installed version.
_velqactl() {
    # bash splits "mouse:left" and "--link=cable" at the ':' and '=' of COMP_WORDBREAKS; velqactl
    # wants them whole. Words are glued back where the line has no blank between them.
    local -a words=()
    local rest="$COMP_LINE" token blank i n=-1
    for ((i = 0; i <= COMP_CWORD; i++)); do
        token="${COMP_WORDS[i]}"
        blank="${rest%%[![:space:]]*}"
        rest="${rest#"$blank"}"
        if [[ -n "$blank" || $n -lt 0 ]]; then
            words[++n]="$token"
        else
            words[n]+="$token"
        fi
        rest="${rest#"$token"}"
    done
    local cur="${words[n]}" line file trim="" breaks="" nospace=0
    # bash replaces only the text after the last such break: the candidates lose what precedes it.
    [[ "$COMP_WORDBREAKS" == *:* ]] && breaks+=":"
    [[ "$COMP_WORDBREAKS" == *=* ]] && breaks+="="
    [[ -n "$breaks" ]] && trim="${cur%"${cur##*[$breaks]}"}"
    COMPREPLY=()
    while IFS= read -r line; do
        if [[ "$line" == "@files" ]]; then
            compopt -o filenames 2>/dev/null
            while IFS= read -r file; do
                COMPREPLY+=("$file")
            done < <(compgen -f -- "$cur")
        else
            line="${line%%$'\t'*}"
            # "mouse:" and "key:ctrl+" are words to go on typing.
            [[ "$line" == *[:+] ]] && nospace=1
            COMPREPLY+=("${line#"$trim"}")
        fi
    done < <(command velqactl __complete "${words[@]:1}" 2>/dev/null)
    ((nospace)) && compopt -o nospace 2>/dev/null
    return 0
}
complete -F _velqactl velqactl
