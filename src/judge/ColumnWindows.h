// Many windows of one matrix's columns scored at once: settling a small
// input's motif width judges a hundred sub-matrices of one wide matrix on
// every input and control sequence, and their column scores are the wide
// matrix's own. Each strand's running sums along every diagonal are taken
// once per sequence, so a window's score at a place is one difference
// instead of a sum over its columns.
#ifndef QIRO_COLUMNWINDOWS_H
#define QIRO_COLUMNWINDOWS_H

#include <limits>
#include <utility>
#include <vector>

#include "input/Sequences.h"
#include "judge/MotifScan.h"

// One window of columns: the first column and the width.
using ColumnWindow = std::pair<int, int>;

// One window's best place in one sequence: its score (rounded to float, as
// BestScore rounds; -infinity without an admissible window), and the place
// SitesAbove and the whole-input judge would take for it: the first of the
// highest-scoring hits by forward start, on the strand with the higher score
// (forward on ties); pos as ScanHit::pos counts it.
struct BestPlace {
    float score = -std::numeric_limits<float>::infinity();
    double exact = 0.0;
    int pos = -1;
    bool forward = true;
};

// best[w][s]: window w of `wide`'s columns in forward record s, on either
// strand when bothStrands, admissible as BestScore admits windows (no masked
// letter, no letter without a code). The sums run in another order than
// LogOdds::Forward's, so a score may differ from the sub-matrix's own scan
// in its last bits: the result chooses, and what is chosen is judged again.
// Sequences are scanned on up to `threads` threads; the result does not
// depend on the count.
std::vector<std::vector<BestPlace>> BestPlaces(const LogOdds& wide, const std::vector<ColumnWindow>& windows,
                                               const std::vector<SeqRecord>& forward, bool bothStrands, int threads);

#endif
