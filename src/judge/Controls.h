// The control sequences a judged run sets its input against: the input
// shuffled keeping its letter triplets, or the sequences of a -neg file,
// masked as the input is, long ones cut to the input's length, and refused
// when none holds a window the judge could scan.
#ifndef QIRO_CONTROLS_H
#define QIRO_CONTROLS_H

#include <cstdint>
#include <string>
#include <vector>

#include "input/Masking.h"
#include "input/Sequences.h"

// Word length the generated controls keep: letter triplets.
const int kControlWord = 3;

// Generated controls: every input sequence is shuffled as often as it takes
// to make at least this many control sequences, at most kMaxControlCopies
// times. Few input sequences leave few held back; the p-value of a motif in
// all of them can only be small when the controls it is set against are many
// (all of 3 held-back sequences with a site against none of 3 controls:
// p = 0.05; against none of 60: p = 3e-5).
const int kControlTarget = 200;
const int kMaxControlCopies = 20;

// How often each of n input sequences is shuffled (kControlTarget, at most
// kMaxControlCopies times, at least once).
int ControlCopies(int n);

// A control longer than kLongControl times the input's median length is cut
// into pieces of about that median: a site is counted per sequence, so one
// long control would hold a site wherever the motif is and tell nothing.
const int kLongControl = 2;

// The control sequences: with negFile empty, MakeControls of the input
// (ControlCopies copies each, kControlWord, from seed); else the records of
// negFile read with the input's masking, the long ones cut. A control file
// with no record, or none with a window of `width` letters free of masked
// letters and of letters other than A, C, G, T, ends the run with a message
// naming it (nothing could be judged against it).
std::vector<SeqRecord> LoadControls(const std::string& negFile, const std::vector<SeqRecord>& input, uint32_t seed,
                                    const MaskSettings& masking, int width);

// Pieces of about `length` letters (at least one) of a forward record, named
// "<name>:<from>-<to>" (1-based), their letters as read (case and N kept),
// unmasked.
std::vector<SeqRecord> CutRecord(const SeqRecord& r, int length);

// Whether the record has a window of k letters holding no masked letter and
// no letter other than A, C, G, T.
bool HasScannableWindow(const SeqRecord& r, int k);

#endif
