// Naming a motif after the known motifs it resembles: every motif of a
// database aligned against it on both strands, with a p-value of the best
// alignment against what aligning to chance columns of the same database gives.
#ifndef QIRO_DBMATCH_H
#define QIRO_DBMATCH_H

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "motif/MotifCompare.h"
#include "motif/MotifDb.h"

// An alignment must overlap in at least this many columns (or the shorter
// width, when a motif is narrower): about the core of a binding site, as in
// the same-motif rule (kSameMotifOverlap); fewer lets a few strong columns
// of an unrelated motif through.
const int kMatchMinOverlap = 5;

// Column similarities are rounded to 1/kMatchBinsPerUnit (0.02) for the null
// distribution of sums; an observed sum is rounded the same way, so it is
// compared with its null distribution exactly.
const int kMatchBinsPerUnit = 50;

// The widest query: the cost of the null distributions grows with the cube of
// the query's width (about 20 ms at width 30 against 879 motifs), their
// memory to 17 MB at 50. Models are at most MAX_K = 40 wide.
const int kMatchMaxQueryWidth = 50;

// Defaults of BestMatches: the three best matches with E-value at most 0.5
// (fewer than one chance match in two queries).
const size_t kDbMaxMatches = 3;
const double kDbMaxEvalue = 0.5;

// One database motif as aligned to the query.
struct MotifMatch {
    int index = 0;          // its position in the database
    std::string id, name;   // as read
    double pValue = 1.0;    // in (0, 1]: see MotifMatcher
    double eValue = 1.0;    // pValue times the number of database motifs
    bool reverse = false;   // the database motif taken as its reverse complement
    // Where column 0 of the database motif (as oriented: the reverse
    // complement when reverse) lies under the query: query column j faces
    // database column j - offset. Positive when the database motif starts
    // inside the query, negative when it starts before the query's column 0.
    int offset = 0;
    int overlap = 0;        // columns that face each other
    double score = 0.0;     // sum of column similarities over the overlap
};

// A database readied for naming many queries. Built once per database.
//
// Score of an alignment: the sum over the overlapping columns of their
// Pearson similarity (ColumnSimilarity), so that a longer overlap of alike
// columns counts for more than a short one.
//
// p-value (after Tomtom, Gupta et al. 2007, Genome Biology 8:R24): the null
// distribution of query column i is its similarity to every column of the
// database in both orientations (each column and its complement), rounded to
// 1/kMatchBinsPerUnit. The per-column distributions of the query columns an
// alignment overlaps are convolved (columns taken as independent) into the
// distribution of their sum, whose upper tail at the observed rounded sum is
// the p-value of that alignment. The database motif's alignment is the one
// with the smallest p-value (ties: the larger sum, the larger overlap,
// forward, the smaller |offset|, the negative offset) over every offset and
// both orientations with the overlap above; its p-value is corrected for the
// n alignments tried as 1 - (1 - p)^n (computed as -expm1(n log1p(-p)) to
// stay exact for small p) and kept at least the smallest normal double. The
// E-value is the p-value times the number of database motifs.
//
// The null distributions are built once per query and the alignment loop
// allocates nothing. A const matcher may match different queries from several
// threads at once (each call keeps its own work space).
class MotifMatcher {
public:
    explicit MotifMatcher(const std::vector<DbMotif>& db);

    size_t size() const { return db_.size(); }
    const DbMotif& motif(size_t i) const { return db_[i]; }
    const std::vector<DbMotif>& motifs() const { return db_; }

    // Every database motif against the query, by p-value (ties: by id, then
    // by position in the database). Empty for an empty database. Throws
    // std::invalid_argument for a query of no columns or wider than
    // kMatchMaxQueryWidth.
    std::vector<MotifMatch> Match(const MotifColumns& query) const;
    // The first maxMatches of Match with E-value at most maxE.
    std::vector<MotifMatch> BestMatches(const MotifColumns& query, size_t maxMatches = kDbMaxMatches,
                                        double maxE = kDbMaxEvalue) const;

private:
    std::vector<DbMotif> db_;
    // Every database column centred and scaled (PreparedMotif), motif after
    // motif; motif i holds columns first_[i] .. first_[i + 1] - 1. The
    // reverse complement is read off the same columns.
    std::vector<std::array<double, 4>> unit_;
    std::vector<size_t> first_;
};

#endif
