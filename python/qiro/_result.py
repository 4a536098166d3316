"""What a run gives back: its motifs, their sites, and the run's outputs.

Built from the JSON result the run wrote, the same file `qiro -json` writes,
so that every figure here is the command line's own.
"""

import os
import tempfile

import numpy as np

from . import _engine

LETTERS = "ACGT"


class Site:
    """One site of a motif.

    sequence -- the name of the sequence it lies in
    start, end -- its place on the sequence as given, 0-based, end excluded
    strand -- '+' or '-'
    letters -- its letters read on its strand
    score -- for a run's sites, the score the result file gives them (the
             model's mismatch score); for Motif.scan's, the log-odds in bits
    """

    __slots__ = ("sequence", "start", "end", "strand", "letters", "score")

    def __init__(self, sequence, start, end, strand, letters, score):
        self.sequence, self.start, self.end = sequence, start, end
        self.strand, self.letters, self.score = strand, letters, score

    def _key(self):
        return (self.sequence, self.start, self.end, self.strand, self.letters, self.score)

    def __eq__(self, other):
        return isinstance(other, Site) and self._key() == other._key()

    def __hash__(self):
        return hash(self._key())

    def __repr__(self):
        return "Site(%r, %d-%d %s %s, score=%.4g)" % (self.sequence, self.start, self.end, self.strand,
                                                      self.letters, self.score)


def _matrix(columns_by_letter):
    """A width x 4 array (A C G T) from the JSON's {letter: [column values]}."""
    if columns_by_letter is None:
        return None
    return np.array([columns_by_letter[b] for b in LETTERS], dtype=float).T.copy()


class Motif:
    """A motif: a found one (Result.motifs) or one read from a file (read_motifs).

    consensus, width, evalue (None unless judged), counts, probabilities and
    log_odds (numpy arrays, width x 4, columns A C G T; log_odds in bits
    against the run's background, None for a plain run), threshold (the
    log-odds score from which a window is a site), site_model ('zoops',
    'tcm', or None when the sites are every window at the threshold),
    refined (the JSON's refined model when soft EM called the sites, else None),
    matches (database motifs it resembles, when a database was given), sites.
    The full JSON entry is in `info`.
    """

    def __init__(self, info, scan_settings, sites=()):
        self.info = info
        self.id = info.get("id", "")
        self.name = info.get("name", "")
        self.consensus = info.get("consensus", "")
        self.width = int(info["width"])
        self.evalue = info.get("evalue")
        self.counts = _matrix(info.get("counts"))
        self.probabilities = _matrix(info.get("probabilities"))
        self.log_odds = _matrix(info.get("log_odds"))
        self.threshold = info.get("threshold")
        model = info.get("site_model")
        self.site_model = model.get("model") if isinstance(model, dict) else model
        self.refined = model.get("refined") if isinstance(model, dict) else None
        self.matches = list(info.get("matches", []))
        self.sites = list(sites)
        self._scan_settings = scan_settings

    def __repr__(self):
        e = "" if self.evalue is None else ", evalue=%.3g" % self.evalue
        return "Motif(%s, width=%d%s, %d sites)" % (self.consensus or self.id, self.width, e, len(self.sites))

    def scan(self, sequences, mask=None, dust=None, both_strands=None, threads=0):
        """The sites this motif's own rule calls in any sequences.

        sequences takes the forms discover() takes.  A window scoring at least
        `threshold` (log-odds bits) is a site; of overlapping sites the higher
        scoring is kept, and with site_model 'zoops' only a sequence's best.
        A motif whose sites a refined model called (`refined`, soft EM against
        the run's Markov background) scans by that model: a sequence (zoops)
        or a place (tcm) holds a site where its posterior reaches one half.
        mask, dust and both_strands default to the run's own settings (for a
        motif read from a file: no masking, both strands), so that scanning a
        run's input calls the run's sites.  Returns a list of Site, scored in bits.
        """
        from ._inputs import sequences_file  # the same conversion discover() uses
        if (self.log_odds is None or self.threshold is None) and not self.refined:
            raise ValueError("motif %s has no log-odds matrix and threshold (a run without -evalue)" % self.id)
        s = self._scan_settings
        mask = s["mask"] if mask is None else bool(mask)
        dust = s["dust"] if dust is None else float(dust)
        both = s["both_strands"] if both_strands is None else bool(both_strands)
        with tempfile.TemporaryDirectory(prefix="qiro-") as folder:
            fasta = sequences_file(sequences, folder, "scan", "sequences")
            if self.refined and s.get("markov"):
                lp = _matrix(self.refined["log_probabilities"])
                found = _engine.scan_refined(lp.tolist(), float(self.refined["share"]), self.site_model,
                                             s["markov"], fasta, mask, dust, both)
                return [Site(name, start, start + self.width, strand, letters, score)
                        for name, start, strand, letters, score in found]
            found = _engine.scan(self.log_odds.tolist(), float(self.threshold),
                                 "zoops" if self.site_model == "zoops" else "tcm", fasta, mask, dust, both, threads)
        return [Site(name, start, start + self.width, strand, letters, score)
                for name, start, strand, letters, score in found]


_OUTPUTS = ("meme", "jaspar", "bed", "json", "html")


class Result:
    """The answer of one run.

    motifs -- the Motifs reported, best first
    known -- the known-motif table (a list of dicts) when a database was given, else None
    settings -- the run's settings as its JSON gives them
    seed -- the random seed (pass it as seed= to repeat the run)
    sequences -- the number of input sequences
    control -- the controls' account (judged runs)
    warnings -- the run's warnings, each once
    json -- the whole JSON result
    """

    def __init__(self, data, outputs, warnings):
        self.json = data
        self.settings = data.get("settings", {})
        self.seed = data.get("seed")
        self.sequences = data.get("sequences")
        self.control = data.get("control")
        self.known = data.get("known_motifs")
        self.warnings = list(warnings)
        self._outputs = outputs
        scan = {"mask": bool(self.settings.get("mask", False)), "dust": float(self.settings.get("dust") or 0.0),
                "both_strands": bool(self.settings.get("both_strands", True))}
        markov = data.get("markov_background")
        if markov:
            scan["markov"] = [float(v) for v in markov["words"].values()]
        self.motifs = []
        for m in data.get("motifs", []):
            width = int(m["width"])
            sites = [Site(v["sequence"], v["start"] - 1, v["start"] - 1 + width, v["strand"], v["letters"],
                          v["score"]) for v in m.get("sites", [])]
            self.motifs.append(Motif(m, scan, sites))

    def __repr__(self):
        return "Result(%d motif%s: %s; seed %s)" % (len(self.motifs), "" if len(self.motifs) == 1 else "s",
                                                    ", ".join(m.consensus for m in self.motifs) or "none", self.seed)

    def sites_frame(self):
        """Every motif's sites as a pandas DataFrame (one row a site); needs pandas."""
        import pandas as pd
        rows = [(m.id, m.consensus, s.sequence, s.start, s.end, s.strand, s.letters, s.score)
                for m in self.motifs for s in m.sites]
        return pd.DataFrame(rows, columns=["motif", "consensus", "sequence", "start", "end", "strand", "letters",
                                           "score"])

    def known_frame(self):
        """The known-motif table as a pandas DataFrame (empty without a database); needs pandas."""
        import pandas as pd
        return pd.DataFrame(self.known or [])

    def _write(self, kind, path):
        with open(os.fspath(path), "w", encoding="utf-8", errors="surrogateescape") as out:
            out.write(self._outputs[kind])

    def write_meme(self, path):
        """Writes the motifs in MEME minimal motif format, as qiro -meme does."""
        self._write("meme", path)

    def write_jaspar(self, path):
        """Writes the motifs in JASPAR format, as qiro -jaspar does."""
        self._write("jaspar", path)

    def write_bed(self, path):
        """Writes the sites as BED, as qiro -bed does."""
        self._write("bed", path)

    def write_json(self, path):
        """Writes the JSON result, as qiro -json does."""
        self._write("json", path)

    def write_html(self, path):
        """Writes the self-contained HTML page, as qiro -html does."""
        self._write("html", path)
