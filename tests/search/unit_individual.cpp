// Motif model record and the random source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "search/GAFrame.h"
#include "search/Individual.h"

namespace {

TEST(Individual, DefaultsAndAccessors) {
    Individual m;
    EXPECT_EQ(m.getMAPS(), 0.0);
    EXPECT_TRUE(m.Sites.empty());
    EXPECT_TRUE(m.Genes.empty());
    EXPECT_STREQ(m.getCons(), "");
    m.setComplexity(0.3);
    EXPECT_EQ(m.getLC(), 0.3);
    m.setLC(0.6);
    EXPECT_EQ(m.getComplexity(), 0.6);
    m.setCons("ACGTACGT", 4);
    EXPECT_STREQ(m.getCons(), "ACGT");
    m.setValues(7, 12);
    EXPECT_EQ(m.getGeneNo(), 7);
    EXPECT_EQ(m.getConLen(), 12);
    Individual c(0.5, 3);
    EXPECT_EQ(c.getCLFT(), 0.5);
    EXPECT_EQ(c.getGeneNo(), 3);
}

TEST(Individual, CopiesKeepAFortyLetterConsensusAndTheSites) {
    Individual m;
    std::string cons(40, 'G');
    cons[39] = 'T';
    m.setFitness(1.5, 0.25, 0.75, cons.c_str(), 40);
    m.Genes = {3, 4};
    m.Sites.push_back({1, 2, 0.5, 0.25});
    m.MismatchMatrix[3][39] = 1.0;
    Individual copy(m);
    Individual assigned;
    assigned = m;
    for (const Individual* x : {&copy, &assigned}) {
        EXPECT_EQ(std::string(x->getCons()), cons);
        EXPECT_EQ(x->Genes, m.Genes);
        ASSERT_EQ(x->Sites.size(), 1u);
        EXPECT_EQ(x->Sites[0].Strand, 2);
        EXPECT_EQ(x->MismatchMatrix[3][39], 1.0);
        EXPECT_EQ(x->getIC(), 1.5);
    }
}

TEST(Individual, EqualityLooksAtTheThreeScoresOnly) {
    Individual a, b;
    a.setFitness(1.0, 0.5, 0.25, "AAAA", 4);
    b.setFitness(1.0, 0.5, 0.25, "CCCC", 4);
    b.Genes = {1, 2, 3};
    EXPECT_TRUE(a == b);
    b.setMismatch(0.6);
    EXPECT_FALSE(a == b);
    b.setMismatch(std::nan(""));
    a.setMismatch(std::nan(""));
    EXPECT_FALSE(a == b);
}

TEST(Individual, Orderings) {
    std::vector<Individual> pop(3);
    pop[0].setMismatch(0.7);
    pop[1].setMismatch(0.2);
    pop[2].setMismatch(0.5);
    std::sort(pop.begin(), pop.end());
    EXPECT_EQ(pop[0].getMismatch(), 0.2);
    EXPECT_EQ(pop[1].getMismatch(), 0.5);
    EXPECT_EQ(pop[2].getMismatch(), 0.7);
    pop[0].setMAPS(1.0);
    pop[1].setMAPS(3.0);
    pop[2].setMAPS(2.0);
    std::sort(pop.begin(), pop.end(), RankMAPS);
    EXPECT_EQ(pop[0].getMAPS(), 3.0);
    EXPECT_EQ(pop[2].getMAPS(), 1.0);

    std::vector<kmer> sites = {{0, 3, 0.9, 5}, {1, 1, 0.1, 2}, {2, 3, 0.5, 1}, {3, 0, 0.3, 9}};
    std::sort(sites.begin(), sites.end(), KComp());
    EXPECT_EQ(sites[0].Strand, 0);
    EXPECT_EQ(sites[1].Strand, 1);
    EXPECT_EQ(sites[2].Strand, 3);
    EXPECT_EQ(sites[3].Strand, 3);
    std::sort(sites.begin(), sites.end());
    EXPECT_EQ(sites[0].Score, 0.1);
    std::sort(sites.begin(), sites.end(), BComp());
    EXPECT_EQ(sites[0].BGScore, 1);
    kmer nan{0, 0, std::nan(""), std::nan("")};
    EXPECT_FALSE(nan < sites[0]);
    EXPECT_FALSE(sites[0] < nan);
    EXPECT_FALSE(BComp()(nan, sites[0]));
}

TEST(Random, PortableGeneratorSequence) {
    // The classic portable generator seeded with 1 starts 16838, 5758, 10113, 17515, 31051.
    SeedRandom(1);
    EXPECT_EQ(Random(), 16838);
    EXPECT_EQ(Random(), 5758);
    EXPECT_EQ(Random(), 10113);
    EXPECT_EQ(Random(), 17515);
    EXPECT_EQ(Random(), 31051);
}

TEST(Random, DrawForms) {
    // Find a seed whose first draw is 32767 to see rand_gen() reach exactly 1.
    uint32_t seed = 0;
    for (uint32_t s = 0;; ++s) {
        SeedRandom(s);
        if (Random() == 32767) {
            seed = s;
            break;
        }
    }
    SeedRandom(seed);
    EXPECT_EQ(GAFrame::rand_gen(), 1.0);
    SeedRandom(99);
    for (int i = 0; i < 10000; ++i) {
        double r = GAFrame::rand_gen();
        EXPECT_GT(r, 0.0);
        EXPECT_LE(r, 1.0);
        int n = GAFrame::rand_gen(3);
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 3);
    }
}

}  // namespace
