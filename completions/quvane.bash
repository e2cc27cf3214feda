# bash completion for quvane

# Patch uuids and names, asked of the daemon through `quvane list`; nothing when that fails
# (no daemon, not the superuser) or takes too long.
_quvane_patches() {
    local program=$1 work_dir=$2 table
    local args=()
    [[ -n $work_dir ]] && args=(-w "$work_dir")
    table=$(timeout 2 "$program" "${args[@]}" list 2>/dev/null) || return 0
    # Rows are "uuid name status": the name is what lies between the first and last fields.
    printf '%s\n' "$table" | awk 'NR > 1 { print $1; sub(/^[^ ]+ +/, ""); sub(/ +[^ ]+$/, ""); print }'
}

_quvane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local subcommands="build info target status list check apply remove active deactive accept save restore"
    local i word subcommand="" work_dir=""
    COMPREPLY=()

    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -w|--work-dir) ((i++)); work_dir=${COMP_WORDS[i]} ;;
            --work-dir=*) work_dir=${word#*=} ;;
            -*) ;;
            *) subcommand=$word; break ;;
        esac
    done

    if [[ -z $subcommand ]]; then
        case $prev in
            -w|--work-dir) COMPREPLY=($(compgen -d -- "$cur")); return 0 ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-w --work-dir -v --verbose -h --help -V --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$subcommands" -- "$cur"))
        fi
        return 0
    fi

    case $subcommand in
        build)
            COMPREPLY=($(compgen -f -- "$cur")) ;;
        list|save)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "-h --help" -- "$cur")) ;;
        restore)
            COMPREPLY=($(compgen -W "--accepted -h --help" -- "$cur")) ;;
        info|target|status|check|apply|remove|active|deactive|accept)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "-h --help" -- "$cur"))
            else
                local IFS=$'\n'
                COMPREPLY=($(compgen -W "$(_quvane_patches "${COMP_WORDS[0]}" "$work_dir")" -- "$cur"))
            fi ;;
    esac
    return 0
}

complete -F _quvane quvane
