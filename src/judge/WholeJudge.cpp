#include "judge/WholeJudge.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

#include "core/Parallel.h"
#include "core/Statistics.h"
#include "judge/ColumnWindows.h"
#include "judge/MotifScan.h"

namespace {

// One candidate's best windows: per input sequence with a window, its score
// and letter codes (as they align to the motif), and the windows where a site
// could start.
struct BestWindows {
    std::vector<float> score;
    std::vector<std::vector<uint8_t>> codes;
    std::vector<long long> starts;  // per sequence with a window
    std::vector<size_t> seq;        // per sequence with a window: its index in the input
};

using Shares = std::array<double, B>;

// Each input sequence's letter shares (both strands' when both are
// searched; half a letter of each added), the null an alignment's sites are
// read against.
std::vector<Shares> LetterShares(const std::vector<SeqRecord>& input, bool bothStrands) {
    std::vector<Shares> out;
    for (const SeqRecord& r : input) {
        Shares share{};
        double total = 0.0;
        for (uint8_t c : r.code) {
            if (c >= B) continue;
            share[c] += 1.0;
            total += 1.0;
        }
        if (bothStrands)
            for (int b = 0; b < 2; ++b) share[b] = share[3 - b] = share[b] + share[3 - b];
        for (double& x : share) x = total > 0 ? (x + 0.5) / ((bothStrands ? 2 : 1) * total + 2.0) : 0.25;
        out.push_back(share);
    }
    return out;
}

// Sequence s's best window of w letters (at pos on its strand, as ScanHit
// places it), read on that strand, added to out.
void AddBestWindow(BestWindows& out, const SeqRecord& r, size_t s, int w, int pos, bool forward, float score,
                   bool bothStrands) {
    std::vector<uint8_t> codes(static_cast<size_t>(w));
    for (int j = 0; j < w; ++j)
        codes[static_cast<size_t>(j)] = forward ? r.code[static_cast<size_t>(pos + j)]
                                                : static_cast<uint8_t>(3 - r.code[static_cast<size_t>(r.len - 1 - pos - j)]);
    out.score.push_back(score);
    out.codes.push_back(std::move(codes));
    out.starts.push_back(static_cast<long long>(r.len - w + 1) * (bothStrands ? 2 : 1));
    out.seq.push_back(s);
}

BestWindows FindBestWindows(const LogOdds& m, const std::vector<SeqRecord>& input, bool bothStrands) {
    BestWindows out;
    std::vector<ScanHit> hits;
    for (size_t s = 0; s < input.size(); ++s) {
        float best = 0.0f;
        ScanHit top{};
        if (BestSite(m, input[s], bothStrands, best, top, hits))
            AddBestWindow(out, input[s], s, m.k, top.pos, top.forward, best, bothStrands);
    }
    return out;
}

// The log-likelihood ratio of the alignment of the best n windows, for every
// n from 1 (llr[n - 1]), windows taken in order of falling score. Each is
// taken against the mean letter shares of the sequences its sites lie in,
// not of the whole input: sites of an A/T-rich word that sit in the A/T-rich
// sequences of a mixed input are what those sequences' make-up gives, and
// against the whole input's shares they read as a motif (on sequences
// without one, 8 of 56 small sets of real background passed against the
// input's shares, 2 against the sites' own; docs/measurements/accuracy-evalue.md).
std::vector<double> AlignmentLlrs(const BestWindows& bw, const std::vector<size_t>& order, int w,
                                  const std::vector<Shares>& shares) {
    double count[B][MAX_K] = {};
    std::vector<double> llr;
    llr.reserve(order.size());
    double sum[B] = {0, 0, 0, 0};
    for (size_t i = 0; i < order.size(); ++i) {
        const std::vector<uint8_t>& codes = bw.codes[order[i]];
        for (int j = 0; j < w; ++j) count[codes[static_cast<size_t>(j)]][j] += 1.0;
        for (int b = 0; b < B; ++b) sum[b] += shares[bw.seq[order[i]]][static_cast<size_t>(b)];
        llr.push_back(AlignmentLlr(count, w, static_cast<int>(i + 1), sum));
    }
    return llr;
}

// What one candidate's verdict is taken from: its best windows in the input,
// ranked, with the likelihood ratio of every alignment of the best n, and
// the controls' best scores, ascending.
struct Prepared {
    BestWindows bw;
    std::vector<size_t> order;
    std::vector<double> llr;
    std::vector<float> controlBest;
    int width = 0;
};

void Prepare(Prepared& p, const std::vector<Shares>& shares) {
    std::vector<float>& cb = p.controlBest;
    cb.erase(std::remove_if(cb.begin(), cb.end(), [](float s) { return std::isinf(s) && s < 0; }), cb.end());
    std::sort(cb.begin(), cb.end());
    p.order.resize(p.bw.score.size());
    std::iota(p.order.begin(), p.order.end(), size_t(0));
    std::stable_sort(p.order.begin(), p.order.end(), [&](size_t x, size_t y) { return p.bw.score[x] > p.bw.score[y]; });
    p.llr = AlignmentLlrs(p.bw, p.order, p.width, shares);
}

// The verdict of the n best windows of the smallest E-value. Reads and fills
// the null's tables, so verdicts are taken one at a time.
Verdict Decide(const Prepared& p, double log10Tests, LlrNull& null) {
    Verdict v;
    const BestWindows& bw = p.bw;
    v.whole = true;
    v.n1 = static_cast<int>(bw.score.size());
    v.held.log10p = v.n1 >= 2 ? std::numeric_limits<double>::infinity() : 0.0;
    const std::vector<float>& cb = p.controlBest;
    const int n2 = static_cast<int>(cb.size());
    // At least two sites make an alignment.
    for (int sites = 2; sites <= v.n1; ++sites) {
        const float t = bw.score[p.order[static_cast<size_t>(sites - 1)]];
        const double align = null.Log10PValue(p.llr[static_cast<size_t>(sites - 1)], sites, p.width) +
                             Log10Alignments(bw.starts, sites) + log10Tests;
        // The sites must also be likelier in the input than in its shuffles, which keep each
        // sequence's short words: an alignment of words that any sequence of that make-up
        // holds (runs, repeats, a composition unlike the whole input's) is no motif.
        int a = 0;
        for (float s : bw.score) a += s >= t ? 1 : 0;
        const int b = static_cast<int>(cb.end() - std::lower_bound(cb.begin(), cb.end(), t));
        const double e = std::max(align, FisherEnrichment(a, v.n1, b, n2).log10p);
        if (e < v.held.log10p) {
            v.held.log10p = e;
            v.a = sites;
            v.b = b;
            v.n2 = n2;
            v.train.threshold = t;
            v.align = align;
        }
    }
    if (v.a == 0) v.train.threshold = std::numeric_limits<double>::infinity();
    v.held.p = std::pow(10.0, v.held.log10p);
    v.train.log10p = v.held.log10p;
    v.train.p = v.held.p;
    v.train.a = v.a;
    v.train.n1 = v.n1;
    return v;
}

}  // namespace

std::vector<Verdict> JudgeOnEverySequence(const std::vector<Candidate>& candidates, size_t from, size_t to,
                                          const std::vector<SeqRecord>& input,
                                          const std::vector<SeqRecord>& controls, bool bothStrands,
                                          int tests, LlrNull& null, int threads) {
    const size_t n = to - from;
    std::vector<Prepared> prepared(n);
    const std::vector<Shares> shares = LetterShares(input, bothStrands);
    ParallelFor(static_cast<int>(n), threads, [&](int i) {
        const Candidate& c = candidates[from + static_cast<size_t>(i)];
        Prepared& p = prepared[static_cast<size_t>(i)];
        p.width = c.width;
        p.bw = FindBestWindows(c.scores, input, bothStrands);
        BestScorePerSequence(c.scores, controls, static_cast<int>(controls.size()), bothStrands, p.controlBest);
        Prepare(p, shares);
    });
    // The p-values in candidate order: the null's tables are shared.
    const double log10Tests = std::log10(static_cast<double>(std::max(1, tests)));
    std::vector<Verdict> verdicts(n);
    for (size_t i = 0; i < n; ++i) verdicts[i] = Decide(prepared[i], log10Tests, null);
    return verdicts;
}

std::vector<Verdict> JudgeColumnWindows(const LogOdds& wide, const std::vector<ColumnWindow>& windows,
                                        const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        bool bothStrands, int tests, LlrNull& null, int threads) {
    const std::vector<std::vector<BestPlace>> in = BestPlaces(wide, windows, input, bothStrands, threads);
    const std::vector<std::vector<BestPlace>> ctl = BestPlaces(wide, windows, controls, bothStrands, threads);
    const std::vector<Shares> shares = LetterShares(input, bothStrands);
    std::vector<Prepared> prepared(windows.size());
    ParallelFor(static_cast<int>(windows.size()), threads, [&](int i) {
        const size_t k = static_cast<size_t>(i);
        Prepared& p = prepared[k];
        const int w = windows[k].second;
        p.width = w;
        for (size_t s = 0; s < input.size(); ++s) {
            const BestPlace& place = in[k][s];
            if (place.pos >= 0) AddBestWindow(p.bw, input[s], s, w, place.pos, place.forward, place.score, bothStrands);
        }
        for (const BestPlace& place : ctl[k]) p.controlBest.push_back(place.score);
        Prepare(p, shares);
    });
    const double log10Tests = std::log10(static_cast<double>(std::max(1, tests)));
    std::vector<Verdict> verdicts(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) verdicts[i] = Decide(prepared[i], log10Tests, null);
    return verdicts;
}
