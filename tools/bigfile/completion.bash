# bash completion for bigfile. Everything it offers comes from the tool
# itself: the commands from `bigfile --help`, a command's options and
# operands from `bigfile COMMAND --help` (its usage line and option lines),
# and paths inside an archive from `bigfile __complete ARCHIVE WORD`.

# The commands `bigfile --help` lists.
_bigfile_commands() {
    "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}

_bigfile() {
    local tool=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$(_bigfile_commands "$tool") --help --version" -- "$cur")
        return
    fi
    local command=${COMP_WORDS[1]} help
    if [[ $command == help ]]; then
        ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "$(_bigfile_commands "$tool")" -- "$cur")
        return
    fi
    help=$("$tool" "$command" --help 2>/dev/null) || return

    # Options ("  -C, --directory DIR  ..."): the ones followed by an
    # upper-case word take a value.
    local line options=--help valued=' ' usage='' in_usage=1
    local option_re='^ +(-([A-Za-z]), )?(--[a-z][a-z-]*)( [A-Z]+)?( |$)'
    declare -A value_of=()
    while IFS= read -r line; do
        if ((in_usage)); then
            [[ -z $line ]] && in_usage=0 || usage+=" $line"
            continue
        fi
        [[ $line =~ $option_re ]] || continue
        options+=" ${BASH_REMATCH[3]}${BASH_REMATCH[2]:+ -${BASH_REMATCH[2]}}"
        if [[ -n ${BASH_REMATCH[4]} ]]; then
            value_of[${BASH_REMATCH[3]}]=${BASH_REMATCH[4]# }
            [[ -n ${BASH_REMATCH[2]} ]] && value_of[-${BASH_REMATCH[2]}]=${BASH_REMATCH[4]# }
        fi
    done <<<"$help"

    # Operands: the usage line's words that are not options ("ARCHIVE",
    # "[PATH...]"), brackets dropped.
    local -a words operands=()
    local word unit='' opens closes depth=0
    read -ra words <<<"${usage#*Usage: bigfile $command}"
    for word in "${words[@]}"; do
        unit+="${unit:+ }$word"
        opens=${word//[^\[]/} closes=${word//[^\]]/}
        depth=$((depth + ${#opens} - ${#closes}))
        ((depth > 0)) && continue
        [[ $unit == [\[-]-* || $unit == '|' ]] || operands+=("${unit//[\[\]]/}")
        unit=''
    done

    # The operand the cursor is on, and the archive named before it.
    local prev=${COMP_WORDS[COMP_CWORD - 1]} i n=0 archive='' ends=0
    if [[ -n ${value_of[$prev]} && $prev != *=* ]]; then
        case ${value_of[$prev]} in
        DIR) mapfile -t COMPREPLY < <(compgen -d -- "$cur") && compopt -o filenames 2>/dev/null ;;
        LEVEL) mapfile -t COMPREPLY < <(compgen -W "classic fast best" -- "$cur") ;;
        esac
        return
    fi
    for ((i = 2; i < COMP_CWORD; ++i)); do
        word=${COMP_WORDS[i]}
        if ((!ends)) && [[ $word == -* ]]; then
            [[ $word == -- ]] && ends=1
            [[ -n ${value_of[$word]} ]] && ((++i))
            continue
        fi
        [[ ${operands[n]} == ARCHIVE ]] && archive=$word
        [[ ${operands[n]} == *... ]] || ((++n))
    done
    if ((!ends)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    ((n < ${#operands[@]})) || return
    case ${operands[n]} in
    DIR) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
    PATH*)
        [[ -n $archive ]] || return
        mapfile -t COMPREPLY < <("$tool" __complete "${archive/#\~/$HOME}" "$cur" 2>/dev/null)
        # A folder: go on into it rather than end the word.
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]] && compopt -o nospace 2>/dev/null
        return
        ;;
    *) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    esac
    compopt -o filenames 2>/dev/null
}

complete -F _bigfile bigfile
