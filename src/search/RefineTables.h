// The tables one post-processing call shares between merging and every
// refinement step (strands of one name, each window's mismatch denominator
// and background log-probability), and the keys by which both tell sites and
// the positions they rule out.
#ifndef QIRO_REFINETABLES_H
#define QIRO_REFINETABLES_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "input/Midlayer.h"
#include "search/Individual.h"

// Made once per post-processing call from the data layer and the width.
struct RefineTables {
    std::vector<std::vector<int>> sameName;
    std::vector<std::vector<double>> den;  // per strand, per admissible start
    std::vector<double> flatDen;           // the same, strand after strand
    std::vector<int> offset;               // where each strand starts in flatDen
    std::vector<int> flatStrand, flatPos;  // strand and start of each entry of flatDen
    // Per strand: its length, and the one other strand of its name (-1
    // when none, -2 when several: see sameName) with the length a mirror
    // position is measured with.
    std::vector<int> length, twin, twinLength;
    double minDen = 0;                     // the smallest, 0 when any is not positive
    WindowLogP logP;                       // empty when the input is too large to hold it
};
RefineTables MakeRefineTables(Midlayer* data, int k);

// Strands that carry the same sequence name, for the mirror test: a sequence
// and its reverse complement, and any sequences the file names alike.
std::vector<std::vector<int>> SameNameStrands(const Midlayer* data);

// One key per (strand, start).
inline uint64_t SiteKey(int strand, int pos) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(strand)) << 32) | static_cast<uint32_t>(pos);
}

// A well-mixed 64-bit value of a site; their sum identifies a set of sites.
inline uint64_t SiteMix(const kmer& s) {
    uint64_t x = SiteKey(s.Strand, s.Pos) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Every (strand, start) that a kept site rules out: itself, and its mirror
// position on each other strand of the same name (measured with the length of
// the lower-indexed strand of the two).
template <typename Set>
void AddBlocked(const Midlayer* data, const std::vector<std::vector<int>>& sameName, const kmer& site, int k,
                Set& blocked) {
    blocked.insert(blocked.end(), SiteKey(site.Strand, site.Pos));
    for (int t : sameName[site.Strand]) {
        if (t == site.Strand) continue;
        const int length = data->Seqs[std::min(t, static_cast<int>(site.Strand))].len;
        blocked.insert(blocked.end(), SiteKey(t, length - site.Pos - k));
    }
}

#endif
