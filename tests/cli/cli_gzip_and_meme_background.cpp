// Gzipped inputs of both programs, and qiro-freq's conversion of MEME background files.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_util.h"
#include "output_fixture.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;
using outtest::kForcedFasta;
using outtest::Lines;
using outtest::Revcomp;
using outtest::SkewedBackground;
using outtest::StableOutput;
using outtest::WriteGz;

// ------------------------------------------------------------- gzip input

class PlantedWithKnownSites : public ::testing::Test {
protected:
    WorkDir dir;
    std::string fasta, pk;
    void SetUp() override {
        planted::Options o;
        o.sequences = 8;
        o.length = 60;
        o.maxMutations = 1;
        planted::Set set = planted::Make(o);
        fasta = set.fasta;
        // Five known sites: planted copies, read in the motif's direction.
        for (size_t i = 0; i < 5; ++i) {
            const planted::Site& site = set.sites[i];
            pk += (site.forward ? site.text : Revcomp(site.text)) + "\n";
        }
        dir.write("in.fa", fasta);
        dir.write("pk.txt", pk);
        dir.write("bg.freq", SkewedBackground());
    }
    Result Run(const std::string& in, const std::string& pkFile, const std::string& freq,
               const std::string& out) const {
        return dir.qiro("-i " + in + " -pk " + pkFile + " -freq " + freq + " -p 30 -g 15 -seed 9 -o " + out);
    }
};

TEST_F(PlantedWithKnownSites, GzippedInputsGiveTheSameRun) {
    WriteGz(dir, "in.fa.gz", {fasta});
    WriteGz(dir, "pk.txt.gz", {pk});
    WriteGz(dir, "bg.freq.gz", {SkewedBackground()});
    Result plain = Run("in.fa", "pk.txt", "bg.freq", "plain.out");
    Result packed = Run("in.fa.gz", "pk.txt.gz", "bg.freq.gz", "packed.out");
    ASSERT_EQ(plain.status, 0) << plain.out;
    ASSERT_EQ(packed.status, 0) << packed.out;
    EXPECT_NE(dir.read("plain.out").find("Motif Rank #1\n"), std::string::npos);
    EXPECT_EQ(dir.read("packed.out"), dir.read("plain.out"));
    // Only the file names differ on the console.
    std::string out = packed.out;
    const std::pair<std::string, std::string> names[] = {
        {"in.fa.gz", "in.fa"}, {"pk.txt.gz", "pk.txt"}, {"bg.freq.gz", "bg.freq"}, {"packed.out", "plain.out"}};
    for (const auto& [from, to] : names)
        for (size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + 1))
            out.replace(at, from.size(), to);
    EXPECT_EQ(StableOutput(out), StableOutput(plain.out));
}

TEST_F(PlantedWithKnownSites, GzipMembersAreReadOneAfterAnother) {
    // The FASTA split in three members mid-line, as bgzip cuts blocks anywhere.
    const size_t a = fasta.size() / 3, b = 2 * fasta.size() / 3;
    WriteGz(dir, "in.fa.gz", {fasta.substr(0, a), fasta.substr(a, b - a), fasta.substr(b)});
    Result plain = Run("in.fa", "pk.txt", "bg.freq", "plain.out");
    Result packed = Run("in.fa.gz", "pk.txt", "bg.freq", "packed.out");
    ASSERT_EQ(packed.status, 0) << packed.out;
    EXPECT_EQ(dir.read("packed.out"), dir.read("plain.out"));
}

TEST_F(PlantedWithKnownSites, DamagedGzipEndsTheRunWithAMessage) {
    WriteGz(dir, "whole.gz", {fasta});
    const std::string whole = dir.read("whole.gz");
    dir.write("cut.fa.gz", whole.substr(0, whole.size() / 2));
    Result cut = Run("cut.fa.gz", "pk.txt", "bg.freq", "r.out");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.out.find("Error: Cannot read Sequence file named cut.fa.gz: the compressed data end early"),
              std::string::npos)
        << cut.out;
    EXPECT_NE(cut.out.find("System aborted. \n"), std::string::npos);

    std::string broken = whole;
    for (size_t i = 12; i < broken.size() - 8; ++i) broken[i] = static_cast<char>(0xff);
    dir.write("broken.freq.gz", broken);
    Result bad = Run("in.fa", "pk.txt", "broken.freq.gz", "r.out");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Error: Cannot read Freq file named broken.freq.gz: the compressed data are damaged"),
              std::string::npos)
        << bad.out;
}

TEST_F(PlantedWithKnownSites, PlainLinesAddedToAGzipFileEndTheRunNamingIt) {
    // `cat more.fa >> in.fa.gz`: the records after the compressed part would be lost.
    const size_t half = fasta.find('>', fasta.size() / 2);
    WriteGz(dir, "in.fa.gz", {fasta.substr(0, half)});
    dir.write("in.fa.gz", dir.read("in.fa.gz") + fasta.substr(half));
    Result r = Run("in.fa.gz", "pk.txt", "bg.freq", "r.out");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Cannot read Sequence file named in.fa.gz: after its gzip-compressed data"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(dir.exists("r.out"));
}

TEST_F(PlantedWithKnownSites, MissingGzipFileKeepsTheOpeningMessage) {
    Result r = Run("in.fa", "none.txt.gz", "bg.freq", "r.out");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Cannot open Pre-knowledge file named none.txt.gz\nSystem aborted. \n"),
              std::string::npos)
        << r.out;
}

TEST(CliOutputsFreq, QiroFreqReadsGzippedFasta) {
    WorkDir dir;
    const std::string fasta = ">a\nACGTTGCAAC\n>b\nggatcc\n";
    dir.write("in.fa", fasta);
    WriteGz(dir, "in.fa.gz", {fasta.substr(0, 7), fasta.substr(7)});
    Result plain = dir.qiroFreq("in.fa");
    Result packed = dir.qiroFreq("in.fa.gz");
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(Lines(packed.out).size(), 340u);
    EXPECT_EQ(packed.out, plain.out);
    dir.write("bad.gz", std::string("\x1f\x8b\x08\x00", 4) + std::string(40, '\xff'));
    Result bad = dir.qiroFreq("bad.gz");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("qiro-freq: cannot read bad.gz: "), std::string::npos) << bad.err;
}

// ------------------------------------------------------------- MEME background

std::map<std::string, std::string> FreqValues(const std::string& text) {
    std::map<std::string, std::string> v;
    for (const std::string& line : Lines(text)) {
        std::istringstream in(line);
        std::string index, word, value;
        in >> index >> word >> value;
        v[word] = value;
    }
    return v;
}

// An order-1 MEME background: single letters, then the sixteen pairs.
const char kMemeOrder1[] =
    "# order 0\n"
    "A 3.000e-01\nC 2.000e-01\nG 2.000e-01\nT 3.000e-01\n"
    "# order 1\n"
    "AA 0.1\nAC 0.05\nAG 0.05\nAT 0.1\n"
    "CA 0.08\nCC 0.04\nCG 0.02\nCT 0.06\n"
    "GA 0.06\nGC 0.05\nGG 0.05\nGT 0.04\n"
    "TA 0.06\nTC 0.06\nTG 0.08\nTT 0.1\n";

TEST(CliOutputsFreq, MemeBackgroundBecomesConditionalProbabilities) {
    WorkDir dir;
    dir.write("bg.meme", kMemeOrder1);
    Result r = dir.qiroFreq("-m bg.meme -o bg.freq");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = dir.read("bg.freq");
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 340u);
    EXPECT_EQ(lines[0], "0 A 0.3");
    EXPECT_EQ(lines[4], "4 AA 0.3333333333");  // 0.1 / 0.3
    const std::map<std::string, std::string> v = FreqValues(text);
    EXPECT_EQ(v.at("C"), "0.2");
    EXPECT_EQ(v.at("AC"), "0.1666666667");  // 0.05 / 0.3
    EXPECT_EQ(v.at("CA"), "0.4");           // 0.08 / 0.2
    EXPECT_EQ(v.at("CG"), "0.1");           // 0.02 / 0.2
    EXPECT_EQ(v.at("TT"), "0.3333333333");  // 0.1 / 0.3
    // Longer words depend on their last two letters only.
    EXPECT_EQ(v.at("GCA"), "0.4");
    EXPECT_EQ(v.at("TTCG"), "0.1");
    EXPECT_EQ(v.at("AAAC"), "0.1666666667");
    // The file loads as a background (no warning about missing words).
    dir.write("in.fa", kForcedFasta);
    Result run = dir.qiro("-i in.fa -freq bg.freq -k 5 -p 10 -g 10 -seed 1 -post F -o r.out");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find("Warning"), std::string::npos) << run.out;
}

TEST(CliOutputsFreq, MemeBackgroundOfOrderZeroOrAboveThreeAndGzipped) {
    WorkDir dir;
    dir.write("zero.meme", "# order 0\nA 0.35\nC 0.15\nG 0.15\nT 0.35\n");
    Result zero = dir.qiroFreq("-m zero.meme");
    ASSERT_EQ(zero.status, 0) << zero.err;
    std::map<std::string, std::string> v = FreqValues(zero.out);
    EXPECT_EQ(v.size(), 340u);
    EXPECT_EQ(v.at("GT"), "0.35");
    EXPECT_EQ(v.at("ACGC"), "0.15");

    // Order 4: every word of one to five letters, each joint probability the
    // product of its letters' shares; the five-letter words are not used.
    const double share[4] = {0.4, 0.1, 0.1, 0.4};
    std::string text;
    for (int len = 1; len <= 5; ++len) {
        text += "# order " + std::to_string(len - 1) + "\n";
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            std::string w;
            double p = 1;
            for (int i = len - 1; i >= 0; --i) {
                w += "ACGT"[(code >> (2 * i)) & 3];
                p *= share[(code >> (2 * i)) & 3];
            }
            char num[40];
            std::snprintf(num, sizeof num, "%.12g", p);
            text += w + " " + num + "\n";
        }
    }
    WriteGz(dir, "four.meme.gz", {text});
    Result four = dir.qiroFreq("-m four.meme.gz");
    ASSERT_EQ(four.status, 0) << four.err;
    v = FreqValues(four.out);
    EXPECT_EQ(v.at("ACGT"), "0.4");
    EXPECT_EQ(v.at("TTTC"), "0.1");
    EXPECT_EQ(v.count("ACGTA"), 0u);
}

TEST(CliOutputsFreq, NotAMemeBackgroundIsRefused) {
    WorkDir dir;
    struct Case {
        std::string text, message;
    };
    const Case cases[] = {
        {"A 0.3\nC 0.2\nG 0.2\n", "it lists 3 of the 4 words of 1 letter"},
        {"A 0.3\nC 0.2\nG 0.2\nT 0.3\nAA 0.1\n", "it lists 1 of the 16 words of 2 letters"},
        {"A 0.3\nC 0.2\nN 0.2\nT 0.3\n", "line 3: \"N\" is not a word over A, C, G, T"},
        {"A 0.3\nC x\n", "line 2: expected a word and a probability (0 or more)"},
        {"# nothing\n", "it lists no probability for the single letters A, C, G and T"},
        {"A 0.3\nC 0\nG 0.4\nT 0.3\nAA .1\nAC .1\nAG .1\nAT .1\nCA 0\nCC 0\nCG 0\nCT 0\nGA .1\nGC .1\nGG .1\nGT .1\n"
         "TA .1\nTC .1\nTG .1\nTT .1\n",
         "the word C has probability 0, so no letter can follow it"},
    };
    for (const Case& c : cases) {
        dir.write("bg.meme", c.text);
        Result r = dir.qiroFreq("-m bg.meme");
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "qiro-freq: bg.meme is not a MEME background file: " + c.message + "\n") << c.text;
    }
    dir.write("in.fa", kForcedFasta);
    dir.write("bg.meme", kMemeOrder1);
    Result both = dir.qiroFreq("-m bg.meme in.fa");
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find("give no FASTA file with it"), std::string::npos) << both.err;
}

}  // namespace
