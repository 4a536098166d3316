// Motif comparison: column similarity, alignment on both strands and at every
// offset, the same-motif rule, and flat columns.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "motif/MotifCompare.h"
#include "motif_fixture.h"

namespace {

using motiffixture::Consensus;


void ExpectAlignment(const MotifAlignment& x, double score, int offset, bool reverse, int overlap) {
    EXPECT_NEAR(x.score, score, 1e-12);
    EXPECT_TRUE(x.offset == offset && x.reverse == reverse && x.overlap == overlap)
        << "offset " << x.offset << " reverse " << x.reverse << " overlap " << x.overlap;
}

TEST(MotifCompare, ColumnsAndSimilarity) {
    double count[B][MAX_K] = {};
    count[0][0] = 3, count[1][0] = 1, count[3][1] = 5;  // column 2 stays empty
    EXPECT_EQ(ColumnsFromCounts(count, 3, 1.0),
              (MotifColumns{{0.5, 0.25, 0.125, 0.125}, {1.0 / 9, 1.0 / 9, 1.0 / 9, 6.0 / 9}, {0.25, 0.25, 0.25, 0.25}}));
    EXPECT_EQ(ColumnsFromCounts(count, 3, 0.0), (MotifColumns{{0.75, 0.25, 0, 0}, {0, 0, 0, 1}, {0.25, 0.25, 0.25, 0.25}}));
    EXPECT_THROW(ColumnsFromCounts(count, MAX_K + 1, 0.0), std::invalid_argument);
    // The correlation sees the shape of a column, not its sharpness.
    EXPECT_NEAR(ColumnSimilarity({0.7, 0.1, 0.1, 0.1}, {1, 0, 0, 0}), 1.0, 1e-12);
    EXPECT_NEAR(ColumnSimilarity({1, 0, 0, 0}, {0, 0, 0, 1}), -1.0 / 3, 1e-12);
    EXPECT_NEAR(ColumnSimilarity({0.5, 0.5, 0, 0}, {0, 0, 0.5, 0.5}), -1.0, 1e-12);
}

TEST(MotifCompare, FindsCopyReverseComplementAndShift) {
    const MotifColumns a = Consensus("TTGACGCAAT"), sub(a.begin() + 2, a.begin() + 8);
    ExpectAlignment(BestAlignment(a, a, 5), 1.0, 0, false, 10);
    ExpectAlignment(BestAlignment(a, ReverseComplement(a), 5), 1.0, 0, true, 10);
    ExpectAlignment(BestAlignment(a, sub, 5), 1.0, 2, false, 6);
    ExpectAlignment(BestAlignment(a, ReverseComplement(sub), 5), 1.0, 2, true, 6);
    ExpectAlignment(BestAlignment(sub, a, 5), 1.0, -2, false, 6);
    // A palindrome matches itself on both strands: the tie goes forward.
    ExpectAlignment(BestAlignment(Consensus("ACACGTGT"), Consensus("ACACGTGT"), 5), 1.0, 0, false, 8);
    EXPECT_THROW(BestAlignment(a, MotifColumns{}, 5), std::invalid_argument);
    for (const MotifColumns& b : {a, ReverseComplement(a), sub, ReverseComplement(sub), Consensus("CGACGCAATGC")})
        EXPECT_TRUE(SameMotif(a, b));
    EXPECT_FALSE(SameMotif(Consensus("CCGGAAGTG"), Consensus("AGATAAGA")));
    EXPECT_FALSE(SameMotif(a, Consensus("AAAAAAAA")));
}

TEST(MotifCompare, FlatColumnsCountAsNoEvidence) {
    const std::array<double, 4> flat{0.25, 0.25, 0.25, 0.25}, zero{0, 0, 0, 0};
    EXPECT_TRUE(ColumnSimilarity(flat, flat) == 0.0 && ColumnSimilarity(flat, {1, 0, 0, 0}) == 0.0 &&
                ColumnSimilarity(zero, zero) == 0.0);
    ExpectAlignment(BestAlignment(Consensus("NNNNNN"), Consensus("NNNN"), 5), 0.0, 0, false, 4);
    ExpectAlignment(BestAlignment(Consensus("TGANTCA"), Consensus("TGANTCA"), 5), 6.0 / 7, 0, false, 7);
    EXPECT_FALSE(SameMotif(Consensus("NNNNNNNN"), Consensus("NNNNNNNN")));
}

}  // namespace
