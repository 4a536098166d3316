// Masking: the letters no site may hold, marked once on the forward strands
// (their reverse strands share the marks), and the windows free of them.
// With -mask, letters other than A, C, G, T and lower-case (soft-masked)
// letters are masked; with -dust, low-complexity regions found by symmetric
// DUST (Dust.h); with either, letters other than A, C, G, T, which no window
// could be scored with.
#ifndef QIRO_MASKING_H
#define QIRO_MASKING_H

#include <cstddef>
#include <vector>

#include "input/Sequences.h"

struct MaskSettings {
    bool softMask = false;  // -mask T
    double dust = 0.0;      // -dust level; 0 is off
    // Letters other than A, C, G, T alone (no option asks for it): set for
    // peak windows holding N, whose windows could not be scored otherwise.
    bool unknown = false;
    bool Active() const { return softMask || dust > 0 || unknown; }
};

// Marks the masked letters of forward strands 0 .. numSeq - 1, to be done
// before their reverse strands are made. Returns how many letters are masked.
size_t MaskSequences(std::vector<SeqRecord>& seqs, int numSeq, const MaskSettings& settings);

// Starts of the windows of k letters of the strand that hold no masked letter,
// ascending.
void OpenWindows(const SeqRecord& r, int k, std::vector<int>& starts);
// Whether the strand has such a window.
bool HasOpenWindow(const SeqRecord& r, int k);

#endif
