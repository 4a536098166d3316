#!/bin/sh
# Masking variants side by side with the default, on the Tompa collection and on the
# planted sets, under one width rule per call.  Every variant runs with the same seed,
# background files and settings; only the masking options differ.
#
#   bench/accuracy/masking_side_by_side.sh tompa known    # or: tompa map, planted known, ...
#
# Environment: BUILD (folder with qiro and qiro-freq, default build), DATA (default
# ../shared/data), PLANTED (planted sets written by make_planted.py, default
# build/planted), OUT (default build/accuracy-masking), JOBS (default 2),
# VARIANTS (default "none mask dust maskdust").
# Tables: OUT/<collection>/<variant>/accuracy[-known].md; one log per call in OUT.
set -eu
collection=$1
rule=$2
BUILD=${BUILD:-build}
DATA=${DATA:-../shared/data}
PLANTED=${PLANTED:-build/planted}
OUT=${OUT:-build/accuracy-masking}
JOBS=${JOBS:-2}
VARIANTS=${VARIANTS:-none mask dust maskdust}
here=$(dirname "$0")

case $collection in
    tompa) where="--data $DATA --only tompa2005" ;;
    planted) where="--data $PLANTED" ;;
    *) echo "collection: tompa or planted" >&2; exit 2 ;;
esac
mkdir -p "$OUT/$collection"
for variant in $VARIANTS; do
    case $variant in
        none) opts="-threads 1" ;;
        mask) opts="-mask T -threads 1" ;;
        dust) opts="-dust 20 -threads 1" ;;
        maskdust) opts="-mask T -dust 20 -threads 1" ;;
        *) echo "unknown variant $variant" >&2; exit 2 ;;
    esac
    echo "$(date '+%F %T') start $collection $rule $variant: $opts"
    # shellcheck disable=SC2086
    python3 -B "$here/accuracy.py" $where --bin "$BUILD" --work "$OUT/$collection" \
        --label "$variant" --width-rule "$rule" --jobs "$JOBS" --qiro-args="$opts" \
        > "$OUT/$collection/$variant-$rule.stdout" 2> "$OUT/$collection/$variant-$rule.stderr"
    tail -n 1 "$OUT/$collection/$variant-$rule.stderr"
    echo "$(date '+%F %T') end $collection $rule $variant"
done
