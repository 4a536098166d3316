#include "EvalueRun.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numeric>

#include "Judge.h"
#include "Masking.h"
#include "Outputs.h"
#include "Parallel.h"
#include "Robust.h"
#include "SearchRun.h"
#include "Shuffle.h"
#include "StageRandom.h"
#include "Words.h"
#include "main.h"

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

int ControlCopies(int n) {
    const int copies = n > 0 ? (kControlTarget + n - 1) / n : 1;
    return std::max(1, std::min(kMaxControlCopies, copies));
}

// The control sequences: read from -neg with the input's masking, or made by
// shuffling every input sequence keeping its letter triplets.
std::vector<SeqRecord> LoadControls(const RunSettings& s, const std::vector<SeqRecord>& input, uint32_t seed,
                                    const Midlayer* data) {
    if (s.negFile.empty())
        return MakeControls(input, static_cast<int>(input.size()), ControlCopies(static_cast<int>(input.size())),
                            kControlWord, seed);
    Midlayer neg;
    neg.SetDoubleStrand(false);
    neg.SetMasking(data->GetMasking());
    neg.OpenSeqFile(s.negFile);
    neg.LoadSeqs();
    if (neg.NumSeq == 0) {
        cout << "Error: the control file " << s.negFile
             << " holds no FASTA record (a record starts with a '>' header line). System aborted. " << endl;
        FatalExit(1);
    }
    return std::vector<SeqRecord>(neg.Seqs.begin(), neg.Seqs.begin() + neg.NumSeq);
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
         << ". Give more sequences (the judge needs a few dozen), or run without -evalue to see the search's models"
         << " unjudged." << endl;
}

}  // namespace

std::vector<int> WidthSchedule(int low, int high) {
    std::vector<int> widths;
    const int step = high - low + 1 <= 4 ? 1 : 2;
    for (int w = low; w <= high; w += step) widths.push_back(w);
    if (widths.back() != high) widths.push_back(high);
    return widths;
}

std::vector<size_t> SearchSample(const std::vector<SeqRecord>& set, long long letters, uint32_t seed) {
    std::vector<size_t> order(set.size());
    std::iota(order.begin(), order.end(), size_t(0));
    long long total = 0;
    for (const SeqRecord& r : set) total += r.len;
    if (letters <= 0 || total <= letters) return order;
    StageRandom rng(seed, kStageSample);
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[rng.Below32(static_cast<uint32_t>(i))]);
    std::vector<size_t> kept;
    long long used = 0;
    for (size_t i : order) {
        if (used + set[i].len > letters) continue;
        used += set[i].len;
        kept.push_back(i);
    }
    if (kept.empty()) kept.push_back(order.front());
    std::sort(kept.begin(), kept.end());
    return kept;
}

int SearchGenerations(const RunSettings& s, long long letters) {
    if (s.generationsGiven) return s.generations;
    const long long afford = letters > 0 ? kSearchWork / letters : s.generations;
    return static_cast<int>(std::max<long long>(kMinSearchGenerations, std::min<long long>(s.generations, afford)));
}

void DiscoverWithEvalues(RunSettings& s, uint32_t seed, time_t start, Midlayer* data,
                         std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
                         const MotifMatcher* matcher) {
    // Every input sequence, as loaded and masked; the reverse strands are made anew when needed.
    const int total = data->NumSeq;
    const std::vector<SeqRecord> input(data->Seqs.begin(), data->Seqs.begin() + total);
    const std::vector<SeqRecord> controls = LoadControls(s, input, seed, data);
    const double* bg = data->GetFreqInfo();
    const int threads = s.threads > 0 ? s.threads : DefaultThreads();

    JudgeSets sets;
    sets.bothStrands = data->GetDoubleStrand();
    std::vector<int> train, held, trainC, heldC;
    SplitSequences(total, kHeldBackShare, seed, 0, train, held);
    if (s.negFile.empty()) {
        // Each control goes with the sequence it was shuffled from (copies of one sequence are adjacent).
        const int copies = ControlCopies(total);
        for (int i : train)
            for (int c = 0; c < copies; ++c) trainC.push_back(i * copies + c);
        for (int i : held)
            for (int c = 0; c < copies; ++c) heldC.push_back(i * copies + c);
    } else {
        SplitSequences(static_cast<int>(controls.size()), kHeldBackShare, seed, 1, trainC, heldC);
    }
    sets.trainInput = Pick(input, train);
    sets.heldInput = Pick(input, held);
    sets.trainControl = Pick(controls, trainC);
    sets.heldControl = Pick(controls, heldC);
    // The searches run on a sample of the searched part when it is larger than -searchsize letters.
    const std::vector<size_t> sample = SearchSample(sets.trainInput, s.searchSize, seed);
    cout << "Control sequences: " << controls.size()
         << (s.negFile.empty() ? " (the input shuffled, letter triplets kept)" : " (from " + s.negFile + ")") << endl;
    cout << "Searched on " << train.size() << " input sequences; judged on " << held.size() << " input and "
         << heldC.size() << " control sequences held back." << endl;
    if (sample.size() < train.size())
        cout << "The searches run on a sample of " << sample.size() << " of the " << train.size()
             << " searched sequences (-searchsize " << s.searchSize << " letters)." << endl;

    const bool known = s.pkFlag && s.perPK != 0;
    const bool filterAsked = s.filter;
    const std::vector<int> widths = known ? std::vector<int>{0} : s.kLow > 0 ? WidthSchedule(s.kLow, s.kHigh)
                                                                             : std::vector<int>{s.k};
    std::vector<Candidate> candidates;
    std::vector<Verdict> verdicts;
    std::vector<size_t> found;
    std::vector<std::string> seedOf;  // per search: its seed word, or empty
    int searches = 0;
    for (int round = 0; round < s.nmotifs; ++round) {
        const size_t first = candidates.size();
        for (int w : widths) {
            std::vector<SeqRecord> part;
            long long letters = 0;
            for (size_t i : sample) {
                const SeqRecord& r = sets.trainInput[i];
                if (w == 0 || HasOpenWindow(r, w)) {
                    part.push_back(r);
                    letters += r.len;
                }
            }
            const int generations = SearchGenerations(s, letters);
            if (part.empty()) {
                cout << "No searched sequence has a window of " << w
                     << " letters free of masked letters; the width is skipped." << endl;
                continue;
            }
            cout << "\nSearch " << searches + 1 << ": motif " << round + 1;
            if (w > 0) cout << ", width " << w;
            cout << ", " << part.size() << " sequences";
            if (generations < s.generations) cout << ", at most " << generations << " generations";
            cout << "." << endl;
            // The search from random starts draws from the run's numbers as a run without -evalue does.
            RunSettings one = s;
            if (w > 0) one.k = w;
            one.generations = generations;
            Search(one, data, engine, population, part, nullptr);
            s.filter = one.filter;
            AddCandidates(*population, data->GetK(), searches, bg, candidates);
            seedOf.push_back(std::string());
            ++searches;
            if (w == 0 || s.words == 0) continue;

            // Searches from enriched words, each with numbers of its own.
            const int length = std::min(w, kMaxWordLength);
            const std::vector<EnrichedWord> words =
                EnrichedWords(sets.trainInput, sets.trainControl, length, sets.bothStrands, s.words);
            for (const EnrichedWord& word : words) {
                const std::vector<std::string> seeds = WordSites(part, word.word, w, sets.bothStrands);
                if (seeds.size() < 2) continue;
                cout << "\nSearch " << searches + 1 << ": motif " << round + 1 << ", width " << w << ", from the word "
                     << word.word << " (in " << word.a << " of " << word.n1 << " input and " << word.b << " of "
                     << word.n2 << " control sequences), " << seeds.size() << " sites." << endl;
                SeedRandom(StageRandom(seed, kStageWordSearch, static_cast<uint32_t>(searches)).State());
                RunSettings seeded = s;
                seeded.k = w;
                seeded.stallLimit = kWordSearchStall;
                seeded.generations = generations;
                seeded.filter = filterAsked;
                Search(seeded, data, engine, population, part, &seeds);
                AddCandidates(*population, data->GetK(), searches, bg, candidates);
                seedOf.push_back(word.word);
                ++searches;
            }
        }
        if (searches == 0) {
            cout << "Error: every window of " << widths.front() << " letters in " << s.inputFile
                 << " holds a masked letter (-mask, -dust); no sequence is left to search. System aborted. " << endl;
            FatalExit(1);
        }
        const std::vector<Verdict> more = JudgeCandidates(candidates, first, candidates.size(), sets, threads);
        verdicts.insert(verdicts.end(), more.begin(), more.end());

        // This search's best candidate that passes and is not a motif found before.
        std::vector<size_t> order(candidates.size() - first);
        std::iota(order.begin(), order.end(), first);
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
            if (verdicts[x].held.log10p != verdicts[y].held.log10p) return verdicts[x].held.log10p < verdicts[y].held.log10p;
            return verdicts[x].train.log10p < verdicts[y].train.log10p;
        });
        const double limit = std::log10(s.evalue);
        size_t pick = candidates.size();
        for (size_t i : order) {
            if (Log10E(verdicts[i], candidates.size()) > limit) break;
            bool same = false;
            for (size_t f : found) same = same || SameMotif(candidates[f].columns, candidates[i].columns);
            if (!same) {
                pick = i;
                break;
            }
        }
        if (pick == candidates.size()) {
            cout << "No further motif has an E-value at most " << s.evalue << ".";
            if (!order.empty())
                cout << " The best candidate of this search, " << ConsensusOf(candidates[order[0]]) << ", has "
                     << FormatEvalue(Log10E(verdicts[order[0]], candidates.size())) << " (sites in "
                     << verdicts[order[0]].a << " of " << verdicts[order[0]].n1 << " held-back input and "
                     << verdicts[order[0]].b << " of " << verdicts[order[0]].n2 << " control sequences).";
            cout << endl;
            if (found.empty()) ExplainOutOfReach(total, held.size(), heldC.size(), candidates.size(), s.evalue);
            break;
        }
        found.push_back(pick);
        const int from = candidates[pick].search;
        cout << "Motif " << found.size() << " found: " << ConsensusOf(candidates[pick]) << ", E-value "
             << FormatEvalue(Log10E(verdicts[pick], candidates.size())) << ", by search " << from + 1
             << (seedOf[static_cast<size_t>(from)].empty() ? "" : " from the word " + seedOf[static_cast<size_t>(from)])
             << "." << endl;
        if (round + 1 < s.nmotifs) MaskEverywhere(candidates[pick], verdicts[pick].train.threshold, sets);
    }

    // E-values count every candidate judged, over every search.
    JudgedReport report;
    report.limit = s.evalue;
    report.controls = static_cast<int>(controls.size());
    report.generated = s.negFile.empty();
    report.judged = static_cast<int>(candidates.size());
    report.heldInput = static_cast<int>(held.size());
    report.heldControl = static_cast<int>(heldC.size());
    std::vector<size_t> passed;
    for (size_t f : found)
        if (Log10E(verdicts[f], candidates.size()) <= std::log10(s.evalue)) passed.push_back(f);
    std::stable_sort(passed.begin(), passed.end(), [&](size_t x, size_t y) {
        return verdicts[x].held.log10p < verdicts[y].held.log10p;
    });

    HoldStrands(data, input);
    population->clear();
    for (size_t f : passed) {
        const Verdict& v = verdicts[f];
        Candidate called = candidates[f];
        double threshold = v.train.threshold;
        RefitOnCalledSites(called, threshold, input, controls, sets.bothStrands, bg, threads);
        population->push_back(ReportedModel(data, called, threshold, threads));
        ModelJudgement m;
        m.width = candidates[f].width;
        m.threshold = threshold;
        m.log10p = v.held.log10p;
        m.log10e = Log10E(v, candidates.size());
        m.a = v.a;
        m.n1 = v.n1;
        m.b = v.b;
        m.n2 = v.n2;
        m.search = candidates[f].search + 1;
        m.seedWord = seedOf[static_cast<size_t>(candidates[f].search)];
        report.models.push_back(m);
    }
    cout << "Judged " << candidates.size() << " candidate models of " << searches << " searches; "
         << report.models.size() << " with an E-value at most " << s.evalue << "." << endl;

    time_t end = time(nullptr);
    std::printf("Time taken: %.2lf seconds.", difftime(end, start));
    cout << "\n";
    ReportRun(s, seed, data, population, &report, matcher);
}
