#!/usr/bin/env bash
# Whole-run comparison: the current build against an older commit (by default the
# one where post-processing landed), on the planted benchmark sets and one real
# ChIP-seq set, with the same seed. Prints one table row per set: median wall
# seconds of RUNS runs each, their ratio, whether the result files are
# byte-identical, and the peak memory of the current build; then the growth
# from B2 to B3 (5x the data).
#
#   bench/compare.sh                 # all of it (about an hour: the old build is slow)
#   RUNS=1 CASES="B2" bench/compare.sh
set -euo pipefail
cd "$(dirname "$0")/.."

OLD=${OLD:-de89c59}
RUNS=${RUNS:-3}
OLD_RUNS=${OLD_RUNS:-$RUNS}   # the old build is slow: its runs may be fewer
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

# run <binary> <label> <args...>: prints "seconds peakKB"; the result file is $WORK/out/<label>.out
run() {
  local bin=$1 label=$2; shift 2
  local out=$PWD/$WORK/out/$label
  (cd "$WORK/data" && /usr/bin/time -f "%e %M" -o "$out.time" "$bin" "$@" -o "$out.out" > "$out.log")
  cat "$out.time"
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

echo "medians of $OLD_RUNS old and $RUNS new runs; wall seconds"
printf '%-8s %10s %10s %8s %10s %14s\n' set old_s new_s ratio identical new_peak_MiB
for c in $CASES; do
  [ "$c" = POU5F1 ] && [ ! -f "$WORK/data/POU5F1.fa" ] && continue
  read -r -a a <<< "$(args_of "$c")"
  olds=() news=() peak=0 same=yes
  for i in $(seq 1 "$OLD_RUNS"); do
    read -r t m <<< "$(run "$OLD_BIN" "$c.old.$i" "${a[@]}")"; olds+=("$t")
  done
  for i in $(seq 1 "$RUNS"); do
    read -r t m <<< "$(run "$NEW_BIN" "$c.new.$i" "${a[@]}")"; news+=("$t")
    [ "$m" -gt "$peak" ] && peak=$m
    cmp -s "$WORK/out/$c.old.1.out" "$WORK/out/$c.new.$i.out" || same=no
  done
  o=$(printf '%s\n' "${olds[@]}" | median); n=$(printf '%s\n' "${news[@]}" | median)
  printf '%-8s %10.2f %10.2f %8.1f %10s %14.0f\n' "$c" "$o" "$n" "$(awk -v a="$o" -v b="$n" 'BEGIN {print a / b}')" "$same" "$((peak / 1024))"
done

if [ "${GROWTH:-yes}" = yes ]; then
  echo
  echo "Growth from B2 to B3 (5x the data), current build, medians of $RUNS:"
  for s in B2 B3; do
    read -r -a a <<< "$(args_of "$s")"
    ga=() full=() peak=0 gens=0
    for i in $(seq 1 "$RUNS"); do
      read -r t m <<< "$(run "$NEW_BIN" "$s.ga.$i" "${a[@]}" -post F)"; ga+=("$t")
      gens=$(sed -n 's/^Finish the GA process after \([0-9]*\) generations.*/\1/p' "$WORK/out/$s.ga.$i.log")
      read -r t m <<< "$(run "$NEW_BIN" "$s.full.$i" "${a[@]}")"; full+=("$t")
      [ "$m" -gt "$peak" ] && peak=$m
    done
    g=$(printf '%s\n' "${ga[@]}" | median); f=$(printf '%s\n' "${full[@]}" | median)
    printf '%s: %s generations, %.3f s per generation (search only), post-processing %.1f s, whole run %.1f s, peak %d MiB\n' \
      "$s" "$gens" "$(awk -v a="$g" -v b="$gens" 'BEGIN {print a / b}')" "$(awk -v a="$f" -v b="$g" 'BEGIN {print a - b}')" "$f" "$((peak / 1024))"
  done
fi
