// Controls drawn from the genome a peak input was cut from (-peaks/-genome
// with -evalue and no -neg): random windows of the genome, each as long as
// the input sequence it stands for, free of N and of the peaks, and in the
// same GC bin as that sequence (HOMER's matching), so that the judge sets a
// motif against what the genome holds at that GC content: CpG islands,
// repeats, GC-rich promoters. With -mask T also in the same bin of masked
// (lower-case) share: on a soft-masked genome most windows away from the
// peaks are largely masked, and controls left with little to scan would
// judge nothing.
#ifndef QIRO_GENOMIC_CONTROLS_H
#define QIRO_GENOMIC_CONTROLS_H

#include <cstdint>
#include <vector>

#include "input/Genome.h"
#include "input/Masking.h"
#include "input/PeakFile.h"
#include "input/Sequences.h"

// GC bins of 5%: 20 bins, a sequence of GC share g in bin min(19, g / 0.05).
const int kGcBins = 20;
const double kGcBinWidth = 1.0 / kGcBins;
// Draws per control to find a window of its sequence's bin; past them the
// closest window drawn stands in (rare bins of a genome: CpG islands in an
// AT-rich one), and the console says how many did.
const int kGcTries = 200;
// Bins of a sequence's share of lower-case letters (-mask T): 10 of 10%.
const int kMaskBins = 10;

// Sequences per GC bin, of the input and of its genomic controls.
struct GcHistograms {
    std::vector<int> input, control;  // kGcBins counts each; empty without genomic controls
    int offBin = 0;                   // controls outside their sequence's bin
    bool maskMatched = false;         // -mask T: matched in masked share too
    int maskOffBin = 0;               // controls outside their sequence's masked-share bin

    bool Empty() const { return input.empty(); }
    // The largest difference of the two histograms' shares over the bins.
    double LargestDifference() const;
};

// The GC bin of a sequence: its share of C and G among its A, C, G, T letters
// (with upperOnly, among its upper-case ones: those -mask T leaves to scan).
int GcBin(const SeqRecord& r, bool upperOnly = false);
// The masked-share bin of a sequence: its share of lower-case letters.
int LowerBin(const SeqRecord& r);

// ControlCopies(n) controls for each of the n forward input records, the
// copies of one record adjacent (the split keeps them with it), each named
// "chrom:from-to", letters as the genome stores them, masked as `masking`
// says. Drawn from StageRandom stage kStageGenomicControls of the seed, one
// control after another, so that the same seed gives the same controls at
// any thread count. A genome without an N-free window of some length away
// from the peaks, or whose controls hold no window of `width` letters to
// scan, ends the run with a message naming it.
std::vector<SeqRecord> GenomicControls(const std::vector<SeqRecord>& input, const Genome& genome,
                                       const PeakWindows& peaks, uint32_t seed, const MaskSettings& masking,
                                       int width, GcHistograms& gc);

#endif
