// Starting points for the search: the short words that occur in more input
// sequences than control sequences, counted within one mismatch on both
// strands, and their occurrences widened to the motif width, which the search
// takes as known sites.
#ifndef QIRO_WORDS_H
#define QIRO_WORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/Statistics.h"
#include "input/Sequences.h"

// Longest word counted: the count tables hold 4^length entries.
const int kMaxWordLength = 10;

// Most known sites one word hands to a search: its occurrences beyond these
// (in sequence order) are left out, so that a word common in a large input
// does not make the known-site scoring the cost of the run.
const int kMaxWordSites = 1000;

struct EnrichedWord {
    std::string word;   // upper case, the lesser of the word and its reverse complement (both strands)
    int a = 0, n1 = 0;  // input sequences holding it within one mismatch / with a window
    int b = 0, n2 = 0;  // the same for the controls
    int exact = 0;      // input sequences holding the word itself
    FisherResult p;     // FisherEnrichment(a, n1, b, n2)
};

// The `keep` most enriched words of `length` letters (2 .. kMaxWordLength):
// a sequence holds a word when one of its admissible windows (no masked
// letter, no N) reads the word, or with bothStrands its reverse complement,
// with at most one letter different. Ranked by Fisher p-value (ties: more
// input sequences holding the word itself, since a word one letter from the
// motif, such as the motif shifted by one, shares its counts within one
// mismatch; then more input sequences, then the word's letters); a word is skipped when it is one
// letter from a word kept, or the same as one shifted by one or two letters
// (either strand), so that the words kept are different starting points.
// Only words in more input than control sequences (as shares) are kept.
std::vector<EnrichedWord> EnrichedWords(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        int length, bool bothStrands, int keep);

// The windows of `width` letters centred on the word's occurrences within
// one mismatch in the input (oriented as the word reads), as upper-case
// letters, for use as known sites: at most kMaxWordSites, in sequence order;
// windows that would leave the sequence or hold a masked letter are skipped.
// A width narrower than the word takes the word's central letters.
std::vector<std::string> WordSites(const std::vector<SeqRecord>& input, const std::string& word, int width,
                                   bool bothStrands);

#endif
