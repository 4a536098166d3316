"""The ceiling of a single-matrix scan on the planted sets: every set scanned with the very
JASPAR matrix its sites were drawn from, so that qiro's figures on those sets can be read
against what any method that calls sites with one matrix could reach.

* Score of a window: log2(f / b) summed over its columns, f the matrix's letter share
  (floored at 1e-4: a planted site never holds a letter its column gives no share) and b
  the set's own zero-order background on both strands (matrix_scan.background).  That is
  the likelihood ratio of the model the sites were sampled from, the best score a scan of
  one site at a time can use.  Both strands; one site per place (matrix_scan.scan).
* Thresholds: each set's best by hindsight (the one of highest nucleotide nCC on that set,
  tried at up to 60 quantiles of the scores of windows with p < 0.01), and the fixed
  p-values 1e-4 and 1e-3 of matrix_scan, which look at no answer.
* Measures as accuracy.py counts them (accuracy_scoring.score), pooled over the sets.

An upper reference, not a method: the hindsight threshold reads the answer key.

    python3 -B bench/accuracy/oracle.py --planted build/planted
"""

import argparse
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import accuracy  # noqa: E402
import accuracy_scoring  # noqa: E402
import make_planted  # noqa: E402
import matrix_scan  # noqa: E402

FLOOR = 1e-4
QUANTILES = 60


def true_columns(shares, bg):
    """Integer column scores (matrix_scan.GRID units per bit) of the matrix's shares."""
    return [{c: int(round(matrix_scan.GRID * math.log2(max(col[i], FLOOR) / bg[c])))
             for i, c in enumerate("ACGT")} for col in shares]


def cuts_to_try(scores):
    ordered = sorted(set(scores))
    if len(ordered) <= QUANTILES:
        return ordered
    return sorted({ordered[int(i * (len(ordered) - 1) / (QUANTILES - 1))] for i in range(QUANTILES)})


def nucleotide_cc(counts):
    value = accuracy_scoring.measures(counts)["nCC"]
    return value if value is not None else -1.0


def one_set(records, known, shares):
    lengths = {n: len(s) for n, s in records.items()}
    bg = matrix_scan.background(records.values())
    columns = true_columns(shares, bg)
    low, tail = matrix_scan.score_tail(columns, bg)
    floor_cut = matrix_scan.threshold(low, tail, 1e-2)
    hits = matrix_scan.scan(records, columns, floor_cut if floor_cut is not None else low)
    results = {}
    best = None
    for cut in cuts_to_try([h[3] for h in hits]):
        counts = accuracy_scoring.score(lengths, known, [(n, s, e) for n, s, e, v in hits if v >= cut])
        if best is None or nucleotide_cc(counts) > nucleotide_cc(best):
            best = counts
    results["hindsight"] = best if best is not None else accuracy_scoring.score(lengths, known, [])
    for level in matrix_scan.LEVELS:
        cut = matrix_scan.threshold(low, tail, level)
        called = [] if cut is None else [(n, s, e) for n, s, e, v in hits if v >= cut]
        results["p<" + matrix_scan.level_label(level)] = accuracy_scoring.score(lengths, known, called)
    return results


def cells(m):
    """The measures of a table row, as its cells."""
    return " | ".join("-" if m[k] is None else "%.3f" % m[k] for k in ("nSn", "nPPV", "nCC", "sSn", "sPPV"))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--planted", required=True, help="folder of make_planted.py's sets (index.tsv)")
    parser.add_argument("--data", default=os.path.join(HERE, "..", "..", "..", "shared", "data"),
                        help="folder holding jaspar2024_core/ (default: ../shared/data from the repo)")
    args = parser.parse_args(argv)
    matrices = make_planted.read_jaspar(os.path.join(args.data, "jaspar2024_core", make_planted.JASPAR_FILE))
    totals = {}
    print("| set | threshold | nSn | nPPV | nCC | sSn | sPPV |")
    print("|---|---|---:|---:|---:|---:|---:|")
    with open(os.path.join(args.planted, "index.tsv")) as handle:
        rows = [line.rstrip("\n").split("\t") for line in handle][1:]
    for row in rows:
        name, mid = row[0], row[2]
        records = accuracy.read_fasta(os.path.join(args.planted, name + ".fasta"))
        known = accuracy.read_sites(os.path.join(args.planted, name + ".sites.tsv"))
        for label, counts in one_set(records, known, matrices[mid][1]).items():
            totals.setdefault(label, dict.fromkeys(accuracy_scoring.COUNT_KEYS, 0))
            accuracy_scoring.add_counts(totals[label], counts)
            if label == "hindsight":
                m = accuracy_scoring.measures(counts)
                print("| %s | %s | %s |" % (name, label, cells(m)))
    print()
    print("| pooled over %d sets | nSn | nPPV | nCC | sSn | sPPV |" % len(rows))
    print("|---|---:|---:|---:|---:|---:|")
    for label, counts in totals.items():
        m = accuracy_scoring.measures(counts)
        print("| true matrix, %s | %s |" % (label, cells(m)))


if __name__ == "__main__":
    main()
