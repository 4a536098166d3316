"""The Python module against the command line it wraps: the same runs, the
inputs Python holds, the errors as exceptions, and an interpreter still usable
after a failed run.  Short searches (-g) and fixed seeds keep it fast and repeatable."""

import json
import os
import signal
import subprocess
import threading

import numpy as np
import pytest

import qiro

BIN = os.environ.get("QIRO_BIN", "build/qiro")
EX = os.environ.get("QIRO_EXAMPLES", "examples")
NRSF = os.path.join(EX, "nrsf150.fa.gz")
CRP = os.path.join(EX, "crp0.fasta")
SHORT = dict(seed=1, g=30)  # a short judged search


def cli(tmp_path, *words):
    """The command line's JSON and MEME outputs for these words."""
    out = {k: str(tmp_path / ("cli." + k)) for k in ("json", "meme", "bed")}
    cmd = [BIN, *words, "-o", str(tmp_path / "cli.out")] + [w for k, p in out.items() for w in ("-" + k, p)]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out["json"]) as f:
        data = json.load(f)
    return data, open(out["meme"]).read(), open(out["bed"]).read()


def fasta(path):
    records, name = [], None
    for line in open(path):
        if line.startswith(">"):
            name = line[1:].split()[0]
            records.append([name, ""])
        elif line.strip():
            records[-1][1] += line.strip()
    return [tuple(r) for r in records]


def sites(motif):
    return [(s.start, s.end, s.strand, s.letters) for s in motif.sites]


@pytest.mark.parametrize("label,words,kwargs", [
    ("NRSF", ["-i", NRSF, "-k", "12", "-evalue", "0.05", "-mask", "T", "-dust", "20", "-seed", "1", "-g", "30"],
     dict(sequences=NRSF, width=12, **SHORT)),
    ("CRP known sites", ["-i", CRP, "-pk", os.path.join(EX, "crp_regulondb_sites.txt"), "-evalue", "0.05", "-mask",
                         "T", "-dust", "20", "-seed", "1", "-g", "30"],
     dict(sequences=CRP, known_sites=os.path.join(EX, "crp_regulondb_sites.txt"), **SHORT)),
])
def test_same_as_command_line(tmp_path, label, words, kwargs):
    data, meme, bed = cli(tmp_path, *words)
    r = qiro.discover(**kwargs)
    assert data["motifs"], label
    assert r.json["motifs"] == data["motifs"]  # consensus, E-values, matrices, sites: every figure
    assert r.seed == data["seed"] == 1
    # The outputs too, but for the temporary names of the files written.
    written = tmp_path / "py.meme"
    r.write_meme(written)
    assert written.read_text() == meme
    assert r._outputs["bed"] == bed
    m = r.motifs[0]
    assert m.counts.shape == m.log_odds.shape == (m.width, 4)
    assert np.allclose(m.probabilities.sum(axis=1), 1.0)
    first = data["motifs"][0]["sites"][0]
    assert (m.sites[0].start, m.sites[0].end) == (first["start"] - 1, first["end"])


def test_input_forms_give_the_same_run(tmp_path):
    records = fasta(CRP)

    class Record:  # what Biopython's SeqRecord offers: .id and .seq
        def __init__(self, name, letters):
            self.id, self.seq = name, letters

    base = qiro.discover(CRP, width=20, **SHORT)
    assert base.motifs
    for given in (records, [Record(n, s) for n, s in records]):
        assert qiro.discover(given, width=20, **SHORT).json["motifs"] == base.json["motifs"]
    plain = qiro.discover([s for _, s in records], width=20, **SHORT).motifs[0]
    assert plain.evalue == base.motifs[0].evalue and sites(plain) == sites(base.motifs[0])
    assert plain.sites[0].sequence.startswith("seq")


def test_known_sites_as_list_and_matrix():
    path = os.path.join(EX, "crp_regulondb_sites.txt")
    listed = [line.strip() for line in open(path) if line.strip()]
    by_path = qiro.discover(CRP, known_sites=path, **SHORT)
    assert qiro.discover(CRP, known_sites=listed, **SHORT).json["motifs"] == by_path.json["motifs"]
    counts = np.array([[sum(s[j] == b for s in listed) for b in "ACGT"] for j in range(len(listed[0]))])
    given = qiro.discover(CRP, known_sites=counts, **SHORT).motifs[0]
    # Sites drawn from the matrix, so not the very sites: the same motif, a letter or two apart.
    assert given.info["given_by_known_sites"] and given.width == len(listed[0])
    assert sum(a == b for a, b in zip(given.consensus, by_path.motifs[0].consensus)) >= given.width - 4


def test_peaks_path_and_frame():
    pd = pytest.importorskip("pandas")
    path = os.path.join(EX, "fly_peaks.narrowPeak")
    frame = pd.read_csv(path, sep="\t", header=None).iloc[:, [0, 1, 2, 9]]
    frame.columns = ["chrom", "start", "end", "summit"]
    genome = os.path.join(EX, "fly_genome.fa")
    a = qiro.discover_peaks(path, genome, width=12, mask=False, dust=0, seed=1)
    b = qiro.discover_peaks(frame, genome, width=12, mask=False, dust=0, seed=1)
    assert a.motifs and a.json["motifs"] == b.json["motifs"]
    table = a.sites_frame()
    assert list(table["start"]) == [s.start for s in a.motifs[0].sites]


@pytest.mark.parametrize("call,error,words", [
    (lambda: qiro.discover("no/such.fa", width=12), FileNotFoundError, "Cannot open Sequence file named no/such.fa"),
    (lambda: qiro.discover(["ACGT", "ACG"], width=12), ValueError, "no sequence in the sequences given"),
    (lambda: qiro.discover([("two words", "ACGT")]), ValueError, "item 1"),
    (lambda: qiro.discover([3, 4]), TypeError, "item 1 is a int"),
    (lambda: qiro.discover(CRP, width=20, evalu=1), ValueError, "-evalue"),
    (lambda: qiro.discover(CRP, width=20, database=os.path.join(EX, "crp0.freq")), ValueError, "crp0.freq"),
    (lambda: qiro.read_motifs(os.path.join(EX, "crp0.fasta")), ValueError, "line"),
    (lambda: qiro.discover(CRP, width=8, widths=(8, 9)), TypeError, "not both"),
])
def test_errors_leave_the_interpreter_usable(call, error, words):
    with pytest.raises(error) as caught:
        call()
    assert words in str(caught.value)
    assert qiro.discover(CRP, width=20, **SHORT).json["motifs"] == reference_motifs()


_reference = []


def reference_motifs():
    """The short CRP run's motifs, as this process first made them: what a run after a failure must give."""
    if not _reference:
        _reference.append(qiro.discover(CRP, width=20, **SHORT).json["motifs"])
    return _reference[0]


def test_scan_calls_the_runs_sites_and_read_motifs():
    r = qiro.discover(NRSF, width=12, **SHORT)
    m = r.motifs[0]
    found = m.scan(NRSF)
    assert [(s.sequence, s.start, s.strand, s.letters) for s in found] == \
        [(s.sequence, s.start, s.strand, s.letters) for s in m.sites]
    assert all(s.score >= m.threshold for s in found)

    db = qiro.read_motifs(os.path.join(EX, "jaspar_excerpt.meme"))
    rest = next(d for d in db if d.name == "REST")
    assert rest.log_odds.shape == (rest.width, 4) and rest.threshold > 0
    site = "".join("ACGT"[i] for i in rest.log_odds.argmax(axis=1))
    flank = "AAAATTTTAAAATTTT"
    rc = site[::-1].translate(str.maketrans("ACGT", "TGCA"))
    hits = rest.scan([("plus", flank + site + flank), ("minus", flank + rc + flank), ("none", flank * 4)])
    assert [(s.sequence, s.start, s.end, s.strand, s.letters) for s in hits] == [
        ("plus", 16, 16 + rest.width, "+", site), ("minus", 16, 16 + rest.width, "-", site)]


def test_database_names_and_known_table():
    pytest.importorskip("pandas")
    r = qiro.discover(NRSF, width=20, database=os.path.join(EX, "jaspar_excerpt.meme"), **SHORT)
    assert r.motifs[0].matches[0]["name"] == "REST"
    table = r.known_frame()
    assert len(table) == len(r.known) > 0 and table.iloc[0]["name"] == "REST"


def test_quiet_unless_verbose_and_progress(capfd):
    lines = []
    qiro.discover(CRP, width=20, progress=lines.append, **SHORT)
    out, err = capfd.readouterr()
    assert out == "" and err == ""
    assert any(l.startswith("generation") for l in lines) and any(l.startswith("Search 1") for l in lines)
    qiro.discover(CRP, width=20, verbose=True, **SHORT)
    assert "Random seed: 1" in capfd.readouterr().out


def test_interrupt_and_raising_callback_stop_the_run():
    def interrupt(line):
        os.kill(os.getpid(), signal.SIGINT)  # Ctrl-C, while the engine runs

    with pytest.raises(KeyboardInterrupt):
        qiro.discover(CRP, width=20, progress=interrupt, **SHORT)

    # Ctrl-C without a callback: the engine, running without the GIL, asks for
    # it between generations (a search of NRSF's widths lasts seconds).
    timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        qiro.discover(NRSF, widths=(8, 15), seed=1)
    timer.join()

    def fail(line):
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        qiro.discover(CRP, width=20, progress=fail, **SHORT)
    assert qiro.discover(CRP, width=20, **SHORT).json["motifs"] == reference_motifs()


def test_threads_and_python_threads_do_not_change_the_answer():
    assert qiro.discover(CRP, width=20, threads=1, **SHORT).json["motifs"] == \
        qiro.discover(CRP, width=20, threads=2, **SHORT).json["motifs"]
    # Runs from two Python threads at once take the engine in turn (with
    # progress callbacks, which need the GIL the other thread waits with).
    found = []
    runs = [threading.Thread(target=lambda: found.append(
        qiro.discover(CRP, width=20, progress=lambda line: None, **SHORT).json["motifs"]), daemon=True) for _ in range(2)]
    for t in runs:
        t.start()
    for t in runs:
        t.join(timeout=120)
    assert found == [reference_motifs()] * 2


def test_the_example_script_runs_as_the_readme_shows_it(tmp_path):
    # Run where a reader runs it: a folder that sees examples/, with this interpreter.
    os.symlink(os.path.abspath(EX), tmp_path / "examples")
    import sys
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(qiro.__file__)))
    done = subprocess.run([sys.executable, os.path.join(os.path.abspath(EX), "qiro_nrsf.py")], cwd=tmp_path, env=env,
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    assert "width" in done.stdout and "sites" in done.stdout, done.stdout


def test_readme_shows_the_example_script():
    script = open(os.path.join(EX, "qiro_nrsf.py")).read()
    for page in ("README.md", "docs/guide/python.md"):
        assert script in open(os.path.join(EX, "..", page)).read(), page
