// The last stage of a judged run: the motifs found that still pass once every
// candidate is counted, each refit on the sites it calls in every input
// sequence, those sites called, and the judge's account for the report.
#ifndef QIRO_REPORTEDCALLS_H
#define QIRO_REPORTEDCALLS_H

#include "judge/Judge.h"
#include "judge/JudgedRun.h"

// The motifs found that still pass once every candidate is counted, best
// first, each refit on the sites it calls in every input sequence and those
// sites called; the data layer holds the whole input again for the report.
JudgedReport CallReportedModels(JudgedRun& run);

#endif
