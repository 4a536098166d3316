// The genetic search engine: initialization, roulette selection, crossover with
// repair, re-alignment, the forming of a new population and one generation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Constants.h"
#include "GAFrame.h"
#include "Individual.h"
#include "Midlayer.h"
#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::WorkDir;

// A data layer holding the strands of a FASTA text, motif width k, flat base
// frequencies and window statistics, and every window admissible.
struct Strands {
    WorkDir dir;
    Midlayer data;

    Strands(const std::string& fasta, int k, bool both) {
        dir.write("in.fa", fasta);
        data.SetDoubleStrand(both);
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        testing::internal::GetCapturedStdout();
        data.SetK(k);
        for (int b = 0; b < B; ++b) {
            data.FreqInfo[b] = 0.25;
            for (int j = 0; j < MAX_K; ++j) data.PosFreq[b][j] = 0.25;
        }
        AllWindows();
    }
    void AllWindows() {
        data.Candidates.assign(data.GetNumStrands(), {});
        for (int g = 0; g < data.GetNumStrands(); ++g)
            for (int p = 0; p + data.GetK() <= data.Seqs[g].len; ++p) data.Candidates[g].push_back(p);
    }
};

// An engine with the given population and width; the other settings default.
GAFrame Engine(int population, int k) {
    GAFrame e;
    const int generations = 10;
    const double replacement = DFLT_SUB, winner = DFLT_WIN, pk = DFLT_PKPER;
    e.setParameters(population, generations, replacement, winner, pk, k);
    return e;
}

std::vector<int> Draws(uint32_t seed, int n) {
    SeedRandom(seed);
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(Random());
    return v;
}

// The first seed from 1 on whose draws satisfy ok.
template <typename Pred>
uint32_t SeedWhere(int n, Pred ok) {
    for (uint32_t seed = 1;; ++seed)
        if (ok(Draws(seed, n))) return seed;
}

uint32_t SeedForFirstDraw(int value) {
    return SeedWhere(1, [value](const std::vector<int>& d) { return d[0] == value; });
}

// Members with the given mismatch scores, IDs 0, 1, ... in order.
std::vector<Individual> Members(const std::vector<double>& mismatches, int firstID = 0) {
    std::vector<Individual> v(mismatches.size());
    for (size_t i = 0; i < v.size(); ++i) {
        v[i].setMismatch(mismatches[i]);
        v[i].setID(firstID + static_cast<int>(i));
    }
    return v;
}

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

const char kFourSeqs[] =
    ">s1\nACGTTGCAAGCTTACGGATCCATGCAGTCA\n"
    ">s2\nTTGACCATGGCAACGTTAGCCTAGGATCCA\n"
    ">s3\nGGCATCGATCGTACGATGCAATTCGGACTA\n"
    ">s4\nCATGCATGCGTAGCTAGCTTAACGGTACCG\n";

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

// ---------------------------------------------------------------- re-alignment

TEST(Realign, TakesTheFirstNearestAdmissibleWindow) {
    Strands s(">a\nCCGATTACCCCGATTACC\n"     // exact at 2 and 11
              ">b\nGATTACCCCCCGATTCCC\n"     // exact at 0, not admissible; 1 difference at 11
              ">c\nCCGATTAGCCCCGCTTACCC\n"   // 1 difference at 2 and at 12
              ">d\nccgattaccc\n",            // exact at 2, in lower case
              6, false);
    s.data.Candidates[1] = {3, 6, 9, 11, 12};
    GAFrame e = Engine(10, 6);
    std::vector<int> starts;
    e.Realign(&s.data, "GATTAC", starts);
    EXPECT_EQ(starts, (std::vector<int>{2, 11, 2, 2}));
}

TEST(Realign, AgreesWithALetterByLetterScan) {
    // Random strands in mixed case; widths on both sides of 32 letters.
    std::mt19937 rng(99);
    std::string fasta;
    const char* L = "ACGTacgt";
    for (int i = 0; i < 5; ++i) {
        fasta += ">r" + std::to_string(i) + "\n";
        const int len = 60 + i * 13;
        for (int p = 0; p < len; ++p) fasta += L[rng() % 8];
        fasta += "\n";
    }
    for (int k : {4, 5, 8, 12, 31, 32, 33, 36, 40}) {
        Strands s(fasta, k, true);
        const int S = s.data.GetNumStrands();
        // Admit about two windows in three.
        for (int g = 0; g < S; ++g) {
            std::vector<int>& list = s.data.Candidates[g];
            std::vector<int> kept;
            for (int p : list)
                if (rng() % 3 != 0) kept.push_back(p);
            if (kept.empty()) kept.push_back(list[0]);
            list = kept;
        }
        GAFrame e = Engine(10, k);
        for (int t = 0; t < 25; ++t) {
            // A window of some strand with a few letters changed, or a random text.
            std::string text(k, 'A');
            if (t % 2 == 0) {
                const SeqRecord& r = s.data.Seqs[rng() % S];
                const int p = static_cast<int>(rng() % (r.len - k + 1));
                for (int j = 0; j < k; ++j) text[j] = static_cast<char>(std::toupper(r.Letter(p + j)));
                for (int c = static_cast<int>(rng() % 3); c > 0; --c) text[rng() % k] = "ACGT"[rng() % 4];
            } else {
                for (char& c : text) c = "ACGT"[rng() % 4];
            }
            std::vector<int> got;
            e.Realign(&s.data, text.c_str(), got);
            ASSERT_EQ(static_cast<int>(got.size()), S);
            for (int g = 0; g < S; ++g) {
                const SeqRecord& r = s.data.Seqs[g];
                int best = 2 * k, bestPos = -1;
                for (int p : s.data.Candidates[g]) {
                    int diff = 0;
                    for (int j = 0; j < k; ++j) diff += std::toupper(r.Letter(p + j)) != text[j];
                    if (diff < best) {
                        best = diff;
                        bestPos = p;
                    }
                }
                ASSERT_EQ(got[g], bestPos) << "k " << k << " strand " << g << " text " << text;
            }
        }
    }
}

TEST(Replace, WithoutReplacementChildrenKeepTheirSites) {
    Strands s(kFourSeqs, 8, false);
    GAFrame e = Engine(10, 8);
    e.setReplacement(0.0);
    std::vector<std::vector<kmer>> offspring = {
        {{0, 0, 0, 0}, {3, 1, 0, 0}, {7, 2, 0, 0}, {22, 3, 0, 0}},
        {{5, 0, 0, 0}, {9, 1, 0, 0}, {1, 2, 0, 0}, {2, 3, 0, 0}},
    };
    const std::vector<int> d = Draws(6, 3);
    SeedRandom(6);
    std::vector<Individual> children = e.Replace(offspring, &s.data);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].Genes, (std::vector<int>{0, 3, 7, 22}));
    EXPECT_EQ(children[1].Genes, (std::vector<int>{5, 9, 1, 2}));
    for (const Individual& c : children) {
        EXPECT_EQ(c.getConLen(), 8);
        EXPECT_EQ(c.getGeneNo(), 4);
        Individual check;
        check.setValues(4, 8);
        check.CalculateIndiFitness(&s.data, s.data.GetFreqInfo(), c.Genes);
        EXPECT_EQ(c.getMismatch(), check.getMismatch());
        EXPECT_EQ(c.getIC(), check.getIC());
        EXPECT_STREQ(c.getCons(), check.getCons());
    }
    EXPECT_EQ(Random(), d[2]);  // one probability draw per child
}

TEST(Replace, ReAlignedChildrenMoveToTheFirstExactWindow) {
    // Every strand holds GATTACAG twice; the children sit on the later copies.
    Strands s(">a\nGATTACAGTTTTGATTACAG\n>b\nCCGATTACAGCCGATTACAG\n>c\nTGATTACAGAGATTACAGAA\n", 8, false);
    GAFrame e = Engine(10, 8);
    e.setReplacement(1.0);
    std::vector<std::vector<kmer>> offspring = {
        {{12, 0, 0, 0}, {12, 1, 0, 0}, {10, 2, 0, 0}},
        {{12, 0, 0, 0}, {12, 1, 0, 0}, {10, 2, 0, 0}},
    };
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SeedRandom(seed);
        std::vector<Individual> children = e.Replace(offspring, &s.data);
        ASSERT_EQ(children.size(), 2u);
        for (const Individual& c : children) {
            EXPECT_EQ(c.Genes, (std::vector<int>{0, 2, 1})) << seed;
            EXPECT_EQ(c.getMismatch(), 0.0);
            EXPECT_STREQ(c.getCons(), "GATTACAG");
        }
    }
    // A probability draw of exactly 1.0 is not below a rate of 1: that child keeps its sites.
    SeedRandom(SeedForFirstDraw(32767));
    std::vector<Individual> children = e.Replace(offspring, &s.data);
    EXPECT_EQ(children[0].Genes, (std::vector<int>{12, 12, 10}));
}

// ---------------------------------------------------------------- new population

TEST(NewPopulation, WinnerTakeAllKeepsTheLowestMismatchesInOrder) {
    GAFrame e = Engine(10, 8);
    e.setWinner(1.0);
    std::vector<Individual> pop = Members({0.1, 0.2, 0.3, 0.35, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9});
    std::vector<Individual> pool = Members({0.95, 0.05, 0.3, 0.45, 0.25, 0.99, 0.15, 0.65, 0.9, 0.01, 0.55}, 10);
    SeedRandom(SeedForFirstDraw(32766));  // below 1: winner-take-all
    e.NewPopulation(&pop, pool);
    // Ascending: 0.01 0.05 0.1 0.15 0.2 0.25 0.3 (old) 0.3 (child) 0.35 0.4.
    std::vector<int> ids;
    for (const Individual& m : pop) ids.push_back(m.getID());
    EXPECT_EQ(ids, (std::vector<int>{19, 11, 0, 16, 1, 14, 2, 12, 3, 4}));
    ASSERT_EQ(pool.size(), 11u);  // the pool is only read
}

TEST(NewPopulation, TournamentsOfAWorkedDraw) {
    GAFrame e = Engine(10, 8);
    e.setPopulation(2);  // the accessor does not check
    e.setWinner(0.0);
    // Members 0..4 with mismatches 0.3, 0.1 (old) and 0.2, 0.2, 0.5 (children).
    // A seed whose first pair is the two equal members 2 and 3.
    auto pair = [](const std::vector<int>& d, int& a, int& b) {
        std::vector<int> list = {0, 1, 2, 3, 4};
        int i = d[1] % 5;
        a = list[i];
        list.erase(list.begin() + i);
        b = list[d[2] % 4];
    };
    const uint32_t seed = SeedWhere(3, [&](const std::vector<int>& d) {
        int a, b;
        pair(d, a, b);
        return (a == 2 && b == 3) || (a == 3 && b == 2);
    });
    const std::vector<int> d = Draws(seed, 7);
    int first, second;
    pair(d, first, second);
    // Left: the three others; the next pair is drawn from them, the last member alone.
    std::vector<int> rest = {0, 1, 4};
    const int c = rest[d[3] % 3];
    rest.erase(rest.begin() + d[3] % 3);
    const int f = rest[d[4] % 2];
    const double mm[5] = {0.3, 0.1, 0.2, 0.2, 0.5};
    const int secondWinner = mm[f] < mm[c] ? f : c;

    std::vector<Individual> pop = Members({0.3, 0.1});
    std::vector<Individual> pool = Members({0.2, 0.2, 0.5}, 2);
    SeedRandom(seed);
    e.NewPopulation(&pop, pool);
    ASSERT_EQ(pop.size(), 2u);
    EXPECT_EQ(pop[0].getID(), first);  // of two equal members the first drawn wins
    EXPECT_EQ(pop[1].getID(), secondWinner);
    // x, two pairs and the single last member: six draws.
    EXPECT_EQ(Random(), d[6]);
}

TEST(NewPopulation, TournamentsKeepThePopulationSizeAndDropTheWorst) {
    for (uint32_t seed = 1; seed <= 100; ++seed) {
        GAFrame e = Engine(10, 8);
        e.setWinner(0.0);
        std::vector<double> old, young;
        for (int i = 0; i < 10; ++i) old.push_back(0.1 + 0.01 * i);
        for (int i = 0; i < 11; ++i) young.push_back(0.05 + 0.02 * i);
        young[4] = 0.99;  // the worst of all 21
        std::vector<Individual> pop = Members(old);
        std::vector<Individual> pool = Members(young, 10);
        SeedRandom(seed);
        e.NewPopulation(&pop, pool);
        ASSERT_EQ(pop.size(), 10u);
        std::set<int> ids;
        for (const Individual& m : pop) {
            ids.insert(m.getID());
            // 21 members make 10 pairs and a single last one; the worst loses its pair.
            EXPECT_NE(m.getID(), 14) << seed;
        }
        EXPECT_EQ(ids.size(), 10u) << seed;
    }
}

TEST(NewPopulation, ADrawOfExactlyOneMeansTournaments) {
    GAFrame e = Engine(10, 8);
    e.setWinner(1.0);
    std::vector<double> old, young;
    for (int i = 0; i < 10; ++i) old.push_back(0.1 * (i + 1));
    for (int i = 0; i < 11; ++i) young.push_back(0.05 * (i + 1) - 0.001);
    std::vector<Individual> pop = Members(old);
    std::vector<Individual> pool = Members(young, 10);
    SeedRandom(SeedForFirstDraw(32767));  // x = 1.0 is not below a rate of 1
    e.NewPopulation(&pop, pool);
    ASSERT_EQ(pop.size(), 10u);
    // Winner-take-all would give the 10 lowest of all 21, sorted.
    std::vector<double> got;
    for (const Individual& m : pop) got.push_back(m.getMismatch());
    std::vector<double> lowest = old;
    lowest.insert(lowest.end(), young.begin(), young.end());
    std::sort(lowest.begin(), lowest.end());
    lowest.resize(10);
    EXPECT_NE(got, lowest);
}

// ---------------------------------------------------------------- one generation

struct PlantedData {
    WorkDir dir;
    Midlayer data;
    PlantedData(int sequences, int length, int k) {
        planted::Options o;
        o.sequences = sequences;
        o.length = length;
        o.motif = "ATGCAAGGTC";
        o.seed = 3;
        dir.write("in.fa", planted::Make(o).fasta);
        dir.write("bg.freq", clitest::FlatBackground());
        testing::internal::CaptureStdout();
        data.SetDoubleStrand(true);
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        data.OpenFreqFile(dir.file("bg.freq"));
        data.LoadFreqInfo();
        data.SetFilter(false);
        data.setPKPre(false);
        data.SetK(k);
        data.ComputePosFreq(true);
        data.Filtering();
        testing::internal::GetCapturedStdout();
    }
};

TEST(GeneticOperation, KeepsThePopulationSizeAndValidMembers) {
    PlantedData p(8, 60, 8);
    const int S = 16;
    for (double winner : {0.0, 0.25, 1.0}) {
        GAFrame e = Engine(10, 8);
        e.setWinner(winner);
        SeedRandom(17);
        std::vector<Individual> pop;
        testing::internal::CaptureStdout();
        const bool usePK = false;
        e.Initialization(usePK, &p.data, &pop);
        testing::internal::GetCapturedStdout();
        double best = 1e9;
        for (int gen = 0; gen < 6; ++gen) {
            e.GeneticOperation(&p.data, &pop);
            ASSERT_EQ(pop.size(), 10u) << winner;
            for (const Individual& m : pop) {
                ASSERT_EQ(m.getGeneNo(), S);
                ASSERT_EQ(m.Genes.size(), static_cast<size_t>(S));
                ASSERT_EQ(m.GeneMismatch.size(), static_cast<size_t>(S));
                EXPECT_GT(m.getComplexity(), p.data.GetLowerComp());
                for (int g = 0; g < S; ++g) {
                    ASSERT_GE(m.Genes[g], 0);
                    ASSERT_LE(m.Genes[g], 60 - 8);
                }
            }
            if (winner == 1.0) {
                // Winner-take-all: sorted, and the best never gets worse.
                for (size_t i = 1; i < pop.size(); ++i) EXPECT_LE(pop[i - 1].getMismatch(), pop[i].getMismatch());
                EXPECT_LE(pop[0].getMismatch(), best);
                best = pop[0].getMismatch();
            }
        }
    }
}

TEST(GeneticOperationDeathTest, ChildrenThatAllFailTheComplexityTestEndTheRun) {
    PlantedData p(6, 40, 8);
    GAFrame e = Engine(10, 8);
    SeedRandom(2);
    std::vector<Individual> pop;
    testing::internal::CaptureStdout();
    const bool usePK = false;
    e.Initialization(usePK, &p.data, &pop);
    testing::internal::GetCapturedStdout();
    p.data.SetLowerComp(1.0);
    std::fflush(stdout);
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            e.GeneticOperation(&p.data, &pop);
        },
        testing::ExitedWithCode(1),
        "The lower complexity value need to be lower than: 1 \\.\n Please rerun QIRO with a smaller low "
        "complexity\\. \n System aborted\\. \n\n");
}

}  // namespace
