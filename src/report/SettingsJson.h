// The run's settings as the JSON result and the HTML page list them (the same
// keys, in the same order, in both), and the rule the known sites' motif
// calls its sites by, as both say it.
#ifndef QIRO_SETTINGSJSON_H
#define QIRO_SETTINGSJSON_H

#include <string>

#include <nlohmann/json.hpp>

#include "core/Settings.h"
#include "judge/SiteModel.h"

// Every setting a run without the newer options always listed, then those of
// the newer options only when given. width: the search's width, listed for a
// run of one width.
nlohmann::ordered_json SettingsJson(const RunSettings& s, int width);

// How the sites of the known sites' motif (-pk with -evalue) are called.
std::string GivenSiteRule();

// How a mixture fitted to the input calls sites, in words.
std::string SiteModelRule(const SiteModelFit& fit);

#endif
