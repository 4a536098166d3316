// Genomic controls: as many as the shuffled controls, each as long as its
// input sequence, free of N and of the peaks, in its sequence's GC bin, and
// the same for the same seed; with -mask T in its masked-share bin too.
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

// A soft-masked genome (stretches of 400 letters, every other one lower
// case, as repeats are): unmasked peaks get controls as unmasked, which
// leaves them as much to scan; without -mask T case plays no part.
TEST(GenomicControls, WithMaskTMatchedInMaskedShare) {
    std::mt19937 rng(5);
    std::string chr1 = Letters(rng, 40000, 0.4);
    for (size_t i = 400; i < chr1.size(); i += 800)
        for (size_t j = i; j < i + 400; ++j) chr1[j] = static_cast<char>(chr1[j] | 0x20);
    clitest::WorkDir dir;
    dir.write("g.fa", ">chr1\n" + chr1 + "\n");
    Genome genome;
    std::string error, note;
    ASSERT_TRUE(genome.Open(dir.file("g.fa"), error, note)) << error;
    std::vector<Peak> peaks;
    ASSERT_TRUE(ReadPeaks("chr1\t0\t100\n", peaks, error));
    PeakWindows windows;
    ASSERT_TRUE(PlacePeaks(peaks, genome, 0, windows, error));
    std::string half = Letters(rng, 100, 0.4);
    for (size_t j = 50; j < 100; ++j) half[j] = static_cast<char>(half[j] | 0x20);
    const std::vector<SeqRecord> input = {Record(Letters(rng, 100, 0.4)), Record(Letters(rng, 100, 0.4)), Record(half)};
    MaskSettings mask;
    mask.softMask = true;
    GcHistograms gc, plain;
    const std::vector<SeqRecord> masked = GenomicControls(input, genome, windows, 3, mask, 8, gc);
    const std::vector<SeqRecord> unmasked = GenomicControls(input, genome, windows, 3, MaskSettings(), 8, plain);
    const size_t copies = static_cast<size_t>(ControlCopies(3));
    EXPECT_TRUE(gc.maskMatched);
    EXPECT_FALSE(plain.maskMatched);
    EXPECT_EQ(LowerBin(input[2]), 5);
    // The half-masked sequence's bins are rare (windows across a stretch's
    // edge): its controls may stand a bin or two off (masked share and GC,
    // measured on the letters left to scan, together), and are counted.
    int lowerWithout = 0, off = 0;
    for (size_t i = 0; i < masked.size(); ++i) {
        const SeqRecord& from = input[i / copies];
        const int want = LowerBin(from), got = LowerBin(masked[i]);
        EXPECT_TRUE(want != 0 || got == 0) << masked[i].Name();
        EXPECT_LE(std::abs(got - want) + std::abs(GcBin(masked[i], true) - GcBin(from, true)), 2) << masked[i].Name();
        off += got != want;
        lowerWithout += LowerBin(unmasked[i]) > 0;
    }
    EXPECT_EQ(off, gc.maskOffBin);
    EXPECT_GT(lowerWithout, static_cast<int>(unmasked.size()) / 4);
}

}  // namespace
