#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time.
#
#   tests/fuzz/run.sh SECONDS BUILD-DIR [TARGET...]
#
# Each target starts from a copy of its committed corpus (tests/fuzz/corpus/
# <target>/; what the run adds to the copy is thrown away), runs for SECONDS
# (0: only its corpus, once), and gets one summary line. A finding (a crash,
# a broken oracle, a leak, an input that hangs) fails the run; its reproducer
# is kept under BUILD-DIR/fuzz-findings/<target>/ and named in the output.
# Replay one with BUILD-DIR/bin/fuzz_<target> <file>; once it is fixed, keep
# it as tests/fuzz/corpus/<target>/regress-<what-it-was>.
#
# A target gets SECONDS plus a short grace for its start and its final
# report; one that overruns is stopped and reported, so the whole run takes
# at most about (SECONDS + 15) for each target.
set -uo pipefail

if [ $# -lt 2 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS BUILD-DIR [TARGET...]" >&2
  exit 2
fi
seconds=$1
build=$(cd "$2" && pwd) || exit 2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$here"/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("$name")
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grace=15
failed=0

# The last value of a libFuzzer progress field ("cov: 123") in a log.
last_field() { grep -o "$1: [0-9]*" "$2" | tail -1 | grep -o '[0-9]*$'; }

for name in "${targets[@]}"; do
  binary=$build/bin/fuzz_$name
  seeds=$here/corpus/$name
  findings=$build/fuzz-findings/$name
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    printf '%-12s MISSING  %s\n' "$name" "no $binary or no $seeds"
    failed=1
    continue
  fi
  corpus=$work/$name
  log=$work/$name.log
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  cp "$seeds"/* "$corpus"/
  before=$(ls "$corpus" | wc -l)
  if [ "$seconds" -eq 0 ]; then
    limit=(-runs=0)
  else
    limit=(-max_total_time="$seconds")
  fi
  start=$SECONDS
  timeout -s INT -k 5 $((seconds + grace)) "$binary" "${limit[@]}" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings"/ "$corpus" \
    >"$log" 2>&1
  status=$?
  elapsed=$((SECONDS - start))
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  cov=$(last_field cov "$log")
  after=$(ls "$corpus" | wc -l)
  reproducers=$(grep -o "Test unit written to [^ ]*" "$log" | sed 's/Test unit written to //')
  if [ $status -eq 0 ] && [ -z "$reproducers" ]; then
    printf '%-12s ok       %4d s  %9s runs  cov %-5s corpus %d -> %d\n' "$name" "$elapsed" \
      "${runs:-?}" "${cov:-?}" "$before" "$after"
    continue
  fi
  failed=1
  if [ $status -eq 124 ] && [ -z "$reproducers" ]; then
    printf '%-12s OVERRAN  %4d s  stopped after %d s\n' "$name" "$elapsed" \
      $((seconds + grace))
  else
    printf '%-12s FINDING  %4d s  exit %d\n' "$name" "$elapsed" "$status"
  fi
  # What broke, and where in our code.
  {
    grep -E 'check failed|^  [^ 0]|ERROR:|SUMMARY:' "$log" | head -8
    grep -E "^ +#[0-9]+ .* in .*$repo" "$log" | head -8
  } | sed 's/^/    | /'
  for file in $reproducers; do
    echo "    reproducer: $file"
    echo "    replay:     $binary $file"
  done
done

if [ $failed -eq 0 ]; then
  echo "fuzzing: ${#targets[@]} targets, no finding"
else
  echo "fuzzing: FAILED (see above)"
fi
exit $failed
