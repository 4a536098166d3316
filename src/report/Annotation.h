// Naming and placing each reported motif: its best matches among the motifs
// of the databases given with -db, and where its sites sit around the centres
// of their sequences; and how the result file, JSON and HTML show both.
#ifndef QIRO_ANNOTATION_H
#define QIRO_ANNOTATION_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "known/DbMatch.h"
#include "report/ModelView.h"

// Names the models after the matcher's database (when there is one) and
// places their sites (when place is true). Models of different widths and
// models wider than a query may be are all handled: a model the matcher
// cannot take gets no match.
void AnnotateModels(std::vector<ModelView>& models, const MotifMatcher* matcher, bool place);

// "Best match: <id> <name> E=<value> (<forward|reverse>, offset <n>)", or
// "Best match: none with E at most 0.5" when no database motif comes close.
std::string BestMatchLine(const ModelView& m);

// The model's "matches" and "site_positions" members, when it has them.
void AddAnnotationJson(nlohmann::ordered_json& mj, const ModelView& m);

// HTML: the table of matches, each with the model's logo and the database
// motif's logo drawn on one column axis; and the histogram of site centres.
// Empty when the model has neither.
std::string MatchesHtml(const ModelView& m);
std::string PositionsHtml(const ModelView& m);

#endif
