#include "judge/ReportedCalls.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "core/Parallel.h"
#include "judge/GivenRound.h"
#include "judge/MotifScan.h"

using std::cout;
using std::endl;

namespace {

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

}  // namespace

JudgedReport CallReportedModels(JudgedRun& run) {
    const RunSettings& s = run.s;
    // E-values count every candidate judged, over every search.
    JudgedReport report;
    report.limit = s.evalue;
    report.controls = static_cast<int>(run.controls.size());
    report.generated = s.negFile.empty();
    report.gc = run.gc;
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
