# bash completion for txmorph: options until the first name, then file names
# (one input name and one output name: txmorph converts one file a run; one
# name after --restore; after --each, any number of names).
_txmorph() {
  local i ended= names=2
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --) ended=1 && ((i += 1)) && break ;;  # the next word is the input name
      --restore) ended=1 && names=1 && ((i += 1)) && break ;;
      --each) ended=1 && names=-1 && ((i += 1)) && break ;;  # every word after it is a name
      -*) ;;
      *) break ;;  # a name was given: the options are over
    esac
  done
  local cur=${COMP_WORDS[COMP_CWORD]}
  if [[ -z $ended ]] && ((i == COMP_CWORD)) && [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '-h -- -ia -id -iu -iw -oa -od -ou -ow -s -s- -r -r-
      -x -x- -t -t- -q -q- -q0 -q1 -q2 --losses --restore --each --check --help --version' -- "$cur")
    return
  fi
  ((names >= 0 && COMP_CWORD - i >= names)) && return  # past the last name: nothing more is read
  case $cur in
    \'*) cur=${cur#\'} && cur=${cur%\'} ;;
    \"*) cur=${cur#\"} && cur=${cur%\"} ;;
    *) cur=$(printf '%s' "$cur" | sed 's/\\\(.\)/\1/g') ;;
  esac
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _txmorph txmorph
