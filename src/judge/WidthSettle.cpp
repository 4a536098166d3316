#include "judge/WidthSettle.h"

#include <algorithm>
#include <cmath>

#include "core/Parallel.h"
#include "judge/MotifScan.h"
#include "motif/MotifCompare.h"

namespace {

// log10 of the smallest Fisher p of the candidate's threshold choice on the sets.
double TrainLog10P(const Candidate& c, const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& control,
                   bool bothStrands) {
    std::vector<float> in, ctl;
    BestScorePerSequence(c.scores, input, static_cast<int>(input.size()), bothStrands, in);
    BestScorePerSequence(c.scores, control, static_cast<int>(control.size()), bothStrands, ctl);
    return ChooseThreshold(in, ctl).log10p;
}

}  // namespace

Candidate TrimCandidate(const Candidate& c, int from, int width, const double* bg) {
    Candidate t = c;
    t.width = width;
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) t.count[b][j] = j < width ? c.count[b][from + j] : 0.0;
    t.scores = LogOddsFromCounts(t.count, width, bg);
    t.columns = ColumnsFromCounts(t.count, width, 0.0);
    return t;
}

int SettleWidth(const Candidate& c, int low, const std::vector<SeqRecord>& trainInput,
                const std::vector<SeqRecord>& trainControl, bool bothStrands, const double* bg, int threads,
                Candidate& settled) {
    // Every window of columns at least `low` wide, widest first.
    std::vector<std::pair<int, int>> windows;  // (from, width)
    for (int w = c.width; w >= low; --w)
        for (int from = 0; from + w <= c.width; ++from) windows.push_back({from, w});
    std::vector<double> p(windows.size());
    ParallelFor(static_cast<int>(windows.size()), threads, [&](int i) {
        const std::pair<int, int>& at = windows[static_cast<size_t>(i)];
        p[static_cast<size_t>(i)] =
            TrainLog10P(TrimCandidate(c, at.first, at.second, bg), trainInput, trainControl, bothStrands);
    });
    // The smallest p; of equal ones the widest (the first listed).
    size_t best = 0;
    for (size_t i = 1; i < p.size(); ++i)
        if (p[i] < p[best]) best = i;
    settled = best == 0 ? c : TrimCandidate(c, windows[best].first, windows[best].second, bg);
    return c.width - settled.width;
}

int AlignedLetterCounts(const LogOdds& m, double t, const std::vector<SeqRecord>& input, bool bothStrands, int left,
                        int right, double (&count)[B][MAX_K]) {
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) count[b][j] = 0.0;
    const int span = m.k + left + right;
    std::vector<ScanHit> hits;
    int sites = 0;
    for (const SeqRecord& r : input) {
        float best = 0.0f;
        ScanHit top{};
        if (!BestSite(m, r, bothStrands, best, top, hits) || best < static_cast<float>(t)) continue;
        ++sites;
        for (int j = 0; j < span; ++j) {
            const int code = LetterOnSiteStrand(r, top, j - left);
            if (code >= 0) count[code][j] += 1.0;
        }
    }
    return sites;
}

namespace {

// How a settled window ranks: one that passes by how unlikely its alignment
// is by chance (the controls' part of the E-value counts sequences, too
// coarse to tell one width from the next), one that does not by its E-value.
bool Better(const Verdict& x, const Verdict& y, double limit) {
    const bool xPass = x.held.log10p <= limit, yPass = y.held.log10p <= limit;
    if (xPass != yPass) return xPass;
    return xPass ? x.align < y.align : x.held.log10p < y.held.log10p;
}

// One settling step: the best window of c's aligned sites read past its
// edges (c itself unless one beats it), with its verdict.
bool SettleStep(const Candidate& c, const Verdict& v, int low, int high, const std::vector<SeqRecord>& input,
                const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int tests, double limit,
                LlrNull& null, int threads, Candidate& settled, Verdict& verdict, int& judged) {
    settled = c;
    verdict = v;
    if (v.a < 2 || std::isinf(v.train.threshold)) return false;
    const int reach = std::max(0, std::min(high - c.width, (MAX_K - c.width) / 2));
    Candidate wide = c;
    wide.width = c.width + 2 * reach;
    wide.nsites = AlignedLetterCounts(c.scores, v.train.threshold, input, bothStrands, reach, reach, wide.count);
    if (wide.nsites < 2) return false;
    // Every window of the columns, scored at once (ColumnWindows.h).
    std::vector<ColumnWindow> windows;
    for (int w = std::max(low, MIN_K); w <= std::min(high, wide.width); ++w)
        for (int from = 0; from + w <= wide.width; ++from) {
            const int kept = std::min(from + w, reach + c.width) - std::max(from, reach);
            if (2 * kept >= std::min(w, c.width) && !(from == reach && w == c.width)) windows.push_back({from, w});
        }
    if (windows.empty()) return false;
    const LogOdds wideScores = LogOddsFromCounts(wide.count, wide.width, bg);
    const std::vector<Verdict> verdicts =
        JudgeColumnWindows(wideScores, windows, input, controls, bothStrands, tests, null, threads);
    judged += static_cast<int>(verdicts.size());
    size_t best = 0;
    for (size_t i = 1; i < verdicts.size(); ++i)
        if (Better(verdicts[i], verdicts[best], limit)) best = i;
    if (!Better(verdicts[best], v, limit)) return false;
    // The window chosen, judged as the candidate it becomes.
    settled = TrimCandidate(wide, windows[best].first, windows[best].second, bg);
    verdict = JudgeOnEverySequence({settled}, 0, 1, input, controls, bothStrands, tests, null, threads)[0];
    if (!Better(verdict, v, limit)) {
        settled = c;
        verdict = v;
        return false;
    }
    return true;
}

}  // namespace

bool SettleWholeWidth(const Candidate& c, const Verdict& v, int low, int high, const std::vector<SeqRecord>& input,
                      const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int tests,
                      double limit, LlrNull& null, int threads, Candidate& settled, double& log10Searched) {
    Candidate at = c, next;
    Verdict atVerdict = v, nextVerdict;
    int steps = 0, judged = 0;
    while (steps < kSettleSteps && SettleStep(at, atVerdict, low, high, input, controls, bothStrands, bg, tests, limit,
                                              null, threads, next, nextVerdict, judged)) {
        at = next;
        atVerdict = nextVerdict;
        ++steps;
    }
    settled = at;
    // A model that did not pass and passes at another width was searched for
    // among every window judged: its E-value answers for all of them.
    log10Searched = v.held.log10p > limit && judged > 0 ? std::log10(static_cast<double>(judged)) : 0.0;
    return steps > 0 && atVerdict.held.log10p + log10Searched <= limit;
}
