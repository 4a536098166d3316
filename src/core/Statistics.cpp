#include "core/Statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace {

const int kTableMax = 256;

// Running sums of log i in long double: after n additions the rounding error
// is at most n/2 long-double ulps of the sum, about 1.4e-17 relative at
// n = 256, well inside one double ulp.
struct LogFactorialTable {
    long double value[kTableMax + 1];
    LogFactorialTable() {
        value[0] = 0.0L;
        for (int i = 1; i <= kTableMax; ++i) value[i] = value[i - 1] + std::log(static_cast<long double>(i));
    }
};

long double LogFactorialL(int n) {
    if (n < 0) throw std::invalid_argument("LogFactorial of a negative number");
    if (n <= kTableMax) {
        static const LogFactorialTable table;  // built once, thread-safe
        return table.value[n];
    }
    // Stirling's series: ln n! = (n + 1/2) ln n - n + ln(2 pi) / 2 + 1/(12 n)
    // - 1/(360 n^3) + 1/(1260 n^5) - 1/(1680 n^7) + ...; the first term left
    // out, 1/(1188 n^9), is below 2e-25 for n > 256.
    const long double x = n;
    const long double inv = 1.0L / x;
    const long double inv2 = inv * inv;
    const long double halfLog2Pi = 0.918938533204672741780329736405617639861L;
    const long double series = inv * (1.0L / 12 - inv2 * (1.0L / 360 - inv2 * (1.0L / 1260 - inv2 / 1680)));
    return (x + 0.5L) * std::log(x) - x + halfLog2Pi + series;
}

long double LogChooseL(int n, int k) {
    if (k < 0 || k > n) return -std::numeric_limits<long double>::infinity();
    return LogFactorialL(n) - LogFactorialL(k) - LogFactorialL(n - k);
}

}  // namespace

double LogFactorial(int n) { return static_cast<double>(LogFactorialL(n)); }

double LogChoose(int n, int k) { return static_cast<double>(LogChooseL(n, k)); }

FisherResult FisherEnrichment(int a, int n1, int b, int n2) {
    if (a < 0 || b < 0 || a > n1 || b > n2)
        throw std::invalid_argument("FisherEnrichment: counts outside their groups");
    FisherResult r;
    // Population N, K of them with a site, n drawn as input; X counts the
    // drawn ones with a site and ranges over lo..hi.
    const int64_t N = int64_t{n1} + n2;
    const int64_t K = int64_t{a} + b;
    const int64_t n = n1;
    const int64_t M = N - K;  // without a site
    const int64_t lo = std::max<int64_t>(0, n - M);
    const int64_t hi = std::min(K, n);
    if (a <= lo) return r;  // the whole distribution: p = 1

    // log P(X = x), and the sum of the terms from x outwards (up or down) to
    // the end, relative to P(X = x): each term from its neighbour by the ratio
    // of consecutive probabilities, stopping once they fall below 1e-30 of the
    // sum. Summed away from the mode, the terms only fall.
    auto logTerm = [&](int64_t x) {
        return LogChooseL(static_cast<int>(K), static_cast<int>(x)) +
               LogChooseL(static_cast<int>(M), static_cast<int>(n - x)) -
               LogChooseL(static_cast<int>(N), static_cast<int>(n));
    };
    auto relativeSum = [&](int64_t x, int64_t end) {
        long double sum = 1.0L;
        long double t = 1.0L;
        for (; x < end; ++x) {
            // P(x + 1) / P(x) = (K - x)(n - x) / ((x + 1)(M - n + x + 1))
            t *= static_cast<long double>(K - x) * static_cast<long double>(n - x) /
                 (static_cast<long double>(x + 1) * static_cast<long double>(M - n + x + 1));
            sum += t;
            if (t < 1e-30L * sum) break;
        }
        for (; x > end; --x) {
            // P(x - 1) / P(x) = x (M - n + x) / ((K - x + 1)(n - x + 1))
            t *= static_cast<long double>(x) * static_cast<long double>(M - n + x) /
                 (static_cast<long double>(K - x + 1) * static_cast<long double>(n - x + 1));
            sum += t;
            if (t < 1e-30L * sum) break;
        }
        return sum;
    };
    // The hypergeometric mode, floor((n + 1)(K + 1) / (N + 2)).
    const int64_t mode = std::clamp((n + 1) * (K + 1) / (N + 2), lo, hi);
    long double logP;
    if (a > mode) {
        // The tail is past the mode: sum it from its largest term, at a.
        logP = logTerm(a) + std::log(relativeSum(a, hi));
    } else {
        // The tail holds the mode, so p is large: 1 minus the lower tail
        // P(X <= a - 1), summed down from a - 1, keeps p accurate (and
        // monotone in a) as it nears 1.
        const long double lower = std::exp(logTerm(a - 1) + std::log(relativeSum(a - 1, lo)));
        logP = std::log1p(-std::min(lower, 1.0L));
    }
    // Rounding may put a p-value of almost 1 a hair above it.
    logP = std::min(0.0L, logP);
    r.p = static_cast<double>(std::exp(logP));
    r.log10p = static_cast<double>(logP / std::log(10.0L));
    return r;
}
