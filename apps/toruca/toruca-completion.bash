# bash completion for toruca
_toruca() {
    local cur prev words cword
    _init_completion || return

    local commands="make info check convert extract preview"
    local forms="detail snippet project"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            make|info|check|convert|extract|preview) command="${words[i]}"; break ;;
        esac
    done

    if [[ -z "$command" ]]; then
        COMPREPLY=($(compgen -W "$commands -h --help -V --version" -- "$cur"))
        return
    fi

    case "$prev" in
        -f|--form) COMPREPLY=($(compgen -W "$forms" -- "$cur")); return ;;
        --card-version|--version) [[ "$command" == make ]] && COMPREPLY=($(compgen -W "1.0 1.1 2.0 2.1" -- "$cur")); return ;;
        --color) COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7 8 9" -- "$cur")); return ;;
        --dist) COMPREPLY=($(compgen -W "1 2 3 4" -- "$cur")); return ;;
        --lm) COMPREPLY=($(compgen -W "now" -- "$cur")); return ;;
        --icon) _filedir '@(gif|GIF|png|PNG|jpg|JPG|jpeg|JPEG)'; return ;;
        -d|--dir) _filedir -d; return ;;
        -o|--output) _filedir; [[ "-" == "$cur"* ]] && COMPREPLY+=(-); return ;;
        --url|--data1|--data2|--data3|--cat|--ip-id|--sort-id|--expires) return ;;
    esac

    if [[ "$cur" == -* ]]; then
        local options="--help"
        # A card may come from standard input.
        [[ "$command" != make ]] && options+=" -"
        case "$command" in
            make) options+=" --form --url --data1 --data2 --data3 --cat --color --dist --ip-id --sort-id --expires --lm --card-version --icon --output --force" ;;
            info|check) options+=" --json" ;;
            convert) options+=" --form --output --force" ;;
            extract) options+=" --dir" ;;
            preview) options+=" --output --force --page --width" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case "$command" in
        make) _filedir '@(html|htm|HTML|HTM)' ;;
        *) _filedir '@(trc|tpj|TRC|TPJ)' ;;
    esac
} &&
    complete -F _toruca toruca
