// One search of a run: the known sites or the width, the admissible windows,
// the genetic search until its stop rule, and post-processing, on the strands
// the data layer holds. The run driver calls it once; a run that judges its
// models against control sequences calls it once per width and motif.
#ifndef QIRO_SEARCHRUN_H
#define QIRO_SEARCHRUN_H

#include <vector>

#include "input/Midlayer.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

struct RunSettings;

// One thread per core, as far as the system tells.
int DefaultThreads();

// Ends the run when a population cannot fit in the machine's memory.
void CheckPopulationFits(int population, int strands);

// Known sites fix the width (with -pk); without them it comes from s.k. The
// population ends ranked, post-processed when s.post is set. s.filter is
// cleared when there are no known sites, as the settings then report it.
// With seeds (not null), they are the known sites, in place of -pk's file.
void SearchAndRefine(RunSettings& s, Midlayer* data, GAFrame* engine, std::vector<Individual>* population,
                     const std::vector<std::string>* seeds = nullptr);

#endif
