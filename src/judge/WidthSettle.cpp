#include "judge/WidthSettle.h"

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
