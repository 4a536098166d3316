#!/usr/bin/env bash
# Plausible one-line faults, one at a time: each is applied to the source,
# the tests are built and run, and the fault is undone. A fault the tests do
# not notice "survived": a test is missing. The faults are listed in a file,
# one a line: FILE|TEXT|REPLACEMENT|what the fault is (the first occurrence of
# TEXT in FILE is replaced; \N in TEXT and REPLACEMENT stands for a line
# break, and neither may hold a |; lines starting with # are passed over).
#
#   tools/mutants.sh [FAULTS_FILE] [BUILD_DIR]
#
# Default faults: tools/mutants.txt; default build folder: build-mutants
# (Release, no benchmarks). Prints one line a fault, then the counts; exit
# status 1 when any survived. The source is restored after every fault, also
# when the script is interrupted.
set -uo pipefail
cd "$(dirname "$0")/.."
faults=${1:-tools/mutants.txt}
build=${2:-build-mutants}
jobs=${JOBS:-2}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQIRO_BENCH=OFF > /dev/null || exit 2
cmake --build "$build" -j "$jobs" > /dev/null || { echo "mutants: the unchanged source does not build"; exit 2; }

current=""
# The restored file is touched: moved back, it keeps the time of its copy,
# older than the mutant's object, and the next build would keep the mutant.
restore() { [ -n "$current" ] && [ -f "$current.mutant-orig" ] && mv "$current.mutant-orig" "$current" && touch "$current"; current=""; }
trap 'restore; exit 130' INT TERM

caught=0; survived=0; broken=0
while IFS='|' read -r file text replacement what; do
  [ -z "$file" ] || [ "${file:0:1}" = "#" ] && continue
  if ! python3 -c 'import sys; sys.exit(sys.argv[2].replace("\\N", "\n") not in open(sys.argv[1]).read())' "$file" "$text"; then
    printf '%-9s %s: %s (text not found)\n' "missing" "$file" "$what"; broken=$((broken + 1)); continue
  fi
  current=$file
  cp "$file" "$file.mutant-orig"
  python3 - "$file" "$text" "$replacement" <<'PY'
import sys
path, text, repl = (a.replace("\\N", "\n") for a in sys.argv[1:4])
src = open(path).read()
open(path, "w").write(src.replace(text, repl, 1))
PY
  if ! cmake --build "$build" -j "$jobs" > /dev/null 2>&1; then
    verdict="no-build"; broken=$((broken + 1))
  elif (cd "$build" && ctest -j "$jobs" > /dev/null 2>&1); then
    verdict="SURVIVED"; survived=$((survived + 1))
  else
    verdict="caught"; caught=$((caught + 1))
  fi
  restore
  printf '%-9s %s: %s\n' "$verdict" "$file" "$what"
done < "$faults"
cmake --build "$build" -j "$jobs" > /dev/null 2>&1
echo "mutants: $caught caught, $survived survived, $broken not applied"
[ "$survived" -eq 0 ]
