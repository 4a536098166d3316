// The extra outputs of a run, each asked for by its own option: the reported
// models in MEME and JASPAR formats, their sites as BED, the whole result as
// JSON and as a self-contained HTML page. One writer per format, each in its
// own room; this one makes the view they all read and writes the files.
#ifndef QIRO_OUTPUTS_H
#define QIRO_OUTPUTS_H

#include <cstdint>
#include <vector>

#include "core/Settings.h"
#include "input/Midlayer.h"
#include "judge/Judge.h"
#include "report/ModelView.h"
#include "search/Individual.h"

// Writes every output the settings name; a file that cannot be written gets a
// message on standard output and the others are still written. views: the
// reported models already made (and annotated); none: made here. False when
// any of them could not be written.
bool WriteOutputs(const RunSettings& s, uint32_t seed, Midlayer* data, const std::vector<Individual>& population,
                  const JudgedReport* judged = nullptr, const std::vector<ModelView>* views = nullptr);


#endif
