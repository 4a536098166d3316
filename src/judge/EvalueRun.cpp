#include "judge/EvalueRun.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numeric>
#include <utility>

#include "core/Console.h"
#include "core/Robust.h"
#include "core/Settings.h"
#include "core/StageRandom.h"
#include "input/Masking.h"
#include "judge/Controls.h"
#include "judge/GenomicControls.h"
#include "judge/GivenRound.h"
#include "judge/JudgedRun.h"
#include "judge/ReportedCalls.h"
#include "judge/SearchPlan.h"
#include "judge/WidthSettle.h"
#include "known/DbMatch.h"
#include "search/SearchRun.h"
#include "search/WindowSeeds.h"
#include "search/Words.h"

using std::cout;
using std::endl;

namespace {

// The progress line of the searches, on a terminal while the log is held back.
void ShowSearch(const JudgedRun& run, int w) {
    Progress("Search " + std::to_string(run.searches + 1) + (w > 0 ? ", width " + std::to_string(w) : std::string()) +
             ", motif " + std::to_string(run.found.size() + 1));
}

// One line for a motif's searches while the log is held back: how many ran at
// each width, and the time so far (the log itself says each search).
void SaySearches(int round, const std::vector<std::pair<int, int>>& perWidth) {
    if (!LogQuiet()) return;
    int all = 0;
    std::string widths;
    for (const auto& [w, n] : perWidth) {
        if (n == 0) continue;
        all += n;
        if (w > 0) widths += (widths.empty() ? "" : ", ") + std::to_string(w) + ": " + std::to_string(n);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", RunSeconds());
    // Width 0 is the known sites' own width.
    Say() << "Motif " << round + 1 << ": " << all << (all == 1 ? " search" : " searches")
          << (widths.empty() ? " at the known sites' width" : " (width " + widths + ")") << ", " << seconds << " s."
          << endl;
}

// Masks a found motif's sites in every set, so that the next search and the
// next judging look past it.
void MaskEverywhere(const Candidate& c, double t, JudgeSets& sets) {
    for (std::vector<SeqRecord>* set : {&sets.trainInput, &sets.heldInput, &sets.trainControl, &sets.heldControl})
        for (SeqRecord& r : *set) MaskSites(c.scores, t, sets.bothStrands, r);
}

// One search on the given strands, with a fresh engine and population.
void Search(RunSettings& one, Midlayer* data, std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
            const std::vector<SeqRecord>& strands, const std::vector<std::string>* seeds) {
    HoldStrands(data, strands);
    engine.reset(new GAFrame());
    // Every search of a judged run is one of many: one that can draw no model
    // above -lc is left out instead of ending the run.
    engine->PlainModelsThrow = true;
    population->clear();
    data->PKFit = PKFitness();  // every search scores its known sites afresh
    SearchAndRefine(one, data, engine.get(), population, seeds);
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
    ShowSearch(run, w);
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

// A small input's range searched at its middle width alone also searches
// its lowest when masking leaves more searched sequences a window of the
// lowest width than of the middle: their sites could not be seen otherwise.
void AddLowestWhereMasked(JudgedRun& run) {
    if (!run.whole || run.s.kLow <= 0 || run.widths.size() != 1 || run.widths[0] <= run.s.kLow) return;
    int low = 0, middle = 0;
    for (size_t i : run.sample) {
        low += HasOpenWindow(run.sets.trainInput[i], run.s.kLow) ? 1 : 0;
        middle += HasOpenWindow(run.sets.trainInput[i], run.widths[0]) ? 1 : 0;
    }
    if (middle < low) run.widths.insert(run.widths.begin(), run.s.kLow);
}

// Whether a round's searches include one from random starts at each width:
// on a large input's range only the first round's do; later rounds search
// from the words enriched once the motifs found are masked (on 5,000 NRSF
// peaks a search from random starts took as long as eight from words).
bool SearchesFromRandomStarts(const JudgedRun& run, int round) {
    return round == 0 || run.whole || !SettlesWidths(run);
}

// The searches of one width in one motif round: one from random starts (or
// the known sites) unless `fromRandom` is false, then those from enriched
// words.
void SearchWidth(JudgedRun& run, int round, int w, bool fromRandom) {
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
    if (!fromRandom) {
        if (s.words != 0) SearchFromWords(run, round, w, part, generations);
        return;
    }
    // A large input's range: its searches from random starts share the work
    // of one. They find their motifs early and then keep polishing them
    // (SearchGenerations), and on 5,000 NRSF peaks they took two thirds of a
    // range run's time.
    const bool shared = !run.whole && SettlesWidths(run);
    const int randomGenerations =
        shared ? SearchGenerations(s, letters * static_cast<long long>(run.widths.size())) : generations;
    cout << "\nSearch " << run.searches + 1 << ": motif " << round + 1;
    if (w > 0) cout << ", width " << w;
    cout << ", " << part.size() << " sequences";
    if (randomGenerations < s.generations) cout << ", at most " << randomGenerations << " generations";
    cout << "." << endl;
    ShowSearch(run, w);
    // The search from random starts draws from the run's numbers as a run without -evalue does.
    RunSettings one = s;
    if (w > 0) one.k = w;
    one.generations = randomGenerations;
    // After the motif of the known sites, the searches look for motifs of their own.
    if (run.given && w > 0) one.pkFlag = false;
    try {
        Search(one, run.data, run.engine, run.population, part, nullptr);
        AddCandidates(*run.population, run.data->GetK(), run.searches, run.bg, run.candidates);
    } catch (const PlainModels&) {
        // Too few windows at this width, or windows too plain: the other
        // searches may still find the motif.
        cout << "Search " << run.searches + 1 << " is left out: at width " << run.data->GetK() << ", on "
             << part.size() << (part.size() == 1 ? " sequence" : " sequences")
             << ", it drew no model of higher complexity than the limit " << run.data->GetLowerComp()
             << " (-lc); the run goes on without it." << endl;
        run.population->clear();
    }
    if (!(run.given && w > 0)) s.filter = one.filter;
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

// Whether candidate i is the same motif as one of `among` (found or leading).
bool SameAsOneOf(const JudgedRun& run, size_t i, const std::vector<size_t>& among) {
    for (size_t f : among)
        if (SameMotif(run.candidates[f].columns, run.candidates[i].columns)) return true;
    return false;
}

size_t PickMotif(const JudgedRun& run, size_t first, bool quiet = false) {
    const std::vector<Verdict>& verdicts = run.verdicts;
    const std::vector<size_t> order = RankedCandidates(run, first);
    const double limit = std::log10(run.s.evalue);
    for (size_t i : order) {
        if (Log10E(verdicts[i], run.candidates.size()) > limit) break;
        if (!SameAsOneOf(run, i, run.found)) return i;
    }
    if (quiet) return run.candidates.size();
    std::ostream& say = Say();
    say << "No further motif has an E-value at most " << run.s.evalue << ".";
    if (!order.empty()) {
        const Verdict& v = verdicts[order[0]];
        say << " The best candidate of this search, " << ConsensusOf(run.candidates[order[0]]) << ", has "
            << FormatEvalue(Log10E(v, run.candidates.size()));
        if (v.whole)
            say << " (" << v.a << " sites aligned in " << v.n1 << " sequences; " << v.b << " of " << v.n2
                << " control sequences as good).";
        else
            say << " (sites in " << v.a << " of " << v.n1 << " held-back input and " << v.b << " of " << v.n2
                << " control sequences).";
    }
    say << endl;
    return run.candidates.size();
}

// A small input's candidate i at its own width (SettleWholeWidth), added as
// a candidate of its own (not yet judged); false when its width stays.
// log10Searched: what its E-value must carry (SettleWholeWidth).
bool AddSettledWhole(JudgedRun& run, size_t i, double& log10Searched) {
    Candidate settled;
    if (!SettleWholeWidth(run.candidates[i], run.verdicts[i], run.s.kLow, run.s.kHigh, run.sets.heldInput,
                          run.sets.heldControl, run.sets.bothStrands, run.bg, WidthTests(run),
                          std::log10(run.s.evalue), *run.null, run.threads, settled, log10Searched))
        return false;
    run.candidates.push_back(settled);
    return true;
}

// A verdict on every sequence whose E-value answers for more tries.
void Carry(Verdict& v, double log10Tries) {
    v.held.log10p += log10Tries;
    v.held.p = std::pow(10.0, v.held.log10p);
    v.train.log10p = v.held.log10p;
    v.train.p = v.held.p;
}

// A range run's pick at its settled width, when that one passes too: on a
// small input at the width of its likeliest alignment, else with the edge
// columns dropped that do not help on the searched part.
size_t Settled(JudgedRun& run, size_t pick) {
    const RunSettings& s = run.s;
    if (!SettlesWidths(run)) return pick;
    if (run.whole) {
        double searched = 0.0;
        if (!AddSettledWhole(run, pick, searched)) return pick;
        JudgeFrom(run, run.candidates.size() - 1);
        Carry(run.verdicts.back(), searched);
        return run.candidates.size() - 1;
    }
    Candidate settled;
    if (run.candidates[pick].width <= s.kLow) return pick;
    if (SettleWidth(run.candidates[pick], s.kLow, run.sets.trainInput, run.sets.trainControl, run.sets.bothStrands,
                    run.bg, run.threads, settled) == 0)
        return pick;
    run.candidates.push_back(settled);
    JudgeFrom(run, run.candidates.size() - 1);
    if (Log10E(run.verdicts.back(), run.candidates.size()) > std::log10(s.evalue)) return pick;
    return run.candidates.size() - 1;
}

// A small input's range round: its leading candidates, distinct motifs
// none found before, each at the width of its likeliest alignment, added as
// candidates of their own before the pick. A motif whose width is far from
// the one searched may pass only once its sites are read at its own width.
// Returns each settled candidate's origin and index.
std::vector<std::pair<size_t, size_t>> SettleLeading(JudgedRun& run, size_t first) {
    std::vector<std::pair<size_t, size_t>> settled;
    if (!run.whole || !SettlesWidths(run)) return settled;
    std::vector<size_t> leading;
    for (size_t i : RankedCandidates(run, first)) {
        if (leading.size() == static_cast<size_t>(kSettledPerRound)) break;
        if (!SameAsOneOf(run, i, run.found) && !SameAsOneOf(run, i, leading)) leading.push_back(i);
    }
    const size_t end = run.candidates.size();
    std::vector<double> carried;
    for (size_t i : leading) {
        double searched = 0.0;
        if (!AddSettledWhole(run, i, searched)) continue;
        settled.push_back({i, run.candidates.size() - 1});
        carried.push_back(searched);
    }
    JudgeFrom(run, end);
    for (size_t k = 0; k < settled.size(); ++k) Carry(run.verdicts[settled[k].second], carried[k]);
    return settled;
}

// A range run's later round first judges again, on the sequences now masked,
// the candidates that passed in earlier rounds and are not a motif found.
size_t Reused(JudgedRun& run) {
    const size_t first = run.candidates.size();
    const double limit = std::log10(run.s.evalue);
    for (size_t i = 0; i < first; ++i) {
        if (Log10E(run.verdicts[i], first) > limit) continue;
        if (!SameAsOneOf(run, i, run.found)) run.candidates.push_back(run.candidates[i]);
    }
    if (run.candidates.size() == first) return first;
    JudgeFrom(run, first);
    const size_t pick = PickMotif(run, first, true);
    cout << "Judged again " << run.candidates.size() - first << " candidates that passed before: "
         << (pick < run.candidates.size() ? "one passes." : "none passes.") << endl;
    return pick;
}

bool FindMotif(JudgedRun& run, int round) {
    RunSettings& s = run.s;
    if (round > 0 && SettlesWidths(run)) {
        const size_t again = Reused(run);
        if (again < run.candidates.size()) {
            const size_t pick = Settled(run, again);
            run.found.push_back(pick);
            Say() << "Motif " << run.found.size() << " found: " << ConsensusOf(run.candidates[pick]) << ", E-value "
                  << FormatEvalue(Log10E(run.verdicts[pick], run.candidates.size())) << ", judged again." << endl;
            return true;
        }
    }
    const size_t first = run.candidates.size();
    run.widths = PlanWidths(s, round, run.whole);
    AddLowestWhereMasked(run);
    const bool fromRandom = SearchesFromRandomStarts(run, round);
    std::vector<std::pair<int, int>> perWidth;  // searches run at each width
    for (int w : run.widths) {
        const int before = run.searches;
        SearchWidth(run, round, w, fromRandom);
        perWidth.emplace_back(w, run.searches - before);
    }
    SaySearches(round, perWidth);
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
    const std::vector<std::pair<size_t, size_t>> settled = SettleLeading(run, first);
    size_t pick = PickMotif(run, first);
    if (pick == run.candidates.size()) {
        if (run.found.empty() && !run.whole)
            ExplainOutOfReach(static_cast<int>(run.input.size()), run.split.held.size(), run.split.heldC.size(),
                              run.candidates.size(), s.evalue);
        return false;
    }
    // A small input's pick was settled with the round's leading candidates,
    // and passes at its settled width too.
    for (const std::pair<size_t, size_t>& one : settled)
        if (one.first == pick) pick = one.second;
    if (!run.whole) pick = Settled(run, pick);
    run.found.push_back(pick);
    const size_t from = static_cast<size_t>(run.candidates[pick].search);
    Say() << "Motif " << run.found.size() << " found: " << ConsensusOf(run.candidates[pick]) << ", E-value "
          << FormatEvalue(Log10E(run.verdicts[pick], run.candidates.size())) << ", by search " << from + 1
          << (run.seedOf[from].empty() ? "" : std::string(" from the ") + run.seedKind[from] + " " + run.seedOf[from])
          << "." << endl;
    return true;
}

}  // namespace

JudgedReport DiscoverWithEvalues(RunSettings& s, uint32_t seed, Midlayer* data, std::unique_ptr<GAFrame>& engine,
                                 std::vector<Individual>* population, const MotifMatcher* matcher) {
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
        Say() << "With " << run.distinct.size() << " input sequence, no motif can be judged: the judgement needs "
              << "sites in at least two sequences. Give more sequences, or run without -evalue to see the "
              << "search's models unjudged." << endl;
        rounds = 0;
    } else {
        // A range's motifs may be settled down to its lowest width.
        const int narrowest = s.kLow > 0 ? s.kLow : *std::min_element(run.widths.begin(), run.widths.end());
        if (s.negFile.empty() && data->PeakGenome)
            run.controls = GenomicControls(run.distinct, *data->PeakGenome, data->Peaks, seed, data->GetMasking(),
                                           narrowest > 0 ? narrowest : MIN_K, run.gc);
        else
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
        Say() << "Judged " << run.candidates.size() << " candidate models of " << run.searches << " searches; "
              << std::count_if(report.models.begin(), report.models.end(),
                               [&](const ModelJudgement& m) { return m.log10e <= std::log10(s.evalue); })
              << " with an E-value at most " << s.evalue << "." << endl;
    return report;
}
