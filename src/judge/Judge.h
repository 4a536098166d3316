// The judge of a run with -evalue: the final models of every search become
// candidates, each is scored on the input against control sequences, and a
// p-value taken on sequences the search never saw says how likely a motif
// that good would be by chance.
#ifndef QIRO_JUDGE_H
#define QIRO_JUDGE_H

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "input/Sequences.h"
#include "judge/GenomicControls.h"
#include "judge/MotifScan.h"
#include "judge/SiteModel.h"
#include "judge/SoftEm.h"
#include "known/KnownMotifs.h"
#include "motif/MotifCompare.h"
#include "search/Individual.h"

// Most candidates one search hands to the judge: its best distinct final
// models by rank. The E-value multiplies by the number judged, so more
// candidates cost significance as well as time; twenty covers the variants a
// final population holds (most are shifted or trimmed copies of a few motifs).
const int kCandidatesPerSearch = 20;

// A model to be judged.
struct Candidate {
    int width = 0;
    int search = 0;                       // the search that found it, from 0
    double count[B][MAX_K] = {};          // letter counts of its sites
    int nsites = 0;
    LogOdds scores;                       // its log-odds matrix
    MotifColumns columns;                 // its letter shares, for comparing motifs
};

// The sequences a run judges with: input and controls, each split into the
// part the searches run on (and thresholds are chosen on) and the part held
// back for the p-value. Forward records only (reverse windows are read off
// the forward letters).
struct JudgeSets {
    std::vector<SeqRecord> trainInput, heldInput;
    std::vector<SeqRecord> trainControl, heldControl;
    bool bothStrands = true;
};

// What the judge says of one candidate.
struct Verdict {
    ThresholdChoice train;  // threshold of smallest p on the search's part
    int a = 0, n1 = 0;      // held-back input sequences holding a site / with a window
    int b = 0, n2 = 0;      // the same for held-back controls
    FisherResult held;      // FisherEnrichment(a, n1, b, n2): the p-value reported
    // Judged on every sequence (small inputs, WholeJudge): a sites aligned in
    // n1 sequences, and held.log10p is already the E-value; align is the
    // alignment's part of it, which still tells widths apart where the
    // controls' part decides the E-value.
    bool whole = false;
    double align = 0.0;
};

// The model of a search result: its letter counts and site count as the
// result file reports them (sites times shares).
Candidate CandidateFromModel(const Individual& model, int width, int search, const double* bg);

// Adds to out the best (at most kCandidatesPerSearch) models of a ranked
// population not already there: a model whose letter counts equal, or mirror
// (reverse complement), those of a candidate of the same width is a duplicate.
// Returns how many were added.
int AddCandidates(const std::vector<Individual>& population, int width, int search, const double* bg,
                  std::vector<Candidate>& out);

// Judges candidates [from, to) of the list on the sets, on up to `threads`
// threads; verdicts[i - from] belongs to candidate i. Draws nothing, so the
// verdicts do not depend on the thread count.
std::vector<Verdict> JudgeCandidates(const std::vector<Candidate>& candidates, size_t from, size_t to,
                                     const JudgeSets& sets, int threads);

// log10 of the E-value: the held-back p-value times the candidates judged
// (a verdict on every sequence carries its own).
inline double Log10E(const Verdict& v, size_t judged) {
    if (v.whole) return v.held.log10p;
    return v.held.log10p + std::log10(static_cast<double>(judged > 0 ? judged : 1));
}

// An E-value written as the stream writes numbers (six significant digits),
// also when it is too small for a double ("3.1e-412").
std::string FormatEvalue(double log10e);

// Sequence indices 0 .. n - 1 split in two by a shuffle drawn from the run's
// seed: held gets floor(n * share) of them, train the rest, both ascending.
void SplitSequences(int n, double share, uint32_t seed, uint32_t stream, std::vector<int>& train,
                    std::vector<int>& held);

// The sites m calls in one forward record: its windows scoring at least t
// (SitesAbove). Windows that overlap are one binding site read at shifted
// offsets (a palindrome, a repeat): of those, the best scoring is kept (the
// first on ties), so that sites never overlap. By ascending start on the
// forward strand; kept is cleared first.
void CallSites(const LogOdds& m, const SeqRecord& fwd, double t, bool bothStrands, std::vector<ScanHit>& kept);

// A judged candidate refit for its site calls: the letters of the sites it
// calls at t in every input sequence become its counts and matrix, and t
// becomes the threshold of smallest Fisher p of the new matrix on every input
// against every control sequence. A search's model takes a site in every
// sequence it searched, motif or not, so its matrix is blurred by windows
// that are no site; the sites above the threshold are the motif's, taken
// from all the input rather than the sample searched. The E-value stays the
// one judged: the refit chooses nothing (fewer than two sites, or no
// threshold: c and t are left as they are, and false is returned).
// Sequences are scanned on up to `threads` threads; the result does not
// depend on the count.
bool RefitOnCalledSites(Candidate& c, double& t, const std::vector<SeqRecord>& input,
                        const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads);

// The letters of the sites m calls at t (CallSites) in every input sequence:
// count[b][j] the sites with letter b at offset j (on the site's strand),
// columns past m.k zero. Returns the sites. Scanned on up to `threads`
// threads; the counts do not depend on the count.
int SiteLetterCounts(const LogOdds& m, double t, const std::vector<SeqRecord>& input, bool bothStrands, int threads,
                     double (&count)[B][MAX_K]);

// RefitOnCalledSites again and again, at most `most` rounds, until the sites
// the refit matrix calls at its threshold are the very sites it was built
// from (their letter counts equal its counts): then settled is true, and the
// matrix, its threshold and its sites are one. Returns the rounds run.
int RefitUntilSettled(Candidate& c, double& t, const std::vector<SeqRecord>& input,
                      const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads,
                      int most, bool& settled);

// How well a candidate's sites at threshold t are called, as estimated from
// what is known: the share of the known sites (their letters) that its
// matrix scores at t or above (recall), and the false calls the controls
// predict (their sites scaled by the input's letters over theirs) as a share
// of the input's sites.
struct CallEstimate {
    int known = 0;           // known sites of the candidate's width, A, C, G, T only
    double recall = 0.0;     // of those
    double falseShare = 0.0;
};
CallEstimate EstimateCalls(const Candidate& c, double t, const std::vector<std::string>& known,
                           const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                           bool bothStrands, int threads);

// Masks the letters of every window of sequence `fwd` that scores at least t
// under m (either strand when bothStrands), so that a further search and
// further judging pass over a motif already found. Returns the letters newly
// masked. The record gets a mask of its own; records sharing the old one keep it.
size_t MaskSites(const LogOdds& m, double t, bool bothStrands, SeqRecord& fwd);

// What a reported model was judged to be; one per model of the report.
struct ModelJudgement {
    int width = 0;
    double threshold = 0.0;  // site threshold (log-odds, bits)
    double log10p = 0.0;     // held-back p-value, log10
    double log10e = 0.0;     // E-value, log10
    int a = 0, n1 = 0, b = 0, n2 = 0;  // held-back sequences with a site / judged, input then controls
    int search = 0;          // the search that found it, from 1
    std::string seedWord;    // the enriched word or window consensus that seeded that search; empty: random starts or -pk
    std::string seedKind;    // "word" or "consensus" (a window of a small input); empty with seedWord
    // The matrix that called the reported sites: its letter counts (count[b][j],
    // nsites per column), the log-odds built from them (LogOddsFromCounts) and
    // scanned at `threshold`; the refits it took, and whether its sites are
    // the very sites it was built from (settled; else its counts differ from
    // the sites' letters).
    double count[B][MAX_K] = {};
    int nsites = 0;
    LogOdds scores;
    double background[B] = {0.25, 0.25, 0.25, 0.25};  // the letter shares the log-odds were built against
    int refits = 0;
    bool settled = false;
    bool given = false;  // the motif of the known sites (-pk), reported whatever its E-value
    CallEstimate estimate;  // of a given motif: its sites' estimated recall and false calls
    // The sites were called by a mixture fitted to the input (-sitemodel other
    // than threshold): which, with its fitted share; else by `threshold`.
    bool modelCalls = false;
    SiteModelFit siteFit;
    // The fitted model was then refined by soft EM, and the refined model
    // called the sites (count: its posterior-weighted letters; scores: its
    // log-odds against `background`; threshold: its cut on the evidence).
    bool refined = false;
    SoftEmFit em;
};

// The judge's part of a report.
struct JudgedReport {
    std::vector<ModelJudgement> models;
    double limit = 0.0;           // -evalue
    int controls = 0;             // control sequences
    bool generated = true;        // made by shuffling the input (else -neg)
    GcHistograms gc;              // controls from the genome (-peaks/-genome): GC of input and controls
    int judged = 0;               // candidates judged over all searches
    int heldInput = 0, heldControl = 0;
    bool whole = false;           // judged on every sequence (WholeJudge), none held back
    bool deNovo = true;           // motifs were sought (-nmotifs 0: none)
    // Runs with -db: every database motif tested in the input, best first.
    bool knownTested = false;
    std::vector<KnownMotifResult> known;
};

#endif
