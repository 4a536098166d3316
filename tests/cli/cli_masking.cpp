// Masking (-mask, -dust): which windows may hold a site, what is reported,
// what happens to sequences with nothing left, and qiro-freq -mask.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_util.h"
#include "input/Midlayer.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kHint = "Use -mask T to leave out windows holding other letters.\n";
const std::string kMotif = "TGACGTCATG";

// Sequences holding the motif in upper case; every other one also an N run
// and a lower-case stretch that holds the motif as well, to tempt the search.
std::map<std::string, std::string> Soiled(int n) {
    std::mt19937 rng(21);
    std::map<std::string, std::string> seqs;
    for (int i = 0; i < n; ++i) {
        std::string s(90, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        s.replace(5 + rng() % 20, kMotif.size(), kMotif);
        if (i % 2 == 0) {
            s.replace(40, 8, "NNNNNNNN");
            std::string lower = "gc" + kMotif + "ta";
            for (char& c : lower) c = static_cast<char>(std::tolower(c));
            s.replace(60 + rng() % 10, lower.size(), lower);
        }
        seqs["s" + std::to_string(i)] = s;
    }
    return seqs;
}

std::string Fasta(const std::map<std::string, std::string>& seqs) {
    std::string text;
    for (const auto& e : seqs) text += ">" + e.first + "\n" + e.second + "\n";
    return text;
}

// The letters [start, end) of a sequence hold only upper-case A, C, G, T.
void ExpectClean(const std::map<std::string, std::string>& seqs, const std::string& name, int start, int end,
                 const char* where) {
    ASSERT_TRUE(seqs.count(name)) << where << " " << name;
    const std::string& s = seqs.at(name);
    ASSERT_TRUE(start >= 0 && start < end && end <= static_cast<int>(s.size())) << where;
    for (int i = start; i < end; ++i)
        EXPECT_NE(std::string("ACGT").find(s[i]), std::string::npos) << where << " " << name << " " << i;
}

TEST(Masking, NAndLowerCaseRunWithMaskAndNoReportedSiteTouchesThem) {
    WorkDir dir;
    const auto seqs = Soiled(16);
    dir.write("in.fa", Fasta(seqs));
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string base = "-i in.fa -freq bg.freq -k 10 -seed 1 -g 30 -p 40";

    // Without masking the letters end the run as before, then the way out.
    Result plain = dir.qiro(base);
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out.size() >= kHint.size() ? plain.out.substr(plain.out.size() - kHint.size()) : "", kHint);

    Result r = dir.qiro(base + " -mask T -bed s.bed -json s.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Mask lower-case and other letters: 1\nDUST level: 0\n"), std::string::npos);
    int sites = 0;
    std::istringstream result(dir.read("qiro.out"));
    for (std::string line; std::getline(result, line);) {
        if (line.empty() || line[0] != '>') continue;
        std::istringstream f(line.substr(1));
        std::string name, letters;
        int strand, start, end;
        f >> name >> letters >> strand >> start >> end;
        ExpectClean(seqs, name, start - 1, end, "result file");
        ++sites;
    }
    EXPECT_GT(sites, 0);
    std::istringstream bed(dir.read("s.bed"));
    for (std::string line; std::getline(bed, line);) {
        std::istringstream f(line);
        std::string name;
        int start, end;
        f >> name >> start >> end;
        ExpectClean(seqs, name, start, end, "BED");
    }
    const nlohmann::json j = nlohmann::json::parse(dir.read("s.json"));
    EXPECT_EQ(j["settings"]["mask"], true);
    EXPECT_EQ(j["settings"]["dust"], 0.0);
    for (const auto& m : j["motifs"])
        for (const auto& s : m["sites"])
            ExpectClean(seqs, s["sequence"], s["start"].get<int>() - 1, s["end"].get<int>(), "JSON");
}

TEST(Masking, DustKeepsSitesOutOfLowComplexityRuns) {
    WorkDir dir;
    // Every sequence holds the same A/T run and nothing else in common:
    // without masking nearly every reported site lies in it.
    std::mt19937 rng(8);
    std::map<std::string, std::string> seqs;
    const std::string run = "AAAAAAAAAAAAAAATTTTTTTTTTTTTTT";
    for (int i = 0; i < 12; ++i) {
        std::string s(80, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        s.replace(45, run.size(), run);
        seqs["r" + std::to_string(i)] = s;
    }
    dir.write("in.fa", Fasta(seqs));
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -seed 2 -g 30 -p 40 -dust 20 -json d.json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("DUST level: 20\n"), std::string::npos);
    const nlohmann::json j = nlohmann::json::parse(dir.read("d.json"));
    EXPECT_EQ(j["settings"].value("dust", -1.0), 20.0);
    EXPECT_EQ(j["settings"].value("mask", true), false);
    int sites = 0;
    for (const auto& m : j["motifs"]) {
        for (const auto& site : m["sites"]) {
            const int start = site["start"].get<int>() - 1, end = site["end"].get<int>();
            EXPECT_TRUE(end <= 45 || start >= 45 + static_cast<int>(run.size())) << site.dump();
            ++sites;
        }
    }
    EXPECT_GT(sites, 0);
}

TEST(Masking, SequencesWithNothingLeftAreCountedAndAnEmptyInputEndsTheRun) {
    WorkDir dir;
    dir.write("bg.freq", clitest::FlatBackground());
    std::string clean = "ACGTTGCAAGCTTAGGCTAACGTAGCTAGGATCCA";
    // Lower case throughout; N every fifth letter: no window of 6 is free.
    dir.write("in.fa", ">a\n" + clean + "\n>b\nacgttgcaagcttaggc\n>c\nACGTNACGTNACGTNACGTN\n>d\n" + clean + "\n");
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 6 -seed 1 -g 10 -p 10 -mask T -d F");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Warning: 2 of 4 sequences have no window of 6 letters free of masked letters; they are left "
                         "out of the search.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("qiro.out").find(">b\t"), std::string::npos);
    EXPECT_EQ(dir.read("qiro.out").find(">c\t"), std::string::npos);

    dir.write("none.fa", ">b\nacgttgcaagcttaggc\n>c\nACGTNACGTNACGTNACGTN\n");
    r = dir.qiro("-i none.fa -freq bg.freq -k 6 -seed 1 -g 10 -p 10 -mask T");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: every window of 6 letters in none.fa holds a masked letter (-mask, -dust); no "
                         "sequence is left to search. System aborted. \n"),
              std::string::npos)
        << r.out;
}

TEST(Masking, NothingToMaskChangesNoResultAndABadLevelIsRepaired) {
    WorkDir dir;
    auto seqs = Soiled(10);
    for (auto& e : seqs)
        for (char& c : e.second) c = c == 'N' ? 'A' : static_cast<char>(std::toupper(c));
    dir.write("in.fa", Fasta(seqs));
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string base = "-i in.fa -freq bg.freq -k 10 -seed 3 -g 20 -p 30 -pkq 0";
    ASSERT_EQ(dir.qiro(base + " -o plain.out -json plain.json").status, 0);
    ASSERT_EQ(dir.qiro(base + " -o masked.out -mask T").status, 0);
    Result bad = dir.qiro(base + " -o bad.out -dust 1e2x");
    ASSERT_EQ(bad.status, 0);
    EXPECT_NE(bad.out.find("-dust=1e2x is unhealthy! Reset to the default value: 0 .\n"), std::string::npos);
    EXPECT_EQ(bad.out.find("DUST level"), std::string::npos);
    EXPECT_EQ(dir.read("masked.out"), dir.read("plain.out"));
    EXPECT_EQ(dir.read("bad.out"), dir.read("plain.out"));
    const nlohmann::json j = nlohmann::json::parse(dir.read("plain.json"));
    EXPECT_FALSE(j["settings"].contains("mask"));
    EXPECT_FALSE(j["settings"].contains("dust"));
}

TEST(Masking, MaskedWindowsAreNeitherCountedNorDrawnAsNoise) {
    WorkDir dir;
    // Lower-case a's around upper-case C/G: with -mask only C/G windows remain.
    dir.write("in.fa", ">x\naaaaaaCCGCGGCCGCaaaaaa\n>y\naaaGGCCGCGCCaaaaaaaa\n");
    Midlayer data;
    MaskSettings mask;
    mask.softMask = true;
    data.SetMasking(mask);
    data.SetDoubleStrand(false);
    testing::internal::CaptureStdout();
    data.OpenSeqFile(dir.file("in.fa"));
    data.LoadSeqs();
    data.SetK(4);
    data.ExcludeShortSeqs();
    data.ComputePosFreq(false);
    testing::internal::GetCapturedStdout();
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(data.PosFreq[0][j], 0.0) << j;  // no A in an open window
        EXPECT_EQ(data.PosFreq[3][j], 0.0) << j;
    }
    SeedRandom(5);
    const std::vector<PK> noise = ChooseSites({}, 0, 200, data.Seqs, data.NumSeq, 4);
    ASSERT_EQ(noise.size(), 200u);
    for (const PK& site : noise) EXPECT_EQ(site.Seq.find_first_of("AT"), std::string::npos) << site.Seq;
}

TEST(Masking, QiroFreqMaskBreaksWordsAtLowerCase) {
    WorkDir dir;
    dir.write("soft.fa", ">x\nACGTacgtTTGAccaGGAT\n>y\nggggCATTAG\n");
    dir.write("hard.fa", ">x\nACGTNNNNTTGANNNGGAT\n>y\nNNNNCATTAG\n");
    Result soft = dir.qiroFreq("-mask soft.fa");
    Result hard = dir.qiroFreq("hard.fa");
    ASSERT_EQ(soft.status, 0) << soft.err;
    EXPECT_EQ(soft.out, hard.out);
    EXPECT_NE(dir.qiroFreq("soft.fa").out, hard.out);  // without -mask lower case counts
}

}  // namespace
