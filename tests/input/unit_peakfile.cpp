// Peak windows: centred on the summit (narrowPeak) or the middle (BED, or a
// summit of -1), cut at a chromosome's end and counted, repeats kept once,
// the stretches the genomic controls must keep away from; one format per
// file, the strand column read, one peak's overlapping summit windows joined.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_util.h"
#include "input/Genome.h"
#include "input/PeakFile.h"

namespace {

// chr1: 200 letters, lower case from 100, over two lines; chr2: 30.
struct SmallGenome {
    clitest::WorkDir dir;
    Genome genome;
    SmallGenome() {
        std::string chr1;
        for (int i = 0; i < 200; ++i) chr1 += std::string(i < 100 ? "ACGT" : "acgt")[i % 4];
        dir.write("g.fa", ">chr1 x\n" + chr1.substr(0, 120) + "\n" + chr1.substr(120) + "\n>chr2\n" + std::string(30, 'G') + "\n");
        std::string error, note;
        if (!genome.Open(dir.file("g.fa"), error, note)) ADD_FAILURE() << error;
    }
    // The window names of a peak file's text placed with windows of `size`.
    std::vector<std::string> Names(const std::string& text, int size, PeakWindows& w) {
        std::vector<Peak> peaks;
        std::string error;
        EXPECT_TRUE(ReadPeaks(text, peaks, error)) << error;
        EXPECT_TRUE(PlacePeaks(peaks, genome, size, w, error)) << error;
        std::vector<std::string> names;
        for (const GenomeWindow& g : w.windows) names.push_back(WindowName(genome, g));
        return names;
    }
};

TEST(PeakFile, SummitAgainstMiddleChromosomeEndsRepeatsAndCoveredStretches) {
    SmallGenome g;
    std::string letters;
    ASSERT_TRUE(g.genome.Fetch(0, 98, 102, letters));
    EXPECT_EQ(letters, "GTac");  // case kept

    std::vector<Peak> peaks, bed;
    std::string error;
    ASSERT_TRUE(ReadPeaks("track x\nchr1\t40\t80\tp\t0\t.\t1\t1\t1\t5\r\n"  // summit 45
                          "chr1\t100\t140\tp\t0\t.\t1\t1\t1\t-1\n",         // no summit: middle 120
                          peaks, error)) << error;
    ASSERT_TRUE(ReadPeaks("chr1\t41\t80\n"  // BED: middle 60
                          "chr1 190 200\n"  // middle 195: cut at 200
                          "chr2\t0\t4\n"    // middle 2: cut at 0
                          "chr1\t41\t80\n", // repeat of line 1
                          bed, error)) << error;
    peaks.insert(peaks.end(), bed.begin(), bed.end());
    PeakWindows w;
    ASSERT_TRUE(PlacePeaks(peaks, g.genome, 20, w, error)) << error;
    std::vector<std::string> names;
    for (const GenomeWindow& x : w.windows) names.push_back(WindowName(g.genome, x));
    EXPECT_EQ(names, (std::vector<std::string>{"chr1:35-55", "chr1:110-130", "chr1:50-70", "chr1:185-200", "chr2:0-12"}));
    EXPECT_EQ(w.cutShort, 2);
    EXPECT_EQ(w.duplicates, 1);
    EXPECT_EQ(w.firstDuplicate, 4);
    EXPECT_EQ(w.summits, 1);
    EXPECT_TRUE(w.Overlaps(0, 79, 90));  // the peaks and their windows, merged: 35-80, 100-140, 185-200
    EXPECT_FALSE(w.Overlaps(0, 80, 100));
    EXPECT_FALSE(w.Overlaps(0, 140, 185));
    EXPECT_FALSE(w.Overlaps(0, 0, 35));
    PeakWindows whole;
    ASSERT_TRUE(PlacePeaks(peaks, g.genome, 0, whole, error));
    EXPECT_EQ(WindowName(g.genome, whole.windows[0]), "chr1:40-80");
}

// A window of odd size has one letter more after its centre than before it;
// BED12's tenth column is a block count, never a summit; a byte-order mark is
// passed over; a '-' peak's window is named as read backwards.
TEST(PeakFile, WindowsCentredExactlyBed12StrandsAndByteOrderMark) {
    SmallGenome g;
    PeakWindows w;
    const std::string np = "chr1\t40\t80\tp\t0\t.\t1\t1\t1\t7\nchr1\t100\t141\tp\t0\t.\t1\t1\t1\t-1\n";  // 47; 120
    EXPECT_EQ(g.Names(np, 21, w), (std::vector<std::string>{"chr1:37-58", "chr1:110-131"}));
    EXPECT_EQ(g.Names(np, 20, w), (std::vector<std::string>{"chr1:37-57", "chr1:110-130"}));
    const std::string bed12 = "\xEF\xBB\xBF" "chr1\t40\t80\tp\t0\t-\t40\t80\t0\t1\t40,\t0,\n"
                              "chr1\t100\t140\tq\t0\t.\t100\t140\t0\t2\t10,10,\t0,30,\n";
    EXPECT_EQ(g.Names(bed12, 10, w), (std::vector<std::string>{"chr1:55-65(-)", "chr1:115-125"}));
}

// MACS --call-summits writes one peak once per summit: overlapping windows of
// one peak become their union, kept where the first stood; windows of other
// peaks, or of one peak but apart, stay as they are.
TEST(PeakFile, OnePeaksOverlappingSummitWindowsJoined) {
    SmallGenome g;
    PeakWindows w;
    const std::string np = "chr1\t40\t100\ta\t0\t.\t1\t1\t1\t20\n"   // 60: 55-65
                           "chr1\t45\t70\tb\t0\t.\t1\t1\t1\t17\n"    // another peak at 62: 57-67
                           "chr1\t40\t100\ta\t0\t.\t1\t1\t1\t15\n"   // 55: 50-60, joined to the first
                           "chr1\t40\t100\ta\t0\t.\t1\t1\t1\t50\n"   // 90: 85-95, apart
                           "chr1\t40\t100\ta\t0\t-\t1\t1\t1\t23\n";  // the other strand: another peak
    EXPECT_EQ(g.Names(np, 10, w),
              (std::vector<std::string>{"chr1:50-65", "chr1:57-67", "chr1:85-95", "chr1:58-68(-)"}));
    EXPECT_EQ(w.merged, 1);
    EXPECT_EQ(w.summits, 4);
    EXPECT_EQ(w.lines, (std::vector<int>{1, 2, 4, 5}));
    // Kept whole, one peak's summits give one window.
    EXPECT_EQ(g.Names(np, 0, w), (std::vector<std::string>{"chr1:40-100", "chr1:45-70", "chr1:40-100(-)"}));
    EXPECT_EQ(w.merged, 2);
}

TEST(PeakFile, EveryBrokenLineNamedWithWhatIsWrong) {
    SmallGenome g;
    const std::pair<std::string, std::string> cases[] = {
        {"chr1\t0\t10\tp\t0\t.\t1\t1\t1\t5\nchr1\t0\t10\tp\t0\t.\t1\t1\t1\t5\tx\n",
         "line 2: it has 11 columns, but the first peak line (line 1) has 10 (narrowPeak); every line of a peak file must have as many"},
        {"# c\nchr1\t0\t10\nchr1\t0\t10\tp\t0\t+\n", "line 3: it has 6 columns, but the first peak line (line 2) has 3;"},
        {"chr1\t0\t30\tp\t0\t.\t1\t1\t1\tabc\n", "line 1: the summit offset \"abc\" is not a whole number"},
        {"chr1\t0\t30\tp\t0\t.\t1\t1\t1\t12.5\n", "line 1: the summit offset \"12.5\" is not a whole number"},
        {"chr1\t0\t30\tp\t0\t.\t1\t1\t1\t30\n", "line 1: the summit offset \"30\" is outside its peak (0 to 29)"},
        {"chr1\t0\t30\tp\t0\tx\n", "line 1: the strand \"x\" (column 6) must be +, - or ."},
        {"chr1\t0\t30\tp\t0\t\n", "line 1: the strand \"\" (column 6) must be +, - or ."},
    };
    for (const auto& [text, message] : cases) {
        std::vector<Peak> peaks;
        std::string error;
        EXPECT_FALSE(ReadPeaks(text, peaks, error)) << text;
        EXPECT_EQ(error.compare(0, message.size(), message), 0) << error;
    }
    // A window wholly past its chromosome's end has nothing left to cut short:
    // refused, where one letter left is kept.
    PeakWindows w;
    EXPECT_EQ(g.Names("chr2\t20\t58\n", 20, w), std::vector<std::string>{"chr2:29-30"});
    std::vector<Peak> peaks;
    std::string error;
    ASSERT_TRUE(ReadPeaks("chr2\t0\t5\nchr2\t20\t60\n", peaks, error));
    EXPECT_FALSE(PlacePeaks(peaks, g.genome, 20, w, error));
    EXPECT_EQ(error, "line 2: its window of 20 letters around 40 (30-50) lies wholly past the end of chr2 (30 letters); "
                     "the peaks may be of another assembly than the genome " + g.dir.file("g.fa"));
}

}  // namespace
