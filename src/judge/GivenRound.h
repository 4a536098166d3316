// The first motif of a run with known sites (-pk with -evalue): the known
// sites' own matrix, refit on large inputs with them as a prior, judged
// beside the searches' candidates and reported first whatever its E-value;
// and what the console says of its site calls.
#ifndef QIRO_GIVENROUND_H
#define QIRO_GIVENROUND_H

#include <cstddef>

#include "judge/JudgedRun.h"

// The first motif of a run with known sites: the known sites' matrix fit to
// the input (GivenMotif), judged for information and reported first whatever
// its E-value. The known sites already say that there is a motif; what is
// asked is which, exactly, and where its sites are. The round's search from
// the known sites has run (it reads and checks them); its models are judged
// beside this one, for the E-value's count, but none is reported in its place:
// on promoters a search's best model drifted from the known sites
// (docs/measurements/accuracy-evalue.md).
void TakeGivenMotif(JudgedRun& run);

// What the console says of the known sites' motif: how it was fit, the rule
// its sites were called by, and how far the calls can be trusted (estimated
// false calls and recall).
// threshold: the one its sites are called at; byModel: set by a mixture fitted
// to the input (else the background p-value's).
CallEstimate DescribeGivenCalls(const JudgedRun& run, size_t f, const Candidate& called, double threshold,
                                bool byModel);

#endif
