// Post-processing: site adding, site removing and the driver that merges and refines models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
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

// ============================================================ site adding

TEST(PostAdding, TheCandidateWithTheLowestScoreIsAdded) {
    // Background: P(word) = product of q over its letters. With ACGT and ACGA
    // in the model and the flat window table, both words have mismatch 1/6,
    // which passes the test mismatch + std = 1/6 + 0. Their candidate scores
    // are 6 log2(0.0024) = -52.2 (ACGT, met first) and 6 log2(0.0006) = -64.2
    // (ACGA): ACGA goes in.
    const double q[4] = {0.1, 0.2, 0.3, 0.4};
    Layer s(">m1\nACGT\n>m2\nACGA\n>c1\nACGT\n>c2\nACGA\n", 4, false, MarkovBackground(q));
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    ASSERT_NEAR(m.getMismatch(), 1.0 / 6, 1e-15);
    ASSERT_EQ(m.getSTD(), 0.0);
    const double entryIC = m.getIC();
    s.engine.AddingStep(&m, &s.data);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 0}, {1, 0}, {3, 0}}));
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    const Columns c = HandColumns({"ACGT", "ACGA", "ACGA"}, q);
    EXPECT_GT(c.IC, entryIC);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    // Re-scored: the new site's mismatch against the new model is (1/3) / 3,
    // and its background score is -log2(0.0006) over it.
    EXPECT_NEAR(m.Sites[2].Score, 1.0 / 9, 1e-15);
    EXPECT_NEAR(m.Sites[2].BGScore, -std::log2(0.0006) * 9, 1e-9);
}

TEST(PostAdding, AnAdditionThatLowersInformationContentIsUndone) {
    // Model AAAA x3 and CCGT: mismatch 0.5, std sqrt(1/12); the only other
    // window, AAGG, has mismatch 2.25 / 3 = 0.75 <= 0.7887 and is taken, but
    // with it the information content falls from 1.7956 to 1.7165.
    Layer s(">s1\nAAAA\n>s2\nAAAA\n>s3\nAAAA\n>s4\nCCGT\n>s5\nAAGG\n", 4, false);
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0), Site(2, 0), Site(3, 0)});
    ASSERT_NEAR(m.getMismatch(), 0.5, 1e-15);
    ASSERT_NEAR(m.getSTD(), std::sqrt(1.0 / 12), 1e-15);
    ASSERT_NEAR(m.CalculateMismatch(&s.data, "AAGG"), 0.75, 1e-15);
    ASSERT_NEAR(m.getIC(), 1.79561, 1e-5);
    ASSERT_NEAR(HandColumns({"AAAA", "AAAA", "AAAA", "CCGT", "AAGG"}, kFlat).IC, 1.71652, 1e-5);
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
}

TEST(PostAdding, AMirrorOfASiteIsNeverAdded) {
    // Both strands. ACGT and AGCT read the same on either strand, so the
    // windows of strands 0 and 1 mirror the model's sites on strands 3 and 4.
    // The background makes ACGT and AGCT rarer (B(ACG) = B(AGC) = 0.05), so the
    // mirrors would score best (3 log2 P = -30.97 against -24 for ACCT and
    // AGGT). The first of the two legal candidates, ACCT on strand 2, goes in.
    const double q[4] = {0.25, 0.25, 0.25, 0.25};
    Layer s(">s1\nACGT\n>s2\nAGCT\n>s3\nACCT\n", 4, true, MarkovBackground(q, {{"ACG", 0.05}, {"AGC", 0.05}}));
    s.FlatPosFreq();
    ASSERT_EQ(s.Window(3, 0), "ACGT");
    ASSERT_EQ(s.Window(4, 0), "AGCT");
    ASSERT_EQ(s.Window(5, 0), "AGGT");
    Individual m = SiteModel(s, {Site(3, 0), Site(4, 0)});
    ASSERT_NEAR(m.getMismatch(), 1.0 / 3, 1e-15);
    ASSERT_NEAR(m.CalculateMismatch(&s.data, "ACGT"), 1.0 / 3, 1e-15);  // the mirrors pass the test
    s.engine.AddingStep(&m, &s.data);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{3, 0}, {4, 0}, {2, 0}}));
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "AGCT", "ACCT"}, kFlat).IC, 1e-12);
}

TEST(PostAdding, AModelCoveringEveryCandidateIsLeftAlone) {
    // Strands 0 and 1 forward, 2 and 3 their reverse complements; sites on 2
    // and 1, whose mirrors are the windows of 0 and 3.
    Layer s(">s1\nACGT\n>s2\nAGCT\n", 4, true);
    Individual m = SiteModel(s, {Site(2, 0), Site(1, 0)});
    m.setMAPS(42.0);  // would be overwritten by a re-scoring
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
    EXPECT_EQ(m.getMAPS(), 42.0);
}

TEST(PostAdding, NoWindowPassingTheMismatchTestLeavesTheModelAlone) {
    // Two identical sites: mismatch + std = 0, and no other window is a copy.
    Layer s(">s1\nACGT\n>s2\nACGT\n>s3\nACGA\n>s4\nTTTTT\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    m.setMAPS(42.0);
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
}

// ============================================================ site removing

// One strand searched, three sequences: strand 0 holds sites at 0, 4 and 8,
// strands 1 and 2 one site each at 0. Background scores are set by hand:
// (4,s0) 1, (0,s1) 2, (8,s0) 3, (0,s2) 4, (0,s0) 5. With n = 2, (0,s0) is
// trimmed and (4,s0), first in order on a strand with two sites, is tried.
Individual FiveSites(Layer& s) {
    Individual m = SiteModel(s, {Site(0, 0), Site(0, 4), Site(0, 8), Site(1, 0), Site(2, 0)});
    const double bg[5] = {5, 1, 3, 2, 4};
    for (int i = 0; i < 5; ++i) m.Sites[i].BGScore = bg[i];
    return m;
}

TEST(PostRemoving, TrimsThenRemovesAndKeepsTheRemovalWhenInformationRises) {
    // (4,s0) reads TTTT among ACGT sites: without it (and without the trimmed
    // (0,s0)) three ACGT remain, 2.868 bits against 2.448 with all five.
    Layer s(">s1\nACGTTTTTACGT\n>s2\nACGTCC\n>s3\nACGTGG\n", 4, false);
    Individual m = FiveSites(s);
    ASSERT_NEAR(m.getIC(), 2.44809, 1e-5);
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 8}, {2, 0}}));
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    EXPECT_NEAR(m.getIC(), 2.86809, 1e-5);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostRemoving, AFallingRemovalPutsTheSiteBackAtTheEnd) {
    // Five ACGT sites: the three left would carry less information (2.868
    // against 3.406), so the removed (4,s0) comes back at the end; the
    // trimmed (0,s0) stays out.
    Layer s(">s1\nACGTACGTACGT\n>s2\nACGTCC\n>s3\nACGTGG\n", 4, false);
    Individual m = FiveSites(s);
    ASSERT_NEAR(m.getIC(), 3.40637, 1e-5);
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 8}, {2, 0}, {0, 4}}));
    EXPECT_EQ(m.getGeneNo(), 4);
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "ACGT", "ACGT", "ACGT"}, kFlat).IC, 1e-12);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostRemoving, OneSiteLimitOnASingleStrandChangesNothing) {
    // n = 1 would trim strand 0 to one site, but then no strand has two and no
    // site is chosen: both sites stay, in their order, and nothing is re-scored.
    Layer s(">s1\nACGTACGT\n>s2\nACGTCC\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 4), Site(1, 0), Site(0, 0)});
    m.Sites[0].BGScore = 1;
    m.Sites[1].BGScore = 2;
    m.Sites[2].BGScore = 0.5;
    m.setMAPS(42.0);
    const Individual entry = m;
    const int n = 1;
    s.engine.RemovingStep(&m, &s.data, n);
    ExpectSameModel(m, entry);
}

TEST(PostRemoving, OneSitePerStrandOnOneStrandIsNeverChanged) {
    Layer s(">s1\nACGTAC\n>s2\nACGTCC\n>s3\nTCGTGG\n", 4, false);
    for (int n : {1, 2, 5}) {
        Individual m = SiteModel(s, {Site(2, 0), Site(0, 1), Site(1, 0)});
        m.setMAPS(42.0);
        const Individual entry = m;
        s.engine.RemovingStep(&m, &s.data, n);
        ExpectSameModel(m, entry);
    }
}

TEST(PostRemoving, PartnerStrandsMakeASiteRemovable) {
    // Both strands, two sequences: strand 2 is the reverse complement of 0.
    // Order by background score: (0,s1) 0.5, (0,s2) 1, (0,s0) 3. Strand 1's
    // partner 3 holds nothing; strand 2's partner 0 does: (0,s2) is tried.
    // All four windows read ACGT, so removing lowers the information content
    // and the site comes back at the end.
    Layer s(">s1\nACGT\n>s2\nACGT\n", 4, true);
    s.FlatPosFreq();  // every window alike would leave no mismatch denominator
    Individual m = SiteModel(s, {Site(0, 0), Site(2, 0), Site(1, 0)});
    m.Sites[0].BGScore = 3;
    m.Sites[1].BGScore = 1;
    m.Sites[2].BGScore = 0.5;
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 0}, {2, 0}}));

    // One strand only: the same sites (strand 2 then has no partner) stay put.
    // (Here strand 2 is a third sequence.)
    Layer one(">s1\nACGT\n>s2\nACGT\n>s3\nACGT\n", 4, false);
    one.FlatPosFreq();
    Individual m1 = SiteModel(one, {Site(0, 0), Site(2, 0), Site(1, 0)});
    m1.setMAPS(42.0);
    const Individual entry = m1;
    one.engine.RemovingStep(&m1, &one.data, n);
    ExpectSameModel(m1, entry);
}

TEST(PostRemoving, NoLimitAndNoSitesChangeNothing) {
    Layer s(">s1\nACGTACGT\n>s2\nACGTCC\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 0), Site(0, 4), Site(1, 0)});
    m.setMAPS(42.0);
    const Individual entry = m;
    for (int n : {0, -1}) {
        s.engine.RemovingStep(&m, &s.data, n);
        ExpectSameModel(m, entry);
    }
    Individual empty;
    empty.setConLen(4);
    const int n = 2;
    s.engine.RemovingStep(&empty, &s.data, n);
    EXPECT_TRUE(empty.Sites.empty());
    EXPECT_EQ(empty.getMAPS(), 0.0);
}

// ============================================================ driver

// Checks that hold for every model the driver returns.
void ExpectPostProcessed(Layer& s, const std::vector<Individual>& pop, int sitesPerStrand) {
    for (size_t r = 0; r < pop.size(); ++r) {
        const Individual& m = pop[r];
        EXPECT_TRUE(m.Genes.empty()) << r;
        ASSERT_FALSE(m.Sites.empty()) << r;
        EXPECT_EQ(m.getGeneNo(), static_cast<int>(m.Sites.size())) << r;
        EXPECT_EQ(m.getConLen(), s.k) << r;
        std::map<int, int> perStrand;
        for (const kmer& x : m.Sites) {
            ASSERT_GE(x.Pos, 0);
            ASSERT_LE(x.Pos + s.k, s.data.Seqs[x.Strand].len);
            ++perStrand[x.Strand];
        }
        for (const auto& e : perStrand) EXPECT_LE(e.second, sitesPerStrand) << r << " strand " << e.first;
        // The scores are those of the sites the model lists.
        EXPECT_NEAR(m.getIC(), HandColumns(Words(s, m.Sites), s.data.GetFreqInfo()).IC, 1e-9) << r;
        ExpectSameModel(m, SiteModel(s, m.Sites));
        if (r > 0) {
            EXPECT_GE(pop[r - 1].getMAPS(), m.getMAPS()) << r;
        }
    }
}

TEST(PostDriver, EmptyPopulationStaysEmpty) {
    Layer s(kChainFasta, 4, false);
    std::vector<Individual> pop;
    s.engine.PostProcessing(&s.data, &pop, 2);
    EXPECT_TRUE(pop.empty());
}

TEST(PostDriver, OneConsensusGivesOneModelWithinTheSiteLimit) {
    // Four models with consensus ACGT that differ on strand 0: merged, strand
    // 0 holds four sites; refinement trims it to the limit.
    Layer s(">s1\nACGTACGAACGCACGG\n>s2\nACGTCCCC\n>s3\nGGACGTGG\n>s4\nTTACGTTT\n", 4, false);
    std::vector<Individual> pop;
    for (int p : {0, 4, 8, 12}) pop.push_back(GeneticModel(s, {p, 0, 2, 2}));
    for (const Individual& m : pop) ASSERT_STREQ(m.getCons(), "ACGT");
    for (int limit : {2, 3}) {
        std::vector<Individual> work = pop;
        s.engine.PostProcessing(&s.data, &work, limit);
        ASSERT_EQ(work.size(), 1u) << limit;
        ExpectPostProcessed(s, work, limit);
    }
}

TEST(PostDriver, TheSiteLimitReachesEveryRemoval) {
    // Three models with consensus ACGT that differ on strand 0, where ACGT
    // stands at 0, 4 and 8: merged, strand 0 holds three copies. Nothing can
    // be added (every copy is a site) and removing any copy lowers the
    // information content, so only the trimming to the limit takes sites away.
    Layer s(">s1\nACGTACGTACGT\n>s2\nACGTCC\n>s3\nGGACGT\n>s4\nTTACGTTT\n", 4, false);
    std::vector<Individual> pop;
    for (int p : {0, 4, 8}) pop.push_back(GeneticModel(s, {p, 0, 2, 2}));
    for (int limit : {2, 3}) {
        std::vector<Individual> work = pop;
        s.engine.PostProcessing(&s.data, &work, limit);
        ASSERT_EQ(work.size(), 1u) << limit;
        ExpectPostProcessed(s, work, limit);
        int onZero = 0;
        for (const kmer& x : work[0].Sites) onZero += x.Strand == 0;
        EXPECT_EQ(onZero, limit);
        EXPECT_EQ(work[0].Sites.size(), static_cast<size_t>(3 + limit));
    }
}

TEST(PostDriver, RefinementRepeatsWhileInformationRises) {
    // Every sequence holds ACGT at 0 and 6; the model starts with the copies
    // at 0. Each cycle adds one more copy (its information content rises) and
    // the removal it then tries is undone, until every copy is a site.
    Layer s(">s1\nACGTCCACGT\n>s2\nACGTGGACGT\n>s3\nACGTTAACGT\n>s4\nACGTAAACGT\n", 4, false);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0, 0})};
    const int limit = 2;
    s.engine.PostProcessing(&s.data, &pop, limit);
    ASSERT_EQ(pop.size(), 1u);
    ExpectPostProcessed(s, pop, limit);
    std::vector<Place> places = Places(pop[0].Sites);
    std::sort(places.begin(), places.end());
    EXPECT_EQ(places, (std::vector<Place>{{0, 0}, {0, 6}, {1, 0}, {1, 6}, {2, 0}, {2, 6}, {3, 0}, {3, 6}}));
    EXPECT_NEAR(pop[0].getIC(), HandColumns(std::vector<std::string>(8, "ACGT"), kFlat).IC, 1e-12);
}

TEST(PostDriver, ModelsComeBackByMapScoreHighestFirst) {
    // A, B, C of the chain set rank by MAP score in the opposite order (on a
    // flat background the MAP score of four sites is half the information
    // content). A small delta keeps them apart.
    Layer s(kChainFasta, 4, false);
    s.data.SetDelta(0.01);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0, 0}), GeneticModel(s, {4, 4, 4, 4}),
                                   GeneticModel(s, {8, 8, 8, 8})};
    const int limit = 2;
    s.engine.PostProcessing(&s.data, &pop, limit);
    ASSERT_EQ(pop.size(), 3u);
    ExpectPostProcessed(s, pop, limit);
    EXPECT_GT(pop[0].getMAPS(), pop[2].getMAPS());
}

TEST(PostDriver, AModelThatCannotChangeComesBackAsMerged) {
    // Every window is a site of the model: nothing to add, one site per strand
    // on one strand: nothing to remove.
    Layer s(">s1\nACGT\n>s2\nACGT\n>s3\nACGA\n", 4, false);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0})};
    std::vector<Individual> merged = pop;
    s.engine.MergingStep(&s.data, &merged);
    s.engine.PostProcessing(&s.data, &pop, 2);
    ASSERT_EQ(pop.size(), 1u);
    ExpectSameModel(pop[0], merged[0]);
    EXPECT_TRUE(pop[0].Genes.empty());
}

}  // namespace
