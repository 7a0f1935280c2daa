# bash completion for velqactl. The candidates come from velqactl itself (its hidden
# `__complete` command reads the command table), so they follow the installed version.
_velqactl() {
    local cur="${COMP_WORDS[COMP_CWORD]}" line file
    COMPREPLY=()
    while IFS= read -r line; do
        if [[ "$line" == "@files" ]]; then
            compopt -o filenames 2>/dev/null
            while IFS= read -r file; do
                COMPREPLY+=("$file")
            done < <(compgen -f -- "$cur")
        else
            COMPREPLY+=("${line%%$'\t'*}")
        fi
    done < <(command velqactl __complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null)
}
complete -F _velqactl velqactl
