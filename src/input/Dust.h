// Low-complexity masking: the letters of a sequence that lie in simple repeats
// (runs, tandem repeats of short units, strongly skewed stretches), found with
// the symmetric DUST score.
#ifndef QIRO_DUST_H
#define QIRO_DUST_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/Sequences.h"

// Symmetric DUST, as defined by Morgulis A, Gertz EM, Schäffer AA, Agarwala R
// (2006) "A fast and symmetric DUST implementation to mask low-complexity DNA
// sequences", J Comput Biol 13(5):1028-1040.
//
// - Letters are coded 0..3 (A, C, G, T, either case: kBaseCode); any other code
//   (BASE_NONE) breaks the sequence into pieces: no triplet spans it, the
//   pieces are masked independently, and the breaking letter is never masked.
// - An interval x of a piece with m letters has l = m - 2 overlapping triplets;
//   with c_t the number of times triplet t occurs among them, its score is
//   r(x) = sum_t c_t (c_t - 1) / 2 and S(x) = r(x) / (l - 1). Intervals with
//   fewer than two triplets have no score and are never masked.
// - x exceeds level T when 10 r(x) > T (l - 1), i.e. S(x) > T / 10.
// - x is perfect when it exceeds the level, has at most kDustWindow letters
//   and no sub-interval y of x scores higher (S(y) <= S(x); ties allowed).
// - The masked letters are the union of all perfect intervals.
//
// The score depends only on the multiset of triplets, and reverse
// complementing maps triplets one to one, so the mask of a reverse complement
// is the mirrored mask. At level 0 every interval in which some triplet recurs
// exceeds the level (a run of four equal letters is masked). S is at most
// (kDustWindow - 2) / 2 (one triplet throughout), so levels of
// 5 (kDustWindow - 2) = 310 and above mask nothing.
const int kDustWindow = 64;

// Letters of one sequence that symmetric DUST masks at this level: bit i of
// bits (word i / 64) is set when letter i lies in a perfect interval. codes: n
// letter codes (0..3, BASE_NONE breaks). bits is resized to (n + 63) / 64 + 1
// words (one spare, as the strand store's masks have) and cleared first.
// Time O(n kDustWindow), memory O(1) beyond bits.
void DustMask(const uint8_t* codes, size_t n, double level, std::vector<uint64_t>& bits);

#endif  // QIRO_DUST_H
