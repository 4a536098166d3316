// How the result file, the JSON and the HTML page show what naming and
// placing the motifs (report/ModelNaming.h) left in each model's view: its
// best database matches and where its sites sit.
#ifndef QIRO_ANNOTATION_VIEWS_H
#define QIRO_ANNOTATION_VIEWS_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report/ModelView.h"

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
