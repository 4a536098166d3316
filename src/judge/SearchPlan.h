// What the searches of a judged run cover: the widths a range searches, the
// sample of whole sequences they run on, and the generations each may take.
#ifndef QIRO_SEARCHPLAN_H
#define QIRO_SEARCHPLAN_H

#include <cstdint>
#include <vector>

#include "core/Settings.h"
#include "input/Sequences.h"

// The widths a range searches: every width when it spans at most four, else
// every second width from the lowest, and the highest.
std::vector<int> WidthSchedule(int low, int high);

// The widths a range searches when half the input is held back: every width
// of WidthSchedule when it spans at most four, else its lowest, middle and
// highest. Each motif picked then takes the window of its columns that best
// tells input from controls on the searched part (SettleWidth), down to the
// lowest width. The whole schedule took 10x the time of one width on the
// first 5,000 NRSF peaks; the middle and highest alone lost a little
// accuracy on planted sets (docs/measurements/accuracy-evalue.md).
std::vector<int> RangeSearchWidths(int low, int high);

// The widths a range searches on a small input, judged on every sequence:
// every width of WidthSchedule when it spans at most four, else its middle
// alone; the round's leading candidates then take the width of their least
// likely alignment, their sites read past the edges or their columns
// dropped (SettleWholeWidth). On the MET regulon, -k 6-15 -nmotifs 3 took
// 2.4x the time of -k 10, against 20x for the schedule; searching width 8
// or 9 instead of the middle lost planted sets (docs/measurements/accuracy-evalue.md).
std::vector<int> SmallRangeSearchWidths(int low, int high);

// The sample the searches run on: indices of whole sequences of set, drawn at
// random (StageRandom stage kStageSample, from seed) until the next would
// pass `letters`, skipping those too long to fit; ascending. Every sequence
// when letters is 0 or they all fit; never none.
std::vector<size_t> SearchSample(const std::vector<SeqRecord>& set, long long letters, uint32_t seed);

// The generations of one search over `letters` letters: -g when given, else
// kSearchWork / letters within kMinSearchGenerations and -g's default.
int SearchGenerations(const RunSettings& s, long long letters);

#endif
