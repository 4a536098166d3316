#!/usr/bin/env python3
"""False positives and ChIP-seq cores: qiro on inputs where it should report nothing, and
on ChIP-seq peaks where its top motif should hold the factor's known core.

Runs, each with its own background made by qiro-freq from the run's own sequences (as
accuracy.py makes them) and the same qiro options (--qiro-args):

* encode: the first --peaks (1000) sequences of each of the five ENCODE peak sets in
  DATA/chipseq_encode_hg19 (`<set>.masked.fa.gz`, strongest peaks first, 100 bp around
  the summit; repeats are N, which qiro takes only with -mask T);
* encode-shuffled (control): the first --peaks sequences of each set's
  dinucleotide-shuffled copy (`<set>_shuffled.masked.fa.gz`);
* tompa-empty (control): the Tompa sets that hold no site (dm07, dm08, yst07, yst10, in
  their generic and Markov versions; there is no real version of them);
* planted-shuffled (control): the planted sets of make_planted.py (--planted-seed) with
  every sequence shuffled keeping its 3-letter word counts and its first and last two
  letters, so the planted sites are gone while the local composition stays.

Per run the table gives the models reported, the best E-value, the top consensus and, for
the real ENCODE sets, whether the top model holds the factor's core (CORES below).

* A result file without E-value lines (qiro run without -evalue) has E-value "none" and
  its models count as reported.  A file saying "No motif has an E-value at most ..." holds
  no model.
* A control run reports a motif at E <= X (X = --max-evalue, default 0.05) when it
  reports at least one model with an E-value of at most X or without an E-value.  A failed
  run reports nothing; failures are counted on their own line.
* Core rule: the core or its reverse complement, placed anywhere along the top consensus,
  disagrees with it in at most the core's allowed mismatches; a core letter that hangs
  over an end of the consensus counts as a mismatch, so a model shifted by one letter
  against an 8-letter core still holds it while a 6-letter model cannot.  IUPAC letters
  match any of their bases; N in a core matches anything, hanging over or not.

Standard library only.  Run `controls.py -h` for the options.
"""

import argparse
import gzip
import os
import random
import sys
import time
from collections import OrderedDict
from concurrent.futures import ThreadPoolExecutor
from contextlib import redirect_stdout
from io import StringIO

import accuracy
import make_planted

# ENCODE set -> (factor, cores, mismatches allowed, where the core comes from).  Cores of
# eight or more letters allow one mismatch, shorter ones none.
CORES = OrderedDict((
    ("H1_POU5F1_ChIP_HAIB", ("POU5F1", ("ATGCAAAT",), 1,
                             "octamer; JASPAR MA1115.2 ATGCAAA, Pou5f1::Sox2 MA0142.1 "
                             "CTTTGTTATGCAAAT")),
    ("HeLaS3_NRSF_ChIP_HAIB", ("REST", ("TCAGCACC", "GGACAGCG"), 1,
                               "RE1 left or right half (left: GGTGCTGA reversed); JASPAR "
                               "MA0138.3 TCAGCACCATGGACAGCGCC")),
    ("K562_GATA1_ChIP_SYDH", ("GATA1", ("WGATAR",), 0,
                              "GATA site (Ko & Engel 1993; Merika & Orkin 1993); JASPAR "
                              "MA0035.5 CTWATCT")),
    ("GM12878_IRF4_ChIP_HAIB", ("IRF4", ("GAAANNGAAA",), 1,
                                "ISRE, two IRF half-sites; JASPAR MA1419.2 CGAAACCGAAACT; "
                                "the ETS-IRF composite GGAANNGAAA is one letter away")),
    ("HepG2_HNF4A_ChIP_HAIB", ("HNF4A", ("CAAAGKYCA",), 1,
                               "DR1 half-site with the HNF4-specific flank; JASPAR MA0114.5 "
                               "CAAAGTCCA, MA1494.2 GGGTCCAAAGGTCA")),
))
IUPAC = {"A": "A", "C": "C", "G": "G", "T": "T", "R": "AG", "Y": "CT", "S": "CG",
         "W": "AT", "K": "GT", "M": "AC", "B": "CGT", "D": "AGT", "H": "ACT", "V": "ACG",
         "N": "ACGT"}
IUPAC_COMPLEMENT = str.maketrans("ACGTRYSWKMBDHVN", "TGCAYRSWMKVHDBN")

TOMPA_EMPTY = ("dm07", "dm08", "yst07", "yst10")
ENCODE_FOLDER = "chipseq_encode_hg19"
GROUPS = ("encode", "encode-shuffled", "tompa-empty", "planted-shuffled", "small-shuffled",
          "small-background")


# ---------------------------------------------------------------------------
# Core rule


def mismatches(core, word):
    """Letters of `word` that none of the bases of the core letter above it allows (N in
    the core allows anything; "-", outside the consensus, nothing else)."""
    return sum(1 for c, w in zip(core, word)
               if c != "N" and not set(IUPAC[c]) & set(IUPAC.get(w, "")))


def holds_core(consensus, core, allowed):
    """True when the core or its reverse complement, at some offset along the consensus,
    has at most `allowed` mismatches, its letters beyond the consensus' ends counting as
    mismatches."""
    pad = "-" * (len(core) - 1)
    word = pad + consensus.upper() + pad
    for form in (core, core.translate(IUPAC_COMPLEMENT)[::-1]):
        if any(mismatches(form, word[i:i + len(form)]) <= allowed
               for i in range(len(word) - len(form) + 1)):
            return True
    return False


def core_rank(motifs, cores, allowed):
    """Rank of the first model whose consensus holds one of the cores, or None."""
    for motif in motifs:
        if any(holds_core(motif["consensus"], core, allowed) for core in cores):
            return motif["rank"]
    return None


# ---------------------------------------------------------------------------
# Shuffling that keeps 3-letter word counts


def shuffle_words(letters, rng, k=3):
    """A random sequence with the k-letter word counts of `letters` and its first and
    last k-1 letters.

    The words are the edges of a graph on (k-1)-letter words; a sequence with the same
    word counts is an Eulerian path from the first to the last (k-1)-letter word.  As in
    Altschul & Erickson (1985) and uShuffle (Jiang et al. 2008), the last exit of every
    node but the end is drawn as a random spanning tree towards the end (Wilson's
    loop-erased random walk, so no draw is rejected), the other exits of each node are
    shuffled, and the path follows them with the last exit last; every walk then uses
    every word exactly once."""
    if len(letters) <= k:
        return letters
    exits = OrderedDict()
    for i in range(len(letters) - k + 1):
        exits.setdefault(letters[i:i + k - 1], []).append(letters[i + k - 1])
    end = letters[len(letters) - k + 1:]
    in_tree, last_exit = {end}, {}
    for start in exits:
        node = start
        while node not in in_tree:
            last_exit[node] = rng.choice(exits[node])
            node = node[1:] + last_exit[node]
        node = start
        while node not in in_tree:
            in_tree.add(node)
            node = node[1:] + last_exit[node]
    for node, nexts in exits.items():
        if node in last_exit:
            nexts.remove(last_exit[node])
        rng.shuffle(nexts)
        if node in last_exit:
            nexts.append(last_exit[node])
        nexts.reverse()  # popped from the end, so the last exit goes last
    node = letters[:k - 1]
    out = [node]
    for _ in range(len(letters) - k + 1):
        letter = exits[node].pop()
        out.append(letter)
        node = node[1:] + letter
    return "".join(out)


# ---------------------------------------------------------------------------
# Inputs


def read_records(path, limit=None):
    """(header, letters) of the first `limit` records (all by default) of a FASTA file,
    gzipped or not."""
    opener = gzip.open if path.endswith(".gz") else open
    records = []
    with opener(path, "rt") as handle:
        for line in handle:
            line = line.strip()
            if line.startswith(">"):
                if limit is not None and len(records) == limit:
                    break
                records.append([line[1:], []])
            elif records:
                records[-1][1].append(line)
    return [(header, "".join(parts)) for header, parts in records]


def write_fasta(path, records):
    with open(path, "w") as handle:
        for header, letters in records:
            handle.write(">%s\n" % header)
            handle.writelines(letters[i:i + 60] + "\n" for i in range(0, len(letters), 60))


def encode_runs(data, inputs, peaks):
    folder = os.path.join(data, ENCODE_FOLDER)
    suffix = ".masked.fa.gz"
    names = sorted(fn[:-len(suffix)] for fn in os.listdir(folder)
                   if fn.endswith(suffix) and not fn.endswith("_shuffled" + suffix))
    runs = []
    for name in names:
        for run, group in ((name, "encode"), (name + "_shuffled", "encode-shuffled")):
            fasta = os.path.join(inputs, "%s.first%d.fa" % (run, peaks))
            records = read_records(os.path.join(folder, run + suffix), peaks)
            write_fasta(fasta, records)
            runs.append({"name": run, "group": group, "fasta": fasta,
                         "sequences": len(records),
                         "factor": CORES.get(name) if group == "encode" else None})
    return runs


def tompa_runs(data):
    runs = []
    for kind in ("generic", "markov", "real"):
        for stem in TOMPA_EMPTY:
            fasta = os.path.join(data, "tompa2005", kind, stem + kind[0] + ".fasta")
            if os.path.exists(fasta):
                runs.append({"name": stem + kind[0], "group": "tompa-empty", "fasta": fasta,
                             "sequences": len(read_records(fasta))})
    return runs


def planted_runs(data, inputs, planted_seed, shuffle_seed):
    folder = os.path.join(inputs, "planted")
    with redirect_stdout(StringIO()):
        make_planted.main(["--out", folder, "--seed", str(planted_seed), "--data", data])
    runs = []
    for plan in make_planted.SETS:
        name = plan[0]
        rng = random.Random("%d:%s" % (shuffle_seed, name))
        records = [(header, shuffle_words(letters, rng))
                   for header, letters in read_records(os.path.join(folder, name + ".fasta"))]
        fasta = os.path.join(inputs, name + "_shuffled.fasta")
        write_fasta(fasta, records)
        runs.append({"name": name + "_shuffled", "group": "planted-shuffled", "fasta": fasta,
                     "sequences": len(records)})
    return runs


def small_runs(data, inputs, planted_seed, shuffle_seed, sizes):
    """Small inputs without a motif, at every size of `sizes`: each planted set of that
    size with its letters shuffled (small-shuffled), and the same number of pieces of
    real background sequence with no site planted (small-background), so that structure
    of real sequence that a shuffle destroys is tested too."""
    runs = []
    for size in sizes:
        for group, share in (("small-shuffled", "1.0"), ("small-background", "0")):
            folder = os.path.join(inputs, "%s_n%d" % (group, size))
            with redirect_stdout(StringIO()):
                make_planted.main(["--out", folder, "--seed", str(planted_seed), "--data", data,
                                   "--sizes", str(size), "--shares", share])
            for plan in make_planted.SETS:
                name = "%s_n%d_%d" % (plan[0], size, int(round(100 * float(share))))
                records = read_records(os.path.join(folder, name + ".fasta"))
                if group == "small-shuffled":
                    rng = random.Random("%d:%s" % (shuffle_seed, name))
                    records = [(header, shuffle_words(letters, rng)) for header, letters in records]
                fasta = os.path.join(inputs, "%s_%s.fasta" % (name, group))
                write_fasta(fasta, records)
                runs.append({"name": "%s_%s" % (name, group), "group": group, "fasta": fasta,
                             "sequences": len(records)})
    return runs


# ---------------------------------------------------------------------------
# Outcome and report


def fmt_evalue(value):
    return "none" if value is None else "%.3g" % value


def outcome(run, max_evalue):
    """Fills in models, best E-value, whether a motif is reported at E <= max_evalue and,
    for a set with a known core, the rank of the first model holding it."""
    motifs = run.get("motifs") or []
    evalues = [m["evalue"] for m in motifs if m["evalue"] is not None]
    run["models"] = len(motifs)
    run["best_evalue"] = min(evalues) if evalues else None
    run["reports"] = any(m["evalue"] is None or m["evalue"] <= max_evalue for m in motifs)
    run["consensus"] = motifs[0]["consensus"] if motifs else ""
    if run.get("factor"):
        _, cores, allowed, _ = run["factor"]
        run["core_rank"] = core_rank(motifs, cores, allowed)
    return run


def core_cell(run):
    if not run.get("factor"):
        return "-"
    rank = run["core_rank"]
    return "yes" if rank == 1 else ("no (rank %d holds it)" % rank if rank else "no")


def report(runs, max_evalue, settings):
    """Markdown: the core table, one row per run, and the summary lines."""
    lines = ["# qiro on controls and ChIP-seq peaks", "", "Settings: " + settings, "",
             "## Cores of the ENCODE factors", "",
             "| set | factor | core(s) | mismatches | source |", "|---|---|---|---:|---|"]
    for name, (factor, cores, allowed, source) in CORES.items():
        lines.append("| %s | %s | %s | %d | %s |" % (name, factor, " or ".join(cores),
                                                    allowed, source))
    lines += ["", "## Runs", "",
              "| run | group | sequences | models | best E-value | top consensus | "
              "core in top model | note |", "|---|---|---:|---:|---:|---|---|---|"]
    for run in runs:
        note = run.get("error") and "FAILED: " + run["error"] or ""
        if run.get("masked_out"):
            note = "; ".join(x for x in (note, "%d sequence(s) without an unmasked window "
                                         "left out" % run["masked_out"]) if x)
        lines.append("| %s | %s | %d | %d | %s | %s | %s | %s |" % (
            run["name"], run["group"], run["sequences"], run["models"],
            fmt_evalue(run["best_evalue"]), run["consensus"] or "-", core_cell(run), note))
    real = [r for r in runs if r["group"] == "encode"]
    controls = [r for r in runs if r["group"] != "encode"]
    lines += ["", "## Summary", "",
              "- real ENCODE sets whose top motif holds the core: %d of %d" % (
                  sum(1 for r in real if r.get("core_rank") == 1), len(real)),
              "- real ENCODE sets with the core in any reported model: %d of %d" % (
                  sum(1 for r in real if r.get("core_rank")), len(real)),
              "- control runs reporting a motif at E <= %g: %d of %d" % (
                  max_evalue, sum(1 for r in controls if r["reports"]), len(controls))]
    for group in GROUPS[1:]:
        members = [r for r in controls if r["group"] == group]
        if members:
            lines.append("  - %s: %d of %d" % (group, sum(1 for r in members if r["reports"]),
                                               len(members)))
    lines.append("- failed runs: %d of %d" % (sum(1 for r in runs if r.get("error")),
                                             len(runs)))
    return "\n".join(lines) + "\n"


def runs_tsv(runs):
    lines = ["run\tgroup\tsequences\tmodels\tbest_evalue\treports\tconsensus\tcore_rank\terror"]
    for r in runs:
        lines.append("\t".join(str(x) for x in (
            r["name"], r["group"], r["sequences"], r["models"], fmt_evalue(r["best_evalue"]),
            "yes" if r["reports"] else "no", r["consensus"], r.get("core_rank") or "",
            r.get("error") or "")))
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------------------
# Driver


def parse_args(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(os.path.dirname(here))
    p = argparse.ArgumentParser(
        description="Run qiro on control inputs (shuffled peaks, Tompa sets without sites, "
                    "shuffled planted sets) and on ENCODE ChIP-seq peaks, and count the "
                    "motifs reported and the factors' cores found.")
    p.add_argument("--data", default=os.path.join(repo, "..", "shared", "data"),
                   help="folder holding %s/, tompa2005/ and make_planted.py's sources "
                        "(default: ../shared/data from the repo)" % ENCODE_FOLDER)
    p.add_argument("--bin", default=os.path.join(repo, "build"),
                   help="folder holding qiro and qiro-freq (default: build)")
    p.add_argument("--work", default=os.path.join(repo, "build", "accuracy-controls"),
                   help="folder for inputs, backgrounds, results and tables")
    p.add_argument("--only", default="",
                   help="comma-separated groups (%s) or run names (default: all)"
                        % ", ".join(GROUPS))
    p.add_argument("--peaks", type=int, default=1000,
                   help="strongest peaks taken from each ENCODE file (default: 1000)")
    p.add_argument("--qiro-args", default="-mask T -threads 1",
                   help="qiro options for every run, for example '-mask T -dust 20 -evalue "
                        "0.05 -k 6-15 -threads 1' (default: '-mask T -threads 1'; -mask T "
                        "because the peaks hold N)")
    p.add_argument("--max-evalue", type=float, default=0.05,
                   help="a control run counts as reporting a motif when a model has an "
                        "E-value at most this, or none (default: 0.05)")
    p.add_argument("--seed", type=int, default=1, help="qiro -seed (default: 1)")
    p.add_argument("--planted-seed", type=int, default=1,
                   help="make_planted.py --seed (default: 1)")
    p.add_argument("--shuffle-seed", type=int, default=1,
                   help="seed of the 3-letter word shuffle (default: 1)")
    p.add_argument("--small-sizes", default="10,15,20,30",
                   help="sequence counts of the small-shuffled and small-background "
                        "groups (default: 10,15,20,30)")
    p.add_argument("--jobs", type=int, default=2, help="qiro runs at once (default: 2)")
    p.add_argument("--timeout", type=int, default=1800,
                   help="seconds after which a single qiro run counts as failed")
    args = p.parse_args(argv)
    args.qiro = os.path.join(args.bin, "qiro")
    args.qiro_freq = os.path.join(args.bin, "qiro-freq")
    args.qiro_args = args.qiro_args.split()
    args.only = set(x.strip() for x in args.only.split(",") if x.strip())
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    accuracy.require_tools(args, "controls")
    inputs, results = os.path.join(args.work, "inputs"), os.path.join(args.work, "runs")
    os.makedirs(inputs, exist_ok=True)
    os.makedirs(results, exist_ok=True)

    def wanted(group):
        # Run names given: every group is prepared, then the runs are picked by name.
        return not args.only or group in args.only or bool(args.only - set(GROUPS))

    runs = []
    if wanted("encode") or wanted("encode-shuffled"):
        runs += encode_runs(args.data, inputs, args.peaks)
    if wanted("tompa-empty"):
        runs += tompa_runs(args.data)
    if wanted("planted-shuffled"):
        runs += planted_runs(args.data, inputs, args.planted_seed, args.shuffle_seed)
    if wanted("small-shuffled") or wanted("small-background"):
        sizes = [int(x) for x in args.small_sizes.split(",") if x]
        runs += small_runs(args.data, inputs, args.planted_seed, args.shuffle_seed, sizes)
    if args.only:
        runs = [r for r in runs if r["group"] in args.only or r["name"] in args.only]
    if not runs:
        sys.exit("controls: no run selected")
    started, done = time.time(), [0]

    def work(run):
        freq = accuracy.make_freq(args, run, results)
        run.update(accuracy.run_qiro(args, run, None, results, freq))
        done[0] += 1
        sys.stderr.write("[%d/%d] %s %.1fs%s\n" % (done[0], len(runs), run["name"],
                                                   run["seconds"], " (" + run["error"] + ")"
                                                   if run["error"] else ""))
        return outcome(run, args.max_evalue)

    # Largest inputs first so that the workers finish together.
    order = sorted(runs, key=lambda r: -os.path.getsize(r["fasta"]))
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        list(pool.map(work, order))
    settings = ("qiro -seed %d %s; first %d peaks of each ENCODE file; planted sets of seed "
                "%d shuffled keeping 3-letter words (seed %d); background from each run's own "
                "sequences (qiro-freq)" % (args.seed, " ".join(args.qiro_args), args.peaks,
                                           args.planted_seed, args.shuffle_seed))
    if args.only:
        settings += "; only " + ",".join(sorted(args.only))
    text = report(runs, args.max_evalue, settings)
    with open(os.path.join(args.work, "controls.md"), "w") as handle:
        handle.write(text)
    with open(os.path.join(args.work, "controls.tsv"), "w") as handle:
        handle.write(runs_tsv(runs))
    sys.stdout.write(text)
    sys.stderr.write("controls: %d qiro runs in %.0f s; table in %s\n" % (
        len(runs), time.time() - started, os.path.join(args.work, "controls.md")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
