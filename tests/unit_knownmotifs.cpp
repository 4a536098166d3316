// Testing database motifs in the input: the window threshold of a background
// p-value against every word enumerated, and the packed scan against the
// judge's own scan on masked sequences with unknown letters.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "KnownMotifs.h"
#include "Masking.h"
#include "MotifScan.h"

namespace {

MotifColumns RandomColumns(std::mt19937& rng, int k) {
    MotifColumns cols(static_cast<size_t>(k));
    for (std::array<double, 4>& c : cols) {
        double total = 0.0;
        for (double& x : c) total += x = static_cast<double>(rng() % 100) + (rng() % 3 == 0 ? 0 : 1);
        for (double& x : c) x /= total;
    }
    return cols;
}

TEST(KnownMotifs, ThresholdOfABackgroundPValueMatchesEveryWordEnumerated) {
    std::mt19937 rng(5);
    const double bg[4] = {0.3, 0.2, 0.2, 0.3};
    for (int trial = 0; trial < 6; ++trial) {
        const int k = 6 + trial % 3;
        // Scores on the grid, so that its rounding is exact: the threshold must
        // be the lowest score of tail at most p, to the step.
        std::vector<float> table(static_cast<size_t>(k) * 5, -1e9f);
        for (int j = 0; j < k; ++j)
            for (int b = 0; b < 4; ++b)
                table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(kKnownGrid * (static_cast<int>(rng() % 80) - 60));
        std::vector<std::pair<double, double>> words;  // each word's score and probability, all 4^k of them
        for (int w = 0; w < (1 << (2 * k)); ++w) {
            double prob = 1.0, score = 0.0;
            for (int j = 0; j < k; ++j) {
                const int b = (w >> (2 * j)) & 3;
                prob *= bg[b];
                score += table[static_cast<size_t>(j * 5 + b)];
            }
            words.push_back({score, prob});
        }
        const double p = 1e-3;
        const double t = ScoreForPValue(table, k, bg, p);
        double atOrAbove = 0.0, oneStepBelow = 0.0;
        for (const auto& w : words) {
            if (w.first >= t - 1e-4) atOrAbove += w.second;
            if (w.first >= t - kKnownGrid - 1e-4) oneStepBelow += w.second;
        }
        EXPECT_LE(atOrAbove, p) << trial;
        EXPECT_GT(oneStepBelow, p) << trial;
    }
    // No score rare enough: the best window's score.
    const std::vector<float> flat(5 * 2, 0.0f);
    EXPECT_EQ(ScoreForPValue(flat, 2, bg, 1e-4), 0.0);
}

TEST(KnownMotifs, PackedScanAgreesWithTheJudgesScanOnMaskedSequences) {
    std::mt19937 rng(9);
    std::vector<std::string> texts(30);
    for (std::string& t : texts)
        for (uint32_t n = 3 + rng() % 50; n > 0; --n) t += "ACGTACGTACGTACGTNacgt"[rng() % 21];
    std::vector<SeqRecord> s(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) s[i].Assign("s", texts[i].data(), texts[i].size());
    MaskSettings mask;
    mask.softMask = true;
    MaskSequences(s, static_cast<int>(s.size()), mask);

    const int k = 7;
    const MotifColumns cols = RandomColumns(rng, k);
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    // The judge's matrix of the same columns read as kKnownMotifSites sites.
    double share[B][MAX_K] = {};
    for (int j = 0; j < k; ++j)
        for (int b = 0; b < B; ++b) share[b][j] = cols[static_cast<size_t>(j)][static_cast<size_t>(b)];
    const LogOdds judge = LogOddsFromShares(share, kKnownMotifSites, k, bg);

    const PackedLetters packed(s);
    std::vector<float> best;
    for (bool both : {true, false}) {
        BestWindowScores(packed, KnownScoreTable(cols, bg, false), KnownScoreTable(cols, bg, true), k, both, best);
        ASSERT_EQ(best.size(), s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            const float expect = BestScore(judge, s[i], both);
            if (std::isinf(expect))
                EXPECT_TRUE(std::isinf(best[i]) && best[i] < 0) << texts[i];
            else
                EXPECT_NEAR(best[i], expect, 1e-4) << texts[i] << " both " << both;
        }
    }
}

}  // namespace
