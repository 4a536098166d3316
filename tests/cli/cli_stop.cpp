// Command-line test of the search's stop rule: the search ends when the best
// mismatch has not changed for 100 generations, or when the budget (-g) is spent.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

// Two sequences of exactly the motif width, one strand each (-d F), unlike at
// every position: each has one window, so every model holds the same two sites
// and the best mismatch is the same after every generation. The model's letter
// profile is the mean of the input's windows, so both sites score 1 (finite:
// the windows differ at every position). The best thus moves from the start
// value 0 to 1 in generation 1 and never again: the stall count reaches 100 in
// generation 101, unless the budget ends the search first.
TEST(StopRule, AHundredGenerationsAfterTheBestLastChangedOrTheBudget) {
    WorkDir dir;
    dir.write("in.fa", ">x\nACGTTGCA\n>y\nCATGGTAC\n");
    dir.write("bg.freq", clitest::FlatBackground());
    const int lastChange = 1, stallLimit = 100;
    for (int budget : {100, 101, 102, 1000}) {
        Result r = dir.qiro("-i in.fa -freq bg.freq -k 8 -d F -p 10 -post F -seed 1 -g " + std::to_string(budget));
        ASSERT_EQ(r.status, 0) << r.out;
        const int n = std::min(budget, lastChange + stallLimit);
        const std::string line = "Finish the GA process after " + std::to_string(n) + " generations. \n";
        EXPECT_NE(r.out.find(line), std::string::npos) << "budget " << budget << "\n" << r.out;
        // The premise: the best model scores 1.
        EXPECT_NE(dir.read("qiro.out").find("Motif Rank #1\nMotif Model Mismatch Score: 1\t"), std::string::npos);
    }
}

}  // namespace
