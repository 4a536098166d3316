#!/usr/bin/env python3
"""Naming and placing motifs: does the top motif of each ENCODE factor get named after the
factor (or its family) in JASPAR 2024 CORE vertebrates, and do its sites gather at the
peak summits where those of a shuffled control do not?

    python3 bench/accuracy/naming.py [--data ../shared/data] [--bin build] [--peaks 1000]

For each factor of ../shared/data/chipseq_encode_hg19: qiro with the recommended line
(default `-mask T -dust 20 -evalue 0.05 -k 15 -seed 1`) and `-db` the JASPAR file on the
first PEAKS summit-centred peaks, and on the same number of the factor's shuffled peaks with
`-evalue 1e6`, so that the shuffled set reports its best candidate too; one markdown table
row per factor, as printed. The factor's family is the tf_family of JASPAR's index for the
factor's own name. Standard library only; the background of each run is made by qiro-freq
from its own sequences.
"""

import argparse
import csv
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import controls  # noqa: E402  (CORES, holds_core, read_records, write_fasta)

DB = "jaspar2024_core/JASPAR2024_CORE_vertebrates_non-redundant_pfms_meme.txt"
INDEX = "jaspar2024_core/JASPAR2024_CORE_non-redundant_index.tsv"


def families(data):
    """JASPAR id -> (name, family), and name (upper case) -> family."""
    by_id, by_name = {}, {}
    with open(os.path.join(data, INDEX)) as handle:
        for row in csv.DictReader(handle, delimiter="\t"):
            if row["taxon"] != "vertebrates":
                continue
            by_id[row["matrix_id"]] = (row["name"], row["tf_family"])
            by_name.setdefault(row["name"].upper(), row["tf_family"])
    return by_id, by_name


def run(args, fasta, tag, extra):
    freq = os.path.join(args.work, tag + ".freq")
    subprocess.run([os.path.join(args.bin, "qiro-freq"), "-o", freq, fasta], check=True,
                   stdout=subprocess.DEVNULL)
    out = os.path.join(args.work, tag)
    if args.reuse and os.path.exists(out + ".json"):
        with open(out + ".json") as handle:
            motifs = json.load(handle)["motifs"]
        return motifs[0] if motifs else None
    cmd = [os.path.join(args.bin, "qiro"), "-i", fasta, "-freq", freq, "-o", out + ".out",
           "-json", out + ".json", "-db", os.path.join(args.data, DB)] + args.args.split() + extra
    with open(out + ".console", "w") as console:
        subprocess.run(cmd, check=True, stdout=console)
    with open(out + ".json") as handle:
        motifs = json.load(handle)["motifs"]
    return motifs[0] if motifs else None


def cell_match(motif, by_id):
    if motif is None:
        return "nothing reported", None
    if not motif.get("matches"):
        return "no match (E <= 0.5)", None
    best = motif["matches"][0]
    name, family = by_id.get(best["id"], (best["name"], "?"))
    return "%s %s (E %.2g)" % (best["id"], name, best["evalue"]), (name, family)


def cell_centrality(motif):
    if motif is None:
        return "-"
    p = motif["site_positions"]
    return "%d of %d (%.2f expected); p %s" % (
        p["central_sites"], p["sites"], p["central_share_expected"] * p["sites"],
        "%.2g" % p["centrality_pvalue"] if p["centrality_pvalue"] > 0
        else "1e%.0f" % p["log10_centrality_pvalue"])


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(HERE, "..", "..", "..", "shared", "data"))
    parser.add_argument("--bin", default="build")
    parser.add_argument("--work", default="build/accuracy-naming")
    parser.add_argument("--peaks", type=int, default=1000)
    parser.add_argument("--reuse", action="store_true",
                        help="read the JSON of an earlier run in --work instead of running qiro")
    parser.add_argument("--args", default="-mask T -dust 20 -evalue 0.05 -k 15 -seed 1")
    args = parser.parse_args(argv)
    os.makedirs(args.work, exist_ok=True)
    by_id, by_name = families(args.data)
    folder = os.path.join(args.data, controls.ENCODE_FOLDER)
    print("| factor | top motif | best match in JASPAR 2024 vertebrates | factor or family | "
          "central fifth, summit-centred peaks | shuffled peaks: top motif | its best match | "
          "central fifth, shuffled |")
    print("|---|---|---|---|---|---|---|---|")
    for name, (factor, _, _, _) in controls.CORES.items():
        row = ["%s (%s)" % (factor, name.split("_")[0])]
        for kind, extra in (("", []), ("_shuffled", ["-evalue", "1e6"])):
            fasta = os.path.join(args.work, "%s%s.first%d.fa" % (name, kind, args.peaks))
            controls.write_fasta(fasta, controls.read_records(
                os.path.join(folder, name + kind + ".masked.fa.gz"), args.peaks))
            motif = run(args, fasta, name + kind, extra)
            match, named = cell_match(motif, by_id)
            row.append(motif["consensus"] if motif else "-")
            row.append(match)
            if not kind:
                # A dimer's matrix (Pou5f1::Sox2) names the factor when one of its parts does.
                family = by_name.get(factor.upper(), "?")
                parts = named[0].upper().split("::") if named else []
                row.append("yes (itself)" if factor.upper() in parts else
                           "yes (family: %s)" % family if named and family in named[1].split("::")
                           else "no")
            row.append(cell_centrality(motif))
        print("| " + " | ".join(row) + " |", flush=True)
    print("(qiro %s -db %s; first %d peaks of each set; shuffled peaks with -evalue 1e6)"
          % (args.args, os.path.basename(DB), args.peaks))


if __name__ == "__main__":
    main()
