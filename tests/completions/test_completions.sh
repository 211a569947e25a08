#!/usr/bin/env bash
# The bash completions, driven as bash drives them: COMP_LINE, COMP_POINT,
# COMP_WORDS and COMP_CWORD set as bash sets them for a line typed so far
# (split at blanks outside quotes and, outside quotes, at the characters of
# COMP_WORDBREAKS), then the completion function called with the command,
# the word and the word before. Each case names what COMPREPLY must hold and
# what it must not.   usage: test_completions.sh COMPLETIONS_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
completions=${1:-$here/../../completions}
# shellcheck source=/dev/null
source "$completions/timecarry.bash"
# shellcheck source=/dev/null
source "$completions/txmorph.bash"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch "my file.txt" "my other file.txt" aww notes.txt

failures=0
# complete FUNCTION LINE WORD... : COMP_WORDS are the words given, the last
# one being completed; $2 is that word as readline hands it over (with an
# opening quote removed).
complete_line() {
  local function=$1 line=$2
  shift 2
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  local word=${COMP_WORDS[COMP_CWORD]}
  case $word in \'* | \"*) word=${word:1} ;; esac
  COMPREPLY=()
  "$function" "${COMP_WORDS[0]}" "$word" "${COMP_WORDS[COMP_CWORD - 1]:-}" 2>/dev/null
}

has() {  # has CASE ENTRY...: each entry is one of COMPREPLY
  local case=$1 entry reply found
  shift
  for entry in "$@"; do
    found=
    for reply in "${COMPREPLY[@]}"; do [[ $reply == "$entry" ]] && found=1; done
    if [[ -z $found ]]; then
      echo "FAIL: $case: no [$entry] in: $(printf '[%s] ' "${COMPREPLY[@]}")"
      failures=$((failures + 1))
    fi
  done
}

lacks() {  # lacks CASE ENTRY...: none of the entries is in COMPREPLY
  local case=$1 entry reply
  shift
  for entry in "$@"; do
    for reply in "${COMPREPLY[@]}"; do
      if [[ $reply == "$entry" ]]; then
        echo "FAIL: $case: [$entry] offered"
        failures=$((failures + 1))
      fi
    done
  done
}

exactly() {  # exactly CASE ENTRY...: COMPREPLY is these entries, in any order
  local case=$1
  shift
  if ((${#COMPREPLY[@]} != $#)); then
    echo "FAIL: $case: ${#COMPREPLY[@]} entries, not $#: $(printf '[%s] ' "${COMPREPLY[@]}")"
    failures=$((failures + 1))
  fi
  has "$case" "$@"
}

# --- timecarry: the operation string -----------------------------------------
complete_line _timecarry "timecarry ?" timecarry "?"
has "? unquoted" "'?w" "'?W" "'?n" "'?#" "'??"
complete_line _timecarry "timecarry ?w" timecarry "?w"
has "?w: offered in quotes" "'?ww" "'?w<" "'?w>" "'?w+" "'?w="
lacks "?w: never unquoted" "?w<" "?w>" "?ww"
complete_line _timecarry "timecarry '?w" timecarry "'?w"
has "'?w" "?ww" "?w<" "?w+"
complete_line _timecarry "timecarry '?w<" timecarry "'?w<"
exactly "'?w< (after an operator, a destination)" "?w<w" "?w<c" "?w<a" "?w<g"
complete_line _timecarry "timecarry \"?W>a" timecarry "\"?W>a"
has "\"?W>a (a whole pair: a new source)" "?W>aw" "?W>aN" "?W>a."
complete_line _timecarry "timecarry '?w+-" timecarry "'?w+-"
has "'?w+- (steps)" "?w+-+" "?w+--" "?w+-<" "?w+-w"
complete_line _timecarry "timecarry '?ww n" timecarry "'?ww n"
has "'?ww n (a space between pairs)" "?ww nw" "?ww n<"
complete_line _timecarry "timecarry ??w" timecarry "??w"
has "??w (a preview)" "'??ww" "'??w<"
# Outside quotes "=" and ":" split the word: only what follows is replaced.
complete_line _timecarry "timecarry ?w=" timecarry "?w" "="
exactly "?w= unquoted" "w" "c" "a" "g"
complete_line _timecarry "timecarry ?w=c" timecarry "?w" "=" "c"
has "?w=c unquoted" "cw" "cN"
complete_line _timecarry "timecarry '?w:" timecarry "'?w:"
has "'?w: (':' is a letter)" "?w:w" "?w:n"
complete_line _timecarry "timecarry '?wx" timecarry "'?wx"
exactly "'?wx (not an operation string)"
complete_line _timecarry "timecarry '?w+1" timecarry "'?w+1"
exactly "'?w+1 (a shift's unit)" "?w+1s" "?w+1m" "?w+1h" "?w+1d"
complete_line _timecarry "timecarry '?w-90s" timecarry "'?w-90s"
has "'?w-90s (after a shift)" "?w-90sw" "?w-90s+" "?w-90s<"
complete_line _timecarry "timecarry ?" timecarry "?"
has "? (a time to save)" "'?@"
complete_line _timecarry "timecarry '?@" timecarry "'?@"
exactly "'?@ (the time to save)" "?@w" "?@c" "?@a" "?@g"
complete_line _timecarry "timecarry '?@w" timecarry "'?@w"
exactly "'?@w (nothing more)"

# --- timecarry and txmorph: names --------------------------------------------
complete_line _timecarry "timecarry my" timecarry "my"
exactly "timecarry my" "my file.txt" "my other file.txt"
complete_line _timecarry "timecarry my\\ f" timecarry "my\\ f"
exactly "timecarry my\\ f (an escaped space)" "my file.txt"
complete_line _timecarry "timecarry '?ww' 'my o" timecarry "'?ww'" "'my o"
exactly "timecarry '?ww' 'my o (in quotes, after the string)" "my other file.txt"
complete_line _timecarry "timecarry a" timecarry "a"
exactly "timecarry a (a file, not an operation string)" "aww"

complete_line _txmorph "txmorph -" txmorph "-"
has "txmorph -" "-h" "-ou" "-iw" "-x-" "-q1" "--"
lacks "txmorph - (the help is -h)" "-?"
complete_line _txmorph "txmorph -ou my\\ o" txmorph "-ou" "my\\ o"
exactly "txmorph -ou my\\ o" "my other file.txt"
complete_line _txmorph "txmorph -ou notes.txt my" txmorph "-ou" "notes.txt" "my"
exactly "txmorph: the output name" "my file.txt" "my other file.txt"
complete_line _txmorph "txmorph -ou notes.txt out.txt n" txmorph "-ou" "notes.txt" "out.txt" "n"
exactly "txmorph: nothing after the output name"
complete_line _txmorph "txmorph -ou notes.txt -" txmorph "-ou" "notes.txt" "-"
lacks "txmorph: no options after a name" "-ou" "-h"
complete_line _txmorph "txmorph -- -" txmorph "--" "-"
lacks "txmorph -- -: a name" "-ou" "-h"
complete_line _txmorph "txmorph --restore my\\ o" txmorph "--restore" "my\\ o"
exactly "txmorph --restore: the name" "my other file.txt"
complete_line _txmorph "txmorph --restore notes.txt n" txmorph "--restore" "notes.txt" "n"
exactly "txmorph --restore: nothing after the name"
complete_line _txmorph "txmorph -ia --ch" txmorph "-ia" "--ch"
exactly "txmorph --ch" "--check"
complete_line _txmorph "txmorph -ou --each notes.txt aww my\\ o" txmorph "-ou" "--each" "notes.txt" "aww" "my\\ o"
exactly "txmorph --each: names to the end" "my other file.txt"
complete_line _txmorph "txmorph --each -" txmorph "--each" "-"
lacks "txmorph --each -: a name" "-ou" "--check"

if ((failures > 0)); then
  echo "$failures completion checks failed"
  exit 1
fi
echo "completion checks passed"
