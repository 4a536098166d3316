// The run driver of -evalue: searches on part of the input, every width of the
// range, every motif sought; the judge against control sequences; the report
// of the motifs that pass, with their sites above threshold.
#ifndef QIRO_EVALUERUN_H
#define QIRO_EVALUERUN_H

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "GAFrame.h"
#include "Individual.h"
#include "Midlayer.h"

struct RunSettings;
class MotifMatcher;

// Share of the input (and of the controls) held back from the searches and the
// thresholds to judge on: half, the split whose E-values were measured
// calibrated on shuffled inputs (docs/accuracy.md).
const double kHeldBackShare = 0.5;

// Most rounds of refitting a reported model to its own site calls.
const int kMaxRefits = 10;

// The widths a range searches: every width when it spans at most four, else
// every second width from the lowest, and the highest.
std::vector<int> WidthSchedule(int low, int high);

// The widths a range searches when half the input is held back: every width
// of WidthSchedule when it spans at most four, else its lowest, middle and
// highest. Each motif picked then takes the window of its columns that best
// tells input from controls on the searched part (SettleWidth), down to the
// lowest width. On the
// first 5,000 NRSF peaks, -k 8-15 -nmotifs 3 took 2.0x the time of -k 15,
// against 10x for the whole schedule, with the same top motif; the middle
// and highest alone lost a little accuracy on planted sets
// (docs/accuracy-evalue.md).
std::vector<int> RangeSearchWidths(int low, int high);

// The sample the searches run on: indices of whole sequences of set, drawn at
// random (StageRandom stage kStageSample, from seed) until the next would
// pass `letters`, skipping those too long to fit; ascending. Every sequence
// when letters is 0 or they all fit; never none.
std::vector<size_t> SearchSample(const std::vector<SeqRecord>& set, long long letters, uint32_t seed);

// The generations of one search over `letters` letters: -g when given, else
// kSearchWork / letters within kMinSearchGenerations and -g's default.
int SearchGenerations(const RunSettings& s, long long letters);

// The whole run after the inputs are loaded (data holds every input sequence,
// masked, with the background): searches, judge, elapsed time, result file and
// extra outputs; with matcher (-db) the reported motifs are named after it.
void DiscoverWithEvalues(RunSettings& s, uint32_t seed, time_t start, Midlayer* data,
                         std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
                         const MotifMatcher* matcher = nullptr);

#endif
