#include "judge/GivenMotif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "known/KnownMotifs.h"

namespace {

// A site's letters as codes; false when it holds a letter other than A, C, G, T.
bool SiteCodes(const std::string& site, int k, uint8_t* codes) {
    if (static_cast<int>(site.size()) != k) return false;
    for (int j = 0; j < k; ++j) {
        const int code = LetterCode(site[static_cast<size_t>(j)]);
        if (code < 0) return false;
        codes[j] = static_cast<uint8_t>(code);
    }
    return true;
}

void AddSite(const std::vector<uint8_t>& codes, double sign, double (&count)[B][MAX_K]) {
    for (size_t j = 0; j < codes.size(); ++j) count[codes[j]][j] += sign;
}

std::vector<uint8_t> ReverseComplement(const std::vector<uint8_t>& codes) {
    std::vector<uint8_t> rc(codes.size());
    for (size_t j = 0; j < codes.size(); ++j) rc[j] = static_cast<uint8_t>(3 - codes[codes.size() - 1 - j]);
    return rc;
}

// The matrix's threshold of background p-value kGivenWindowP.
double WindowThreshold(const LogOdds& m, const double* bg) {
    std::vector<float> table(static_cast<size_t>(m.k * 5), -1e9f);
    for (int j = 0; j < m.k; ++j)
        for (int b = 0; b < B; ++b) table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(m.score[j][b]);
    return ScoreForPValue(table, m.k, bg, kGivenWindowP);
}

// The known sites' codes, each on the strand that agrees best with the others
// (KnownSiteCounts), and their counts.
std::vector<std::vector<uint8_t>> OrientedSites(const std::vector<std::string>& known, int k, bool bothStrands,
                                                double (&count)[B][MAX_K]) {
    std::vector<std::vector<uint8_t>> sites;
    for (const std::string& site : known) {
        std::vector<uint8_t> codes(static_cast<size_t>(k));
        if (SiteCodes(site, k, codes.data())) sites.push_back(std::move(codes));
    }
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) count[b][j] = 0.0;
    for (const auto& s : sites) AddSite(s, 1.0, count);
    if (!bothStrands) return sites;
    // Each site in turn goes to the strand the others score higher. A flip
    // raises the site's agreement with the rest, so the passes settle; ten
    // bound them all the same.
    static const double kUniform[B] = {0.25, 0.25, 0.25, 0.25};
    for (int pass = 0; pass < 10; ++pass) {
        bool flipped = false;
        for (auto& s : sites) {
            AddSite(s, -1.0, count);
            const LogOdds others = LogOddsFromCounts(count, k, kUniform);
            if (others.Reverse(s.data()) > others.Forward(s.data()) + 1e-9) {
                s = ReverseComplement(s);
                flipped = true;
            }
            AddSite(s, 1.0, count);
        }
        if (!flipped) break;
    }
    return sites;
}

}  // namespace

int KnownSiteCounts(const std::vector<std::string>& known, int k, bool bothStrands, double (&count)[B][MAX_K]) {
    return static_cast<int>(OrientedSites(known, k, bothStrands, count).size());
}

GivenFit FitGivenMotif(Candidate& c, double& t, const double (&prior)[B][MAX_K], int priorSites,
                       const std::vector<SeqRecord>& input, bool bothStrands, const double* bg, int threads, int most) {
    GivenFit fit;
    fit.settled = most == 0;
    const int k = c.width;
    double last[B][MAX_K] = {};
    t = WindowThreshold(c.scores, bg);
    for (int round = 0; round < most; ++round) {
        double called[B][MAX_K];
        const int n = SiteLetterCounts(c.scores, t, input, bothStrands, threads, called);
        if (round > 0 && std::memcmp(called, last, sizeof(called)) == 0) {
            fit.settled = true;
            break;
        }
        std::memcpy(last, called, sizeof(called));
        for (int b = 0; b < B; ++b)
            for (int j = 0; j < k; ++j) c.count[b][j] = called[b][j] + kGivenPriorWeight * prior[b][j];
        c.nsites = n + static_cast<int>(std::lround(kGivenPriorWeight * priorSites));
        c.scores = LogOddsFromCounts(c.count, k, bg);
        c.columns = ColumnsFromCounts(c.count, k, 0.0);
        t = WindowThreshold(c.scores, bg);
        ++fit.rounds;
    }
    double unused[B][MAX_K];
    fit.calls = SiteLetterCounts(c.scores, t, input, bothStrands, threads, unused);
    if (fit.calls == 0) {
        // No window reaches the threshold: the input's best one is the site
        // reported, so that the motif still has a place to be shown.
        float best = -std::numeric_limits<float>::infinity();
        for (const SeqRecord& r : input) best = std::max(best, BestScore(c.scores, r, bothStrands));
        if (std::isfinite(best)) {
            t = best;
            fit.calls = SiteLetterCounts(c.scores, t, input, bothStrands, threads, unused);
        }
    }
    return fit;
}

double LeaveOneOutRecall(const Candidate& c, const std::vector<std::string>& known, bool bothStrands,
                         const double* bg, double weight) {
    double unused[B][MAX_K];
    const std::vector<std::vector<uint8_t>> sites = OrientedSites(known, c.width, bothStrands, unused);
    if (sites.empty()) return 0.0;
    int reached = 0;
    for (const std::vector<uint8_t>& site : sites) {
        double without[B][MAX_K];
        std::memcpy(without, c.count, sizeof(without));
        AddSite(site, -weight, without);
        for (int b = 0; b < B; ++b)
            for (int j = 0; j < c.width; ++j) without[b][j] = std::max(0.0, without[b][j]);
        const LogOdds m = LogOddsFromCounts(without, c.width, bg);
        const double score = bothStrands ? std::max(m.Forward(site.data()), m.Reverse(site.data())) : m.Forward(site.data());
        reached += static_cast<float>(score) >= WindowThreshold(m, bg) ? 1 : 0;
    }
    return static_cast<double>(reached) / sites.size();
}
