# bash completion for telvane-cli                           -*- shell-script -*-
# Commands, each command's options (those not given yet), --mode and --decimals values,
# serial ports as `telvane-cli ports` lists them, run tables of the chosen database (a file or a
# PostgreSQL server's URI), files.

_telvane_cli()
{
    local cur prev words cword
    _init_completion || return

    local command="" db="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            ports | status | record | tables | export | info | stats | push)
                [[ $command ]] || command=${words[i]}
                ;;
            --db) db=${words[i + 1]} ;;
        esac
    done

    case $prev in
        --port)
            local name
            COMPREPLY=($(compgen -W "$(telvane-cli ports 2>/dev/null |
                while IFS=$'\t' read -r name _; do printf '/dev/%s\n' "$name"; done)" -- "$cur"))
            # A pseudo-terminal or a link to one (telvane-sim --link) is not listed: a path.
            ((${#COMPREPLY[@]})) || _filedir
            return
            ;;
        --mode)
            COMPREPLY=($(compgen -W 'single multi' -- "$cur"))
            return
            ;;
        --decimals)
            COMPREPLY=($(compgen -W '1 4' -- "$cur"))
            return
            ;;
        --table)
            COMPREPLY=($(compgen -W "$(telvane-cli tables ${db:+--db "$db"} 2>/dev/null |
                cut -f1)" -- "$cur"))
            return
            ;;
        --db)
            # A server's URI is the user's to type.
            [[ $cur == postgres* || $cur == *=* ]] || _filedir
            return
            ;;
        --csv)
            [[ $command == export ]] && COMPREPLY=($(compgen -W '-' -- "$cur"))
            _filedir
            return
            ;;
        --repeat)
            COMPREPLY=($(compgen -W 'forever' -- "$cur"))
            return
            ;;
        --mqtt-ca | --mqtt-cert | --mqtt-key | --mqtt-password-file)
            _filedir
            return
            ;;
        --rate | --time | --vout | --v[1-4] | --until | --publish | --publish-wait | --mirror | \
            --mirror-wait | --station | --to)
            return
            ;;
    esac

    local options
    case $command in
        "") options="ports status record tables export info stats push --help --version" ;;
        ports) options="--help" ;;
        status) options="--port --simulate --help" ;;
        record) options="--port --simulate --mode --rate --time --vout --v1 --v2 --v3 --v4
                         --db --csv --repeat --until --reconnect --publish --publish-wait
                         --mqtt-ca --mqtt-cert --mqtt-key --mqtt-password-file
                         --mirror --mirror-wait --station --help" ;;
        tables) options="--db --help" ;;
        export) options="--table --csv --db --decimals --help" ;;
        info) options="--table --db --help" ;;
        stats) options="--table --db --from --to --help" ;;
        push) options="--to --db --table --station --help" ;;
    esac
    # An option may be given once.
    options=" ${options//$'\n'/ } "
    local word
    for word in "${words[@]:1:cword-1}"; do
        # push takes --table once per run.
        [[ $command == push && $word == --table ]] && continue
        options=${options// $word / }
    done
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
} &&
    complete -F _telvane_cli telvane-cli

# ex: filetype=sh
