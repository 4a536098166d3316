// Genomic controls: as many as the shuffled controls, each as long as its
// input sequence, free of N and of the peaks, in its sequence's GC bin, and
// the same for the same seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cli_util.h"
#include "input/Genome.h"
#include "input/PeakFile.h"
#include "judge/Controls.h"
#include "judge/GenomicControls.h"

namespace {

// Letters with a share gc of C and G.
std::string Letters(std::mt19937& rng, int n, double gc) {
    std::string s;
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 0; i < n; ++i) s += u(rng) < gc ? "CG"[rng() % 2] : "AT"[rng() % 2];
    return s;
}

SeqRecord Record(const std::string& letters) {
    SeqRecord r;
    r.Assign("in", letters.data(), letters.size());
    return r;
}

TEST(GenomicControls, MatchedInGcAwayFromPeaksAndNAndSeeded) {
    std::mt19937 rng(7);
    // chr1: an AT-rich half and a GC-rich half; chr2: N, then ordinary letters.
    const std::string chr1 = Letters(rng, 6000, 0.2) + Letters(rng, 6000, 0.7);
    const std::string chr2 = std::string(3000, 'N') + Letters(rng, 3000, 0.45);
    clitest::WorkDir dir;
    dir.write("g.fa", ">chr1\n" + chr1 + "\n>chr2\n" + chr2 + "\n");
    Genome genome;
    std::string error, note;
    ASSERT_TRUE(genome.Open(dir.file("g.fa"), error, note)) << error;
    std::vector<Peak> peaks;
    ASSERT_TRUE(ReadPeaks("chr1\t1000\t3000\nchr1\t8000\t9000\n", peaks, error));
    PeakWindows windows;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 0, windows, error));

    const std::vector<SeqRecord> input = {Record(Letters(rng, 100, 0.2)), Record(Letters(rng, 100, 0.7)),
                                          Record(Letters(rng, 150, 0.7)), Record(Letters(rng, 80, 0.45))};
    GcHistograms gc;
    const std::vector<SeqRecord> controls = GenomicControls(input, genome, windows, 11, MaskSettings(), 8, gc);
    const int copies = ControlCopies(4);
    ASSERT_EQ(controls.size(), input.size() * static_cast<size_t>(copies));
    // The 45% sequence's bin is rare in this genome: a few of its controls
    // may stand one bin off, and are counted. The tolerance: 5 points of share per bin.
    EXPECT_LE(gc.offBin, static_cast<int>(controls.size()) / 20);
    EXPECT_LE(gc.LargestDifference(), 0.05);
    int off = 0;
    for (size_t i = 0; i < controls.size(); ++i) {
        const SeqRecord& c = controls[i];
        const SeqRecord& from = input[i / static_cast<size_t>(copies)];
        ASSERT_EQ(c.len, from.len);
        EXPECT_LE(std::abs(GcBin(c) - GcBin(from)), 1) << c.Name();
        off += GcBin(c) != GcBin(from);
        EXPECT_EQ(c.Text().find('N'), std::string::npos) << c.Name();
        // "chrom:from-to", 0-based from.
        const size_t colon = c.Name().find(':'), dash = c.Name().find('-');
        const int chrom = genome.Find(c.Name().substr(0, colon));
        const long long start = std::stoll(c.Name().substr(colon + 1, dash - colon - 1));
        EXPECT_FALSE(windows.Overlaps(chrom, start, start + c.len)) << c.Name();
        EXPECT_EQ(c.Text(), (chrom == 0 ? chr1 : chr2).substr(static_cast<size_t>(start), static_cast<size_t>(c.len)));
    }
    EXPECT_EQ(off, gc.offBin);
    EXPECT_EQ(gc.control[static_cast<size_t>(GcBin(input[0]))], copies);  // the common bin: always met
    GcHistograms again;
    const std::vector<SeqRecord> other = GenomicControls(input, genome, windows, 12, MaskSettings(), 8, again);
    EXPECT_NE(other[0].Name(), controls[0].Name());  // the seed draws them (the same seed: Peaks.* threads test)
}

}  // namespace
