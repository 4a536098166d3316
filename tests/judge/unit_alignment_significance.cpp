// The alignment E-value of small inputs: the grid p-value of an alignment's
// log-likelihood ratio bracketed by the exact tail of every alignment of a few
// sites, and the count of alignments.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "judge/AlignmentSignificance.h"

namespace {

TEST(AlignmentSignificance, GridPValueIsBracketedByTheExactTailOfEveryAlignment) {
    // Three sites of two columns: all 4^6 alignments, each with its chance
    // under an uneven background, give the exact distribution of the LLR.
    const double bg[4] = {0.3, 0.2, 0.2, 0.3};
    const int n = 3, w = 2;
    std::map<double, double> exact;  // LLR -> probability
    for (int code = 0; code < 4096; ++code) {
        double count[B][MAX_K] = {};
        double chance = 1.0;
        for (int i = 0; i < n * w; ++i) {
            const int b = (code >> (2 * i)) & 3;
            count[b][i % w] += 1.0;
            chance *= bg[b];
        }
        exact[AlignmentLlr(count, w, n, bg)] += chance;
    }
    auto tail = [&](double x) {
        double p = 0.0;
        for (const auto& e : exact)
            if (e.first >= x - 1e-12) p += e.second;
        return p;
    };
    LlrNull null(bg);
    // Every column is rounded to the grid, so the sum may be off by half a step per column.
    const double step = n * std::log(1.0 / 0.2) / LlrNull::kLlrBins;
    const double slack = (w + 1) * step / 2;
    for (const auto& e : exact) {
        const double grid = std::pow(10.0, null.Log10PValue(e.first, n, w));
        EXPECT_LE(grid, tail(e.first - slack) * (1 + 1e-9)) << e.first;
        EXPECT_GE(grid, tail(e.first + slack) * (1 - 1e-9)) << e.first;
    }
    EXPECT_NEAR(null.Log10PValue(0.0, n, w), 0.0, 1e-12);  // every alignment has LLR >= 0
    // The most extreme alignments (each column all C or all G) and beyond.
    EXPECT_NEAR(null.Log10PValue(exact.rbegin()->first, n, w), std::log10(4 * std::pow(0.2, 6)), 1e-9);
    EXPECT_LE(null.Log10PValue(1e6, n, w), null.Log10PValue(exact.rbegin()->first, n, w));
}

TEST(AlignmentSignificance, LlrAndTheCountOfAlignments) {
    const double flat[4] = {1, 1, 1, 1};
    double count[B][MAX_K] = {};
    count[0][0] = 4;                  // a column of four A: 4 ln 4
    count[1][1] = count[2][1] = 2;    // two C, two G: 4 ln 2
    EXPECT_NEAR(AlignmentLlr(count, 2, 4, flat), 4 * std::log(4.0) + 4 * std::log(2.0), 1e-12);
    // Two sites among three sequences of 100 starts each: C(3,2) x 100^2.
    EXPECT_NEAR(Log10Alignments({100, 100, 100}, 2), std::log10(3.0) + 4, 1e-12);
    // Sequences without a window do not count; the starts enter as their geometric mean.
    EXPECT_NEAR(Log10Alignments({10, 0, 1000}, 1), std::log10(2.0) + 2, 1e-12);
}

}  // namespace
