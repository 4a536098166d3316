"""Tests of the accuracy scoring on hand-worked cases.

Run from this folder: python3 -m unittest test_accuracy
"""

import gzip
import itertools
import math
import os
import random
import shutil
import stat
import sys
import tempfile
import textwrap
import unittest
from contextlib import redirect_stderr, redirect_stdout
from io import StringIO

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import accuracy  # noqa: E402
import controls  # noqa: E402
import matrix_scan  # noqa: E402
import oracle  # noqa: E402
import side_by_side  # noqa: E402


def one_seq(length, known, predicted, name="s"):
    """Counts of a single sequence with the given (start, end) sites."""
    return accuracy.score({name: length},
                          [(name, s, e) for s, e in known],
                          [(name, s, e) for s, e in predicted])


class NucleotideLevel(unittest.TestCase):
    def test_perfect_prediction(self):
        c = one_seq(100, [(11, 20)], [(11, 20)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (10, 0, 0, 90))
        m = accuracy.measures(c)
        for key in ("nSn", "nPPV", "nPC", "nCC", "sSn", "sPPV"):
            self.assertAlmostEqual(m[key], 1.0, msg=key)

    def test_disjoint_prediction(self):
        # known 11..20, predicted 51..60 on 100 letters: TP 0, FP 10, FN 10, TN 80;
        # nCC = (0*80 - 10*10) / sqrt(10*90*10*90) = -1/9.
        c = one_seq(100, [(11, 20)], [(51, 60)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (0, 10, 10, 80))
        m = accuracy.measures(c)
        self.assertEqual(m["nPC"], 0.0)
        self.assertEqual(m["nSn"], 0.0)
        self.assertEqual(m["nPPV"], 0.0)
        self.assertAlmostEqual(m["nCC"], -1.0 / 9.0)
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (0, 1, 1))

    def test_half_overlap(self):
        # 20 letters, known 1..8, predicted 5..12: TP 4 (5..8), FP 4 (9..12), FN 4 (1..4),
        # TN 8 (13..20).  nPC = 4/12; nCC = (32 - 16) / sqrt(8*12*8*12) = 1/6.
        m = accuracy.measures(one_seq(20, [(1, 8)], [(5, 12)]))
        self.assertAlmostEqual(m["nSn"], 0.5)
        self.assertAlmostEqual(m["nPPV"], 0.5)
        self.assertAlmostEqual(m["nPC"], 1.0 / 3.0)
        self.assertAlmostEqual(m["nCC"], 1.0 / 6.0)

    def test_overlapping_sites_count_each_nucleotide_once(self):
        # Known 1..10 and 6..15 cover 15 letters; predicted 6..10 and 8..12 cover 7.
        c = one_seq(30, [(1, 10), (6, 15)], [(6, 10), (8, 12)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (7, 0, 8, 15))

    def test_true_negatives_include_sequences_without_sites(self):
        # Sequence a (10 letters) holds known 1..4 and predicted 3..6; b (30 letters)
        # has neither: TN = (10 - 6) + 30.
        c = accuracy.score({"a": 10, "b": 30}, [("a", 1, 4)], [("a", 3, 6)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (2, 2, 2, 34))

    def test_same_place_on_another_sequence_is_no_hit(self):
        c = accuracy.score({"a": 50, "b": 50}, [("a", 1, 10)], [("b", 1, 10)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (0, 10, 10, 80))

    def test_sites_outside_the_data_are_ignored_or_clipped(self):
        # A site on an unknown sequence is dropped; one past the end is cut at the end.
        c = accuracy.score({"a": 10}, [("a", 8, 10)], [("zz", 1, 5), ("a", 9, 14)])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (2, 0, 1, 7))

    def test_no_known_sites(self):
        # A data set without sites: every predicted letter is a false positive.
        m = accuracy.measures(one_seq(40, [], [(1, 10)]))
        self.assertIsNone(m["nSn"])
        self.assertEqual(m["nPPV"], 0.0)
        self.assertEqual(m["nPC"], 0.0)
        self.assertIsNone(m["nCC"])
        self.assertIsNone(m["sSn"])
        self.assertEqual(m["sPPV"], 0.0)

    def test_no_prediction(self):
        c = one_seq(40, [(1, 10)], [])
        self.assertEqual((c["nTP"], c["nFP"], c["nFN"], c["nTN"]), (0, 0, 10, 30))
        m = accuracy.measures(c)
        self.assertEqual(m["nSn"], 0.0)
        self.assertIsNone(m["nPPV"])
        self.assertIsNone(m["nCC"])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (0, 1, 0))


class SiteLevel(unittest.TestCase):
    def test_quarter_of_the_known_site_is_a_hit(self):
        # Known 1..12 (12 letters, a quarter is 3); predicted 10..21 shares 10..12.
        c = one_seq(40, [(1, 12)], [(10, 21)])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (1, 0, 0))

    def test_just_under_a_quarter_is_no_hit(self):
        # Predicted 11..22 shares only 11..12: 2 letters < 3.
        c = one_seq(40, [(1, 12)], [(11, 22)])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (0, 1, 1))

    def test_quarter_rounds_up_for_odd_lengths(self):
        # Known 1..10: a quarter is 2.5 letters, so 3 shared letters hit and 2 do not.
        self.assertTrue(accuracy.site_hit((1, 10), (8, 20)))
        self.assertFalse(accuracy.site_hit((1, 10), (9, 20)))

    def test_quarter_is_of_the_known_site_not_the_predicted_one(self):
        # Known 1..4: one shared letter is a quarter, even for a 20-letter prediction.
        self.assertTrue(accuracy.site_hit((1, 4), (4, 23)))
        # Known 1..40 inside a prediction of 8: 8 shared letters < 10.
        self.assertFalse(accuracy.site_hit((1, 40), (5, 12)))

    def test_one_prediction_can_hit_two_known_sites(self):
        # Known 1..10 and 6..15; predicted 6..10 shares 5 letters with each.
        c = one_seq(30, [(1, 10), (6, 15)], [(6, 10)])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (2, 0, 0))
        m = accuracy.measures(c)
        self.assertEqual(m["sSn"], 1.0)
        self.assertEqual(m["sPPV"], 1.0)

    def test_same_place_on_both_strands_counts_once(self):
        c = one_seq(50, [(1, 10)], [(30, 39), (30, 39), (1, 10)])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (1, 0, 1))
        self.assertEqual((c["nTP"], c["nFP"]), (10, 10))

    def test_mixed_counts(self):
        # Known A 1..10, B 41..50, C 81..90; predicted 3..12 (hits A), 60..69 (hits none).
        c = one_seq(100, [(1, 10), (41, 50), (81, 90)], [(3, 12), (60, 69)])
        self.assertEqual((c["sTP"], c["sFN"], c["sFP"]), (1, 2, 1))
        m = accuracy.measures(c)
        self.assertAlmostEqual(m["sSn"], 1.0 / 3.0)
        self.assertAlmostEqual(m["sPPV"], 0.5)


class Summation(unittest.TestCase):
    def test_counts_are_summed_before_the_measures(self):
        # Set 1: TP 10 only; set 2: TP 0, FP 30, FN 10.  Summed: nSn 10/20 = 0.5 and
        # nPPV 10/40 = 0.25, not the mean of the per-set values (0.5 and 0.5).
        total = dict.fromkeys(accuracy.COUNT_KEYS, 0)
        accuracy.add_counts(total, one_seq(100, [(1, 10)], [(1, 10)]))
        accuracy.add_counts(total, one_seq(100, [(1, 10)], [(41, 70)]))
        self.assertEqual((total["nTP"], total["nFP"], total["nFN"], total["nTN"]),
                         (10, 30, 10, 150))
        m = accuracy.measures(total)
        self.assertAlmostEqual(m["nSn"], 0.5)
        self.assertAlmostEqual(m["nPPV"], 0.25)
        self.assertAlmostEqual(m["nPC"], 0.2)
        # (10*150 - 10*30) / sqrt(20 * 180 * 40 * 160)
        self.assertAlmostEqual(m["nCC"], 1200.0 / math.sqrt(20 * 180 * 40 * 160))


RESULT = textwrap.dedent("""\

    QIRO -- header lines

    The Final Results:

    Motif Rank #1
    Motif Model Mismatch Score: 0.39\tInformation Content: 6.4
    Complexity: 0.07\tConsensus: AGCAAAATAA MAP Score: -1.5
    No. of sites: 2

    Position Frequency Matrix

    A\t1  2

    >seq_1\tTCATCTTGCT\t0\t1480\t1489\t0.48
    >seq_0\tTGCAAATTAA\t1\t155\t164\t0.37
    ###########

    Motif Rank #2
    Complexity: 0.09\tConsensus: TTCAAATTTA
    No. of sites: 1
    >seq_2\tTTCAAATTTA\t1\t7\t16\t0.3
    ###########
    """)


class ResultFile(unittest.TestCase):
    def test_models_in_rank_order_with_sites(self):
        motifs = accuracy.parse_result(RESULT)
        self.assertEqual([m["rank"] for m in motifs], [1, 2])
        self.assertEqual(motifs[0]["consensus"], "AGCAAAATAA")
        self.assertEqual(motifs[0]["map_score"], -1.5)
        self.assertEqual(motifs[0]["sites"],
                         [("seq_1", 1480, 1489, False), ("seq_0", 155, 164, True)])
        self.assertEqual(motifs[1]["sites"], [("seq_2", 7, 16, True)])

    def test_missing_map_score_reads_as_zero(self):
        motifs = accuracy.parse_result(RESULT)
        self.assertEqual(motifs[1]["consensus"], "TTCAAATTTA")
        self.assertEqual(motifs[1]["map_score"], 0.0)

    def test_no_model(self):
        self.assertEqual(accuracy.parse_result("The Final Results:\n\n"), [])
        self.assertEqual(accuracy.parse_result(
            "The Final Results:\n\nNo motif has an E-value at most 0.05.\n"), [])

    def test_e_values_after_the_site_count(self):
        text = RESULT.replace("No. of sites: 2\n", "No. of sites: 2\nE-value: 3.5e-12\n")
        text = text.replace("No. of sites: 1\n", "No. of sites: 1\nE-value: <1e-300\n")
        self.assertEqual([m["evalue"] for m in accuracy.parse_result(text)], [3.5e-12, 1e-300])
        self.assertEqual([m["evalue"] for m in accuracy.parse_result(RESULT)], [None, None])
        self.assertIsNone(accuracy.parse_evalue(" n/a"))


class WidthChoice(unittest.TestCase):
    @staticmethod
    def run_with(width, map_score):
        return {"width": width, "motifs": [{"map_score": map_score, "sites": []}]}

    def test_highest_map_score_wins(self):
        runs = [self.run_with(8, 1.0), self.run_with(10, 3.0), self.run_with(12, 2.0)]
        self.assertEqual(accuracy.choose_run(runs)["width"], 10)

    def test_tie_goes_to_the_narrower_width(self):
        runs = [self.run_with(14, 2.0), self.run_with(10, 2.0), self.run_with(12, 1.0)]
        self.assertEqual(accuracy.choose_run(runs)["width"], 10)

    def test_missing_score_beats_a_negative_one(self):
        runs = [self.run_with(8, -0.5), self.run_with(10, 0.0)]
        self.assertEqual(accuracy.choose_run(runs)["width"], 10)

    def test_failed_runs_are_passed_over(self):
        runs = [{"width": 8, "motifs": None}, {"width": 10, "motifs": []},
                self.run_with(12, -3.0)]
        self.assertEqual(accuracy.choose_run(runs)["width"], 12)
        self.assertIsNone(accuracy.choose_run(runs[:2]))


class Inputs(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, rel, text):
        path = os.path.join(self.dir, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as handle:
            handle.write(text)
        return path

    def test_fasta_lengths_over_wrapped_lines(self):
        path = self.write("x.fasta", ">a first\nACGT\nAC GT\n\n>b\nGG\n")
        self.assertEqual(list(accuracy.read_fasta_lengths(path).items()),
                         [("a", 8), ("b", 2)])

    def test_answer_key_rows(self):
        path = self.write("x.sites.tsv", "seq_3\t307\t331\t.\nseq_4\t1\t5\t-\n")
        self.assertEqual(accuracy.read_sites(path), [("seq_3", 307, 331), ("seq_4", 1, 5)])

    def test_data_sets_found_and_described(self):
        self.write("tompa2005/real/dm01r.fasta", ">s\nA\n")
        self.write("tompa2005/real/dm01r.sites.tsv", "")
        self.write("tompa2005/markov/mus03m.fasta", ">s\nA\n")
        self.write("tompa2005/markov/mus03m.sites.tsv", "")
        self.write("ecoli_crp/crp0.fasta", ">s\nA\n")
        self.write("ecoli_crp/crp0.sites.tsv", "")
        self.write("yeast_regulons/met.fasta", ">s\nA\n")  # no answer key: not a data set
        found = [(d["name"], d["collection"], d["organism"], d["type"])
                 for d in accuracy.discover(self.dir)]
        self.assertEqual(found, [("dm01r", "tompa2005", "fly", "real"),
                                 ("mus03m", "tompa2005", "mouse", "markov"),
                                 ("crp0", "ecoli_crp", "ecoli", "real")])


class FailureMessages(unittest.TestCase):
    def test_error_line_is_the_reason(self):
        out = "Start the Filtering...\nGTCAATGGTN\tError: The sequence contains invalid letters.\n"
        self.assertEqual(accuracy.failure_reason(out, 1),
                         "Error: The sequence contains invalid letters.")

    def test_last_lines_without_an_error_line(self):
        out = ("Initialization.\nThe lower complexity value need to be lower than: 0.01 .\n"
               " Please rerun. \n System aborted. \n\n")
        self.assertEqual(accuracy.failure_reason(out, 1),
                         "The lower complexity value need to be lower than: 0.01 . "
                         "Please rerun. System aborted. (status 1)")

    def test_no_output(self):
        self.assertEqual(accuracy.failure_reason("", -11), "qiro exited with status -11")

    def test_sequences_left_out_are_counted(self):
        out = ('Warning: sequence "b" has 3 letters, fewer than the motif width 10; '
               'it is left out of the search.\nWarning: sequence "c" has 9 letters, fewer '
               'than the motif width 10; it is left out of the search.\n'
               'Warning: something else\n')
        self.assertEqual(accuracy.left_out_count(out), 2)

    def test_sequences_left_out_by_masking_are_counted(self):
        out = ("Masked letters: 1595 of 19025\nWarning: 1 of 109 sequences have no window of "
               "9 letters free of masked letters; they are left out of the search.\n")
        self.assertEqual(accuracy.masked_out_count(out), 1)
        self.assertEqual(accuracy.left_out_count(out), 0)
        self.assertEqual(accuracy.masked_out_count("Masked letters: 0 of 10\n"), 0)


class PriorKnowledge(unittest.TestCase):
    def test_share_of_the_sites_spread_from_the_first(self):
        self.assertEqual(accuracy.pk_pick(7, 0.5), [0, 2, 4, 6])
        self.assertEqual(accuracy.pk_pick(4, 0.5), [0, 2])
        self.assertEqual(accuracy.pk_pick(1, 0.5), [0])
        # 0.3: picks where ceil(0.3 * (i + 1)) steps up: i = 0 (1), 3 (2), 6 (3).
        self.assertEqual(accuracy.pk_pick(10, 0.3), [0, 3, 6])
        self.assertEqual(accuracy.pk_pick(3, 1), [0, 1, 2])
        self.assertEqual(accuracy.pk_pick(0, 0.5), [])

    def test_width_is_the_lower_median_within_bounds(self):
        self.assertEqual(accuracy.pk_width([12, 20, 15]), 15)
        self.assertEqual(accuracy.pk_width([12, 20, 15, 9]), 12)
        self.assertEqual(accuracy.pk_width([5, 6]), accuracy.PK_MIN_WIDTH)
        self.assertEqual(accuracy.pk_width([40, 71]), accuracy.PK_MAX_WIDTH)

    def test_window_centred_on_the_site(self):
        letters = "acgtACGTTTGGCCAAacgt"  # 20 letters
        # Site 5..16 (12 letters) cut to 8: starts 2 letters in, at 7.
        self.assertEqual(accuracy.pk_window(letters, 5, 16, 8), "GTTTGGCC")
        # Site 9..12 (4 letters) widened to 8: starts 2 letters before, at 7.
        self.assertEqual(accuracy.pk_window(letters, 9, 12, 8), "GTTTGGCC")

    def test_window_moved_inside_the_sequence(self):
        letters = "ACGTACGTAC"
        self.assertEqual(accuracy.pk_window(letters, 1, 2, 6), "ACGTAC")
        self.assertEqual(accuracy.pk_window(letters, 9, 10, 6), "ACGTAC")
        self.assertEqual(accuracy.pk_window(letters, 8, 10, 6), "ACGTAC")
        self.assertEqual(accuracy.pk_window(letters, 6, 8, 6), "TACGTA")
        self.assertIsNone(accuracy.pk_window(letters, 1, 2, 11))


class KnownWidthRule(unittest.TestCase):
    def test_lower_median_of_the_site_widths_within_6_to_20(self):
        # Widths 9, 12, 15 -> 12; with a fourth of 10 the lower median is 10.
        self.assertEqual(accuracy.known_width([("a", 1, 9), ("a", 21, 32), ("b", 5, 19)]), 12)
        self.assertEqual(accuracy.known_width([("a", 1, 9), ("a", 21, 32), ("b", 5, 19),
                                               ("b", 31, 40)]), 10)
        self.assertEqual(accuracy.known_width([("a", 1, 4), ("a", 11, 15)]), 6)
        self.assertEqual(accuracy.known_width([("a", 1, 28), ("a", 31, 101)]), 20)
        self.assertIsNone(accuracy.known_width([]))


class LowComplexity(unittest.TestCase):
    def test_three_quarters_of_one_composition(self):
        self.assertTrue(accuracy.low_complexity("TTTAAAAA"))
        self.assertTrue(accuracy.low_complexity("GAAATAAA"))   # 7 of 8 A/T
        self.assertTrue(accuracy.low_complexity("GGCAGGGG"))   # 7 of 8 G/C
        self.assertTrue(accuracy.low_complexity("ATATAGCT"))   # 6 of 8: just enough
        self.assertFalse(accuracy.low_complexity("ATATGGCT"))  # 5 of 8 A/T, 3 G/C
        self.assertFalse(accuracy.low_complexity("TCACGATT"))  # 5 of 8 A/T, 3 G/C
        self.assertFalse(accuracy.low_complexity(""))


class MatrixScan(unittest.TestCase):
    BG = {"A": 0.3, "T": 0.3, "C": 0.2, "G": 0.2}

    def test_tail_matches_every_word_enumerated(self):
        columns = matrix_scan.log_odds(["ACG", "ACT", "TCG", "AGG"], self.BG)
        low, tail = matrix_scan.score_tail(columns, self.BG)
        words = [(sum(col[x] for col, x in zip(columns, w)),
                  math.prod(self.BG[x] for x in w)) for w in itertools.product("ACGT", repeat=3)]
        for score, _ in words:
            self.assertAlmostEqual(tail[score - low], sum(p for s, p in words if s >= score))
        self.assertAlmostEqual(tail[0], 1.0)
        cut = matrix_scan.threshold(low, tail, 0.05)
        self.assertLess(tail[cut - low], 0.05)
        self.assertGreaterEqual(tail[cut - low - 1], 0.05)

    def test_both_strands_one_call_per_place_and_no_unusable_letters(self):
        # The site once forward (3..8), once reversed (17..22), once with an N (28..33);
        # the palindrome ACGCGT passes on both strands at 38..43 and is one call.
        records = {"a": "TTGGATCATTTTTTTTTGATCCTTTTTGGNTCATTTTACGCGTTT"}
        calls = matrix_scan.baseline(records, ["GGATCA", "GGATCA", "GGATCC"], levels=(1e-3,))
        self.assertEqual(calls[1e-3], [("a", 3, 8), ("a", 17, 22)])
        calls = matrix_scan.baseline(records, ["ACGCGT"] * 4, levels=(1e-3,))
        self.assertEqual(calls[1e-3], [("a", 38, 43)])
        self.assertEqual(matrix_scan.baseline(records, []), {1e-4: [], 1e-3: []})


class Oracle(unittest.TestCase):
    def test_true_matrix_finds_its_planted_sites_and_levels_read_no_answer(self):
        rng = random.Random(3)
        word = "GATTACAGG"
        shares = [[0.97 if c == x else 0.01 for c in "ACGT"] for x in word]
        records, known = {}, []
        for i in range(12):
            letters = "".join(rng.choice("ACGT") for _ in range(200))
            if i % 3:
                at = rng.randint(0, 190)
                letters = letters[:at] + word + letters[at + 9:]
                known.append(("s%d" % i, at + 1, at + 9))
            records["s%d" % i] = letters
        got = oracle.one_set(records, known, shares)
        self.assertEqual(got["hindsight"]["sTP"], len(known))
        self.assertEqual(got["hindsight"]["sFP"], 0)
        # The fixed levels hold no answer: on the same letters without a key, the
        # windows they call are all false.
        bare = oracle.one_set(records, [], shares)
        self.assertEqual(bare["p<1e-4"]["sTP"], 0)
        self.assertEqual(bare["p<1e-4"]["sFP"], got["p<1e-4"]["sFP"] + got["p<1e-4"]["sTP"])


class Controls(unittest.TestCase):
    def test_shuffle_keeps_words_and_ends(self):
        rng = random.Random(1)
        letters = "".join(rng.choice("ACGT") for _ in range(300))
        words = (lambda s: sorted(s[i:i + 3] for i in range(len(s) - 2)))
        shuffled = controls.shuffle_words(letters, random.Random(7))
        self.assertNotEqual(shuffled, letters)
        self.assertEqual(words(shuffled), words(letters))
        self.assertEqual((shuffled[:2], shuffled[-2:]), (letters[:2], letters[-2:]))
        self.assertEqual(shuffled, controls.shuffle_words(letters, random.Random(7)))
        self.assertEqual(controls.shuffle_words("ACG", random.Random(7)), "ACG")

    def test_core_rule(self):
        holds = controls.holds_core
        self.assertTrue(holds("TTATGCAAATGA", "ATGCAAAT", 1))
        self.assertTrue(holds("TCATTTGCATAA", "ATGCAAAT", 1))  # reverse complement
        self.assertTrue(holds("TTATGCTAATGA", "ATGCAAAT", 1))  # one mismatch
        self.assertFalse(holds("TTATGCTATTGA", "ATGCAAAT", 1))  # two
        self.assertTrue(holds("CATGCAAA", "ATGCAAAT", 1))  # last letter hangs over
        self.assertFalse(holds("CATGCAAT", "ATGCAAAT", 1))  # ... and one mismatch
        self.assertFalse(holds("TGCAAA", "ATGCAAAT", 1))  # two letters hang over
        self.assertTrue(holds("CCAGATAGG", "WGATAR", 0))  # IUPAC
        self.assertFalse(holds("CCAGATACG", "WGATAR", 0))
        self.assertTrue(holds("GAAACTGAAACT", "GAAANNGAAA", 1))
        self.assertTrue(holds("ATTCGGTTTCAG", "GAAANNGAAA", 1))  # reversed, 1 off
        self.assertFalse(holds("CCGAAA", "GAAANNGAAA", 1))


class SideBySide(unittest.TestCase):
    REPORT = textwrap.dedent("""\
        | group | sets | failed | nSn | nPPV | nCC | sSn | sPPV |
        |---|---:|---:|---:|---:|---:|---:|---:|
        | planted: all | 3 | 1 | 0.5 | 0.25 | 0.3 | 0.4 | 0.2 |
        | planted: fly | 2 | 1 | 0.1 | 0.1 | 0.1 | 0.1 | 0.1 |

        ### planted

        - data sets with known sites where the top model hits at least one: 2 of 3
        - ... where it hits at least half of them: 1 of 3
        - low-complexity top models (consensus at least 3/4 A/T or at least 3/4 G/C): 1 of 2 top models (runs that worked)
        """)

    def test_totals_and_counts_of_each_variant_in_one_row(self):
        report = side_by_side.read_report(self.REPORT)
        self.assertEqual(list(report), ["planted"])
        lines = side_by_side.side_by_side([("none", report), ("dust", report)])
        self.assertEqual(lines[-2:], ["| %s | 0.3 | 0.5 | 0.25 | 0.4 | 0.2 | 1 of 3 | 2 of 3 | "
                                      "1 of 3 | 1 of 2 |" % v for v in ("none", "dust")])


FAKE_QIRO = textwrap.dedent("""\
    #!/usr/bin/env python3
    # Stands in for qiro: refuses inputs holding N, otherwise reports one model whose
    # sites start at letter 5 of every sequence, with the best MAP score at width 10.
    import sys
    a = sys.argv[1:]
    opt = dict(zip(a[::2], a[1::2]))
    k = len(open(opt["-pk"]).readline().strip()) if "-pk" in opt else int(opt["-k"])
    names, letters = [], ""
    for line in open(opt["-i"]):
        if line.startswith(">"):
            names.append(line[1:].split()[0])
        else:
            letters += line.strip()
    if "N" in letters:
        print("ACGTN\\tError: The sequence contains invalid letters.")
        sys.exit(1)
    with open(opt["-o"], "w") as out:
        out.write("Motif Rank #1\\n")
        out.write("Complexity: 1\\tConsensus: %s MAP Score: %g\\n" % ("A" * k, -abs(k - 10)))
        for n in names:
            out.write(">%s\\t%s\\t1\\t5\\t%d\\t0.5\\n" % (n, "A" * k, 4 + k))
    """)

FAKE_FREQ = textwrap.dedent("""\
    #!/usr/bin/env python3
    import sys
    open(sys.argv[sys.argv.index("-o") + 1], "w").write("0 A 0.25\\n")
    """)


MEASURES = ("nSn", "nPPV", "nPC", "nCC", "sSn", "sPPV")


def table_rows(text):
    """Rows of the markdown tables in a report, by their first cell, each as a dict from
    the column heading of its table to the cell."""
    rows, header = {}, None
    for line in text.splitlines():
        if not line.startswith("|"):
            header = None
            continue
        cells = [c.strip() for c in line.split("|")[1:-1]]
        if header is None:
            header = cells
        elif not cells[0].startswith("-"):
            rows[cells[0]] = dict(zip(header, cells))
    return rows


class StandIn(unittest.TestCase):
    """A folder with stand-ins for qiro and qiro-freq and two small Tompa data sets."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.bin = os.path.join(self.dir, "bin")
        os.makedirs(self.bin)
        for name, text in (("qiro", FAKE_QIRO), ("qiro-freq", FAKE_FREQ)):
            path = os.path.join(self.bin, name)
            with open(path, "w") as handle:
                handle.write(text)
            os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
        data = os.path.join(self.dir, "data", "tompa2005", "real")
        os.makedirs(data)
        # hm01r: one 30-letter sequence, known site 5..14 (width 10).
        with open(os.path.join(data, "hm01r.fasta"), "w") as handle:
            handle.write(">seq_0\n" + "ACGT" * 7 + "AC\n")
        with open(os.path.join(data, "hm01r.sites.tsv"), "w") as handle:
            handle.write("seq_0\t5\t14\t.\n")
        # mus10r: holds an N, so the stand-in refuses it.
        with open(os.path.join(data, "mus10r.fasta"), "w") as handle:
            handle.write(">seq_0\n" + "ACGTN" * 4 + "\n")
        with open(os.path.join(data, "mus10r.sites.tsv"), "w") as handle:
            handle.write("seq_0\t1\t8\t.\n")

    def tearDown(self):
        shutil.rmtree(self.dir)


class Driver(StandIn):
    """The whole script against a stand-in qiro, on two small data sets."""

    def test_best_width_scored_and_refused_set_reported(self):
        out, err = StringIO(), StringIO()
        with redirect_stdout(out), redirect_stderr(err):
            accuracy.main(["--data", os.path.join(self.dir, "data"), "--bin", self.bin,
                           "--work", os.path.join(self.dir, "work"), "--qiro-args", ""])
        text = out.getvalue()
        rows = table_rows(text)
        # Width 10 has the best MAP score and matches the known site exactly.
        hm = rows["hm01r"]
        self.assertEqual((hm["width"], hm["consensus"]), ("10", "AAAAAAAAAA"))
        self.assertEqual([hm[k] for k in MEASURES], ["1.000"] * 6)
        # The refused set is listed as failed with the message, nothing predicted.
        mus = rows["mus10r"]
        self.assertEqual(mus["width"], "-")
        self.assertIn("FAILED: Error: The sequence contains invalid letters.", mus["note"])
        self.assertEqual((mus["nSn"], mus["predicted"]), ("0.000", "0"))
        # Totals: TP 10 (hm01r), FN 8 (mus10r), TN 20 + 12, one failed set.
        total = rows["tompa2005: all"]
        self.assertEqual([total[k] for k in ("sets", "failed", "nTP", "nFP", "nFN", "nTN",
                                             "sTP", "sFN", "sFP")],
                         ["2", "1", "10", "0", "8", "32", "1", "1", "0"])
        self.assertIn("- data sets with known sites where the top model hits at least one: "
                      "1 of 2", text)
        self.assertIn("- ... where it hits at least half of them: 1 of 2", text)
        self.assertIn("- low-complexity top models (consensus at least 3/4 A/T or at least "
                      "3/4 G/C): 1 of 1 top models (runs that worked)", text)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "work", "accuracy.md")))

    def test_known_width_rule_in_a_labelled_folder(self):
        out, err = StringIO(), StringIO()
        with redirect_stdout(out), redirect_stderr(err):
            accuracy.main(["--data", os.path.join(self.dir, "data"), "--bin", self.bin,
                           "--work", os.path.join(self.dir, "work"), "--qiro-args", "",
                           "--width-rule", "known", "--label", "v1"])
        # One run per set, at the known sites' width: 10 for hm01r (whose MAP score would
        # also pick 10) and 8 for mus10r, which the stand-in refuses.
        work = os.path.join(self.dir, "work", "v1")
        self.assertEqual(sorted(f for f in os.listdir(work) if f.endswith(".log")),
                         ["hm01r.kn10.log", "mus10r.kn8.log"])
        self.assertTrue(os.path.exists(os.path.join(work, "accuracy-known.md")))
        self.assertTrue(out.getvalue().startswith(
            "# qiro accuracy on data sets with known sites\n\nSettings: variant v1: width of "
            "the known sites"))
        rows = table_rows(out.getvalue())
        self.assertEqual([rows["hm01r"][k] for k in MEASURES], ["1.000"] * 6)
        self.assertEqual(rows["tompa2005: all"]["failed"], "1")

    def test_prior_knowledge_run(self):
        out, err = StringIO(), StringIO()
        work = os.path.join(self.dir, "work")
        with redirect_stdout(out), redirect_stderr(err):
            accuracy.main(["--data", os.path.join(self.dir, "data"), "--bin", self.bin,
                           "--work", work, "--qiro-args", "", "--pk-share", "0.5"])
        # hm01r's only site (5..14) is given as its own letters.
        with open(os.path.join(work, "hm01r.pk")) as handle:
            self.assertEqual(handle.read(), "ACGTACGTAC\n")
        # mus10r's site holds an N, so nothing is given and the widths are tried.
        self.assertFalse(os.path.exists(os.path.join(work, "mus10r.pk")))
        rows = table_rows(out.getvalue())
        self.assertIn("prior knowledge: 1 of 1 sites, width 10", rows["hm01r"]["note"])
        self.assertEqual([rows["hm01r"][k] for k in MEASURES], ["1.000"] * 6)
        self.assertIn("no prior knowledge", rows["mus10r"]["note"])
        # Sites not given: none of hm01r's, and mus10r's one, which is not found.
        total = rows["tompa2005: all"]
        self.assertEqual((total["held-out sTP/known"], total["held-out sSn"]), ("0/1", "0.000"))
        # The scan of hm01r's one given site (ACGTACGTAC) calls every place where it or its
        # reverse complement reads on the ACGT repeat: starts 1, 3, ..., 21, of which the
        # six from 1 to 11 share at least 3 letters with 5..14; mus10r has no matrix.
        scan = rows["tompa2005: all, matrix scan p<1e-4"]
        self.assertEqual([scan[k] for k in ("sets", "failed", "sTP", "sFN", "sFP",
                                            "held-out sTP/known")],
                         ["2", "-", "1", "1", "5", "0/1"])


FAKE_CONTROLS_QIRO = textwrap.dedent("""\
    #!/usr/bin/env python3
    # Stands in for qiro with -evalue: the result depends on the input file's name.
    import os, sys
    a = sys.argv[1:]
    opt = dict(zip(a[::2], a[1::2]))
    name = os.path.basename(opt["-i"])
    model = "Motif Rank #%d\\nComplexity: 1\\tConsensus: %s MAP Score: 1\\nNo. of sites: 1\\n%s\\n"
    if "shuffled" in name:
        body = "No motif has an E-value at most 0.05.\\n"
    elif name.startswith("H1_"):
        body = model % (1, "TTATGCAAATGA", "E-value: 2e-30") + model % (2, "CCCC", "E-value: 0.01")
    elif name.startswith("dm07g"):
        body = model % (1, "ACGTAC", "E-value: 0.3")
    else:
        body = model % (1, "ACGTAC", "")
    open(opt["-o"], "w").write("The Final Results:\\n\\n" + body)
    """)


class ControlsDriver(StandIn):
    """controls.py against a stand-in qiro whose result files are written by hand."""

    def test_counts_and_core(self):
        encode = os.path.join(self.dir, "data", "chipseq_encode_hg19")
        os.makedirs(encode)
        for name in ("H1_POU5F1_ChIP_HAIB", "H1_POU5F1_ChIP_HAIB_shuffled"):
            with gzip.open(os.path.join(encode, name + ".masked.fa.gz"), "wt") as handle:
                handle.write("".join(">chr1:%d-%d\nACGTNACGTA\n" % (i, i + 10)
                                     for i in range(3)))
        tompa = os.path.join(self.dir, "data", "tompa2005")
        for kind, name in (("generic", "dm07g"), ("markov", "dm08m")):
            os.makedirs(os.path.join(tompa, kind), exist_ok=True)
            with open(os.path.join(tompa, kind, name + ".fasta"), "w") as handle:
                handle.write(">seq_0\nACGTACGTACGT\n")
        with open(os.path.join(self.bin, "qiro"), "w") as handle:
            handle.write(FAKE_CONTROLS_QIRO)
        work = os.path.join(self.dir, "work")
        out, err = StringIO(), StringIO()
        with redirect_stdout(out), redirect_stderr(err):
            controls.main(["--data", os.path.join(self.dir, "data"), "--bin", self.bin,
                           "--work", work, "--qiro-args", "-mask T", "--peaks", "2",
                           "--only", "encode,encode-shuffled,tompa-empty"])
        rows = table_rows(out.getvalue())
        self.assertEqual([rows["H1_POU5F1_ChIP_HAIB"][k] for k in (
            "sequences", "models", "best E-value", "top consensus", "core in top model")],
            ["2", "2", "2e-30", "TTATGCAAATGA", "yes"])
        self.assertEqual([rows["H1_POU5F1_ChIP_HAIB_shuffled"][k] for k in (
            "models", "best E-value")], ["0", "none"])
        self.assertEqual(rows["dm08m"]["best E-value"], "none")
        # Controls: the shuffled peaks report nothing, dm07g only E = 0.3, and dm08m a
        # model without an E-value, which counts as reported.
        for line in ("- real ENCODE sets whose top motif holds the core: 1 of 1",
                     "- control runs reporting a motif at E <= 0.05: 1 of 3",
                     "  - tompa-empty: 1 of 2", "- failed runs: 0 of 4"):
            self.assertIn(line + "\n", out.getvalue())
        self.assertTrue(os.path.exists(os.path.join(work, "runs", "dm07g.freq")))


if __name__ == "__main__":
    unittest.main()
