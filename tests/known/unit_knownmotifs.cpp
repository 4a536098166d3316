// Testing database motifs in the input: the window threshold of a background
// p-value against every word enumerated, the packed scan against the judge's
// own scan on masked sequences with unknown letters, and the E-value's count
// of the motifs tested.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "input/Masking.h"
#include "judge/MotifScan.h"
#include "known/KnownMotifs.h"

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

// A database motif's E-value is its Fisher p-value times the number of motifs
// tested: the same motif tested among more motifs must not look as
// significant as when tested alone.
TEST(KnownMotifs, EvalueCountsEveryMotifTested) {
    std::mt19937 rng(4);
    const std::string site = "TTGACATGCA";
    auto random = [&](int n) {
        std::string t;
        for (int i = 0; i < n; ++i) t += "ACGT"[rng() % 4];
        return t;
    };
    std::vector<std::string> texts;
    for (int i = 0; i < 20; ++i) texts.push_back(random(40) + site + random(40));
    for (int i = 0; i < 40; ++i) texts.push_back(random(90));
    std::vector<SeqRecord> input(20), controls(40);
    for (size_t i = 0; i < 20; ++i) input[i].Assign("in", texts[i].data(), texts[i].size());
    for (size_t i = 0; i < 40; ++i) controls[i].Assign("ctl", texts[20 + i].data(), texts[20 + i].size());
    DbMotif planted;
    planted.id = "PLANTED";
    for (char c : site) {
        std::array<double, 4> col = {0.01, 0.01, 0.01, 0.01};
        col[static_cast<size_t>(std::string("ACGT").find(c))] = 0.97;
        planted.columns.push_back(col);
    }
    std::vector<DbMotif> db = {planted};
    for (int m = 0; m < 3; ++m) {
        DbMotif other;
        other.id = "R" + std::to_string(m);
        other.columns = RandomColumns(rng, 8);
        db.push_back(other);
    }
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    const std::vector<KnownMotifResult> alone = TestKnownMotifs({planted}, input, controls, true, bg, 1);
    const std::vector<KnownMotifResult> four = TestKnownMotifs(db, input, controls, true, bg, 2);
    ASSERT_EQ(alone.size(), 1u);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].id, "PLANTED");
    EXPECT_EQ(four[0].a, 20);
    EXPECT_LT(four[0].log10p, -5.0);
    EXPECT_DOUBLE_EQ(alone[0].log10p, four[0].log10p);
    EXPECT_NEAR(alone[0].log10e, alone[0].log10p, 1e-12);
    for (const KnownMotifResult& r : four) EXPECT_NEAR(r.log10e, r.log10p + std::log10(4.0), 1e-12) << r.id;
}

}  // namespace
