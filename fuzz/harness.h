// One input through one parser, as a run would meet it. Shared by the fuzz
// targets (which end fatal conditions by unwinding, see fuzz_target.cpp) and
// by the regression test that replays the corpus and every input a fuzzer
// once crashed on (tests/fuzz_regressions.cpp, where a fatal condition ends
// the process with its status as in a run).
//
// Each function writes the bytes to a file in a scratch folder, loads it with
// the data layer's loader and goes on with the steps that use what was loaded.
// It calls __builtin_trap() when a loaded structure breaks an invariant.
#ifndef QIRO_FUZZ_HARNESS_H
#define QIRO_FUZZ_HARNESS_H

#include <cstddef>
#include <cstdint>

namespace fuzzharness {

// The bytes as a FASTA file: loaded with one or both strands, then the
// sequences shorter than the width left out, the positional table, a flat
// background and the admissible positions. The width and the strand mode are
// taken from the input's size, so every input picks them reproducibly.
void FastaInput(const uint8_t* data, size_t size);

// The bytes as a background frequency file, then background probabilities of
// a few words.
void FreqInput(const uint8_t* data, size_t size);

// The bytes as a prior-knowledge file over fixed sequences and a flat
// background: loading (share of the file and noise share taken from the
// input's size), scoring of the known sites and the filter.
void PKInput(const uint8_t* data, size_t size);

// The bytes as command-line words (separated by NUL bytes, at most the 37
// words a run admits after the program name): the option parser and the
// settings block.
void OptionsInput(const uint8_t* data, size_t size);

// The bytes as a motif database file (MEME or JASPAR format, plain or
// gzip-compressed): loading, then a fixed query and the database's first
// motif named against the whole database.
void DbInput(const uint8_t* data, size_t size);

// The bytes as a control file (-neg) against a small fixed input: loaded with
// the input's masking (soft-masking and DUST taken from the input's size), long
// records cut to the input's length; every control a forward record, the
// pieces of a cut record its letters in order, one window at least scannable.
void NegInput(const uint8_t* data, size_t size);

// The bytes as a peak file against a small fixed genome (two chromosomes of
// 200 and 50 letters): read, then placed with a window size taken from the
// input's size (0, whole peaks; 1; 20; 101). Every peak read lies where its
// line says; every window lies on its chromosome, is covered, reads its
// letters, stands apart from the other windows of its peak, and the windows,
// repeats and joined windows account for every peak.
void PeakInput(const uint8_t* data, size_t size);

}  // namespace fuzzharness

#endif
