#!/usr/bin/env python3
"""The time of qiro.discover against the qiro program on the same run.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_vs_cli.py FASTA [--runs 5] [--width 15]
        [--bin build] [--peaks 5000]

Takes the first --peaks records of FASTA, then runs the judged line
(-mask T -dust 20 -evalue 0.05 -k WIDTH -seed 1 -json) from the command line
and from Python by turns, back to back, and prints each time and the medians.
Both runs write the same outputs (the module writes every format; the program
is given them too), so the times compare the same work.  Also checks that the
two give the same motifs.
"""

import argparse
import gzip
import json
import os
import statistics
import subprocess
import tempfile
import time

import qiro


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("fasta")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--width", type=int, default=15)
    ap.add_argument("--peaks", type=int, default=5000)
    ap.add_argument("--bin", default="build")
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="qiro-bench-")
    opener = gzip.open if a.fasta.endswith(".gz") else open
    path = os.path.join(work, "input.fa")
    n = 0
    with opener(a.fasta, "rt") as f, open(path, "w") as out:
        for line in f:
            if line.startswith(">"):
                n += 1
                if n > a.peaks:
                    break
            out.write(line)
    words = ["-i", path, "-k", str(a.width), "-evalue", "0.05", "-mask", "T", "-dust", "20", "-seed", "1"]
    outs = [w for k in ("meme", "jaspar", "bed", "json", "html") for w in ("-" + k, os.path.join(work, "cli." + k))]
    cli_times, py_times = [], []
    for _ in range(a.runs):
        t = time.perf_counter()
        subprocess.run([os.path.join(a.bin, "qiro"), *words, "-o", os.path.join(work, "cli.out"), *outs],
                       check=True, stdout=subprocess.DEVNULL)
        cli_times.append(time.perf_counter() - t)
        t = time.perf_counter()
        r = qiro.discover(path, width=a.width, seed=1)
        py_times.append(time.perf_counter() - t)
    with open(os.path.join(work, "cli.json")) as f:
        same = json.load(f)["motifs"] == r.json["motifs"]
    print("runs:   " + "  ".join("cli %.2f s / python %.2f s" % c for c in zip(cli_times, py_times)))
    cm, pm = statistics.median(cli_times), statistics.median(py_times)
    print("median: cli %.2f s, python %.2f s (%+.1f%%); same motifs: %s" % (cm, pm, 100 * (pm / cm - 1),
                                                                          "yes" if same else "NO"))


if __name__ == "__main__":
    main()
