#!/usr/bin/python3
"""Reads qiro's MEME and JASPAR outputs back with Biopython's Bio.motifs and
checks them against the models of the run's result file.

    motif_roundtrip.py RESULT_FILE MEME_FILE JASPAR_FILE FREQ_FILE BOTH_STRANDS(1/0)

The result file gives, per ranked model, its consensus, site count and letter
counts (the rows of its position frequency matrix). Then:
  - MEME (Bio.motifs "minimal"): one motif per model in rank order, named
    QIRO-<rank> with the consensus as alternate name, width and nsites as in
    the result file, every matrix row summing to 1, probabilities times nsites
    giving back the counts, the background letters of the frequency file
    (normalised), and the strands line of the run;
  - JASPAR (Bio.motifs "jaspar"): matrix id QIRO-<rank>, name the consensus,
    counts equal to the result file's.
Prints "ok" and exits 0 when everything holds; otherwise lists the faults and
exits 1.
"""
import sys

from Bio import motifs

LETTERS = "ACGT"


def parse_result(path):
    models = []
    with open(path) as f:
        lines = f.read().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("Motif Rank #"):
            models.append({"rank": int(line[len("Motif Rank #"):]), "counts": {}})
        elif models and "Consensus: " in line:
            models[-1]["consensus"] = line.split("Consensus: ")[1].split()[0]
        elif models and line.startswith("No. of sites: "):
            models[-1]["nsites"] = int(line.split(":")[1])
        elif models and len(line) > 2 and line[0] in LETTERS and line[1] == "\t":
            models[-1]["counts"][line[0]] = [float(x) for x in line[2:].split()]
        i += 1
    return models


def parse_freq(path):
    base = {}
    with open(path) as f:
        words = f.read().split()
    for k in range(0, len(words) - 2, 3):
        if len(words[k + 1]) == 1 and words[k + 1] in LETTERS:
            base[words[k + 1]] = float(words[k + 2])
    total = sum(base.values())
    return {b: base[b] / total for b in LETTERS}


def main(argv):
    result, meme_path, jaspar_path, freq_path, both = argv[1:6]
    faults = []

    def check(ok, text):
        if not ok:
            faults.append(text)

    models = parse_result(result)
    check(len(models) >= 1, "the result file lists no model")
    background = parse_freq(freq_path)

    with open(meme_path) as f:
        meme_text = f.read()
    with open(meme_path) as f:
        meme = motifs.parse(f, "minimal")
    check(len(meme) == len(models), f"MEME: {len(meme)} motifs for {len(models)} models")
    strands = "strands: + -" if both == "1" else "strands: +"
    check(strands + "\n" in meme_text, f"MEME: no line '{strands}'")
    for b in LETTERS:
        check(abs(meme.background[b] - background[b]) < 1e-6,
              f"MEME: background {b} {meme.background[b]} != {background[b]}")
    # Alternate names and row sums from the text itself: Bio keeps neither.
    alt, rows = [], []
    block = None
    for line in meme_text.splitlines():
        if line.startswith("MOTIF "):
            alt.append(line.split()[2] if len(line.split()) > 2 else "")
            block = []
            rows.append(block)
        elif block is not None and len(line.split()) == 4:
            block.append([float(x) for x in line.split()])
        elif block is not None and line.strip() == "" and block:
            block = None
    for m, motif, name, matrix in zip(models, meme, alt, rows):
        r = m["rank"]
        check(motif.name == f"QIRO-{r}", f"MEME: motif {r} is named {motif.name}")
        check(name == m["consensus"], f"MEME: motif {r} alternate name {name} != {m['consensus']}")
        width = len(m["counts"]["A"])
        check(motif.length == width, f"MEME: motif {r} width {motif.length} != {width}")
        check(motif.num_occurrences == m["nsites"], f"MEME: motif {r} nsites {motif.num_occurrences} != {m['nsites']}")
        check(len(matrix) == width, f"MEME: motif {r} has {len(matrix)} rows")
        for j, row in enumerate(matrix):
            check(abs(sum(row) - 1.0) < 1e-9, f"MEME: motif {r} row {j + 1} sums to {sum(row)}")
        for b in LETTERS:
            got = [float(x) for x in motif.counts[b]]
            check(got == m["counts"][b], f"MEME: motif {r} counts {b} {got} != {m['counts'][b]}")

    with open(jaspar_path) as f:
        jaspar = motifs.parse(f, "jaspar")
    check(len(jaspar) == len(models), f"JASPAR: {len(jaspar)} motifs for {len(models)} models")
    for m, motif in zip(models, jaspar):
        r = m["rank"]
        check(motif.matrix_id == f"QIRO-{r}", f"JASPAR: motif {r} id {motif.matrix_id}")
        check(motif.name == m["consensus"], f"JASPAR: motif {r} name {motif.name} != {m['consensus']}")
        for b in LETTERS:
            got = [float(x) for x in motif.counts[b]]
            check(got == m["counts"][b], f"JASPAR: motif {r} counts {b} {got} != {m['counts'][b]}")

    if faults:
        print("\n".join(faults))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
