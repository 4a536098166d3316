// Judging against control sequences (-evalue): a planted motif passes with its
// sites, sequences without one report nothing, the options that need -evalue
// refuse to run without it, and the thread count changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_util.h"
#include "core/Settings.h"
#include "judge/WholeJudge.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kMotif = "TTGACAGCTATCGT";

// n random sequences of 150 letters; with plant, every one holds the motif at
// a known place (start 1-based in starts).
std::string Sequences(int n, bool plant, unsigned seed, std::set<std::string>* starts = nullptr) {
    std::mt19937 rng(seed);
    std::string text;
    for (int i = 0; i < n; ++i) {
        std::string s(150, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        const std::string name = "q" + std::to_string(i);
        if (plant) {
            const int at = 10 + static_cast<int>(rng() % 120);
            s.replace(static_cast<size_t>(at), kMotif.size(), kMotif);
            if (starts) starts->insert(name + ":" + std::to_string(at + 1));
        }
        text += ">" + name + "\n" + s + "\n";
    }
    return text;
}

const std::string kRun = "-i in.fa -freq bg.freq -k 14 -seed 4 -g 40 -p 60 -verbose -evalue 0.05";

TEST(Evalue, PlantedMotifPassesWithItsSitesAndEveryOutputCarriesTheEvalue) {
    WorkDir dir;
    std::set<std::string> planted;
    dir.write("in.fa", Sequences(40, true, 3, &planted));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun + " -json e.json -meme e.meme -threads 1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("E-value threshold: 0.05\nControl sequences: the input shuffled"), std::string::npos);

    // The model block: E-value right after the site count; its sites are the planted ones.
    const std::string out = dir.read("qiro.out");
    const size_t at = out.find("No. of sites: ");
    ASSERT_NE(at, std::string::npos) << out;
    const size_t line = out.find('\n', at) + 1;
    ASSERT_EQ(out.compare(line, 9, "E-value: "), 0) << out.substr(at, 80);
    EXPECT_LT(std::stod(out.substr(line + 9)), 1e-4);
    int hits = 0, sites = 0;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        if (l.empty() || l[0] != '>') continue;
        std::istringstream f(l.substr(1));
        std::string name, letters;
        int strand, start;
        f >> name >> letters >> strand >> start;
        ++sites;
        hits += planted.count(name + ":" + std::to_string(start)) ? 1 : 0;
    }
    EXPECT_GE(hits, 36);
    EXPECT_LE(sites, hits + 4);

    const nlohmann::json j = nlohmann::json::parse(dir.read("e.json"));
    ASSERT_EQ(j["motifs"].size(), 1u);
    EXPECT_LT(j["motifs"][0]["evalue"].get<double>(), 1e-4);
    EXPECT_EQ(j["control"]["sequences"], 200);  // five shuffles of each of 40
    EXPECT_EQ(j["control"]["source"], "generated");
    // Every search is named on the console; the motif's search and its seed word (or null) in JSON.
    const int search = j["motifs"][0]["search"];
    EXPECT_NE(r.out.find("\nSearch " + std::to_string(search) + ": motif 1, width 14"), std::string::npos);
    EXPECT_NE(r.out.find(", by search " + std::to_string(search)), std::string::npos);
    EXPECT_TRUE(j["motifs"][0]["seed_word"].is_null() || j["motifs"][0]["seed_word"].is_string());
    EXPECT_NE(r.out.find(", from the word "), std::string::npos);
    EXPECT_EQ(j["settings"]["evalue"], 0.05);
    EXPECT_EQ(dir.read("e.meme").find(" E= 0\n"), std::string::npos);

    // A sample of whole sequences, at most -searchsize letters, for every search; the same for 2 threads.
    Result sampled = dir.qiro(kRun + " -searchsize 1000 -words 1 -threads 1 -o s1.out");
    ASSERT_EQ(sampled.status, 0);
    EXPECT_NE(sampled.out.find("The searches run on a sample of 6 of the 40 searched sequences (-searchsize 1000 letters)."),
              std::string::npos) << sampled.out;
    EXPECT_NE(sampled.out.find("\nSearch 1: motif 1, width 14, 6 sequences."), std::string::npos);
    EXPECT_EQ(dir.qiro(kRun + " -searchsize 1000 -words 1 -threads 2 -o s2.out").status, 0);
    EXPECT_EQ(dir.read("s2.out"), dir.read("s1.out"));

    // Results never depend on the thread count.
    Result two = dir.qiro(kRun + " -threads 2 -o two.out");
    ASSERT_EQ(two.status, 0);
    EXPECT_EQ(dir.read("two.out"), out);
}

const std::string kSecond = "CCGTAATGGCATAC";

// Forty sequences, every one holding kMotif and also kSecond, an unrelated motif.
std::string TwoMotifs(int n = 40) {
    std::string text = Sequences(n, true, 9), fasta;
    std::istringstream in(text);
    std::mt19937 rng(2);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l[0] != '>') {
            const size_t at = l.find(kMotif) < 70 ? 100 + rng() % 30 : rng() % 40;
            l.replace(at, kSecond.size(), kSecond);
        }
        fasta += l + "\n";
    }
    return fasta;
}

// The planted motifs (kMotif, kSecond) whose letters from..from+n, on either
// strand, are in a reported motif's consensus.
std::set<std::string> PlantedFound(const nlohmann::json& motifs, size_t from, size_t n) {
    std::set<std::string> found;
    for (const auto& m : motifs) {
        const std::string c = m["consensus"];
        for (const std::string& w : {kMotif, kSecond}) {
            std::string rc(w.rbegin(), w.rend());
            for (char& x : rc) x = "TGCA"[std::string("ACGT").find(x)];
            if (c.find(w.substr(from, n)) != std::string::npos || c.find(rc.substr(from, n)) != std::string::npos)
                found.insert(w);
        }
    }
    return found;
}

TEST(Evalue, SecondMotifIsFoundAfterTheFirstIsMasked) {
    WorkDir dir;
    dir.write("in.fa", TwoMotifs());
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun + " -nmotifs 2 -json two.json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("two.json"));
    ASSERT_EQ(j["motifs"].size(), 2u) << r.out;
    for (const auto& m : j["motifs"]) EXPECT_LT(m["evalue"].get<double>(), 0.05);
    EXPECT_EQ(PlantedFound(j["motifs"], 2, 10).size(), 2u) << j["motifs"][0]["consensus"] << " " << j["motifs"][1]["consensus"];
    // Each motif's published matrix and threshold call its published sites.
    Result rescan = dir.run("python3", "'" + std::string(QIRO_SOURCE_DIR) + "/tools/rescan.py' two.json in.fa --check");
    EXPECT_EQ(rescan.status, 0) << rescan.err;
    EXPECT_NE(rescan.err.find("rescan: QIRO-2: the "), std::string::npos) << rescan.err;
}

TEST(Evalue, ARangeOnHeldBackSequencesFindsBothMotifsAtWidthsWithinIt) {
    // 80 sequences hold half back: the range is searched at its ends and
    // middle, each motif's width settled, and the second round judges again
    // what passed.
    WorkDir dir;
    dir.write("in.fa", TwoMotifs(80));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 8-16 -seed 4 -g 40 -p 60 -verbose -evalue 0.05 -nmotifs 2 -json two.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("width 12,"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("width 10,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Motif 2 found: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", judged again."), std::string::npos) << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("two.json"));
    ASSERT_EQ(j["motifs"].size(), 2u) << r.out;
    for (const auto& m : j["motifs"]) {
        EXPECT_GE(m["width"].get<int>(), 8);
        EXPECT_LE(m["width"].get<int>(), 16);
    }
    EXPECT_EQ(PlantedFound(j["motifs"], 3, 8).size(), 2u) << j["motifs"][0]["consensus"] << " " << j["motifs"][1]["consensus"];

    // The searches from random starts of a range share one search's
    // generations, and run in the first round only: a later round searches
    // from words.
    dir.write("one.fa", Sequences(80, true, 12));
    Result one = dir.qiro("-i one.fa -freq bg.freq -k 8-16 -seed 4 -p 20 -verbose -evalue 0.05 -nmotifs 2");
    ASSERT_EQ(one.status, 0) << one.out;
    const long long letters = 40 * 150;  // the searched half
    const std::string shared = ", at most " + std::to_string(kSearchWork / (3 * letters)) + " generations.";
    for (int w : {8, 12, 16})
        EXPECT_NE(one.out.find(": motif 1, width " + std::to_string(w) + ", 40 sequences" + shared), std::string::npos)
            << one.out;
    EXPECT_NE(one.out.find(": motif 2, width 16, from the word "), std::string::npos) << one.out;
    EXPECT_FALSE(std::regex_search(one.out, std::regex(": motif 2, width [0-9]+, [0-9]+ sequences"))) << one.out;
}

TEST(Evalue, TheReportedMatrixIsTheOneThatCalledTheSites) {
    // Examples on the recommended line: the JSON's log-odds rebuild from its counts,
    // background and pseudocount; the counts are the letters of its sites (the fitted
    // rule; CRP's 18 sites are too few for a refinement of 20 columns) or every window's
    // letters weighted by its posterior (NRSF's refined model, the pseudocount shared out
    // by the matrix it started from); and a scan of the JSON calls exactly those sites.
    WorkDir dir;
    const std::string examples = QIRO_EXAMPLES;
    const std::string crp = "-i '" + examples + "/crp0.fasta' -freq '" + examples + "/crp0.freq' -k 20 ";
    const std::string nrsf = "-i '" + examples + "/nrsf150.fa.gz' -k 12 -g 30 ";
    for (const std::string& words : {crp + "-sitemodel fitted", crp, nrsf}) {
        Result r = dir.qiro(words + " -mask T -dust 20 -verbose -evalue 0.05 -seed 1 -json c.json -meme c.meme");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Motif 1 refit "), std::string::npos);
        const nlohmann::json j = nlohmann::json::parse(dir.read("c.json"));
        ASSERT_EQ(j["motifs"].size(), 1u) << r.out;
        const auto& m = j["motifs"][0];
        const bool refined = words == nrsf;
        EXPECT_EQ(m["site_model"].contains("refined"), refined) << words;
        if (words == crp) {
            EXPECT_NE(r.out.find("Motif 1's model not refined: the fitted model expects fewer sites than the 60 "
                                 "letter probabilities"), std::string::npos) << r.out;
        }
        EXPECT_EQ(m["counts_are"], refined ? "every window's letters weighted by its posterior of being a site (soft EM)"
                                           : "the sites' letters");
        const int w = m["width"];
        const double n = m["sites"].size();
        EXPECT_DOUBLE_EQ(m["pseudocount"].get<double>(), refined ? 5.0 : std::sqrt(n));
        const std::string letters = "ACGT";
        for (int c = 0; c < w; ++c) {
            double total = 0;
            for (int b = 0; b < 4; ++b) total += m["counts"][std::string(1, letters[static_cast<size_t>(b)])][c].get<double>();
            for (int b = 0; b < 4; ++b) {
                const std::string x(1, letters[static_cast<size_t>(b)]);
                const double q = m["log_odds_background"][x];
                const double count = m["counts"][x][c];
                if (!refined) {
                    double seen = 0;
                    for (const auto& site : m["sites"]) seen += site["letters"].get<std::string>()[static_cast<size_t>(c)] == letters[b];
                    EXPECT_EQ(count, seen) << x << c;
                }
                const double pseudo = m["pseudocount"];
                const double shared = refined ? m["site_model"]["refined"]["prior_probabilities"][x][c].get<double>() : q;
                EXPECT_NEAR(m["log_odds"][x][c].get<double>(), std::log2((count + pseudo * shared) / (total + pseudo) / q), 1e-9);
            }
        }
        const std::string input = words == nrsf ? "/nrsf150.fa.gz" : "/crp0.fasta";
        Result rescan = dir.run("python3", "'" + std::string(QIRO_SOURCE_DIR) + "/tools/rescan.py' c.json '" + examples +
                                               input + "' --check");
        EXPECT_EQ(rescan.status, 0) << rescan.err;
        EXPECT_EQ(std::count(rescan.out.begin(), rescan.out.end(), '\n'), static_cast<long>(n));
        EXPECT_EQ(dir.read("c.meme").find("# QIRO-1"), std::string::npos);  // the note only when they differ
    }
}

TEST(Evalue, WidthRangeReportsEachModelAtItsOwnWidth) {
    WorkDir dir;
    dir.write("in.fa", Sequences(40, true, 11));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 8-14 -seed 2 -g 40 -p 60 -verbose -evalue 0.05 -words 1 -json w.json -html w.html");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Widths searched: 8-14\n"), std::string::npos);
    // The settings say what ran: the range, not one width; the console and the page sum the motifs up first.
    const nlohmann::json settings = nlohmann::json::parse(dir.read("w.json"))["settings"];
    EXPECT_EQ(settings["widths"], "8-14");
    EXPECT_FALSE(settings.contains("width"));
    EXPECT_FALSE(settings.contains("k"));
    EXPECT_NE(r.out.find("\nMotifs reported:\nrank  consensus "), std::string::npos) << r.out;
    const std::string html = dir.read("w.html");
    const size_t summary = html.find("<table class=\"summary\">");
    ASSERT_NE(summary, std::string::npos);
    EXPECT_LT(summary, html.find("<h2 id=\"settings\">"));
    EXPECT_NE(html.find("<a href=\"#QIRO-1\">1</a>", summary), std::string::npos);
    // Forty sequences are judged on every one: the range is searched at its
    // middle alone, and the motif of 14 letters grows to its own width.
    EXPECT_NE(r.out.find(", width 11, "), std::string::npos) << r.out;
    EXPECT_FALSE(std::regex_search(r.out, std::regex(", width (8|9|10|12|13|14), "))) << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("w.json"));
    ASSERT_EQ(j["motifs"].size(), 1u);
    const auto& m = j["motifs"][0];
    const int width = m["width"];
    EXPECT_GE(width, 13) << m["consensus"];
    EXPECT_EQ(m["consensus"].get<std::string>().size(), static_cast<size_t>(width));
    EXPECT_EQ(m["counts"]["A"].size(), static_cast<size_t>(width));
    for (const auto& site : m["sites"]) EXPECT_EQ(site["end"].get<int>() - site["start"].get<int>() + 1, width);
    // The result file's matrix has as many columns as the model is wide.
    const std::string out = dir.read("qiro.out");
    const size_t header = out.find("Position Frequency Matrix");
    ASSERT_NE(header, std::string::npos);
    EXPECT_NE(out.find(" " + std::to_string(width) + "  \n", header), std::string::npos);
    EXPECT_EQ(out.find(" " + std::to_string(width + 1) + "  \n", header), std::string::npos);
}

TEST(Evalue, SequencesWithoutAMotifReportNoneAndExitZero) {
    WorkDir dir;
    dir.write("in.fa", Sequences(40, false, 5));
    dir.write("neg.fa", Sequences(40, false, 6));
    dir.write("bg.freq", clitest::FlatBackground());
    for (const std::string extra : {"", " -neg neg.fa -k 8-12"}) {
        Result r = dir.qiro(kRun + extra);
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string none = "No motif has an E-value at most 0.05.\n";
        EXPECT_NE(dir.read("qiro.out").find("The Final Results:\n\n" + none), std::string::npos) << extra;
        EXPECT_EQ(dir.read("qiro.out").find("Motif Rank"), std::string::npos) << extra;
        // Forty sequences leave twenty to judge on: a motif could have passed.
        EXPECT_EQ(r.out.find("even a motif in every held-back"), std::string::npos) << extra;
    }
}

TEST(Evalue, ARepeatedSequenceIsSearchedAndJudgedOnce) {
    // The third sequence is the first one's reverse complement: counted twice, any window
    // of it would align with its copy as a motif of two sites.
    std::mt19937 rng(21);
    std::string seqs[2];
    for (std::string& s : seqs) {
        s.assign(1500, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
    }
    std::string copy(seqs[0].rbegin(), seqs[0].rend());
    for (char& c : copy) c = c == 'A' ? 'T' : c == 'T' ? 'A' : c == 'C' ? 'G' : 'C';
    WorkDir dir;
    dir.write("in.fa", ">a\n" + seqs[0] + "\n>b\n" + seqs[1] + "\n>c\n" + copy + "\n");
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 15 -seed 4 -g 40 -p 60 -verbose -evalue 0.05");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 input sequence repeats an earlier one letter for letter (or its reverse complement)"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Searched and judged on all 2 input sequences"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("qiro.out").find("Motif Rank"), std::string::npos) << r.out;
}

TEST(Evalue, TooFewSequencesToJudgeOnAreNamedAsTheReason) {
    // One sequence can hold no alignment of sites: said before any search.
    WorkDir dir;
    dir.write("in.fa", Sequences(1, true, 9));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun + " -words 0");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("With 1 input sequence, no motif can be judged: the judgement needs sites in at least two"
                         " sequences."),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("\nSearch 1:"), std::string::npos);
    EXPECT_NE(dir.read("qiro.out").find("No motif has an E-value at most 0.05.\n"), std::string::npos);
    // A control file of two sequences holds back one: even a motif in every held-back input sequence and in
    // no control would miss the limit.
    dir.write("many.fa", Sequences(kWholeJudgeBelow, true, 9));
    dir.write("two.fa", Sequences(2, false, 10));
    Result few = dir.qiro("-i many.fa -freq bg.freq -k 14 -seed 4 -g 10 -p 40 -verbose -evalue 0.05 -words 0 -neg two.fa");
    ASSERT_EQ(few.status, 0) << few.out;
    EXPECT_NE(few.out.find("input sequences, the judge holds back 25: even a motif in every held-back input sequence"
                           " and in none of the 1 held-back control sequences would have an E-value of "),
              std::string::npos)
        << few.out;
    EXPECT_NE(few.out.find(". Give more control sequences (-neg): fewer are held back than input sequences, or run"),
              std::string::npos)
        << few.out;
}

TEST(Evalue, SmallInputsAreSearchedAndJudgedOnEverySequence) {
    // Ten sequences, each with the motif: every one is searched and judged, and the
    // motif passes with its sites. Their letters shuffled: nothing passes.
    WorkDir dir;
    std::set<std::string> planted;
    const std::string text = Sequences(10, true, 21, &planted);
    dir.write("in.fa", text);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun + " -json s.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Searched and judged on all 10 input sequences (fewer than " +
                         std::to_string(kWholeJudgeBelow) + ": none held back)"),
              std::string::npos)
        << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("s.json"));
    ASSERT_EQ(j["motifs"].size(), 1u) << r.out;
    EXPECT_LT(j["motifs"][0]["evalue"].get<double>(), 1e-3);
    EXPECT_EQ(j["control"]["judged_on"], "every sequence (alignment E-value)");
    int hits = 0;
    for (const auto& site : j["motifs"][0]["sites"])
        hits += planted.count(site["sequence"].get<std::string>() + ":" + std::to_string(site["start"].get<int>()));
    EXPECT_GE(hits, 9);
    // Windows of the input seed searches too; the motif's seed, if any, as the console named it.
    EXPECT_NE(r.out.find(", from the consensus "), std::string::npos) << r.out;
    const nlohmann::json& m = j["motifs"][0];
    if (m["seed_word"].is_null())
        EXPECT_TRUE(m["seed_kind"].is_null());
    else
        EXPECT_NE(r.out.find("\nSearch " + std::to_string(m["search"].get<int>()) + ": motif 1, width 14, from the " +
                             m["seed_kind"].get<std::string>() + " " + m["seed_word"].get<std::string>()),
                  std::string::npos)
            << r.out;

    // A search from a word that draws no model above -lc adds no candidate: one starting
    // point does not end the run.
    Result plain = dir.qiro(kRun + " -lc 0.99 -o plain.out");
    ASSERT_EQ(plain.status, 0) << plain.out;
    EXPECT_NE(plain.out.find("(-lc); it adds no candidate."), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("Motif 1 found: "), std::string::npos) << plain.out;

    std::mt19937 rng(5);
    std::string shuffled;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l[0] != '>') std::shuffle(l.begin(), l.end(), rng);
        shuffled += l + "\n";
    }
    dir.write("shuffled.fa", shuffled);
    Result none = dir.qiro("-i shuffled.fa -freq bg.freq -k 14 -seed 4 -g 40 -p 60 -verbose -evalue 0.05");
    ASSERT_EQ(none.status, 0) << none.out;
    EXPECT_NE(dir.read("qiro.out").find("No motif has an E-value at most 0.05.\n"), std::string::npos) << none.out;

    // From the switch point on, half of the sequences are held back.
    dir.write("switch.fa", Sequences(kWholeJudgeBelow, false, 6));
    Result held = dir.qiro("-i switch.fa -freq bg.freq -k 8 -seed 4 -g 5 -p 20 -verbose -evalue 0.05 -words 0");
    EXPECT_NE(held.out.find("Searched on " + std::to_string(kWholeJudgeBelow - kWholeJudgeBelow / 2) +
                            " input sequences; judged on " + std::to_string(kWholeJudgeBelow / 2) + " input"),
              std::string::npos)
        << held.out;
}

TEST(Evalue, TheMotifOfTheKnownSitesIsAlwaysReportedFirst) {
    // Known sites of the planted motif, and known sites that are random words in sequences
    // without a motif: either way the motif they give is reported, first, with its E-value
    // for information.
    WorkDir dir;
    dir.write("in.fa", Sequences(40, true, 12));
    dir.write("none.fa", Sequences(40, false, 13));
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("sites.pk", kMotif + "\n" + "TTGACAGCTATGGT\n" + "TTGTCAGCTATCGT\n");
    dir.write("random.pk", "GATCCTAGGCATCA\nCCAGTTAGCATGCA\nAGGTCTACGTATTC\n");
    for (const std::string& c : {std::string("in.fa sites.pk"), std::string("none.fa random.pk")}) {
        const std::string fasta = c.substr(0, c.find(' ')), pk = c.substr(c.find(' ') + 1);
        // Two motifs: the searches from words of the second round must not stand in for the known sites.
        Result r = dir.qiro("-i " + fasta + " -pk " + pk + " -freq bg.freq -seed 4 -g 40 -p 60 -verbose -evalue 0.05 -nmotifs 2 -json k.json -html k.html");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Motif 1 given by the known sites: "), std::string::npos) << r.out;
        EXPECT_NE(dir.read("k.html").find("<tr><th>estimated recall</th><td class=\"num\">"), std::string::npos);
        EXPECT_NE(r.out.find(" (reported whatever its E-value; for information).\n"), std::string::npos) << r.out;
        const nlohmann::json j = nlohmann::json::parse(dir.read("k.json"));
        ASSERT_GE(j["motifs"].size(), 1u) << c;
        EXPECT_EQ(j["motifs"][0]["given_by_known_sites"], true) << c;
        EXPECT_NE(dir.read("qiro.out").find("Given by the known sites (-pk): reported whatever its E-value.\n"),
                  std::string::npos);
        // Forty sequences are too few for the windows called in them to outweigh the known sites.
        EXPECT_NE(r.out.find("Motif 1 is the known sites' own matrix, not refit on the input (fewer than 50 "),
                  std::string::npos) << r.out;
        EXPECT_EQ(j["motifs"][0]["refits"], 0);
        EXPECT_EQ(j["motifs"][0]["counts_are"], "the known sites' letters (not refit on the input)");
        // The calls' estimated quality, from the known sites (left out in turn) and the controls.
        EXPECT_EQ(j["motifs"][0]["known_sites"], 3);
        EXPECT_NE(r.out.find("Motif 1's sites are called at "), std::string::npos) << r.out;
        if (fasta == "in.fa") {
            EXPECT_LT(j["motifs"][0]["evalue"].get<double>(), 1e-3);
            // The known sites give the prior, and the two a letter off the planted word still
            // score above the threshold the mixture fitted to the input calls at.
            EXPECT_NEAR(j["motifs"][0]["estimated_recall"].get<double>(), 1.0, 1e-12);
            EXPECT_NE(dir.read("k.html").find("100% of 3 known sites"), std::string::npos);
            EXPECT_NE(r.out.find(" bits (where the mixture fitted to the input reaches a posterior of one half): "),
                      std::string::npos) << r.out;
            EXPECT_TRUE(j["motifs"][0].contains("site_model")) << r.out;
            EXPECT_LT(j["motifs"][0]["estimated_false_calls"].get<double>(), 0.1);
        } else {
            EXPECT_NE(r.out.find("the known sites' motif is not enriched in the input"), std::string::npos) << r.out;
            // Reported all the same, it is not counted among the models that pass.
            EXPECT_NE(r.out.find(" searches; 0 with an E-value at most 0.05.\n"), std::string::npos) << r.out;
        }
    }
}

TEST(Evalue, AfterTheKnownSitesMotifTheSearchesLookForMotifsOfTheirOwn) {
    WorkDir dir;
    dir.write("in.fa", TwoMotifs());
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("sites.pk", kMotif + "\n" + "TTGACAGCTATGGT\n" + "TTGTCAGCTATCGT\n");
    Result r = dir.qiro("-i in.fa -pk sites.pk -freq bg.freq -k 14 -seed 4 -g 40 -p 60 -verbose -evalue 0.05 -nmotifs 2 -json p.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nSearch 2: motif 2, width 14, "), std::string::npos) << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("p.json"));
    ASSERT_EQ(j["motifs"].size(), 2u) << r.out;
    EXPECT_EQ(j["motifs"][0]["given_by_known_sites"], true);
    EXPECT_FALSE(j["motifs"][1].contains("given_by_known_sites"));
    std::string rc(kSecond.rbegin(), kSecond.rend());
    for (char& x : rc) x = "TGCA"[std::string("ACGT").find(x)];
    const std::string c = j["motifs"][1]["consensus"];
    EXPECT_TRUE(c.find(kSecond.substr(2, 10)) != std::string::npos || c.find(rc.substr(2, 10)) != std::string::npos)
        << c;
}

TEST(Evalue, AMotifMatrixServesAsKnownSites) {
    // A MEME file of two motifs, one of them the planted motif: -pk FILE:ID takes it,
    // draws its known sites from it and reports it first; the file alone, a missing ID and
    // a bad row are refused before the search with the file, the IDs and the line.
    WorkDir dir;
    dir.write("in.fa", Sequences(40, true, 12));
    dir.write("bg.freq", clitest::FlatBackground());
    std::string meme = "MEME version 4\n\nALPHABET= ACGT\n\nMOTIF OTHER1 other\nletter-probability matrix: w= 4\n";
    for (int j = 0; j < 4; ++j) meme += " 0.7 0.1 0.1 0.1\n";
    meme += "\nMOTIF PLANTED1 planted\nletter-probability matrix: alength= 4 w= 14\n";
    for (char c : kMotif) {
        for (char b : std::string("ACGT")) meme += b == c ? " 0.85" : " 0.05";
        meme += "\n";
    }
    dir.write("two.meme", meme);
    Result r = dir.qiro("-i in.fa -freq bg.freq -pk two.meme:PLANTED1 -seed 4 -g 40 -p 60 -verbose -evalue 0.05 -json m.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Known sites: 20 drawn from the matrix PLANTED1 planted of two.meme, 14 letters wide."),
              std::string::npos)
        << r.out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("m.json"));
    ASSERT_GE(j["motifs"].size(), 1u);
    const std::string c = j["motifs"][0]["consensus"];
    EXPECT_TRUE(c == kMotif || c.find(kMotif.substr(2, 10)) != std::string::npos) << c;

    Result several = dir.qiro("-i in.fa -freq bg.freq -pk two.meme -seed 4 -verbose -evalue 0.05");
    EXPECT_EQ(several.status, 1);
    EXPECT_NE(several.out.find("Error: the pre-knowledge matrix file two.meme holds 2 motifs; name one as -pk "
                               "two.meme:<ID> (the first: OTHER1, PLANTED1, ...). System aborted."),
              std::string::npos)
        << several.out;
    Result unknown = dir.qiro("-i in.fa -freq bg.freq -pk two.meme:PLANTED2 -seed 4 -verbose -evalue 0.05");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.out.find("holds no motif PLANTED2; the closest IDs: PLANTED1, OTHER1."), std::string::npos)
        << unknown.out;
    dir.write("bad.jaspar", ">BAD1 bad\nA [ 1 2 ]\nC [ 1 2 ]\nG [ 1 x ]\nT [ 1 2 ]\n");
    Result bad = dir.qiro("-i in.fa -freq bg.freq -pk bad.jaspar -seed 4 -verbose -evalue 0.05");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Error: the pre-knowledge matrix file bad.jaspar, line 4: the value x is not a number."),
              std::string::npos)
        << bad.out;
    EXPECT_EQ(bad.out.find("Start GA"), std::string::npos);  // refused before the search runs
}

TEST(Evalue, OptionsThatNeedEvalueAndBadValues) {
    WorkDir dir;
    dir.write("in.fa", Sequences(6, true, 7));
    dir.write("bg.freq", clitest::FlatBackground());
    Result range = dir.qiro("-i in.fa -freq bg.freq -k 6-15 -seed 1");
    EXPECT_EQ(range.status, 1);
    EXPECT_NE(range.out.find("Error: a range of motif widths (-k 6-15) needs -evalue"), std::string::npos);
    EXPECT_FALSE(dir.exists("qiro.out"));

    Result bad = dir.qiro("-i in.fa -freq bg.freq -k 9-7 -verbose -evalue x -nmotifs -1 -seed 1 -g 5 -p 20");
    EXPECT_EQ(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("-k=9-7 is not a range of widths from 4 to 40! Reset to default length: 8 ."),
              std::string::npos);
    EXPECT_NE(bad.out.find("-evalue=x is unhealthy! Reset to the default value: 0.05 ."), std::string::npos);
    EXPECT_NE(bad.out.find("-nmotifs=-1 is unhealthy! Reset to the default value: 1 ."), std::string::npos);

    Result words = dir.qiro("-i in.fa -freq bg.freq -seed 1 -g 5 -p 20 -verbose -evalue 1 -words -1 -searchsize -1");
    EXPECT_NE(words.out.find("-words=-1 is unhealthy! Reset to the default value: 5 ."), std::string::npos);
    EXPECT_NE(words.out.find("-searchsize=-1 is unhealthy! Reset to the default value: 50000 ."), std::string::npos);
    EXPECT_NE(words.out.find("Population size: 20\n"), std::string::npos) << words.out;
    // Without -p the searches of -evalue have a population of their own.
    Result own = dir.qiro("-i in.fa -freq bg.freq -seed 1 -g 5 -verbose -evalue 1 -words 0");
    EXPECT_NE(own.out.find("Population size: 300\n"), std::string::npos) << own.out;
    Result plain = dir.qiro("-i in.fa -freq bg.freq -seed 1 -g 5 -p 20 -words 3 -neg in.fa");
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("Note: -neg, -nmotifs, -words and -searchsize take effect with -evalue only.\n"),
              std::string::npos);
    EXPECT_EQ(dir.read("qiro.out").find("E-value"), std::string::npos);
    std::string lower = Sequences(6, false, 8);
    for (char& c : lower)
        if (c == 'A' || c == 'C' || c == 'G' || c == 'T') c = static_cast<char>(c + 32);
    dir.write("lower.fa", lower);
    Result masked = dir.qiro("-i lower.fa -freq bg.freq -seed 1 -mask T -verbose -evalue 1");
    EXPECT_EQ(masked.status, 1);
    EXPECT_NE(masked.out.find("holds a masked letter (-mask, -dust); no sequence is left to search."), std::string::npos);

    Result missing = dir.qiro("-i in.fa -freq bg.freq -seed 1 -verbose -evalue 1 -neg nothere.fa");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("nothere.fa"), std::string::npos);
}

}  // namespace
