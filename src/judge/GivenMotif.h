// The motif that known sites give (-pk with -evalue): its matrix grown from
// the known sites themselves, refit on the input with those sites as a prior,
// and its sites called at a fixed background p-value. The known sites say
// that there is a motif; what this room answers is what exactly it is in
// these sequences and where its sites are.
#ifndef QIRO_GIVENMOTIF_H
#define QIRO_GIVENMOTIF_H

#include <string>
#include <vector>

#include "input/Sequences.h"
#include "judge/Judge.h"

// A window is a site of the given motif when its p-value under the
// background is at most this. On Tompa's promoters with half the known sites
// given, the thresholds chosen on the data (the largest expected F1, the
// known sites estimating recall and the controls false calls, with or without
// a lower confidence bound on the true calls) gave nCC 0.13 to 0.23, this one
// 0.34; p-values of 3e-4 and 1e-3 found more of the sites not given at a
// lower nCC (docs/measurements/accuracy-evalue.md).
const double kGivenWindowP = 1e-4;

// Each known site counts as this many pseudo-sites beside the sites called
// in the input when the matrix is refit: enough to keep a few known sites from
// being outvoted by chance windows in long promoters, little enough for a
// thousand ChIP-seq sites to sharpen a matrix drawn from a database (1, 3, 6
// and 10 measured, and a prior of a fixed total; docs/measurements/accuracy-evalue.md).
const double kGivenPriorWeight = 3.0;

// The letter counts of the known sites of width k (A, C, G, T only; others
// are skipped), each read on the strand that agrees best with the others when
// bothStrands: a site file need not give every site on one strand. Returns
// the sites counted.
int KnownSiteCounts(const std::vector<std::string>& known, int k, bool bothStrands, double (&count)[B][MAX_K]);

// How the given motif's sites were called, for the report.
struct GivenFit {
    int rounds = 0;          // refits run
    bool settled = false;    // the last matrix calls the very sites it was built from (plus the prior)
    int calls = 0;           // sites called in the input
};

// The given motif fit to the input. c comes in as the known sites' matrix
// (counts = prior, width set); each round calls its sites at the
// kGivenWindowP threshold of its matrix in every input sequence and rebuilds
// the counts as those sites' letters plus kGivenPriorWeight times the prior,
// until the sites called stop changing (at most `most` rounds). With `most`
// 0 the known sites' own matrix calls the sites (settled: nothing moves): in
// a few long promoters many windows at that threshold are chance ones, and a
// refit on them drifts from the known sites (docs/measurements/accuracy-evalue.md). When
// no window reaches the threshold, t is lowered to the input's best window, so
// that the motif still has a place to be shown. c and t go out as the
// reported matrix and its threshold. Scans on up to `threads` threads; the
// result does not depend on the count.
GivenFit FitGivenMotif(Candidate& c, double& t, const double (&prior)[B][MAX_K], int priorSites,
                       const std::vector<SeqRecord>& input, bool bothStrands, const double* bg, int threads, int most);

// The share of the known sites that reach the site threshold when each is
// scored by the fitted matrix without its own share (`weight` times its
// letters taken out: kGivenPriorWeight after a refit, 1 for the known sites'
// own matrix), at that matrix's own kGivenWindowP threshold: an estimate of
// recall in which no known site vouches for itself. Sites of another width or
// with other letters are not counted; 0 without a site.
double LeaveOneOutRecall(const Candidate& c, const std::vector<std::string>& known, bool bothStrands,
                         const double* bg, double weight);

#endif
