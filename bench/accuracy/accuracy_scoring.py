"""Scoring of predicted sites against known sites (Tompa et al. 2005 measures), and the
choice of run by MAP score; accuracy.py's module docstring says how the counting works."""

import math


COUNT_KEYS = ("nTP", "nFP", "nFN", "nTN", "sTP", "sFN", "sFP")


def overlap(a_start, a_end, b_start, b_end):
    """Number of positions two inclusive intervals share."""
    return max(0, min(a_end, b_end) - max(a_start, b_start) + 1)


def site_hit(known, predicted):
    """A predicted site hits a known one when they share at least a quarter of the
    known site's length.  Both are (start, end), inclusive."""
    shared = overlap(known[0], known[1], predicted[0], predicted[1])
    return shared > 0 and 4 * shared >= known[1] - known[0] + 1


def score(lengths, known, predicted):
    """Counts of one data set.

    lengths: {seqname: length}; known and predicted: iterables of (seqname, start, end)
    with 1-based inclusive coordinates.  Sites on sequences not in `lengths` are
    ignored; sites are clipped to their sequence."""
    counts = dict.fromkeys(COUNT_KEYS, 0)
    known_by_seq = {}
    pred_by_seq = {}
    for table, sites in ((known_by_seq, known), (pred_by_seq, predicted)):
        for name, start, end in sites:
            if name not in lengths:
                continue
            start, end = max(1, start), min(lengths[name], end)
            if start > end:
                continue
            table.setdefault(name, set()).add((start, end))

    for name, length in lengths.items():
        ks = known_by_seq.get(name, set())
        ps = pred_by_seq.get(name, set())
        k_pos = set()
        for start, end in ks:
            k_pos.update(range(start, end + 1))
        p_pos = set()
        for start, end in ps:
            p_pos.update(range(start, end + 1))
        tp = len(k_pos & p_pos)
        counts["nTP"] += tp
        counts["nFP"] += len(p_pos) - tp
        counts["nFN"] += len(k_pos) - tp
        counts["nTN"] += length - len(k_pos | p_pos)

    # Known sites are counted one per answer-key row (rows may repeat a place only if
    # the key does); predicted sites one per distinct place.
    for name, start, end in known:
        if name not in lengths:
            continue
        if any(site_hit((start, end), p) for p in pred_by_seq.get(name, ())):
            counts["sTP"] += 1
        else:
            counts["sFN"] += 1
    for name, ps in pred_by_seq.items():
        ks = [(s, e) for n, s, e in known if n == name]
        for p in ps:
            if not any(site_hit(k, p) for k in ks):
                counts["sFP"] += 1
    return counts


def add_counts(total, counts):
    for key in COUNT_KEYS:
        total[key] += counts[key]
    return total


def ratio(num, den):
    return num / den if den else None


def measures(c):
    """Tompa et al. measures of a count dict; None where undefined."""
    tp, fp, fn, tn = c["nTP"], c["nFP"], c["nFN"], c["nTN"]
    den = (tp + fn) * (tn + fp) * (tp + fp) * (tn + fn)
    return {
        "nSn": ratio(tp, tp + fn),
        "nPPV": ratio(tp, tp + fp),
        "nPC": ratio(tp, tp + fn + fp),
        "nCC": (tp * tn - fn * fp) / math.sqrt(den) if den else None,
        "sSn": ratio(c["sTP"], c["sTP"] + c["sFN"]),
        "sPPV": ratio(c["sTP"], c["sTP"] + c["sFP"]),
    }


def low_complexity(consensus):
    """True when at least three quarters of the consensus letters are A/T, or at least
    three quarters are G/C: a run of one composition rather than a motif."""
    word = consensus.upper()
    if not word:
        return False
    at = sum(word.count(c) for c in "AT")
    gc = sum(word.count(c) for c in "GC")
    return 4 * max(at, gc) >= 3 * len(word)


def choose_run(runs):
    """The run whose top model has the highest MAP score; ties go to the narrower width.
    runs: list of dicts with 'width' and 'motifs' (parse_result output); runs without
    any motif are skipped.  Returns None when no run has a motif."""
    best = None
    for run in sorted(runs, key=lambda r: r["width"]):
        if not run.get("motifs"):
            continue
        if best is None or run["motifs"][0]["map_score"] > best["motifs"][0]["map_score"]:
            best = run
    return best
