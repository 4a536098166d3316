#!/usr/bin/env bash
# Runs the fuzz targets built by `make fuzz` (cmake -DQIRO_FUZZ=ON).
#
#   tools/run-fuzz.sh BUILD_DIR SECONDS [TARGET...]
#
# Each target (default: fasta freq pk options db neg peak) runs for SECONDS at the lowest
# priority, from the seeds in fuzz/corpus/<target>/ and a working corpus in
# BUILD_DIR/corpus/<target>/ that grows over runs. FUZZ_JOBS targets (default 1)
# run at a time. An input that crashes a target is saved in
# BUILD_DIR/artifacts/<target>/ and the script ends with status 1; keep such an
# input as a regression test in tests/data/fuzz/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:?build folder}
seconds=${2:?seconds per target}
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fasta freq pk options db neg peak)
jobs=${FUZZ_JOBS:-1}

run_one() {
  local t=$1
  local bin=$build/fuzz/fuzz_$t
  if [ ! -x "$bin" ]; then
    echo "run-fuzz: $bin is missing (build with make fuzz)" >&2
    return 1
  fi
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t"
  local dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "run-fuzz: $t for ${seconds}s"
  nice -n 19 "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 "${dict[@]}" -artifact_prefix="$build/artifacts/$t/" \
    "$build/corpus/$t" "fuzz/corpus/$t" >"$build/fuzz-$t.log" 2>&1
  local status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "$build/fuzz-$t.log" |
    sed "s/^/run-fuzz: $t: /"
  if [ $status -ne 0 ]; then
    echo "run-fuzz: $t found a problem (status $status); see $build/fuzz-$t.log and $build/artifacts/$t/" >&2
    grep -E 'ERROR|SUMMARY|runtime error' "$build/fuzz-$t.log" | head -5 >&2
    return 1
  fi
}

failed=0
running=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
    running=$((running - 1))
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
