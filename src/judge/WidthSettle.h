// Settling a motif's width within a range of widths: the searches of a range
// run fewer widths, and a model's edge columns are dropped where that tells
// input from control sequences better on the searched part, so that a wide
// search reports a narrower motif at its own width. On a small input, judged
// on every sequence, the model's aligned sites are also read past its edges,
// so that a search at the middle of the range reports a wider motif too.
#ifndef QIRO_WIDTHSETTLE_H
#define QIRO_WIDTHSETTLE_H

#include <vector>

#include "input/Sequences.h"
#include "judge/Judge.h"
#include "judge/WholeJudge.h"

// Columns [from, from + width) of a candidate, as a candidate of that width
// (its counts, log-odds against bg and column shares).
Candidate TrimCandidate(const Candidate& c, int from, int width, const double* bg);

// The window of the candidate's columns, at least `low` wide, whose
// threshold of smallest Fisher p (input against controls) has the smallest
// p; of equal ones the widest, so that columns are only dropped when that
// tells input from controls better. Every window is tried (a greedy walk
// stopped on plateaus of equal p). Only the searched part is read, so the
// held-back part still judges the result fairly. Returns the columns dropped
// (0: c is returned as it is). The windows are scored on up to `threads`
// threads; the result does not depend on the count.
int SettleWidth(const Candidate& c, int low, const std::vector<SeqRecord>& trainInput,
                const std::vector<SeqRecord>& trainControl, bool bothStrands, const double* bg, int threads,
                Candidate& settled);

// The letters of the sites a whole-input verdict aligns (each input
// sequence's best window scoring at least t), read from `left` letters before
// each site to `right` letters after it on the site's strand: count[b][j] the
// sites with letter b at offset j of the c.width + left + right columns.
// Letters past a sequence's ends, masked or without a code are not counted.
// Returns the sites.
int AlignedLetterCounts(const LogOdds& m, double t, const std::vector<SeqRecord>& input, bool bothStrands, int left,
                        int right, double (&count)[B][MAX_K]);

// A small input's motif at its own width within [low, high]: its aligned
// sites (verdict v) are read up to high - c.width letters past each edge,
// and every window of those columns from low to high wide that shares at
// least half of the narrower's columns with c is judged as
// JudgeOnEverySequence judges (with `tests`). Of c and the windows, one
// whose log10 E-value is at most `limit` ranks by how unlikely its
// alignment is by chance (Verdict::align), one that does not by its E-value;
// the best replaces c when it ranks above it, and the steps repeat from its
// own aligned sites, kSettleSteps at most. When c itself did not pass,
// log10Searched is log10 of the windows judged, which the settled model's
// E-value must carry (else 0). Returns whether settled differs from c and
// passes.
const int kSettleSteps = 3;
bool SettleWholeWidth(const Candidate& c, const Verdict& v, int low, int high, const std::vector<SeqRecord>& input,
                      const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int tests,
                      double limit, LlrNull& null, int threads, Candidate& settled, double& log10Searched);

#endif
