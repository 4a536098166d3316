// A judged run goes on past a search that cannot start: the search is left out
// with the reason and its width named, and the motif found at another width is
// reported; the plain run keeps its message and exit status.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kMotif = "TACGGTCA";

// n sequences in which no window of more than 9 letters is free of masked
// (lower-case) letters; with plant, each holds the motif, and the first three
// also an upper-case run of 16 A, the only windows of 10 letters or more, too
// plain for a model above the complexity limit.
std::string ShortWindows(int n, bool plant, unsigned seed) {
    std::mt19937 rng(seed);
    std::string text;
    for (int i = 0; i < n; ++i) {
        std::string s;
        for (int piece = 0; piece < 6; ++piece) {
            for (int j = 0; j < 9; ++j) s += "ACGT"[rng() % 4];
            s += "acgt"[rng() % 4];
        }
        if (plant) s.replace(20 + rng() % 2, kMotif.size(), kMotif);
        if (plant && i < 3) s += std::string(16, 'A') + "c";
        text += ">s" + std::to_string(i) + "\n" + s + "\n";
    }
    return text;
}

TEST(EvalueLeftOut, ARangeRunReportsTheMotifOfOneWidthWhenAnotherCannotStart) {
    WorkDir dir;
    dir.write("in.fa", ShortWindows(40, true, 21));
    dir.write("neg.fa", ShortWindows(80, false, 22));
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string run = "-i in.fa -freq bg.freq -mask T -d F -seed 1 -g 40 -p 60 -threads 1";
    const Result r = dir.qiro(run + " -k 8-12 -verbose -evalue 0.05 -words 1 -neg neg.fa");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("The expected width of binding site: 8-12\n"), std::string::npos);
    // Forty sequences search the range's middle width, 10, where the search
    // from random starts has the three runs of A alone; and, since masking
    // leaves the others windows of 8 letters only, the lowest width too.
    EXPECT_NE(r.out.find(" is left out: at width 10, on 3 sequences, it drew no model of higher "
                         "complexity than the limit 0.01 (-lc); the run goes on without it.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(": motif 1, width 8, 40 sequences."), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("System aborted"), std::string::npos);
    EXPECT_NE(r.out.find("Motif 1 found: "), std::string::npos) << r.out;
    const std::string out = dir.read("qiro.out");
    EXPECT_TRUE(out.find(kMotif) != std::string::npos || out.find("TGACCGTA") != std::string::npos) << out;

    // The plain run at such a width ends as it always has.
    const Result plain = dir.qiro(run + " -k 12 -o plain.out");
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.out.find("The lower complexity value need to be lower than: 0.01 .\n Please rerun QIRO with a "
                             "smaller low complexity. \n System aborted. \n"),
              std::string::npos)
        << plain.out;
    EXPECT_NE(plain.out.find("The expected width of binding site: 12\n"), std::string::npos);
}

}  // namespace
