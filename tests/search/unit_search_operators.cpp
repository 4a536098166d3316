// The genetic search's operators: roulette selection, crossover with repair and initialization.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/Constants.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"
#include "search/Individual.h"
#include "search_fixture.h"

namespace {

using searchtest::Draws;
using searchtest::Engine;
using searchtest::kFourSeqs;
using searchtest::Members;
using searchtest::SeedForFirstDraw;
using searchtest::SeedWhere;
using searchtest::Strands;

// A parent in genetic form.
Individual Parent(const std::vector<int>& genes, const std::vector<double>& scores) {
    Individual p;
    p.Genes = genes;
    p.GeneMismatch = scores;
    p.setGeneNo(static_cast<int>(genes.size()));
    return p;
}

// Position, strand pairs of a site list.
std::vector<std::pair<int, int>> Sites(const std::vector<kmer>& list) {
    std::vector<std::pair<int, int>> v;
    for (const kmer& s : list) v.push_back({s.Pos, s.Strand});
    return v;
}

using PS = std::vector<std::pair<int, int>>;

int IndexOn(const Wheel& w, const Individual* m) {
    for (size_t i = 0; i < w.member.size(); ++i)
        if (w.member[i] == m) return static_cast<int>(i);
    return -1;
}

bool Contains(const std::vector<int>& list, int x) { return std::find(list.begin(), list.end(), x) != list.end(); }

// ---------------------------------------------------------------- selection

TEST(Selection, WheelOfTheWorkedExample) {
    GAFrame e;
    std::vector<Individual> pop = Members({3, 1, 4, 2});
    Wheel w;
    e.PreWheelSelection(&pop, w);
    // The population is sorted; the best member (mismatch 1) is not on the wheel.
    EXPECT_EQ(pop[0].getMismatch(), 1);
    EXPECT_EQ(pop[1].getMismatch(), 2);
    EXPECT_EQ(pop[2].getMismatch(), 3);
    EXPECT_EQ(pop[3].getMismatch(), 4);
    ASSERT_EQ(w.member.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.member[i], &pop[i + 1]);
    EXPECT_DOUBLE_EQ(w.RLFT[0], 2.0 / 9);
    EXPECT_DOUBLE_EQ(w.RLFT[1], 3.0 / 9);
    EXPECT_DOUBLE_EQ(w.RLFT[2], 4.0 / 9);
    EXPECT_DOUBLE_EQ(w.CLFT[0], 2.0 / 9);
    EXPECT_DOUBLE_EQ(w.CLFT[1], 5.0 / 9);
    EXPECT_EQ(w.CLFT[2], 1.0);
}

TEST(Selection, DrawsOnTheWorkedWheel) {
    GAFrame e;
    std::vector<Individual> pop = Members({1, 2, 3, 4});
    Wheel w;
    e.PreWheelSelection(&pop, w);
    struct Case {
        int draw;  // r = draw / 32767
        int want;  // wheel index of the first parent
    };
    const Case cases[] = {
        {3277, 1},   // r = 0.1, in the first slice: the search ends at mid 0 and takes index 1
        {16384, 1},  // r = 0.5
        {18203, 1},  // just below 5/9
        {18204, 2},  // just above 5/9
        {19661, 2},  // r = 0.6
        {32766, 2},  // just below 1
    };
    for (const Case& c : cases) {
        SeedRandom(SeedForFirstDraw(c.draw));
        std::vector<const Individual*> parents;
        e.SelectParents(parents, w);
        ASSERT_EQ(parents.size(), 2u);
        EXPECT_EQ(IndexOn(w, parents[0]), c.want) << "draw " << c.draw;
    }
    // r = 1.0 with a last share of exactly 1 finds no slice: the next draw picks uniformly.
    for (int residue = 0; residue < 3; ++residue) {
        const uint32_t seed =
            SeedWhere(2, [residue](const std::vector<int>& d) { return d[0] == 32767 && d[1] % 3 == residue; });
        SeedRandom(seed);
        std::vector<const Individual*> parents;
        e.SelectParents(parents, w);
        EXPECT_EQ(IndexOn(w, parents[0]), residue);
    }
}

TEST(Selection, FiveMemberWheelNeverPicksIndexTwoBySearch) {
    GAFrame e;
    std::vector<Individual> pop = Members({1, 2, 3, 4, 5, 6});
    Wheel w;
    e.PreWheelSelection(&pop, w);
    ASSERT_EQ(w.member.size(), 5u);
    // Shares 2, 3, 4, 5, 6 of 20: cumulative 0.1, 0.25, 0.45, 0.7, 1.
    EXPECT_DOUBLE_EQ(w.CLFT[1], 0.25);
    EXPECT_DOUBLE_EQ(w.CLFT[2], 0.45);
    EXPECT_DOUBLE_EQ(w.CLFT[3], 0.7);
    int inSliceTwo = 0;
    for (uint32_t seed = 1; seed <= 4000; ++seed) {
        const int R = Draws(seed, 1)[0];
        if (R == 0 || R == 32767) continue;  // redrawn, or the fallback
        const double r = R / 32767.0;
        SeedRandom(seed);
        std::vector<const Individual*> parents;
        e.SelectParents(parents, w);
        const int got = IndexOn(w, parents[0]);
        // Below 0.45 (slices 0, 1 and 2) the probes end at mid 0: index 1.
        const int want = r < w.CLFT[2] ? 1 : r < w.CLFT[3] ? 3 : 4;
        ASSERT_EQ(got, want) << "r = " << r;
        if (r >= w.CLFT[1] && r < w.CLFT[2]) ++inSliceTwo;
    }
    EXPECT_GT(inSliceTwo, 0);
}

TEST(Selection, AllZeroMismatchesUseTheUniformFallback) {
    GAFrame e;
    std::vector<Individual> pop = Members({0, 0, 0, 0});
    Wheel w;
    e.PreWheelSelection(&pop, w);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(w.RLFT[i], 0.0);
        EXPECT_EQ(w.CLFT[i], 0.0);
    }
    int picked[3] = {0, 0, 0};
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        const std::vector<int> d = Draws(seed, 4);
        if (d[0] == 0 || d[2] == 0) continue;
        SeedRandom(seed);
        std::vector<const Individual*> parents;
        e.SelectParents(parents, w);
        // Each parent: one draw for r, one for the uniform index.
        ASSERT_EQ(IndexOn(w, parents[0]), d[1] % 3) << seed;
        ASSERT_EQ(IndexOn(w, parents[1]), d[3] % 3) << seed;
        ++picked[d[1] % 3];
    }
    EXPECT_GT(picked[0], 0);
    EXPECT_GT(picked[1], 0);
    EXPECT_GT(picked[2], 0);
}

// ---------------------------------------------------------------- crossover

TEST(Crossover, ChildrenHoldEachStrandOnceInStrandOrder) {
    std::mt19937 rng(12345);
    long filled = 0;
    for (int n = 1; n <= 9; ++n) {
        Midlayer data;
        data.Candidates.resize(n);
        for (int g = 0; g < n; ++g)
            for (int j = 0; j <= g % 4; ++j) data.Candidates[g].push_back(1000 + 10 * g + j);
        for (uint32_t seed = 1; seed <= 150; ++seed) {
            std::vector<int> ga(n), gb(n);
            std::vector<double> sa(n), sb(n);
            for (int g = 0; g < n; ++g) {
                ga[g] = static_cast<int>(rng() % 50);
                gb[g] = static_cast<int>(rng() % 50);
                sa[g] = (rng() % 4) * 0.125;  // few values, so ties occur
                sb[g] = (rng() % 4) * 0.125;
            }
            Individual a = Parent(ga, sa), b = Parent(gb, sb);
            std::vector<const Individual*> parents = {&a, &b};
            std::vector<std::vector<kmer>> offspring;
            GAFrame e;
            SeedRandom(seed);
            e.Crossover(parents, offspring, &data);
            ASSERT_EQ(offspring.size(), 2u);
            for (const std::vector<kmer>& child : offspring) {
                ASSERT_EQ(static_cast<int>(child.size()), n) << "n " << n << " seed " << seed;
                for (int g = 0; g < n; ++g) {
                    ASSERT_EQ(child[g].Strand, g) << "n " << n << " seed " << seed;
                    const int p = child[g].Pos;
                    const bool fromParent = p == ga[g] || p == gb[g];
                    ASSERT_TRUE(fromParent || Contains(data.Candidates[g], p)) << "n " << n << " seed " << seed;
                    if (!fromParent) ++filled;
                }
            }
        }
    }
    // The repair had strands to fill.
    EXPECT_GT(filled, 0);
}

TEST(Crossover, OptionThreeCutsInStrandOrderWithoutRepair) {
    Midlayer data;
    data.Candidates.assign(4, {500});
    Individual a = Parent({10, 11, 12, 13}, {0.4, 0.3, 0.2, 0.1});
    Individual b = Parent({20, 21, 22, 23}, {0.1, 0.2, 0.3, 0.4});
    std::vector<const Individual*> parents = {&a, &b};
    GAFrame e;

    // Option 3, cut 1.
    uint32_t seed = SeedWhere(2, [](const std::vector<int>& d) { return d[0] % 3 == 2 && d[1] % 4 == 1; });
    std::vector<int> d = Draws(seed, 3);
    SeedRandom(seed);
    std::vector<std::vector<kmer>> offspring;
    e.Crossover(parents, offspring, &data);
    ASSERT_EQ(offspring.size(), 2u);
    EXPECT_EQ(Sites(offspring[0]), (PS{{10, 0}, {21, 1}, {22, 2}, {23, 3}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{20, 0}, {11, 1}, {12, 2}, {13, 3}}));
    EXPECT_EQ(offspring[0][0].Score, 0.4);
    EXPECT_EQ(offspring[0][1].Score, 0.2);
    EXPECT_EQ(Random(), d[2]);  // no further draw

    // Option 3, a cut of 0 drawn again, then cut 3.
    seed = SeedWhere(3, [](const std::vector<int>& d) { return d[0] % 3 == 2 && d[1] % 4 == 0 && d[2] % 4 == 3; });
    d = Draws(seed, 4);
    SeedRandom(seed);
    offspring.clear();
    e.Crossover(parents, offspring, &data);
    EXPECT_EQ(Sites(offspring[0]), (PS{{10, 0}, {11, 1}, {12, 2}, {23, 3}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{20, 0}, {21, 1}, {22, 2}, {13, 3}}));
    EXPECT_EQ(Random(), d[3]);
}

TEST(Crossover, OptionTwoInterleavesTheSortedHalves) {
    GAFrame e;
    // Five strands. Sorted by score, A's sites are strands 1, 3, 4, 2, 0 and B's 2, 0, 4, 1, 3.
    Individual a = Parent({10, 11, 12, 13, 14}, {0.5, 0.1, 0.4, 0.2, 0.3});
    Individual b = Parent({20, 21, 22, 23, 24}, {0.15, 0.35, 0.05, 0.45, 0.25});
    std::vector<const Individual*> parents = {&a, &b};
    SeedRandom(77);
    const std::vector<int> d = Draws(77, 1);
    SeedRandom(77);
    std::vector<std::vector<kmer>> offspring;
    const int option = 2, n = 5;
    e.CrossoverOptions(parents, offspring, option, n);
    ASSERT_EQ(offspring.size(), 2u);
    // Child 1 = A0 B0 A1 B1 A2, child 2 = B2 A3 B3 A4 B4.
    EXPECT_EQ(Sites(offspring[0]), (PS{{11, 1}, {22, 2}, {13, 3}, {20, 0}, {14, 4}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{24, 4}, {12, 2}, {21, 1}, {10, 0}, {23, 3}}));
    EXPECT_EQ(offspring[0][1].Score, 0.05);
    EXPECT_EQ(Random(), d[0]);  // no draw

    // Four strands: A sorted 3, 2, 1, 0 and B 0, 1, 2, 3; child 1 = A0 B0 A1 B1, child 2 = A2 B2 A3 B3.
    Individual c = Parent({10, 11, 12, 13}, {0.4, 0.3, 0.2, 0.1});
    Individual f = Parent({20, 21, 22, 23}, {0.1, 0.2, 0.3, 0.4});
    parents = {&c, &f};
    offspring.clear();
    const int four = 4;
    e.CrossoverOptions(parents, offspring, option, four);
    EXPECT_EQ(Sites(offspring[0]), (PS{{13, 3}, {20, 0}, {12, 2}, {21, 1}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{11, 1}, {22, 2}, {10, 0}, {23, 3}}));
}

TEST(Crossover, OptionOneCutsTheSortedListsAndRepairs) {
    Midlayer data;
    data.Candidates = {{100, 101, 102}, {200, 201, 202, 203, 204}, {300, 301, 302, 303, 304, 305, 306}, {400, 401}};
    // Sorted by score: A = strands 3, 2, 1, 0; B = strands 0, 1, 2, 3.
    Individual a = Parent({10, 11, 12, 13}, {0.4, 0.3, 0.2, 0.1});
    Individual b = Parent({20, 21, 22, 23}, {0.1, 0.2, 0.3, 0.4});
    std::vector<const Individual*> parents = {&a, &b};
    GAFrame e;
    // Option 1, cut 2: child 1 = A0 A1 B2 B3 = strands 3, 2, 2, 3; child 2 = B0 B1 A2 A3 = strands 0, 1, 1, 0.
    const uint32_t seed = SeedWhere(2, [](const std::vector<int>& d) { return d[0] % 3 == 0 && d[1] % 4 == 2; });
    const std::vector<int> d = Draws(seed, 7);
    SeedRandom(seed);
    std::vector<std::vector<kmer>> offspring;
    e.Crossover(parents, offspring, &data);
    ASSERT_EQ(offspring.size(), 2u);
    // Of a doubled strand the first record is kept; missing strands are filled in
    // strand order, child 1 before child 2.
    EXPECT_EQ(Sites(offspring[0]), (PS{{100 + d[2] % 3, 0}, {200 + d[3] % 5, 1}, {12, 2}, {13, 3}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{20, 0}, {21, 1}, {300 + d[4] % 7, 2}, {400 + d[5] % 2, 3}}));
    EXPECT_EQ(Random(), d[6]);
}

TEST(Crossover, PostCrossoverKeepsOneRecordOfAStrandTheParentsShare) {
    Midlayer data;
    data.Candidates = {{100, 101}, {200, 201, 202}, {300}};
    // Both parents have position 7 on strand 0; child 1 got it twice and no strand 1.
    std::vector<std::vector<kmer>> offspring = {
        {{7, 0, 0.1, 0}, {7, 0, 0.1, 0}, {9, 2, 0.3, 0}},
        {{5, 2, 0.1, 0}, {6, 1, 0.2, 0}, {8, 0, 0.3, 0}},
    };
    const std::vector<int> d = Draws(5, 2);
    SeedRandom(5);
    GAFrame e;
    e.PostCrossover(offspring, &data);
    EXPECT_EQ(Sites(offspring[0]), (PS{{7, 0}, {200 + d[0] % 3, 1}, {9, 2}}));
    EXPECT_EQ(Sites(offspring[1]), (PS{{8, 0}, {6, 1}, {5, 2}}));
    EXPECT_EQ(Random(), d[1]);  // one fill only
}

TEST(Crossover, IdenticalParentsUnderOptionThreeGiveIdenticalChildren) {
    Midlayer data;
    data.Candidates.assign(6, {900});
    Individual a = Parent({4, 8, 15, 16, 23, 42}, {0.3, 0.1, 0.2, 0.6, 0.5, 0.4});
    Individual b = a;
    std::vector<const Individual*> parents = {&a, &b};
    GAFrame e;
    int runs = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        if (Draws(seed, 1)[0] % 3 != 2) continue;
        ++runs;
        SeedRandom(seed);
        std::vector<std::vector<kmer>> offspring;
        e.Crossover(parents, offspring, &data);
        ASSERT_EQ(offspring.size(), 2u);
        for (const std::vector<kmer>& child : offspring)
            EXPECT_EQ(Sites(child), (PS{{4, 0}, {8, 1}, {15, 2}, {16, 3}, {23, 4}, {42, 5}})) << seed;
    }
    EXPECT_GT(runs, 5);
}

TEST(Crossover, SingleStrandChildrenCopyTheParents) {
    Midlayer data;
    data.Candidates = {{5, 6, 7}};
    Individual a = Parent({1}, {0.5});
    Individual b = Parent({2}, {0.25});
    std::vector<const Individual*> parents = {&a, &b};
    GAFrame e;
    for (int option = 0; option < 3; ++option) {
        const uint32_t seed = SeedWhere(1, [option](const std::vector<int>& d) { return d[0] % 3 == option; });
        const std::vector<int> d = Draws(seed, 2);
        SeedRandom(seed);
        std::vector<std::vector<kmer>> offspring;
        e.Crossover(parents, offspring, &data);
        ASSERT_EQ(offspring.size(), 2u);
        EXPECT_EQ(Sites(offspring[0]), (PS{{1, 0}})) << "option " << option + 1;
        EXPECT_EQ(Sites(offspring[1]), (PS{{2, 0}})) << "option " << option + 1;
        EXPECT_EQ(Random(), d[1]) << "option " << option + 1;  // only the option was drawn
    }
}

// ---------------------------------------------------------------- initialization

TEST(Initialization, RandomWayDrawsFromTheCandidatesInStrandOrder) {
    Strands s(kFourSeqs, 8, true);
    const int S = 8;
    // Strand g admits the starts p with p mod 3 = g mod 3; strand 5 only start 5.
    for (int g = 0; g < S; ++g) {
        s.data.Candidates[g].clear();
        for (int p = g % 3; p + 8 <= 30; p += 3) s.data.Candidates[g].push_back(p);
    }
    s.data.Candidates[5] = {5};
    GAFrame e = Engine(12, 8);
    const std::vector<int> d = Draws(31, S);
    SeedRandom(31);
    std::vector<Individual> pop(3);  // emptied first
    testing::internal::CaptureStdout();
    const bool usePK = false;
    e.Initialization(usePK, &s.data, &pop);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Initialization without PK\n");

    ASSERT_EQ(pop.size(), 12u);
    for (int id = 0; id < 12; ++id) {
        const Individual& m = pop[id];
        EXPECT_EQ(m.getID(), id);
        EXPECT_EQ(m.getGeneNo(), S);
        EXPECT_EQ(m.getConLen(), 8);
        ASSERT_EQ(m.Genes.size(), static_cast<size_t>(S));
        EXPECT_EQ(m.GeneMismatch.size(), static_cast<size_t>(S));
        EXPECT_GT(m.getComplexity(), s.data.GetLowerComp());
        for (int g = 0; g < S; ++g) EXPECT_TRUE(Contains(s.data.Candidates[g], m.Genes[g])) << id << "," << g;
        EXPECT_EQ(m.Genes[5], 5);
    }
    // The first member takes one index draw per strand, in strand order.
    for (int g = 0; g < S; ++g) {
        const std::vector<int>& list = s.data.Candidates[g];
        EXPECT_EQ(pop[0].Genes[g], list[d[g] % list.size()]) << g;
    }
    // The members are scored: the first one's scores match a model scored from its sites.
    Individual check;
    check.setValues(S, 8);
    check.CalculateIndiFitness(&s.data, s.data.GetFreqInfo(), pop[0].Genes);
    EXPECT_EQ(pop[0].getMismatch(), check.getMismatch());
    EXPECT_EQ(pop[0].getIC(), check.getIC());
}

TEST(Initialization, RejectedCandidatesAreReplacedForTheSameID) {
    // Windows 0..13 of both strands are AAAA; a model of two such windows has
    // complexity 1/256 and is rejected; one window from 14..16 (AAAC, AACG, ACGT)
    // lifts it above 0.01.
    Strands s(">a\nAAAAAAAAAAAAAAAAACGT\n>b\nAAAAAAAAAAAAAAAAACGT\n", 4, false);
    GAFrame e = Engine(10, 4);
    const std::vector<int> d = Draws(8, 2000);
    std::vector<std::pair<int, int>> want;
    size_t used = 0;
    int rejected = 0;
    while (want.size() < 10) {
        const int a = d[used] % 17, b = d[used + 1] % 17;
        used += 2;
        if (a >= 14 || b >= 14)
            want.push_back({a, b});
        else
            ++rejected;
    }
    ASSERT_GT(rejected, 0);
    SeedRandom(8);
    std::vector<Individual> pop;
    testing::internal::CaptureStdout();
    const bool usePK = false;
    e.Initialization(usePK, &s.data, &pop);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(pop.size(), 10u);
    for (int id = 0; id < 10; ++id) {
        EXPECT_EQ(pop[id].getID(), id);
        EXPECT_EQ(pop[id].Genes, (std::vector<int>{want[id].first, want[id].second})) << id;
        EXPECT_GT(pop[id].getComplexity(), 0.01);
    }
    EXPECT_EQ(Random(), d[used]);
}

TEST(Initialization, SeededWayTakesTheNearestWindowToTheKnownSites) {
    // All known sites are GATTACAG: each strand takes the first admissible
    // window with the fewest letters different from it.
    Strands s(">s1\nTTGATTACAATTGATTACAGTT\n"       // 1 difference at 2, exact at 12
              ">s2\nCCAGATCACAGCCCGATTACTGCC\n"     // 1 difference at 3 and at 14
              ">s3\nTTTTGATTACAGTTCTTTACAGCTGATTACGGTT\n",  // exact at 4 (not admissible), 2 at 14, 1 at 24
              8, false);
    s.data.Candidates[2].erase(s.data.Candidates[2].begin() + 4);
    for (int i = 0; i < 3; ++i) s.data.UsedPK.push_back(PK{"GATTACAG", 0.0, 0.0});
    s.data.NumUsedPK = 3;
    s.data.PKFit.NumPK = 3;
    GAFrame e = Engine(10, 8);
    const std::vector<int> d = Draws(4, 40);
    SeedRandom(4);
    std::vector<Individual> pop;
    testing::internal::CaptureStdout();
    const bool usePK = true;
    e.Initialization(usePK, &s.data, &pop);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(pop.size(), 10u);
    for (int id = 0; id < 10; ++id) {
        EXPECT_EQ(pop[id].getID(), id);
        EXPECT_EQ(pop[id].Genes, (std::vector<int>{12, 3, 24})) << id;
    }
    // Each member draws ceil(3 x 0.8) = 3 known sites for its profile.
    EXPECT_EQ(Random(), d[30]);
}

TEST(InitializationDeathTest, HundredRejectionsInARowEndTheRun) {
    Strands s(kFourSeqs, 8, true);
    s.data.SetLowerComp(1.0);  // no model exceeds complexity 1
    GAFrame e = Engine(10, 8);
    std::vector<Individual> pop;
    const bool usePK = false;
    std::fflush(stdout);
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            SeedRandom(3);
            e.Initialization(usePK, &s.data, &pop);
        },
        testing::ExitedWithCode(1),
        "Initialization without PK\nThe lower complexity value need to be lower than: 1 \\.\n Please rerun QIRO "
        "with a smaller low complexity\\. \n System aborted\\. \n\n");
}

}  // namespace
