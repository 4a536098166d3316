#!/usr/bin/env python3
"""Planted data sets: real background sequence with sites drawn from JASPAR matrices.

Writes, into one folder, data sets in the layout accuracy.py reads: `<name>.fasta` and
its answer key `<name>.sites.tsv` (seqname, 1-based inclusive start and end, strand), plus
`index.tsv` describing every set.  Each set is

* 20 to 200 sequences of real genomic background: pieces of 100 to 500 bp cut from the
  fly upstream regions (dm3, 2 kb each) or from yeast chromosome I, or pieces of 100 to
  250 bp of the human promoter fragments (hg19, 250 bp each), no two pieces of a set
  overlapping and none holding a letter other than A, C, G, T;
* 50 to 100 % of them holding one site of the set's JASPAR 2024 CORE matrix, each letter
  drawn from that column's frequencies, on a random strand, at a random place; the site
  letters replace background letters one for one, so the sequence keeps its length.

A source whose letters are all lower case (the fly upstream file) is upper-cased, since
its case marks nothing; otherwise letters keep their case (soft-masked repeats stay
lower case, and a site planted there takes the case of the letters it replaces), and the
index counts the lower-case letters of every set.  --keep-case keeps all-lower-case
sources as they are.

Everything is drawn from random.Random seeded with --seed and the set's name, so the same
seed writes the same files.  Standard library only.
"""

import argparse
import gzip
import os
import random
import sys

# name, organism, JASPAR matrix id, JASPAR name (checked against the file), composition
SETS = (
    ("fly_Ubx", "fly", "MA0094.3", "Ubx", "A/T-rich homeodomain"),
    ("fly_tin", "fly", "MA0247.3", "tin", "homeodomain, balanced"),
    ("fly_pnr", "fly", "MA0536.2", "pnr", "GATA"),
    ("fly_Trl", "fly", "MA0205.3", "Trl", "GAGA repeat"),
    ("fly_Sp1", "fly", "MA2279.1", "Sp1", "G/C-rich"),
    ("yeast_SPT15", "yeast", "MA0386.2", "SPT15", "A/T-rich TATA box (TBP)"),
    ("yeast_MCM1", "yeast", "MA0331.1", "MCM1", "CArG box"),
    ("yeast_REB1", "yeast", "MA0363.3", "REB1", "balanced"),
    ("yeast_PHO4", "yeast", "MA0357.1", "PHO4", "E-box, balanced"),
    ("human_TBP", "human", "MA0108.3", "TBP", "A/T-rich TATA box"),
    ("human_HOXA5", "human", "MA0158.2", "HOXA5", "A/T-rich homeodomain"),
    ("human_SP1", "human", "MA0079.5", "SP1", "G/C-rich"),
    ("human_CTCF", "human", "MA0139.2", "CTCF", "balanced, 15 bp"),
    ("human_REST", "human", "MA0138.3", "REST", "balanced, 20 bp"),
)

SOURCES = {
    "fly": ("dm3_upstream2000.fa.gz",),
    "yeast": ("sacCer_chrI.fa",),
    "human": ("hg19_CapStarrseq_inactive_promoters.fa.gz",
              "hg19_CapStarrseq_active_promoters_HeLa.fa",
              "hg19_CapStarrseq_active_promoters_K562.fa"),
}
MIN_SEQS, MAX_SEQS = 20, 200
MIN_LEN, MAX_LEN = 100, 500
JASPAR_FILE = "JASPAR2024_CORE_non-redundant_pfms_jaspar.txt"
COMPLEMENT = str.maketrans("ACGTacgt", "TGCAtgca")


def read_fasta(path):
    """(header, letters) of every record of a FASTA file, gzipped or not."""
    opener = gzip.open if path.endswith(".gz") else open
    records, header, parts = [], None, []
    with opener(path, "rt") as handle:
        for line in handle:
            line = line.strip()
            if line.startswith(">"):
                if header is not None:
                    records.append((header, "".join(parts)))
                header, parts = line[1:], []
            elif header is not None:
                parts.append(line)
    if header is not None:
        records.append((header, "".join(parts)))
    return records


def read_jaspar(path):
    """{matrix id: (name, columns)}, each column the frequencies of A, C, G, T."""
    matrices, current = {}, None
    with open(path) as handle:
        for line in handle:
            if line.startswith(">"):
                fields = line[1:].split()
                current = fields[0]
                matrices[current] = (fields[1] if len(fields) > 1 else "", [])
            elif "[" in line and current:
                row = [float(x) for x in line.split("[", 1)[1].split("]", 1)[0].split()]
                matrices[current][1].append(row)
    result = {}
    for mid, (name, rows) in matrices.items():
        columns = []
        for counts in zip(*rows):
            total = sum(counts)
            columns.append([c / total for c in counts])
        result[mid] = (name, columns)
    return result


def sample_site(columns, rng):
    """One site: a letter per column drawn from its frequencies."""
    return "".join(rng.choices("ACGT", weights=col)[0] for col in columns)


def reverse_complement(letters):
    return letters.translate(COMPLEMENT)[::-1]


def plant(piece, site):
    """`site` at a place in `piece`: the site letters take the case of the letters
    they replace."""
    return "".join(s.lower() if p.islower() else s for p, s in zip(piece, site))


class Background:
    """The background sequence of one organism and how pieces are cut from it."""

    def __init__(self, organism, folder, keep_case):
        self.organism = organism
        records = []
        for fn in SOURCES[organism]:
            records += read_fasta(os.path.join(folder, fn))
        letters = "".join(seq for _, seq in records)
        upper = not keep_case and not any(c.isupper() for c in letters)
        self.upper_cased = upper
        seen, self.records = set(), []
        for header, seq in records:
            words = header.split()
            # Fly upstream regions shared by several transcripts occur more than once;
            # keep the first by coordinates so that no set holds one region twice.
            key = words[1] if organism == "fly" and len(words) > 1 else words[0]
            if key in seen:
                continue
            seen.add(key)
            records_seq = seq.upper() if upper else seq
            self.records.append((words[0], records_seq))
        self.max_len = 250 if organism == "human" else MAX_LEN

    def pieces(self, lengths, rng):
        """Pieces of the given lengths, (label, letters), none holding a letter other
        than A, C, G, T and no two overlapping."""
        if len(self.records) == 1:
            return self._pieces_of_one(lengths, rng)
        order = list(range(len(self.records)))
        rng.shuffle(order)
        out, k = [], 0
        for length in lengths:
            while True:
                name, seq = self.records[order[k]]
                k += 1
                if len(seq) < length:
                    continue
                start = rng.randint(0, len(seq) - length)
                piece = seq[start:start + length]
                if set(piece.upper()) <= set("ACGT"):
                    out.append(("%s:%d-%d" % (name, start + 1, start + length), piece))
                    break
        return out

    def _pieces_of_one(self, lengths, rng):
        name, seq = self.records[0]
        taken, out = [], []
        for length in lengths:
            for _ in range(100000):
                start = rng.randint(0, len(seq) - length)
                end = start + length
                if all(end <= a or start >= b for a, b in taken):
                    piece = seq[start:end]
                    if set(piece.upper()) <= set("ACGT"):
                        break
            else:
                sys.exit("make_planted: no room left in %s" % name)
            taken.append((start, end))
            out.append(("%s:%d-%d" % (name, start + 1, end), piece))
        return out


def make_set(plan, background, matrix, seed, size=None, share=None, sites=1):
    """FASTA text, answer-key text and index fields of one planted set: of a size
    and share of sequences with a site drawn from the set's name, or as given; each
    sequence with a site holds `sites` of them."""
    name, organism, mid, _, _ = plan
    rng = random.Random("%d:%s" % (seed, name))
    columns = matrix[1]
    width = len(columns)
    count = rng.randint(MIN_SEQS, MAX_SEQS)
    with_site = rng.randint((count + 1) // 2, count)
    if size is not None:
        count = size
        with_site = int(round(count * (1.0 if share is None else share)))
    holders = set(rng.sample(range(count), with_site))
    lengths = [rng.randint(MIN_LEN, background.max_len) for _ in range(count)]
    fasta, key = [], []
    lower = 0
    for i, (label, piece) in enumerate(background.pieces(lengths, rng)):
        seqname = "seq_%d" % i
        taken = []
        for _ in range(sites if i in holders else 0):
            site = sample_site(columns, rng)
            strand = "+"
            if rng.random() < 0.5:
                site, strand = reverse_complement(site), "-"
            # Several sites of one sequence never overlap (a sequence too short for
            # another one gets fewer).
            for _ in range(1000):
                start = rng.randint(0, len(piece) - width)
                if all(start + width <= a or start >= a + width for a in taken):
                    break
            else:
                break
            taken.append(start)
            piece = piece[:start] + plant(piece[start:start + width], site) + \
                piece[start + width:]
            key.append("%s\t%d\t%d\t%s\n" % (seqname, start + 1, start + width, strand))
        lower += sum(1 for c in piece if c.islower())
        fasta.append(">%s %s\n" % (seqname, label))
        fasta += [piece[j:j + 60] + "\n" for j in range(0, len(piece), 60)]
    letters = sum(lengths)
    return "".join(fasta), "".join(key), (count, with_site, letters, lower)


def parse_args(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.join(os.path.dirname(os.path.dirname(here)), "..", "shared", "data")
    p = argparse.ArgumentParser(description="Write planted data sets (real background, "
                                            "JASPAR sites) for accuracy.py.")
    p.add_argument("--out", required=True, help="folder to write the data sets into")
    p.add_argument("--data", default=data,
                   help="folder holding background_sequences/ and jaspar2024_core/ "
                        "(default: ../shared/data from the repo)")
    p.add_argument("--seed", type=int, default=1, help="random seed (default: 1)")
    p.add_argument("--only", default="", help="comma-separated set names (default: all)")
    p.add_argument("--keep-case", action="store_true",
                   help="keep the case of sources that are all lower case")
    p.add_argument("--sizes", default="",
                   help="comma-separated sequence counts: every set is written once per size "
                        "and share, named <set>_n<size>_<percent> (default: one set of a size "
                        "drawn from 20 to 200)")
    p.add_argument("--sites", type=int, default=1,
                   help="sites in each sequence that holds one (default: 1); sets with more "
                        "than one are named <set>_n<size>_<percent>_s<sites>")
    p.add_argument("--shares", default="1.0",
                   help="with --sizes: comma-separated shares of the sequences holding a "
                        "site (default: 1.0)")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    wanted = set(x for x in args.only.split(",") if x)
    plans = [s for s in SETS if not wanted or s[0] in wanted]
    if wanted - set(s[0] for s in plans):
        sys.exit("make_planted: unknown set(s): %s" % ", ".join(sorted(wanted - set(
            s[0] for s in SETS))))
    matrices = read_jaspar(os.path.join(args.data, "jaspar2024_core", JASPAR_FILE))
    os.makedirs(args.out, exist_ok=True)
    backgrounds = {}
    index = ["name\torganism\tmatrix\tfactor\tcomposition\twidth\tsequences\twith_site\t"
             "letters\tlower_case\tbackground"]
    sizes = [int(x) for x in args.sizes.split(",") if x]
    shares = [float(x) for x in args.shares.split(",") if x]
    variants = [(n, f) for n in sizes for f in shares] or [(None, None)]
    for base, (size, share) in ((p, v) for p in plans for v in variants):
        name, organism, mid, factor, composition = base
        if size is not None:
            name = "%s_n%d_%d" % (name, size, int(round(100 * share)))
            if args.sites > 1:
                name += "_s%d" % args.sites
        plan = (name, organism, mid, factor, composition)
        if mid not in matrices or matrices[mid][0] != factor:
            sys.exit("make_planted: %s is not %s in %s" % (mid, factor, JASPAR_FILE))
        if organism not in backgrounds:
            backgrounds[organism] = Background(
                organism, os.path.join(args.data, "background_sequences"), args.keep_case)
        bg = backgrounds[organism]
        fasta, key, (count, with_site, letters, lower) = make_set(
            plan, bg, matrices[mid], args.seed, size, share, args.sites)
        with open(os.path.join(args.out, name + ".fasta"), "w") as handle:
            handle.write(fasta)
        with open(os.path.join(args.out, name + ".sites.tsv"), "w") as handle:
            handle.write(key)
        index.append("\t".join(str(x) for x in (
            name, organism, mid, factor, composition, len(matrices[mid][1]), count,
            with_site, letters, lower, ",".join(SOURCES[organism]) +
            (" (upper-cased)" if bg.upper_cased else ""))))
    with open(os.path.join(args.out, "index.tsv"), "w") as handle:
        handle.write("\n".join(index) + "\n")
    sys.stdout.write("\n".join(index) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
