// Naming and placing the reported motifs, a stage between the reported
// models and the writers: each model's best matches among the motifs of the
// databases given with -db, and where its sites sit around the centres of
// their sequences. The writers only show what it leaves in the views.
#ifndef QIRO_MODEL_NAMING_H
#define QIRO_MODEL_NAMING_H

#include <vector>

#include "known/DbMatch.h"
#include "report/ModelView.h"

// Names the models after the matcher's database (when there is one) and
// places their sites (when place is true). Models of different widths and
// models wider than a query may be are all handled: a model the matcher
// cannot take gets no match.
void AnnotateModels(std::vector<ModelView>& models, const MotifMatcher* matcher, bool place);

#endif
