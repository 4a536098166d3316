// Peak files (-peaks) and their windows on a genome (-genome, -peaksize):
// BED3 or longer, or narrowPeak (ten columns, the summit's offset from the
// start in the tenth), read line by line; each peak becomes one window of the
// genome, and the stretches the peaks and their windows cover are kept, so
// that genomic controls can be drawn elsewhere.
#ifndef QIRO_PEAKFILE_H
#define QIRO_PEAKFILE_H

#include <string>
#include <utility>
#include <vector>

#include "input/Genome.h"

struct Peak {
    std::string chrom;
    long long start = 0;   // 0-based
    long long end = 0;     // past the last letter
    long long summit = -1;  // offset from start (narrowPeak); -1: none, the middle is used
    int line = 0;           // line of the file, from 1
};

// The peaks of a file's text. `track`, `browser`, `#` and blank lines are
// passed over. False, with "line N: what is wrong" in error, for a line of
// fewer than three columns, a start or end that is not a whole number, a
// negative start, an end not past the start, or a summit outside its peak.
bool ReadPeaks(const std::string& text, std::vector<Peak>& peaks, std::string& error);

// A window of the genome: chromosome index, letters [from, to).
struct GenomeWindow {
    int chrom = 0;
    long long from = 0;
    long long to = 0;
};

struct PeakWindows {
    std::vector<GenomeWindow> windows;  // one per peak, duplicates left out, in file order
    // Per chromosome, the stretches covered by a peak or its window, sorted and merged.
    std::vector<std::vector<std::pair<long long, long long>>> covered;
    int duplicates = 0;      // peaks that repeat an earlier one (chromosome, start, end, summit)
    int firstDuplicate = 0;  // the line of the first of them
    int cutShort = 0;        // windows a chromosome's end cut short
    int summits = 0;         // peaks centred on their summit (the others on their middle)

    // Whether [from, to) on chromosome c meets a covered stretch.
    bool Overlaps(int c, long long from, long long to) const;
};

// Places the peaks on the genome: with size > 0 a window of `size` letters
// centred on the summit, or on the middle of a peak without one; with size 0
// the whole peak. A window past a chromosome's end is cut there and counted.
// False, with "line N: what is wrong" in error, for a chromosome the genome
// lacks or a start (or summit) at or past its end.
bool PlacePeaks(const std::vector<Peak>& peaks, const Genome& genome, int size, PeakWindows& out, std::string& error);

// "chrom:from-to" (0-based from, BED style), the name of a window's sequence.
std::string WindowName(const Genome& genome, const GenomeWindow& w);

#endif
