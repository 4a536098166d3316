// Site positions around the sequence centre: the binomial tail against exact
// sums, and the histogram and central-fifth test on hand-placed sites.
#include <gtest/gtest.h>

#include <cmath>

#include "known/SitePositions.h"

namespace {

TEST(SitePositions, BinomialTailMatchesExactSums) {
    // P(X >= 8), X ~ Bin(10, 1/2) = (45 + 10 + 1) / 1024.
    EXPECT_NEAR(Log10BinomialUpperTail(10, 8, 0.5), std::log10(56.0 / 1024), 1e-12);
    // P(X >= 1), X ~ Bin(3, 0.2) = 1 - 0.8^3.
    EXPECT_NEAR(Log10BinomialUpperTail(3, 1, 0.2), std::log10(1 - 0.512), 1e-12);
    EXPECT_EQ(Log10BinomialUpperTail(5, 0, 0.3), 0.0);
    EXPECT_EQ(Log10BinomialUpperTail(5, 6, 0.3), -INFINITY);
    // Every one of 20,000 sites central at share 0.2: 20000 log10(0.2), far
    // below the smallest double, still finite.
    EXPECT_NEAR(Log10BinomialUpperTail(20000, 20000, 0.2), 20000 * std::log10(0.2), 1e-6);
    // Half of the sites central where a fifth is expected: tiny; a fifth: about even.
    EXPECT_LT(Log10BinomialUpperTail(1000, 500, 0.2), -50);
    EXPECT_GT(Log10BinomialUpperTail(1000, 200, 0.2), std::log10(0.45));
}

TEST(SitePositions, HistogramAndCentralFifthOfHandPlacedSites) {
    // Length 100, width 10: starts 0..90, centres -45..+45 letters from the
    // middle; central starts are those with 180 <= 5a <= 270, 36..54: 19 of 91.
    std::vector<SitePlace> sites = {{100, 45}, {100, 36}, {100, 54}, {100, 35}, {100, 0}, {100, 90},
                                    {100, 95} /* does not fit: left out */};
    const SitePositions p = PlaceSites(sites, 10);
    EXPECT_EQ(p.sites, 6);
    EXPECT_EQ(p.central, 3);
    EXPECT_NEAR(p.expected, 19.0 / 91, 1e-12);
    EXPECT_NEAR(p.log10p, Log10BinomialUpperTail(6, 3, 19.0 / 91), 1e-12);
    EXPECT_DOUBLE_EQ(p.from, -45.0);
    EXPECT_DOUBLE_EQ(p.binWidth, 90.0 / kPositionBins);
    ASSERT_EQ(p.counts.size(), static_cast<size_t>(kPositionBins));
    EXPECT_EQ(p.counts.front(), 1);  // start 0
    EXPECT_EQ(p.counts.back(), 1);   // start 90, on the right edge
    // Bins of 4.5 letters: centre -10 (start 35) in bin 7, -9 in 8, 0 in 10, +9 in 12.
    for (int bin : {7, 8, 10, 12}) EXPECT_EQ(p.counts[bin], 1) << bin;
    int total = 0;
    for (int c : p.counts) total += c;
    EXPECT_EQ(total, 6);
    // Sequences of two lengths: the expected share is the mean of their own.
    const SitePositions mixed = PlaceSites({{100, 45}, {20, 5}}, 10);  // m = 10: starts 4..6 of 11
    EXPECT_NEAR(mixed.expected, (19.0 / 91 + 3.0 / 11) / 2, 1e-12);
    EXPECT_EQ(mixed.central, 2);
    EXPECT_EQ(PlaceSites({}, 10).sites, 0);
}

}  // namespace
