// Prior knowledge: the file of known sites, the sites a run uses, their
// scores against the sequences' positional base shares and the background,
// and the k-mer filter that admits site positions by the same scores.
#ifndef QIRO_KNOWNSITES_H
#define QIRO_KNOWNSITES_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "input/Background.h"
#include "input/Sequences.h"
#include "input/Site.h"

// One known binding site.
struct PK {
    std::string Seq;
    double Score = 0.0;
    double BGScore = 0.0;
};

// Scores and profile of the set of known sites in use.
struct PKFitness {
    double IC = 0.0;
    double Mismatch = 0.0;
    double LC = 0.0;
    char Cons[MAX_K + 1] = {0};
    double Freq[B][MAX_K] = {};
    double MismatchMatrix[B][MAX_K] = {};
    double CumFreq[MAX_K][5] = {};
    int32_t NumPK = 0;
    double Threshold = 0.0;
    double PKScore = 0.0;
    double PKMax = 0.0;
    double STD = 0.0;
};

// Base-2 logarithm as every score here takes it: natural logarithms divided,
// which need not round as std::log2 does.
double ScoreLog2(double x);

// The sites of a prior-knowledge file's text, one to a line. Lines are read in
// pieces of at most 39 characters, the line end included: a longer line reads
// as several, and a last line without a line end is ignored. Every site must
// be k letters wide; k 0 takes the width of the first. A file without a site,
// or with sites of different widths, ends the run; fileName names the file in
// the messages. U and u (RNA sites) are read as T and t, and counted on the console.
std::vector<PK> ReadSiteFile(const std::string& text, const std::string& fileName, int& k);

// The sites a run uses: `used` of the file's sites (all, in order, when used
// is at least their number; otherwise drawn at random without repeats), then
// `noise` windows of width k drawn at random from the forward sequences
// 0 .. numSeq - 1, in upper case.
std::vector<PK> ChooseSites(const std::vector<PK>& fileSites, int used, int noise,
                            const std::vector<SeqRecord>& seqs, int numSeq, int k);

// Base shares at each offset of the width-k windows of the forward sequences
// 0 .. numSeq - 1. With skipInvalid, windows holding a letter other than A,
// C, G, T are not counted; otherwise such a letter ends the run.
void PositionShares(const std::vector<SeqRecord>& seqs, int numSeq, int k, bool skipInvalid,
                    double shares[B][MAX_K]);

// What scoring a word against a profile of known sites reads besides the
// profile: the background and the positional base shares (PositionShares).
struct SiteScorer {
    BackgroundTables background;
    const double (*posFreq)[MAX_K];

    // Mismatch of the len letters at word against fit's profile, relative to
    // that against the positional shares. A letter other than A, C, G, T ends
    // the run.
    double Mismatch(const char* word, int len, const PKFitness& fit) const;
};

// Scores the first numSites sites (each k letters wide) into fit, printing the
// figures as it goes: the profile (pseudo-counts after baseFreq), information
// content, mismatch, each site's Score (mismatch) and BGScore, their spread,
// the best BGScore, the set's score, lower complexity and consensus.
void ScoreSites(const SiteScorer& scorer, const double baseFreq[B], int k, std::vector<PK>& sites, int numSites,
                PKFitness& fit);
// Lower complexity of fit's profile over k columns.
double SiteLowerComplexity(int k, const PKFitness& fit);
// Consensus of fit's profile over k columns into fit.Cons.
void SiteConsensus(int k, PKFitness& fit);

// The k-mer filter: scores every window of width k of strands 0 .. numStrands
// - 1 into scores, and lists per strand in candidates the starts it admits.
// When enabled (filtering asked for and prior knowledge in use) and the scores
// reach past omega times fit.PKMax, scores are normalised, fit.Threshold set,
// and a strand keeps the windows within omega times the threshold (its best
// one when none is); otherwise every start is admitted.
void FilterWindows(const SiteScorer& scorer, const std::vector<SeqRecord>& strands, int numStrands, int k,
                   double omega, bool enabled, PKFitness& fit, std::vector<std::vector<int>>& candidates,
                   std::vector<kmer>& scores);

#endif
