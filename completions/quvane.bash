# bash completion for quvane
#
# Patch uuids and names come from the daemon: they are data, never shell code. They are
# matched against the typed word here (compgen -W would expand them as shell words) and
# offered quoted.

# The statuses from which a subcommand can act; empty: every patch.
_quvane_statuses() {
    case $1 in
        apply|check) echo "NOT-APPLIED" ;;
        remove) echo "DEACTIVED ACTIVED ACCEPTED" ;;
        active) echo "DEACTIVED" ;;
        deactive) echo "ACTIVED ACCEPTED" ;;
        accept) echo "ACTIVED" ;;
    esac
}

# A work directory as typed, with a leading ~ or ~user made a home directory (without eval).
_quvane_home() {
    local path=$1 user home
    case $path in
        "~" | "~/"*) printf '%s' "$HOME${path:1}" ;;
        "~"*)
            user=${path%%/*}
            user=${user:1}
            home=$(getent passwd -- "$user" 2>/dev/null | cut -d: -f6)
            if [[ -n $home ]]; then printf '%s' "$home${path:${#user}+1}"; else printf '%s' "$path"; fi ;;
        *) printf '%s' "$path" ;;
    esac
}

# Uuids and names of the patches in one of the statuses $3 (all when empty), one per line;
# nothing when the daemon cannot be asked (not the superuser, no daemon, too slow).
_quvane_patches() {
    local program=$1 work_dir=$2 statuses=$3 table
    ((EUID == 0)) || return 0
    local args=()
    [[ -n $work_dir ]] && args=(-w "$work_dir")
    table=$(timeout 1 "$program" "${args[@]}" list 2>/dev/null </dev/null) || return 0
    # Rows are "uuid name status": the name is what lies between the first and last fields.
    printf '%s\n' "$table" | awk -v wanted=" $statuses " '
        NR > 1 && (wanted == "  " || index(wanted, " " $NF " ")) {
            print $1; sub(/^[^ ]+ +/, ""); sub(/ +[^ ]+$/, ""); print
        }'
}

_quvane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local subcommands="build info target status list check apply remove active deactive accept save restore"
    local i word subcommand="" work_dir=""
    COMPREPLY=()

    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -w | --work-dir)
                # bash splits --work-dir=DIR into three words at the '='.
                [[ ${COMP_WORDS[i+1]} == "=" ]] && ((i++))
                ((i++))
                work_dir=$(_quvane_home "${COMP_WORDS[i]}") ;;
            --work-dir=*) work_dir=$(_quvane_home "${word#*=}") ;;
            -*) ;;
            *) subcommand=$word; break ;;
        esac
    done

    if [[ -z $subcommand ]]; then
        if [[ $prev == -w || $prev == --work-dir ||
              ($prev == "=" && ${COMP_WORDS[COMP_CWORD-2]} == --work-dir) ]]; then
            COMPREPLY=($(compgen -d -- "$cur"))
        elif [[ $cur == -* ]]; then
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
                # What was typed, without the quoting the offered words carry.
                local typed=${cur#[\"\']} candidate
                typed=${typed//\\/}
                while IFS= read -r candidate; do
                    [[ $candidate == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$candidate")")
                done < <(_quvane_patches "${COMP_WORDS[0]}" "$work_dir" "$(_quvane_statuses "$subcommand")")
            fi ;;
    esac
    return 0
}

complete -F _quvane quvane
