#!/usr/bin/env bash
# What judging costs: the same run at one width without -evalue, with the judge
# alone (-words 0) and with the default searches from words (the recommended
# line's masking in all), on the planted benchmark set B2 and the first 1,000
# NRSF ChIP-seq peaks. Prints per case the median wall and processor seconds
# of RUNS runs each and their ratios to the run without -evalue.
#
#   bench/evalue_cost.sh            # RUNS=3
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${RUNS:-3}
WORK=${WORK:-build-bench}
DATA=${DATA:-../shared/data}
mkdir -p "$WORK/data" "$WORK/evalue"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target qiro qiro-freq make_bench_sets >/dev/null
[ -f "$WORK/data/B2.fa" ] || build/bench/make_bench_sets "$WORK/data" >&2
build/qiro-freq -o "$WORK/data/B2.freq" "$WORK/data/B2.fa" >/dev/null
real="$DATA/chipseq_encode_hg19/HeLaS3_NRSF_ChIP_HAIB.masked.fa.gz"
if [ -f "$real" ]; then
  zcat "$real" | awk '/^>/{n++} n<=1000' > "$WORK/data/NRSF_1000.fa"
  build/qiro-freq -o "$WORK/data/NRSF_1000.freq" "$WORK/data/NRSF_1000.fa" >/dev/null
fi

# median of the numbers on standard input
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

# run NAME ARGS...: RUNS runs, prints "wall cpu" medians
run() {
  local name=$1; shift
  : > "$WORK/evalue/$name.times"
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -f "%e %U %S" -o "$WORK/evalue/$name.t" build/qiro "$@" -o "$WORK/evalue/$name.out" \
      > "$WORK/evalue/$name.log"
    awk '{print $1, $2 + $3}' "$WORK/evalue/$name.t" >> "$WORK/evalue/$name.times"
  done
  echo "$(cut -d' ' -f1 "$WORK/evalue/$name.times" | median) $(cut -d' ' -f2 "$WORK/evalue/$name.times" | median)"
}

printf "| set | width | wall plain (s) | judge alone (s) | ratio | judge + words (s) | ratio | CPU plain (s) | CPU judge + words (s) | ratio |\n"
printf "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
for case in "B2 12" "NRSF_1000 12"; do
  set -- $case
  [ -f "$WORK/data/$1.fa" ] || continue
  base=(-i "$WORK/data/$1.fa" -freq "$WORK/data/$1.freq" -k "$2" -seed 1 -threads 2 -mask T -dust 20)
  read -r w0 c0 <<< "$(run "$1-plain" "${base[@]}")"
  read -r w1 c1 <<< "$(run "$1-judge" "${base[@]}" -evalue 0.05 -words 0)"
  read -r w2 c2 <<< "$(run "$1-words" "${base[@]}" -evalue 0.05)"
  awk -v s="$1" -v k="$2" -v w0="$w0" -v w1="$w1" -v w2="$w2" -v c0="$c0" -v c2="$c2" 'BEGIN {
    printf "| %s | %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", s, k, w0, w1, w1 / w0, w2, w2 / w0, c0, c2, c2 / c0 }'
done
echo "(medians of $RUNS runs each, $(nproc) cores, $(date -u +%F))"
