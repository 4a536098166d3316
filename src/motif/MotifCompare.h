// Similarity of two motif models: their column probabilities, the best ungapped
// alignment of one against the other on either strand, and whether two models
// are the same motif, so that reported motifs stay distinct.
#ifndef QIRO_MOTIFCOMPARE_H
#define QIRO_MOTIFCOMPARE_H

#include <array>
#include <vector>

#include "core/Constants.h"

// Column probabilities of a motif: col[j][b], b = 0..3 for A, C, G, T.
using MotifColumns = std::vector<std::array<double, 4>>;

// Default pseudocount per letter of ColumnsFromCounts: none. Adding the same
// pseudocount p to every letter of a column with N sites maps each
// probability c/N to (c + p)/(N + 4p), an increasing affine map of the counts,
// which leaves the Pearson correlation of columns unchanged; a pseudocount
// would only matter to later measures that take logarithms.
const double kComparePseudocount = 0.0;

// Columns from letter counts count[b][j], j < k (1 <= k <= MAX_K), with
// `pseudo` (>= 0) added to every letter before each column is normalised to
// sum to 1. A column with no counts at all becomes uniform. Throws
// std::invalid_argument for k out of range or a negative pseudocount.
MotifColumns ColumnsFromCounts(const double (&count)[B][MAX_K], int k, double pseudo = kComparePseudocount);

// The motif read on the other strand: columns in reverse order, A<->T, C<->G.
MotifColumns ReverseComplement(const MotifColumns& m);

// Pearson correlation coefficient of two columns as 4-vectors (1 for columns
// with the same letter preferences, -1 for opposite ones), in [-1, 1].
// A flat column (no variance: every letter equally likely, or all zero) has
// no letter preference and so is no evidence either way: it scores 0 against
// any column, itself included. A column counts as flat when its variance is
// below 1e-12 of its mean square, so rounding left in an even column does not
// turn into a spurious +-1.
double ColumnSimilarity(const std::array<double, 4>& x, const std::array<double, 4>& y);

// A motif readied for many comparisons: each column centred on its mean and
// scaled to unit length (zero for a flat column), so that the similarity of
// two columns is one dot product and the alignment loop allocates nothing.
// Build it once per motif (for instance once per database motif).
struct PreparedMotif {
    explicit PreparedMotif(const MotifColumns& m);
    std::vector<std::array<double, 4>> unit;
};

struct MotifAlignment {
    double score = 0.0;    // mean column similarity over the overlapping columns
    int offset = 0;        // a's column under column 0 of b (as oriented); may be negative
    bool reverse = false;  // b taken as its reverse complement
    int overlap = 0;       // columns of a and b that overlap
};

// Best ungapped alignment of b against a over every offset and both
// orientations of b, overlapping in at least minOverlap columns (clipped to
// 1..the shorter width). Scores within 1e-12 of each other tie; a tie goes to
// the larger overlap (more evidence), then forward over reverse, then the
// smaller |offset|, then the negative offset, so the answer is fixed by the
// two motifs alone. Throws std::invalid_argument for an empty motif.
MotifAlignment BestAlignment(const PreparedMotif& a, const PreparedMotif& b, int minOverlap);
MotifAlignment BestAlignment(const MotifColumns& a, const MotifColumns& b, int minOverlap);

// Two models are the same motif when, on either strand, they can be aligned
// over at least min(kSameMotifOverlap, shorter width) columns with a mean
// column similarity of at least kSameMotifSimilarity. A copy, its reverse
// complement and a copy shifted by a few columns align at mean 1.
// Both constants were set on the JASPAR 2024 vertebrate non-redundant
// matrices (879). A motif against an estimate of it from 20 sampled sites,
// shifted by two columns or not, meets the rule for all but a few in 800.
// Among all pairs of different matrices one in 24 meets it, more than half of
// those of one structural class (against 12% of all pairs): CTCF and CTCFL, or
// GATA1 and GATA1::TAL1, are the same motif; CTCF and GATA1 (0.27), or REST
// and a run of A (0.19), are not. Five columns is about the core of a binding
// site; with four, chance matches of a few strong columns let one pair in 16
// through.
const int kSameMotifOverlap = 5;
const double kSameMotifSimilarity = 0.80;
bool SameMotif(const MotifColumns& a, const MotifColumns& b);

#endif
