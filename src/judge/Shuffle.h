// Control sequences: random shuffles of a sequence that keep the count of every
// k-letter word, so that a motif's score on the real sequences can be set
// against its score on sequences of the same composition without the sites.
#ifndef QIRO_SHUFFLE_H
#define QIRO_SHUFFLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/StageRandom.h"
#include "input/Sequences.h"

// Longest word whose counts a shuffle keeps: the vertex table has 4^(k-1)
// entries.
const int kMaxShuffleWord = 10;
// The word length the controls keep by default: letter triplets.
const int kDefaultShuffleWord = 3;

// The Euler-path shuffle (Altschul SF, Erickson BW (1985) Mol Biol Evol
// 2:526-538; uniform version: Kandel D, Matias Y, Unger R, Winkler P (1996)
// Discrete Appl Math 71:171-185; see also Jiang M et al. (2008) BMC
// Bioinformatics 9:192).
//
// A piece s of m >= k letters is a path through the multigraph whose vertices
// are the (k-1)-letter words and which has one edge per occurrence of a
// k-letter word, from its first k-1 letters to its last k-1 letters. Any other
// path from the same first vertex that uses every edge once (an Euler path)
// spells a sequence with the same k-letter word counts and the same first and
// last k-1 letters, and every such sequence is one. The shuffle picks one
// uniformly:
//  1. Last exits. Every vertex but the final one gets one of its out-edges as
//     the edge the path leaves it by for the last time. These edges must form
//     a tree pointing to the final vertex, and every such tree, counted with
//     edge multiplicities, leads to equally many paths (BEST theorem), so the
//     tree is drawn uniformly among them: Wilson's loop-erased random walk
//     (Wilson DB (1996) STOC 296-303) from every vertex not yet in the tree,
//     stepping along a uniformly drawn out-edge, until it meets the tree.
//  2. Every vertex's other out-edges are put in a uniformly random order
//     (Fisher-Yates), the last exit after them.
//  3. The path starts at the first vertex and each time leaves the current
//     vertex by its next unused out-edge; the tree guarantees it uses all of
//     them. Each edge spells its word's last letter.
// All draws are StageRandom::Below32 (modulo reduction, Below's convention).
// Time and memory are linear in m for building the graph, ordering the edges
// and the walk. Wilson's walks take the mean commute time to the final vertex
// in expectation, small next to m with at most 4^(k-1) vertices: on megabases
// of random and of repeat-rich letters (bench_shuffle's) under 0.01 steps per
// letter for k <= 6, and about one per letter for a megabase of A's with ten
// C's (k = 3). Nothing recurses, so pieces of any length are fine.
//
// Pieces. Letters without a code (BASE_NONE, read as N) and, when given, fixed
// letters stay where they are and split the sequence: every maximal run of
// other letters is a piece, shuffled on its own, so that no word spans a
// letter that stays. Pieces shorter than k are kept as they are.
class WordShuffler {
public:
    // Throws std::invalid_argument unless 1 <= k <= kMaxShuffleWord. k = 1 is
    // a uniform permutation of each piece's letters.
    explicit WordShuffler(int k);
    int K() const { return k_; }

    // out = the n codes (0..3, BASE_NONE) shuffled piece by piece. fixed, when
    // not null, marks letters that stay too: bit i of word i / 64 for letter i,
    // as SeqShared::masked does. codes and out must not overlap.
    void Shuffle(const uint8_t* codes, size_t n, StageRandom& rng, std::vector<uint8_t>& out,
                 const uint64_t* fixed = nullptr);

private:
    // Writes the m >= k codes of one piece, shuffled, to out.
    void ShufflePiece(const uint8_t* codes, uint32_t m, StageRandom& rng, uint8_t* out);

    int k_;
    std::vector<int32_t> idOf_;     // vertex number of each (k-1)-letter word, -1 if unseen
    std::vector<uint32_t> seen_;    // the words numbered in this piece, to clear idOf_
    std::vector<uint32_t> vertex_;  // vertex at each position 0..E of the piece
    std::vector<uint32_t> first_;   // out-edges of vertex v: slots first_[v] .. first_[v+1]-1
    std::vector<uint32_t> slot_;    // edge (its position in the piece) in each slot
    std::vector<uint32_t> cursor_;  // per vertex: next slot to fill, then to take
    std::vector<uint32_t> exit_;    // per vertex: slot of the last exit drawn
    std::vector<uint8_t> inTree_;
};

// The codes of a sequence shuffled keeping the counts of the k-letter words of
// every piece (see WordShuffler); a one-off WordShuffler.
void ShuffleKeepingWords(const uint8_t* codes, size_t n, int k, StageRandom& rng, std::vector<uint8_t>& out,
                         const uint64_t* fixed = nullptr);

// Control strands for the forward strands 0 .. numSeq - 1 of a store:
// `copies` shuffles of each (k-letter words kept), in order sequence by
// sequence, copy 1 .. copies of each, named "<name>_shuffled<copy>", as
// forward strands; AddReverseStrands makes their reverse strands.
// - Numbers: sequence i draws from StageRandom(seed, kStageControls, i), so
//   its controls depend only on the seed, its letters and i, never on the run's
//   Random() nor on the other sequences.
// - Masks: letters masked on the source (SeqShared::masked, set by
//   MaskSequences) stay in place like N's, and the control carries the same
//   mask, so it has the same admissible windows. Controls made before masking
//   carry none; mask them as the sequences are masked.
// - Case: letter i of a control is in lower case when letter i of its source
//   is (case stays with positions, as the masks do), so soft-masking the
//   controls marks the same places.
// Throws std::invalid_argument for a k out of range, copies < 0 or a record
// that is not a forward strand.
std::vector<SeqRecord> MakeControls(const std::vector<SeqRecord>& forward, int numSeq, int copies, int k,
                                    uint32_t seed);

#endif  // QIRO_SHUFFLE_H
