#!/usr/bin/env python3
"""Pool accuracy.py's runs on planted sets by size and share, from its result files.

    pooled_groups.py DATA WORK VARIANT [VARIANT ...]

DATA holds the planted sets (<name>.fasta and <name>.sites.tsv, names as make_planted.py
writes them with --sizes: <set>_n<size>_<percent>[_s<sites>]); WORK/VARIANT holds an
accuracy.py --width-rule known run (its <name>.kn<width>.out files).  Each set's top
model's sites are scored as accuracy.py scores them, and the counts pooled per group:
all; 20 to 1,000 sequences; 100 to 1,000; 10 to 30, and those split into sets where every
sequence holds a site and where only part of them do.  A set without a reported motif
counts all its sites as missed.  Prints one markdown row per group and variant.
"""

import glob
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from accuracy import read_fasta_lengths, read_sites, parse_result  # noqa: E402
from accuracy_scoring import score, add_counts, measures, COUNT_KEYS  # noqa: E402

ORDER = ("all", "20-1000", "100-1000", "10-30", "10-30, every sequence", "10-30, part of the sequences")


def groups(name):
    """The groups a set of this name counts in."""
    m = re.match(r".*_n(\d+)_(\d+)(_s\d+)?$", name)
    n, share = int(m.group(1)), int(m.group(2))
    found = ["all"]
    if n >= 20:
        found.append("20-1000")
    if n >= 100:
        found.append("100-1000")
    if n <= 30:
        found.append("10-30")
        found.append("10-30, every sequence" if share == 100 else "10-30, part of the sequences")
    return found


def pooled(data, work, variant):
    """{group: counts}, {group: sets}, {group: sets with a reported motif}."""
    totals = {g: dict.fromkeys(COUNT_KEYS, 0) for g in ORDER}
    sets = dict.fromkeys(ORDER, 0)
    reported = dict.fromkeys(ORDER, 0)
    for fasta in sorted(glob.glob(os.path.join(data, "*.fasta"))):
        name = os.path.basename(fasta)[:-len(".fasta")]
        predicted = []
        outs = glob.glob(os.path.join(work, variant, name + ".kn*.out"))
        if outs:
            with open(outs[0]) as handle:
                motifs = parse_result(handle.read())
            if motifs:
                predicted = [(s[0], s[1], s[2]) for s in motifs[0]["sites"]]
        counts = score(read_fasta_lengths(fasta), read_sites(fasta[:-len(".fasta")] + ".sites.tsv"), predicted)
        for g in groups(name):
            add_counts(totals[g], counts)
            sets[g] += 1
            reported[g] += 1 if predicted else 0
    return totals, sets, reported


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    if len(args) < 3:
        sys.exit(__doc__.split("\n\n")[1])
    data, work, variants = args[0], args[1], args[2:]
    results = {v: pooled(data, work, v) for v in variants}
    print("| group | variant | sets (reported) | nCC | sSn | sPPV |")
    print("|---|---|---|---:|---:|---:|")
    for g in ORDER:
        for v in variants:
            totals, sets, reported = results[v]
            m = measures(totals[g])
            print("| %s | %s | %d (%d) | %.3f | %.3f | %.3f |" % (g, v, sets[g], reported[g], m["nCC"], m["sSn"], m["sPPV"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
