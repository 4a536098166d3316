"""A plain matrix scan with the known sites given as prior knowledge: the baseline that
accuracy.py --pk-share scores beside qiro, to tell what the search adds over simply
scanning for the sites one already has.

* Matrix: letter counts of the given sites (the windows written to the -pk file, all of
  one width) turned into log-odds scores in bits, log2(((n_x + b_x) / (N + 1)) / b_x), a
  pseudocount of 1 per column split by the background shares b_x.
* Background: zero-order, from the data set's own sequences on both strands (A and T
  pooled, C and G pooled), letters other than A, C, G, T not counted; case ignored.
* Every window of every sequence is scored on both strands (the reverse-complement
  matrix on the forward letters); a window holding a letter other than A, C, G, T is
  never a hit.
* p-value of a score s: P(S >= s) for a window drawn from the background, computed
  exactly by dynamic programming over the columns with every column score rounded to a
  grid of 0.01 bits, as FIMO and MAST do; window scores are sums of the same rounded
  column scores, so the threshold is exact on the grid.  The background is the same on
  both strands, so one distribution serves both.
* A window that passes on both strands is one site (one place: sequence, start, end).

Pure Python: the scan turns each sequence into one list of column scores per matrix
column and adds them window by window with zip, which keeps every Tompa set within
seconds.  Standard library only.
"""

import math
from itertools import accumulate

GRID = 100  # score units per bit: 0.01 bits
LEVELS = (1e-4, 1e-3)
PSEUDOCOUNT = 1.0
COMPLEMENT = {"A": "T", "C": "G", "G": "C", "T": "A"}
# Any window holding an unusable letter sums to far below every threshold.
NEVER = -(10 ** 9)


def level_label(level):
    """A p-value level as written in the report: 0.0001 as "1e-4"."""
    mantissa, exponent = ("%.6e" % level).split("e")
    return "%se%d" % (mantissa.rstrip("0").rstrip("."), int(exponent))


def background(sequences):
    """Zero-order letter shares of both strands of `sequences` (uniform without letters)."""
    counts = dict.fromkeys("ACGT", 0)
    for letters in sequences:
        upper = letters.upper()
        for c in "ACGT":
            counts[c] += upper.count(c)
    at, cg = counts["A"] + counts["T"], counts["C"] + counts["G"]
    if at + cg == 0:
        return dict.fromkeys("ACGT", 0.25)
    total = 2.0 * (at + cg)
    return {"A": at / total, "T": at / total, "C": cg / total, "G": cg / total}


def log_odds(sites, bg, pseudocount=PSEUDOCOUNT):
    """Integer column scores (GRID units per bit) of the sites, one {letter: score} per
    column.  Letters other than A, C, G, T in a site are not counted."""
    columns = []
    for j in range(len(sites[0])):
        counts = dict.fromkeys("ACGT", 0)
        for site in sites:
            letter = site[j].upper()
            if letter in counts:
                counts[letter] += 1
        n = sum(counts.values())
        columns.append({c: int(round(GRID * math.log2(
            (counts[c] + pseudocount * bg[c]) / (n + pseudocount) / bg[c]))) for c in "ACGT"})
    return columns


def reverse_complement(columns):
    return [{c: col[COMPLEMENT[c]] for c in "ACGT"} for col in reversed(columns)]


def score_tail(columns, bg):
    """(low, tail): tail[i] = P(S >= low + i) for a window drawn from `bg`, S the sum of
    the column scores; low is the lowest possible sum."""
    dist = [1.0]
    low = 0
    for col in columns:
        cmin = min(col.values())
        low += cmin
        new = [0.0] * (len(dist) + max(col.values()) - cmin)
        for c in "ACGT":
            shift, share = col[c] - cmin, bg[c]
            end = shift + len(dist)
            new[shift:end] = [a + share * b for a, b in zip(new[shift:end], dist)]
        dist = new
    tail = list(accumulate(reversed(dist)))
    tail.reverse()
    return low, tail


def threshold(low, tail, p):
    """The lowest score whose p-value is below p, or None when no score is that rare."""
    for i, t in enumerate(tail):
        if t < p:
            return low + i
    return None


def _tables(columns):
    """Per column a 256-entry list from a letter's byte to its score (either case)."""
    tables = []
    for col in columns:
        table = [NEVER] * 256
        for c, s in col.items():
            table[ord(c)] = table[ord(c.lower())] = s
        tables.append(table)
    return tables


def scan(records, columns, cut):
    """Places where the matrix or its reverse complement scores at least `cut`, in
    sequence order: (seqname, start, end, score), 1-based inclusive, the score the
    better of the two strands."""
    width = len(columns)
    strands = (_tables(columns), _tables(reverse_complement(columns)))
    hits = []
    for name, letters in records.items():
        count = len(letters) - width + 1
        if count <= 0:
            continue
        data = letters.encode("ascii", "replace")
        best = {}
        for tables in strands:
            rows = [list(map(table.__getitem__, data[j:j + count]))
                    for j, table in enumerate(tables)]
            for i, total in enumerate(map(sum, zip(*rows))):
                if total >= cut and total > best.get(i, NEVER):
                    best[i] = total
        hits += [(name, i + 1, i + width, best[i]) for i in sorted(best)]
    return hits


def baseline(records, sites, levels=LEVELS):
    """{level: sites (seqname, start, end) called at p < level} for the given sites
    (equal-width letter strings) scanned over `records` ({seqname: letters}); every
    level maps to [] when there is no site or no score is that rare."""
    calls = {level: [] for level in levels}
    if not sites:
        return calls
    bg = background(records.values())
    columns = log_odds(sites, bg)
    low, tail = score_tail(columns, bg)
    cuts = {level: threshold(low, tail, level) for level in levels}
    usable = [cut for cut in cuts.values() if cut is not None]
    if usable:
        hits = scan(records, columns, min(usable))
        for level, cut in cuts.items():
            if cut is not None:
                calls[level] = [(n, s, e) for n, s, e, score in hits if score >= cut]
    return calls
