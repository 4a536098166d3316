// Naming motifs after a motif database (-db) and placing their sites: the
// best match in the result file, on the console and in JSON; a run without
// -db writes the same file less those lines; bad databases end the run before
// the search with file, line and reason; with -evalue, every database motif
// tested in the input, alone with -nmotifs 0.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

// The core of the REST site (JASPAR MA0138.3, in the excerpt of tests/data).
const std::string kRest = "TCAGCACCATGGACA";
const std::string kExcerpt = std::string(QIRO_TEST_DATA) + "/jaspar_excerpt_meme.txt";

// 30 random sequences of 100 letters, each with the REST core within five
// letters of its middle.
std::string Peaks(int n = 30, bool planted = true) {
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < n; ++i) {
        std::string s(100, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (planted) s.replace(38 + rng() % 10, kRest.size(), kRest);
        text += ">p" + std::to_string(i) + "\n" + s + "\n";
    }
    return text;
}

std::string WithoutMatchLines(const std::string& text) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line))
        if (line.rfind("Best match: ", 0) != 0) kept += line + "\n";
    return kept;
}

TEST(Db, PlantedRestCoreIsNamedRestInEveryOutputAndItsSitesSitCentrally) {
    WorkDir dir;
    dir.write("in.fa", Peaks());
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string run = "-i in.fa -freq bg.freq -k 15 -p 60 -g 40 -seed 3 -threads 1";
    Result r = dir.qiro(run + " -db " + kExcerpt + " -json r.json -o named.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Motifs in the databases: 10\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Motif Rank #1: Best match: MA0138.3 REST E="), std::string::npos) << r.out;

    // One match line per model, right after its site count.
    const std::string named = dir.read("named.out");
    const size_t at = named.find("No. of sites: ");
    ASSERT_NE(at, std::string::npos);
    const size_t line = named.find('\n', at) + 1;
    EXPECT_EQ(named.compare(line, 28, "Best match: MA0138.3 REST E="), 0) << named.substr(at, 120);

    // Without -db the same run writes the same file less the match lines.
    ASSERT_EQ(dir.qiro(run + " -o plain.out").status, 0);
    EXPECT_EQ(dir.read("plain.out"), WithoutMatchLines(named));

    const nlohmann::json j = nlohmann::json::parse(dir.read("r.json"));
    EXPECT_EQ(j["settings"]["motif_databases"], kExcerpt);
    const nlohmann::json& top = j["motifs"][0];
    ASSERT_GE(top["matches"].size(), 1u);
    EXPECT_EQ(top["matches"][0]["id"], "MA0138.3");
    EXPECT_LE(top["matches"][0]["evalue"].get<double>(), 0.5);
    const nlohmann::json& pos = top["site_positions"];
    EXPECT_EQ(pos["sites"].get<int>(), top["nsites"].get<int>());
    // Every planted site is central: at least the 30 forward ones of 60 sites.
    EXPECT_GE(pos["central_sites"].get<int>(), 30);
    EXPECT_LT(pos["centrality_pvalue"].get<double>(), 1e-6);
}

TEST(Db, BadDatabasesEndTheRunBeforeTheSearch) {
    WorkDir dir;
    dir.write("in.fa", Peaks());
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("short.jaspar", ">MA1 X\nA [ 1 2 3 ]\nC [ 1 2 ]\nG [ 1 2 3 ]\nT [ 1 2 3 ]\n");
    const struct {
        std::string db, message;
    } cases[] = {
        {"missing.meme", "missing.meme"},
        {"short.jaspar", "Error: the motif database short.jaspar, line 3: the rows of motif MA1 differ in length"},
        {kExcerpt + ",short.jaspar", "short.jaspar, line 3"},
        {",", "Error: -db , names no file. System aborted. "},
    };
    for (const auto& c : cases) {
        Result r = dir.qiro("-i in.fa -freq bg.freq -k 15 -p 60 -g 40 -seed 3 -db " + c.db);
        EXPECT_EQ(r.status, 1) << c.db << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.db << "\n" << r.out;
        EXPECT_EQ(r.out.find("Finish the GA process"), std::string::npos) << c.db;
        EXPECT_FALSE(dir.exists("qiro.out")) << c.db;
    }
    Result r = dir.qiro("-i in.fa -freq bg.freq -db");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: -db needs a motif database file"), std::string::npos) << r.out;
}

TEST(Db, KnownMotifsTestedAloneRankThePlantedOneFirstAndNoneOnRandomLetters) {
    WorkDir dir;
    dir.write("in.fa", Peaks(60));
    dir.write("random.fa", Peaks(60, false));
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string run = " -freq bg.freq -k 15 -verbose -evalue 0.05 -nmotifs 0 -seed 3 -threads 2 -db " + kExcerpt;
    Result r = dir.qiro("-i in.fa" + run + " -json r.json -o in.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Finish the GA process"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Known motifs: 10 tested; "), std::string::npos) << r.out;
    const std::string out = dir.read("in.out");
    EXPECT_NE(out.find("No motif was sought (-nmotifs 0)"), std::string::npos) << out;
    EXPECT_NE(out.find("\n1\tMA0138.3\tREST\t"), std::string::npos) << out;
    const nlohmann::json j = nlohmann::json::parse(dir.read("r.json"));
    ASSERT_EQ(j["known_motifs"].size(), 10u);
    EXPECT_EQ(j["known_motifs"][0]["id"], "MA0138.3");
    EXPECT_LE(j["known_motifs"][0]["evalue"].get<double>(), 1e-10);
    EXPECT_EQ(j["known_motifs"][0]["input_hits"], 60);

    r = dir.qiro("-i random.fa" + run + " -json random.json -o random.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Known motifs: 10 tested; 0 with an E-value at most 0.05 (the best, "), std::string::npos) << r.out;
    EXPECT_GT(nlohmann::json::parse(dir.read("random.json"))["known_motifs"][0]["evalue"].get<double>(), 0.05);

    // Without a database (or without -evalue) there is nothing to test.
    for (const std::string& bad : {std::string("-i in.fa -freq bg.freq -verbose -evalue 0.05 -nmotifs 0"),
                                  "-i in.fa -freq bg.freq -nmotifs 0 -db " + kExcerpt}) {
        r = dir.qiro(bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.out.find("Error: -nmotifs 0 seeks no motif and only tests the motifs of a database"),
                  std::string::npos) << r.out;
    }
}

}  // namespace
