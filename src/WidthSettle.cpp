#include "WidthSettle.h"

#include "MotifCompare.h"
#include "MotifScan.h"
#include "Parallel.h"

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
    settled = c;
    double best = TrainLog10P(c, trainInput, trainControl, bothStrands);
    int dropped = 0;
    while (settled.width > low) {
        // Without the first column, or without the last.
        Candidate trial[2] = {TrimCandidate(settled, 1, settled.width - 1, bg),
                              TrimCandidate(settled, 0, settled.width - 1, bg)};
        double p[2];
        ParallelFor(2, threads, [&](int i) { p[i] = TrainLog10P(trial[i], trainInput, trainControl, bothStrands); });
        const int pick = p[1] < p[0] ? 1 : 0;
        if (p[pick] > best) break;
        best = p[pick];
        settled = trial[pick];
        ++dropped;
    }
    return dropped;
}
