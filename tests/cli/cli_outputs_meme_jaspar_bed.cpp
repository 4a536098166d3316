// The MEME, JASPAR and BED outputs of a run, and the options that ask for the extra outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"
#include "output_fixture.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;
using outtest::ForcedSet;
using outtest::kForcedFasta;
using outtest::Lines;
using outtest::ParseReport;
using outtest::ReportModel;
using outtest::ReportSite;
using outtest::Revcomp;
using outtest::SkewedBackground;
using outtest::StableOutput;

// A Python that has Biopython: Debian's (python3-biopython) first, then the one on PATH.
std::string PythonWithBiopython() {
    for (const char* py : {"/usr/bin/python3", "python3"}) {
        std::string cmd = std::string(py) + " -c 'import Bio.motifs' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) return py;
    }
    return "";
}

// ------------------------------------------------------------- options

TEST(CliOutputsUsage, NewOptionsFollowTheExistingOnes) {
    WorkDir dir;
    Result r = dir.qiro("-h");
    ASSERT_EQ(r.status, 0);
    const std::string& out = r.out;
    size_t seed = out.find("\t[-seed <number>]");
    ASSERT_NE(seed, std::string::npos) << out;
    size_t last = seed;
    for (const char* word : {"\t[-meme <", "\t[-jaspar <", "\t[-bed <", "\t[-json <", "\t[-html <", "\t[-verbose]"}) {
        size_t at = out.find(word);
        ASSERT_NE(at, std::string::npos) << word;
        EXPECT_GT(at, last) << word;
        last = at;
    }
    // The usage text still closes with its three line ends.
    EXPECT_EQ(out.find("\n\n\n", seed), out.find("\n", last)) << out.substr(seed);
}

TEST_F(ForcedSet, RunAskingForNoOutputWritesOnlyTheResultFile) {
    Result plain = Run("-o r.out");
    ASSERT_EQ(plain.status, 0) << plain.out;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".stderr", ".stdin", ".stdout", "bg.freq", "in.fa", "r.out"}));
    EXPECT_EQ(plain.err, "");
    const std::string report = dir.read("r.out");

    Result all = Run("-o r.out -meme m.meme -jaspar m.jaspar -bed m.bed -json m.json -html m.html");
    ASSERT_EQ(all.status, 0) << all.out;
    EXPECT_EQ(StableOutput(all.out), StableOutput(plain.out));
    EXPECT_EQ(dir.read("r.out"), report);
    for (const char* f : {"m.meme", "m.jaspar", "m.bed", "m.json", "m.html"}) EXPECT_TRUE(dir.exists(f)) << f;
}

TEST_F(ForcedSet, OutputOptionWithoutUsableNameIsIgnored) {
    Result r = Run("-o r.out -meme -bed b.bed");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(dir.exists("b.bed"));
    EXPECT_FALSE(dir.exists("-bed"));
    EXPECT_FALSE(dir.exists("-meme"));
}

TEST_F(ForcedSet, UnwritableOutputEndsTheRunBeforeAnyWork) {
    Result r = Run("-d F -o r.out -meme no/such/dir/m.meme -jaspar m.jaspar");
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: Cannot write the MEME file named no/such/dir/m.meme. System aborted. \n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(dir.exists("m.jaspar"));
    EXPECT_FALSE(dir.exists("r.out"));
}

// ------------------------------------------------------------- MEME and JASPAR

std::string ForcedMemeMotif(int rank) {
    return "MOTIF QIRO-" + std::to_string(rank) +
           " ACGTA\n"
           "letter-probability matrix: alength= 4 w= 5 nsites= 4 E= 0\n"
           " 0.750000  0.000000  0.000000  0.250000\n"
           " 0.000000  1.000000  0.000000  0.000000\n"
           " 0.000000  0.250000  0.750000  0.000000\n"
           " 0.000000  0.000000  0.000000  1.000000\n"
           " 0.750000  0.000000  0.000000  0.250000\n"
           "\n";
}

TEST_F(ForcedSet, MemeFileHoldsTheFiveModelsWithTheirShares) {
    Result r = Run("-d F -meme m.meme");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string expected =
        "MEME version 4\n\n"
        "ALPHABET= ACGT\n\n"
        "strands: +\n\n"
        "Background letter frequencies\n"
        "A 0.300000 C 0.200000 G 0.200000 T 0.300000\n\n";
    for (int rank = 1; rank <= 5; ++rank) expected += ForcedMemeMotif(rank);
    EXPECT_EQ(dir.read("m.meme"), expected);
}

TEST_F(ForcedSet, BothStrandsShowInTheMemeStrandsLineAndTheShares) {
    // Both strands: the four sites and their reverse complements TACGT, AACGT,
    // TAGGT, TACGA; every column holds two letters four times each, and of equal
    // shares the earlier letter makes the consensus.
    Result r = Run("-meme m.meme -jaspar m.jaspar");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string meme = dir.read("m.meme");
    EXPECT_NE(meme.find("\nstrands: + -\n"), std::string::npos) << meme;
    EXPECT_NE(meme.find("MOTIF QIRO-1 AACGA\n"
                        "letter-probability matrix: alength= 4 w= 5 nsites= 8 E= 0\n"
                        " 0.500000  0.000000  0.000000  0.500000\n"
                        " 0.500000  0.500000  0.000000  0.000000\n"
                        " 0.000000  0.500000  0.500000  0.000000\n"
                        " 0.000000  0.000000  0.500000  0.500000\n"
                        " 0.500000  0.000000  0.000000  0.500000\n\n"),
              std::string::npos)
        << meme;
    EXPECT_EQ(dir.read("m.jaspar").rfind(
                  ">QIRO-1\tAACGA\nA [ 4 4 0 0 4 ]\nC [ 0 4 4 0 0 ]\nG [ 0 0 4 4 0 ]\nT [ 4 0 0 4 4 ]\n", 0),
              0u);
}

TEST_F(ForcedSet, JasparFileHoldsTheLetterCounts) {
    Result r = Run("-d F -jaspar m.jaspar");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string expected;
    for (int rank = 1; rank <= 5; ++rank)
        expected += ">QIRO-" + std::to_string(rank) +
                    "\tACGTA\nA [ 3 0 0 0 3 ]\nC [ 0 4 1 0 0 ]\nG [ 0 0 3 0 0 ]\nT [ 1 0 0 4 1 ]\n";
    EXPECT_EQ(dir.read("m.jaspar"), expected);
}

// Every row of every MEME matrix sums to 1 and the shares times nsites give the
// JASPAR counts, on a real search with post-processing.
TEST(CliOutputsFormats, MemeSharesAndJasparCountsAgreeOnAPlantedSet) {
    WorkDir dir;
    planted::Options o;
    o.sequences = 12;
    o.length = 80;
    o.maxMutations = 2;
    dir.write("in.fa", planted::Make(o).fasta);
    dir.write("bg.freq", SkewedBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 40 -g 30 -seed 5 -o r.out -meme m.meme -jaspar m.jaspar");
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::vector<double>> shares;  // rows of every matrix
    std::vector<int> nsites;
    for (const std::string& line : Lines(dir.read("m.meme"))) {
        if (line.rfind("letter-probability matrix:", 0) == 0) {
            nsites.push_back(std::stoi(line.substr(line.find("nsites= ") + 8)));
            continue;
        }
        std::istringstream in(line);
        std::vector<double> row;
        double v;
        while (in >> v) row.push_back(v);
        if (row.size() == 4 && line[0] == ' ') shares.push_back(row);
    }
    ASSERT_EQ(nsites.size(), 5u);
    ASSERT_EQ(shares.size(), 50u);
    for (const auto& row : shares) EXPECT_NEAR(row[0] + row[1] + row[2] + row[3], 1.0, 1e-12);

    std::vector<std::vector<double>> counts;  // [model * 4 + base][column]
    for (const std::string& line : Lines(dir.read("m.jaspar"))) {
        if (line.empty() || line[0] == '>') continue;
        ASSERT_GE(line.size(), 5u);
        std::istringstream in(line.substr(3, line.size() - 4));
        std::vector<double> row;
        double v;
        while (in >> v) row.push_back(v);
        counts.push_back(row);
    }
    ASSERT_EQ(counts.size(), 20u);
    for (int m = 0; m < 5; ++m)
        for (int j = 0; j < 10; ++j)
            for (int b = 0; b < 4; ++b)
                // Shares are written to millionths: each is off by less than 1e-6.
                EXPECT_NEAR(shares[m * 10 + j][b] * nsites[m], counts[m * 4 + b][j], 1e-6 * nsites[m])
                    << m << " " << j;
}

TEST(CliOutputsFormats, BiopythonReadsBackTheMemeAndJasparMatrices) {
    const std::string python = PythonWithBiopython();
    if (python.empty()) GTEST_SKIP() << "no python3 with Biopython (make deps installs python3-biopython)";
    const std::string script = std::string(QIRO_SOURCE_DIR) + "/tests/motif_roundtrip.py";
    struct Case {
        std::string fasta, options, both;
    };
    planted::Options o;
    o.sequences = 10;
    o.length = 70;
    o.maxMutations = 2;
    const Case cases[] = {
        {kForcedFasta, "-k 5 -p 10 -g 10 -post F -d F", "0"},
        {planted::Make(o).fasta, "-k 10 -p 40 -g 30", "1"},
    };
    for (const Case& c : cases) {
        WorkDir dir;
        dir.write("in.fa", c.fasta);
        dir.write("bg.freq", SkewedBackground());
        Result r = dir.qiro("-i in.fa -freq bg.freq -seed 3 -o r.out -meme m.meme -jaspar m.jaspar " + c.options);
        ASSERT_EQ(r.status, 0) << r.out;
        Result check = dir.run(python, "'" + script + "' r.out m.meme m.jaspar bg.freq " + c.both);
        EXPECT_EQ(check.status, 0) << c.options << "\n" << check.out << check.err;
        EXPECT_EQ(check.out, "ok\n");
    }
}

// ------------------------------------------------------------- BED

TEST_F(ForcedSet, BedGivesGenomicCoordinatesForRegionNames) {
    // Region names as genome tools write them: 0-based half-open (105 - 100 is the
    // length 5), 1-based inclusive (15 - 11 + 1 is 5), a region read backwards, and
    // a name that is no region.
    dir.write("in.fa", ">chr2:100-105\nACGTA\n>chrX:11-15\nACGTT\n>chr3:200-205(-)\nACCTA\n>plain\nTCGTA\n");
    Result r = Run("-o r.out -bed s.bed");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<ReportModel> report = ParseReport(dir.read("r.out"));
    ASSERT_EQ(report.size(), 5u);
    const std::vector<std::string> rows = {
        "chr2\t100\t105\t1\t0\t+\tACGTA", "chrX\t10\t15\t1\t0\t+\tACGTT", "chr3\t200\t205\t1\t0\t-\tACCTA",
        "plain\t0\t5\t1\t0\t+\tTCGTA",  "chr2\t100\t105\t1\t0\t-\tTACGT", "chrX\t10\t15\t1\t0\t-\tAACGT",
        "chr3\t200\t205\t1\t0\t+\tTAGGT", "plain\t0\t5\t1\t0\t-\tTACGA",
    };
    const std::vector<std::string> bed = Lines(dir.read("s.bed"));
    ASSERT_EQ(bed.size(), 40u);
    for (size_t m = 0; m < 5; ++m) {
        ASSERT_EQ(report[m].sites.size(), 8u);
        for (size_t i = 0; i < 8; ++i) {
            std::string want = rows[i];
            want.replace(want.find("\t1\t0\t"), 5, "\t" + std::to_string(m + 1) + "\t0\t");
            // The last column is the site's mismatch score, as in the result file.
            EXPECT_EQ(bed[m * 8 + i], want + "\t" + report[m].sites[i].score) << m << " " << i;
        }
    }
}

TEST(CliOutputsFormats, BedSitesMatchTheResultFileOnPlantedRegions) {
    // Twelve sequences of 90 letters named as regions in three styles; every BED
    // line follows from the result file's site line by the naming rule.
    planted::Options o;
    o.sequences = 12;
    o.length = 90;
    o.maxMutations = 1;
    planted::Set set = planted::Make(o);
    std::string fasta;
    std::map<std::string, std::string> region;  // FASTA name -> planted name
    struct Style {
        std::string name;
        std::string chrom;
        long start0;
        bool minus;
    };
    std::map<std::string, Style> styles;
    int i = 0;
    for (const std::string& line : Lines(set.fasta)) {
        if (line[0] != '>') {
            fasta += line + "\n";
            continue;
        }
        const long base = 1000L * (i + 1);
        Style s;
        s.chrom = "chr" + std::to_string(i % 3 + 1);
        s.start0 = base;
        s.minus = i % 3 == 2;
        if (i % 3 == 0) s.name = s.chrom + ":" + std::to_string(base) + "-" + std::to_string(base + 90);
        if (i % 3 == 1) s.name = s.chrom + ":" + std::to_string(base + 1) + "-" + std::to_string(base + 90);
        if (i % 3 == 2) s.name = s.chrom + ":" + std::to_string(base) + "-" + std::to_string(base + 90) + "(-)";
        styles[s.name] = s;
        fasta += ">" + s.name + "\n";
        ++i;
    }
    WorkDir dir;
    dir.write("in.fa", fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 40 -g 30 -seed 2 -o r.out -bed s.bed");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<ReportModel> report = ParseReport(dir.read("r.out"));
    const std::vector<std::string> bed = Lines(dir.read("s.bed"));
    size_t row = 0;
    for (size_t m = 0; m < report.size(); ++m) {
        for (const ReportSite& site : report[m].sites) {
            ASSERT_LT(row, bed.size());
            const Style& s = styles.at(site.name);
            // The result file gives 1-based forward coordinates and forward letters.
            long start = s.minus ? s.start0 + 90 - site.end : s.start0 + site.start - 1;
            bool plus = site.forward != s.minus;
            std::string letters = site.forward ? site.letters : Revcomp(site.letters);
            std::string want = s.chrom + "\t" + std::to_string(start) + "\t" + std::to_string(start + 10) + "\t" +
                               std::to_string(m + 1) + "\t0\t" + (plus ? "+" : "-") + "\t" + letters + "\t" +
                               site.score;
            EXPECT_EQ(bed[row], want) << site.name << " " << site.start;
            ++row;
        }
    }
    EXPECT_EQ(row, bed.size());
    EXPECT_GT(row, 12u);
}

}  // namespace
