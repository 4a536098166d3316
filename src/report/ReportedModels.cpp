#include "report/ReportedModels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const int kMaxReported = 5;

// A count that is a whole number up to rounding noise (s x share) becomes exact.
double TidyCount(double c) {
    double r = std::round(c);
    return std::fabs(c - r) < 1e-6 ? r : c;
}

}  // namespace

std::vector<ModelView> ReportedModels(Midlayer* data, const std::vector<Individual>& population,
                                      const JudgedReport* judged) {
    std::vector<ModelView> models;
    const size_t n = judged ? population.size() : std::min<size_t>(population.size(), kMaxReported);
    for (size_t r = 0; r < n; ++r) {
        const Individual& ind = population[r];
        const int K = judged ? judged->models[r].width : data->GetK();
        ModelView m;
        if (judged) {
            const ModelJudgement& v = judged->models[r];
            m.judged = true;
            m.evalue = FormatEvalue(v.log10e);
            m.log10e = v.log10e;
            m.log10p = v.log10p;
            m.threshold = v.threshold;
            m.search = v.search;
            m.seedWord = v.seedWord;
            m.seedKind = v.seedKind;
        }
        m.rank = static_cast<int>(r) + 1;
        m.id = "QIRO-" + std::to_string(m.rank);
        m.consensus.assign(ind.Cons, strnlen(ind.Cons, static_cast<size_t>(K)));
        m.width = K;
        m.mismatch = ind.Mismatch;
        m.ic = ind.IC;
        m.complexity = ind.Complexity;
        m.maps = ind.MAPS;
        const bool listForm = !ind.Sites.empty();
        const size_t s = listForm ? ind.Sites.size() : ind.Genes.size();
        m.nsites = static_cast<int>(s);
        m.counts.assign(4, std::vector<double>(static_cast<size_t>(K), 0.0));
        for (int b = 0; b < 4; ++b)
            for (int j = 0; j < K; ++j) m.counts[b][j] = TidyCount(static_cast<double>(s) * ind.MismatchMatrix[b][j]);
        for (size_t i = 0; i < s; ++i) {
            const int strand = listForm ? ind.Sites[i].Strand : static_cast<int>(i);
            const int p = listForm ? ind.Sites[i].Pos : ind.Genes[i];
            const SeqRecord& rec = data->Seqs[strand];
            SiteView v;
            v.sequence = rec.Name();
            v.length = rec.len;
            v.forward = rec.forward;
            v.score = listForm ? ind.Sites[i].Score : ind.GeneMismatch[i];
            v.letters = rec.Letters(p, K);
            if (rec.forward) {
                v.start = p;
                v.forwardLetters = v.letters;
            } else {
                v.start = rec.len - p - K;
                v.forwardLetters = Midlayer::RevComp(v.letters);
            }
            m.sites.push_back(v);
        }
        if (judged) {
            // A judged model is reported by the matrix that called its sites.
            const ModelJudgement& v = judged->models[r];
            m.logOdds.assign(4, std::vector<double>(static_cast<size_t>(K), 0.0));
            for (int b = 0; b < 4; ++b)
                for (int j = 0; j < K; ++j) {
                    m.counts[b][j] = v.count[b][j];
                    m.logOdds[b][j] = v.scores.score[j][b];
                }
            for (int b = 0; b < 4; ++b) m.background[b] = v.background[b];
            m.pseudocount = v.refined && !v.given ? kStartMatrixSites : std::sqrt(static_cast<double>(v.nsites));
            m.refits = v.refits;
            m.settled = v.settled;
            m.given = v.given;
            m.estimate = v.estimate;
            m.modelCalls = v.modelCalls;
            m.siteFit = v.siteFit;
            m.refined = v.refined;
            m.em = v.em;
        }
        models.push_back(m);
    }
    return models;
}

RunView MakeRunView(const RunSettings& s, uint32_t seed, Midlayer* data, const JudgedReport* judged) {
    RunView run;
    run.settings = &s;
    run.seed = seed;
    run.sequences = data->GetNumSeq();
    run.width = data->GetK();
    const double* bg = data->GetFreqInfo();
    std::copy(bg, bg + 4, run.background);
    run.doubleStrand = data->GetDoubleStrand();
    run.judged = judged;
    run.backgroundWords = data->Background().dense;
    return run;
}
