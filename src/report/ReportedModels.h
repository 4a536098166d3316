// The reported run made from the final population and the data layer, once
// per report: the models every writer and the result file read, and the
// run's facts beside them. The one room of the report that reads the data
// layer; the writers read what it makes.
#ifndef QIRO_REPORTEDMODELS_H
#define QIRO_REPORTEDMODELS_H

#include <cstdint>
#include <vector>

#include "core/Settings.h"
#include "input/Midlayer.h"
#include "judge/Judge.h"
#include "report/ModelView.h"
#include "search/Individual.h"

// The first (at most) five models of the population, in report order, with
// their sites as the result file lists them; with judged, every model, each
// at its own width, with its verdict.
std::vector<ModelView> ReportedModels(Midlayer* data, const std::vector<Individual>& population,
                                      const JudgedReport* judged = nullptr);

// The run's facts the writers read, as the data layer holds them now.
RunView MakeRunView(const RunSettings& s, uint32_t seed, Midlayer* data, const JudgedReport* judged);

#endif
