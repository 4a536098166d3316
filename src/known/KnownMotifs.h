// Which known motifs are enriched in the input: every motif of a database
// scanned in the input and in the control sequences, with the judge's
// controls and masking, a site threshold for each, and Fisher's p-value of
// the input sequences holding a site against the controls, times the motifs
// tested.
#ifndef QIRO_KNOWNMOTIFS_H
#define QIRO_KNOWNMOTIFS_H

#include <cstdint>
#include <string>
#include <vector>

#include "input/Sequences.h"
#include "motif/MotifCompare.h"
#include "motif/MotifDb.h"

// A database motif's matrix is read as the shares of this many sites, drawn
// towards the background by a pseudocount of its square root, as the judge
// smooths a found motif's counts: a letter a database never saw at an offset
// costs a few bits rather than excluding the window.
const int kKnownMotifSites = 20;

// A window's p-value under the background at or below which it is a site.
// A threshold chosen per motif on the searched half, as the judge chooses
// one, was measured against it on five ChIP-seq sets: the same motifs came
// first, but with p-values taken on half the sequences (REST on NRSF:
// 1e-381 against 1e-712) and twice as many motifs passing on composition
// alone (docs/measurements/known-motifs.md).
const double kKnownWindowP = 1e-4;

// Step of the score grid ScoreForPValue convolves on, in bits.
const double kKnownGrid = 0.05;

// The verdict on one database motif.
struct KnownMotifResult {
    size_t index = 0;  // in the database
    std::string id, name;
    MotifColumns columns;
    double threshold = 0.0;  // log-odds (bits) at which a window is a site
    // Input sequences with a site / with a window, and the same for the
    // controls.
    int a = 0, n1 = 0, b = 0, n2 = 0;
    double log10p = 0.0;  // one-sided Fisher
    double log10e = 0.0;  // log10 of p times the motifs tested
};

// Letters of a set of forward records laid end to end for scanning, every
// letter that no window may hold (masked, or not A, C, G or T) as code 4:
// made once, read by every motif.
struct PackedLetters {
    std::vector<uint8_t> code;
    std::vector<size_t> start;  // record i holds code[start[i] .. start[i + 1])
    explicit PackedLetters(const std::vector<SeqRecord>& records);
    size_t size() const { return start.size() - 1; }
};

// The log-odds score table of a database motif (score[j * 5 + b] in bits,
// b = 4 scoring far below any window) against the zero-order background bg
// (normalised here), read as kKnownMotifSites sites smoothed by their square
// root; `reverse` gives the table of its reverse complement.
std::vector<float> KnownScoreTable(const MotifColumns& columns, const double* bg, bool reverse);

// The score a window reaches with probability at most p when its letters are
// drawn from bg: the upper tail of the exact score distribution on a grid of
// kKnownGrid bits (the threshold is rounded up to the grid).
double ScoreForPValue(const std::vector<float>& table, int width, const double* bg, double p);

// Each record's best window score (either strand when bothStrands; -infinity
// without a window), from the forward and reverse tables of width k.
void BestWindowScores(const PackedLetters& set, const std::vector<float>& forward, const std::vector<float>& reverse,
                      int k, bool bothStrands, std::vector<float>& best);

// Every database motif tested, best first (ties: database order): a window
// is a site when its background p-value is at most kKnownWindowP, and the
// input sequences holding a site are set against the controls holding one
// (one-sided Fisher). Nothing is chosen on the sequences counted, so every
// sequence counts and the p-value needs no held-back part; E-values multiply
// by db.size(). The motifs run on up to `threads` threads; the result does
// not depend on the count.
std::vector<KnownMotifResult> TestKnownMotifs(const std::vector<DbMotif>& db, const std::vector<SeqRecord>& input,
                                              const std::vector<SeqRecord>& controls, bool bothStrands,
                                              const double* bg, int threads);

#endif
