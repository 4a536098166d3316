#!/usr/bin/env python3
"""Call the sites of a judged run's motifs again, from its JSON alone.

    tools/rescan.py RESULT.json INPUT.fasta[.gz] [--check]

Every motif of a run with -evalue carries in its JSON entry the log-odds matrix that called
its sites (`log_odds`, bits per letter and column) and the site threshold (`threshold`),
with the mixture fitted to the input that set it (`site_model`: ZOOPS or TCM), when one did.
This script scans the input with them, as qiro does, and prints one line per site: motif
id, sequence, strand, start, end (1-based, on the sequence as given) and score.  With
--check it compares those sites with the JSON's and exits with status 1 when any differs,
so that anyone can confirm that the published matrix and threshold give the published
sites.

How qiro scans (and so this script):

* FASTA: a record starts at every '>' outside a header line; its name is the header's
  first word; every non-blank character up to the next '>' is a letter, and any letter
  other than A, C, G, T (either case) is N.
* A window is scanned when none of its letters is N and none is masked: with -mask T
  (settings `mask`) lower-case letters are masked, with -dust (settings `dust`) the
  letters symmetric DUST masks at that level (as src/input/Dust.h defines it).
* A window's score is the sum of its columns' log-odds, in column order, for the forward
  strand and (settings `both_strands`) the reverse complement; it is rounded to a 32-bit
  float and is a site when it reaches the threshold.  At a place reaching it on both
  strands the higher score is taken (forward on ties).
* Of sites that overlap, the best scoring is kept (the earlier on ties).
* With `site_model` ZOOPS (zero or one site per sequence) only the best scoring of a
  sequence's sites is kept; TCM keeps them all.

A motif whose sites a model refined by soft EM called (`site_model.refined`) is scanned
by that model instead, with the run's `markov_background`:

* A window's background, in bits, is the sum of log2 of its words' values (each at least
  `least_word_probability`): its first one, two, three and four letters, then every
  four-letter word from the second on.  Its evidence on a strand is the sum of the
  columns' `log_probabilities` of the letters read on that strand, less its background.
* ZOOPS: a sequence's evidence is top + log2(sum of 2^(e - top) over its windows, forward
  then reverse) - log2(windows x strands), top the largest e; when it reaches `cut` the
  sequence's best window (the first of equal ones, forward first) is its site.
* TCM: a place's evidence is top + log2(2^(f - top) + 2^(r - top)) - 1 (one strand: f);
  places reaching `cut` are sites on the better strand (forward on ties), and of
  overlapping ones the higher is kept (the earlier on ties).

Standard library only.
"""

import argparse
import gzip
import json
import math
import struct
import sys

CODE = {c: i for i, c in enumerate("ACGT")}
CODE.update({c: i for i, c in enumerate("acgt")})
DUST_WINDOW = 64


def read_fasta(path):
    """[(name, letters)] as qiro's FASTA reader splits the text."""
    opener = gzip.open if open(path, "rb").read(2) == b"\x1f\x8b" else open
    with opener(path, "rt", encoding="latin-1") as handle:
        text = handle.read()
    records = []
    at = text.find(">")
    while at != -1:
        end_line = text.find("\n", at)
        header = text[at + 1:] if end_line == -1 else text[at + 1:end_line]
        name = header.split()[0] if header.split() and not header[:1].isspace() else ""
        nxt = -1 if end_line == -1 else text.find(">", end_line)
        body = "" if end_line == -1 else text[end_line + 1:] if nxt == -1 else text[end_line + 1:nxt]
        letters = "".join(c if c in CODE else "N" for c in body if not c.isspace())
        records.append((name, letters))
        at = nxt
    return records


def dust_mask(codes, level):
    """Letters in perfect intervals of symmetric DUST (Morgulis et al. 2006): an interval
    of l triplets with counts c_t scores r = sum c_t (c_t - 1) / 2 over l - 1, exceeds the
    level when 10 r > level (l - 1), and is perfect when it exceeds it, spans at most 64
    letters and no interval inside it scores higher.  N letters break the sequence."""
    n = len(codes)
    masked = [False] * n
    piece = 0
    trip = {}
    best = {}  # start -> (r, d) of the best perfect interval from there found so far
    for e in range(n):
        if codes[e] > 3:
            piece = e + 1
            continue
        if e < piece + 2:
            continue
        newest = e - 2
        trip[newest] = codes[newest] * 16 + codes[newest + 1] * 4 + codes[e]
        best[newest] = (-1, 1)
        if e < piece + 3:
            continue
        lowest = max(piece, e + 1 - DUST_WINDOW)
        counts = {}
        r = 0
        top = (-1, 1)
        longest = e + 1
        s = newest
        while True:
            t = trip[s]
            r += counts.get(t, 0)
            counts[t] = counts.get(t, 0) + 1
            earlier = best[s]
            if earlier[0] * top[1] > top[0] * earlier[1]:
                top = earlier
            l = e - s - 1
            if l >= 2 and 10 * r > level * (l - 1) and top[0] * (l - 1) <= r * top[1]:
                top = (r, l - 1)
                best[s] = top
                longest = s
            if s == lowest:
                break
            s -= 1
        for i in range(longest, e + 1):
            masked[i] = True
    return masked


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def codes_and_mask(letters, settings):
    """Each letter's code (4: N) and whether a scan skips it."""
    codes = [CODE.get(c, 4) for c in letters]
    masked = [c == 4 for c in codes]
    if settings.get("mask"):
        masked = [m or c.islower() for m, c in zip(masked, letters)]
    if settings.get("dust", 0) > 0:
        masked = [m or d for m, d in zip(masked, dust_mask(codes, settings["dust"]))]
    return codes, masked


def open_windows(letters, settings, k):
    """The codes of a sequence and the start of every window a scan reads (no letter masked)."""
    codes, masked = codes_and_mask(letters, settings)
    return codes, [p for p in range(len(codes) - k + 1) if not any(masked[p:p + k])]


def best_apart(hits, k):
    """Of overlapping (start, strand, score) sites the best scoring (the earlier on ties), by start."""
    kept = []
    for h in sorted(hits, key=lambda h: -h[2]):  # stable: the earlier first on ties
        if all(abs(o[0] - h[0]) >= k for o in kept):
            kept.append(h)
    return sorted(kept)


def scan(motif, name, letters, settings):
    """The sites of one motif in one sequence, as (start, strand, score), by start."""
    lo = motif["log_odds"]
    k = motif["width"]
    cols = [[lo[c][j] for c in "ACGT"] for j in range(k)]
    t = motif["threshold"]
    both = settings.get("both_strands", True)
    codes, starts = open_windows(letters, settings, k)
    hits = []
    for p in starts:
        fw, rv = strand_sums(cols, codes, p, k, both)
        fw_in, rv_in = f32(fw) >= t, f32(rv) >= t
        if fw_in and (not rv_in or fw >= rv):
            hits.append((p, "+", fw))
        elif rv_in:
            hits.append((p, "-", rv))
    kept = best_apart(hits, k)
    if kept and motif.get("site_model", {}).get("model") == "zoops":
        return [max(kept, key=lambda h: h[2])]  # the first of equal best: the earlier
    return kept


def strand_sums(cols, codes, p, k, both):
    """A window's column values summed on its forward and (both strands) reverse strand,
    in qiro's order of terms; the reverse is -inf when only the forward strand is read."""
    fw = 0.0
    for j in range(k):
        fw += cols[j][codes[p + j]]
    rv = float("-inf")
    if both:
        rv = 0.0
        for j in range(k):
            rv += cols[j][3 - codes[p + k - 1 - j]]
    return fw, rv


def window_bits(markov):
    """A function giving the background of k codes (0..3), in bits, as qiro sums it."""
    least = markov["least_word_probability"]
    bits = {w: math.log2(max(v, least)) for w, v in markov["words"].items()}

    def background(codes):
        word = "".join("ACGT"[c] for c in codes)
        s = 0.0
        for n in range(1, min(len(word), 4) + 1):
            s += bits[word[:n]]
        for i in range(4, len(word)):
            s += bits[word[i - 3:i + 1]]
        return s
    return background


def scan_refined(motif, letters, settings, background):
    """The sites of one motif in one sequence by its refined model, as (start, strand, score)."""
    refined = motif["site_model"]["refined"]
    k = motif["width"]
    lp = [[refined["log_probabilities"][c][j] for c in "ACGT"] for j in range(k)]
    cut = refined["cut"]
    both = settings.get("both_strands", True)
    codes, starts = open_windows(letters, settings, k)
    windows = []
    for p in starts:
        bg = background(codes[p:p + k])
        f, r = strand_sums(lp, codes, p, k, both)
        if both:
            r -= bg
        windows.append((p, f - bg, r))
    if not windows:
        return []
    if motif["site_model"]["model"] == "zoops":
        top = max(max(f, r) for _, f, r in windows)
        total = 0.0
        for _, f, r in windows:
            total += math.exp2(f - top)
            if both:
                total += math.exp2(r - top)
        evidence = top + math.log2(total) - math.log2(float(len(windows) * (2 if both else 1)))
        if evidence < cut:
            return []
        best = (0, "+", float("-inf"))
        for p, f, r in windows:
            if f > best[2]:
                best = (p, "+", f)
            if r > best[2]:
                best = (p, "-", r)
        return [best]
    hits = []
    for p, f, r in windows:
        if both:
            top = max(f, r)
            evidence = top + math.log2(math.exp2(f - top) + math.exp2(r - top)) - 1.0
        else:
            evidence = f
        if evidence >= cut:
            hits.append((p, "+" if f >= r else "-", max(f, r)))
    return best_apart(hits, k)


def main(argv=None):
    p = argparse.ArgumentParser(description="Call the sites of a judged run's motifs from "
                                            "its JSON (log_odds, threshold) and the input.")
    p.add_argument("json", help="the run's -json file")
    p.add_argument("fasta", help="the run's input (-i), plain or gzip")
    p.add_argument("--check", action="store_true",
                   help="compare with the JSON's sites; exit 1 when they differ")
    args = p.parse_args(argv)
    with open(args.json) as handle:
        result = json.load(handle)
    settings = result.get("settings", {})
    records = read_fasta(args.fasta)
    differ = 0
    for motif in result.get("motifs", []):
        if "log_odds" not in motif:
            sys.exit("rescan: motif %s has no log_odds (a run without -evalue)" % motif.get("id"))
        found = []
        refined = "refined" in motif.get("site_model", {})
        background = window_bits(result["markov_background"]) if refined else None
        for name, letters in records:
            sites = scan_refined(motif, letters, settings, background) if refined else \
                scan(motif, name, letters, settings)
            for start, strand, score in sites:
                found.append((name, strand, start + 1))
                print("%s\t%s\t%s\t%d\t%d\t%.6g" % (motif["id"], name, strand, start + 1,
                                                    start + motif["width"], score))
        if args.check:
            given = [(s["sequence"], s["strand"], s["start"]) for s in motif["sites"]]
            if sorted(given) != sorted(found):
                differ += 1
                missing = sorted(set(given) - set(found))[:5]
                extra = sorted(set(found) - set(given))[:5]
                sys.stderr.write("rescan: %s: %d sites in the JSON, %d called; not called: %s; "
                                 "not in the JSON: %s\n" % (motif["id"], len(given), len(found),
                                                            missing, extra))
            else:
                sys.stderr.write("rescan: %s: the %d sites of the JSON, all called\n"
                                 % (motif["id"], len(given)))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
