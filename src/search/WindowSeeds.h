// Starting points for the searches of small inputs: every window of the input
// taken in turn as a consensus (as MEME takes every subsequence as a starting
// point), kept when more input than control sequences hold a window within a
// few mismatches of it. Exact words within one mismatch miss motifs whose
// sites differ from one another in several letters, such as a CArG box's
// A/T core; a window of the motif itself, with a quarter of its letters
// allowed to differ, still finds its fellow sites.
#ifndef QIRO_WINDOWSEEDS_H
#define QIRO_WINDOWSEEDS_H

#include <string>
#include <vector>

#include "core/Statistics.h"
#include "input/Sequences.h"

// Widest window taken as a seed: a window's letters are held in 64 bits.
const int kMaxSeedWidth = 32;

// Most windows taken as seeds at one width: beyond them the input's windows
// are taken evenly spaced, so that long inputs cost no more than about
// kSeedComparisons window comparisons in the first pass.
const int kMaxSeeds = 4000;
const long long kSeedComparisons = 200000000LL;

// Seeds rescored against the controls in the second pass, and the rounds
// each may move to its sites' consensus.
const int kSeedsRescored = 100;
const int kSeedRefinements = 3;

struct WindowSeed {
    std::string consensus;           // the seed's letters: a window of the input, or its sites' consensus
    int mismatches = 0;              // letters a window may differ from it by
    int a = 0, n1 = 0;               // input sequences holding such a window / with a window
    int b = 0, n2 = 0;               // the same for the controls
    FisherResult p;                  // FisherEnrichment(a, n1, b, n2)
    std::vector<std::string> sites;  // each input sequence's closest window, read as the seed reads
};

// Letters a seed of `width` may differ from a window by: about a quarter of
// them, at least one.
int SeedMismatches(int width);

// The `keep` best seeds of `width` letters (2 .. kMaxSeedWidth). First pass:
// each seed (an admissible window of the input: no masked letter, no N)
// scored by the binomial tail of the other input sequences holding a window
// within d mismatches (d = 0 .. SeedMismatches), against the chance of one
// from the input's letter shares. Second pass: the kSeedsRescored best
// counted in the controls too, and ranked by the Fisher p-value at their best
// d (ties: the first pass's score, then input order), each moved to the
// consensus of its sites while that lowers the p-value (at most
// kSeedRefinements times). A seed is skipped when
// half its sites or more sit on a kept seed's. Only seeds in more input than
// control sequences (as shares) are kept. With bothStrands a window is read
// on either strand. The passes run on up to `threads` threads; the seeds do
// not depend on the count. Draws nothing.
std::vector<WindowSeed> EnrichedWindows(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        int width, bool bothStrands, int keep, int threads = 1);

#endif
