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
#include "SearchPlan.h"

struct RunSettings;
class MotifMatcher;

// Share of the input (and of the controls) held back from the searches and the
// thresholds to judge on: half, the split whose E-values were measured
// calibrated on shuffled inputs (docs/accuracy.md).
const double kHeldBackShare = 0.5;

// Most rounds of refitting a reported model to its own site calls.
const int kMaxRefits = 10;

// The whole run after the inputs are loaded (data holds every input sequence,
// masked, with the background): searches, judge, elapsed time, result file and
// extra outputs; with matcher (-db) the reported motifs are named after it.
void DiscoverWithEvalues(RunSettings& s, uint32_t seed, time_t start, Midlayer* data,
                         std::unique_ptr<GAFrame>& engine, std::vector<Individual>* population,
                         const MotifMatcher* matcher = nullptr);

#endif
