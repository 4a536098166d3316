#!/usr/bin/env bash
# Whole-run comparison: the current build against an older commit (by default the
# one where post-processing landed), on the planted benchmark sets and one real
# ChIP-seq set, with the same seed. Prints one table row per set: median wall
# and processor seconds of RUNS runs each, their ratios, whether the result
# files are byte-identical, and the peak memory of the current build; then the
# growth from B2 to B3 (5x the data).
#
#   bench/compare.sh                 # all of it (about 80 minutes: the old build is slow)
#   RUNS=1 CASES="B2" bench/compare.sh
set -euo pipefail
cd "$(dirname "$0")/.."

OLD=${OLD:-de89c59}
RUNS=${RUNS:-3}
OLD_RUNS=${OLD_RUNS:-$RUNS}   # the old build is slow: its runs may be fewer
REAL_OLD_RUNS=${REAL_OLD_RUNS:-1}  # on the real set, by default one old run (a quarter hour)
CASES=${CASES:-"B2 B2+PK POU5F1"}
WORK=${WORK:-build-bench}
DATA=${DATA:-../shared/data}
JOBS=${JOBS:-2}
mkdir -p "$WORK/data" "$WORK/out"

echo "== building the current tree and $OLD" >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$JOBS" --target qiro qiro-freq make_bench_sets >/dev/null
if [ ! -x "$WORK/old/build/qiro" ]; then
  rm -rf "$WORK/old"
  mkdir -p "$WORK/old"
  git archive "$OLD" | tar -x -C "$WORK/old"
  cmake -S "$WORK/old" -B "$WORK/old/build" -DCMAKE_BUILD_TYPE=Release -DQIRO_BENCH=OFF >/dev/null
  cmake --build "$WORK/old/build" -j "$JOBS" --target qiro >/dev/null
fi
NEW_BIN=$PWD/build/qiro
OLD_BIN=$PWD/$WORK/old/build/qiro

echo "== writing the data sets" >&2
build/bench/make_bench_sets "$WORK/data" >&2
for s in B1 B2 B3; do build/qiro-freq -o "$WORK/data/$s.freq" "$WORK/data/$s.fa"; done
real="$DATA/chipseq_encode_hg19/H1_POU5F1_ChIP_HAIB.noN.fa.gz"
if [ -f "$real" ]; then
  gzip -dc "$real" > "$WORK/data/POU5F1.fa"
  build/qiro-freq -o "$WORK/data/POU5F1.freq" "$WORK/data/POU5F1.fa"
fi

args_of() {
  case "$1" in
    B1) echo "-i B1.fa -freq B1.freq -k 12 -seed 1" ;;
    B2) echo "-i B2.fa -freq B2.freq -k 10 -seed 1" ;;
    B2+PK) echo "-i B2.fa -freq B2.freq -pk B2.pk -seed 1" ;;
    B3) echo "-i B3.fa -freq B3.freq -k 10 -seed 1" ;;
    POU5F1) echo "-i POU5F1.fa -freq POU5F1.freq -k 8 -seed 1" ;;
  esac
}

# run <binary> <label> <args...>: prints "wall_seconds peakKB cpu_seconds" (cpu = user + system);
# the result file is $WORK/out/<label>.out
run() {
  local bin=$1 label=$2; shift 2
  local out=$PWD/$WORK/out/$label
  (cd "$WORK/data" && /usr/bin/time -f "%e %M %U %S" -o "$out.time" "$bin" "$@" -o "$out.out" > "$out.log")
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$out.time"
}

# post_seconds <log>: time from the end of the search to the end of post-processing,
# read off the arrival times of those two lines (see run_stamped)
post_seconds() {
  awk '/Finish the GA process/ {a=$1} /Finish the Post Processing/ {b=$1} END {printf "%.2f\n", b-a}' "$1"
}

# run_stamped <binary> <label> <args...>: as run, with each line of the log preceded by
# the time it arrived (line-buffered, stamped without starting a process per line)
run_stamped() {
  local bin=$1 label=$2; shift 2
  local out=$PWD/$WORK/out/$label
  (cd "$WORK/data" && /usr/bin/time -f "%e %M %U %S" -o "$out.time" stdbuf -oL "$bin" "$@" -o "$out.out" |
    while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done > "$out.log")
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$out.time"
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

echo "medians of $OLD_RUNS old ($REAL_OLD_RUNS on POU5F1) and $RUNS new runs; wall seconds, then processor seconds (user + system)"
printf '%-8s %9s %9s %7s %9s %9s %7s %10s %13s\n' set old_wall new_wall ratio old_cpu new_cpu ratio identical new_peak_MiB
for c in $CASES; do
  [ "$c" = POU5F1 ] && [ ! -f "$WORK/data/POU5F1.fa" ] && continue
  read -r -a a <<< "$(args_of "$c")"
  olds=() news=() oldc=() newc=() peak=0 same=yes
  nold=$OLD_RUNS
  [ "$c" = POU5F1 ] && nold=$REAL_OLD_RUNS
  for i in $(seq 1 "$nold"); do
    read -r t m u <<< "$(run "$OLD_BIN" "$c.old.$i" "${a[@]}")"; olds+=("$t"); oldc+=("$u")
  done
  for i in $(seq 1 "$RUNS"); do
    read -r t m u <<< "$(run "$NEW_BIN" "$c.new.$i" "${a[@]}")"; news+=("$t"); newc+=("$u")
    [ "$m" -gt "$peak" ] && peak=$m
    cmp -s "$WORK/out/$c.old.1.out" "$WORK/out/$c.new.$i.out" || same=no
  done
  o=$(printf '%s\n' "${olds[@]}" | median); n=$(printf '%s\n' "${news[@]}" | median)
  oc=$(printf '%s\n' "${oldc[@]}" | median); nc=$(printf '%s\n' "${newc[@]}" | median)
  printf '%-8s %9.2f %9.2f %7.1f %9.2f %9.2f %7.1f %10s %13.0f\n' "$c" "$o" "$n" "$(awk -v a="$o" -v b="$n" 'BEGIN {print a / b}')" \
    "$oc" "$nc" "$(awk -v a="$oc" -v b="$nc" 'BEGIN {print a / b}')" "$same" "$((peak / 1024))"
done

if [ "${GROWTH:-yes}" = yes ]; then
  # Time per generation: the difference between searches stopped after G1 and
  # after G2 generations (neither set stalls that early), so that loading and
  # the first generations do not count; medians of RUNS. The whole runs (search
  # and post-processing) are long on B3: FULL_RUNS of them, once by default
  # (FULL_RUNS_B2, three, on B2). Post-processing is timed within the whole run,
  # from the line ending the search to the line ending post-processing; search_s
  # is the rest of the run (loading and writing included).
  G1=${G1:-20}
  G2=${G2:-120}
  FULL_RUNS=${FULL_RUNS:-1}
  echo
  echo "Growth from B2 to B3 (5x the data), current build; wall seconds"
  printf '%-4s %14s %12s %14s %12s %12s %13s\n' set s_per_gen generations search_s post_s whole_s peak_MiB
  declare -A per postOf
  for s in ${GROWTH_SETS:-B2 B3}; do
    read -r -a a <<< "$(args_of "$s")"
    d=()
    for i in $(seq 1 "$RUNS"); do
      read -r t1 m u <<< "$(run "$NEW_BIN" "$s.g$G1.$i" "${a[@]}" -post F -g "$G1")"
      read -r t2 m u <<< "$(run "$NEW_BIN" "$s.g$G2.$i" "${a[@]}" -post F -g "$G2")"
      d+=("$(awk -v a="$t1" -v b="$t2" -v n=$((G2 - G1)) 'BEGIN {print (b - a) / n}')")
    done
    per[$s]=$(printf '%s\n' "${d[@]}" | median)
    full=() post=() peak=0 gens=0
    n=$FULL_RUNS
    [ "$s" = B2 ] && n=${FULL_RUNS_B2:-3}
    for i in $(seq 1 "$n"); do
      read -r t m u <<< "$(run_stamped "$NEW_BIN" "$s.full.$i" "${a[@]}")"; full+=("$t")
      gens=$(sed -n 's/^[0-9.]* Finish the GA process after \([0-9]*\) generations.*/\1/p' "$WORK/out/$s.full.$i.log")
      post+=("$(post_seconds "$WORK/out/$s.full.$i.log")")
      [ "$m" -gt "$peak" ] && peak=$m
    done
    f=$(printf '%s\n' "${full[@]}" | median); p=$(printf '%s\n' "${post[@]}" | median)
    printf '%-4s %14.4f %12s %14.1f %12.2f %12.1f %13d\n' "$s" "${per[$s]}" "$gens" \
      "$(awk -v a="$f" -v b="$p" 'BEGIN {print a - b}')" "$p" "$f" "$((peak / 1024))"
    postOf[$s]=$p
  done
  if [ -n "${per[B2]:-}" ] && [ -n "${per[B3]:-}" ]; then
    printf 'B3 / B2 time per generation: %.1fx\n' "$(awk -v a="${per[B3]}" -v b="${per[B2]}" 'BEGIN {print a / b}')"
    printf 'B3 / B2 post-processing: %.1fx\n' "$(awk -v a="${postOf[B3]}" -v b="${postOf[B2]}" 'BEGIN {print a / b}')"
  fi
fi
