// Helpers shared by the command-line tests of a run's extra outputs, gzipped
// inputs and the terminal: a forced data set, result-file parsing, gzip files.
#ifndef QIRO_TESTS_OUTPUT_FIXTURE_H
#define QIRO_TESTS_OUTPUT_FIXTURE_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"
#include "planted.h"

namespace outtest {

using clitest::Result;
using clitest::WorkDir;

// Most expectations come from a forced data set: four sequences exactly as
// long as the motif (-k 5), so every strand has one window and every model
// holds the same sites. Its letter counts are worked out by hand:
//
//   seq1 ACGTA      column  1    2    3    4    5
//   seq2 ACGTT      A       3    0    0    0    3
//   seq3 ACCTA      C       0    4    1    0    0
//   seq4 TCGTA      G       0    0    3    0    0
//                   T       1    0    0    4    1      consensus ACGTA
inline constexpr char kForcedFasta[] = ">seq1\nACGTA\n>seq2\nACGTT\n>seq3\nACCTA\n>seq4\nTCGTA\n";
inline constexpr char kForcedRun[] = "-i in.fa -freq bg.freq -k 5 -p 10 -g 10 -seed 1 -post F";

// The flat background with the single letters set to A 0.3, C 0.2, G 0.2, T 0.3.
inline std::string SkewedBackground() {
    std::string text = clitest::FlatBackground();
    const char* first = "0 A 0.3\n1 C 0.2\n2 G 0.2\n3 T 0.3\n";
    size_t cut = 0;
    for (int i = 0; i < 4; ++i) cut = text.find('\n', cut) + 1;
    return first + text.substr(cut);
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> Fields(const std::string& line, char sep = '\t') {
    std::vector<std::string> f;
    std::istringstream in(line);
    std::string part;
    while (std::getline(in, part, sep)) f.push_back(part);
    return f;
}

inline std::string Revcomp(const std::string& s) { return planted::ReverseComplement(s); }

// Standard output without the lines that may differ between two runs of the
// same data: the echo of the command line and the elapsed time.
inline std::string StableOutput(const std::string& out) {
    std::string kept;
    for (const std::string& line : Lines(out))
        if (line.rfind("Arguments information:", 0) != 0 && line.rfind("Time taken:", 0) != 0) kept += line + "\n";
    return kept;
}

// One site line of a result file: ">name<TAB>letters<TAB>flag<TAB>start<TAB>end<TAB>score".
struct ReportSite {
    std::string name, letters, score;
    bool forward = true;
    int start = 0, end = 0;
};

struct ReportModel {
    std::string consensus;
    double mismatch = 0.0;
    std::string mapScore;  // empty when the report shows none
    std::vector<ReportSite> sites;
};

inline std::vector<ReportModel> ParseReport(const std::string& report) {
    std::vector<ReportModel> models;
    for (const std::string& line : Lines(report)) {
        if (line.rfind("Motif Rank #", 0) == 0) models.emplace_back();
        if (models.empty()) continue;
        ReportModel& m = models.back();
        if (line.rfind("Motif Model Mismatch Score: ", 0) == 0) m.mismatch = std::stod(line.substr(28));
        size_t c = line.find("Consensus: ");
        if (c != std::string::npos) {
            std::istringstream rest(line.substr(c + 11));
            rest >> m.consensus;
            size_t map = line.find(" MAP Score: ");
            if (map != std::string::npos) m.mapScore = line.substr(map + 12);
        }
        if (!line.empty() && line[0] == '>') {
            std::vector<std::string> f = Fields(line.substr(1));
            if (f.size() != 6) {
                ADD_FAILURE() << "site line: " << line;
                continue;
            }
            m.sites.push_back({f[0], f[1], f[5], f[2] == "1", std::stoi(f[3]), std::stoi(f[4])});
        }
    }
    return models;
}

// One gzip member holding text, compressed at the given level (0: stored).
inline std::string Gzipped(const std::string& text, int level = 6) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, text.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A gzip file of the given parts, each as its own gzip member (as bgzip writes).
inline void WriteGz(const WorkDir& dir, const std::string& name, const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& part : parts) all += Gzipped(part);
    dir.write(name, all);
}

inline bool HaveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class ForcedSet : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        dir.write("in.fa", kForcedFasta);
        dir.write("bg.freq", SkewedBackground());
    }
    Result Run(const std::string& extra) const { return dir.qiro(std::string(kForcedRun) + " " + extra); }
};

}  // namespace outtest

#endif  // QIRO_TESTS_OUTPUT_FIXTURE_H
