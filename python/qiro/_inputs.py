"""The inputs people hold in Python, as the files the engine reads.

The engine reads its sequences, known sites and peaks from files, and checks
them there with the messages the command line gives.  So every input that is
not already a path is written to a file in the call's own temporary folder,
exactly as it was given (no letter changed), and the engine judges it as it
judges a file from the command line.
"""

import os

import numpy as np


def is_path(value):
    return isinstance(value, (str, bytes, os.PathLike))


def _record(item, index, what):
    """(name, letters) of one sequence given as a string, a pair or a SeqRecord-like object."""
    if isinstance(item, str):
        return "seq%d" % (index + 1), item
    if isinstance(item, (tuple, list)) and len(item) == 2 and isinstance(item[0], str):
        name, letters = item
        letters = str(letters)
    elif hasattr(item, "id") and hasattr(item, "seq"):  # Biopython's SeqRecord, read without importing it
        name, letters = str(item.id), str(item.seq)
    else:
        raise TypeError("%s: item %d is a %s; give strings, (name, letters) pairs or records with .id and .seq"
                        % (what, index + 1, type(item).__name__))
    # The FASTA file must hold the record as given: a name is its header's first word.
    if not name or any(c.isspace() for c in name):
        raise ValueError("%s: item %d: the name %r must be one word" % (what, index + 1, name))
    if ">" in letters or "\n" in letters or "\r" in letters:
        raise ValueError("%s: item %d (%s): the letters hold '>' or a line end" % (what, index + 1, name))
    return name, letters


def sequences_file(value, folder, stem, what):
    """A FASTA path for sequences given as a path or as an iterable of records."""
    if is_path(value):
        return os.fsdecode(value)
    if isinstance(value, np.ndarray) or not hasattr(value, "__iter__"):
        raise TypeError("%s must be a FASTA path or a list of sequences, not %s" % (what, type(value).__name__))
    records = [_record(item, i, what) for i, item in enumerate(value)]
    path = os.path.join(folder, stem + ".fa")
    with open(path, "w", encoding="latin-1") as out:
        for name, letters in records:
            out.write(">%s\n%s\n" % (name, letters))
    return path


def _is_matrix(value):
    if isinstance(value, np.ndarray):
        return True
    try:
        first = value[0]
        return not isinstance(first, str) and not hasattr(first, "seq") and \
            all(isinstance(x, (int, float, np.number)) for x in first)
    except (TypeError, IndexError, KeyError):
        return False


def known_sites_file(value, folder):
    """A -pk file: a path, sites (one per line) or a matrix (width x 4, A C G T) as a JASPAR matrix."""
    if is_path(value):
        return os.fsdecode(value)
    if _is_matrix(value):
        m = np.asarray(value, dtype=float)
        if m.ndim != 2 or m.shape[1] != 4:
            raise ValueError("known_sites: a matrix must be width x 4 (A C G T), not %s" % (m.shape,))
        path = os.path.join(folder, "known.jaspar")
        with open(path, "w") as out:
            out.write(">known known_sites\n")  # a JASPAR header: the engine reads a matrix, not sites
            for letter, row in zip("ACGT", m.T):
                out.write("%s [ %s ]\n" % (letter, " ".join(repr(float(x)) for x in row)))
        return path
    if not hasattr(value, "__iter__"):
        raise TypeError("known_sites must be a path, a list of sites or a matrix, not %s" % type(value).__name__)
    sites = [_record(item, i, "known_sites")[1] for i, item in enumerate(value)]
    path = os.path.join(folder, "known.txt")
    with open(path, "w", encoding="latin-1") as out:
        out.writelines(s + "\n" for s in sites)
    return path


def peaks_file(value, folder):
    """A BED/narrowPeak path for peaks given as a path or a frame with chrom, start, end (summit, strand)."""
    if is_path(value):
        return os.fsdecode(value)
    columns = getattr(value, "columns", None)
    if columns is None:
        raise TypeError("peaks must be a BED/narrowPeak path or a pandas frame, not %s" % type(value).__name__)
    missing = [c for c in ("chrom", "start", "end") if c not in columns]
    if missing:
        raise ValueError("peaks: the frame lacks the column(s) %s" % ", ".join(missing))
    path = os.path.join(folder, "peaks.narrowPeak")
    has_summit = "summit" in columns
    with open(path, "w") as out:
        for i, row in enumerate(value.itertuples(index=False)):
            rec = row._asdict()
            fields = [str(rec["chrom"]), str(int(rec["start"])), str(int(rec["end"]))]
            if has_summit or "strand" in columns:
                strand = str(rec.get("strand", ".")) if "strand" in columns else "."
                fields += [str(rec.get("name", "peak%d" % (i + 1))), "0", strand]
            if has_summit:  # narrowPeak's tenth column: the summit's offset from start
                fields += ["0", "-1", "-1", str(int(rec["summit"]))]
            out.write("\t".join(fields) + "\n")
    return path
