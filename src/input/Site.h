// One site of a model, or one scored k-mer: where it lies and how it scores,
// and the orders sites are ranked in. Below every room that keeps sites, so
// that the data layer can hold scored windows without knowing the model.
#ifndef QIRO_SITE_H
#define QIRO_SITE_H

#include <cstdint>

// One site (a window of width k on one strand) or one scored k-mer.
struct kmer {
    int32_t Pos;
    int32_t Strand;
    double Score;
    double BGScore;
    bool operator<(kmer const& other) const { return Score < other.Score; }
};

// Ascending background score.
struct BComp {
    bool operator()(kmer const& a, kmer const& b) const { return a.BGScore < b.BGScore; }
};

// Ascending strand.
struct KComp {
    bool operator()(kmer const& a, kmer const& b) const { return a.Strand < b.Strand; }
};

#endif
