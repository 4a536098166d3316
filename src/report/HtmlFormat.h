// The whole result as one self-contained HTML page: settings, a summary
// table, each model's logos, matrix, sites and matches, and the known-motif
// table; no script or outside file, so it can be mailed or archived as is.
#ifndef QIRO_HTMLFORMAT_H
#define QIRO_HTMLFORMAT_H

#include <ostream>
#include <vector>

#include "report/ModelView.h"

void WriteHtml(std::ostream& out, const RunView& run, const std::vector<ModelView>& models);

#endif
