// Peak windows: centred on the summit (narrowPeak) or the middle (BED, or a
// summit of -1), cut at a chromosome's end and counted, repeats kept once,
// and the stretches the genomic controls must keep away from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_util.h"
#include "input/Genome.h"
#include "input/PeakFile.h"

namespace {

TEST(PeakFile, SummitAgainstMiddleChromosomeEndsRepeatsAndCoveredStretches) {
    clitest::WorkDir dir;
    // chr1: 200 letters, lower case from 100, over two lines; chr2: 30.
    std::string chr1;
    for (int i = 0; i < 200; ++i) chr1 += std::string(i < 100 ? "ACGT" : "acgt")[i % 4];
    dir.write("g.fa", ">chr1 x\n" + chr1.substr(0, 120) + "\n" + chr1.substr(120) + "\n>chr2\n" + std::string(30, 'G') + "\n");
    Genome genome;
    std::string error, note, letters;
    ASSERT_TRUE(genome.Open(dir.file("g.fa"), error, note)) << error;
    ASSERT_TRUE(genome.Fetch(0, 98, 102, letters));
    EXPECT_EQ(letters, "GTac");  // case kept

    std::vector<Peak> peaks;
    ASSERT_TRUE(ReadPeaks("track x\nchr1\t40\t80\tp\t0\t.\t1\t1\t1\t5\r\n"  // summit 45
                          "chr1\t40\t80\n"                                 // BED: middle 60
                          "chr1\t100\t140\tp\t0\t.\t1\t1\t1\t-1\n"          // no summit: middle 120
                          "chr1 190 200\n"                                  // middle 195: cut at 200
                          "chr2\t0\t4\n"                                    // middle 2: cut at 0
                          "chr1\t40\t80\n",                                 // repeat of line 3
                          peaks, error)) << error;
    PeakWindows w;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 20, w, error)) << error;
    std::vector<std::string> names;
    for (const GenomeWindow& g : w.windows) names.push_back(WindowName(genome, g));
    EXPECT_EQ(names, (std::vector<std::string>{"chr1:35-55", "chr1:50-70", "chr1:110-130", "chr1:185-200", "chr2:0-12"}));
    EXPECT_EQ(w.cutShort, 2);
    EXPECT_EQ(w.duplicates, 1);
    EXPECT_EQ(w.firstDuplicate, 7);
    EXPECT_TRUE(w.Overlaps(0, 79, 90));  // the peaks and their windows, merged: 35-80, 100-140, 185-200
    EXPECT_FALSE(w.Overlaps(0, 80, 100));
    EXPECT_FALSE(w.Overlaps(0, 140, 185));
    EXPECT_FALSE(w.Overlaps(0, 0, 35));
    PeakWindows whole;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 0, whole, error));
    EXPECT_EQ(WindowName(genome, whole.windows[0]), "chr1:40-80");
}

}  // namespace
