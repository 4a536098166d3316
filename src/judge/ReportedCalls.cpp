#include "judge/ReportedCalls.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "core/Console.h"
#include "core/Parallel.h"
#include "judge/GivenRound.h"
#include "judge/MotifScan.h"
#include "judge/SiteModel.h"
#include "judge/SoftEm.h"

using std::cout;
using std::endl;

namespace {

// The reported model of a judged candidate: its sites as called in every
// input sequence (calls[i] of sequence i), scored as any model.
Individual ReportedModel(Midlayer* data, const Candidate& c, const std::vector<std::vector<ScanHit>>& calls) {
    Individual model;
    model.setConLen(c.width);
    const int n = data->NumSeq;
    for (int i = 0; i < n; ++i)
        for (const ScanHit& h : calls[static_cast<size_t>(i)])
            model.Sites.push_back(kmer{h.pos, h.forward ? i : n + i, h.score, 0.0});
    data->SetK(c.width);
    data->ComputePosFreq(true);
    model.CalculateIndiFitness_vector(data, data->GetFreqInfo());
    return model;
}

// The sites a candidate calls at threshold t in every input sequence
// (CallSites), on up to `threads` threads.
void CallAtThreshold(const Candidate& c, double t, const std::vector<SeqRecord>& input, bool bothStrands,
                     int threads, std::vector<std::vector<ScanHit>>& calls) {
    calls.assign(input.size(), std::vector<ScanHit>());
    ParallelFor(static_cast<int>(input.size()), threads, [&](int i) {
        CallSites(c.scores, input[static_cast<size_t>(i)], t, bothStrands, calls[static_cast<size_t>(i)]);
    });
}

size_t CountCalls(const std::vector<std::vector<ScanHit>>& calls) {
    size_t n = 0;
    for (const std::vector<ScanHit>& c : calls) n += c.size();
    return n;
}

// What the console says of a mixture's calls.
void DescribeModelCalls(size_t motif, const SiteModelFit& fit, size_t sites) {
    std::ostream& say = Say();
    say << "Motif " << motif << "'s sites called by "
         << (fit.rule == SiteRule::kZoops ? "ZOOPS (zero or one site per sequence" : "TCM (any number of sites per sequence");
    if (fit.automatic)
        say << "; chosen from the input: " << fit.extraCalls << " sites beyond the first of their sequence, "
             << fit.extraExpected << " expected by chance";
    if (fit.repeatLike)
        say << ", but their flanks as alike as copies of a repeat's (" << fit.flankBits << " bits a letter)";
    say << "): " << sites << " sites, ";
    if (fit.rule == SiteRule::kZoops)
        say << fit.share * 100 << "% of the sequences estimated to hold one." << endl;
    else
        say << fit.share * 100 << "% of the windows estimated to be one." << endl;
}

// The fitted model refined by soft EM from matrix c (a given motif: only its
// sites weighed); true, with the refined model's calls, when the fitted
// model expects enough sites, the refinement kept the motif and it calls at
// least two sites.
bool Refine(const JudgedRun& run, const Candidate& c, const SiteModelFit& fit, bool given, SoftEmFit& em,
            std::vector<std::vector<ScanHit>>& calls) {
    const BackgroundTables bg = run.data->Background();
    SoftEmStart start;
    start.rule = fit.rule;
    start.k = c.width;
    start.share = fit.share;
    start.guard = kShareGuard;
    start.fixedMatrix = given;
    double total = 0.0;
    for (int b = 0; b < B; ++b) total += run.bg[b];
    for (int b = 0; b < B; ++b) start.letters[b] = run.bg[b] / total;
    ProbabilitiesOf(c.scores, start.letters, start.prob);
    const bool both = run.sets.bothStrands;
    const EmWindows inWin = IndexWindows(run.input, c.width, both, bg);
    // A given matrix is only weighed, so the few sites it expects estimate no letters.
    if (!given && !RefinementHasSites(fit.rule, fit.share, inWin)) {
        em.rule = fit.rule;
        em.k = c.width;
        em.share = em.startShare = fit.share;
        em.tooFewSites = true;
        return false;
    }
    EmWindows ctlWin;
    if (start.guard == ShareGuard::kControls) ctlWin = IndexWindows(run.controls, c.width, both, bg);
    em = RefineBySoftEm(start, run.input, inWin, run.controls, ctlWin);
    if (!em.kept) return false;
    CallBySoftEm(em, run.input, inWin, calls);
    return CountCalls(calls) >= 2;
}

// The judge's verdict on candidate f, as the report carries it; the sites
// are called at `threshold`.
ModelJudgement JudgementOf(const JudgedRun& run, size_t f, double threshold) {
    const Verdict& v = run.verdicts[f];
    const Candidate& c = run.candidates[f];
    ModelJudgement m;
    m.width = c.width;
    m.threshold = threshold;
    m.log10p = v.held.log10p;
    m.log10e = Log10E(v, run.candidates.size());
    m.a = v.a;
    m.n1 = v.n1;
    m.b = v.b;
    m.n2 = v.n2;
    m.search = c.search + 1;
    if (c.search >= 0) {
        m.seedWord = run.seedOf[static_cast<size_t>(c.search)];
        m.seedKind = run.seedKind[static_cast<size_t>(c.search)];
    }
    return m;
}

// What the console says of a refinement (the answer's sites, so said in a judged run too).
void DescribeRefinement(size_t motif, const SoftEmFit& em, bool used, size_t sites) {
    std::ostream& say = Say();
    if (em.tooFewSites) {
        say << "Motif " << motif << "'s model not refined: the fitted model expects fewer sites than the "
            << 3 * em.k << " letter probabilities a refinement would estimate, so its calls stand." << endl;
        return;
    }
    say << "Motif " << motif << "'s model refined by soft EM against the Markov background ("
        << (em.rule == SiteRule::kZoops ? "ZOOPS" : "TCM") << ", " << em.rounds
        << (em.rounds == 1 ? " round" : " rounds") << (em.converged ? "" : ", not settled") << "): information "
        << em.startBits << " -> " << em.bits << " bits, share " << em.startShare * 100 << "% -> " << em.share * 100
        << "%";
    if (used)
        say << "; " << sites << " sites called where the posterior reaches one half." << endl;
    else if (!em.kept)
        say << "; the refinement dissolved the motif, so the fitted model's calls stand." << endl;
    else
        say << "; fewer than two sites, so the fitted model's calls stand." << endl;
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

    SiteCalling calling;
    ParseSiteCalling(s.siteModel, calling);
    const SiteRule rule = calling.rule;
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
        // A mixture fitted to the input calls the sites, starting from the
        // matrix the threshold refit settled on; the given motif keeps its own
        // matrix and only its calls change. Fewer than two sites called that
        // way leave the threshold's calls in place.
        std::vector<std::vector<ScanHit>> calls;
        SiteModelFit fit;
        bool byModel = false;
        if (rule != SiteRule::kThreshold) {
            const Candidate start = called;
            bool modelSettled = false;
            int more = 0;
            if (given) {
                fit = FitSiteModel(called.scores, rule, run.input, run.controls, run.sets.bothStrands, run.threads);
                CallByModel(called.scores, fit, run.input, run.sets.bothStrands, run.threads, calls);
            } else {
                more = RefitByModel(called, rule, run.input, run.controls, run.sets.bothStrands, run.bg, run.threads,
                                    kMaxRefits, fit, calls, modelSettled);
            }
            byModel = CountCalls(calls) >= 2;
            if (byModel && !given) {
                rounds += more;
                settled = modelSettled;
            } else if (!byModel) {
                called = start;
            }
        }
        if (!byModel) CallAtThreshold(called, threshold, run.input, run.sets.bothStrands, run.threads, calls);
        if (byModel) threshold = fit.threshold;
        CallEstimate estimate;
        if (given) {
            estimate = DescribeGivenCalls(run, f, called, threshold, byModel);
        } else {
            cout << "Motif " << report.models.size() + 1 << " refit " << rounds << (rounds == 1 ? " time" : " times")
                 << (settled ? "; its matrix calls the sites it was built from." : "; still moving") << endl;
        }
        if (byModel) {
            DescribeModelCalls(report.models.size() + 1, fit, CountCalls(calls));
        }
        // The fitted model refined by soft EM calls the sites instead, where
        // it keeps the motif; the judge's verdict stands as it was.
        SoftEmFit em;
        bool refined = false;
        if (byModel && calling.refined) {
            std::vector<std::vector<ScanHit>> emCalls;
            refined = Refine(run, called, fit, given, em, emCalls);
            if (refined) calls.swap(emCalls);
            DescribeRefinement(report.models.size() + 1, em, refined, CountCalls(calls));
        }
        run.population->push_back(ReportedModel(run.data, called, calls));
        ModelJudgement m = JudgementOf(run, f, threshold);
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
        m.modelCalls = byModel;
        m.siteFit = fit;
        if (refined) {
            // The refined model is the one reported: its weighted letters,
            // its log-odds against the letter shares, its cut.
            m.refined = true;
            m.em = em;
            m.threshold = em.Cut();
            if (!given) {
                std::copy(&em.expected[0][0], &em.expected[0][0] + B * MAX_K, &m.count[0][0]);
                for (int j = 0; j < em.k; ++j)
                    for (int b = 0; b < B; ++b) m.scores.score[j][b] = em.logProb[j][b] - std::log2(m.background[b]);
            }
        }
        report.models.push_back(m);
    }
    return report;
}
