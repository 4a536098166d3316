"""QIRO from Python: motif discovery with the command line's own engine.

    import qiro
    result = qiro.discover("peaks.fa.gz", widths=(8, 15), seed=1)
    for motif in result.motifs:
        print(motif.consensus, motif.evalue, len(motif.sites))
    result.sites_frame()          # the sites as a pandas DataFrame

discover() runs the judged line of the command line (qiro -mask T -dust 20
-evalue 0.05) by default; discover_peaks() cuts the input from a genome;
read_motifs() reads MEME or JASPAR files into Motifs whose scan() calls sites.
The same settings and seed give the same motifs, E-values and sites as the
qiro program.  Bad input raises ValueError (FileNotFoundError for a file that
cannot be opened, TypeError for an argument of the wrong kind) with the
command line's message; the run's warnings are Python warnings (QiroWarning).
"""

import json
import os
import tempfile
import warnings

from . import _engine
from ._inputs import is_path, known_sites_file, peaks_file, sequences_file
from ._result import Motif, Result, Site

__version__ = _engine.version
__all__ = ["discover", "discover_peaks", "read_motifs", "Result", "Motif", "Site", "QiroWarning"]


class QiroWarning(UserWarning):
    """A warning of the run's log (a sequence left out, a value repaired...)."""


def _flag(value):
    return "T" if value else "F"


def _word(value):
    if isinstance(value, bool):
        return _flag(value)
    if isinstance(value, (list, tuple)):
        raise TypeError("option values are single words; give %r as one value" % (value,))
    return os.fsdecode(value) if isinstance(value, (bytes, os.PathLike)) else str(value)


def _width_words(width, widths):
    if width is not None and widths is not None:
        raise TypeError("give width or widths, not both")
    if width is not None:
        if isinstance(width, bool) or not isinstance(width, int):
            raise TypeError("width must be a whole number, not %r" % (width,))
        return ["-k", str(width)]
    if widths is None:
        return []
    if isinstance(widths, str):
        return ["-k", widths]
    try:
        lo, hi = (widths.start, widths.stop - 1) if isinstance(widths, range) else widths
    except (TypeError, ValueError):
        raise TypeError("widths must be (lowest, highest), a range or 'low-high', not %r" % (widths,)) from None
    return ["-k", "%d-%d" % (lo, hi)]


def _common_words(folder, width, widths, nmotifs, evalue, controls, known_sites, database, mask, dust,
                  both_strands, seed, threads, options):
    """The command line's words for discover()'s arguments (an argument left at
    the command line's own default adds no word)."""
    words = _width_words(width, widths)
    if nmotifs != 1:
        words += ["-nmotifs", _word(nmotifs)]
    if evalue:
        words += ["-evalue", _word(evalue)]
    if controls is not None:
        words += ["-neg", sequences_file(controls, folder, "controls", "controls")]
    if known_sites is not None:
        words += ["-pk", known_sites_file(known_sites, folder)]
    if database is not None:
        for db in [database] if is_path(database) else database:
            words += ["-db", os.fsdecode(db)]
    if mask:
        words += ["-mask", "T"]
    if dust:
        words += ["-dust", _word(dust)]
    if not both_strands:
        words += ["-d", "F"]
    if seed is not None:
        words += ["-seed", _word(seed)]
    if threads:
        words += ["-threads", _word(threads)]
    for key, value in options.items():
        words += ["-" + key, _word(value)]
    return words


_GIVEN = {"input.fa": "the sequences given", "controls.fa": "the controls given", "known.txt": "the known sites given",
          "known.jaspar": "the known matrix given", "peaks.narrowPeak": "the peaks given"}


def _run(words, folder, verbose, progress):
    if progress is not None and not callable(progress):
        raise TypeError("progress must be callable (it is given each progress line)")
    outputs = {kind: os.path.join(folder, "result." + kind) for kind in ("meme", "jaspar", "bed", "json", "html")}
    words = words + ["-o", os.path.join(folder, "result.out")]
    for kind, path in outputs.items():
        words += ["-" + kind, path]
    try:
        found = _engine.run(words, verbose, progress)
    except (ValueError, OSError) as e:
        # The files written for inputs given as Python objects are named as the
        # arguments they came from, not by a temporary name the caller never saw.
        message = str(e).rstrip()
        for stem, said in _GIVEN.items():
            message = message.replace(os.path.join(folder, stem), said)
        raise type(e)(message) from None
    with open(outputs["json"], encoding="utf-8") as f:
        data = json.load(f)
    texts = {}
    for kind, path in outputs.items():
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            texts[kind] = f.read()
    for line in found:
        warnings.warn(line, QiroWarning, stacklevel=3)
    return Result(data, texts, found)


def discover(sequences, width=None, widths=None, nmotifs=1, evalue=0.05, controls=None, known_sites=None,
             database=None, mask=True, dust=20, both_strands=True, seed=None, threads=0, verbose=False,
             progress=None, **options):
    """Find the motifs of a set of sequences; returns a Result.

    sequences -- a FASTA path (plain or gzip), a list of strings, a list of
        (name, letters) pairs, or Biopython SeqRecords (read by .id and .seq)
    width -- the motif width (-k w); widths -- a range of widths: (8, 15),
        range(8, 16) or '8-15' (-k 8-15); neither: the command line's default
    nmotifs -- motifs sought one after another (-nmotifs)
    evalue -- report motifs up to this E-value against controls (-evalue);
        None or 0: the plain search, unjudged
    controls -- control sequences in the forms of sequences (-neg); None:
        the input shuffled
    known_sites -- sites already known (-pk): a path, sites as sequences, or
        a matrix (numpy array or lists, width x 4, A C G T)
    database -- a MEME or JASPAR file, or a list of them, that the motifs are
        named after and whose motifs are tested for enrichment (-db)
    mask -- lower-case letters are never in a site (-mask T)
    dust -- the DUST level masking low-complexity letters; 0 is off (-dust)
    both_strands -- sites on either strand (False: -d F)
    seed -- the random seed; None: the clock's (Result.seed tells it)
    threads -- threads to use; 0: one per core (-threads)
    verbose -- print the engine's log as the command line does
    progress -- a callable given each progress line (a stage, a generation)
    options -- any other option of the command line by its name without the
        dash: g=100, p=200, searchsize=0, sitemodel='zoops', words=0 ...

    The same settings and seed give what `qiro` gives; the words are those of
    `qiro -mask T -dust 20 -evalue 0.05 ...` with these defaults.  Raises
    ValueError (FileNotFoundError, TypeError) with the command line's message.
    """
    with tempfile.TemporaryDirectory(prefix="qiro-") as folder:
        words = ["-i", sequences_file(sequences, folder, "input", "sequences")]
        words += _common_words(folder, width, widths, nmotifs, evalue, controls, known_sites, database, mask, dust,
                               both_strands, seed, threads, options)
        return _run(words, folder, verbose, progress)


def discover_peaks(peaks, genome, peaksize=100, width=None, widths=None, nmotifs=1, evalue=0.05, controls=None,
                   known_sites=None, database=None, mask=True, dust=20, both_strands=True, seed=None, threads=0,
                   verbose=False, progress=None, **options):
    """Find the motifs about ChIP-seq peaks on a genome; returns a Result.

    peaks -- a BED or narrowPeak path, or a pandas DataFrame with columns
        chrom, start, end (0-based, end excluded), and optionally summit (the
        summit's offset from start, as narrowPeak's tenth column) and strand
    genome -- the genome's FASTA (plain or bgzip; its .fai index is made
        beside it when missing)
    peaksize -- letters cut about each summit (or middle); 0: each peak whole
    The other arguments are discover()'s.  The controls are random windows of
    the genome matched to the peaks' GC content unless controls are given.
    """
    with tempfile.TemporaryDirectory(prefix="qiro-") as folder:
        words = ["-peaks", peaks_file(peaks, folder), "-genome", os.fsdecode(genome)]
        if peaksize != 100:
            words += ["-peaksize", _word(peaksize)]
        words += _common_words(folder, width, widths, nmotifs, evalue, controls, known_sites, database, mask, dust,
                               both_strands, seed, threads, options)
        return _run(words, folder, verbose, progress)


def read_motifs(path, pvalue=1e-4, background=(0.25, 0.25, 0.25, 0.25)):
    """The motifs of a MEME or JASPAR file (plain or gzip) as a list of Motif.

    Each motif's log_odds is its matrix read as a few sites smoothed towards
    the background (A C G T shares), and its threshold the score a window
    reaches with probability pvalue under that background, as qiro's
    known-motif test scans: Motif.scan() then calls every window at or above
    it (overlaps resolved to the higher score).  A file that cannot be read
    raises ValueError naming its line.
    """
    motifs = []
    for ident, name, columns, scores, threshold in _engine.read_motifs(os.fsdecode(path), pvalue, list(background)):
        info = {"id": ident, "name": name, "width": len(columns), "threshold": threshold,
                "probabilities": {b: [c[i] for c in columns] for i, b in enumerate("ACGT")},
                "log_odds": {b: [c[i] for c in scores] for i, b in enumerate("ACGT")},
                "consensus": "".join("ACGT"[max(range(4), key=c.__getitem__)] for c in columns)}
        motifs.append(Motif(info, {"mask": False, "dust": 0.0, "both_strands": True}))
    return motifs
