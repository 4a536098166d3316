#include "Outputs.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Annotation.h"
#include "GivenMotif.h"
#include "Judge.h"
#include "KnownReport.h"
#include "Robust.h"

// How the sites of the known sites' motif (-pk with -evalue) are called, as the JSON and the page say it.
std::string GivenSiteRule() {
    std::ostringstream rule;
    rule << "a background p-value of at most " << kGivenWindowP << " per window, the matrix refit on the input with "
         << "each known site as " << kGivenPriorWeight << " pseudo-sites";
    return rule.str();
}

namespace {

const char kLetters[] = "ACGT";

// A float setting as the decimal it was typed as (0.8, not 0.800000011920929).
double Decimal(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(v));
    return std::strtod(text, nullptr);
}

}  // namespace

namespace {

// Letter shares of one column in millionths that add up to exactly one million:
// each share rounded down, then the millionths still missing go one each to the
// shares that lost the most by rounding down (so every share is off by less
// than one millionth).
void RoundedColumn(const double share[4], long micro[4]) {
    double lost[4];
    long sum = 0;
    for (int b = 0; b < 4; ++b) {
        const double exact = share[b] * 1e6;
        micro[b] = static_cast<long>(std::floor(exact + 1e-7));
        lost[b] = exact - static_cast<double>(micro[b]);
        sum += micro[b];
    }
    for (long missing = 1000000 - sum; missing > 0; --missing) {
        int pick = 0;
        for (int b = 1; b < 4; ++b)
            if (lost[b] > lost[pick]) pick = b;
        ++micro[pick];
        lost[pick] -= 1.0;
    }
}

nlohmann::ordered_json SettingsJson(const RunSettings& s, Midlayer* data) {
    nlohmann::ordered_json j;
    j["input"] = s.inputFile;
    j["background"] = s.freqFlag ? s.freqFile : std::string(kCountedBackground);
    j["prior_knowledge"] = s.pkFlag ? nlohmann::ordered_json(s.pkFile) : nlohmann::ordered_json(nullptr);
    j["result_file"] = s.resultFile;
    // A range of widths is searched whole: one width or one -k would say what did not run.
    if (s.kLow == 0) {
        j["width"] = data->GetK();
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

// The width of the report: one for a plain run; judged models each have their own.
std::string Widths(const std::vector<ModelView>& models, int k) {
    std::string text;
    for (const ModelView& m : models) {
        if (!m.judged) return std::to_string(k);
        const std::string w = std::to_string(m.width);
        if ((", " + text + ", ").find(", " + w + ", ") == std::string::npos) text += (text.empty() ? "" : ", ") + w;
    }
    return text.empty() ? std::to_string(k) : text;
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;color:#222;max-width:80em}"
    "h1{font-size:1.6em}h2{font-size:1.3em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse;margin:.6em 0}th,td{border:1px solid #ccc;padding:.2em .6em;text-align:left}"
    "td.num{text-align:right;font-variant-numeric:tabular-nums}"
    ".letters{font-family:monospace;letter-spacing:.1em}"
    ".logos{display:flex;flex-wrap:wrap;gap:2em}figure{margin:0}figcaption{font-size:.9em;color:#555}"
    ".matrix th.base{font-family:monospace}"
    "dl.settings{display:grid;grid-template-columns:repeat(auto-fill,minmax(22em,1fr));gap:.2em 1.5em;margin:.6em 0}"
    "dl.settings div{display:flex;gap:.6em;border-bottom:1px solid #eee;padding:.15em 0}"
    "dl.settings dt{font-weight:bold;min-width:12.5em}dl.settings dd{margin:0;overflow-wrap:anywhere}";

}  // namespace

// ---------------------------------------------------------------- regions

bool ParseRegionName(const std::string& name, int length, GenomicRegion& region) {
    std::string text = name;
    bool minus = false;
    if (text.size() > 3 && (text.compare(text.size() - 3, 3, "(+)") == 0 || text.compare(text.size() - 3, 3, "(-)") == 0)) {
        minus = text[text.size() - 2] == '-';
        text.erase(text.size() - 3);
    }
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    const size_t dash = text.find('-', colon + 1);
    if (dash == std::string::npos) return false;
    const std::string a = text.substr(colon + 1, dash - colon - 1), b = text.substr(dash + 1);
    auto digits = [](const std::string& w) {
        return !w.empty() && w.size() <= 12 && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(a) || !digits(b)) return false;
    const long start = std::stol(a), end = std::stol(b);
    if (end - start == length) {
        region.start = start;  // 0-based, half-open (BED style)
    } else if (end - start + 1 == length && start >= 1) {
        region.start = start - 1;  // 1-based, inclusive
    } else {
        return false;
    }
    region.chrom = text.substr(0, colon);
    region.minus = minus;
    return true;
}

// ---------------------------------------------------------------- writers

void WriteMeme(std::ostream& out, const std::vector<ModelView>& models, const double background[4],
               bool doubleStrand) {
    out << "MEME version 4\n\n";
    out << "ALPHABET= ACGT\n\n";
    out << "strands: " << (doubleStrand ? "+ -" : "+") << "\n\n";
    double total = 0.0;
    for (int b = 0; b < 4; ++b) total += background[b];
    double share[4];
    for (int b = 0; b < 4; ++b) share[b] = total > 0 ? background[b] / total : 0.25;
    long micro[4];
    RoundedColumn(share, micro);
    char line[160];
    out << "Background letter frequencies\n";
    std::snprintf(line, sizeof line, "A %.6f C %.6f G %.6f T %.6f\n\n", micro[0] / 1e6, micro[1] / 1e6,
                  micro[2] / 1e6, micro[3] / 1e6);
    out << line;
    for (const ModelView& m : models) {
        out << "MOTIF " << m.id << " " << m.consensus << "\n";
        out << "letter-probability matrix: alength= 4 w= " << m.width << " nsites= " << m.nsites << " E= " << (m.judged ? m.evalue : "0") << "\n";
        const std::vector<std::vector<double>> p = m.Probabilities();
        for (int j = 0; j < m.width; ++j) {
            const double column[4] = {p[0][j], p[1][j], p[2][j], p[3][j]};
            RoundedColumn(column, micro);
            std::snprintf(line, sizeof line, " %.6f  %.6f  %.6f  %.6f\n", micro[0] / 1e6, micro[1] / 1e6,
                          micro[2] / 1e6, micro[3] / 1e6);
            out << line;
        }
        // Kept apart from the matrix lines, which readers take as they are.
        if (!m.settled)
            out << "# " << m.id << ": the matrix that called the sites; their own letters differ (not settled after "
                << m.refits << " refits)\n";
        out << "\n";
    }
}

void WriteJaspar(std::ostream& out, const std::vector<ModelView>& models) {
    for (const ModelView& m : models) {
        out << ">" << m.id << "\t" << m.consensus << (m.settled ? "" : " (the matrix that called the sites)") << "\n";
        for (int b = 0; b < 4; ++b) {
            out << kLetters[b] << " [";
            for (int j = 0; j < m.width; ++j) out << " " << Plain(m.counts[b][j]);
            out << " ]\n";
        }
    }
}

void WriteBed(std::ostream& out, const std::vector<ModelView>& models) {
    for (const ModelView& m : models) {
        for (const SiteView& s : m.sites) {
            std::string chrom = s.sequence;
            long start = s.start;
            bool plus = s.forward;
            GenomicRegion region;
            if (ParseRegionName(s.sequence, s.length, region)) {
                chrom = region.chrom;
                if (region.minus) {
                    // The sequence reads the region backwards.
                    start = region.start + (s.length - s.start - m.width);
                    plus = !plus;
                } else {
                    start = region.start + s.start;
                }
            }
            out << chrom << "\t" << start << "\t" << start + m.width << "\t" << m.rank << "\t0\t" << (plus ? '+' : '-')
                << "\t" << s.letters << "\t" << Plain(s.score) << "\n";
        }
    }
}

void WriteJson(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models, const JudgedReport* judged) {
    nlohmann::ordered_json j;
    j["program"] = "qiro";
    j["version"] = QIRO_VERSION;
    j["seed"] = seed;
    j["settings"] = SettingsJson(s, data);
    const double* bg = data->GetFreqInfo();
    j["background"] = {{"A", bg[0]}, {"C", bg[1]}, {"G", bg[2]}, {"T", bg[3]}};
    j["sequences"] = data->GetNumSeq();
    if (judged) {
        j["control"] = {{"sequences", judged->controls},
                        {"source", judged->generated ? "generated" : "given"},
                        {"file", judged->generated ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s.negFile)},
                        {"held_back_input", judged->heldInput},
                        {"held_back_control", judged->heldControl},
                        {"candidates_judged", judged->judged}};
        // Only inputs too small to hold sequences back say how they were judged.
        if (judged->whole) j["control"]["judged_on"] = "every sequence (alignment E-value)";
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ModelView& m : models) {
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
            else
                mj["counts_are"] = m.settled ? "the sites' letters" : "the sites' letters before the last refit";
            if (m.given) {
                mj["given_by_known_sites"] = true;
                mj["site_rule"] = GivenSiteRule();
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
        list.push_back(mj);
    }
    j["motifs"] = list;
    if (judged && judged->knownTested) j["known_motifs"] = KnownMotifsJson(*judged);
    // Sequence names are not necessarily UTF-8; bytes that are not come out as U+FFFD.
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

namespace {

// Site lists longer than this are cut on the page (runs with the newer
// options only): the -bed and -json files hold them all, and a page for
// 100,000 peaks stays light.
const size_t kSitesOnPage = 500;

// Letter shares of the other strand: columns reversed, letters complemented.
std::vector<std::vector<double>> ReverseComplementShares(const std::vector<std::vector<double>>& p) {
    const size_t w = p.empty() ? 0 : p[0].size();
    std::vector<std::vector<double>> rc(4, std::vector<double>(w));
    for (int b = 0; b < 4; ++b)
        for (size_t j = 0; j < w; ++j) rc[static_cast<size_t>(3 - b)][w - 1 - j] = p[static_cast<size_t>(b)][j];
    return rc;
}

// One row a motif, before the details: what a reader looks for first.
void WriteSummaryTable(std::ostream& out, const std::vector<ModelView>& models, int sequences) {
    out << "<h2 id=\"summary\">Summary</h2>\n<style>table.summary svg.logo{height:48px;width:auto}</style>\n"
        << "<table class=\"summary\"><tr><th>rank</th><th>logo</th><th>reverse complement</th><th>consensus</th>"
        << "<th>width</th><th>E-value</th><th>sites</th><th>best match</th><th>centrality p</th></tr>\n";
    for (const ModelView& m : models) {
        const std::vector<std::vector<double>> p = m.Probabilities();
        const std::vector<std::vector<double>> rc = ReverseComplementShares(p);
        std::vector<std::string> names;
        for (const SiteView& v : m.sites) names.push_back(v.sequence);
        std::sort(names.begin(), names.end());
        const size_t holding = static_cast<size_t>(std::unique(names.begin(), names.end()) - names.begin());
        out << "<tr><td class=\"num\"><a href=\"#" << m.id << "\">" << m.rank << "</a></td><td>"
            << LogoSvg(p, "forward", "Logo of " + m.id + ", forward") << "</td><td>"
            << LogoSvg(rc, "reverse", "Logo of " + m.id + ", reverse complement") << "</td><td class=\"letters\">"
            << "<a href=\"#" << m.id << "\">" << HtmlEscape(m.consensus) << "</a></td><td class=\"num\">" << m.width
            << "</td><td class=\"num\">" << (m.judged ? HtmlEscape(m.evalue) : "-") << "</td><td class=\"num\">"
            << m.nsites << " (" << holding << " of " << sequences << " sequences)</td><td>";
        if (m.named && !m.matches.empty())
            out << HtmlEscape(m.matches[0].id + " " + m.matches[0].name) << " (E = " << Plain(m.matches[0].eValue) << ")";
        else
            out << "-";
        out << "</td><td class=\"num\">" << (m.placed ? Plain(std::pow(10.0, m.positions.log10p)) : "-")
            << "</td></tr>\n";
    }
    out << "</table>\n";
}

}  // namespace

void WriteHtml(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models, const JudgedReport* judged) {
    // Only the newer options change the page: a run without them writes what it always has.
    const bool newer = s.evalue > 0 || !s.dbFiles.empty();
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        << "<title>QIRO motifs: " << HtmlEscape(s.inputFile) << "</title>\n<style>" << kStyle << "</style>\n"
        << "</head>\n<body>\n";
    out << "<h1>QIRO motifs: " << HtmlEscape(s.inputFile) << "</h1>\n";
    out << "<p>QIRO " << QIRO_VERSION << ", random seed " << seed << ", " << data->GetNumSeq()
        << " sequences, motif width " << Widths(models, data->GetK()) << ", " << models.size() << " reported model"
        << (models.size() == 1 ? "" : "s") << ".</p>\n";
    if (newer && !models.empty()) WriteSummaryTable(out, models, data->GetNumSeq());

    out << "<h2 id=\"settings\">Settings</h2>\n<dl class=\"settings\">\n";
    const nlohmann::ordered_json settings = SettingsJson(s, data);
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        std::string value = it->is_string()            ? it->get<std::string>()
                            : it->is_null()            ? "none"
                            : it->is_number_float()    ? Plain(it->get<double>())
                                                       : it->dump();
        out << "<div><dt>" << HtmlEscape(it.key()) << "</dt><dd>" << HtmlEscape(value) << "</dd></div>\n";
    }
    const double* bg = data->GetFreqInfo();
    out << "<div><dt>background letters</dt><dd>A " << Plain(bg[0]) << ", C " << Plain(bg[1]) << ", G "
        << Plain(bg[2]) << ", T " << Plain(bg[3]) << "</dd></div>\n</dl>\n";

    for (const ModelView& m : models) {
        out << "<section class=\"motif\" id=\"" << m.id << "\" data-consensus=\"" << HtmlEscape(m.consensus)
            << "\">\n<h2>Motif " << m.rank << ": <span class=\"letters\">" << HtmlEscape(m.consensus)
            << "</span></h2>\n";
        out << "<table class=\"scores\"><tr><th>mismatch score</th><td class=\"num\">" << Plain(m.mismatch)
            << "</td></tr><tr><th>information content</th><td class=\"num\">" << Plain(m.ic)
            << "</td></tr><tr><th>complexity</th><td class=\"num\">" << Plain(m.complexity)
            << "</td></tr><tr><th>MAP score</th><td class=\"num\">" << (m.maps != 0 ? Plain(m.maps) : "none")
            << "</td></tr><tr><th>sites</th><td class=\"num\">" << m.nsites << "</td></tr>";
        if (m.judged)
            out << "<tr><th>E-value</th><td class=\"num\">" << HtmlEscape(m.evalue) << "</td></tr><tr><th>site threshold (bits)</th><td class=\"num\">"
                << Plain(m.threshold) << "</td></tr>";
        if (m.judged && m.given)
            out << "<tr><th>given by the known sites</th><td>reported whatever its E-value</td></tr>"
                << "<tr><th>site rule</th><td>" << GivenSiteRule() << "</td></tr>"
                << "<tr><th>estimated recall</th><td class=\"num\">" << Plain(m.estimate.recall * 100) << "% of "
                << m.estimate.known << " known sites</td></tr><tr><th>estimated false calls</th><td class=\"num\">"
                << Plain(m.estimate.falseShare * 100) << "%</td></tr>";
        out << "</table>\n";

        const std::vector<std::vector<double>> p = m.Probabilities();
        const std::vector<std::vector<double>> rc = ReverseComplementShares(p);
        out << "<div class=\"logos\">\n<figure>" << LogoSvg(p, "forward", "Logo of " + m.id + ", forward")
            << "<figcaption>forward</figcaption></figure>\n<figure>"
            << LogoSvg(rc, "reverse", "Logo of " + m.id + ", reverse complement")
            << "<figcaption>reverse complement</figcaption></figure>\n</div>\n";
        out << MatchesHtml(m) << PositionsHtml(m);

        out << "<h3>Position frequency matrix</h3>\n<table class=\"matrix\"><tr><th></th>";
        for (int j = 1; j <= m.width; ++j) out << "<th>" << j << "</th>";
        out << "</tr>\n";
        for (int b = 0; b < 4; ++b) {
            out << "<tr><th class=\"base\">" << kLetters[b] << "</th>";
            for (int j = 0; j < m.width; ++j) out << "<td class=\"num\">" << Plain(m.counts[b][j]) << "</td>";
            out << "</tr>\n";
        }
        out << "</table>\n";

        out << "<h3>Sites</h3>\n<table class=\"sites\"><tr><th>sequence</th><th>strand</th><th>start</th>"
            << "<th>end</th><th>letters (forward)</th><th>mismatch</th></tr>\n";
        const size_t shown = newer ? std::min(m.sites.size(), kSitesOnPage) : m.sites.size();
        for (size_t i = 0; i < shown; ++i) {
            const SiteView& v = m.sites[i];
            out << "<tr><td>" << HtmlEscape(v.sequence) << "</td><td>" << (v.forward ? "+" : "-")
                << "</td><td class=\"num\">" << v.start + 1 << "</td><td class=\"num\">" << v.start + m.width
                << "</td><td class=\"letters\">" << HtmlEscape(v.forwardLetters) << "</td><td class=\"num\">"
                << Plain(v.score) << "</td></tr>\n";
        }
        out << "</table>\n";
        if (shown < m.sites.size())
            out << "<p class=\"more\">The first " << shown << " of " << m.sites.size()
                << " sites; all of them are in the -bed and -json files.</p>\n";
        out << "</section>\n";
    }
    if (judged && judged->knownTested) WriteKnownHtml(out, *judged);
    out << "</body>\n</html>\n";
}

void WriteOutputs(const RunSettings& s, uint32_t seed, Midlayer* data, const std::vector<Individual>& population,
                  const JudgedReport* judged, const std::vector<ModelView>* views) {
    const OutputFiles& f = s.outputs;
    if (f.meme.empty() && f.jaspar.empty() && f.bed.empty() && f.json.empty() && f.html.empty()) return;
    const std::vector<ModelView> models = views ? *views : ReportedModels(data, population, judged);
    // Each file is written beside its name and renamed into place when complete.
    auto write = [&](const std::string& name, const char* what, auto writer) {
        if (name.empty()) return;
        WholeFile file;
        bool ok = file.Open(name);
        if (ok) writer(file.stream());
        if (ok) ok = file.Commit();
        if (!ok) std::cout << "Error: Cannot write the " << what << " file named " << name << std::endl;
    };
    write(f.meme, "MEME", [&](std::ostream& o) { WriteMeme(o, models, data->GetFreqInfo(), data->GetDoubleStrand()); });
    write(f.jaspar, "JASPAR", [&](std::ostream& o) { WriteJaspar(o, models); });
    write(f.bed, "BED", [&](std::ostream& o) { WriteBed(o, models); });
    write(f.json, "JSON", [&](std::ostream& o) { WriteJson(o, s, seed, data, models, judged); });
    write(f.html, "HTML", [&](std::ostream& o) { WriteHtml(o, s, seed, data, models, judged); });
}

// ---------------------------------------------------------------- progress

ProgressLine::ProgressLine() : enabled_(isatty(STDERR_FILENO) == 1) {}

void ProgressLine::Update(int generation, int budget, double best, int stall) {
    if (!enabled_) return;
    char text[160];
    int n = std::snprintf(text, sizeof text, "generation %d/%d  best mismatch %g  stall %d", generation, budget, best,
                          stall);
    if (n < 0) return;
    std::string line = "\r" + std::string(text);
    if (static_cast<size_t>(n) < shown_) line += std::string(shown_ - static_cast<size_t>(n), ' ');
    shown_ = static_cast<size_t>(n);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Finish() {
    if (!enabled_ || shown_ == 0) return;
    std::string line = "\r" + std::string(shown_, ' ') + "\r";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = 0;
}
