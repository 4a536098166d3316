// A run without -freq counts its background from its own sequences: the
// result is the one a background file of qiro-freq, counted from the same
// input with the same strands and masking, gives; the console, the JSON and
// the HTML say where the background came from.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kCountedLine = "Background: counted from the input sequences (no -freq given).\n";

// Sequences with a planted site and a lower-case stretch, so that the counts
// differ with the strands and with masking.
std::string Input() {
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < 12; ++i) {
        std::string s(80, 'A');
        for (char& c : s) c = "AACGTT"[rng() % 6];
        s.replace(10 + rng() % 30, 10, "TGACGTCATG");
        s.replace(50, 12, "acgcgcgtacgc");
        text += ">s" + std::to_string(i) + "\n" + s + "\n";
    }
    return text;
}

const std::string kRun = "-i in.fa -k 10 -seed 5 -g 15 -p 40 -threads 2 -o r.out -json r.json -html r.html";

struct Counting {
    std::string qiroOptions;  // strands and masking of the run
    std::string freqOptions;  // the same for qiro-freq
};

TEST(CountedBackground, RunWithoutFreqMatchesARunWithTheFileOfQiroFreq) {
    for (const Counting& c : {Counting{"", ""}, Counting{"-mask T", "-mask"}, Counting{"-d F", "-s"},
                              Counting{"-mask T -d F", "-mask -s"}}) {
        SCOPED_TRACE("qiro " + c.qiroOptions + " / qiro-freq " + c.freqOptions);
        WorkDir counted, filed;
        counted.write("in.fa", Input());
        filed.write("in.fa", Input());
        ASSERT_EQ(filed.qiroFreq(c.freqOptions + " -o bg.freq in.fa").status, 0);

        const Result a = counted.qiro(kRun + " " + c.qiroOptions);
        const Result b = filed.qiro(kRun + " -freq bg.freq " + c.qiroOptions);
        ASSERT_EQ(a.status, 0) << a.out;
        ASSERT_EQ(b.status, 0) << b.out;
        EXPECT_NE(a.out.find(kCountedLine), std::string::npos) << a.out;
        EXPECT_EQ(a.out.find("The background frequency file"), std::string::npos);
        EXPECT_NE(b.out.find("The background frequency file: bg.freq\n"), std::string::npos);
        EXPECT_EQ(b.out.find(kCountedLine), std::string::npos);

        ASSERT_FALSE(counted.read("r.out").empty());
        EXPECT_EQ(counted.read("r.out"), filed.read("r.out"));
        // The settings differ in the background's name only.
        nlohmann::json ja = nlohmann::json::parse(counted.read("r.json"));
        nlohmann::json jb = nlohmann::json::parse(filed.read("r.json"));
        EXPECT_EQ(ja["settings"]["background"], "counted from the input");
        EXPECT_EQ(jb["settings"]["background"], "bg.freq");
        ja["settings"].erase("background");
        jb["settings"].erase("background");
        EXPECT_EQ(ja, jb);
        EXPECT_NE(counted.read("r.html").find("<dt>background</dt><dd>counted from the input</dd>"),
                  std::string::npos);
    }
}

}  // namespace
