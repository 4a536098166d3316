#include "judge/AlignmentSignificance.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

void Normalised(const double* bg, double (&out)[B]) {
    double total = 0.0;
    for (int b = 0; b < B; ++b) {
        if (!(bg[b] > 0)) throw std::invalid_argument("background frequencies must be positive");
        total += bg[b];
    }
    for (int b = 0; b < B; ++b) out[b] = bg[b] / total;
}

double ColumnLlr(const int (&c)[B], int n, const double (&q)[B]) {
    double llr = 0.0;
    for (int b = 0; b < B; ++b)
        if (c[b] > 0) llr += c[b] * std::log(c[b] / (n * q[b]));
    return std::max(0.0, llr);
}

}  // namespace

double AlignmentLlr(const double (&count)[B][MAX_K], int w, int n, const double* bg) {
    double q[B];
    Normalised(bg, q);
    double llr = 0.0;
    for (int j = 0; j < w; ++j)
        for (int b = 0; b < B; ++b)
            if (count[b][j] > 0) llr += count[b][j] * std::log(count[b][j] / (n * q[b]));
    return llr;
}

LlrNull::LlrNull(const double* bg) { Normalised(bg, bg_); }

LlrNull::PerCount& LlrNull::Count(int n) {
    auto found = counts_.find(n);
    if (found != counts_.end()) return found->second;
    PerCount& pc = counts_[n];
    double qMin = bg_[0];
    for (int b = 1; b < B; ++b) qMin = std::min(qMin, bg_[b]);
    // The largest a column reaches: every letter the rarest one.
    pc.step = n * std::log(1.0 / qMin) / kLlrBins;
    pc.column.assign(kLlrBins + 1, 0.0L);
    double logQ[B];
    for (int b = 0; b < B; ++b) logQ[b] = std::log(bg_[b]);
    const double logFactN = std::lgamma(n + 1.0);
    int c[B];
    for (c[0] = 0; c[0] <= n; ++c[0])
        for (c[1] = 0; c[0] + c[1] <= n; ++c[1])
            for (c[2] = 0; c[0] + c[1] + c[2] <= n; ++c[2]) {
                c[3] = n - c[0] - c[1] - c[2];
                double logP = logFactN;
                for (int b = 0; b < B; ++b) logP += c[b] * logQ[b] - std::lgamma(c[b] + 1.0);
                const int bin = std::min(kLlrBins, static_cast<int>(std::lround(ColumnLlr(c, n, bg_) / pc.step)));
                pc.column[bin] += std::exp(static_cast<long double>(logP));
            }
    return pc;
}

double LlrNull::Log10PValue(double llr, int n, int w) {
    if (n < 1 || w < 1 || w > MAX_K) throw std::invalid_argument("LlrNull: n >= 1 and 1 <= w <= MAX_K");
    PerCount& pc = Count(n);
    // The sum of one more column at a time, each width's tails kept.
    while (static_cast<int>(pc.tails.size()) < w) {
        if (pc.sum.empty()) {
            pc.sum = pc.column;
        } else {
            std::vector<long double> next(pc.sum.size() + kLlrBins, 0.0L);
            for (size_t i = 0; i < pc.sum.size(); ++i) {
                const long double x = pc.sum[i];
                if (x == 0.0L) continue;
                for (int j = 0; j <= kLlrBins; ++j) next[i + j] += x * pc.column[j];
            }
            pc.sum.swap(next);
        }
        std::vector<double> tail(pc.sum.size());
        long double above = 0.0L;
        for (size_t i = pc.sum.size(); i-- > 0;) {
            above += pc.sum[i];
            tail[i] = above > 0 ? static_cast<double>(std::log10(above)) : -HUGE_VAL;
        }
        pc.tails.push_back(std::move(tail));
    }
    const std::vector<double>& tail = pc.tails[static_cast<size_t>(w - 1)];
    const long at = std::lround(std::max(0.0, llr) / pc.step);
    // Beyond the grid's end: no larger than the chance of the end itself.
    return tail[static_cast<size_t>(std::min<long>(at, static_cast<long>(tail.size()) - 1))];
}

double Log10Alignments(const std::vector<long long>& windows, int n) {
    int usable = 0;
    double logSum = 0.0;
    for (long long w : windows)
        if (w > 0) {
            ++usable;
            logSum += std::log10(static_cast<double>(w));
        }
    if (usable == 0 || n <= 0) return 0.0;
    const int k = std::min(n, usable);
    const double logChoose = (std::lgamma(usable + 1.0) - std::lgamma(k + 1.0) - std::lgamma(usable - k + 1.0)) / std::log(10.0);
    return logChoose + k * logSum / usable;
}
