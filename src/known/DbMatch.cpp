#include "known/DbMatch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace {

const int R = kMatchBinsPerUnit;
const int kBins = 2 * R + 1;  // rounded similarities -R..R, i.e. -1..1

using Column = std::array<double, 4>;

// Similarity of unit columns (PreparedMotif), kept in [-1, 1] against rounding.
inline double Dot(const Column& x, const Column& y) {
    const double r = x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3];
    return std::min(1.0, std::max(-1.0, r));
}

// The same against the complement of y (A<->T, C<->G).
inline double DotComplement(const Column& x, const Column& y) {
    const double r = x[0] * y[3] + x[1] * y[2] + x[2] * y[1] + x[3] * y[0];
    return std::min(1.0, std::max(-1.0, r));
}

// The nearest bin (halves up): s is in [-1, 1], so the truncated value is
// never negative and truncation is the floor, without a call into libm.
inline int Bin(double s) { return static_cast<int>(s * R + (R + 0.5)) - R; }

// Upper tails of the null distribution of the rounded sum over every range
// of query columns a .. a+L-1: Tail(a, L, s) = P(sum >= s), s in -R L .. R L.
class NullTails {
public:
    NullTails(const std::vector<Column>& query, const std::vector<Column>& db) : w_(static_cast<int>(query.size())) {
        // Per query column, the distribution of its rounded similarity to a
        // database column drawn at random, either orientation.
        std::vector<double> column(static_cast<size_t>(w_) * kBins, 0.0);
        const double share = 1.0 / (2.0 * static_cast<double>(db.size()));
        for (int i = 0; i < w_; ++i) {
            double* h = &column[static_cast<size_t>(i) * kBins];
            for (const Column& t : db) {
                h[Bin(Dot(query[i], t)) + R] += share;
                h[Bin(DotComplement(query[i], t)) + R] += share;
            }
        }
        base_.assign(static_cast<size_t>(w_) * w_, 0);
        size_t total = 0;
        for (int a = 0; a < w_; ++a)
            for (int L = 1; a + L <= w_; ++L) {
                base_[static_cast<size_t>(a) * w_ + L - 1] = total;
                total += static_cast<size_t>(2 * R * L + 1);
            }
        tail_.assign(total, 0.0);
        // Where each column's distribution is not zero: the convolution need
        // not visit similarities no database column reaches.
        std::vector<int> lo(w_, kBins), hi(w_, -1);
        for (int i = 0; i < w_; ++i)
            for (int y = 0; y < kBins; ++y)
                if (column[static_cast<size_t>(i) * kBins + y] != 0.0) lo[i] = std::min(lo[i], y), hi[i] = y;
        // From each start, the distribution of the sum grows one column at a
        // time by convolution; its tail is kept at every length. dist[x] is
        // the probability of the sum x - R L, zero outside dlo..dhi.
        std::vector<double> dist, next;
        dist.reserve(static_cast<size_t>(2 * R * w_ + 1));
        next.reserve(dist.capacity());
        for (int a = 0; a < w_; ++a) {
            dist.assign(column.begin() + static_cast<long>(a) * kBins, column.begin() + static_cast<long>(a + 1) * kBins);
            int dlo = lo[a], dhi = hi[a];
            for (int L = 1;; ++L) {
                double* t = &tail_[base_[static_cast<size_t>(a) * w_ + L - 1]];
                double sum = 0.0;
                for (int k = static_cast<int>(dist.size()) - 1; k >= 0; --k) {
                    if (k <= dhi && k >= dlo) sum += dist[static_cast<size_t>(k)];
                    t[k] = std::min(1.0, sum);
                }
                if (a + L == w_) break;
                const int c = a + L;
                const double* h = &column[static_cast<size_t>(c) * kBins];
                next.assign(dist.size() + kBins - 1, 0.0);
                for (int y = lo[c]; y <= hi[c]; ++y) {
                    const double hy = h[y];
                    if (hy == 0.0) continue;
                    double* out = next.data() + y;
                    for (int x = dlo; x <= dhi; ++x) out[x] += dist[static_cast<size_t>(x)] * hy;
                }
                dlo += lo[c];
                dhi += hi[c];
                dist.swap(next);
            }
        }
    }

    double Tail(int a, int L, int s) const { return tail_[base_[static_cast<size_t>(a) * w_ + L - 1] + s + R * L]; }

private:
    int w_;
    std::vector<size_t> base_;  // start of range (a, L) in tail_, at a * w_ + L - 1
    std::vector<double> tail_;
};

// The documented order of alignments of one database motif.
struct Candidate {
    double p = 2.0;  // above every p-value, so the first candidate is taken
    double score = 0.0;
    int overlap = 0, offset = 0;
    bool reverse = false;
};

bool Better(const Candidate& c, const Candidate& best) {
    if (c.p != best.p) return c.p < best.p;
    if (c.score != best.score) return c.score > best.score;
    if (c.overlap != best.overlap) return c.overlap > best.overlap;
    if (c.reverse != best.reverse) return !c.reverse;
    if (std::abs(c.offset) != std::abs(best.offset)) return std::abs(c.offset) < std::abs(best.offset);
    return c.offset < best.offset;
}

}  // namespace

MotifMatcher::MotifMatcher(const std::vector<DbMotif>& db) : db_(db) {
    first_.push_back(0);
    for (const DbMotif& m : db_) {
        if (m.columns.empty()) throw std::invalid_argument("MotifMatcher: database motif " + m.id + " is empty");
        const PreparedMotif prepared(m.columns);
        unit_.insert(unit_.end(), prepared.unit.begin(), prepared.unit.end());
        first_.push_back(unit_.size());
    }
}

std::vector<MotifMatch> MotifMatcher::Match(const MotifColumns& query) const {
    if (query.empty() || query.size() > static_cast<size_t>(kMatchMaxQueryWidth))
        throw std::invalid_argument("MotifMatcher: a query must have 1 to " + std::to_string(kMatchMaxQueryWidth) +
                                    " columns");
    std::vector<MotifMatch> matches;
    if (db_.empty()) return matches;
    const PreparedMotif q(query);
    const int wq = static_cast<int>(query.size());
    const NullTails null(q.unit, unit_);
    const double motifs = static_cast<double>(db_.size());

    matches.reserve(db_.size());
    for (size_t m = 0; m < db_.size(); ++m) {
        const Column* d = unit_.data() + first_[m];
        const int wd = static_cast<int>(first_[m + 1] - first_[m]);
        const int need = std::max(1, std::min({kMatchMinOverlap, wq, wd}));
        Candidate best;
        for (int r = 0; r < 2; ++r)
            for (int offset = need - wd; offset <= wq - need; ++offset) {
                // Query columns lo..hi-1 face database columns lo-offset..hi-1-offset.
                const int lo = std::max(0, offset), hi = std::min(wq, offset + wd);
                double score = 0.0;
                int rounded = 0;
                for (int j = lo; j < hi; ++j) {
                    // Column i of the reverse complement is the complement of column wd-1-i.
                    const double s = r == 0 ? Dot(q.unit[j], d[j - offset]) : DotComplement(q.unit[j], d[wd - 1 - (j - offset)]);
                    score += s;
                    rounded += Bin(s);
                }
                Candidate c;
                c.p = null.Tail(lo, hi - lo, rounded);
                c.score = score;
                c.overlap = hi - lo;
                c.offset = offset;
                c.reverse = r == 1;
                if (Better(c, best)) best = c;
            }
        const double tried = 2.0 * (wq + wd - 2 * need + 1);
        double p = best.p >= 1.0 ? 1.0 : -std::expm1(tried * std::log1p(-best.p));
        p = std::min(1.0, std::max(p, std::numeric_limits<double>::min()));

        MotifMatch match;
        match.index = static_cast<int>(m);
        match.id = db_[m].id;
        match.name = db_[m].name;
        match.pValue = p;
        match.eValue = p * motifs;
        match.reverse = best.reverse;
        match.offset = best.offset;
        match.overlap = best.overlap;
        match.score = best.score;
        matches.push_back(std::move(match));
    }
    std::sort(matches.begin(), matches.end(), [](const MotifMatch& x, const MotifMatch& y) {
        if (x.pValue != y.pValue) return x.pValue < y.pValue;
        if (x.id != y.id) return x.id < y.id;
        return x.index < y.index;
    });
    return matches;
}

std::vector<MotifMatch> MotifMatcher::BestMatches(const MotifColumns& query, size_t maxMatches, double maxE) const {
    std::vector<MotifMatch> all = Match(query);
    std::vector<MotifMatch> best;
    for (MotifMatch& m : all) {
        if (best.size() >= maxMatches || !(m.eValue <= maxE)) break;
        best.push_back(std::move(m));
    }
    return best;
}
