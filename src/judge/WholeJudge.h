// The judge of inputs too small to hold sequences back (a few dozen
// promoters): every sequence serves both the searches and the judgement. Each
// candidate's best window in every input sequence is ranked by score; the
// alignment of the best n of them, for every n, gets the E-value of its
// log-likelihood ratio (AlignmentSignificance), and the n of the smallest
// E-value gives the candidate's sites and threshold. It tests the sites
// reported, not a model learnt on other sequences.
#ifndef QIRO_WHOLEJUDGE_H
#define QIRO_WHOLEJUDGE_H

#include <vector>

#include "input/Sequences.h"
#include "judge/AlignmentSignificance.h"
#include "judge/ColumnWindows.h"
#include "judge/Judge.h"

// Inputs of fewer sequences than this are judged on every sequence; larger
// ones hold half back. Measured on planted sets of 10 to 200 sequences
// (docs/measurements/accuracy-evalue.md).
const int kWholeJudgeBelow = 50;

// Judges candidates [from, to) on the forward input and control records;
// verdicts[i - from] belongs to candidate i. For an alignment of the best n
// windows, its E-value is the larger of p(LLR) times the alignments times
// `tests` (the widths searched), the LLR taken against the mean letter
// shares of the sequences the n sites lie in, and the Fisher p-value of the input
// sequences against the controls holding a window at least as good as the
// n-th (the controls, shuffles keeping short words, answer for what the
// input's make-up alone would give). The verdict keeps the n of the
// smallest: a its sites, n1 the input sequences with a window, b of n2
// controls above its threshold train.threshold (the n-th best score), and
// held.log10p that E-value. The scans run on up to `threads` threads; the
// p-values come from null, whose tables are kept for the next call. Draws
// nothing.
std::vector<Verdict> JudgeOnEverySequence(const std::vector<Candidate>& candidates, size_t from, size_t to,
                                          const std::vector<SeqRecord>& input,
                                          const std::vector<SeqRecord>& controls, bool bothStrands,
                                          int tests, LlrNull& null, int threads);

// The same verdicts for windows of one wide matrix's columns (ColumnWindows.h),
// window i as the candidate of those columns alone would get them; the
// scores are summed in another order, so a verdict may differ from that
// candidate's in the last bits of a score.
std::vector<Verdict> JudgeColumnWindows(const LogOdds& wide, const std::vector<ColumnWindow>& windows,
                                        const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        bool bothStrands, int tests, LlrNull& null, int threads);

#endif
