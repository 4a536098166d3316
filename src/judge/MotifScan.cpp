#include "judge/MotifScan.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

const float kNoWindow = -std::numeric_limits<float>::infinity();

// Calls f(p, forwardScore, reverseScore) for every admissible window start p
// of a forward record, in ascending order; reverseScore is -infinity when only
// the forward strand is searched. BestScore and SitesAbove both scan through
// here, so they add the same terms in the same order.
template <class F>
void ScanWindows(const LogOdds& m, const SeqRecord& r, bool bothStrands, F&& f) {
    const uint8_t* c = r.code.data();
    ForEachOpenWindow(r, m.k, [&](int p) {
        f(p, m.Forward(c + p), bothStrands ? m.Reverse(c + p) : -std::numeric_limits<double>::infinity());
    });
}

}  // namespace

double LogOdds::Max() const {
    double s = 0.0;
    for (int j = 0; j < k; ++j) s += *std::max_element(score[j], score[j] + B);
    return s;
}

LogOdds LogOddsFromCounts(const double (&count)[B][MAX_K], int k, const double* bg) {
    if (k < 1 || k > MAX_K) throw std::invalid_argument("LogOddsFromCounts: width outside 1..MAX_K");
    double total = 0.0;
    for (int b = 0; b < B; ++b) {
        if (!(bg[b] > 0.0)) throw std::invalid_argument("LogOddsFromCounts: background frequencies must be positive");
        total += bg[b];
    }
    double q[B];
    for (int b = 0; b < B; ++b) q[b] = bg[b] / total;
    LogOdds m;
    m.k = k;
    for (int j = 0; j < k; ++j) {
        double n = 0.0;
        for (int b = 0; b < B; ++b) n += count[b][j];
        if (n <= 0.0) continue;  // nothing known: the background itself, score 0
        const double root = std::sqrt(n);
        for (int b = 0; b < B; ++b) m.score[j][b] = std::log2((count[b][j] + root * q[b]) / (n + root) / q[b]);
    }
    return m;
}

LogOdds LogOddsFromShares(const double (&share)[B][MAX_K], int n, int k, const double* bg) {
    double count[B][MAX_K] = {};
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k && j < MAX_K; ++j) count[b][j] = share[b][j] * n;
    return LogOddsFromCounts(count, k, bg);
}

float BestScore(const LogOdds& m, const SeqRecord& forward, bool bothStrands) {
    double best = -std::numeric_limits<double>::infinity();
    ScanWindows(m, forward, bothStrands, [&](int, double fw, double rv) { best = std::max(best, std::max(fw, rv)); });
    return static_cast<float>(best);
}

void BestScorePerSequence(const LogOdds& m, const std::vector<SeqRecord>& strands, int numSeq, bool bothStrands,
                          std::vector<float>& best) {
    if (numSeq < 0 || static_cast<size_t>(numSeq) > strands.size())
        throw std::invalid_argument("BestScorePerSequence: more sequences than records");
    best.assign(static_cast<size_t>(numSeq), kNoWindow);
    for (size_t s = 0; s < best.size(); ++s) best[s] = BestScore(m, strands[s], bothStrands);
}

ThresholdChoice ChooseThreshold(const std::vector<float>& inputBest, const std::vector<float>& controlBest) {
    // The scores of sequences with a window, highest first.
    auto sorted = [](const std::vector<float>& v) {
        std::vector<float> s;
        for (float x : v)
            if (x != kNoWindow) s.push_back(x);
        std::sort(s.begin(), s.end(), std::greater<float>());
        return s;
    };
    const std::vector<float> in = sorted(inputBest);
    const std::vector<float> ctl = sorted(controlBest);
    ThresholdChoice best;
    best.n1 = static_cast<int>(in.size());
    best.n2 = static_cast<int>(ctl.size());
    size_t b = 0;
    for (size_t a = 0; a < in.size();) {
        const float t = in[a];
        while (a < in.size() && in[a] == t) ++a;  // every input score >= t
        while (b < ctl.size() && ctl[b] >= t) ++b;
        const FisherResult f = FisherEnrichment(static_cast<int>(a), best.n1, static_cast<int>(b), best.n2);
        if (best.a == 0 || f.log10p < best.log10p) {  // the first table, or a better one
            best.threshold = t;
            best.a = static_cast<int>(a);
            best.b = static_cast<int>(b);
            best.p = f.p;
            best.log10p = f.log10p;
        }
    }
    return best;
}

void WindowScores(const LogOdds& m, const SeqRecord& forward, bool bothStrands, std::vector<WindowScore>& out) {
    out.clear();
    ScanWindows(m, forward, bothStrands, [&](int p, double fw, double rv) { out.push_back({p, fw, rv}); });
}

void SitesAbove(const LogOdds& m, const SeqRecord& forward, double t, bool bothStrands, std::vector<ScanHit>& hits) {
    hits.clear();
    const int last = forward.len - m.k;  // reverse position = last - forward position
    ScanWindows(m, forward, bothStrands, [&](int p, double fw, double rv) {
        const bool fwIn = static_cast<float>(fw) >= t;
        const bool rvIn = static_cast<float>(rv) >= t;
        if (fwIn && (!rvIn || fw >= rv))
            hits.push_back({p, true, fw});
        else if (rvIn)
            hits.push_back({last - p, false, rv});
    });
}

bool BestSite(const LogOdds& m, const SeqRecord& forward, bool bothStrands, float& best, ScanHit& top,
              std::vector<ScanHit>& hits) {
    best = BestScore(m, forward, bothStrands);
    if (std::isinf(best)) return false;
    SitesAbove(m, forward, best, bothStrands, hits);
    if (hits.empty()) return false;
    const ScanHit* first = &hits[0];
    for (const ScanHit& h : hits)
        if (h.score > first->score) first = &h;
    top = *first;
    return true;
}

int LetterOnSiteStrand(const SeqRecord& forward, const ScanHit& site, int off) {
    const int at = site.forward ? site.pos + off : forward.len - 1 - site.pos - off;
    if (at < 0 || at >= forward.len || forward.WindowMasked(at, 1)) return -1;
    const uint8_t code = forward.code[static_cast<size_t>(at)];
    if (code >= B) return -1;
    return site.forward ? code : 3 - code;
}
