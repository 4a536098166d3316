// Discriminative judging of a motif model: its log-odds matrix against the
// single-letter background, the best window of every sequence on either
// strand, the site threshold that best separates input from control
// sequences (one-sided Fisher exact test), and the windows above it.
#ifndef QIRO_MOTIFSCAN_H
#define QIRO_MOTIFSCAN_H

#include <cstdint>
#include <limits>
#include <vector>

#include "core/Constants.h"
#include "core/Statistics.h"
#include "input/Sequences.h"

// Calls f(p) for every start p of a window of k letters of a forward record
// that holds only A, C, G, T and no masked letter, in ascending order: the
// windows every scan and every model of the sites considers.
template <class F>
void ForEachOpenWindow(const SeqRecord& r, int k, F&& f) {
    const uint8_t* c = r.code.data();
    int run = 0;  // letters with a code ending at i
    for (int i = 0; i < r.len; ++i) {
        run = c[i] == BASE_NONE ? 0 : run + 1;
        if (run < k) continue;
        const int p = i - k + 1;
        if (r.WindowMasked(p, k)) continue;
        f(p);
    }
}

// Position-specific scores of a motif of width k: score[j][b] is
// log2(p_j(b) / bg(b)), in bits, for letter b (0..3 = A, C, G, T) at offset j.
// A window's score is the sum over its offsets, i.e. log2 of how much likelier
// the window is under the motif than under the background.
struct LogOdds {
    int k = 0;
    double score[MAX_K][B] = {};

    // Score of the k codes (each 0..3) at w, read as they are.
    double Forward(const uint8_t* w) const {
        double s = 0.0;
        for (int j = 0; j < k; ++j) s += score[j][w[j]];
        return s;
    }
    // Score of the reverse complement of the k codes at w: offset j of the
    // motif meets the complement of letter k - 1 - j.
    double Reverse(const uint8_t* w) const {
        double s = 0.0;
        for (int j = 0; j < k; ++j) s += score[j][3 - w[k - 1 - j]];
        return s;
    }
    // The highest score any window can reach.
    double Max() const;
};

// The log-odds matrix of k offsets from letter counts as the models keep them
// (count[b][j]: sites with letter b at offset j), against the zero-order
// background bg[0..3] (the -freq file's A, C, G, T; normalised here to sum 1,
// each must be positive).
//
// Each column's probabilities are drawn towards the background by a
// pseudocount of sqrt(N), N the column's count total, shared out by the
// background: p(b) = (count + sqrt(N) bg(b)) / (N + sqrt(N)). This is the
// smoothing the search's information content uses, so the matrix judged is the
// one the search built; it keeps a letter unseen among a few sites from
// scoring -infinity while its weight relative to the data shrinks as
// 1/sqrt(N) for large site sets. A column without counts scores 0.
//
// The background is zero-order because the matrix is: its columns are
// independent letters, and the ratio of a column model to a single-letter
// background is what each column's score measures. A Markov background would
// take a window-dependent term (log2 of the window's background probability
// in place of the sum of single-letter terms) and can be added later.
//
// Throws std::invalid_argument when k is outside 1..MAX_K or a background
// frequency is not positive.
LogOdds LogOddsFromCounts(const double (&count)[B][MAX_K], int k, const double* bg);
// The same from a frequency matrix (share[b][j], as Individual::MismatchMatrix)
// and the site count n it was taken over (counts = share * n).
LogOdds LogOddsFromShares(const double (&share)[B][MAX_K], int n, int k, const double* bg);

// A sequence's best window score over the admissible windows of its forward
// strand and, when bothStrands, of its reverse strand (a site may lie on
// either). A window is admissible when it holds no masked letter
// (SeqRecord::WindowMasked) and no letter without a code (BASE_NONE).
// forward must be a forward record; reverse windows are scored as the reverse
// complement of the forward letters, so the reverse records need not exist.
// -infinity when no window is admissible (as when the sequence is shorter
// than k). The score is rounded to float, as every comparison with a
// threshold below is, so that a threshold taken from best scores finds the
// very windows that made them.
float BestScore(const LogOdds& m, const SeqRecord& forward, bool bothStrands);
// BestScore of each of the forward records 0 .. numSeq - 1 of a strand store
// (records past numSeq, such as stored reverse strands, are not read); best
// gets numSeq entries.
void BestScorePerSequence(const LogOdds& m, const std::vector<SeqRecord>& strands, int numSeq, bool bothStrands,
                          std::vector<float>& best);

// The threshold that best separates input from control sequences.
struct ThresholdChoice {
    // A sequence holds a site when its best score >= threshold.
    double threshold = std::numeric_limits<double>::infinity();
    int a = 0;         // input sequences holding a site
    int n1 = 0;        // input sequences with an admissible window
    int b = 0;         // control sequences holding a site
    int n2 = 0;        // control sequences with an admissible window
    double p = 1.0;    // FisherEnrichment(a, n1, b, n2)
    double log10p = 0.0;
};

// Among the input sequences' best scores, the threshold t whose table (input
// sequences with best >= t against control sequences with best >= t) has the
// smallest one-sided Fisher p-value; ties go to the higher threshold (the
// stricter site). Only input scores need trying: raising t from one input
// score to just below the next higher one keeps a and can only lower b, and
// the hypergeometric tail only falls as b does. Sequences without an
// admissible window (best = -infinity) can hold no site and are left out of
// n1 and n2, as the search leaves such sequences out. Sorting makes it
// O((n1 + n2) log(n1 + n2)) besides the Fisher tails. Without an input
// sequence with a window, threshold is +infinity and p = 1.
//
// The p-value is that of the best of many thresholds, so it is optimistic as
// a measure of significance on the same data (the usual caveat of choosing
// the threshold discriminatively); a held-out set judges it fairly.
ThresholdChoice ChooseThreshold(const std::vector<float>& inputBest, const std::vector<float>& controlBest);

// The scores of one admissible window: its forward start and its score on
// each strand (rv is -infinity when only the forward strand is read).
struct WindowScore {
    int p;
    double fw, rv;
};
// Every admissible window of a forward record, by ascending start, scored as
// BestScore and SitesAbove score them; out is cleared first.
void WindowScores(const LogOdds& m, const SeqRecord& forward, bool bothStrands, std::vector<WindowScore>& out);

// One window scoring at least a threshold.
struct ScanHit {
    int pos;       // start on the strand it lies on (reverse: counted on the reverse complement, as kmer::Pos)
    bool forward;  // which strand
    double score;
};

// The admissible windows of a forward record scoring >= t (compared as float,
// as BestScore rounds), on either strand when bothStrands, by ascending forward
// position. One hit per place: when the window at a place scores >= t on both
// strands it is reported once, on the strand with the higher score (forward
// on ties), since the two readings share every letter and are one site.
// hits is cleared first.
void SitesAbove(const LogOdds& m, const SeqRecord& forward, double t, bool bothStrands, std::vector<ScanHit>& hits);

// A forward record's best site: the first of its highest-scoring windows as
// SitesAbove lists them at its BestScore (best gets that score). False when
// it has no admissible window. hits is scratch space.
bool BestSite(const LogOdds& m, const SeqRecord& forward, bool bothStrands, float& best, ScanHit& top,
              std::vector<ScanHit>& hits);

// The code (0..3) of the letter `off` places from a site's start, read on
// the site's strand (complemented on the reverse one; off may be negative or
// past the site): -1 past either end of the record, or when the letter is
// masked or has no code.
int LetterOnSiteStrand(const SeqRecord& forward, const ScanHit& site, int off);

#endif
