// A planted data set, an engine and a model comparison shared by the fast-path
// tests, which run the same search or refinement two ways and compare.
#ifndef QIRO_TESTS_FAST_FIXTURE_H
#define QIRO_TESTS_FAST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_util.h"
#include "input/Midlayer.h"
#include "planted.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

namespace fasttest {

using clitest::WorkDir;

// A planted data set ready for the search.
struct Planted {
    WorkDir dir;
    Midlayer data;
    explicit Planted(int k, int sequences = 12, int length = 80, double share = 1.0, int mutations = 0) {
        planted::Options o;
        o.sequences = sequences;
        o.length = length;
        o.motif = std::string("ATGCAAGGTCACGT").substr(0, k);
        o.seed = 4;
        o.share = share;
        o.maxMutations = mutations;
        dir.write("in.fa", planted::Make(o).fasta);
        dir.write("bg.freq", clitest::FlatBackground());
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        data.OpenFreqFile(dir.file("bg.freq"));
        data.LoadFreqInfo();
        data.SetFilter(false);
        data.SetK(k);
        data.ComputePosFreq(true);
        data.Filtering();
        testing::internal::GetCapturedStdout();
    }
};

inline GAFrame Engine(int threads) {
    GAFrame e;
    const int population = 30, generations = 10, k = 10;
    const double replacement = 0.8, winner = 0.25, pk = 0.8;
    e.setParameters(population, generations, replacement, winner, pk, k);
    e.Threads = threads;
    return e;
}

inline void ExpectSameModels(const std::vector<Individual>& a, const std::vector<Individual>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].Genes, b[i].Genes) << i;
        EXPECT_EQ(a[i].GeneMismatch, b[i].GeneMismatch) << i;
        ASSERT_EQ(a[i].Sites.size(), b[i].Sites.size()) << i;
        for (size_t j = 0; j < a[i].Sites.size(); ++j) {
            EXPECT_EQ(a[i].Sites[j].Pos, b[i].Sites[j].Pos);
            EXPECT_EQ(a[i].Sites[j].Strand, b[i].Sites[j].Strand);
        }
        EXPECT_EQ(a[i].getMismatch(), b[i].getMismatch()) << i;
        EXPECT_EQ(a[i].getIC(), b[i].getIC()) << i;
        EXPECT_STREQ(a[i].getCons(), b[i].getCons()) << i;
    }
}

}  // namespace fasttest

#endif  // QIRO_TESTS_FAST_FIXTURE_H
