# bash completion for timecarry: the operation string after "?" (letters,
# steps and operators; a second "?" previews the run), then file names.
_timecarry() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  if ((COMP_CWORD == 1)) && [[ $cur == \?* ]]; then
    local c
    COMPREPLY=()
    for c in w c a g n W C A G N '#' . : + - '<' '>' = '!' '~'; do
      COMPREPLY+=("$cur$c")
    done
    [[ $cur == \? ]] && COMPREPLY+=("??")
    compopt -o nospace 2>/dev/null
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
  compopt -o filenames 2>/dev/null
}
complete -F _timecarry timecarry
