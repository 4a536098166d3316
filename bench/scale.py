#!/usr/bin/env python3
"""ChIP-seq scale: the recommended line on growing peak sets.

    python3 bench/scale.py [--bin build] [--runs 3] [--args "..."]

Runs qiro with the recommended line (default `-mask T -dust 20 -evalue 0.05 -k 15
-seed 1 -threads 2`) on the first 1,000 and 5,000 NRSF peaks, every GATA1 peak, and the
first 1,000, 5,000 and 20,000 HNF4A peaks (the ENCODE files of ../shared/data), RUNS times
each, one at a time, and prints one markdown row per set: median wall seconds and the
fastest and slowest run (the machine noise), median CPU seconds,
median peak memory (GNU time's maximum resident set size), the top motif, and whether it
holds the factor's core (the rule of bench/accuracy/controls.py). A last row times a
width range with several motifs (`--range-args`, default `-k 8-15 -nmotifs 3`) on the
first 5,000 NRSF peaks, each run right after the one-width run of the line, and another
(`--small-range-args`, `-k 6-15 -nmotifs 3`) on the 22 promoters of the MET regulon
against `-k 10` (`--small-args`), and gives the median of those pairs' ratios. Standard library and /usr/bin/time only.
"""

import argparse
import gzip
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "accuracy"))
import accuracy  # noqa: E402  (parse_result, make_freq's command)
import controls  # noqa: E402  (CORES, holds_core)

SETS = (("HeLaS3_NRSF_ChIP_HAIB", 1000), ("HeLaS3_NRSF_ChIP_HAIB", 5000),
        ("K562_GATA1_ChIP_SYDH", None), ("HepG2_HNF4A_ChIP_HAIB", 1000),
        ("HepG2_HNF4A_ChIP_HAIB", 5000), ("HepG2_HNF4A_ChIP_HAIB", 20000))


def first_records(path, limit, out):
    """Writes the first `limit` FASTA records of a gzip file (all when None) to out;
    returns how many were written."""
    n = 0
    with gzip.open(path, "rt") as src, open(out, "w") as dst:
        for line in src:
            if line.startswith(">"):
                n += 1
                if limit is not None and n > limit:
                    n -= 1
                    break
            dst.write(line)
    return n


def timed(cmd, log):
    """Runs cmd under /usr/bin/time; returns (wall s, CPU s, peak KB)."""
    stats = log + ".time"
    with open(log, "w") as out:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", stats] + cmd, stdout=out,
                       stderr=subprocess.STDOUT, check=False)
    with open(stats) as handle:
        wall, user, system, kb = handle.read().split()[-4:]
    return float(wall), float(user) + float(system), int(kb)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--bin", default="build")
    p.add_argument("--data", default=os.path.join(HERE, "..", "..", "shared", "data"))
    p.add_argument("--work", default="build-bench/scale")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--args", default="-mask T -dust 20 -evalue 0.05 -k 15 -seed 1 -threads 2")
    p.add_argument("--range-args", default="-mask T -dust 20 -evalue 0.05 -k 8-15 -nmotifs 3 -seed 1 -threads 2")
    p.add_argument("--small-args", default="-mask T -dust 20 -evalue 0.05 -k 10 -seed 1 -threads 2")
    p.add_argument("--small-range-args",
                   default="-mask T -dust 20 -evalue 0.05 -k 6-15 -nmotifs 3 -seed 1 -threads 2")
    args = p.parse_args(argv)
    os.makedirs(args.work, exist_ok=True)
    qiro = os.path.join(args.bin, "qiro")
    print("| set | peaks | wall (s) | wall, fastest-slowest | CPU (s) | peak memory (MB) | top motif | E-value "
          "| core |")
    print("|---|---:|---:|---:|---:|---:|---|---:|---|")
    for name, limit in SETS:
        source = os.path.join(args.data, controls.ENCODE_FOLDER, name + ".masked.fa.gz")
        if not os.path.exists(source):
            continue
        tag = "%s_%s" % (name.split("_")[1], limit or "all")
        fasta = os.path.join(args.work, tag + ".fa")
        peaks = first_records(source, limit, fasta)
        freq = os.path.join(args.work, tag + ".freq")
        subprocess.run([os.path.join(args.bin, "qiro-freq"), "-o", freq, fasta],
                       stdout=subprocess.DEVNULL, check=True)
        out = os.path.join(args.work, tag + ".out")
        runs = [timed([qiro, "-i", fasta, "-freq", freq, "-o", out] + args.args.split(),
                      os.path.join(args.work, "%s.%d.log" % (tag, i))) for i in range(args.runs)]
        with open(out) as handle:
            text = handle.read()
        motifs = accuracy.parse_result(text)
        # The E-value as printed (a float would turn 1e-400 into 0).
        evalue = next((line.split(":", 1)[1].strip() for line in text.splitlines()
                       if line.startswith("E-value:")), "-")
        factor, cores, allowed, _ = controls.CORES[name]
        top = motifs[0] if motifs else None
        core = top is not None and any(controls.holds_core(top["consensus"], c, allowed)
                                       for c in cores)
        walls = [r[0] for r in runs]
        print("| %s %s | %d | %.1f | %.1f-%.1f | %.1f | %.0f | %s | %s | %s |" % (
            factor, limit or "all", peaks, statistics.median(walls), min(walls), max(walls),
            statistics.median(r[1] for r in runs), statistics.median(r[2] for r in runs) / 1024,
            top["consensus"] if top else "-", evalue,
            "yes" if core else "no"))
        sys.stdout.flush()
    print("(medians of %d runs each, one run at a time; the spread of the wall times is the "
          "machine noise; qiro %s)" % (args.runs, args.args))
    range_rows(args, qiro)


def range_rows(args, qiro):
    """Each range run against its one-width run, back to back: the first 5,000 NRSF peaks,
    and a small promoter set (the MET regulon, judged on every sequence)."""
    small = os.path.join(args.data, "yeast_regulons", "MET_up800-noorf.fasta")
    cases = [("NRSF_5000", os.path.join(args.work, "NRSF_5000.fa"), args.args, args.range_args),
             ("MET", small, args.small_args, args.small_range_args)]
    header = False
    for tag, fasta, one_args, range_args in cases:
        if not os.path.exists(fasta):
            continue
        freq = os.path.join(args.work, tag + ".freq")
        if not os.path.exists(freq):
            subprocess.run([os.path.join(args.bin, "qiro-freq"), "-o", freq, fasta],
                           stdout=subprocess.DEVNULL, check=True)
        pairs = []
        for i in range(args.runs):
            one = timed([qiro, "-i", fasta, "-freq", freq, "-o", os.path.join(args.work, "one.out")]
                        + one_args.split(), os.path.join(args.work, "%s.one.%d.log" % (tag, i)))
            ranged = timed([qiro, "-i", fasta, "-freq", freq, "-o", os.path.join(args.work, "range.out")]
                           + range_args.split(), os.path.join(args.work, "%s.range.%d.log" % (tag, i)))
            pairs.append((one, ranged))
        with open(os.path.join(args.work, "range.out")) as handle:
            motifs = accuracy.parse_result(handle.read())
        if not header:
            print()
            print("| input | run | wall (s) | peak memory (MB) | range / one width (median of the pairs) "
                  "| motifs | top motif |")
            print("|---|---|---:|---:|---:|---:|---|")
            header = True
        print("| %s | `%s` | %.1f | %.0f | %.2f | %d | %s |" % (
            tag, range_args, statistics.median(r[0] for _, r in pairs),
            statistics.median(r[2] for _, r in pairs) / 1024,
            statistics.median(r[0] / o[0] for o, r in pairs), len(motifs),
            motifs[0]["consensus"] if motifs else "-"))
        print("| %s | `%s` | %.1f | %.0f | 1 | | |" % (
            tag, one_args, statistics.median(o[0] for o, _ in pairs),
            statistics.median(o[2] for o, _ in pairs) / 1024))
        sys.stdout.flush()


if __name__ == "__main__":
    main(sys.argv[1:])
