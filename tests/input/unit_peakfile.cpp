// Peak lines and their windows: what is read from which column, where a
// window is centred (summit or middle), how a chromosome's end cuts it, and
// which stretches the genomic controls must keep away from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_util.h"
#include "input/Genome.h"
#include "input/PeakFile.h"

namespace {

// chr1: 200 letters, lower case from 100; chr2: 30 letters.
std::string TestGenome() {
    std::string chr1;
    for (int i = 0; i < 200; ++i) chr1 += i < 100 ? "ACGT"[i % 4] : "acgt"[i % 4];
    return ">chr1 first\n" + chr1.substr(0, 120) + "\n" + chr1.substr(120) + "\n>chr2\n" + std::string(30, 'G') + "\n";
}

TEST(PeakFile, ColumnsAndSkippedLines) {
    const std::string text =
        "track name=x\nbrowser position chr1:1-10\n# note\n\n"
        "chr1\t10\t50\n"                           // BED3: no summit
        "chr1\t10\t50\tp\t9\t+\t1\t2\t3\t7\r\n"    // narrowPeak, CRLF
        "chr1\t10\t50\tp\t9\t+\t1\t2\t3\t-1\n"     // narrowPeak without a summit called
        "chr2 0 5\n";                               // spaces
    std::vector<Peak> peaks;
    std::string error;
    ASSERT_TRUE(ReadPeaks(text, peaks, error)) << error;
    ASSERT_EQ(peaks.size(), 4u);
    EXPECT_EQ(peaks[0].line, 5);
    EXPECT_EQ(peaks[0].summit, -1);
    EXPECT_EQ(peaks[1].summit, 7);
    EXPECT_EQ(peaks[2].summit, -1);
    EXPECT_EQ(peaks[3].chrom, "chr2");
    EXPECT_EQ(peaks[3].end, 5);
}

TEST(PeakFile, SummitAgainstMiddleEndsCutShortAndWholePeaks) {
    clitest::WorkDir dir;
    dir.write("g.fa", TestGenome());
    Genome genome;
    std::string error, note;
    ASSERT_TRUE(genome.Open(dir.file("g.fa"), error, note)) << error;
    ASSERT_EQ(genome.Count(), 2);
    EXPECT_EQ(genome.Length(0), 200);
    std::string letters;
    ASSERT_TRUE(genome.Fetch(0, 98, 102, letters));
    EXPECT_EQ(letters, "GTac");  // case kept across the line break

    std::vector<Peak> peaks;
    ASSERT_TRUE(ReadPeaks("chr1\t40\t80\tp\t0\t.\t1\t1\t1\t5\n"  // summit 45
                          "chr1\t40\t80\n"                      // middle 60
                          "chr1\t190\t200\n"                    // middle 195: cut at 200
                          "chr2\t0\t4\n"                        // middle 2: cut at 0
                          "chr1\t40\t80\n",                     // repeat
                          peaks, error));
    PeakWindows w;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 20, w, error)) << error;
    ASSERT_EQ(w.windows.size(), 4u);
    EXPECT_EQ(WindowName(genome, w.windows[0]), "chr1:35-55");
    EXPECT_EQ(WindowName(genome, w.windows[1]), "chr1:50-70");
    EXPECT_EQ(WindowName(genome, w.windows[2]), "chr1:185-200");
    EXPECT_EQ(WindowName(genome, w.windows[3]), "chr2:0-12");
    EXPECT_EQ(w.cutShort, 2);
    EXPECT_EQ(w.summits, 1);
    EXPECT_EQ(w.duplicates, 1);
    EXPECT_EQ(w.firstDuplicate, 5);
    // Covered: the peaks and their windows, merged.
    EXPECT_TRUE(w.Overlaps(0, 79, 90));
    EXPECT_FALSE(w.Overlaps(0, 80, 185));
    EXPECT_TRUE(w.Overlaps(0, 30, 36));
    EXPECT_FALSE(w.Overlaps(0, 0, 35));
    EXPECT_FALSE(w.Overlaps(1, 12, 30));

    PeakWindows whole;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 0, whole, error));
    EXPECT_EQ(WindowName(genome, whole.windows[0]), "chr1:40-80");
    EXPECT_EQ(whole.cutShort, 0);

    // A peak whose end runs past its chromosome is cut there; a summit past it is refused.
    std::vector<Peak> past;
    ASSERT_TRUE(ReadPeaks("chr2\t10\t40\n", past, error));
    PeakWindows cut;
    ASSERT_TRUE(PlacePeaks(past, genome, 0, cut, error));
    EXPECT_EQ(WindowName(genome, cut.windows[0]), "chr2:10-30");
    EXPECT_EQ(cut.cutShort, 1);
    past.clear();
    ASSERT_TRUE(ReadPeaks("chr2\t10\t40\tp\t0\t.\t1\t1\t1\t25\n", past, error));
    EXPECT_FALSE(PlacePeaks(past, genome, 10, cut, error));
    EXPECT_EQ(error, "line 1: the summit 35 is past the end of chr2 (30 letters)");
}

}  // namespace
