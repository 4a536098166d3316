// How a judged run calls its motif's sites: a mixture fitted to the input,
// chosen from it, then refined by soft EM. Two sites in every sequence are
// both called (TCM), half the sequences without a site stay empty (ZOOPS),
// the JSON names the rule and carries the refined model, from which a scan
// calls the same sites; -sitemodel fitted keeps the mixture unrefined and
// threshold the judge's threshold.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kRun = "-i in.fa -freq bg.freq -k 12 -seed 2 -verbose -evalue 0.05 -json out.json";

const std::string kMotif = "TTGACATGCAAG";

// n random sequences of 150 * halves letters; each half of a sequence holds
// the motif (one letter in twelve changed, on a random strand) with
// probability share. sites: the places of the sites as (sequence, 1-based start).
std::string Planted(int n, int halves, double share, uint32_t seed, std::set<std::pair<std::string, int>>& sites) {
    std::mt19937 gen(seed);
    auto below = [&](int k) { return static_cast<int>(gen() % static_cast<uint32_t>(k)); };
    std::string fasta;
    sites.clear();
    for (int i = 0; i < n; ++i) {
        const std::string name = "seq" + std::to_string(i + 1);
        std::string s(static_cast<size_t>(150 * halves), 'A');
        for (char& c : s) c = "ACGT"[below(4)];
        for (int h = 0; h < halves; ++h) {
            if (below(1000) >= share * 1000) continue;
            std::string site = kMotif;
            if (below(2)) site[static_cast<size_t>(below(12))] = "ACGT"[below(4)];
            if (below(2)) {
                std::string rc(site.rbegin(), site.rend());
                for (char& c : rc) c = "TGCA"[std::string("ACGT").find(c)];
                site = rc;
            }
            const int start = 150 * h + below(150 - 12);
            s.replace(static_cast<size_t>(start), 12, site);
            sites.insert({name, start + 1});
        }
        fasta += ">" + name + "\n" + s + "\n";
    }
    return fasta;
}

struct Calls {
    std::string model;
    bool refined = false;
    int planted = 0, other = 0, most = 0;  // calls at a planted site, elsewhere; most in one sequence
};

Calls Read(const WorkDir& dir, const std::set<std::pair<std::string, int>>& sites) {
    Calls c;
    const nlohmann::json j = nlohmann::json::parse(dir.read("out.json"));
    if (j["motifs"].empty()) return c;
    const nlohmann::json& m = j["motifs"][0];
    if (m.contains("site_model")) {
        c.model = m["site_model"]["model"];
        c.refined = m["site_model"].contains("refined");
    }
    std::map<std::string, int> per;
    for (const auto& s : m["sites"]) {
        const std::string name = s["sequence"];
        (sites.count({name, s["start"].get<int>()}) ? c.planted : c.other) += 1;
        c.most = std::max(c.most, ++per[name]);
    }
    return c;
}

TEST(SiteModel, TwoSitesInEverySequenceAreBothCalled) {
    WorkDir dir;
    std::set<std::pair<std::string, int>> sites;
    dir.write("in.fa", Planted(40, 2, 1.0, 11, sites));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun + " -sitemodel em");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sites called by TCM (any number of sites per sequence; chosen from the input"),
              std::string::npos) << r.out;
    const Calls c = Read(dir, sites);
    EXPECT_EQ(c.model, "tcm");
    EXPECT_TRUE(c.refined);
    EXPECT_GE(c.planted, 72) << "of 80";
    EXPECT_LE(c.other, 4);
    Result rescan = dir.run("python3", "'" + std::string(QIRO_SOURCE_DIR) + "/tools/rescan.py' out.json in.fa --check");
    EXPECT_EQ(rescan.status, 0) << rescan.err;
}

TEST(SiteModel, SequencesWithoutASiteStayEmptyAndTheThresholdRuleStaysAtHand) {
    WorkDir dir;
    std::set<std::pair<std::string, int>> sites;
    dir.write("in.fa", Planted(90, 1, 0.5, 13, sites));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro(kRun);  // the default: the fitted rule, refined
    ASSERT_EQ(r.status, 0) << r.out;
    const Calls c = Read(dir, sites);
    EXPECT_EQ(c.model, "zoops") << r.out;
    EXPECT_TRUE(c.refined) << r.out;
    EXPECT_EQ(c.most, 1);
    EXPECT_GE(c.planted, static_cast<int>(sites.size()) - 3) << "of " << sites.size();
    // At a share above one half the refined model calls an empty sequence whose windows
    // look a little like the motif: most stay empty.
    EXPECT_LE(c.other, 6) << r.out;
    Result rescan = dir.run("python3", "'" + std::string(QIRO_SOURCE_DIR) + "/tools/rescan.py' out.json in.fa --check");
    EXPECT_EQ(rescan.status, 0) << rescan.err;

    r = dir.qiro(kRun + " -sitemodel fitted");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("refined by soft EM"), std::string::npos);
    const Calls fitted = Read(dir, sites);
    EXPECT_EQ(fitted.model, "zoops");
    EXPECT_FALSE(fitted.refined);
    EXPECT_GE(fitted.planted, static_cast<int>(sites.size()) - 3) << "of " << sites.size();
    EXPECT_LE(fitted.other, 2) << r.out;
    rescan = dir.run("python3", "'" + std::string(QIRO_SOURCE_DIR) + "/tools/rescan.py' out.json in.fa --check");
    EXPECT_EQ(rescan.status, 0) << rescan.err;

    r = dir.qiro(kRun + " -sitemodel threshold");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Site calls: threshold"), std::string::npos);
    EXPECT_EQ(r.out.find("sites called by"), std::string::npos);
    EXPECT_EQ(Read(dir, sites).model, "");
    r = dir.qiro("-i in.fa -sitemodel any -verbose -evalue 0.05");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: -sitemodel takes em, em-zoops, em-tcm, fitted, fitted-zoops, fitted-tcm or threshold, "
                         "not \"any\"."),
              std::string::npos);
}

}  // namespace
