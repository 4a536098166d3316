#!/usr/bin/env python3
"""Accuracy of qiro on public data sets with known binding sites.

For every data set of a collection (a FASTA file `<name>.fasta` next to an answer key
`<name>.sites.tsv`), this script

1. writes a background file for the data set with `qiro-freq` (both strands of the
   data set's own sequences, default pseudocount);
2. runs `qiro` once per candidate width (default 8, 10, 12, 14) with a fixed seed and
   fixed search settings, and keeps the run whose top model (Motif Rank #1) has the
   highest MAP score (a missing MAP score counts as 0; on a tie the narrower width
   wins).  The choice reads only qiro's own output, never the answer key;
3. scores the sites of that top model against the known sites, at the nucleotide level
   (nSn, nPPV, nPC, nCC) and at the site level (sSn, sPPV), and sums the counts over the
   collection before computing the measures, as Tompa et al. (2005) do.

Counting (strand is ignored everywhere: a site covers the same nucleotides of the
sequence as written whichever strand it reads on):

* Nucleotide level, per sequence: K = positions covered by at least one known site,
  P = positions covered by at least one predicted site.  nTP = |P & K|,
  nFP = |P - K|, nFN = |K - P|, nTN = length - |P | K| (positions neither predicted
  nor known).  Every sequence of the FASTA file counts, including sequences qiro left
  out of the search.
* Site level: a predicted site overlaps a known site when they share at least a quarter
  of the known site's length (4 * shared >= known length).  sTP = known sites overlapped
  by some predicted site, sFN = the other known sites, sFP = predicted sites that
  overlap no known site.  Predicted sites with the same sequence, start and end (the
  same place on both strands) count once.
* nSn = TP/(TP+FN), nPPV = TP/(TP+FP), nPC = TP/(TP+FN+FP),
  nCC = (TP*TN - FN*FP) / sqrt((TP+FN)(TN+FP)(TP+FP)(TN+FN)), sSn = sTP/(sTP+sFN),
  sPPV = sTP/(sTP+sFP).  A measure whose denominator is 0 is undefined and shown as "-".

A data set qiro refuses (for example sequences holding N) is listed as failed with
qiro's message; it counts in the sums as a data set without predictions (its known
sites are false negatives).

The report also holds diagnostics that use the answer key to compare (never to choose):
what each width would have scored on its own, and what the reported model of the chosen
run that hits the most known sites would have scored.

With --pk-share S the search gets prior knowledge instead of trying the widths: ceil(S*n)
of a data set's n known sites (spread over the answer key, first one included), each cut
or widened around its centre to one width (the lower median of their widths, kept within
8..30), go to qiro with -pk.  They are scored against all known sites, and the report adds
how many of the sites that were not given are found.  Beside qiro's rows it scores a
plain matrix scan of the same given sites (matrix_scan.py: log-odds matrix, every window
of both strands, p < 1e-4 and p < 1e-3 under the set's zero-order background) with the
same measures, so the report shows what the search adds over scanning for the sites one
already has; a set without given sites calls nothing there.

With --width-rule known each data set with known sites gets one run, at the width of its
known sites: the lower median of their widths, kept within 6..20 (the rule of published
comparisons, which tell every tool the width).  This rule reads the answer key to choose
the width (never the places); data sets without known sites fall back to the MAP rule.

The diagnostics also count the top models that are low-complexity runs: consensus words
of which at least three quarters of the letters are A/T, or at least three quarters G/C.

--label NAME keeps a variant (say, other --qiro-args) apart: its run files and tables go
to WORK/NAME and the settings line names it.

Standard library only.  Run `accuracy.py -h` for the options.
"""

import argparse
import math
import os
import re
import subprocess
import sys
import time
from collections import OrderedDict
from fractions import Fraction
from concurrent.futures import ThreadPoolExecutor

# The scoring and report helpers live in their own files; the names are imported here so
# that accuracy.<name> keeps working for the tests and for interactive use.
from accuracy_scoring import (COUNT_KEYS, add_counts, choose_run, low_complexity,  # noqa: F401
                              measures, overlap, ratio, score, site_hit)
from accuracy_report import report, runs_tsv  # noqa: F401
import matrix_scan

DEFAULT_WIDTHS = (8, 10, 12, 14)

TOMPA_ORGANISMS = (("mus", "mouse"), ("yst", "yeast"), ("dm", "fly"), ("hm", "human"))
TOMPA_TYPES = {"r": "real", "g": "generic", "m": "markov"}
# A data set of another collection whose name starts with one of these words and "_"
# (as the planted sets of make_planted.py do) is of that organism.
ORGANISM_WORDS = ("fly", "yeast", "human", "mouse")


# ---------------------------------------------------------------------------
# Input files


def read_fasta(path):
    """Names (first word of the header) and letters of the records of a FASTA file,
    in file order.  Letters are every non-blank character up to the next '>'."""
    records = OrderedDict()
    name = None
    with open(path) as handle:
        for line in handle:
            line = line.strip()
            if line.startswith(">"):
                words = line[1:].split()
                name = words[0] if words else ""
                records[name] = []
            elif name is not None:
                records[name].append("".join(line.split()))
    return OrderedDict((n, "".join(parts)) for n, parts in records.items())


def read_fasta_lengths(path):
    return OrderedDict((n, len(letters)) for n, letters in read_fasta(path).items())


def read_sites(path):
    """Answer-key rows as (seqname, start, end): 1-based, inclusive."""
    sites = []
    with open(path) as handle:
        for line in handle:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 3 or not fields[0]:
                continue
            sites.append((fields[0], int(fields[1]), int(fields[2])))
    return sites


def parse_result(text):
    """Motif models of a qiro result file, best first.

    Returns a list of dicts: rank, consensus, map_score (0 when the line has none),
    evalue (None without an "E-value:" line), sites (list of (seqname, start, end,
    forward)).  A file of a run with an E-value cut that no model passed ("No motif has
    an E-value at most ...") holds no model, so the list is empty."""
    motifs = []
    current = None
    for line in text.splitlines():
        if line.startswith("Motif Rank #"):
            current = {"rank": int(line[len("Motif Rank #"):].split()[0]),
                       "consensus": "", "map_score": 0.0, "evalue": None, "sites": []}
            motifs.append(current)
        elif current is None:
            continue
        elif "Consensus:" in line:
            tail = line.split("Consensus:", 1)[1]
            if "MAP Score:" in tail:
                consensus, score = tail.split("MAP Score:", 1)
                current["map_score"] = float(score.strip())
            else:
                consensus = tail
            current["consensus"] = consensus.strip()
        elif line.startswith("E-value:"):
            current["evalue"] = parse_evalue(line[len("E-value:"):])
        elif line.startswith(">"):
            fields = line[1:].split("\t")
            if len(fields) >= 5:
                current["sites"].append((fields[0], int(fields[3]), int(fields[4]),
                                         fields[2].strip() == "1"))
    return motifs


def parse_evalue(text):
    """The number of an E-value field; a bound such as "<1e-300" counts as its value, and
    anything unreadable as None."""
    try:
        return float(text.strip().lstrip("<"))
    except ValueError:
        return None


# ---------------------------------------------------------------------------
# Data sets


def describe(root, fasta):
    """(collection, organism, background type) of a data set from its place."""
    rel = os.path.relpath(fasta, root).split(os.sep)
    collection = rel[0] if len(rel) > 1 else os.path.basename(os.path.abspath(root))
    stem = os.path.basename(fasta).rsplit(".", 1)[0]
    if collection == "tompa2005":
        organism = next((org for prefix, org in TOMPA_ORGANISMS if stem.startswith(prefix)),
                        "?")
        kind = TOMPA_TYPES.get(stem[-1:], rel[-2] if len(rel) > 2 else "?")
        return collection, organism, kind
    word = stem.split("_")[0]
    return collection, word if word in ORGANISM_WORDS else collection.split("_")[0], "real"


def discover(root):
    """Every FASTA file under root with an answer key next to it, sorted by collection
    then name."""
    found = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        for fn in sorted(filenames):
            for ext in (".fasta", ".fa"):
                if fn.endswith(ext):
                    stem = fn[: -len(ext)]
                    key = os.path.join(dirpath, stem + ".sites.tsv")
                    if os.path.exists(key):
                        fasta = os.path.join(dirpath, fn)
                        collection, organism, kind = describe(root, fasta)
                        found.append({"name": stem, "fasta": fasta, "key": key,
                                      "collection": collection, "organism": organism,
                                      "type": kind})
    found.sort(key=lambda d: (d["collection"] != "tompa2005", d["collection"], d["name"]))
    return found


# ---------------------------------------------------------------------------
# Prior knowledge (optional): a share of the known sites handed to qiro with -pk


PK_MIN_WIDTH, PK_MAX_WIDTH = 8, 30
KNOWN_MIN_WIDTH, KNOWN_MAX_WIDTH = 6, 20


def lower_median_width(widths, low, high):
    """The lower median of `widths`, kept within low..high."""
    ordered = sorted(widths)
    return min(high, max(low, ordered[(len(ordered) - 1) // 2]))


def known_width(sites):
    """Width of the run under --width-rule known: the lower median of the known sites'
    widths, kept within KNOWN_MIN_WIDTH..KNOWN_MAX_WIDTH; None without known sites."""
    if not sites:
        return None
    return lower_median_width([e - s + 1 for _, s, e in sites], KNOWN_MIN_WIDTH,
                              KNOWN_MAX_WIDTH)


def pk_pick(count, share):
    """Indices of the known sites given as prior knowledge: ceil(count * share) of the
    `count` answer-key rows, spread evenly and starting with the first."""
    share = Fraction(str(share))
    return [i for i in range(count) if math.ceil((i + 1) * share) > math.ceil(i * share)]


def pk_width(widths):
    """Width of the prior-knowledge sites: the lower median of the given sites' widths,
    kept within PK_MIN_WIDTH..PK_MAX_WIDTH (qiro needs one width for all of them)."""
    return lower_median_width(widths, PK_MIN_WIDTH, PK_MAX_WIDTH)


def pk_window(letters, start, end, width):
    """The `width` letters centred on the site start..end (1-based, inclusive), moved
    inside the sequence when the site lies near an end; None if the sequence is shorter
    than `width`."""
    if len(letters) < width:
        return None
    first = start + (end - start + 1 - width) // 2
    first = min(max(1, first), len(letters) - width + 1)
    return letters[first - 1:first - 1 + width].upper()


def write_pk(dataset, share, workdir):
    """Writes the prior-knowledge file of a data set.  Returns (path, given site rows,
    width), or (None, [], None) when no usable site is left (windows holding letters
    other than A, C, G, T are dropped, since qiro refuses them)."""
    known = read_sites(dataset["key"])
    chosen = [known[i] for i in pk_pick(len(known), share)]
    if not chosen:
        return None, [], None
    seqs = read_fasta(dataset["fasta"])
    width = pk_width([e - s + 1 for _, s, e in chosen])
    lines, given = [], []
    for site in chosen:
        text = pk_window(seqs.get(site[0], ""), site[1], site[2], width)
        if text and set(text) <= set("ACGT"):
            lines.append(text)
            given.append(site)
    if not lines:
        return None, [], None
    path = os.path.join(workdir, dataset["name"] + ".pk")
    with open(path, "w") as handle:
        handle.write("".join(line + "\n" for line in lines))
    return path, given, width


# ---------------------------------------------------------------------------
# Running qiro


def failure_reason(output, returncode):
    """qiro's own message: its last "Error" line, else its last three lines of text."""
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    for line in reversed(lines):
        if "Error" in line:
            return line[line.index("Error"):]
    if lines:
        return " ".join(lines[-3:]) + " (status %d)" % returncode
    return "qiro exited with status %d" % returncode


def left_out_count(output):
    return sum(1 for line in output.splitlines()
               if line.startswith("Warning: sequence") and "left out" in line)


def masked_out_count(output):
    """Sequences qiro left out because masking (-mask, -dust) left them no window."""
    for line in output.splitlines():
        match = re.match(r"Warning: (\d+) of \d+ sequences have no window", line)
        if match:
            return int(match.group(1))
    return 0


def launch(cmd, timeout=None, attempts=30, pause=10):
    """subprocess.run with the output captured; a program that cannot be started (for
    example while the build is replacing it) is tried again after a pause."""
    for attempt in range(attempts):
        try:
            return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  universal_newlines=True, timeout=timeout)
        except OSError:
            if attempt + 1 == attempts:
                raise
            time.sleep(pause)


def run_qiro(args, dataset, width, workdir, freq, pk=None, kind="k"):
    """One qiro run (with the prior-knowledge file `pk`, whose sites are `width` wide,
    when given); returns a dict with width, motifs or error, and run details.  `kind`
    names the run files of a width taken from the answer key ("kn") apart from those of
    the widths tried by the MAP rule ("k").  Without a width (None) qiro gets no -k from
    here, so args.qiro_args may choose it; the run files are then <name>.out and .log."""
    tag = dataset["name"] + (".%s%d" % ("pk" if pk else kind, width) if width else "")
    out = os.path.join(workdir, tag + ".out")
    log = os.path.join(workdir, tag + ".log")
    if os.path.exists(out):
        os.remove(out)
    choice = ["-pk", pk] if pk else (["-k", str(width)] if width else [])
    cmd = [args.qiro, "-i", dataset["fasta"], "-freq", freq] + choice + [
        "-seed", str(args.seed), "-o", out] + args.qiro_args
    run = {"width": width, "motifs": None, "error": None, "left_out": 0, "masked_out": 0}
    started = time.time()
    try:
        proc = launch(cmd, args.timeout)
        output, code = proc.stdout, proc.returncode
    except OSError as exc:
        output, code = "Error: cannot run qiro: %s" % exc, -1
    except subprocess.TimeoutExpired as exc:
        output = exc.stdout or ""
        if isinstance(output, bytes):
            output = output.decode(errors="replace")
        output += "\nError: no result within %d s" % args.timeout
        code = -1
    run["seconds"] = time.time() - started
    with open(log, "w") as handle:
        handle.write(" ".join(cmd) + "\n" + output)
    run["left_out"] = left_out_count(output)
    run["masked_out"] = masked_out_count(output)
    if code != 0:
        run["error"] = failure_reason(output, code)
        return run
    try:
        with open(out) as handle:
            run["motifs"] = parse_result(handle.read())
    except OSError:
        run["error"] = "no result file"
    return run


def make_freq(args, dataset, workdir):
    freq = os.path.join(workdir, dataset["name"] + ".freq")
    proc = launch([args.qiro_freq, "-o", freq, dataset["fasta"]])
    if proc.returncode != 0:
        raise RuntimeError("qiro-freq failed on %s: %s" % (dataset["fasta"], proc.stdout))
    return freq


def scan_baseline(dataset, lengths, known, held_out):
    """The matrix scan with the sites given to qiro (matrix_scan.py), per p-value level:
    counts against all known sites, against the sites not given, and sites called.  A
    set without given sites gets no matrix and calls nothing."""
    calls = matrix_scan.baseline(read_fasta(dataset["fasta"]), dataset.get("pk_sites") or [])
    result = OrderedDict()
    for level, sites in calls.items():
        held = score(lengths, held_out, sites)
        result[level] = {"counts": score(lengths, known, sites), "predicted": len(sites),
                         "held_out": {"sTP": held["sTP"], "sFN": held["sFN"]}}
    return result


def evaluate(dataset, runs):
    """Choose the run, score it, and fill in the data set's row."""
    lengths = read_fasta_lengths(dataset["fasta"])
    known = read_sites(dataset["key"])
    row = dict(dataset)
    row["known"] = len(known)
    row["runs"] = runs
    errors = sorted(set(r["error"] for r in runs if r["error"]))
    best = choose_run(runs)
    predicted = []
    if best is None:
        row["status"] = "failed"
        row["note"] = "; ".join(errors) if errors else "no motif reported"
        row["width"] = None
        row["map"] = None
    else:
        top = best["motifs"][0]
        predicted = [(n, s, e) for n, s, e, _ in top["sites"]]
        row["status"] = "ok"
        row["width"] = best["width"]
        row["map"] = top["map_score"]
        row["consensus"] = top["consensus"]
        notes = []
        if errors:
            notes.append("some widths failed: " + "; ".join(errors))
        if best["left_out"]:
            notes.append("%d sequence(s) shorter than the width left out" % best["left_out"])
        if best.get("masked_out"):
            notes.append("%d sequence(s) without an unmasked window left out"
                         % best["masked_out"])
        row["note"] = "; ".join(notes)
    row["predicted"] = len(set(predicted))
    row["counts"] = score(lengths, known, predicted)
    with_sites = set(name for name, _, _ in known)
    row["predicted_off"] = len(set(p for p in predicted if p[0] not in with_sites))
    if dataset.get("pk_given") is not None:
        # Known sites that were not handed to qiro: how many of them the top model finds.
        given = dataset["pk_given"]
        held_out = [site for site in known if site not in given]
        held = score(lengths, held_out, predicted)
        row["held_out"] = {"sTP": held["sTP"], "sFN": held["sFN"]}
        row["scan"] = scan_baseline(dataset, lengths, known, held_out)
        pk_note = ("prior knowledge: %d of %d sites, width %d" % (
            len(given), len(known), dataset["pk_width"]) if given
            else "no prior knowledge (no usable known site)")
        row["note"] = "; ".join(x for x in (pk_note, row["note"]) if x)
    elif dataset.get("known_width"):
        row["note"] = "; ".join(x for x in (row["note"], "width of the known sites") if x)
    # Hindsight, for the diagnostics only (never used to choose): the top model of every
    # width, and the reported model of the chosen run that hits the most known sites.
    for run in runs:
        sites = [(n, s, e) for n, s, e, _ in run["motifs"][0]["sites"]] if run["motifs"] else []
        run["counts"] = score(lengths, known, sites)
    row["best_rank_counts"] = row["counts"]
    if best is not None:
        for motif in best["motifs"][1:]:
            counts = score(lengths, known, [(n, s, e) for n, s, e, _ in motif["sites"]])
            if counts["sTP"] > row["best_rank_counts"]["sTP"]:
                row["best_rank_counts"] = counts
    return row


# ---------------------------------------------------------------------------
# Driver


def parse_args(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(os.path.dirname(here))
    p = argparse.ArgumentParser(
        description="Run qiro on every data set with an answer key (<name>.fasta next to "
                    "<name>.sites.tsv) under DATA and score the top model's sites.")
    p.add_argument("--data", default=os.path.join(repo, "..", "shared", "data"),
                   help="folder searched for data sets (default: ../shared/data from the repo)")
    p.add_argument("--only", default="",
                   help="comma-separated data set names or collection folders to run "
                        "(default: all)")
    p.add_argument("--bin", default=os.path.join(repo, "build"),
                   help="folder holding qiro and qiro-freq (default: build)")
    p.add_argument("--work", default=os.path.join(repo, "build", "accuracy"),
                   help="folder for background files, results and logs")
    p.add_argument("--out", default=None,
                   help="table file (default: WORK/accuracy.md; with --pk-share "
                        "WORK/accuracy-pk.md, with --width-rule known WORK/accuracy-known.md)")
    p.add_argument("--widths", default=",".join(str(w) for w in DEFAULT_WIDTHS),
                   help="candidate motif widths, comma-separated (default: 8,10,12,14)")
    p.add_argument("--seed", type=int, default=1, help="qiro -seed (default: 1)")
    p.add_argument("--jobs", type=int, default=2, help="qiro runs at once (default: 2)")
    p.add_argument("--timeout", type=int, default=1800,
                   help="seconds after which a single qiro run counts as failed")
    p.add_argument("--pk-share", type=float, default=0.0,
                   help="give this share of every data set's known sites to qiro as prior "
                        "knowledge (-pk) instead of trying the widths (default: 0, none)")
    p.add_argument("--width-rule", choices=("map", "known"), default="map",
                   help="map: try every width of --widths and keep the top model with the "
                        "highest MAP score (default); known: one run at the width of the "
                        "data set's known sites (their lower median, kept within %d..%d; "
                        "sets without known sites fall back to map)"
                        % (KNOWN_MIN_WIDTH, KNOWN_MAX_WIDTH))
    p.add_argument("--label", default="",
                   help="name of this variant: run files and tables go to WORK/LABEL, and "
                        "the settings line names it (default: none, WORK itself)")
    p.add_argument("--qiro-args", default="-threads 1",
                   help="further qiro options for every run (default: '-threads 1': the "
                        "runs are spread over --jobs processes instead)")
    args = p.parse_args(argv)
    args.qiro = os.path.join(args.bin, "qiro")
    args.qiro_freq = os.path.join(args.bin, "qiro-freq")
    args.widths = [int(w) for w in args.widths.split(",") if w.strip()]
    args.qiro_args = args.qiro_args.split()
    args.suffix = ("-pk" if args.pk_share > 0 else "") + (
        "-known" if args.width_rule == "known" else "")
    if args.label:
        if os.sep in args.label or args.label in (".", ".."):
            p.error("--label must be a plain name, not a path")
        args.work = os.path.join(args.work, args.label)
    args.out = args.out or os.path.join(args.work, "accuracy%s.md" % args.suffix)
    return args


def require_tools(args, program):
    """Ends the program with a message unless qiro and qiro-freq are built."""
    for tool in (args.qiro, args.qiro_freq):
        if not os.access(tool, os.X_OK):
            sys.exit("%s: %s not found; build first (make)" % (program, tool))


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    require_tools(args, "accuracy")
    datasets = discover(args.data)
    if args.only:
        wanted = set(x.strip() for x in args.only.split(","))
        datasets = [d for d in datasets if d["name"] in wanted or d["collection"] in wanted]
    if not datasets:
        sys.exit("accuracy: no data set (FASTA file with a .sites.tsv answer key) under %s"
                 % args.data)
    os.makedirs(args.work, exist_ok=True)
    started = time.time()

    freqs = {d["name"]: make_freq(args, d, args.work) for d in datasets}
    jobs = []
    for d in datasets:
        if args.pk_share > 0:
            pk, d["pk_given"], d["pk_width"] = write_pk(d, args.pk_share, args.work)
            if pk:
                with open(pk) as handle:
                    d["pk_sites"] = handle.read().split()
                jobs.append((d, d["pk_width"], pk, "k"))
                continue
        if args.width_rule == "known":
            d["known_width"] = known_width(read_sites(d["key"]))
            if d["known_width"]:
                jobs.append((d, d["known_width"], None, "kn"))
                continue
        jobs += [(d, w, None, "k") for w in args.widths]
    # Longest inputs first so that the two workers finish together.
    size = {d["name"]: os.path.getsize(d["fasta"]) for d in datasets}
    jobs.sort(key=lambda j: (-size[j[0]["name"]], j[0]["name"], j[1]))
    results = {}
    done = [0]

    def work(job):
        dataset, width, pk, kind = job
        run = run_qiro(args, dataset, width, args.work, freqs[dataset["name"]], pk, kind)
        done[0] += 1
        sys.stderr.write("[%d/%d] %s %s=%d %.1fs%s\n" % (
            done[0], len(jobs), dataset["name"], "pk" if pk else kind, width,
            run["seconds"], " (" + run["error"] + ")" if run["error"] else ""))
        return dataset, run

    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for dataset, run in pool.map(work, jobs):
            results.setdefault(dataset["name"], []).append(run)

    rows = [evaluate(d, results[d["name"]]) for d in datasets]
    settings = "widths %s (top model with the highest MAP score kept), qiro -seed %d %s" % (
        ",".join(str(w) for w in args.widths), args.seed, " ".join(args.qiro_args))
    if args.width_rule == "known":
        settings = ("width of the known sites (their lower median within %d..%d), qiro "
                    "-seed %d %s; data sets without known sites: %s" % (
                        KNOWN_MIN_WIDTH, KNOWN_MAX_WIDTH, args.seed,
                        " ".join(args.qiro_args), settings))
    if args.pk_share > 0:
        settings = ("prior knowledge: share %g of the known sites (width: their lower median "
                    "within %d..%d), qiro -pk FILE -seed %d %s; baseline: matrix scan of the "
                    "given sites (pseudocount 1 split by the background shares, zero-order "
                    "background of the set's own sequences, both strands, exact p-value on a "
                    "0.01-bit grid, p < %s); data sets without known sites: %s" % (
                        args.pk_share, PK_MIN_WIDTH, PK_MAX_WIDTH, args.seed,
                        " ".join(args.qiro_args),
                        " and ".join(map(matrix_scan.level_label, matrix_scan.LEVELS)),
                        settings))
    if args.label:
        settings = "variant %s: %s" % (args.label, settings)
    text = report(rows, settings)
    with open(args.out, "w") as handle:
        handle.write(text)
    with open(os.path.join(args.work, "runs%s.tsv" % args.suffix), "w") as handle:
        handle.write("\n".join(runs_tsv(rows)) + "\n")
    sys.stdout.write(text)
    sys.stderr.write("accuracy: %d data sets, %d qiro runs in %.0f s; table in %s\n" % (
        len(datasets), len(jobs), time.time() - started, args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
