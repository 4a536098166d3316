#include "report/KnownReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/Console.h"
#include "report/HtmlParts.h"

namespace {

std::string Share(int hits, int of) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", of > 0 ? 100.0 * hits / of : 0.0);
    return text;
}

std::string Bits(double t) {
    if (!std::isfinite(t)) return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", t);
    return text;
}

size_t Passing(const JudgedReport& r) {
    size_t n = 0;
    while (n < r.known.size() && r.known[n].log10e <= std::log10(r.limit)) ++n;
    return n;
}

}  // namespace

void WriteKnownSection(std::ostream& out, const JudgedReport& r) {
    const size_t pass = Passing(r);
    out << "Known motifs\n\n";
    out << r.known.size() << " database motifs tested; " << pass << " with an E-value at most " << r.limit
        << ". Sequences with a site: those with a window of background p-value at most "
        << kKnownWindowP << ", counted over every input and control sequence.\n\n";
    if (pass == 0) return;
    out << "rank\tid\tname\tE-value\tinput sequences with a site\tcontrol sequences with a site\tthreshold (bits)\n";
    for (size_t i = 0; i < pass; ++i) {
        const KnownMotifResult& k = r.known[i];
        out << i + 1 << "\t" << k.id << "\t" << (k.name.empty() ? "-" : k.name) << "\t" << FormatEvalue(k.log10e)
            << "\t" << k.a << " of " << k.n1 << " (" << Share(k.a, k.n1) << ")\t" << k.b << " of " << k.n2 << " ("
            << Share(k.b, k.n2) << ")\t" << Bits(k.threshold) << "\n";
    }
    out << "\n";
}

nlohmann::ordered_json KnownMotifsJson(const JudgedReport& r) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const KnownMotifResult& k : r.known) {
        nlohmann::ordered_json j;
        j["id"] = k.id;
        j["name"] = k.name;
        // Values below the smallest double are 0 here; their log10 stays exact.
        j["pvalue"] = std::pow(10.0, k.log10p);
        j["log10_pvalue"] = k.log10p;
        j["evalue"] = std::pow(10.0, k.log10e);
        j["log10_evalue"] = k.log10e;
        j["input_hits"] = k.a;
        j["input_sequences"] = k.n1;
        j["control_hits"] = k.b;
        j["control_sequences"] = k.n2;
        j["threshold"] = std::isfinite(k.threshold) ? nlohmann::ordered_json(k.threshold) : nlohmann::ordered_json(nullptr);
        list.push_back(j);
    }
    return list;
}

void WriteKnownHtml(std::ostream& out, const JudgedReport& r) {
    const size_t pass = Passing(r);
    out << "<section id=\"known-motifs\">\n<h2>Known motifs</h2>\n<p>" << r.known.size()
        << " database motifs tested; " << pass << " with an E-value at most " << Plain(r.limit)
        << ". Sequences with a site: those with a window of background p-value at most " << Plain(kKnownWindowP)
        << ", counted over every input and control sequence.</p>\n";
    if (pass > 0) {
        out << "<table class=\"known\"><tr><th>rank</th><th>logo</th><th>id</th><th>name</th><th>E-value</th>"
            << "<th>input with a site</th><th>controls with a site</th><th>threshold (bits)</th></tr>\n";
        const size_t shown = std::min(pass, static_cast<size_t>(kKnownHtmlRows));
        for (size_t i = 0; i < shown; ++i) {
            const KnownMotifResult& k = r.known[i];
            std::vector<std::vector<double>> share(4);
            for (const std::array<double, 4>& col : k.columns)
                for (size_t b = 0; b < 4; ++b) share[b].push_back(col[b]);
            out << "<tr><td class=\"num\">" << i + 1 << "</td><td>"
                << LogoSvg(share, "forward", "Logo of " + k.id) << "</td><td>" << HtmlEscape(k.id) << "</td><td>"
                << HtmlEscape(k.name) << "</td><td class=\"num\">" << HtmlEscape(FormatEvalue(k.log10e))
                << "</td><td class=\"num\">" << k.a << " of " << k.n1 << " (" << Share(k.a, k.n1)
                << ")</td><td class=\"num\">" << k.b << " of " << k.n2 << " (" << Share(k.b, k.n2)
                << ")</td><td class=\"num\">" << Bits(k.threshold) << "</td></tr>\n";
        }
        out << "</table>\n";
        if (shown < pass)
            out << "<p class=\"more\">The first " << shown << " of " << pass
                << " motifs that pass; all of them are in the result and -json files.</p>\n";
    }
    out << "</section>\n";
}

void PrintKnownTable(const JudgedReport& r) {
    std::ostream& say = Say();
    const size_t pass = Passing(r);
    say << "\nKnown motifs: " << r.known.size() << " tested; " << pass << " with an E-value at most " << r.limit;
    if (pass == 0) {
        // The nearest miss says how far from the limit the database stands.
        if (!r.known.empty())
            say << " (the best, " << r.known[0].id << (r.known[0].name.empty() ? "" : " " + r.known[0].name) << ", has "
                << FormatEvalue(r.known[0].log10e) << ")";
        say << "." << std::endl;
        return;
    }
    say << ". The best:" << std::endl;
    char line[2048];
    std::snprintf(line, sizeof line, "%-5s %-12s %-20s %-12s %-18s %-18s\n", "rank", "id", "name", "E-value",
                  "input with a site", "controls with one");
    say << line;
    const size_t shown = std::min(pass, static_cast<size_t>(kKnownShown));
    for (size_t i = 0; i < shown; ++i) {
        const KnownMotifResult& k = r.known[i];
        const std::string in = std::to_string(k.a) + " (" + Share(k.a, k.n1) + ")";
        const std::string ctl = std::to_string(k.b) + " (" + Share(k.b, k.n2) + ")";
        std::snprintf(line, sizeof line, "%-5zu %-12s %-20s %-12s %-18s %-18s\n", i + 1, k.id.c_str(), k.name.c_str(),
                      FormatEvalue(k.log10e).c_str(), in.c_str(), ctl.c_str());
        say << line;
    }
    say.flush();
}
