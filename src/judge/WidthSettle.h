// Settling a motif's width within a range of widths: the searches of a range
// run fewer widths, and a model's edge columns are dropped where that tells
// input from control sequences better on the searched part, so that a wide
// search reports a narrower motif at its own width.
#ifndef QIRO_WIDTHSETTLE_H
#define QIRO_WIDTHSETTLE_H

#include <vector>

#include "input/Sequences.h"
#include "judge/Judge.h"

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

#endif
