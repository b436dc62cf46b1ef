# bash completion for vantrel-cli
#
# The commands and options come from the program's own help texts at the
# moment of completion, so they follow the program that is installed; the
# item Ids come from 'vantrel-cli items list --json' of the data folder the
# line names. Needs bash only; nothing it runs may write into the terminal.

# The options a help text lists: those of its usage lines, and of its option
# tables (a line starting with "-" and the lines indented under it).
_vantrel_cli_options() {
  awk '
    /^Usage:/ { usage = 1 }
    /^$/ { usage = 0; opt = 0; next }
    {
      line = $0
      match(line, /^ */); depth = RLENGTH
      rest = substr(line, depth + 1)
      if (depth > 0 && rest ~ /^-/) { opt = 1; indent = depth }
      else if (!(opt && depth > indent)) opt = 0
      if (usage || opt) {
        while (match(line, /--[a-z0-9][a-z0-9-]*/)) {
          print substr(line, RSTART, RLENGTH)
          line = substr(line, RSTART + RLENGTH)
        }
      }
    }' | sort -u
}

# The commands of a help text: the first words of its "Commands:" table, and
# literal words after "COMMAND " in its usage lines (settings list|get|set).
_vantrel_cli_commands() {
  awk -v command="${1-}" '
    /^Commands:/ { table = 1; next }
    /^$/ { table = 0; usage = 0 }
    /^Usage:/ { usage = 1 }
    table && match($0, /^  [a-z][a-z0-9-]*/) { print substr($0, 3, RLENGTH - 2) }
    usage && command != "" {
      n = split($0, w, / +/)
      for (i = 1; i < n; i++)
        if (w[i] == command && w[i + 1] ~ /^[a-z][a-z0-9-]*$/) print w[i + 1]
    }' | awk '!seen[$0]++'
}

# The metavariable an option takes in a help text ("--format html|xml|csv"
# gives "html|xml|csv"); nothing for a switch.
_vantrel_cli_option_value() {
  awk -v option="$1" '
    {
      n = split($0, w, /[ ,]+/)
      for (i = 1; i < n; i++)
        if (w[i] == option && w[i + 1] ~ /^([A-Z]|[a-z]+\|)/) { print w[i + 1]; exit }
    }'
}

_vantrel_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]-}
  local program=${COMP_WORDS[0]}
  local -a dirarg=()
  local command= sub= positional=0 word i
  COMPREPLY=()

  # What the line holds so far: the data folder, the command and sub-command,
  # and how many arguments the (sub-)command has had.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == --data-dir ]]; then
      [[ ${COMP_WORDS[i + 1]-} == = ]] && ((i++))
      if ((i + 1 < COMP_CWORD)); then
        word=${COMP_WORDS[i + 1]-}
        [[ $word == '~/'* ]] && word=$HOME/${word#'~/'}
        dirarg=(--data-dir "$word")
      fi
      ((i++))
    elif [[ $word == --data-dir=?* ]]; then
      dirarg=(--data-dir "${word#--data-dir=}")
    elif [[ $word == -* || $word == = ]]; then
      :
    elif [[ -z $command ]]; then
      command=$word
    elif [[ -z $sub && $command =~ ^(items|reports|settings)$ ]]; then
      sub=$word
    elif [[ ${COMP_WORDS[i - 1]} != -* ]]; then
      ((positional++))
    fi
  done
  [[ $prev == = ]] && prev=${COMP_WORDS[COMP_CWORD - 2]-}
  [[ $cur == = ]] && cur=

  # Arguments that are files or folders.
  case $prev in
    --data-dir)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return 0 ;;
    --out | --sound)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0 ;;
    --item)
      [[ $command == report ]] && _vantrel_cli_ids "$program" "${dirarg[@]}"
      return 0 ;;
  esac

  local help
  if [[ -z $command ]]; then
    help=$("$program" --help 2>/dev/null) || return 0
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "$(_vantrel_cli_options <<<"$help")" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "$(_vantrel_cli_commands <<<"$help")" -- "$cur")
    fi
    return 0
  fi

  if [[ $command =~ ^(items|reports|settings)$ && -z $sub ]]; then
    [[ $cur == -* ]] && return 0
    help=$("$program" "$command" --help 2>/dev/null) || return 0
    mapfile -t COMPREPLY < <(compgen -W "$(_vantrel_cli_commands "$command" <<<"$help")" -- "$cur")
    return 0
  fi

  help=$("$program" "$command" ${sub:+"$sub"} --help 2>/dev/null) || return 0
  if [[ $prev == --* ]]; then
    # An option with a value: its choices when the help names them, else
    # nothing to offer.
    local value
    value=$(_vantrel_cli_option_value "$prev" <<<"$help")
    if [[ $value =~ ^[a-z0-9]+(\|[a-z0-9]+)+$ ]]; then
      mapfile -t COMPREPLY < <(compgen -W "${value//|/ }" -- "$cur")
      return 0
    fi
    [[ -n $value ]] && return 0
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_vantrel_cli_options <<<"$help")" -- "$cur")
    return 0
  fi
  case "$command $sub" in
    "items set")
      ((positional == 0)) && _vantrel_cli_ids "$program" "${dirarg[@]}" ;;
    "items remove" | "items suspend" | "items activate")
      _vantrel_cli_ids "$program" "${dirarg[@]}" ;;
    "items import")
      if ((positional == 0)); then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi ;;
  esac
  return 0
}

# The Ids of the watch list into COMPREPLY. A folder named on the line but
# without a watch list gives none (listing would create the folder).
_vantrel_cli_ids() {
  local program=$1
  shift
  if (($# == 2)) && [[ ! -f $2/vantrel.vtd ]]; then
    return 0
  fi
  local ids
  ids=$("$program" "$@" items list --json 2>/dev/null | grep -oE '"Id": *[0-9]+' | grep -oE '[0-9]+$')
  mapfile -t COMPREPLY < <(compgen -W "$ids" -- "${COMP_WORDS[COMP_CWORD]}")
}

complete -F _vantrel_cli vantrel-cli
