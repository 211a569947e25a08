# bash completion for timecarry: the operation string as the first argument
# ("?", a second "?" for a preview, then pairs of a source and a destination
# letter, with minute steps, exact shifts (+90s) and an operator between them;
# or "?@" and the letter of the time to save), then file names.
#
# The operation string is offered in quotes ('?ww'): unquoted, the shell
# would take "?" as a pattern (a file named "aww" would stand in for "?ww")
# and "<" or ">" as redirections. Inside quotes bash keeps the word whole;
# unquoted, "=" and ":" split it (they are in COMP_WORDBREAKS) and only the
# part after the last of them is replaced, so that part is what is offered.

# The characters that may follow an operation string's pairs so far, one a
# line; none when they are not well formed.
_timecarry_next() {
  local pairs=$1 state=source i ch
  case $pairs in
    @) printf '%s\n' w c a g ;& # the time to save, one letter or none
    @ | @[wcagWCAG]) return 0 ;;
    @*) return 1 ;;
  esac
  for ((i = 0; i < ${#pairs}; i++)); do
    ch=${pairs:i:1}
    case $state,$ch in
      source,' ') ;;
      source,[wcagnWCAGN#.:]) state=step ;;
      step,[+-] | sign,[+-]) state=sign ;;
      sign,[0-9] | number,[0-9]) state=number ;;
      number,[smhdSMHD]) state=step ;;
      step,[\<\>=\!~] | sign,[\<\>=\!~]) state=destination ;;
      step,[wcagnWCAGN#.:] | sign,[wcagnWCAGN#.:] | destination,[wcagnWCAGN#.:]) state=source ;;
      *) return 1 ;;
    esac
  done
  case $state in
    source) printf '%s\n' w c a g n W C A G N '#' . : ;;
    step | sign) printf '%s\n' w c a g + - '<' '>' = '!' '~' ;;
    number) printf '%s\n' s m h d ;;
    destination) printf '%s\n' w c a g ;;
  esac
}

# A word as the shell will take it: quotes and backslashes removed.
_timecarry_dequote() {
  local word=$1
  case $word in
    \'*) word=${word#\'} && word=${word%\'} ;;
    \"*) word=${word#\"} && word=${word%\"} ;;
    *) word=$(printf '%s' "$word" | sed 's/\\\(.\)/\1/g') ;;
  esac
  printf '%s' "$word"
}

_timecarry() {
  local line=${COMP_LINE:0:COMP_POINT} typed
  # The first argument as typed so far: after the command name and blanks.
  typed=${line#"${COMP_WORDS[0]}"}
  typed=${typed#"${typed%%[![:space:]]*}"}
  local quote=
  case $typed in \'* | \"*) quote=${typed:0:1} ;; esac
  local text=${typed#"$quote"}
  if [[ $text == \?* && ($quote || $typed != *[[:space:]]*) ]] &&
    [[ -z $quote || $text != *"$quote"* ]]; then
    local pairs=${text#\?} c
    pairs=${pairs#\?}
    local -a next
    mapfile -t next < <(_timecarry_next "$pairs")
    [[ $text == \? ]] && next+=("?" "@")
    COMPREPLY=()
    # What the shell replaces: after the quote, or after the last character
    # that split the unquoted word; a word with neither is put in quotes.
    local keep=$text opening=
    if [[ -z $quote ]]; then
      if [[ $text == *[=:]* ]]; then
        keep=${text##*[=:]}
      else
        opening="'"
      fi
    fi
    for c in "${next[@]}"; do COMPREPLY+=("$opening$keep$c"); done
    compopt -o nospace 2>/dev/null
    return
  fi
  local cur
  cur=$(_timecarry_dequote "${COMP_WORDS[COMP_CWORD]}")
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _timecarry timecarry
