#include "report/HtmlFormat.h"

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "core/Settings.h"
#include "judge/GivenMotif.h"
#include "report/AnnotationViews.h"
#include "report/HtmlParts.h"
#include "report/KnownReport.h"
#include "report/SettingsJson.h"

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


const char kLetters[] = "ACGT";

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

// The GC content of the input and of its genomic controls, bin by bin.
void WriteGcHistograms(std::ostream& out, const GcHistograms& gc) {
    out << "<h2 id=\"gc\">GC content of input and controls</h2>\n<p>Controls drawn from the genome, matched to the "
        << "input's GC content in bins of " << Plain(100 * kGcBinWidth) << "%; the shares per bin differ by at most "
        << Plain(100 * gc.LargestDifference()) << "%.</p>\n<table class=\"sites\"><tr><th>GC</th><th>input</th>"
        << "<th>controls</th></tr>\n";
    for (size_t b = 0; b < gc.input.size(); ++b) {
        if (gc.input[b] == 0 && gc.control[b] == 0) continue;
        out << "<tr><td>" << Plain(100 * kGcBinWidth * static_cast<double>(b)) << "-"
            << Plain(100 * kGcBinWidth * static_cast<double>(b + 1)) << "%</td><td class=\"num\">" << gc.input[b]
            << "</td><td class=\"num\">" << gc.control[b] << "</td></tr>\n";
    }
    out << "</table>\n";
}

}  // namespace

void WriteHtml(std::ostream& out, const RunView& run, const std::vector<ModelView>& models) {
    const RunSettings& s = *run.settings;
    const JudgedReport* judged = run.judged;
    const uint32_t seed = run.seed;
    // Only the newer options change the page: a run without them writes what it always has.
    const bool newer = s.evalue > 0 || !s.dbFiles.empty();
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        << "<title>QIRO motifs: " << HtmlEscape(s.inputFile) << "</title>\n<style>" << kStyle << "</style>\n"
        << "</head>\n<body>\n";
    out << "<h1>QIRO motifs: " << HtmlEscape(s.inputFile) << "</h1>\n";
    out << "<p>QIRO " << QIRO_VERSION << ", random seed " << seed << ", " << run.sequences
        << " sequences, motif width " << Widths(models, run.width) << ", " << models.size() << " reported model"
        << (models.size() == 1 ? "" : "s") << ".</p>\n";
    if (newer && !models.empty()) WriteSummaryTable(out, models, run.sequences);

    out << "<h2 id=\"settings\">Settings</h2>\n<dl class=\"settings\">\n";
    const nlohmann::ordered_json settings = SettingsJson(s, run.width);
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        std::string value = it->is_string()            ? it->get<std::string>()
                            : it->is_null()            ? "none"
                            : it->is_number_float()    ? Plain(it->get<double>())
                                                       : it->dump();
        out << "<div><dt>" << HtmlEscape(it.key()) << "</dt><dd>" << HtmlEscape(value) << "</dd></div>\n";
    }
    const double* bg = run.background;
    out << "<div><dt>background letters</dt><dd>A " << Plain(bg[0]) << ", C " << Plain(bg[1]) << ", G "
        << Plain(bg[2]) << ", T " << Plain(bg[3]) << "</dd></div>\n</dl>\n";

    if (judged && !judged->gc.Empty()) WriteGcHistograms(out, judged->gc);

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
            out << "<tr><th>E-value</th><td class=\"num\">" << HtmlEscape(m.evalue) << "</td></tr><tr><th>"
                << (m.refined ? "posterior cut on the evidence (bits)" : "site threshold (bits)")
                << "</th><td class=\"num\">" << Plain(m.threshold) << "</td></tr>";
        if (m.judged && m.modelCalls)
            out << "<tr><th>site calls</th><td>" << HtmlEscape(SiteModelRule(m.siteFit).substr(0, SiteModelRule(m.siteFit).find(';'))) << " ("
                << (m.siteFit.automatic ? "chosen from the input" : "by -sitemodel") << "; estimated share of "
                << (m.siteFit.rule == SiteRule::kZoops ? "sequences" : "windows") << " with a site "
                << Plain(m.refined ? m.em.share : m.siteFit.share)
                << (m.refined ? "; refined by soft EM against the Markov background" : "") << ")</td></tr>";
        if (m.judged && m.given)
            out << "<tr><th>given by the known sites</th><td>reported whatever its E-value</td></tr>"
                << "<tr><th>site rule</th><td>"
                << (m.modelCalls ? std::string("the site calls above, with the matrix as the known sites give it")
                                 : GivenSiteRule())
                << "</td></tr>"
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
