// Limits and ties at their exact boundary: the first population's limit of
// 100 models in a row rejected for low complexity, a window that scores exactly
// like the weakest known site, and a strand's fallback among equal windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_util.h"
#include "core/Constants.h"
#include "core/Robust.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"

namespace {

struct FatalEnd {
    int status;
};

[[noreturn]] void Unwind(int status) { throw FatalEnd{status}; }

// A population of one is made one model at a time, each drawing one start per
// strand, so the draws consumed before the fatal end count the models tested.
TEST(InitializationLimit, EndsAtTheHundredthRejectionInARow) {
    clitest::WorkDir dir;
    dir.write("in.fa", ">a\nACGTTGCAAGCTTA\n>b\nTTGACCATGGCAAC\n>c\nGGCATCGATCGTAC\n");
    Midlayer data;
    data.SetDoubleStrand(false);
    testing::internal::CaptureStdout();
    data.OpenSeqFile(dir.file("in.fa"));
    data.LoadSeqs();
    testing::internal::GetCapturedStdout();
    const int k = 8, S = 3;
    data.SetK(k);
    for (int b = 0; b < B; ++b) {
        data.FreqInfo[b] = 0.25;
        for (int j = 0; j < MAX_K; ++j) data.PosFreq[b][j] = 0.25;
    }
    data.Candidates.assign(S, {0, 1, 2, 3, 4, 5, 6});
    data.SetLowerComp(2.0);  // complexity is at most 1 (rounding aside): every model is rejected
    GAFrame e;
    e.setParameters(10, 10, DFLT_SUB, DFLT_WIN, DFLT_PKPER, k);
    e.setPopulation(1);

    const uint32_t seed = 9;
    SeedRandom(seed);
    std::vector<int> draws(120 * S);
    for (int& d : draws) d = Random();
    SeedRandom(seed);
    std::vector<Individual> pop;
    const FatalHandler previous = SetFatalHandler(Unwind);
    int status = -1;
    testing::internal::CaptureStdout();
    try {
        e.Initialization(false, &data, &pop);
    } catch (const FatalEnd& end) {
        status = end.status;
    }
    const std::string out = testing::internal::GetCapturedStdout();
    SetFatalHandler(previous);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("The lower complexity value need to be lower than: 2 ."), std::string::npos) << out;
    EXPECT_TRUE(pop.empty());
    const int next = Random();
    EXPECT_EQ(next, draws[100 * S]) << "draws made: " << std::find(draws.begin(), draws.end(), next) - draws.begin();
}

// Known sites TTGACA, TTGACT and TAGACA lie in strand 0 at 0, 8 and 16 (a flat
// background: scores order as mismatches). Strand 1 (all C) and its reverse
// (all G) score worse than every known site, each window alike.
TEST(FilteringBounds, WeakestKnownSiteAdmittedAndTheFirstOfEqualWindowsAsFallback) {
    clitest::WorkDir dir;
    dir.write("in.fa", ">a\nTTGACAGGTTGACTGGTAGACA\n>b\nCCCCCCCCCC\n");
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("pk.txt", "TTGACA\nTTGACT\nTAGACA\n");
    Midlayer data;
    testing::internal::CaptureStdout();
    data.OpenSeqFile(dir.file("in.fa"));
    data.LoadSeqs();
    data.OpenFreqFile(dir.file("bg.freq"));
    data.LoadFreqInfo();
    data.OpenPKFile(dir.file("pk.txt"));
    data.LoadPKInfo();
    data.ProducePKFitness();
    data.setPKPre(true);
    data.SetFilter(true);
    data.Filtering();
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(out.find("Overall Kmers: "), std::string::npos) << out;  // the filter is active
    const PKFitness fit = data.getPKFit();
    int weakest = -1;
    for (int i = 0; i < 3; ++i)
        if (data.getPK()[i].BGScore == fit.PKMax) weakest = i;
    ASSERT_GE(weakest, 0);
    const std::vector<int>& first = data.Candidates[0];
    EXPECT_NE(std::find(first.begin(), first.end(), 8 * weakest), first.end()) << "known site " << weakest;
    EXPECT_EQ(data.Candidates[1], std::vector<int>{0});
    EXPECT_EQ(data.Candidates[3], std::vector<int>{0});
}

}  // namespace
