#include "report/AnnotationViews.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "report/HtmlParts.h"

namespace {

// The page's style sheet is the same for every run, so what only these
// tables need is said in place.
const char kNoWrap[] = "style=\"white-space:nowrap\"";

// The columns first .. first + n - 1 of a motif as letter shares share[b][j];
// columns outside the motif are empty (drawn as nothing).
std::vector<std::vector<double>> Shares(const MotifColumns& cols, int first, int n) {
    std::vector<std::vector<double>> share(4, std::vector<double>(static_cast<size_t>(n), 0.0));
    for (int j = 0; j < n; ++j) {
        const int c = first + j;
        if (c < 0 || c >= static_cast<int>(cols.size())) continue;
        for (int b = 0; b < 4; ++b) share[b][j] = cols[c][b];
    }
    return share;
}

}  // namespace

std::string BestMatchLine(const ModelView& m) {
    std::ostringstream o;
    if (m.matches.empty()) {
        o << "Best match: none with E at most " << kDbMaxEvalue;
        return o.str();
    }
    const MotifMatch& best = m.matches.front();
    o << "Best match: " << best.id << " " << (best.name.empty() ? "-" : best.name) << " E=" << best.eValue << " ("
      << (best.reverse ? "reverse" : "forward") << ", offset " << best.offset << ")";
    return o.str();
}

void AddAnnotationJson(nlohmann::ordered_json& mj, const ModelView& m) {
    if (m.named) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const MotifMatch& match : m.matches)
            list.push_back({{"id", match.id},
                            {"name", match.name},
                            {"evalue", match.eValue},
                            {"pvalue", match.pValue},
                            {"orientation", match.reverse ? "reverse" : "forward"},
                            {"offset", match.offset},
                            {"overlap", match.overlap},
                            {"score", match.score}});
        mj["matches"] = list;
    }
    if (m.placed) {
        const SitePositions& p = m.positions;
        mj["site_positions"] = {{"sites", p.sites},
                                {"bin_start", p.from},
                                {"bin_width", p.binWidth},
                                {"counts", p.counts},
                                {"central_sites", p.central},
                                {"central_share_expected", p.expected},
                                {"centrality_pvalue", std::pow(10.0, p.log10p)},
                                {"log10_centrality_pvalue", p.log10p}};
    }
}

std::string MatchesHtml(const ModelView& m) {
    if (!m.named) return "";
    std::ostringstream o;
    o << "<h3>Best database matches</h3>\n";
    if (m.matches.empty()) {
        o << "<p class=\"matches\">No database motif matches with E-value at most " << Plain(kDbMaxEvalue) << ".</p>\n";
        return o.str();
    }
    o << "<table class=\"matches\"><tr><th>database motif</th><th>name</th><th>E-value</th><th>p-value</th>"
      << "<th>strand</th><th>offset</th><th>aligned logos (model above, database motif below)</th></tr>\n";
    const std::vector<std::vector<double>> p = m.Probabilities();
    for (size_t i = 0; i < m.matches.size(); ++i) {
        const MotifMatch& match = m.matches[i];
        const MotifColumns& db = m.matchColumns[i];
        // One column axis for both: query column j faces database column
        // j - offset.
        const int lo = std::min(0, match.offset);
        const int hi = std::max(m.width, match.offset + static_cast<int>(db.size()));
        const int n = hi - lo;
        std::vector<std::vector<double>> model(4, std::vector<double>(static_cast<size_t>(n), 0.0));
        std::vector<int> modelLabels(static_cast<size_t>(n), 0), dbLabels(static_cast<size_t>(n), 0);
        for (int j = 0; j < n; ++j) {
            const int q = lo + j;
            if (q >= 0 && q < m.width) {
                for (int b = 0; b < 4; ++b) model[b][j] = p[b][q];
                modelLabels[j] = q + 1;
            }
            const int d = q - match.offset;
            if (d >= 0 && d < static_cast<int>(db.size())) dbLabels[j] = d + 1;
        }
        const std::string what = m.id + " and " + match.id;
        o << "<tr><td>" << HtmlEscape(match.id) << "</td><td>" << HtmlEscape(match.name) << "</td><td class=\"num\" "
          << kNoWrap << ">" << Plain(match.eValue) << "</td><td class=\"num\" " << kNoWrap << ">"
          << Plain(match.pValue) << "</td><td>"
          << (match.reverse ? "reverse" : "forward") << "</td><td class=\"num\">" << match.offset
          << "</td><td class=\"aligned\">" << LogoSvg(model, "model", "Logo of " + what + ": the model", modelLabels)
          << "<br>"
          << LogoSvg(Shares(db, lo - match.offset, n), match.reverse ? "reverse" : "forward",
                     "Logo of " + what + ": the database motif, aligned", dbLabels)
          << "</td></tr>\n";
    }
    o << "</table>\n";
    return o.str();
}

std::string PositionsHtml(const ModelView& m) {
    if (!m.placed) return "";
    const SitePositions& p = m.positions;
    std::ostringstream o;
    o << "<h3>Site positions</h3>\n";
    int most = 1;
    for (int c : p.counts) most = std::max(most, c);
    const double barW = 18.0, left = 44.0, top = 10.0, plot = 100.0;
    const double totalW = left + barW * p.counts.size() + 10.0, totalH = top + plot + 34.0;
    o << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"positions\" style=\"display:block\" width=\"" << totalW << "\" height=\""
      << totalH << "\" viewBox=\"0 0 " << totalW << " " << totalH << "\" role=\"img\" aria-label=\"Site centres of "
      << HtmlEscape(m.id) << " around the sequence centre\">\n<title>Site centres of " << HtmlEscape(m.id)
      << " around the sequence centre</title>\n";
    o << "<g class=\"axis\" stroke=\"#444\" fill=\"none\"><line x1=\"" << left - 4 << "\" y1=\"" << top
      << "\" x2=\"" << left - 4 << "\" y2=\"" << top + plot << "\"/><line x1=\"" << left - 4 << "\" y1=\""
      << top + plot << "\" x2=\"" << totalW - 10 << "\" y2=\"" << top + plot << "\"/></g>\n";
    o << "<g class=\"labels\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#444\"><text x=\"" << left - 8
      << "\" y=\"" << top + 8 << "\" text-anchor=\"end\">" << most << "</text><text x=\"" << left - 8 << "\" y=\""
      << top + plot << "\" text-anchor=\"end\">0</text>";
    const double ends[3] = {p.from, 0.0, p.from + p.binWidth * p.counts.size()};
    for (int e = 0; e < 3; ++e) {
        const double x = left + (ends[e] - p.from) / p.binWidth * barW;
        o << "<text x=\"" << x << "\" y=\"" << top + plot + 16 << "\" text-anchor=\"middle\">" << Plain(ends[e])
          << "</text>";
    }
    o << "<text x=\"" << left + barW * p.counts.size() / 2 << "\" y=\"" << top + plot + 30
      << "\" text-anchor=\"middle\">site centre, letters from the sequence centre</text></g>\n<g class=\"bars\" "
      << "fill=\"#4a7ab5\">";
    for (size_t i = 0; i < p.counts.size(); ++i) {
        const double h = plot * p.counts[i] / most;
        o << "<rect data-count=\"" << p.counts[i] << "\" x=\"" << left + barW * i + 1 << "\" y=\"" << top + plot - h
          << "\" width=\"" << barW - 2 << "\" height=\"" << h << "\"/>";
    }
    o << "</g>\n</svg>\n";
    o << "<p class=\"centrality\">" << p.central << " of " << p.sites
      << " sites have their centre in the central fifth of the positions possible (expected share "
      << Plain(p.expected) << "); centrality p-value " << Plain(std::pow(10.0, p.log10p));
    if (std::pow(10.0, p.log10p) == 0.0) o << " (log10 " << Plain(p.log10p) << ")";
    o << ".</p>\n";
    return o.str();
}
