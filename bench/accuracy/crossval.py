"""k-fold cross-validation of a small input's top motif, measured from outside qiro.

For each of k folds, qiro searches the other folds (the recommended line with
`-evalue 1e9 -nmotifs 1`, so that its best candidate is always reported) and its
reported matrix and site threshold (from -json) score the fold held out: a held-out
sequence holds a site when its best window, either strand, reaches the threshold.
Each held-out sequence is also shuffled `--copies` times (letter triplets kept, as the
run's own controls are) and scored the same way. The counts are pooled over the folds
into one one-sided Fisher p-value: how much more often the held-out input holds the
top motif than its shuffles do. No fold's motif saw the sequences it is judged on, so
on inputs without a motif the p-value is uniform; what the measure asks is whether
searching on four fifths of a small input still finds a motif that the last fifth
confirms.

Windows holding a lower-case letter (masked by -mask T) or a letter other than A, C,
G, T are not scored; DUST masking is not repeated here.

    python3 -B bench/accuracy/crossval.py --bin build --width 12 set1.fasta set2.fasta

prints one line per input: name, held-out input with a site / held-out input,
shuffles with a site / shuffles, log10 p, and the folds' consensus sequences.
"""

import argparse
import json
import math
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from controls import read_records, shuffle_words  # noqa: E402

CODE = {"A": 0, "C": 1, "G": 2, "T": 3}


def log10_fisher(a, n1, b, n2):
    """log10 P(X >= a) for X hypergeometric: a + b draws from n1 + n2, n1 marked."""
    total, drawn = n1 + n2, a + b

    def log_choose(n, k):
        return math.lgamma(n + 1) - math.lgamma(k + 1) - math.lgamma(n - k + 1)

    terms = [log_choose(n1, x) + log_choose(n2, drawn - x) - log_choose(total, drawn)
             for x in range(a, min(n1, drawn) + 1)]
    top = max(terms)
    return (top + math.log(sum(math.exp(t - top) for t in terms))) / math.log(10)


def best_window(columns, letters):
    """The best score of any window on either strand; None without a window."""
    w = len(columns)
    reverse = [[col[3 - b] for b in range(4)] for col in reversed(columns)]
    best = None
    for start in range(len(letters) - w + 1):
        window = letters[start:start + w]
        if any(c not in CODE for c in window):
            continue
        codes = [CODE[c] for c in window]
        score = max(sum(col[x] for col, x in zip(columns, codes)),
                    sum(col[x] for col, x in zip(reverse, codes)))
        best = score if best is None or score > best else best
    return best


def top_motif(qiro, records, width, work, fold, threads):
    """qiro's best candidate on the training records: (columns, threshold, consensus)."""
    fasta = os.path.join(work, "train%d.fasta" % fold)
    with open(fasta, "w") as out:
        for name, letters in records:
            out.write(">%s\n%s\n" % (name, letters))
    result = os.path.join(work, "train%d.json" % fold)
    subprocess.run([qiro, "-i", fasta, "-k", str(width), "-seed", "1", "-o",
                    os.path.join(work, "train%d.out" % fold), "-mask", "T", "-dust", "20",
                    "-evalue", "1e9", "-nmotifs", "1", "-threads", str(threads), "-json", result],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    try:
        with open(result) as handle:
            motif = json.load(handle)["motifs"][0]
    except (OSError, ValueError, IndexError, KeyError):
        return None
    odds = motif["log_odds"]
    columns = [[odds[b][j] for b in "ACGT"] for j in range(width)]
    return columns, motif["threshold"], motif["consensus"]


def cross_validate(qiro, fasta, width, folds, copies, seed, threads):
    records = read_records(fasta)
    rng = random.Random(seed)
    order = list(range(len(records)))
    rng.shuffle(order)
    a = n1 = b = n2 = 0
    names = []
    with tempfile.TemporaryDirectory() as work:
        for fold in range(folds):
            held = set(order[fold::folds])
            train = [r for i, r in enumerate(records) if i not in held]
            motif = top_motif(qiro, train, width, work, fold, threads)
            names.append(motif[2] if motif else "-")
            for i in sorted(held):
                # Upper-case letters only: lower case is masked on the recommended line.
                letters = records[i][1]
                n1 += 1
                n2 += copies
                if motif is None:
                    continue
                columns, cut = motif[0], motif[1] - 1e-6
                score = best_window(columns, letters)
                a += score is not None and score >= cut
                for _ in range(copies):
                    score = best_window(columns, shuffle_words(letters, rng))
                    b += score is not None and score >= cut
    log10p = log10_fisher(a, n1, b, n2) if a > 0 else 0.0
    return a, n1, b, n2, log10p, names


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("fasta", nargs="+")
    parser.add_argument("--bin", default="build", help="folder holding the qiro binary")
    parser.add_argument("--width", type=int, help="motif width (default: that of SET.sites.tsv)")
    parser.add_argument("--folds", type=int, default=5)
    parser.add_argument("--copies", type=int, default=20, help="shuffles of each held-out sequence")
    parser.add_argument("--seed", type=int, default=7, help="the folds' and shuffles' random stage")
    parser.add_argument("--threads", type=int, default=1)
    args = parser.parse_args(argv)
    qiro = os.path.join(args.bin, "qiro")
    for fasta in args.fasta:
        width = args.width
        if width is None:
            with open(fasta[:-len(".fasta")] + ".sites.tsv") as handle:
                cells = handle.readline().split()
                width = int(cells[2]) - int(cells[1]) + 1
        a, n1, b, n2, log10p, names = cross_validate(qiro, fasta, width, args.folds, args.copies,
                                                     args.seed, args.threads)
        print("%s\t%d/%d\t%d/%d\t%.2f\t%s" % (os.path.basename(fasta), a, n1, b, n2, log10p,
                                             ",".join(names)), flush=True)


if __name__ == "__main__":
    main()
