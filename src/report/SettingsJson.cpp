#include "report/SettingsJson.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "input/Background.h"
#include "judge/GivenMotif.h"

namespace {

// A float setting as the decimal it was typed as (0.8, not 0.800000011920929).
double Decimal(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(v));
    return std::strtod(text, nullptr);
}

}  // namespace

nlohmann::ordered_json SettingsJson(const RunSettings& s, int width) {
    nlohmann::ordered_json j;
    j["input"] = s.inputFile;
    if (!s.peaksFile.empty()) {
        j["genome"] = s.genomeFile;
        j["peak_size"] = s.peakSize;
    }
    j["background"] = s.freqFlag ? s.freqFile : std::string(kCountedBackground);
    j["prior_knowledge"] = s.pkFlag ? nlohmann::ordered_json(s.pkFile) : nlohmann::ordered_json(nullptr);
    j["result_file"] = s.resultFile;
    // A range of widths is searched whole: one width or one -k would say what did not run.
    if (s.kLow == 0) {
        j["width"] = width;
        j["k"] = s.k;
    }
    j["sites_per_sequence"] = s.numSites;
    j["both_strands"] = s.doubleStrand;
    j["generations"] = s.generations;
    j["population"] = s.population;
    j["replacement_rate"] = Decimal(s.replacement);
    j["winner_rate"] = Decimal(s.winner);
    j["low_complexity"] = Decimal(s.lowerComp);
    j["pk_share_initialization"] = Decimal(s.pkPer);
    j["pk_share_used"] = Decimal(s.perPK);
    j["pk_noise"] = Decimal(s.pkq);
    j["delta"] = Decimal(s.delta);
    j["filtering"] = s.filter;
    j["post_processing"] = s.post;
    // Shown only when masking is asked for: the settings of other runs stay as they were.
    if (s.mask || s.dust > 0) {
        j["mask"] = s.mask;
        j["dust"] = s.dust;
    }
    if (s.evalue > 0) {
        j["evalue"] = s.evalue;
        j["site_model"] = s.siteModel;
        j["control_file"] = s.negFile.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s.negFile);
        j["motifs_sought"] = s.nmotifs;
        j["words"] = s.words;
        j["search_size"] = s.searchSize;
        if (s.kLow > 0) j["widths"] = std::to_string(s.kLow) + "-" + std::to_string(s.kHigh);
    }
    if (!s.dbFiles.empty()) {
        std::string files;
        for (const std::string& f : s.dbFiles) files += (files.empty() ? "" : ", ") + f;
        j["motif_databases"] = files;
    }
    return j;
}

std::string GivenSiteRule() {
    std::ostringstream rule;
    rule << "a background p-value of at most " << kGivenWindowP << " per window, the matrix refit on the input with "
         << "each known site as " << kGivenPriorWeight << " pseudo-sites";
    return rule.str();
}

std::string SiteModelRule(const SiteModelFit& fit) {
    if (fit.rule == SiteRule::kZoops)
        return "ZOOPS: zero or one site per sequence; a sequence holds a site where the posterior that it does "
               "reaches one half, which its best window does from `threshold` up, and the site is that window";
    return "TCM: any number of sites per sequence; a window is a site where its posterior reaches one half, "
           "which it does from `threshold` up, and of overlapping sites the higher scoring is kept";
}
