#!/usr/bin/env bash
# Byte-for-byte comparison of two builds: runs each case with both, every extra
# output written, and compares the result file, the console output (the
# elapsed-time line aside) and the MEME, JASPAR, BED, JSON and HTML files.
# For changes that must not change any result (moving code, speed work).
# Judged cases (-evalue) run with -verbose, so that the log of every search is
# compared, not only the answer a judged run prints by default.
#
#   tools/same-results.sh OLD_BIN_DIR NEW_BIN_DIR [DATA_DIR]
#
# A bin dir holds qiro and qiro-freq. DATA_DIR (default ../shared/data) holds
# the public E. coli sets; the CRP cases use examples/. Exit status 1 when any
# file differs.
set -uo pipefail
cd "$(dirname "$0")/.."
old=$(cd "$1" && pwd); new=$(cd "$2" && pwd)
data=${3:-../shared/data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp examples/crp0.fasta examples/crp0.freq examples/crp_regulondb_sites.txt "$work/"
have_lexa=0
if [ -f "$data/ecoli_lexa/lexa_sos_400bp.fasta" ]; then
  cp "$data/ecoli_lexa/lexa_sos_400bp.fasta" "$data/ecoli_lexa/regulondb2012_lexa_sites_20bp.txt" "$work/"
  "$new/qiro-freq" -o "$work/lexa.freq" "$work/lexa_sos_400bp.fasta"
  have_lexa=1
fi
# The judged run on peaks: the first 1,000 NRSF peaks, named after JASPAR vertebrates.
have_nrsf=0
nrsf="$data/chipseq_encode_hg19/HeLaS3_NRSF_ChIP_HAIB.masked.fa.gz"
jaspar="$data/jaspar2024_core/JASPAR2024_CORE_vertebrates_non-redundant_pfms_meme.txt"
if [ -f "$nrsf" ] && [ -f "$jaspar" ]; then
  zcat "$nrsf" | awk '/^>/{n++} n<=1000' > "$work/nrsf1k.fa"
  cp "$jaspar" "$work/jaspar_vert.meme"
  "$new/qiro-freq" -o "$work/nrsf1k.freq" "$work/nrsf1k.fa" > /dev/null
  have_nrsf=1
fi

cases=(
  "crp|-i crp0.fasta -freq crp0.freq -k 22 -seed 1"
  "crp-pk|-i crp0.fasta -freq crp0.freq -pk crp_regulondb_sites.txt -perpk 0.3 -seed 3"
  "crp-nopost|-i crp0.fasta -freq crp0.freq -k 12 -seed 5 -post F -d F"
  "crp-pk-nofilter|-i crp0.fasta -freq crp0.freq -pk crp_regulondb_sites.txt -f F -pkq 0.2 -ns 3 -seed 7"
  "crp-pk-evalue|-i crp0.fasta -freq crp0.freq -pk crp_regulondb_sites.txt -evalue 0.05 -seed 1"
)
if [ $have_lexa = 1 ]; then
  cases+=("lexa|-i lexa_sos_400bp.fasta -freq lexa.freq -k 20 -seed 1"
          "lexa-pk|-i lexa_sos_400bp.fasta -freq lexa.freq -pk regulondb2012_lexa_sites_20bp.txt -perpk 0.5 -seed 2")
fi
if [ $have_nrsf = 1 ]; then
  cases+=("nrsf-judged|-i nrsf1k.fa -freq nrsf1k.freq -mask T -dust 20 -evalue 0.05 -k 8-15 -nmotifs 2 -db jaspar_vert.meme -seed 1")
fi

# Each side in its own folder under the same file names: the names appear
# in the outputs.
mkdir -p "$work/old" "$work/new"
for f in "$work"/*.*; do cp "$f" "$work/old/"; cp "$f" "$work/new/"; done

status=0
for c in "${cases[@]}"; do
  name=${c%%|*}; args=${c#*|}
  for t in 1 2; do
    for side in old new; do
      bin=$old; [ $side = new ] && bin=$new
      o=$name.$t
      # A judged run prints its answer alone unless -verbose asks for the log
      # of every search: the log is what is compared (an older build, which
      # knows no -verbose, passes over the word).
      extra=""
      case " $args " in *" -evalue "*) extra="-verbose" ;; esac
      (cd "$work/$side" && "$bin/qiro" $args $extra -threads $t -o $o.out -meme $o.meme -jaspar $o.jaspar \
        -bed $o.bed -json $o.json -html $o.html 2>/dev/null | sed "s/^Time taken: .*//; s|$bin/qiro|qiro|" > $o.log)
    done
    differ=""
    for ext in out log meme jaspar bed json html; do
      cmp -s "$work/old/$name.$t.$ext" "$work/new/$name.$t.$ext" || differ="$differ $ext"
    done
    same=yes
    [ -z "$differ" ] || { same="NO (differ:$differ)"; status=1; }
    printf '%-18s threads %d  %s bytes  same: %s\n' "$name" $t "$(wc -c < "$work/new/$name.$t.out")" "$same"
  done
done
exit $status
