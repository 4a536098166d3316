// The JSON and HTML outputs of a run, the HTML page also as a headless browser draws it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "cli_util.h"
#include "core/Constants.h"
#include "output_fixture.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;
using nlohmann::json;
using outtest::ForcedSet;
using outtest::HaveCommand;
using outtest::ParseReport;
using outtest::ReportModel;
using outtest::ReportSite;
using outtest::Revcomp;

// ------------------------------------------------------------- JSON

TEST_F(ForcedSet, JsonHoldsSettingsSeedVersionScoresMatricesAndSites) {
    Result r = Run("-d F -o r.out -json r.json");
    ASSERT_EQ(r.status, 0) << r.out;
    const json j = json::parse(dir.read("r.json"));
    EXPECT_EQ(j["program"], "qiro");
    EXPECT_EQ(j["version"], QIRO_VERSION);
    EXPECT_EQ(j["seed"], 1);
    const json& s = j["settings"];
    EXPECT_EQ(s["input"], "in.fa");
    EXPECT_EQ(s["background"], "bg.freq");
    EXPECT_TRUE(s["prior_knowledge"].is_null());
    EXPECT_EQ(s["result_file"], "r.out");
    EXPECT_EQ(s["width"], 5);
    EXPECT_EQ(s["both_strands"], false);
    EXPECT_EQ(s["generations"], 10);
    EXPECT_EQ(s["population"], 10);
    EXPECT_EQ(s["replacement_rate"], 0.8);
    EXPECT_EQ(s["post_processing"], false);
    EXPECT_EQ(j["background"]["A"], 0.3);
    EXPECT_EQ(j["background"]["C"], 0.2);
    EXPECT_EQ(j["sequences"], 4);

    const std::vector<ReportModel> report = ParseReport(dir.read("r.out"));
    ASSERT_EQ(j["motifs"].size(), 5u);
    ASSERT_EQ(report.size(), 5u);
    const std::vector<std::string> seqs = {"ACGTA", "ACGTT", "ACCTA", "TCGTA"};
    for (int m = 0; m < 5; ++m) {
        const json& motif = j["motifs"][m];
        EXPECT_EQ(motif["rank"], m + 1);
        EXPECT_EQ(motif["id"], "QIRO-" + std::to_string(m + 1));
        EXPECT_EQ(motif["consensus"], "ACGTA");
        EXPECT_EQ(motif["width"], 5);
        EXPECT_EQ(motif["nsites"], 4);
        EXPECT_NEAR(motif["mismatch"].get<double>(), report[m].mismatch, 1e-5 * std::fabs(report[m].mismatch));
        EXPECT_TRUE(motif["map_score"].is_null());  // no post-processing
        EXPECT_EQ(motif["counts"]["A"], json({3, 0, 0, 0, 3}));
        EXPECT_EQ(motif["counts"]["C"], json({0, 4, 1, 0, 0}));
        EXPECT_EQ(motif["counts"]["G"], json({0, 0, 3, 0, 0}));
        EXPECT_EQ(motif["counts"]["T"], json({1, 0, 0, 4, 1}));
        EXPECT_EQ(motif["probabilities"]["A"], json({0.75, 0, 0, 0, 0.75}));
        EXPECT_EQ(motif["probabilities"]["T"], json({0.25, 0, 0, 1, 0.25}));
        ASSERT_EQ(motif["sites"].size(), 4u);
        for (int i = 0; i < 4; ++i) {
            const json& site = motif["sites"][i];
            EXPECT_EQ(site["sequence"], "seq" + std::to_string(i + 1));
            EXPECT_EQ(site["strand"], "+");
            EXPECT_EQ(site["start"], 1);
            EXPECT_EQ(site["end"], 5);
            EXPECT_EQ(site["letters"], seqs[i]);
            EXPECT_EQ(site["forward_letters"], seqs[i]);
            EXPECT_NEAR(site["score"].get<double>(), std::stod(report[m].sites[i].score), 1e-5);
        }
    }
}

TEST_F(ForcedSet, JsonGivesReverseSitesBothWaysAndTheMapScoreAfterPostProcessing) {
    // Three sequences of one window each; without post-processing every model
    // holds all six strands, with it the models are refined and MAP-scored.
    dir.write("in.fa", ">s1\nAACGT\n>s2\nCCGGA\n>s3\nAACGA\n");
    const std::map<std::string, std::string> seqs = {{"s1", "AACGT"}, {"s2", "CCGGA"}, {"s3", "AACGA"}};
    for (const bool post : {false, true}) {
        Result r = dir.qiro(std::string("-i in.fa -freq bg.freq -k 5 -p 10 -g 10 -seed 4 -o r.out -json r.json") +
                            (post ? "" : " -post F"));
        ASSERT_EQ(r.status, 0) << r.out;
        const json j = json::parse(dir.read("r.json"));
        const std::vector<ReportModel> report = ParseReport(dir.read("r.out"));
        ASSERT_EQ(j["motifs"].size(), report.size());
        ASSERT_FALSE(report.empty());
        for (size_t m = 0; m < report.size(); ++m) {
            const json& motif = j["motifs"][m];
            if (post) {
                ASSERT_FALSE(report[m].mapScore.empty());
                EXPECT_NEAR(motif["map_score"].get<double>(), std::stod(report[m].mapScore),
                            1e-5 * std::fabs(std::stod(report[m].mapScore)));
            } else {
                EXPECT_TRUE(motif["map_score"].is_null());
                ASSERT_EQ(motif["sites"].size(), 6u);
            }
            ASSERT_EQ(motif["sites"].size(), report[m].sites.size());
            for (size_t i = 0; i < report[m].sites.size(); ++i) {
                const json& site = motif["sites"][i];
                const ReportSite& rs = report[m].sites[i];
                EXPECT_EQ(site["sequence"], rs.name);
                EXPECT_EQ(site["strand"], rs.forward ? "+" : "-");
                EXPECT_EQ(site["start"], rs.start);
                EXPECT_EQ(site["end"], rs.end);
                EXPECT_EQ(site["forward_letters"], seqs.at(rs.name));
                // The whole sequence is the site: on the reverse strand it reads backwards.
                EXPECT_EQ(site["letters"], rs.forward ? seqs.at(rs.name) : Revcomp(seqs.at(rs.name)));
                if (!post) {
                    EXPECT_EQ(rs.forward, i < 3) << i;
                }
            }
        }
    }
}

// ------------------------------------------------------------- HTML

// The letters of one logo, bottom to top per column: the glyphs in document order.
std::vector<std::string> LogoColumns(const std::string& svg) {
    std::vector<std::string> columns;
    std::regex column("<g class=\"column\" data-column=\"(\\d+)\">(.*?)</g>\n");
    std::regex glyph("data-letter=\"([ACGT])\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), column); it != std::sregex_iterator(); ++it) {
        std::string body = (*it)[2].str(), letters;
        for (auto g = std::sregex_iterator(body.begin(), body.end(), glyph); g != std::sregex_iterator(); ++g)
            letters += (*g)[1].str();
        columns.push_back(letters);
    }
    return columns;
}

TEST_F(ForcedSet, HtmlPageHoldsSettingsLogosMatrixAndSites) {
    Result r = Run("-d F -o r.out -html r.html");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string html = dir.read("r.html");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(html.find("</html>\n"), std::string::npos);
    // Self-contained: nothing is loaded from elsewhere.
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("<link"), std::string::npos);
    EXPECT_NE(html.find("<div><dt>input</dt><dd>in.fa</dd></div>"), std::string::npos);
    EXPECT_NE(html.find("<div><dt>both_strands</dt><dd>false</dd></div>"), std::string::npos);
    EXPECT_NE(html.find("<div><dt>replacement_rate</dt><dd>0.8</dd></div>"), std::string::npos);
    EXPECT_NE(html.find("<div><dt>background letters</dt><dd>A 0.3, C 0.2, G 0.2, T 0.3</dd></div>"),
              std::string::npos);
    for (int m = 1; m <= 5; ++m) {
        const std::string id = "QIRO-" + std::to_string(m);
        size_t at = html.find("<section class=\"motif\" id=\"" + id + "\" data-consensus=\"ACGTA\">");
        ASSERT_NE(at, std::string::npos) << id;
        const std::string section = html.substr(at, html.find("</section>", at) - at);
        EXPECT_NE(section.find("<tr><th class=\"base\">A</th><td class=\"num\">3</td><td class=\"num\">0</td>"
                               "<td class=\"num\">0</td><td class=\"num\">0</td><td class=\"num\">3</td></tr>"),
                  std::string::npos);
        EXPECT_NE(section.find("<tr><td>seq3</td><td>+</td><td class=\"num\">1</td><td class=\"num\">5</td>"
                               "<td class=\"letters\">ACCTA</td>"),
                  std::string::npos);
        // Forward logo: per column the letters present, the largest share on top.
        size_t fwd = section.find("data-orientation=\"forward\"");
        size_t rev = section.find("data-orientation=\"reverse\"");
        ASSERT_NE(fwd, std::string::npos);
        ASSERT_NE(rev, std::string::npos);
        EXPECT_EQ(LogoColumns(section.substr(fwd, rev - fwd)),
                  (std::vector<std::string>{"TA", "C", "CG", "T", "TA"}));
        // The reverse complement: columns reversed, letters complemented.
        EXPECT_EQ(LogoColumns(section.substr(rev)), (std::vector<std::string>{"AT", "A", "GC", "G", "AT"}));
    }
}

TEST_F(ForcedSet, HtmlEscapesSequenceNames) {
    dir.write("in.fa", ">a<b>&c\nACGTA\n>seq2\nACGTT\n>seq3\nACCTA\n>seq4\nTCGTA\n");
    Result r = Run("-d F -o r.out -html r.html");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string html = dir.read("r.html");
    EXPECT_NE(html.find("<td>a&lt;b&gt;&amp;c</td>"), std::string::npos);
    EXPECT_EQ(html.find("a<b>"), std::string::npos);
}

// Runs the page in headless Chromium with a checking script added at its end,
// and returns what the script found: script errors, resources fetched, and per
// logo the tallest letter of each column, left to right, as drawn.
json CheckInBrowser(const WorkDir& dir, const std::string& page, Result& run) {
    std::string html = dir.read(page);
    const std::string probe = R"(<script>
(function () {
  var out = {errors: [], resources: [], logos: []};
  window.addEventListener('error', function (e) { out.errors.push(String(e.message)); });
  document.querySelectorAll('section.motif svg.logo').forEach(function (svg) {
    var cols = [];
    svg.querySelectorAll('g.column').forEach(function (col) {
      var best = '', height = 0;
      col.querySelectorAll('g.glyph').forEach(function (g) {
        var r = g.getBoundingClientRect();
        if (r.height > height) { height = r.height; best = g.getAttribute('data-letter'); }
      });
      cols.push({x: col.getBoundingClientRect().left, letter: best, height: height});
    });
    var labels = [];
    svg.querySelectorAll('g.labels text').forEach(function (t) {
      if (/^[0-9]+$/.test(t.textContent) && t.getAttribute('text-anchor') === 'middle' && !t.getAttribute('transform'))
        labels.push({x: t.getBoundingClientRect().left + t.getBoundingClientRect().width / 2, n: +t.textContent});
    });
    cols.sort(function (a, b) { return a.x - b.x; });
    out.logos.push({section: svg.closest('section').id, orientation: svg.getAttribute('data-orientation'),
                    letters: cols.map(function (c) { return c.letter; }).join(''),
                    labels: labels.map(function (l) { return [Math.round(l.x), l.n]; }),
                    inMatches: svg.closest('table.matches') !== null,
                    lowest: Math.min.apply(null, cols.map(function (c) { return c.height; }))});
  });
  out.bars = {};
  document.querySelectorAll('svg.positions').forEach(function (svg) {
    out.bars[svg.closest('section').id] = Array.prototype.map.call(svg.querySelectorAll('rect'), function (r) {
      return [+r.getAttribute('data-count'), r.getBoundingClientRect().height];
    });
  });
  out.summary = Array.prototype.map.call(document.querySelectorAll('table.summary tr'), function (tr) {
    var logo = tr.querySelector('svg.logo'), link = tr.querySelector('a');
    return [link ? link.getAttribute('href') : '', logo ? logo.getBoundingClientRect().height : 0];
  });
  out.resources = performance.getEntriesByType('resource').map(function (r) { return r.name; });
  var pre = document.createElement('pre');
  pre.id = 'qiro-check';
  pre.textContent = 'CHECK' + JSON.stringify(out) + 'END';
  document.body.appendChild(pre);
})();
</script>
)";
    html.insert(html.rfind("</body>"), probe);
    dir.write("check.html", html);
    const std::string script = std::string(QIRO_SOURCE_DIR) + "/tests/html_screenshot.sh";
    run = dir.run(script, "--dom check.html");
    // The script's own text holds 'CHECK' too, but never followed by a brace.
    size_t a = run.out.find("CHECK{"), b = run.out.find("}END", a);
    if (a == std::string::npos || b == std::string::npos) return json();
    std::string text = run.out.substr(a + 5, b + 1 - a - 5);
    for (auto [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, from.size(), to);
    }
    return json::parse(text, nullptr, false);
}

bool PngSize(const std::string& png, unsigned& width, unsigned& height) {
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) return false;
    auto be = [&](size_t at) {
        return (unsigned(uint8_t(png[at])) << 24) | (unsigned(uint8_t(png[at + 1])) << 16) |
               (unsigned(uint8_t(png[at + 2])) << 8) | unsigned(uint8_t(png[at + 3]));
    };
    width = be(16);
    height = be(20);
    return true;
}

TEST(CliOutputsBrowser, LogoOfAPlantedMotifShowsItsLettersInAHeadlessBrowser) {
    if (!HaveCommand("chromium") && !HaveCommand("chromium-browser") && !HaveCommand("google-chrome"))
        GTEST_SKIP() << "no Chromium (make deps installs Debian's chromium)";
    // Ten sequences of 60 letters, each with an exact copy of GATTACAG (not its
    // own reverse complement) on a random strand.
    const std::string motif = "GATTACAG";
    planted::Options o;
    o.sequences = 10;
    o.length = 60;
    o.motif = motif;
    o.seed = 4;
    WorkDir dir;
    dir.write("in.fa", planted::Make(o).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 8 -p 60 -g 40 -seed 1 -o r.out -html r.html");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<ReportModel> report = ParseReport(dir.read("r.out"));
    ASSERT_FALSE(report.empty());
    ASSERT_TRUE(report[0].consensus == motif || report[0].consensus == Revcomp(motif)) << report[0].consensus;

    Result browser;
    const json found = CheckInBrowser(dir, "r.html", browser);
    ASSERT_TRUE(found.is_object()) << browser.out << browser.err;
    EXPECT_EQ(found["errors"], json::array());
    EXPECT_EQ(found["resources"], json::array());
    ASSERT_EQ(found["logos"].size(), 2 * report.size());
    const json& forward = found["logos"][0];
    const json& reverse = found["logos"][1];
    EXPECT_EQ(forward["section"], "QIRO-1");
    EXPECT_EQ(forward["orientation"], "forward");
    EXPECT_EQ(reverse["orientation"], "reverse");
    // The forward logo reads the model's consensus, the planted motif on one of
    // its strands; the other logo reads the other strand.
    EXPECT_EQ(forward["letters"], report[0].consensus);
    EXPECT_EQ(reverse["letters"], Revcomp(report[0].consensus));
    // Every column of the exact copies is drawn: no letter shrinks to nothing.
    EXPECT_GT(forward["lowest"].get<double>(), 5.0);

    // The screenshot script renders the page into a PNG of the asked size.
    const std::string script = std::string(QIRO_SOURCE_DIR) + "/tests/html_screenshot.sh";
    Result shot = dir.run(script, "r.html shot.png 900,1200");
    ASSERT_EQ(shot.status, 0) << shot.err;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(PngSize(dir.read("shot.png"), w, h));
    EXPECT_EQ(w, 900u);
    EXPECT_EQ(h, 1200u);
}

}  // namespace

namespace {

TEST(CliOutputsBrowser, DatabaseLogoLinesUpUnderTheModelAndTheSiteHistogramIsDrawn) {
    if (!HaveCommand("chromium") && !HaveCommand("chromium-browser") && !HaveCommand("google-chrome"))
        GTEST_SKIP() << "no Chromium (make deps installs Debian's chromium)";
    // The core of the REST site in 30 sequences; the excerpt holds REST (MA0138.3).
    planted::Options o;
    o.sequences = 30;
    o.length = 100;
    o.motif = "TCAGCACCATGGACA";
    o.seed = 5;
    WorkDir dir;
    dir.write("in.fa", planted::Make(o).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 15 -p 60 -g 40 -seed 1 -o r.out -json r.json -html r.html -db " +
                        std::string(QIRO_TEST_DATA) + "/jaspar_excerpt_meme.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    const json report = json::parse(dir.read("r.json"));
    ASSERT_FALSE(report["motifs"][0]["matches"].empty());
    const json& best = report["motifs"][0]["matches"][0];
    EXPECT_EQ(best["id"], "MA0138.3");

    Result browser;
    const json found = CheckInBrowser(dir, "r.html", browser);
    ASSERT_TRUE(found.is_object()) << browser.out << browser.err;
    EXPECT_EQ(found["errors"], json::array());
    EXPECT_EQ(found["resources"], json::array());
    // The first model's first match: its logo, then the database motif's.
    json pair = json::array();
    for (const json& logo : found["logos"])
        if (logo["section"] == "QIRO-1" && logo["inMatches"].get<bool>()) pair.push_back(logo);
    ASSERT_GE(pair.size(), 2u);
    // Column j of the model (label j) sits above column j - offset of the
    // database motif, at the same place on the page.
    const int offset = best["offset"];
    int lined = 0;
    for (const json& m : pair[0]["labels"])
        for (const json& d : pair[1]["labels"])
            if (d[1].get<int>() == m[1].get<int>() - offset) {
                EXPECT_NEAR(d[0].get<double>(), m[0].get<double>(), 1.0) << m;
                ++lined;
            }
    EXPECT_GE(lined, 5);
    EXPECT_EQ(pair[0]["letters"], report["motifs"][0]["consensus"]);
    // The histogram of the first model: every bar as tall as its count allows.
    const json& bars = found["bars"]["QIRO-1"];
    ASSERT_FALSE(bars.empty());
    int most = 0, total = 0;
    double tallest = 0;
    for (const json& bar : bars) {
        most = std::max(most, bar[0].get<int>());
        tallest = std::max(tallest, bar[1].get<double>());
        total += bar[0].get<int>();
    }
    for (const json& bar : bars) EXPECT_NEAR(bar[1].get<double>(), tallest * bar[0].get<int>() / most, 1.0) << bar;
    EXPECT_EQ(total, report["motifs"][0]["nsites"].get<int>());
    // The page opens with its summary: a row per motif (after the header), small logos, links to the sections.
    const json& summary = found["summary"];
    ASSERT_EQ(summary.size(), report["motifs"].size() + 1);
    EXPECT_EQ(summary[1][0], "#QIRO-1");
    EXPECT_GT(summary[1][1].get<double>(), 20.0);
    EXPECT_LE(summary[1][1].get<double>(), 50.0);
}

TEST(CliOutputsHtml, AJudgedPageListsTheFirst500SitesAndSaysWhereTheRestAre) {
    planted::Options o;
    o.sequences = 520;
    o.length = 60;
    o.motif = "TCAGCACCATGG";
    o.seed = 3;
    WorkDir dir;
    dir.write("in.fa", planted::Make(o).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 12 -p 40 -g 20 -seed 1 -evalue 0.05 -words 0 -json r.json -html r.html");
    ASSERT_EQ(r.status, 0) << r.out;
    const json report = json::parse(dir.read("r.json"));
    ASSERT_EQ(report["motifs"].size(), 1u) << r.out;
    const size_t sites = report["motifs"][0]["sites"].size();
    ASSERT_GT(sites, 500u);
    const std::string html = dir.read("r.html");
    EXPECT_NE(html.find("The first 500 of " + std::to_string(sites) + " sites; all of them are in the -bed and -json files."),
              std::string::npos);
    size_t rows = 0;
    for (size_t at = html.find("<table class=\"sites\">"); (at = html.find("<tr><td>", at + 1)) != std::string::npos;) ++rows;
    EXPECT_EQ(rows, 500u);
}

}  // namespace
