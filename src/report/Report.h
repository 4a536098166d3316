// The report of a run, whichever driver made it: the result file, every extra
// output the options ask for, and the console's closing lines (the elapsed
// time, the best database match of each motif).
#ifndef QIRO_REPORT_H
#define QIRO_REPORT_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "input/Midlayer.h"
#include "judge/Judge.h"
#include "known/DbMatch.h"
#include "report/ModelView.h"
#include "report/Outputs.h"
#include "report/ReportedModels.h"
#include "search/Individual.h"

// The banner that opens the console output and the result file.
extern const char kBanner[];

// "Time taken: <seconds> seconds." since start, on its own line: the search's
// time, so it is printed before the report is written.
void PrintTimeTaken(time_t start);

// The result file. With judged (runs with -evalue): every model of the
// population is reported, each at its own width and with its E-value;
// without, the first five as ranked. views (runs with -db): the reported
// models with their database matches, whose best one each model's entry
// names. A file that cannot be opened falls back to the default name. False
// when the result could not be written, to either name.
bool PrintResults(Midlayer* data, std::vector<Individual>* population, std::string& fileName,
                  const JudgedReport* judged = nullptr, const std::vector<ModelView>* views = nullptr);

// The result file and every extra output; with -db (matcher) or -evalue
// (judged) the models are first named and their sites placed. False when
// any of them could not be written (the others are still written).
bool ReportRun(RunSettings& s, uint32_t seed, Midlayer* data, std::vector<Individual>* population,
               const JudgedReport* judged, const MotifMatcher* matcher);

// The console's closing table of a judged run: one line per reported motif
// with its rank, consensus, width, E-value and sites, and with named (-db)
// its best database match.
const int kMaxConsensusShown = 20;
void PrintMotifTable(const std::vector<ModelView>& views, bool named);

#endif
