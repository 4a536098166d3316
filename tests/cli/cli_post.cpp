// The complete run with post-processing, end to end: the built program on a
// planted-motif set, its ranked result file, the per-strand site limit and the
// repeatability of a seeded run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

struct SiteLine {
    std::string name;
    std::string letters;
    int flag = -1;
    int start = 0;
    int end = 0;
    double score = 0.0;
};

struct Model {
    std::string text;  // the whole block of the model
    std::vector<SiteLine> sites;
};

// The models of a result file in rank order, with their site lines
// (">name<TAB>letters<TAB>flag<TAB>start<TAB>end<TAB>score").
std::vector<Model> ParseReport(const std::string& report) {
    std::vector<Model> models;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Motif Rank #", 0) == 0) models.emplace_back();
        if (models.empty()) continue;
        models.back().text += line + "\n";
        if (line.empty() || line[0] != '>') continue;
        std::vector<std::string> f;
        std::istringstream fields(line.substr(1));
        std::string part;
        while (std::getline(fields, part, '\t')) f.push_back(part);
        if (f.size() != 6) {
            ADD_FAILURE() << "site line with " << f.size() << " fields: " << line;
            continue;
        }
        SiteLine s;
        s.name = f[0];
        s.letters = f[1];
        s.flag = std::stoi(f[2]);
        s.start = std::stoi(f[3]);
        s.end = std::stoi(f[4]);
        s.score = std::stod(f[5]);
        models.back().sites.push_back(s);
    }
    return models;
}

// Twenty sequences of 150 letters, each with one copy of TGACGTCATG on a
// random strand, and a flat background.
struct PlantedRun {
    WorkDir dir;
    planted::Set set = planted::Make(planted::Options{});

    PlantedRun() {
        dir.write("in.fa", set.fasta);
        dir.write("bg.freq", clitest::FlatBackground());
    }
    Result Run(const std::string& extra, const std::string& out) const {
        return dir.qiro("-i in.fa -freq bg.freq -k 10 -p 50 -g 100 -o " + out + " " + extra);
    }
};

// Sequence letters by name, from a FASTA text.
std::map<std::string, std::string> Sequences(const std::string& fasta) {
    std::map<std::string, std::string> out;
    std::istringstream in(fasta);
    std::string line, name;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '>') {
            name = line.substr(1);
        } else {
            out[name] += line;
        }
    }
    return out;
}

// The largest number of sites any one strand (sequence name and strand flag) holds.
int MostSitesOnAStrand(const Model& m) {
    std::map<std::pair<std::string, int>, int> count;
    int most = 0;
    for (const SiteLine& s : m.sites) most = std::max(most, ++count[{s.name, s.flag}]);
    return most;
}

TEST(CliPost, TopModelHoldsThePlantedSites) {
    PlantedRun run;
    ASSERT_EQ(run.set.sites.size(), 20u);
    Result r = run.Run("-seed 7", "result.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Finish the Post Processing.\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Post Processing is skipped."), std::string::npos);
    const std::vector<Model> models = ParseReport(run.dir.read("result.txt"));
    ASSERT_FALSE(models.empty());
    EXPECT_LE(models.size(), 5u);
    const Model& top = models[0];
    EXPECT_NE(top.text.find(" MAP Score: "), std::string::npos) << top.text;
    EXPECT_NE(top.text.find("No. of sites: " + std::to_string(top.sites.size()) + "\n"), std::string::npos)
        << top.text;

    // Every site line gives the forward letters at its forward coordinates.
    const std::map<std::string, std::string> seqs = Sequences(run.set.fasta);
    for (const SiteLine& s : top.sites) {
        ASSERT_EQ(seqs.count(s.name), 1u) << s.name;
        EXPECT_EQ(s.end, s.start + 9) << s.name;
        ASSERT_GE(s.start, 1);
        EXPECT_EQ(s.letters, seqs.at(s.name).substr(s.start - 1, 10)) << s.name << " " << s.start;
    }

    // A planted copy counts as found when a site of the top model covers at
    // least 8 of its 10 letters (the search may settle one or two letters off
    // the planted frame), on either strand.
    int found = 0;
    for (const planted::Site& p : run.set.sites) {
        for (const SiteLine& s : top.sites) {
            if (s.name == p.name && std::abs(s.start - (p.start + 1)) <= 2) {
                ++found;
                break;
            }
        }
    }
    EXPECT_GE(found, 16) << top.text;

    // At most -ns (default 2) sites on any strand, in every reported model.
    for (size_t i = 0; i < models.size(); ++i) EXPECT_LE(MostSitesOnAStrand(models[i]), 2) << models[i].text;
}

TEST(CliPost, TheSameSeedRepeatsTheFileAndNsSetsTheLimit) {
    PlantedRun run;
    Result a = run.Run("-seed 11 -ns 3", "a.txt");
    Result b = run.Run("-seed 11 -ns 3", "b.txt");
    ASSERT_EQ(a.status, 0) << a.out;
    ASSERT_EQ(b.status, 0) << b.out;
    const std::string first = run.dir.read("a.txt");
    ASSERT_NE(first.find("Motif Rank #1\n"), std::string::npos) << first;
    EXPECT_EQ(first, run.dir.read("b.txt"));
    const std::vector<Model> models = ParseReport(first);
    ASSERT_FALSE(models.empty());
    for (const Model& m : models) {
        EXPECT_NE(m.text.find(" MAP Score: "), std::string::npos) << m.text;
        EXPECT_LE(MostSitesOnAStrand(m), 3) << m.text;
    }
}

TEST(CliPost, ABackgroundLackingWordsStillGivesTheFullReport) {
    // Every word with CG left out: the planted motif TGACGTCATG has background
    // probability 0, so the models holding it score an infinite MAP score.
    PlantedRun run;
    std::string background;
    std::istringstream in(clitest::FlatBackground());
    std::string line;
    while (std::getline(in, line))
        if (line.find("CG") == std::string::npos) background += line + "\n";
    run.dir.write("bg.freq", background);
    Result r = run.Run("-seed 7", "result.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<Model> models = ParseReport(run.dir.read("result.txt"));
    ASSERT_FALSE(models.empty());
    EXPECT_NE(models[0].text.find(" MAP Score: inf\n"), std::string::npos) << models[0].text;
    EXPECT_FALSE(models[0].sites.empty());
}

TEST(CliPost, WithoutPostProcessingTheReportHasNoMapScore) {
    PlantedRun run;
    Result r = run.Run("-seed 7 -post F", "result.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Post Processing is skipped.\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Finish the Post Processing."), std::string::npos);
    const std::string report = run.dir.read("result.txt");
    EXPECT_EQ(report.find(" MAP Score: "), std::string::npos);
    const std::vector<Model> models = ParseReport(report);
    ASSERT_EQ(models.size(), 5u);
    // The genetic form: one site per strand, 20 sequences on both strands.
    for (const Model& m : models) EXPECT_EQ(m.sites.size(), 40u);
}

}  // namespace
