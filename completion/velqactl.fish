# fish completion for velqactl: the candidates come from velqactl's hidden `__complete` command,
# which reads the command table; a profile or macro number comes with its name, a polling rate
# with its frequency. fish adds no space after a candidate ending in ':' ("mouse:").
function __velqactl_complete
    set -l words (commandline -opc)
    set -l current (commandline -ct)
    for line in (command velqactl __complete $words[2..-1] "$current" 2>/dev/null)
        if test "$line" = "@files"
            __fish_complete_path "$current"
        else
            echo $line
        end
    end
end
complete -c velqactl -f -a '(__velqactl_complete)'
