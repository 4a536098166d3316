// The genetic search's generation: re-alignment, replacement, the new population and one whole generation.
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

#include "cli_util.h"
#include "core/Constants.h"
#include "input/Midlayer.h"
#include "planted.h"
#include "search/GAFrame.h"
#include "search/Individual.h"
#include "search_fixture.h"

namespace {

using clitest::WorkDir;
using searchtest::Draws;
using searchtest::Engine;
using searchtest::kFourSeqs;
using searchtest::Members;
using searchtest::SeedForFirstDraw;
using searchtest::SeedWhere;
using searchtest::Strands;

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
