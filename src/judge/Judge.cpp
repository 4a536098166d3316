#include "judge/Judge.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

#include "core/Parallel.h"
#include "core/StageRandom.h"

namespace {

// Counts equal to rounding noise: the shares of a model times its site count.
bool SameCounts(const Candidate& x, const Candidate& y, bool mirror) {
    if (x.width != y.width || x.nsites != y.nsites) return false;
    const int k = x.width;
    for (int j = 0; j < k; ++j)
        for (int b = 0; b < B; ++b) {
            const double other = mirror ? y.count[3 - b][k - 1 - j] : y.count[b][j];
            if (std::fabs(x.count[b][j] - other) > 1e-6) return false;
        }
    return true;
}

// Best scores of the sequences of a set, and the count of those at or above t.
void Scores(const LogOdds& m, const std::vector<SeqRecord>& set, bool both, std::vector<float>& best) {
    BestScorePerSequence(m, set, static_cast<int>(set.size()), both, best);
}

void CountAbove(const std::vector<float>& best, double t, int& hits, int& total) {
    hits = 0;
    total = 0;
    for (float s : best) {
        if (std::isinf(s) && s < 0) continue;  // no admissible window
        ++total;
        if (static_cast<double>(s) >= t) ++hits;
    }
}

// The threshold of smallest p-value is the lowest score of the input
// sequences it counts; any threshold down to the next score below (of input
// or control) gives the same table. The model was fitted to those very
// sequences, so their scores run high, and held-back sequences with the motif
// score lower: the middle of that gap generalises better than its top edge.
double Margin(double t, const std::vector<float>& input, const std::vector<float>& control) {
    if (!std::isfinite(t)) return t;
    double below = -std::numeric_limits<double>::infinity();
    for (const std::vector<float>* set : {&input, &control})
        for (float s : *set)
            if (static_cast<double>(s) < t && static_cast<double>(s) > below) below = s;
    if (!std::isfinite(below)) return t;
    return static_cast<double>(static_cast<float>((t + below) / 2));
}

}  // namespace

Candidate CandidateFromModel(const Individual& model, int width, int search, const double* bg) {
    Candidate c;
    c.width = width;
    c.search = search;
    c.nsites = static_cast<int>(model.Sites.empty() ? model.Genes.size() : model.Sites.size());
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < width; ++j) {
            const double v = static_cast<double>(c.nsites) * model.MismatchMatrix[b][j];
            const double r = std::round(v);
            c.count[b][j] = std::fabs(v - r) < 1e-6 ? r : v;
        }
    c.scores = LogOddsFromCounts(c.count, width, bg);
    c.columns = ColumnsFromCounts(c.count, width, 0.0);
    return c;
}

int AddCandidates(const std::vector<Individual>& population, int width, int search, const double* bg,
                  std::vector<Candidate>& out) {
    int added = 0;
    for (const Individual& model : population) {
        if (added == kCandidatesPerSearch) break;
        Candidate c = CandidateFromModel(model, width, search, bg);
        if (c.nsites == 0) continue;
        bool seen = false;
        for (const Candidate& o : out)
            if (SameCounts(c, o, false) || SameCounts(c, o, true)) {
                seen = true;
                break;
            }
        if (seen) continue;
        out.push_back(std::move(c));
        ++added;
    }
    return added;
}

std::vector<Verdict> JudgeCandidates(const std::vector<Candidate>& candidates, size_t from, size_t to,
                                     const JudgeSets& sets, int threads) {
    std::vector<Verdict> verdicts(to - from);
    ParallelFor(static_cast<int>(to - from), threads, [&](int i) {
        const LogOdds& m = candidates[from + static_cast<size_t>(i)].scores;
        std::vector<float> input, control;
        Scores(m, sets.trainInput, sets.bothStrands, input);
        Scores(m, sets.trainControl, sets.bothStrands, control);
        Verdict& v = verdicts[static_cast<size_t>(i)];
        v.train = ChooseThreshold(input, control);
        v.train.threshold = Margin(v.train.threshold, input, control);
        Scores(m, sets.heldInput, sets.bothStrands, input);
        Scores(m, sets.heldControl, sets.bothStrands, control);
        CountAbove(input, v.train.threshold, v.a, v.n1);
        CountAbove(control, v.train.threshold, v.b, v.n2);
        v.held = FisherEnrichment(v.a, v.n1, v.b, v.n2);
    });
    return verdicts;
}

std::string FormatEvalue(double log10e) {
    if (log10e > -300) {
        std::ostringstream o;
        o << std::pow(10.0, log10e);
        return o.str();
    }
    double exponent = std::floor(log10e);
    double mantissa = std::pow(10.0, log10e - exponent);
    if (mantissa >= 9.99995) {  // would print as 10
        mantissa = 1.0;
        exponent += 1.0;
    }
    std::ostringstream o;
    o << mantissa << "e" << static_cast<long long>(exponent);
    return o.str();
}

void SplitSequences(int n, double share, uint32_t seed, uint32_t stream, std::vector<int>& train,
                    std::vector<int>& held) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
    StageRandom rng(seed, kStageHoldOut, stream);
    for (int i = n - 1; i > 0; --i)
        std::swap(order[static_cast<size_t>(i)], order[rng.Below32(static_cast<uint32_t>(i) + 1)]);
    const size_t h = static_cast<size_t>(std::floor(n * share));
    held.assign(order.begin(), order.begin() + static_cast<long>(h));
    train.assign(order.begin() + static_cast<long>(h), order.end());
    std::sort(held.begin(), held.end());
    std::sort(train.begin(), train.end());
}

size_t MaskSites(const LogOdds& m, double t, bool bothStrands, SeqRecord& fwd) {
    std::vector<ScanHit> hits;
    SitesAbove(m, fwd, t, bothStrands, hits);
    if (hits.empty()) return 0;
    auto shared = std::make_shared<SeqShared>(*fwd.shared);
    std::vector<uint64_t>& mask = shared->masked;
    if (mask.empty()) mask.assign((static_cast<size_t>(fwd.len) + 63) / 64 + 1, 0);
    size_t added = 0;
    for (const ScanHit& h : hits) {
        const int start = h.forward ? h.pos : fwd.len - h.pos - m.k;
        for (int i = start; i < start + m.k; ++i) {
            uint64_t& word = mask[static_cast<size_t>(i) >> 6];
            const uint64_t bit = uint64_t(1) << (i & 63);
            if (!(word & bit)) ++added;
            word |= bit;
        }
    }
    fwd.shared = shared;
    return added;
}

void CallSites(const LogOdds& m, const SeqRecord& fwd, double t, bool bothStrands, std::vector<ScanHit>& kept) {
    const int k = m.k;
    std::vector<ScanHit> hits;
    SitesAbove(m, fwd, t, bothStrands, hits);
    auto start = [&](const ScanHit& h) { return h.forward ? h.pos : fwd.len - h.pos - k; };
    std::vector<size_t> order(hits.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return hits[x].score > hits[y].score; });
    kept.clear();
    for (size_t h : order) {
        bool overlaps = false;
        for (const ScanHit& o : kept) overlaps = overlaps || std::abs(start(o) - start(hits[h])) < k;
        if (!overlaps) kept.push_back(hits[h]);
    }
    std::sort(kept.begin(), kept.end(), [&](const ScanHit& x, const ScanHit& y) { return start(x) < start(y); });
}

int SiteLetterCounts(const LogOdds& m, double t, const std::vector<SeqRecord>& input, bool bothStrands, int threads,
                     double (&count)[B][MAX_K]) {
    const int k = m.k;
    const int n = static_cast<int>(input.size());
    // The sites of each sequence first, on the workers; the letters are then
    // counted in sequence order.
    std::vector<std::vector<ScanHit>> called(static_cast<size_t>(n));
    ParallelFor(n, threads, [&](int i) {
        CallSites(m, input[static_cast<size_t>(i)], t, bothStrands, called[static_cast<size_t>(i)]);
    });
    return CalledLetterCounts(called, input, k, count);
}

bool RefitOnCalledSites(Candidate& c, double& t, const std::vector<SeqRecord>& input,
                        const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads) {
    const int k = c.width;
    const int n = static_cast<int>(input.size());
    Candidate refit = c;
    refit.nsites = SiteLetterCounts(c.scores, t, input, bothStrands, threads, refit.count);
    if (refit.nsites < 2) return false;
    refit.scores = LogOddsFromCounts(refit.count, k, bg);
    refit.columns = ColumnsFromCounts(refit.count, k, 0.0);
    std::vector<float> inputBest(input.size()), controlBest(controls.size());
    ParallelFor(n, threads, [&](int i) {
        inputBest[static_cast<size_t>(i)] = BestScore(refit.scores, input[static_cast<size_t>(i)], bothStrands);
    });
    ParallelFor(static_cast<int>(controls.size()), threads, [&](int i) {
        controlBest[static_cast<size_t>(i)] = BestScore(refit.scores, controls[static_cast<size_t>(i)], bothStrands);
    });
    const ThresholdChoice choice = ChooseThreshold(inputBest, controlBest);
    if (!std::isfinite(choice.threshold)) return false;
    c = refit;
    t = choice.threshold;
    return true;
}

int RefitUntilSettled(Candidate& c, double& t, const std::vector<SeqRecord>& input,
                      const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads,
                      int most, bool& settled) {
    settled = false;
    double count[B][MAX_K];
    int rounds = 0;
    while (rounds < most && RefitOnCalledSites(c, t, input, controls, bothStrands, bg, threads)) {
        ++rounds;
        const int sites = SiteLetterCounts(c.scores, t, input, bothStrands, threads, count);
        bool same = sites == c.nsites;
        for (int b = 0; b < B && same; ++b)
            for (int j = 0; j < c.width && same; ++j) same = count[b][j] == c.count[b][j];
        if (same) {
            settled = true;
            break;
        }
    }
    return rounds;
}

CallEstimate EstimateCalls(const Candidate& c, double t, const std::vector<std::string>& known,
                           const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                           bool bothStrands, int threads) {
    CallEstimate e;
    const int k = c.width;
    int recalled = 0;
    for (const std::string& site : known) {
        if (static_cast<int>(site.size()) != k) continue;
        uint8_t codes[MAX_K];
        bool letters = true;
        static const char kBases[] = "ACGT";
        for (int j = 0; j < k && letters; ++j) {
            const char* at = std::strchr(kBases, std::toupper(static_cast<unsigned char>(site[static_cast<size_t>(j)])));
            letters = at != nullptr && *at != '\0';
            if (letters) codes[j] = static_cast<uint8_t>(at - kBases);
        }
        if (!letters) continue;
        ++e.known;
        // Scored by the reported matrix itself. Leaving each site out of the matrix in turn
        // read 0% on a motif whose every site is one word: the threshold of smallest Fisher
        // p then sits at the word's own score, which the matrix without it just misses.
        const LogOdds& m = c.scores;
        const double score = std::max(m.Forward(codes), bothStrands ? m.Reverse(codes) : m.Forward(codes));
        recalled += static_cast<double>(static_cast<float>(score)) >= t ? 1 : 0;
    }
    e.recall = e.known > 0 ? static_cast<double>(recalled) / e.known : 0.0;
    double unused[B][MAX_K];
    const int inputSites = SiteLetterCounts(c.scores, t, input, bothStrands, threads, unused);
    const int controlSites = SiteLetterCounts(c.scores, t, controls, bothStrands, threads, unused);
    long long inputLetters = 0, controlLetters = 0;
    for (const SeqRecord& r : input) inputLetters += r.len;
    for (const SeqRecord& r : controls) controlLetters += r.len;
    if (inputSites > 0 && controlLetters > 0)
        e.falseShare = std::min(1.0, controlSites * static_cast<double>(inputLetters) / controlLetters / inputSites);
    return e;
}
