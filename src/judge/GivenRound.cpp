#include "judge/GivenRound.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "core/Console.h"
#include "core/Robust.h"
#include "judge/GivenMotif.h"

using std::cout;
using std::endl;

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
    Say() << "Motif 1 given by the known sites: " << ConsensusOf(c) << ", E-value "
         << FormatEvalue(Log10E(run.verdicts[at], run.candidates.size()))
         << " (reported whatever its E-value; for information)." << endl;
}

CallEstimate DescribeGivenCalls(const JudgedRun& run, size_t f, const Candidate& called, double threshold,
                                bool byModel) {
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
    std::ostream& say = Say();
    say << "Motif 1's sites are called at " << threshold << " bits";
    if (byModel)
        say << " (where the mixture fitted to the input reaches a posterior of one half)";
    else
        say << " (a background p-value of " << kGivenWindowP << " per window)";
    if (log10e > std::log10(run.s.evalue))
        say << "; the known sites' motif is not enriched in the input (E-value " << FormatEvalue(log10e) << ")";
    say << ": estimated false calls " << estimate.falseShare * 100 << "%, estimated recall " << estimate.recall * 100
         << "% (each of the " << estimate.known << " known sites scored by the matrix without its own share)." << endl;
    return estimate;
}
