#include "motif/MotifCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

// Scores closer than this are equal: the same alignment summed in another
// order (a palindrome read forward and reverse) differs in the last bits.
const double kTie = 1e-12;

// The column centred on its mean and scaled to unit length; zero when flat.
std::array<double, 4> UnitColumn(const std::array<double, 4>& x) {
    const double mean = (x[0] + x[1] + x[2] + x[3]) / 4;
    std::array<double, 4> d;
    double ss = 0.0, sq = 0.0;
    for (int b = 0; b < 4; ++b) {
        d[b] = x[b] - mean;
        ss += d[b] * d[b];
        sq += x[b] * x[b];
    }
    if (!(ss > 1e-12 * sq)) return {0.0, 0.0, 0.0, 0.0};  // also catches NaN input
    const double norm = std::sqrt(ss);
    for (double& v : d) v /= norm;
    return d;
}

// The dot product of unit columns, kept in [-1, 1] against rounding.
inline double Dot(const std::array<double, 4>& x, const std::array<double, 4>& y) {
    const double r = x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3];
    return std::min(1.0, std::max(-1.0, r));
}

// The same against the complement of y (A<->T, C<->G).
inline double DotComplement(const std::array<double, 4>& x, const std::array<double, 4>& y) {
    const double r = x[0] * y[3] + x[1] * y[2] + x[2] * y[1] + x[3] * y[0];
    return std::min(1.0, std::max(-1.0, r));
}

// Whether candidate c beats the best so far under the documented tie rule.
bool Better(const MotifAlignment& c, const MotifAlignment& best) {
    if (c.score > best.score + kTie) return true;
    if (c.score < best.score - kTie) return false;
    if (c.overlap != best.overlap) return c.overlap > best.overlap;
    if (c.reverse != best.reverse) return !c.reverse;
    if (std::abs(c.offset) != std::abs(best.offset)) return std::abs(c.offset) < std::abs(best.offset);
    return c.offset < best.offset;
}

}  // namespace

MotifColumns ColumnsFromCounts(const double (&count)[B][MAX_K], int k, double pseudo) {
    if (k < 1 || k > MAX_K) throw std::invalid_argument("ColumnsFromCounts: width out of range");
    if (!(pseudo >= 0.0)) throw std::invalid_argument("ColumnsFromCounts: negative pseudocount");
    MotifColumns m(k);
    for (int j = 0; j < k; ++j) {
        double total = 0.0;
        for (int b = 0; b < B; ++b) total += count[b][j] + pseudo;
        for (int b = 0; b < B; ++b) m[j][b] = total > 0.0 ? (count[b][j] + pseudo) / total : 0.25;
    }
    return m;
}

MotifColumns ReverseComplement(const MotifColumns& m) {
    MotifColumns r(m.size());
    for (size_t j = 0; j < m.size(); ++j) {
        const std::array<double, 4>& c = m[m.size() - 1 - j];
        r[j] = {c[3], c[2], c[1], c[0]};
    }
    return r;
}

double ColumnSimilarity(const std::array<double, 4>& x, const std::array<double, 4>& y) {
    return Dot(UnitColumn(x), UnitColumn(y));
}

PreparedMotif::PreparedMotif(const MotifColumns& m) : unit(m.size()) {
    for (size_t j = 0; j < m.size(); ++j) unit[j] = UnitColumn(m[j]);
}

MotifAlignment BestAlignment(const PreparedMotif& a, const PreparedMotif& b, int minOverlap) {
    const int wa = static_cast<int>(a.unit.size()), wb = static_cast<int>(b.unit.size());
    if (wa == 0 || wb == 0) throw std::invalid_argument("BestAlignment: empty motif");
    const int need = std::max(1, std::min({minOverlap, wa, wb}));
    MotifAlignment best;
    best.score = -2.0;  // below every mean, so the first candidate is taken
    for (int r = 0; r < 2; ++r)
        for (int offset = need - wb; offset <= wa - need; ++offset) {
            // a's columns lo..hi-1 lie under b's columns lo-offset..hi-1-offset.
            const int lo = std::max(0, offset), hi = std::min(wa, offset + wb);
            double sum = 0.0;
            if (r == 0)
                for (int j = lo; j < hi; ++j) sum += Dot(a.unit[j], b.unit[j - offset]);
            else  // column i of b's reverse complement is the complement of b's column wb-1-i
                for (int j = lo; j < hi; ++j) sum += DotComplement(a.unit[j], b.unit[wb - 1 - (j - offset)]);
            MotifAlignment c;
            c.score = sum / (hi - lo);
            c.offset = offset;
            c.reverse = r == 1;
            c.overlap = hi - lo;
            if (Better(c, best)) best = c;
        }
    return best;
}

MotifAlignment BestAlignment(const MotifColumns& a, const MotifColumns& b, int minOverlap) {
    return BestAlignment(PreparedMotif(a), PreparedMotif(b), minOverlap);
}

bool SameMotif(const MotifColumns& a, const MotifColumns& b) {
    return BestAlignment(a, b, kSameMotifOverlap).score >= kSameMotifSimilarity;
}
