// Peak files (-peaks) and their windows on a genome (-genome, -peaksize):
// BED3 to BED12, or narrowPeak (ten columns, the summit's offset from the
// start in the tenth), the format fixed by the first peak line; each peak
// becomes one window of the genome (read backwards on a '-' peak), and the
// stretches the peaks and their windows cover are kept, so that genomic
// controls can be drawn elsewhere.
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
    char strand = '.';      // column 6 of BED6 and longer: '+', '-' or '.' (none given)
    int line = 0;           // line of the file, from 1
};

// The peaks of a file's text. `track`, `browser`, `#` and blank lines are
// passed over, and a UTF-8 byte-order mark before the first line. The first
// peak line fixes the format: narrowPeak when it has exactly ten columns,
// BED of its column count otherwise; every later line must have as many. False, with "line N: what is wrong" in error, for a line that breaks
// the format, a start or end that is not a whole number, a negative start, an
// end not past the start, a strand other than '+', '-' or '.', or a summit
// that is not a whole number or lies outside its peak.
bool ReadPeaks(const std::string& text, std::vector<Peak>& peaks, std::string& error);

// A window of the genome: chromosome index, letters [from, to).
struct GenomeWindow {
    int chrom = 0;
    long long from = 0;
    long long to = 0;
    bool minus = false;  // read as the reverse complement of [from, to)
};

struct PeakWindows {
    std::vector<GenomeWindow> windows;  // one per peak, duplicates left out, in file order
    std::vector<int> lines;             // the peak-file line of each window (its first peak's)
    // Per chromosome, the stretches covered by a peak or its window, sorted and merged.
    std::vector<std::vector<std::pair<long long, long long>>> covered;
    int duplicates = 0;      // peaks that repeat an earlier one (chromosome, start, end, summit)
    int firstDuplicate = 0;  // the line of the first of them
    int cutShort = 0;        // windows a chromosome's end cut short
    int summits = 0;         // windows centred on a summit (the others on their peak's middle)
    int merged = 0;          // windows of one peak's several summits that overlapped another and were joined to it

    // Whether [from, to) on chromosome c meets a covered stretch.
    bool Overlaps(int c, long long from, long long to) const;
};

// Places the peaks on the genome: with size > 0 a window of `size` letters
// centred on the summit, or on the middle of a peak without one; with size 0
// the whole peak. A window past a chromosome's end is cut there and counted.
// Windows of one peak (chromosome, start, end and strand) from several
// summits that overlap are joined into one, their union. False, with "line N:
// what is wrong" in error, for a chromosome the genome lacks, a start (or
// summit) at or past its end, or a window lying wholly past it.
bool PlacePeaks(const std::vector<Peak>& peaks, const Genome& genome, int size, PeakWindows& out, std::string& error);

// "chrom:from-to" (0-based from, BED style), the name of a window's sequence,
// with "(-)" after it for a window read backwards (as bedtools getfasta -s
// names it), so that sites map back to the genome.
std::string WindowName(const Genome& genome, const GenomeWindow& w);

#endif
