#include "report/JsonFormat.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "core/Settings.h"
#include "judge/GivenMotif.h"
#include "report/AnnotationViews.h"
#include "report/HtmlParts.h"
#include "report/KnownReport.h"
#include "report/SettingsJson.h"

namespace {

const char kLetters[] = "ACGT";

// A k-column table (rows[j][b], b in A C G T) as {A: [...], C: [...], ...}.
nlohmann::ordered_json ColumnsByLetter(const double (&rows)[MAX_K][B], int k) {
    nlohmann::ordered_json t;
    for (int b = 0; b < 4; ++b) {
        std::vector<double> col(static_cast<size_t>(k));
        for (int j = 0; j < k; ++j) col[static_cast<size_t>(j)] = rows[j][b];
        t[std::string(1, kLetters[b])] = col;
    }
    return t;
}

// The refined model that called a motif's sites, with what a scan needs to
// call them again: the matrix's log2 probabilities, the share and its cut
// (and the run's `markov_background`).
nlohmann::ordered_json RefinedJson(const SoftEmFit& em) {
    nlohmann::ordered_json r;
    r["by"] = "soft EM against the Markov background";
    r["rule"] = em.rule == SiteRule::kZoops
                    ? "a window's evidence is the sum of log_probabilities of its letters on the strand read less log2 "
                      "of its background probability; a sequence's evidence, log2 of the mean of 2^evidence over its "
                      "windows and strands, reaching `cut` gives it a site: its best window"
                    : "a window's evidence is the sum of log_probabilities of its letters on the strand read less log2 "
                      "of its background probability; a place whose evidence, log2 of the mean of 2^evidence over "
                      "its strands, reaches `cut` is a site on its better strand, the higher of overlapping sites kept";
    r["share"] = em.share;
    r["share_of"] = em.rule == SiteRule::kZoops ? "sequences" : "places";
    r["start_share"] = em.startShare;
    r["cut"] = em.Cut();
    r["rounds"] = em.rounds;
    r["converged"] = em.converged;
    r["information_before"] = em.startBits;
    r["information"] = em.bits;
    r["expected_sites"] = em.sites;
    // The M-step's prior: `prior_sites` letters a column shared out as the
    // start matrix's, so that log_probabilities = log2((counts + prior_sites x
    // prior_probabilities) / (sites + prior_sites)).
    if (!em.fixedMatrix) {
        r["prior_sites"] = kStartMatrixSites;
        r["prior_probabilities"] = ColumnsByLetter(em.startProb, em.k);
    }
    r["log_probabilities"] = ColumnsByLetter(em.logProb, em.k);
    return r;
}

// The Markov background's words of one to four letters, in the table's order.
nlohmann::ordered_json MarkovJson(const double* dense) {
    nlohmann::ordered_json words;
    int at = 0;
    for (int len = 1; len <= 4; ++len)
        for (int idx = 0; idx < (1 << (2 * len)); ++idx, ++at) {
            std::string w(static_cast<size_t>(len), 'A');
            for (int p = 0; p < len; ++p) w[static_cast<size_t>(p)] = kLetters[(idx >> (2 * (len - 1 - p))) & 3];
            words[w] = dense[at];
        }
    return {{"order", 3},
            {"words_are", "single letters as shares, longer words as the probability of their last letter after "
                          "the letters before it; a window's probability is the product over its first four "
                          "prefixes and then every four-letter word"},
            {"least_word_probability", kLeastWordProbability},
            {"words", words}};
}

// One reported model's entry.
nlohmann::ordered_json ModelJson(const ModelView& m) {
    nlohmann::ordered_json mj;
    mj["rank"] = m.rank;
    mj["id"] = m.id;
    mj["consensus"] = m.consensus;
    mj["width"] = m.width;
    mj["nsites"] = m.nsites;
    mj["mismatch"] = m.mismatch;
    mj["information_content"] = m.ic;
    mj["complexity"] = m.complexity;
    // No MAP score without post-processing; an infinite one has no JSON number either.
    mj["map_score"] = m.maps != 0 && std::isfinite(m.maps) ? nlohmann::ordered_json(m.maps) : nlohmann::ordered_json(nullptr);
    if (m.judged) {
        // Values below the smallest double are 0 here; their log10 stays exact.
        mj["evalue"] = std::pow(10.0, m.log10e);
        mj["log10_evalue"] = m.log10e;
        mj["pvalue"] = std::pow(10.0, m.log10p);
        mj["threshold"] = m.threshold;
        mj["search"] = m.search;
        mj["seed_word"] = m.seedWord.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(m.seedWord);
        mj["seed_kind"] = m.seedKind.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(m.seedKind);
    }
    const std::vector<std::vector<double>> p = m.Probabilities();
    nlohmann::ordered_json counts, probs;
    for (int b = 0; b < 4; ++b) {
        const std::string letter(1, kLetters[b]);
        counts[letter] = m.counts[b];
        probs[letter] = p[b];
    }
    mj["counts"] = counts;
    mj["probabilities"] = probs;
    if (m.judged) {
        // What a scan needs to call these very sites: the log-odds, how it was built, and
        // `threshold` above (a window is a site when its score, rounded to float, reaches it).
        nlohmann::ordered_json logOdds, shares;
        for (int b = 0; b < 4; ++b) {
            const std::string letter(1, kLetters[b]);
            logOdds[letter] = m.logOdds[b];
            shares[letter] = m.background[b];
        }
        mj["log_odds"] = logOdds;
        mj["log_odds_background"] = shares;
        mj["pseudocount"] = m.pseudocount;
        mj["refits"] = m.refits;
        if (m.given && m.refits == 0)
            mj["counts_are"] = "the known sites' letters (not refit on the input)";
        else if (m.given)
            mj["counts_are"] = m.settled ? "the sites' letters and each known site's letters " + Plain(kGivenPriorWeight) + " times"
                                         : "the sites' letters before the last refit and each known site's letters " +
                                               Plain(kGivenPriorWeight) + " times";
        else if (m.refined)
            mj["counts_are"] = "every window's letters weighted by its posterior of being a site (soft EM)";
        else
            mj["counts_are"] = m.settled ? "the sites' letters" : "the sites' letters before the last refit";
        if (m.modelCalls) {
            // The mixture that called the sites; with `log_odds` and `threshold` a scan
            // calls them again (tools/rescan.py).
            const SiteModelFit& f = m.siteFit;
            nlohmann::ordered_json sm;
            sm["model"] = SiteRuleName(f.rule);
            sm["chosen"] = f.automatic ? "from the input" : "by -sitemodel";
            sm["rule"] = SiteModelRule(f);
            sm["share"] = f.share;
            sm["share_of"] = f.rule == SiteRule::kZoops ? "sequences" : "windows";
            sm["site_score_mean"] = f.siteMean;
            sm["site_score_sd"] = f.siteSd;
            sm["sequences"] = f.sequences;
            sm["windows"] = f.windows;
            if (f.automatic) {
                sm["second_sites"] = f.extraCalls;
                sm["second_sites_by_chance"] = f.extraExpected;
                // Measured only when the count of second sites spoke for TCM.
                if (f.repeatLike || f.rule == SiteRule::kTcm) sm["flank_bits"] = f.flankBits;
                sm["repeat_like"] = f.repeatLike;
            }
            if (m.refined) sm["refined"] = RefinedJson(m.em);
            mj["site_model"] = sm;
        }
        if (m.given) {
            mj["given_by_known_sites"] = true;
            mj["site_rule"] = m.modelCalls ? "the mixture in site_model, with the matrix as the known sites give it"
                                           : GivenSiteRule();
            mj["estimated_false_calls"] = m.estimate.falseShare;
            mj["estimated_recall"] = m.estimate.recall;
            mj["known_sites"] = m.estimate.known;
        }
    }
    nlohmann::ordered_json sites = nlohmann::ordered_json::array();
    for (const SiteView& v : m.sites) {
        sites.push_back({{"sequence", v.sequence},
                         {"strand", v.forward ? "+" : "-"},
                         {"start", v.start + 1},
                         {"end", v.start + m.width},
                         {"letters", v.letters},
                         {"forward_letters", v.forwardLetters},
                         {"score", v.score}});
    }
    mj["sites"] = sites;
    AddAnnotationJson(mj, m);
    return mj;
}

}  // namespace

void WriteJson(std::ostream& out, const RunView& run, const std::vector<ModelView>& models) {
    const RunSettings& s = *run.settings;
    const JudgedReport* judged = run.judged;
    nlohmann::ordered_json j;
    j["program"] = "qiro";
    j["version"] = QIRO_VERSION;
    j["seed"] = run.seed;
    j["settings"] = SettingsJson(s, run.width);
    const double* bg = run.background;
    j["background"] = {{"A", bg[0]}, {"C", bg[1]}, {"G", bg[2]}, {"T", bg[3]}};
    j["sequences"] = run.sequences;
    if (judged) {
        j["control"] = {{"sequences", judged->controls},
                        {"source", judged->generated ? "generated" : "given"},
                        {"file", judged->generated ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s.negFile)},
                        {"held_back_input", judged->heldInput},
                        {"held_back_control", judged->heldControl},
                        {"candidates_judged", judged->judged}};
        // Only inputs too small to hold sequences back say how they were judged.
        if (judged->whole) j["control"]["judged_on"] = "every sequence (alignment E-value)";
        if (!judged->gc.Empty()) {
            // Controls drawn from the genome: how well they match the input's GC content.
            j["control"]["source"] = "genome";
            j["control"]["gc_histograms"] = {{"bin_width", kGcBinWidth},
                                             {"input", judged->gc.input},
                                             {"control", judged->gc.control},
                                             {"controls_outside_their_bin", judged->gc.offBin},
                                             {"largest_share_difference", judged->gc.LargestDifference()}};
        }
    }
    bool refined = false;
    for (const ModelView& m : models) refined = refined || m.refined;
    // Only runs whose sites a refined model called carry it: the rest stay as they were.
    if (refined && run.backgroundWords != nullptr) j["markov_background"] = MarkovJson(run.backgroundWords);
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ModelView& m : models) list.push_back(ModelJson(m));
    j["motifs"] = list;
    if (judged && judged->knownTested) j["known_motifs"] = KnownMotifsJson(*judged);
    // Sequence names are not necessarily UTF-8; bytes that are not come out as U+FFFD.
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}
