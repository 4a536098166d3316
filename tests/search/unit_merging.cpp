// Post-processing: scoring of site-list models, merging of models and duplicate-site removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "input/Midlayer.h"
#include "post_fixture.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

namespace {

using posttest::Columns;
using posttest::ExpectSameModel;
using posttest::GeneticModel;
using posttest::HandColumns;
using posttest::kChainFasta;
using posttest::kFlat;
using posttest::Layer;
using posttest::MarkovBackground;
using posttest::Place;
using posttest::Places;
using posttest::Site;
using posttest::SiteModel;
using posttest::Words;

std::string TextForm(const Individual& m) {
    std::ostringstream out;
    out << m;
    return out.str();
}

// ============================================================ scoring

TEST(PostScoring, OneSiteScoresMapZeroAndPrintsNoMapScore) {
    Layer s(">s1\nGGACGTTGCATT\n", 8, false);
    Individual m = SiteModel(s, {Site(0, 2)});
    EXPECT_EQ(m.getMAPS(), 0.0);  // log2(1) / k = 0
    EXPECT_EQ(m.getSTD(), 0.0);
    EXPECT_EQ(m.Sites[0].Score, 0.0);
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
    // n = 1: the site's letter 0.625 and the others 0.125 in every column.
    const double column = 0.625 * std::log2(2.5) + 3 * 0.125 * std::log2(0.5);
    EXPECT_NEAR(m.getIC(), 8 * column, 1e-12);
    const std::string text = TextForm(m);
    EXPECT_EQ(text.find(" MAP Score: "), std::string::npos) << text;
    EXPECT_NE(text.find("Consensus: ACGTTGCA\nNo. of sites: 1\n"), std::string::npos) << text;
}

TEST(PostScoring, FourIdenticalSitesOnAFlatBackground) {
    Layer s(">s1\nACGTTGCAGG\n>s2\nTACGTTGCA\n>s3\nCCACGTTGCAT\n>s4\nACGTTGCA\n", 8, false);
    Individual m;
    m.setConLen(8);
    m.Sites = {Site(0, 0), Site(1, 1), Site(2, 2), Site(3, 0)};
    m.setGeneNo(4);
    m.Genes = {3, 1, 4};
    m.GeneMismatch = {0.5, 0.25};
    m.setID(9);
    m.setRLFT(0.125);
    m.setCLFT(0.375);
    m.CalculateIndiFitness_vector(&s.data, s.data.GetFreqInfo());

    // Each column: the site's letter 0.75, the others 1/12: 0.5 log2 3 bits.
    EXPECT_NEAR(m.getIC(), 6.3399, 1e-4);
    EXPECT_NEAR(m.getIC(), 4 * std::log2(3.0), 1e-12);
    EXPECT_NEAR(m.getMAPS(), 1.58496, 1e-5);
    EXPECT_NEAR(m.getMAPS(), std::log2(3.0), 1e-12);  // (H + 16) * log2(4) / 8 with H = 4 log2 3 - 16
    EXPECT_EQ(m.getMismatch(), 0.0);
    EXPECT_EQ(m.getSTD(), 0.0);
    EXPECT_EQ(m.getComplexity(), 1.0);  // two of every base per site
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
    for (const kmer& x : m.Sites) {
        EXPECT_EQ(x.Score, 0.0);
        EXPECT_EQ(x.BGScore, std::numeric_limits<double>::infinity());  // 16 bits over a mismatch of 0
    }
    const char* cons = "ACGTTGCA";
    for (int j = 0; j < 8; ++j)
        for (int b = 0; b < B; ++b) EXPECT_EQ(m.MismatchMatrix[b][j], "ACGT"[b] == cons[j] ? 1.0 : 0.0);
    EXPECT_EQ(m.CalculateMarkvBK(&s.data), -64.0);  // four sites of 0.25^8

    // The sites keep their order and places; the genetic form and the other
    // fields are left alone.
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 0}, {1, 1}, {2, 2}, {3, 0}}));
    EXPECT_EQ(m.Genes, (std::vector<int>{3, 1, 4}));
    EXPECT_EQ(m.GeneMismatch, (std::vector<double>{0.5, 0.25}));
    EXPECT_EQ(m.getGeneNo(), 4);
    EXPECT_EQ(m.getConLen(), 8);
    EXPECT_EQ(m.getID(), 9);
    EXPECT_EQ(m.getRLFT(), 0.125);
    EXPECT_EQ(m.getCLFT(), 0.375);

    const std::string text = TextForm(m);
    EXPECT_NE(text.find("Consensus: ACGTTGCA MAP Score: 1.58496\nNo. of sites: 4\n"), std::string::npos) << text;
}

TEST(PostScoring, StdIsThePopulationDeviation) {
    Individual m;
    const double three[3] = {0.2, 0.4, 0.6};
    int n = 3;
    EXPECT_NEAR(m.CalculateSTD(three, n), 0.16330, 1e-5);
    EXPECT_NEAR(m.CalculateSTD(three, n), std::sqrt(0.08 / 3), 1e-15);
    const double two[2] = {1.0, 3.0};
    n = 2;
    EXPECT_DOUBLE_EQ(m.CalculateSTD(two, n), 1.0);  // divisor n, not n - 1
    const double one[1] = {5.0};
    n = 1;
    EXPECT_EQ(m.CalculateSTD(one, n), 0.0);
}

TEST(PostScoring, SiteScoresSpreadAndMapScoreOfThreeSites) {
    // Two copies of X and one Y that differs in its last letter; with the flat
    // window table every word's mismatch denominator is 8 * 0.75 = 6.
    Layer s(">s1\nACGTTGCA\n>s2\nACGTTGCA\n>s3\nACGTTGCT\n", 8, false);
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0), Site(2, 0)});
    EXPECT_NEAR(m.Sites[0].Score, 1.0 / 18, 1e-15);  // (1/3) / 6
    EXPECT_NEAR(m.Sites[1].Score, 1.0 / 18, 1e-15);
    EXPECT_NEAR(m.Sites[2].Score, 1.0 / 9, 1e-15);  // (2/3) / 6
    EXPECT_NEAR(m.getMismatch(), 2.0 / 27, 1e-15);
    EXPECT_NEAR(m.getSTD(), std::sqrt(2.0) / 54, 1e-15);
    EXPECT_NEAR(m.Sites[0].BGScore, 16 * 18.0, 1e-9);  // -log2(0.25^8) / score
    EXPECT_NEAR(m.Sites[2].BGScore, 16 * 9.0, 1e-9);
    const Columns c = HandColumns({"ACGTTGCA", "ACGTTGCA", "ACGTTGCT"}, kFlat);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    EXPECT_NEAR(m.getMAPS(), (c.H + 16) * std::log2(3.0) / 8, 1e-12);  // Bsum / n = -16
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
}

TEST(PostScoring, LowerCaseSitesScoreLikeUpperCase) {
    const double q[4] = {0.1, 0.2, 0.3, 0.4};
    Layer s(">low\nttacgttgcatt\n>up\nGGACGTTGCAGG\n>other\nACGATGCA\n", 8, false, MarkovBackground(q));
    Individual lower = SiteModel(s, {Site(0, 2), Site(2, 0)});
    Individual upper = SiteModel(s, {Site(1, 2), Site(2, 0)});
    EXPECT_EQ(lower.getIC(), upper.getIC());
    EXPECT_EQ(lower.getMismatch(), upper.getMismatch());
    EXPECT_EQ(lower.getSTD(), upper.getSTD());
    EXPECT_EQ(lower.getMAPS(), upper.getMAPS());
    EXPECT_EQ(lower.getComplexity(), upper.getComplexity());
    EXPECT_STREQ(lower.getCons(), upper.getCons());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lower.Sites[i].Score, upper.Sites[i].Score) << i;
        EXPECT_EQ(lower.Sites[i].BGScore, upper.Sites[i].BGScore) << i;
    }
    EXPECT_TRUE(std::isfinite(lower.getMAPS()));

    // The background probability of acgttgca is the product of q over its letters.
    const double P = 0.1 * 0.2 * 0.3 * 0.4 * 0.4 * 0.3 * 0.2 * 0.1;
    for (int strand : {0, 1}) {
        Individual one;
        one.Sites = {Site(strand, 2)};
        one.Sites[0].Score = 1.0;
        EXPECT_NEAR(one.CalculateMarkvBK(&s.data), std::log2(P), 1e-12) << strand;
        EXPECT_NEAR(one.Sites[0].BGScore, -std::log2(P), 1e-12) << strand;
    }
}

TEST(PostScoring, AMissingBackgroundWordFollowsTheArithmetic) {
    // ACGT is not in the file: its probability is 0, log2 0 = -inf, and the
    // MAP score of a model holding it is +inf. With one site the factor
    // log2(1) = 0 meets the infinity and the MAP score is not a number, which
    // the text form prints as it is (a NaN is not 0).
    const double q[4] = {0.25, 0.25, 0.25, 0.25};
    Layer s(">s1\nACGT\n>s2\nACGA\n>s3\nCCGA\n", 4, false, MarkovBackground(q, {}, {"ACGT"}));
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    EXPECT_NEAR(m.Sites[0].Score, 1.0 / 6, 1e-15);
    EXPECT_EQ(m.Sites[0].BGScore, std::numeric_limits<double>::infinity());
    EXPECT_NEAR(m.Sites[1].BGScore, 8 * 6.0, 1e-9);
    EXPECT_EQ(m.getMAPS(), std::numeric_limits<double>::infinity());
    EXPECT_NE(TextForm(m).find(" MAP Score: inf\n"), std::string::npos) << TextForm(m);
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "ACGA"}, kFlat).IC, 1e-12);

    Individual one = SiteModel(s, {Site(0, 0)});
    EXPECT_TRUE(std::isnan(one.getMAPS()));
    const std::string text = TextForm(one);
    EXPECT_NE(text.find(" MAP Score: "), std::string::npos) << text;
    EXPECT_NE(text.find("nan\n"), std::string::npos) << text;
}

// ============================================================ merging

std::vector<kmer> Block(int pos) { return {Site(0, pos), Site(1, pos), Site(2, pos), Site(3, pos)}; }

TEST(PostMerging, TheChainPremises) {
    Layer s(kChainFasta, 4, false);
    const double a = HandColumns(Words(s, Block(0)), kFlat).IC;
    const double b = HandColumns(Words(s, Block(4)), kFlat).IC;
    const double c = HandColumns(Words(s, Block(8)), kFlat).IC;
    EXPECT_NEAR(a, 1.76635, 1e-5);
    EXPECT_NEAR(b, 1.79561, 1e-5);
    EXPECT_NEAR(c, 1.84241, 1e-5);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    Individual C = GeneticModel(s, {8, 8, 8, 8});
    // Three different consensus strings: every model is a group of its own.
    EXPECT_STREQ(A.getCons(), "ACGA");
    EXPECT_STREQ(Bm.getCons(), "ACGT");
    EXPECT_STREQ(C.getCons(), "TAAC");
}

TEST(PostMerging, ModelsJoinOnlyWhenWithinDeltaOfTheFirst) {
    Layer s(kChainFasta, 4, false);
    ASSERT_EQ(s.data.GetDelta(), 0.05);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    Individual C = GeneticModel(s, {8, 8, 8, 8});

    // A, B, C: B joins A (0.029 apart); C is 0.076 from A and stays alone,
    // although it lies within delta of B.
    std::vector<Individual> pop = {A, Bm, C};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 2u);
    std::vector<kmer> ab = Block(0);
    for (const kmer& x : Block(4)) ab.push_back(x);
    EXPECT_EQ(Places(pop[0].Sites), Places(ab));
    EXPECT_EQ(Places(pop[1].Sites), Places(Block(8)));
    EXPECT_NEAR(pop[0].getIC(), HandColumns(Words(s, ab), kFlat).IC, 1e-12);
    EXPECT_NEAR(pop[1].getIC(), 1.84241, 1e-5);

    // B, A, C: A and C both lie within delta of B, so all three become one.
    pop = {Bm, A, C};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    std::vector<kmer> bac = Block(4);
    for (int p : {0, 8})
        for (const kmer& x : Block(p)) bac.push_back(x);
    EXPECT_EQ(Places(pop[0].Sites), Places(bac));

    // A and C alone: 0.076 apart, two models.
    pop = {A, C};
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_EQ(pop.size(), 2u);
}

TEST(PostMerging, ADifferenceOfExactlyDeltaDoesNotMerge) {
    Layer s(kChainFasta, 4, false);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    // The information contents the merge compares: those of the models
    // rebuilt from each group's sites.
    const double d = std::fabs(SiteModel(s, Block(0)).getIC() - SiteModel(s, Block(4)).getIC());
    ASSERT_GT(d, 0.0);

    s.data.SetDelta(d);
    std::vector<Individual> pop = {A, Bm};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 2u);
    EXPECT_EQ(Places(pop[0].Sites), Places(Block(0)));
    EXPECT_EQ(Places(pop[1].Sites), Places(Block(4)));

    s.data.SetDelta(std::nextafter(d, 1.0));
    pop = {A, Bm};
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_EQ(pop.size(), 1u);
}

// Two sequences of 8 letters, both strands (k = 4): strands 2 and 3 are the
// reverse complements of 0 and 1. A site at 3 on strand 2 mirrors one at
// 1 on strand 0 (8 - 1 - 4 = 3); 2 on strand 3 mirrors nothing chosen here.
const char kMirrorFasta[] = ">s1\nAACGTTGA\n>s2\nCCGATCAG\n";

TEST(PostMerging, IdenticalModelsCollapseAndMirrorsGo) {
    Layer s(kMirrorFasta, 4, true);
    ASSERT_EQ(s.data.Seqs.size(), 4u);
    Individual x = GeneticModel(s, {1, 0, 3, 2});
    x.setID(7);
    x.setMAPS(99.0);
    x.setSTD(5.0);
    std::vector<Individual> pop = {x, x, x};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    const Individual& m = pop[0];
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 1}, {1, 0}, {3, 2}}));
    // Built afresh from the sites: no genetic form, nothing kept from the input.
    EXPECT_TRUE(m.Genes.empty());
    EXPECT_TRUE(m.GeneMismatch.empty());
    EXPECT_EQ(m.getID(), 0);
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    const Columns c = HandColumns(Words(s, m.Sites), kFlat);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    EXPECT_NEAR(m.getMAPS(), (c.H + 8) * std::log2(3.0) / 4, 1e-12);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostMerging, ASingleMemberGroupKeepsItsMirrorSites) {
    Layer s(kMirrorFasta, 4, true);
    std::vector<Individual> pop = {GeneticModel(s, {1, 0, 3, 2})};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    EXPECT_EQ(Places(pop[0].Sites), (std::vector<Place>{{0, 1}, {1, 0}, {2, 3}, {3, 2}}));
    EXPECT_TRUE(pop[0].Genes.empty());
    EXPECT_EQ(pop[0].getGeneNo(), 4);
}

TEST(PostMerging, OverlappingSitesOnOneStrandBothStay) {
    Layer s(">s1\nACGTAC\n>s2\nACGTTT\n>s3\nACGTGG\n", 4, false);
    Individual x = GeneticModel(s, {0, 0, 0});
    Individual y = GeneticModel(s, {1, 0, 0});
    ASSERT_STREQ(y.getCons(), x.getCons());  // CGTA, ACGT, ACGT: still ACGT, so one group
    std::vector<Individual> pop = {x, y};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    EXPECT_EQ(Places(pop[0].Sites), (std::vector<Place>{{0, 0}, {1, 0}, {2, 0}, {0, 1}}));
}

TEST(PostMerging, EmptyPopulationStaysEmpty) {
    Layer s(kChainFasta, 4, false);
    std::vector<Individual> pop;
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_TRUE(pop.empty());
}

// ============================================================ duplicate sites

// The pairwise procedure, written out: every later copy of an element, and
// every later element at its mirror position on another strand of the same
// name (mirror measured with the length of the lower-indexed strand), goes.
void PairwiseDuplicates(const Midlayer& d, int k, std::vector<kmer>& L) {
    for (size_t i = 0; i < L.size(); ++i) {
        for (size_t j = i + 1; j < L.size();) {
            bool drop = false;
            if (L[j].Pos == L[i].Pos && L[j].Strand == L[i].Strand) {
                drop = true;
            } else if (L[j].Strand == L[i].Strand) {
                drop = false;
            } else if (d.Seqs[L[i].Strand].Name() == d.Seqs[L[j].Strand].Name()) {
                const int lower = std::min(L[i].Strand, L[j].Strand);
                drop = L[j].Pos == d.Seqs[lower].len - L[i].Pos - k;
            }
            if (drop) {
                L.erase(L.begin() + static_cast<long>(j));
            } else {
                ++j;
            }
        }
    }
}

// Three sequences, two of them named alike with different lengths.
const char kSameNameFasta[] = ">a\nACGTACGTACGT\n>b\nCCGGAATTC\n>a\nTTTTGGGGCCCCAAA\n";

TEST(PostDuplicates, MirrorUsesTheLowerIndexedStrandsLength) {
    Layer s(kSameNameFasta, 4, true);
    ASSERT_EQ(s.data.Seqs.size(), 6u);  // a(12) b(9) a(15) and their reverse complements
    // Site 3 on strand 2 (length 15) against strand 0 (length 12): the mirror
    // is 12 - 3 - 4 = 5, not 15 - 3 - 4 = 8.
    std::vector<kmer> L = {Site(2, 3), Site(0, 5), Site(0, 8), Site(2, 3), Site(4, 2), Site(1, 3), Site(1, 2)};
    // Strand 1 (b, 9) and strand 4 (its reverse complement): 2 mirrors 9 - 2 - 4 = 3.
    s.engine.RemoveDuplicateSites(&s.data, L);
    EXPECT_EQ(Places(L), (std::vector<Place>{{2, 3}, {0, 8}, {4, 2}, {1, 2}}));
}

TEST(PostDuplicates, MatchesThePairwiseProcedure) {
    for (bool both : {true, false}) {
        Layer s(kSameNameFasta, 4, both);
        const int S = s.data.GetNumStrands();
        std::vector<std::vector<int>> sameName(S);
        for (int g = 0; g < S; ++g)
            for (int t = 0; t < S; ++t)
                if (t != g && s.data.Seqs[t].Name() == s.data.Seqs[g].Name()) sameName[g].push_back(t);
        uint32_t state = 20240611u;
        auto next = [&state](uint32_t n) {
            state = state * 1664525u + 1013904223u;
            return (state >> 8) % n;
        };
        int mirrorsMade = 0;
        int removedSomewhere = 0;
        for (int round = 0; round < 400; ++round) {
            std::vector<kmer> L;
            const int size = static_cast<int>(next(24));
            for (int e = 0; e < size; ++e) {
                kmer x{0, 0, static_cast<double>(e), -static_cast<double>(e)};  // scores mark each element
                const uint32_t pick = next(10);
                if (!L.empty() && pick < 2) {
                    const kmer& o = L[next(static_cast<uint32_t>(L.size()))];
                    x.Pos = o.Pos;
                    x.Strand = o.Strand;
                } else if (!L.empty() && pick < 5 && !sameName[L.back().Strand].empty()) {
                    const kmer& o = L[next(static_cast<uint32_t>(L.size()))];
                    if (sameName[o.Strand].empty()) continue;
                    const int t = sameName[o.Strand][next(static_cast<uint32_t>(sameName[o.Strand].size()))];
                    const int lower = std::min(t, static_cast<int>(o.Strand));
                    const int m = s.data.Seqs[lower].len - o.Pos - s.k;
                    if (m < 0 || m + s.k > s.data.Seqs[t].len) continue;
                    x.Pos = m;
                    x.Strand = t;
                    ++mirrorsMade;
                } else {
                    x.Strand = static_cast<int>(next(static_cast<uint32_t>(S)));
                    x.Pos = static_cast<int>(next(static_cast<uint32_t>(s.data.Seqs[x.Strand].len - s.k + 1)));
                }
                L.push_back(x);
            }
            std::vector<kmer> expected = L;
            PairwiseDuplicates(s.data, s.k, expected);
            std::vector<kmer> actual = L;
            s.engine.RemoveDuplicateSites(&s.data, actual);
            if (expected.size() < L.size()) ++removedSomewhere;
            ASSERT_EQ(actual.size(), expected.size()) << "round " << round << " both " << both;
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(actual[i].Pos, expected[i].Pos) << round << " " << i;
                EXPECT_EQ(actual[i].Strand, expected[i].Strand) << round << " " << i;
                EXPECT_EQ(actual[i].Score, expected[i].Score) << round << " " << i;  // the same element survives
            }
        }
        // The lists did exercise copies and mirrors.
        EXPECT_GT(mirrorsMade, 100) << both;
        EXPECT_GT(removedSomewhere, 100) << both;
    }
}

}  // namespace
