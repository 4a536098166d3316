// The state a judged run (-evalue) hands from one stage to the next, and the
// small steps every stage shares: how the input is split for searching and
// judging, which widths a round searches, the console's account of the
// split, and judging new candidates. The stages themselves (the searches,
// the given motif, the reported calls) are rooms of their own above this one.
#ifndef QIRO_JUDGEDRUN_H
#define QIRO_JUDGEDRUN_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "input/Midlayer.h"
#include "input/Sequences.h"
#include "judge/GivenMotif.h"
#include "judge/Judge.h"
#include "judge/WholeJudge.h"
#include "known/KnownMotifs.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

// Share of the input (and of the controls) held back from the searches and the
// thresholds to judge on: half, the split whose E-values were measured
// calibrated on shuffled inputs (docs/measurements/accuracy.md).
const double kHeldBackShare = 0.5;
// Leading candidates of a small input's range round whose width is settled
// before the pick (SettleLeading).
const int kSettledPerRound = 3;
// Most rounds of refitting a reported model to its own site calls.
const int kMaxRefits = 10;

// Which input and control sequences the searches see and which are held
// back for the judge (indices into the input and into the controls).
struct Split {
    std::vector<int> train, held, trainC, heldC;
};

// Everything a judged run carries from one stage to the next: the settings
// and the search's engine, the sequences and how they are split, and the
// candidates of every search so far with their verdicts.
struct JudgedRun {
    JudgedRun(RunSettings& settings, uint32_t runSeed, Midlayer* layer, std::unique_ptr<GAFrame>& searchEngine,
              std::vector<Individual>* models)
        : s(settings), seed(runSeed), data(layer), engine(searchEngine), population(models) {}

    RunSettings& s;
    uint32_t seed;
    Midlayer* data;
    std::unique_ptr<GAFrame>& engine;
    std::vector<Individual>* population;
    const double* bg = nullptr;
    int threads = 1;
    bool filterAsked = true;  // -f as given: the searches from words start from it
    bool whole = false;       // too few sequences to hold back: judged on every one (WholeJudge)
    bool given = false;       // -pk: the first motif is the one the known sites give, reported whatever its E-value
    GivenFit givenFit;        // how that motif was fit to the input
    std::vector<std::string> knownSites;  // the sites that gave it (later searches from words replace the data's)
    std::unique_ptr<LlrNull> null;  // the alignment E-values' null tables, when whole
    std::vector<SeqRecord> input, controls;  // every sequence, as loaded and masked
    std::vector<SeqRecord> distinct;         // the input without repeated sequences: searched and judged
    GcHistograms gc;                         // genomic controls: GC of input and controls (else empty)
    Split split;
    JudgeSets sets;
    std::vector<size_t> sample;  // the searched sequences the searches run on
    std::vector<int> widths;
    std::vector<Candidate> candidates;  // of every search, in search order
    std::vector<Verdict> verdicts;      // one per candidate
    std::vector<std::string> seedOf;    // per search: its seed word or window consensus, or empty
    std::vector<const char*> seedKind;  // per search: "word", "consensus", or empty
    std::vector<size_t> found;          // the candidate each motif round picked
    int searches = 0;
    bool knownTested = false;
    std::vector<KnownMotifResult> known;  // -db: every database motif tested, best first
};

// The data layer's strands become these forward strands (and their reverse
// strands when both are searched).
void HoldStrands(Midlayer* data, std::vector<SeqRecord> forward);

// The consensus of a candidate's counts (the likeliest letter of each column).
std::string ConsensusOf(const Candidate& c);

// Which sequences are searched and which held back; with `whole`, all of them are both.
Split SplitForJudging(int total, int controls, bool generated, bool whole, uint32_t seed);
JudgeSets MakeJudgeSets(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                        const Split& split, bool bothStrands);

// The widths a motif round searches: the first round of a run with known
// sites (-pk) searches once, at their width (0); every other round searches
// -k (a width or a range) from random starts and enriched words, the motifs
// found before masked. A range whose input holds half back searches
// RangeSearchWidths and settles each motif's width; a small input, judged
// on every sequence, searches SmallRangeSearchWidths and settles likewise.
std::vector<int> PlanWidths(const RunSettings& s, int round, bool whole);

// A range searched at fewer widths (PlanWidths): each motif's width is settled,
// and later rounds judge again what passed before.
bool SettlesWidths(const JudgedRun& run);

// The widths an alignment E-value is multiplied by on a small input: every
// width of a range, since a motif's width may be settled at any of them;
// else the widths searched.
int WidthTests(const JudgedRun& run);

// The console's account of the controls, the split and the sample.
void AnnounceSplit(const JudgedRun& run);

// A judge that holds back few sequences cannot find any motif significant,
// however good: say so when even a motif in every held-back input sequence
// and in no held-back control would miss the limit, so that a user with a
// handful of promoters knows the answer lies in the input's size, not in
// the search.
void ExplainOutOfReach(int total, size_t held, size_t heldControls, size_t judged, double limit);

// Judges candidates [first, end) of the run, adding their verdicts.
void JudgeFrom(JudgedRun& run, size_t first);

#endif
