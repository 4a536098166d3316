"""tools/rescan.py on a hand-made motif: ZOOPS keeps a sequence's best site, not its first."""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("rescan", os.path.join(HERE, "..", "..", "tools", "rescan.py"))
rescan = importlib.util.module_from_spec(spec)
spec.loader.exec_module(rescan)

# Four columns scoring 2 bits for A, C, G, T in turn; a mismatch scores -1.
LOG_ODDS = {c: [2.0 if "ACGT"[j] == c else -1.0 for j in range(4)] for c in "ACGT"}
SETTINGS = {"both_strands": False}


def motif(model):
    return {"width": 4, "log_odds": LOG_ODDS, "threshold": 4.0, "site_model": {"model": model}}


def test_zoops_keeps_the_best_site_and_tcm_every_site():
    # ACGA (5 bits) at 2, ACGT (8 bits) at 10, TTTT nowhere near.
    letters = "TTACGATTTTACGTTTTT"
    assert rescan.scan(motif("tcm"), "s", letters, SETTINGS) == [(2, "+", 5.0), (10, "+", 8.0)]
    assert rescan.scan(motif("zoops"), "s", letters, SETTINGS) == [(10, "+", 8.0)]
