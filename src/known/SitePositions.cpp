#include "known/SitePositions.h"

#include <algorithm>
#include <cmath>

#include "core/Statistics.h"

double Log10BinomialUpperTail(int n, int k, double p) {
    if (k <= 0) return 0.0;
    if (k > n || p <= 0.0) return -INFINITY;
    if (p >= 1.0) return 0.0;
    // Sum of the terms k..n in natural logs, from the largest term down, so
    // that a tail far below the smallest double still has its logarithm.
    const double lp = std::log(p), lq = std::log1p(-p);
    auto term = [&](int i) { return LogChoose(n, i) + i * lp + (n - i) * lq; };
    const int mode = std::max(k, static_cast<int>(std::floor((n + 1) * p)));
    const double top = term(std::min(mode, n));
    double sum = 0.0;
    for (int i = k; i <= n; ++i) {
        const double t = term(i) - top;
        sum += std::exp(t);
        if (i > mode && t < -50.0) break;  // the terms only fall from here
    }
    return std::min(0.0, (top + std::log(sum)) / std::log(10.0));
}

SitePositions PlaceSites(const std::vector<SitePlace>& sites, int width) {
    SitePositions out;
    out.counts.assign(kPositionBins, 0);
    // A centre is start + width / 2 letters from the sequence's first letter;
    // offsets from the sequence centre are in half letters kept exact as
    // doubles: (2 * start + width - length) / 2.
    int longest = 0;
    for (const SitePlace& s : sites)
        if (s.start >= 0 && s.start + width <= s.length) longest = std::max(longest, s.length);
    const double span = std::max(1, longest - width);  // centre offsets lie in [-span/2, span/2]
    out.from = -span / 2.0;
    out.binWidth = span / kPositionBins;
    double expectedSum = 0.0;
    for (const SitePlace& s : sites) {
        if (s.start < 0 || s.start + width > s.length) continue;
        const double offset = (2.0 * s.start + width - s.length) / 2.0;
        const int bin = std::min(kPositionBins - 1, static_cast<int>(std::floor((offset - out.from) / out.binWidth)));
        ++out.counts[std::max(0, bin)];
        // The central fifth of this sequence's possible centres: with
        // m = length - width, a start a is central when its centre lies within
        // m / 10 of the middle, that is when 2m <= 5a <= 3m.
        const long m = s.length - width;
        const long inside = (3 * m) / 5 - (2 * m + 4) / 5 + 1;
        expectedSum += static_cast<double>(inside) / (m + 1);
        if (2 * m <= 5L * s.start && 5L * s.start <= 3 * m) ++out.central;
        ++out.sites;
    }
    if (out.sites > 0) {
        // Sequences of different lengths have slightly different shares; their
        // mean is the binomial's share (a close, documented approximation).
        out.expected = expectedSum / out.sites;
        out.log10p = Log10BinomialUpperTail(out.sites, out.central, out.expected);
    }
    return out;
}
