#include "EvalueRun.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numeric>

#include "DbMatch.h"
#include "GivenMotif.h"
#include "Judge.h"
#include "KnownMotifs.h"
#include "Masking.h"
#include "Outputs.h"
#include "Parallel.h"
#include "Robust.h"
#include "SearchRun.h"
#include "Shuffle.h"
#include "StageRandom.h"
#include "WholeJudge.h"
#include "WidthSettle.h"
#include "WindowSeeds.h"
#include "Words.h"
#include "Report.h"
#include "Settings.h"

using std::cout;
using std::endl;

namespace {

std::vector<SeqRecord> Pick(const std::vector<SeqRecord>& forward, const std::vector<int>& which) {
    std::vector<SeqRecord> out;
    out.reserve(which.size());
    for (int i : which) out.push_back(forward[static_cast<size_t>(i)]);
    return out;
}

// The data layer's strands become these forward strands (and their reverse
// strands when both are searched).
void HoldStrands(Midlayer* data, std::vector<SeqRecord> forward) {
    data->NumSeq = static_cast<int>(forward.size());
    data->BigK = 0;
    for (const SeqRecord& r : forward) data->BigK += r.len;
    data->Seqs = std::move(forward);
    if (data->GetDoubleStrand()) AddReverseStrands(data->Seqs, data->NumSeq);
}

std::string ConsensusOf(const Candidate& c) {
    std::string text;
    for (int j = 0; j < c.width; ++j) {
        int best = 0;
        for (int b = 1; b < B; ++b)
            if (c.count[b][j] > c.count[best][j]) best = b;
        text += "ACGT"[best];
    }
    return text;
}

// Masks a found motif's sites in every set, so that the next search and the
// next judging look past it.
void MaskEverywhere(const Candidate& c, double t, JudgeSets& sets) {
    for (std::vector<SeqRecord>* set : {&sets.trainInput, &sets.heldInput, &sets.trainControl, &sets.heldControl})
        for (SeqRecord& r : *set) MaskSites(c.scores, t, sets.bothStrands, r);
}

// The reported model of a judged candidate: the sites it calls at the
// threshold in every input sequence (CallSites), scored as any model.
// Sequences are scanned on up to `threads` threads and their sites joined in
// sequence order.
Individual ReportedModel(Midlayer* data, const Candidate& c, double t, int threads) {
    Individual model;
    model.setConLen(c.width);
    const int n = data->NumSeq;
    std::vector<std::vector<ScanHit>> called(static_cast<size_t>(n));
    ParallelFor(n, threads, [&](int i) {
        CallSites(c.scores, data->Seqs[static_cast<size_t>(i)], t, data->GetDoubleStrand(), called[static_cast<size_t>(i)]);
    });
    for (int i = 0; i < n; ++i)
        for (const ScanHit& h : called[static_cast<size_t>(i)])
            model.Sites.push_back(kmer{h.pos, h.forward ? i : n + i, h.score, 0.0});
    data->SetK(c.width);
    data->ComputePosFreq(true);
    model.CalculateIndiFitness_vector(data, data->GetFreqInfo());
    return model;
}

// One search on the given strands, with a fresh engine and population.
void Search(RunSettings& one, Midlayer* data, std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
            const std::vector<SeqRecord>& strands, const std::vector<std::string>* seeds) {
    HoldStrands(data, strands);
    engine.reset(new GAFrame());
    engine->PlainModelsThrow = seeds != nullptr;  // a search from seed sites is one of many
    population->clear();
    data->PKFit = PKFitness();  // every search scores its known sites afresh
    SearchAndRefine(one, data, engine.get(), population, seeds);
}

// A judge that holds back few sequences cannot find any motif significant,
// however good: say so when even a motif in every held-back input sequence
// and in no held-back control would miss the limit, so that a user with a
// handful of promoters knows the answer lies in the input's size, not in
// the search.
void ExplainOutOfReach(int total, size_t held, size_t heldControls, size_t judged, double limit) {
    const FisherResult best = FisherEnrichment(static_cast<int>(held), static_cast<int>(held), 0,
                                               static_cast<int>(heldControls));
    const double log10e = best.log10p + std::log10(static_cast<double>(judged > 0 ? judged : 1));
    if (log10e <= std::log10(limit)) return;
    cout << "With " << total << " input sequences, the judge holds back " << held << ": even a motif in every held-back"
         << " input sequence and in none of the " << heldControls << " held-back control sequences would have an E-value of "
         << FormatEvalue(log10e) << ", above " << limit
         << (heldControls < held ? ". Give more control sequences (-neg): fewer are held back than input sequences"
                                 : ". Give more sequences (the judge needs a few dozen)")
         << ", or run without -evalue to see the search's models"
         << " unjudged." << endl;
}

// Which input and control sequences the searches see and which are held
// back for the judge (indices into the input and into the controls).
struct Split {
    std::vector<int> train, held, trainC, heldC;
};

Split SplitForJudging(int total, int controls, bool generated, bool whole, uint32_t seed) {
    Split split;
    if (whole) {
        // Too few to hold any back: every sequence is searched and judged.
        for (int i = 0; i < total; ++i) split.train.push_back(i);
        for (int i = 0; i < controls; ++i) split.trainC.push_back(i);
        split.held = split.train;
        split.heldC = split.trainC;
        return split;
    }
    SplitSequences(total, kHeldBackShare, seed, 0, split.train, split.held);
    if (generated) {
        // Each control goes with the sequence it was shuffled from (copies of one sequence are adjacent).
        const int copies = ControlCopies(total);
        for (int i : split.train)
            for (int c = 0; c < copies; ++c) split.trainC.push_back(i * copies + c);
        for (int i : split.held)
            for (int c = 0; c < copies; ++c) split.heldC.push_back(i * copies + c);
    } else {
        SplitSequences(controls, kHeldBackShare, seed, 1, split.trainC, split.heldC);
    }
    return split;
}

JudgeSets MakeJudgeSets(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                        const Split& split, bool bothStrands) {
    JudgeSets sets;
    sets.bothStrands = bothStrands;
    sets.trainInput = Pick(input, split.train);
    sets.heldInput = Pick(input, split.held);
    sets.trainControl = Pick(controls, split.trainC);
    sets.heldControl = Pick(controls, split.heldC);
    return sets;
}

// The widths a motif round searches: the first round of a run with known
// sites (-pk) searches once, at their width (0); every other round searches
// -k (a width or a range) from random starts and enriched words, the motifs
// found before masked. A range whose input holds half back searches
// RangeSearchWidths and settles each motif's width; a small input, judged
// on every sequence, searches the whole WidthSchedule.
std::vector<int> PlanWidths(const RunSettings& s, int round, bool whole) {
    const bool known = s.pkFlag && s.perPK != 0;
    if (known && round == 0) return {0};
    if (s.kLow <= 0) return {s.k};
    return whole ? WidthSchedule(s.kLow, s.kHigh) : RangeSearchWidths(s.kLow, s.kHigh);
}

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

// A range searched at fewer widths (PlanWidths): each motif's width is settled,
// and later rounds judge again what passed before.
bool SettlesWidths(const JudgedRun& run) { return run.s.kLow > 0 && !run.whole; }

void AnnounceSplit(const JudgedRun& run) {
    const RunSettings& s = run.s;
    cout << "Control sequences: " << run.controls.size()
         << (s.negFile.empty() ? " (the input shuffled, letter triplets kept)" : " (from " + s.negFile + ")") << endl;
    if (s.nmotifs == 0) {
        cout << "No motif is sought (-nmotifs 0): the database's motifs are tested on all " << run.distinct.size()
             << " input sequences." << endl;
        return;
    }
    if (run.whole)
        cout << "Searched and judged on all " << run.split.train.size() << " input sequences (fewer than "
             << kWholeJudgeBelow << ": none held back); E-values from each model's alignment of its best sites."
             << endl;
    else
        cout << "Searched on " << run.split.train.size() << " input sequences; judged on " << run.split.held.size()
             << " input and " << run.split.heldC.size() << " control sequences held back." << endl;
    if (run.sample.size() < run.split.train.size())
        cout << "The searches run on a sample of " << run.sample.size() << " of the " << run.split.train.size()
             << " searched sequences (-searchsize " << s.searchSize << " letters)." << endl;
}

// -db: every database motif tested in every input sequence against every
// control, as masked before any motif round masks its sites.
void TestDatabase(JudgedRun& run, const MotifMatcher& matcher) {
    run.known = TestKnownMotifs(matcher.motifs(), run.distinct, run.controls, run.sets.bothStrands, run.bg, run.threads);
    run.knownTested = true;
}

// One search from seed sites (a word's occurrences, a window's neighbours),
// with numbers of its own; a search that draws no model above -lc adds no
// candidate rather than ending the run.
void SearchFromSites(JudgedRun& run, int w, const std::vector<SeqRecord>& part, int generations,
                     const std::vector<std::string>& sites, const std::string& seed, const char* kind) {
    SeedRandom(StageRandom(run.seed, kStageWordSearch, static_cast<uint32_t>(run.searches)).State());
    RunSettings seeded = run.s;
    seeded.k = w;
    seeded.stallLimit = kWordSearchStall;
    seeded.generations = generations;
    seeded.filter = run.filterAsked;
    try {
        Search(seeded, run.data, run.engine, run.population, part, &sites);
        AddCandidates(*run.population, run.data->GetK(), run.searches, run.bg, run.candidates);
    } catch (const PlainModels&) {
        cout << "The search from " << seed << " drew no model of higher complexity than the limit "
             << run.data->GetLowerComp() << " (-lc); it adds no candidate." << endl;
        run.population->clear();
    }
    run.seedOf.push_back(seed);
    run.seedKind.push_back(kind);
    ++run.searches;
}

// Small inputs: the searches from windows of the input whose near matches
// more input than control sequences hold (WindowSeeds.h), before those from
// words.
void SearchFromWindows(JudgedRun& run, int round, int w, const std::vector<SeqRecord>& part, int generations) {
    const std::vector<WindowSeed> seeds =
        EnrichedWindows(part, run.sets.trainControl, w, run.sets.bothStrands, run.s.words, run.threads);
    for (const WindowSeed& seed : seeds) {
        if (seed.sites.size() < 2) continue;
        cout << "\nSearch " << run.searches + 1 << ": motif " << round + 1 << ", width " << w << ", from the consensus "
             << seed.consensus << " (within " << seed.mismatches << (seed.mismatches == 1 ? " mismatch" : " mismatches")
             << " in " << seed.a << " of " << seed.n1 << " input and " << seed.b << " of " << seed.n2
             << " control sequences), " << seed.sites.size() << " sites." << endl;
        SearchFromSites(run, w, part, generations, seed.sites, seed.consensus, "consensus");
    }
}

// The searches from the width's most enriched words, each with numbers of
// its own, on the sampled sequences that have a window of w letters.
void SearchFromWords(JudgedRun& run, int round, int w, const std::vector<SeqRecord>& part, int generations) {
    const RunSettings& s = run.s;
    if (run.whole && w <= kMaxSeedWidth) SearchFromWindows(run, round, w, part, generations);
    const int length = std::min(w, kMaxWordLength);
    const std::vector<EnrichedWord> words =
        EnrichedWords(run.sets.trainInput, run.sets.trainControl, length, run.sets.bothStrands, s.words);
    for (const EnrichedWord& word : words) {
        const std::vector<std::string> seeds = WordSites(part, word.word, w, run.sets.bothStrands);
        if (seeds.size() < 2) continue;
        cout << "\nSearch " << run.searches + 1 << ": motif " << round + 1 << ", width " << w << ", from the word "
             << word.word << " (in " << word.a << " of " << word.n1 << " input and " << word.b << " of " << word.n2
             << " control sequences), " << seeds.size() << " sites." << endl;
        SearchFromSites(run, w, part, generations, seeds, word.word, "word");
    }
}

// The searches of one width in one motif round: one from random starts (or
// the known sites), then those from enriched words.
void SearchWidth(JudgedRun& run, int round, int w) {
    RunSettings& s = run.s;
    std::vector<SeqRecord> part;
    long long letters = 0;
    for (size_t i : run.sample) {
        const SeqRecord& r = run.sets.trainInput[i];
        if (w == 0 || HasOpenWindow(r, w)) {
            part.push_back(r);
            letters += r.len;
        }
    }
    const int generations = SearchGenerations(s, letters);
    if (part.empty()) {
        bool longEnough = false;
        for (size_t i : run.sample) longEnough = longEnough || run.sets.trainInput[i].len >= w;
        if (longEnough)
            cout << "No searched sequence has a window of " << w
                 << " letters free of masked letters; the width is skipped." << endl;
        else
            cout << "No searched sequence has " << w << " letters or more; the width is skipped." << endl;
        return;
    }
    cout << "\nSearch " << run.searches + 1 << ": motif " << round + 1;
    if (w > 0) cout << ", width " << w;
    cout << ", " << part.size() << " sequences";
    if (generations < s.generations) cout << ", at most " << generations << " generations";
    cout << "." << endl;
    // The search from random starts draws from the run's numbers as a run without -evalue does.
    RunSettings one = s;
    if (w > 0) one.k = w;
    one.generations = generations;
    // After the motif of the known sites, the searches look for motifs of their own.
    if (run.given && w > 0) one.pkFlag = false;
    Search(one, run.data, run.engine, run.population, part, nullptr);
    if (!(run.given && w > 0)) s.filter = one.filter;
    AddCandidates(*run.population, run.data->GetK(), run.searches, run.bg, run.candidates);
    run.seedOf.push_back(std::string());
    run.seedKind.push_back("");
    ++run.searches;
    if (w == 0 || s.words == 0) return;
    SearchFromWords(run, round, w, part, generations);
}

// The round's best candidate that passes and is not a motif found before
// (candidates.size() when none); candidates from `first` on are the round's.
// The round's candidates (from `first` on), best verdict first.
std::vector<size_t> RankedCandidates(const JudgedRun& run, size_t first) {
    const std::vector<Verdict>& verdicts = run.verdicts;
    std::vector<size_t> order(run.candidates.size() - first);
    std::iota(order.begin(), order.end(), first);
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        if (verdicts[x].held.log10p != verdicts[y].held.log10p) return verdicts[x].held.log10p < verdicts[y].held.log10p;
        return verdicts[x].train.log10p < verdicts[y].train.log10p;
    });
    return order;
}

size_t PickMotif(const JudgedRun& run, size_t first, bool quiet = false) {
    const std::vector<Verdict>& verdicts = run.verdicts;
    const std::vector<size_t> order = RankedCandidates(run, first);
    const double limit = std::log10(run.s.evalue);
    for (size_t i : order) {
        if (Log10E(verdicts[i], run.candidates.size()) > limit) break;
        bool same = false;
        for (size_t f : run.found) same = same || SameMotif(run.candidates[f].columns, run.candidates[i].columns);
        if (!same) return i;
    }
    if (quiet) return run.candidates.size();
    cout << "No further motif has an E-value at most " << run.s.evalue << ".";
    if (!order.empty()) {
        const Verdict& v = verdicts[order[0]];
        cout << " The best candidate of this search, " << ConsensusOf(run.candidates[order[0]]) << ", has "
             << FormatEvalue(Log10E(v, run.candidates.size()));
        if (v.whole)
            cout << " (" << v.a << " sites aligned in " << v.n1 << " sequences; " << v.b << " of " << v.n2
                 << " control sequences as good).";
        else
            cout << " (sites in " << v.a << " of " << v.n1 << " held-back input and " << v.b << " of " << v.n2
                 << " control sequences).";
    }
    cout << endl;
    return run.candidates.size();
}

// One motif round: every width's searches, their candidates judged, and the
// motif picked (false when none passes).
// Judges candidates [first, end) of the run, adding their verdicts.
void JudgeFrom(JudgedRun& run, size_t first) {
    const std::vector<Verdict> more =
        run.whole ? JudgeOnEverySequence(run.candidates, first, run.candidates.size(), run.sets.heldInput,
                                         run.sets.heldControl, run.sets.bothStrands, static_cast<int>(run.widths.size()),
                                         *run.null, run.threads)
                  : JudgeCandidates(run.candidates, first, run.candidates.size(), run.sets, run.threads);
    run.verdicts.insert(run.verdicts.end(), more.begin(), more.end());
}

// A range run's pick with the edge columns dropped that do not help on the
// searched part, when that one passes too.
size_t Settled(JudgedRun& run, size_t pick) {
    const RunSettings& s = run.s;
    if (!SettlesWidths(run) || run.candidates[pick].width <= s.kLow) return pick;
    Candidate settled;
    if (SettleWidth(run.candidates[pick], s.kLow, run.sets.trainInput, run.sets.trainControl, run.sets.bothStrands,
                    run.bg, run.threads, settled) == 0)
        return pick;
    run.candidates.push_back(settled);
    JudgeFrom(run, run.candidates.size() - 1);
    if (Log10E(run.verdicts.back(), run.candidates.size()) > std::log10(s.evalue)) return pick;
    return run.candidates.size() - 1;
}

// A range run's later round first judges again, on the sequences now masked,
// the candidates that passed in earlier rounds and are not a motif found.
size_t Reused(JudgedRun& run) {
    const size_t first = run.candidates.size();
    const double limit = std::log10(run.s.evalue);
    for (size_t i = 0; i < first; ++i) {
        if (Log10E(run.verdicts[i], first) > limit) continue;
        bool same = false;
        for (size_t f : run.found) same = same || SameMotif(run.candidates[f].columns, run.candidates[i].columns);
        if (!same) run.candidates.push_back(run.candidates[i]);
    }
    if (run.candidates.size() == first) return first;
    JudgeFrom(run, first);
    const size_t pick = PickMotif(run, first, true);
    cout << "Judged again " << run.candidates.size() - first << " candidates that passed before: "
         << (pick < run.candidates.size() ? "one passes." : "none passes.") << endl;
    return pick;
}

// The first motif of a run with known sites: the known sites' matrix fit to
// the input (GivenMotif), judged for information and reported first whatever
// its E-value. The known sites already say that there is a motif; what is
// asked is which, exactly, and where its sites are. The round's search from
// the known sites has run (it reads and checks them); its models are judged
// beside this one, for the E-value's count, but none is reported in its place:
// on promoters a search's best model drifted from the known sites
// (docs/accuracy-evalue.md).
void TakeGivenMotif(JudgedRun& run) {
    const int k = run.data->GetK();
    std::vector<std::string>& known = run.knownSites;
    const PK* pk = run.data->getPK();
    for (int i = 0; i < run.data->getNumUsedPK(); ++i) known.push_back(pk[i].Seq);
    Candidate c;
    c.width = k;
    c.search = -1;
    double prior[B][MAX_K];
    const int sites = KnownSiteCounts(known, k, run.sets.bothStrands, prior);
    if (sites < static_cast<int>(known.size())) {
        cout << "Fatal Error: The PK sequence contains invalid letters. Please check the input.\n"
                " System Aborted\n\n";
        FatalExit(1);
    }
    std::copy(&prior[0][0], &prior[0][0] + B * MAX_K, &c.count[0][0]);
    c.nsites = sites;
    c.scores = LogOddsFromCounts(c.count, k, run.bg);
    c.columns = ColumnsFromCounts(c.count, k, 0.0);
    double t = 0.0;
    // Refit only where the input's calls can outweigh the known sites: inputs
    // large enough to hold half back (on Tompa's promoters the refit lost
    // 0.013 nCC, and on ChIP-seq peaks it sharpens a database matrix).
    run.givenFit = FitGivenMotif(c, t, prior, sites, run.input, run.sets.bothStrands, run.bg,
                                 run.threads, run.whole ? 0 : kMaxRefits);
    if (run.givenFit.calls == 0) {
        cout << "Error: every window of " << k << " letters in " << run.s.inputFile
             << " holds a masked letter (-mask, -dust), or no sequence is that long; no site of the known sites' "
                "motif can be called. System aborted. "
             << endl;
        FatalExit(1);
    }
    const size_t at = run.candidates.size();
    run.candidates.push_back(c);
    JudgeFrom(run, at);
    run.verdicts[at].train.threshold = t;  // further rounds mask the sites reported
    run.found.push_back(at);
    cout << "Motif 1 given by the known sites: " << ConsensusOf(c) << ", E-value "
         << FormatEvalue(Log10E(run.verdicts[at], run.candidates.size()))
         << " (reported whatever its E-value; for information)." << endl;
}

bool FindMotif(JudgedRun& run, int round) {
    RunSettings& s = run.s;
    if (round > 0 && SettlesWidths(run)) {
        const size_t again = Reused(run);
        if (again < run.candidates.size()) {
            const size_t pick = Settled(run, again);
            run.found.push_back(pick);
            cout << "Motif " << run.found.size() << " found: " << ConsensusOf(run.candidates[pick]) << ", E-value "
                 << FormatEvalue(Log10E(run.verdicts[pick], run.candidates.size())) << ", judged again." << endl;
            return true;
        }
    }
    const size_t first = run.candidates.size();
    run.widths = PlanWidths(s, round, run.whole);
    for (int w : run.widths) SearchWidth(run, round, w);
    if (run.searches == 0) {
        const int narrowest = *std::min_element(run.widths.begin(), run.widths.end());
        bool longEnough = false;
        for (const SeqRecord& r : run.input) longEnough = longEnough || r.len >= narrowest;
        if (!longEnough)
            cout << "Error: no sequence in " << s.inputFile << " has at least " << narrowest
                 << " letters (the motif width). System aborted. " << endl;
        else
            cout << "Error: every window of " << narrowest << " letters in " << s.inputFile
                 << " holds a masked letter (-mask, -dust); no sequence is left to search. System aborted. " << endl;
        FatalExit(1);
    }
    JudgeFrom(run, first);
    if (round == 0 && run.given) {
        TakeGivenMotif(run);
        return true;
    }
    size_t pick = PickMotif(run, first);
    if (pick == run.candidates.size()) {
        if (run.found.empty() && !run.whole)
            ExplainOutOfReach(static_cast<int>(run.input.size()), run.split.held.size(), run.split.heldC.size(),
                              run.candidates.size(), s.evalue);
        return false;
    }
    pick = Settled(run, pick);
    run.found.push_back(pick);
    const size_t from = static_cast<size_t>(run.candidates[pick].search);
    cout << "Motif " << run.found.size() << " found: " << ConsensusOf(run.candidates[pick]) << ", E-value "
         << FormatEvalue(Log10E(run.verdicts[pick], run.candidates.size())) << ", by search " << from + 1
         << (run.seedOf[from].empty() ? "" : std::string(" from the ") + run.seedKind[from] + " " + run.seedOf[from])
         << "." << endl;
    return true;
}

// What the console says of the known sites' motif: how it was fit, the rule
// its sites were called by, and how far the calls can be trusted (estimated
// false calls and recall).
CallEstimate DescribeGivenCalls(const JudgedRun& run, size_t f, const Candidate& called, double threshold) {
    const GivenFit& fit = run.givenFit;
    if (run.whole)
        cout << "Motif 1 is the known sites' own matrix, not refit on the input (fewer than " << kWholeJudgeBelow
             << " sequences: the windows it calls there are too few to outweigh chance ones)." << endl;
    else
        cout << "Motif 1 refit " << fit.rounds << (fit.rounds == 1 ? " time" : " times")
             << " with the known sites as a prior"
             << (fit.settled ? "; its matrix calls the sites it was built from." : "; still moving") << endl;
    CallEstimate estimate =
        EstimateCalls(called, threshold, run.knownSites, run.input, run.controls, run.sets.bothStrands, run.threads);
    estimate.recall = LeaveOneOutRecall(called, run.knownSites, run.sets.bothStrands, run.bg,
                                        fit.rounds > 0 ? kGivenPriorWeight : 1.0);
    const double log10e = Log10E(run.verdicts[f], run.candidates.size());
    cout << "Motif 1's sites are called at " << threshold << " bits (a background p-value of " << kGivenWindowP
         << " per window)";
    if (log10e > std::log10(run.s.evalue))
        cout << "; the known sites' motif is not enriched in the input (E-value " << FormatEvalue(log10e) << ")";
    cout << ": estimated false calls " << estimate.falseShare * 100 << "%, estimated recall " << estimate.recall * 100
         << "% (each of the " << estimate.known << " known sites scored by the matrix without its own share)." << endl;
    return estimate;
}

// The motifs found that still pass once every candidate is counted, best
// first, each refit on the sites it calls in every input sequence and those
// sites called; the data layer holds the whole input again for the report.
JudgedReport CallReportedModels(JudgedRun& run) {
    const RunSettings& s = run.s;
    // E-values count every candidate judged, over every search.
    JudgedReport report;
    report.limit = s.evalue;
    report.controls = static_cast<int>(run.controls.size());
    report.generated = s.negFile.empty();
    report.judged = static_cast<int>(run.candidates.size());
    report.whole = run.whole;
    report.heldInput = run.whole ? 0 : static_cast<int>(run.split.held.size());
    report.heldControl = run.whole ? 0 : static_cast<int>(run.split.heldC.size());
    std::vector<size_t> passed;
    for (size_t i = 0; i < run.found.size(); ++i) {
        const size_t f = run.found[i];
        if (Log10E(run.verdicts[f], run.candidates.size()) <= std::log10(s.evalue) || (run.given && i == 0))
            passed.push_back(f);
    }
    // The motif of the known sites first, whatever its E-value; the others by their verdicts.
    const size_t keepFirst = run.given && !passed.empty() ? 1 : 0;
    std::stable_sort(passed.begin() + static_cast<long>(keepFirst), passed.end(), [&](size_t x, size_t y) {
        return run.verdicts[x].held.log10p < run.verdicts[y].held.log10p;
    });

    HoldStrands(run.data, run.input);
    run.population->clear();
    for (size_t f : passed) {
        const Verdict& v = run.verdicts[f];
        Candidate called = run.candidates[f];
        double threshold = v.train.threshold;
        bool settled = false;
        const bool given = run.given && report.models.empty();
        int rounds = run.givenFit.rounds;
        if (given)
            settled = run.givenFit.settled;
        else
            rounds = RefitUntilSettled(called, threshold, run.input, run.controls, run.sets.bothStrands, run.bg,
                                       run.threads, kMaxRefits, settled);
        CallEstimate estimate;
        if (given) {
            estimate = DescribeGivenCalls(run, f, called, threshold);
        } else {
            cout << "Motif " << report.models.size() + 1 << " refit " << rounds << (rounds == 1 ? " time" : " times")
                 << (settled ? "; its matrix calls the sites it was built from." : "; still moving") << endl;
        }
        run.population->push_back(ReportedModel(run.data, called, threshold, run.threads));
        ModelJudgement m;
        m.width = run.candidates[f].width;
        m.threshold = threshold;
        m.log10p = v.held.log10p;
        m.log10e = Log10E(v, run.candidates.size());
        m.a = v.a;
        m.n1 = v.n1;
        m.b = v.b;
        m.n2 = v.n2;
        m.search = run.candidates[f].search + 1;
        if (run.candidates[f].search >= 0) {
            m.seedWord = run.seedOf[static_cast<size_t>(run.candidates[f].search)];
            m.seedKind = run.seedKind[static_cast<size_t>(run.candidates[f].search)];
        }
        std::copy(&called.count[0][0], &called.count[0][0] + B * MAX_K, &m.count[0][0]);
        m.nsites = called.nsites;
        m.scores = called.scores;
        double total = 0.0;
        for (int b = 0; b < B; ++b) total += run.bg[b];
        for (int b = 0; b < B; ++b) m.background[b] = run.bg[b] / total;
        m.refits = rounds;
        m.settled = settled;
        m.given = given;
        m.estimate = estimate;
        report.models.push_back(m);
    }
    return report;
}

}  // namespace

void DiscoverWithEvalues(RunSettings& s, uint32_t seed, time_t start, Midlayer* data,
                         std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
                         const MotifMatcher* matcher) {
    JudgedRun run(s, seed, data, engine, population);
    run.bg = data->GetFreqInfo();
    run.threads = s.threads > 0 ? s.threads : DefaultThreads();
    run.filterAsked = s.filter;
    // Every input sequence, as loaded and masked; the reverse strands are made anew when needed.
    run.input.assign(data->Seqs.begin(), data->Seqs.begin() + data->NumSeq);
    for (size_t i : DistinctRecords(run.input)) run.distinct.push_back(run.input[i]);
    if (run.distinct.size() < run.input.size())
        cout << run.input.size() - run.distinct.size()
             << (run.input.size() - run.distinct.size() == 1 ? " input sequence repeats" : " input sequences repeat")
             << " an earlier one letter for letter (or its reverse complement): each is searched and judged once, since a repeat would align with "
                "itself as a motif."
             << endl;
    run.widths = PlanWidths(s, 0, true);  // the narrowest width any round may report
    run.given = s.pkFlag && s.perPK != 0;
    int rounds = s.nmotifs;
    if (run.distinct.size() < 2) {
        // Nothing to align, whatever the search finds: said before any controls are made
        // or any search is run, so that even one very long sequence gets its answer at once.
        cout << "With " << run.distinct.size() << " input sequence, no motif can be judged: the judgement needs "
             << "sites in at least two sequences. Give more sequences, or run without -evalue to see the "
             << "search's models unjudged." << endl;
        rounds = 0;
    } else {
        const int narrowest = *std::min_element(run.widths.begin(), run.widths.end());
        run.controls = LoadControls(s.negFile, run.distinct, seed, data->GetMasking(), narrowest > 0 ? narrowest : MIN_K);
        run.whole = static_cast<int>(run.distinct.size()) < kWholeJudgeBelow;
        if (run.whole) run.null.reset(new LlrNull(run.bg));
        run.split = SplitForJudging(static_cast<int>(run.distinct.size()), static_cast<int>(run.controls.size()),
                                    s.negFile.empty(), run.whole, seed);
        run.sets = MakeJudgeSets(run.distinct, run.controls, run.split, data->GetDoubleStrand());
        // The searches run on a sample of the searched part when it is larger than -searchsize letters.
        run.sample = SearchSample(run.sets.trainInput, s.searchSize, seed);
        AnnounceSplit(run);
        if (matcher != nullptr) TestDatabase(run, *matcher);
    }

    for (int round = 0; round < rounds; ++round) {
        if (!FindMotif(run, round)) break;
        // The next motif round looks past this motif's sites.
        const size_t pick = run.found.back();
        if (round + 1 < rounds) MaskEverywhere(run.candidates[pick], run.verdicts[pick].train.threshold, run.sets);
    }

    JudgedReport report = CallReportedModels(run);
    report.deNovo = s.nmotifs > 0;
    report.knownTested = run.knownTested;
    report.known = std::move(run.known);
    if (report.deNovo)
        cout << "Judged " << run.candidates.size() << " candidate models of " << run.searches << " searches; "
             << std::count_if(report.models.begin(), report.models.end(),
                              [&](const ModelJudgement& m) { return m.log10e <= std::log10(s.evalue); })
             << " with an E-value at most " << s.evalue << "." << endl;
    PrintTimeTaken(start);
    ReportRun(s, seed, data, population, &report, matcher);
}
