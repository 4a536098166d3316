#include "known/KnownMotifs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "core/Parallel.h"
#include "core/Statistics.h"

namespace {

const float kNoSite = -std::numeric_limits<float>::infinity();
// What a letter no window may hold scores: far below any real window, so
// that a window holding one never reaches a threshold (kept finite so that
// sums stay ordinary numbers).
const float kBarred = -1e9f;

std::vector<double> Normalised(const double* bg) {
    double total = 0.0;
    for (int b = 0; b < 4; ++b) total += bg[b];
    std::vector<double> out(4);
    for (int b = 0; b < 4; ++b) out[static_cast<size_t>(b)] = bg[b] / total;
    return out;
}

// Input (or control) sequences with a window and with a site at t.
void CountSites(const std::vector<float>& best, float t, int& withSite, int& withWindow) {
    withSite = 0;
    withWindow = 0;
    for (float x : best) {
        if (x == kNoSite) continue;
        ++withWindow;
        if (x >= t) ++withSite;
    }
}

}  // namespace

PackedLetters::PackedLetters(const std::vector<SeqRecord>& records) {
    size_t total = 0;
    for (const SeqRecord& r : records) total += static_cast<size_t>(r.len);
    code.reserve(total);
    start.reserve(records.size() + 1);
    start.push_back(0);
    for (const SeqRecord& r : records) {
        for (int i = 0; i < r.len; ++i) {
            const uint8_t c = r.code[static_cast<size_t>(i)];
            code.push_back(c >= 4 || r.WindowMasked(i, 1) ? uint8_t(4) : c);
        }
        start.push_back(code.size());
    }
}

std::vector<float> KnownScoreTable(const MotifColumns& columns, const double* bg, bool reverse) {
    const std::vector<double> q = Normalised(bg);
    const int k = static_cast<int>(columns.size());
    const double n = kKnownMotifSites;
    const double pseudo = std::sqrt(n);
    std::vector<float> table(static_cast<size_t>(k) * 5, kBarred);
    for (int j = 0; j < k; ++j) {
        // The reverse complement's offset j meets the complement of column k - 1 - j.
        const std::array<double, 4>& col = columns[static_cast<size_t>(reverse ? k - 1 - j : j)];
        for (int b = 0; b < 4; ++b) {
            const int letter = reverse ? 3 - b : b;
            const double share = (col[static_cast<size_t>(letter)] * n + pseudo * q[static_cast<size_t>(letter)]) / (n + pseudo);
            table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(std::log2(share / q[static_cast<size_t>(letter)]));
        }
    }
    return table;
}

double ScoreForPValue(const std::vector<float>& table, int width, const double* bg, double p) {
    const std::vector<double> q = Normalised(bg);
    // Each column's scores as steps of the grid above its lowest score.
    std::vector<double> dist(1, 1.0);
    double lowest = 0.0, top = 0.0;
    for (int j = 0; j < width; ++j) {
        const float* s = &table[static_cast<size_t>(j * 5)];
        const double low = *std::min_element(s, s + 4);
        lowest += low;
        top += *std::max_element(s, s + 4);
        int step[4];
        int most = 0;
        for (int b = 0; b < 4; ++b) {
            step[b] = static_cast<int>(std::lround((s[b] - low) / kKnownGrid));
            most = std::max(most, step[b]);
        }
        std::vector<double> next(dist.size() + static_cast<size_t>(most), 0.0);
        for (size_t i = 0; i < dist.size(); ++i) {
            if (dist[i] == 0.0) continue;
            for (int b = 0; b < 4; ++b) next[i + static_cast<size_t>(step[b])] += dist[i] * q[static_cast<size_t>(b)];
        }
        dist.swap(next);
    }
    // The lowest grid score whose upper tail is at most p; the best window's
    // score when even that one is likelier.
    double tail = 0.0;
    size_t at = dist.size();
    for (size_t i = dist.size(); i-- > 0;) {
        if (tail + dist[i] > p) break;
        tail += dist[i];
        at = i;
    }
    if (at == dist.size()) return top;
    return std::min(top, lowest + static_cast<double>(at) * kKnownGrid);
}

void BestWindowScores(const PackedLetters& set, const std::vector<float>& forward, const std::vector<float>& reverse,
                      int k, bool bothStrands, std::vector<float>& best) {
    const size_t n = set.size();
    best.assign(n, kNoSite);
    const float* fw = forward.data();
    const float* rv = reverse.data();
    for (size_t i = 0; i < n; ++i) {
        const size_t from = set.start[i], to = set.start[i + 1];
        if (to - from < static_cast<size_t>(k)) continue;
        float top = kBarred;
        for (size_t p = from; p + static_cast<size_t>(k) <= to; ++p) {
            const uint8_t* c = &set.code[p];
            float f = 0.0f, r = 0.0f;
            for (int j = 0; j < k; ++j) {
                f += fw[j * 5 + c[j]];
                r += rv[j * 5 + c[j]];
            }
            top = std::max(top, bothStrands ? std::max(f, r) : f);
        }
        // A window holding a barred letter scores near kBarred: no window.
        if (top > kBarred / 2) best[i] = top;
    }
}

std::vector<KnownMotifResult> TestKnownMotifs(const std::vector<DbMotif>& db, const std::vector<SeqRecord>& input,
                                              const std::vector<SeqRecord>& controls, bool bothStrands,
                                              const double* bg, int threads) {
    const PackedLetters in(input), ctl(controls);
    const double tested = static_cast<double>(std::max<size_t>(db.size(), 1));
    std::vector<KnownMotifResult> out(db.size());
    ParallelFor(static_cast<int>(db.size()), threads, [&](int m) {
        const DbMotif& motif = db[static_cast<size_t>(m)];
        KnownMotifResult& r = out[static_cast<size_t>(m)];
        r.index = static_cast<size_t>(m);
        r.id = motif.id;
        r.name = motif.name;
        r.columns = motif.columns;
        const int k = static_cast<int>(motif.columns.size());
        const std::vector<float> fw = KnownScoreTable(motif.columns, bg, false);
        const std::vector<float> rv = KnownScoreTable(motif.columns, bg, true);
        r.threshold = ScoreForPValue(fw, k, bg, kKnownWindowP);
        std::vector<float> best;
        const float t = static_cast<float>(r.threshold);
        BestWindowScores(in, fw, rv, k, bothStrands, best);
        CountSites(best, t, r.a, r.n1);
        BestWindowScores(ctl, fw, rv, k, bothStrands, best);
        CountSites(best, t, r.b, r.n2);
        r.log10p = FisherEnrichment(r.a, r.n1, r.b, r.n2).log10p;
        r.log10e = r.log10p + std::log10(tested);
    });
    std::stable_sort(out.begin(), out.end(),
                     [](const KnownMotifResult& x, const KnownMotifResult& y) { return x.log10p < y.log10p; });
    return out;
}
