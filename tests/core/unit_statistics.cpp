// The exact enrichment test: textbook tables, every small table against tails
// from exact integer binomials, and huge tables whose p-values underflow.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "core/Statistics.h"

namespace {

TEST(FisherExact, LogFactorialAndChoose) {
    long double sum = 0.0L;  // log n!, across the table's end into Stirling's series
    for (int n = 1; n <= 2000; ++n) {
        sum += std::log(static_cast<long double>(n));
        ASSERT_NEAR(LogFactorial(n), static_cast<double>(sum), 2e-16 * static_cast<double>(sum)) << n;
    }
    EXPECT_NEAR(LogFactorial(1000000), std::lgamma(1000001.0), 1e-15 * std::lgamma(1000001.0));
    EXPECT_NEAR(LogChoose(5, 2), std::log(10.0), 1e-15);
    EXPECT_EQ(LogChoose(5, 6), -INFINITY);
    EXPECT_THROW(LogFactorial(-1), std::invalid_argument);
}

TEST(FisherExact, SmallTablesMatchExactTails) {
    // Tea tasting: 3 of 4 cups with milk first picked right, 1 of the other
    // 4 wrongly: P(X >= 3) = (C(4,3) C(4,1) + C(4,4) C(4,0)) / C(8,4) = 17/70.
    EXPECT_NEAR(FisherEnrichment(3, 4, 1, 4).p, 17.0 / 70, 1e-15);
    // No input hit, no hit at all, an empty group: nothing to see.
    for (const FisherResult& r :
         {FisherEnrichment(0, 10, 5, 10), FisherEnrichment(0, 0, 3, 10), FisherEnrichment(7, 7, 0, 0)})
        EXPECT_TRUE(r.p == 1.0 && r.log10p == 0.0);
    EXPECT_THROW(FisherEnrichment(5, 4, 0, 4), std::invalid_argument);
    // Pascal's triangle to 60: every C(n, k) and every product of two whose
    // tops sum to 60 fits in 64 bits (the products sum to C(60, n1)).
    static uint64_t choose[61][61] = {};
    for (int n = 0; n <= 60; ++n) {
        choose[n][0] = 1;
        for (int k = 1; k <= n; ++k) choose[n][k] = choose[n - 1][k - 1] + (k < n ? choose[n - 1][k] : 0);
    }
    for (int n1 : {1, 2, 5, 13, 30})
        for (int n2 : {1, 3, 8, 17, 30})
            for (int a = 0; a <= n1; ++a)
                for (int b = 0; b <= n2; ++b) {
                    uint64_t tail = 0;
                    for (int x = a; x <= a + b && x <= n1; ++x)
                        if (a + b - x <= n2) tail += choose[a + b][x] * choose[n1 + n2 - a - b][n1 - x];
                    const long double p = static_cast<long double>(tail) / choose[n1 + n2][n1];
                    const FisherResult r = FisherEnrichment(a, n1, b, n2);
                    ASSERT_NEAR(r.p, static_cast<double>(p), 1e-13 * static_cast<double>(p)) << a << n1 << b << n2;
                    ASSERT_NEAR(r.log10p, static_cast<double>(std::log10(p)), 1e-13) << a << n1 << b << n2;
                }
}

TEST(FisherExact, HugeTablesStayFiniteAndOrdered) {
    // Every input sequence and no control one holds a site: the tail is the
    // single table, p = 1 / C(2n, n); for n = 700 about 1e-420.
    for (int n : {700, 10000}) {
        long double log10Choose = 0.0L;  // sum of log10((n + i) / i)
        for (int i = 1; i <= n; ++i) log10Choose += std::log10(static_cast<long double>(n + i) / i);
        const FisherResult r = FisherEnrichment(n, n, 0, n);
        EXPECT_NEAR(r.log10p, -static_cast<double>(log10Choose), 1e-12 * static_cast<double>(log10Choose));
        EXPECT_EQ(r.p, 0.0);  // below the smallest double
    }
    // More input hits against the same controls: never a larger p, and a
    // strictly smaller one once the input is ahead.
    double previous = 0.0;
    for (int a = 0; a <= 10000; a += 50) {
        const double log10p = FisherEnrichment(a, 10000, 5000, 10000).log10p;
        ASSERT_TRUE(std::isfinite(log10p) && (a > 5100 ? log10p < previous : log10p <= previous)) << a;
        previous = log10p;
    }
}

}  // namespace
