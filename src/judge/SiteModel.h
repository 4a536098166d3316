// Site calls from a fitted model of the input rather than from a threshold
// chosen to separate input from controls: the input is a mixture of motif
// sites and background, the share of sites is estimated on the input by
// expectation maximisation, and a site is called where the fitted model's
// posterior reaches one half (Lawrence et al. 1993; Bailey & Elkan 1994,
// 1995). Two mixtures:
//
// * ZOOPS: each sequence holds zero or one site. gamma is the share of
//   sequences that hold one. A sequence holds a site when the posterior that
//   it does, given its best window's score, reaches one half; the site is
//   that window.
// * TCM: any number of sites; lambda is the share of windows that are one.
//   A window is a site when its posterior, given its score, reaches one half;
//   of calls that overlap, the higher scoring is kept.
//
// The background component is measured, not assumed: it is the density of
// the same scores in the control sequences (best windows for ZOOPS, every
// window for TCM), smoothed by a Gaussian kernel. Scored against a
// single-letter background, a sequence of a few hundred letters without a
// site still holds windows whose likelihood ratios add up to near one, so a
// mixture on those ratios could not tell a sequence without a site from one
// with a weak site, and called a site in nearly every sequence (on planted
// sets with half the sequences empty, every sequence). The sites' scores are
// a normal component whose mean and spread EM fits with the share (the
// spread with a prior at the controls' spread, kSpreadPriorSites). The
// posterior rises with the score, so the calls are the windows (ZOOPS: the
// best windows) from the top down as far as it stays at one half or more: a
// threshold, which the report carries, so that a scan calls the same sites.
//
// Which mixture is chosen from the data: TCM's calls beyond the first in their
// sequence are counted in the input and set against the calls the same
// threshold makes in the controls, scaled to the input's windows (every one a
// false call). When the input's extra calls are more than chance allows
// (Poisson tail at most kExtraCallsP) and at least kExtraCallsShare of its
// calls, the input holds more than one site per sequence and TCM calls them;
// otherwise ZOOPS, whose one site per sequence keeps chance windows out.
// Copies of a repeat (an Alu in human promoters) pass that count too, since
// the controls, the input shuffled, hold none: so TCM is chosen only when
// its calls' flanks, kFlankGap to kFlankGap + kFlankLetters letters away on
// either side, are no more alike than chance (at most kRepeatFlankBits a
// column above it). A binding site's flanks are the sequence around it; a
// repeat's copies share theirs for hundreds of letters. The gap keeps the
// columns of a motif wider than the model out.
#ifndef QIRO_SITEMODEL_H
#define QIRO_SITEMODEL_H

#include <string>
#include <vector>

#include "input/Sequences.h"
#include "judge/MotifScan.h"

struct Candidate;

enum class SiteRule { kAuto, kZoops, kTcm, kThreshold };

const double kExtraCallsP = 1e-3;
const double kExtraCallsShare = 0.1;
const int kFlankGap = 5;
const int kFlankLetters = 10;
const double kRepeatFlankBits = 0.25;

// "auto", "zoops", "tcm", "threshold": the mixtures' names in reports.
const char* SiteRuleName(SiteRule rule);

// How a judged run calls its sites (-sitemodel): a rule, and whether the
// fitted model is then refined by soft EM against the Markov background
// (judge/SoftEm) and calls the sites itself. The option's words:
//   em (the default), em-zoops, em-tcm: refined, the mixture chosen or asked;
//   fitted, fitted-zoops, fitted-tcm: the mixture fitted to the scores alone;
//   threshold: every window at least the judge's threshold.
// auto, zoops and tcm, the words before the refinement, still name the
// fitted rules.
struct SiteCalling {
    SiteRule rule = SiteRule::kAuto;
    bool refined = true;
};
const char kSiteCallingWords[] = "em, em-zoops, em-tcm, fitted, fitted-zoops, fitted-tcm or threshold";
// The calling an option word names; false for any other word.
bool ParseSiteCalling(const std::string& word, SiteCalling& calling);

// A mixture fitted to the input for one matrix.
struct SiteModelFit {
    SiteRule rule = SiteRule::kZoops;  // kZoops or kTcm
    bool automatic = false;            // chosen from the data (else asked for)
    double share = 0.0;                // ZOOPS: gamma, of sequences; TCM: lambda, of windows
    double siteMean = 0.0;             // the sites' scores (bits): mean and standard deviation, as fitted
    double siteSd = 0.0;
    double threshold = 0.0;            // calls score at least this (infinity: none)
    int sequences = 0;                 // input sequences with an admissible window
    long long windows = 0;             // admissible windows (places) of the input
    int emRounds = 0;                  // EM iterations to convergence
    // The automatic choice's evidence: TCM's calls beyond the first of their
    // sequence, and the false calls the controls predict for the input.
    int extraCalls = 0;
    double extraExpected = 0.0;
    // How alike TCM's calls' flanks are: the mean relative entropy of a flank
    // column against all the flanks' letters, in bits, less what chance
    // gives; and whether that alone kept TCM from being chosen.
    double flankBits = 0.0;
    bool repeatLike = false;
};

// Fits the mixture asked for (kAuto: chooses between the two as above) to the
// input for matrix m, against the controls. Sequences are scored
// on up to `threads` threads; the fit does not depend on the count.
SiteModelFit FitSiteModel(const LogOdds& m, SiteRule asked, const std::vector<SeqRecord>& input,
                          const std::vector<SeqRecord>& controls, bool bothStrands, int threads);

// The sites the fit calls in every input sequence (calls[i], by ascending
// start on the forward strand, never overlapping).
void CallByModel(const LogOdds& m, const SiteModelFit& fit, const std::vector<SeqRecord>& input, bool bothStrands,
                 int threads, std::vector<std::vector<ScanHit>>& calls);

// A candidate refit on the sites the fitted model calls, again and again (at
// most `most` rounds, the mixture refit for every new matrix), until the
// matrix built from its calls calls those very sites: then settled is true.
// The rule asked for is chosen once, on the starting matrix, so the refits
// cannot swing between the two mixtures. On return c is the matrix that made
// `calls`, fit its mixture. Returns the refits made.
int RefitByModel(Candidate& c, SiteRule asked, const std::vector<SeqRecord>& input,
                 const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads, int most,
                 SiteModelFit& fit, std::vector<std::vector<ScanHit>>& calls, bool& settled);

// The letters of calls (as CallByModel lays them out) counted per offset on
// each site's strand; returns the sites.
int CalledLetterCounts(const std::vector<std::vector<ScanHit>>& calls, const std::vector<SeqRecord>& input, int k,
                       double (&count)[B][MAX_K]);

#endif
