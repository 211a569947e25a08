# bash completion for txmorph: options until the first name, then file names.
_txmorph() {
  local cur=${COMP_WORDS[COMP_CWORD]} i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --) break ;;
      -*) ;;
      *) break ;;  # a name was given: the options are over
    esac
  done
  if ((i == COMP_CWORD)) && [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-? -h -- -ia -id -iu -iw -oa -od -ou -ow -s -s- -r -r- -x -x-
      -t -t- -q -q- -q0 -q1 -q2 --losses' -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
  compopt -o filenames 2>/dev/null
}
complete -F _txmorph txmorph
