// The whole result as JSON: the settings, the background, the judge's
// account, every model with its matrix, log-odds, sites and matches, and the
// known-motif table; what scripts read (tools/rescan.py rebuilds the sites
// from it alone).
#ifndef QIRO_JSONFORMAT_H
#define QIRO_JSONFORMAT_H

#include <ostream>
#include <vector>

#include "report/ModelView.h"

void WriteJson(std::ostream& out, const RunView& run, const std::vector<ModelView>& models);

#endif
