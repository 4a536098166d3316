// The extra outputs of a run (-meme, -jaspar, -bed, -json, -html), gzipped
// inputs, the MEME background conversion of qiro-freq, the progress line on a
// terminal and the Snakemake workflow, all through the built programs.
//
// Most expectations come from a forced data set: four sequences exactly as
// long as the motif (-k 5), so every strand has one window and every model
// holds the same sites. Its letter counts are worked out by hand:
//
//   seq1 ACGTA      column  1    2    3    4    5
//   seq2 ACGTT      A       3    0    0    0    3
//   seq3 ACCTA      C       0    4    1    0    0
//   seq4 TCGTA      G       0    0    3    0    0
//                   T       1    0    0    4    1      consensus ACGTA
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Constants.h"
#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;
using nlohmann::json;

const char kForcedFasta[] = ">seq1\nACGTA\n>seq2\nACGTT\n>seq3\nACCTA\n>seq4\nTCGTA\n";
const char kForcedRun[] = "-i in.fa -freq bg.freq -k 5 -p 10 -g 10 -seed 1 -post F";

// The flat background with the single letters set to A 0.3, C 0.2, G 0.2, T 0.3.
std::string SkewedBackground() {
    std::string text = clitest::FlatBackground();
    const char* first = "0 A 0.3\n1 C 0.2\n2 G 0.2\n3 T 0.3\n";
    size_t cut = 0;
    for (int i = 0; i < 4; ++i) cut = text.find('\n', cut) + 1;
    return first + text.substr(cut);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line, char sep = '\t') {
    std::vector<std::string> f;
    std::istringstream in(line);
    std::string part;
    while (std::getline(in, part, sep)) f.push_back(part);
    return f;
}

std::string Revcomp(const std::string& s) { return planted::ReverseComplement(s); }

// Standard output without the lines that may differ between two runs of the
// same data: the echo of the command line and the elapsed time.
std::string StableOutput(const std::string& out) {
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

std::vector<ReportModel> ParseReport(const std::string& report) {
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

// A gzip file of the given parts, each as its own gzip member (as bgzip writes).
void WriteGz(const WorkDir& dir, const std::string& name, const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& part : parts) {
        z_stream z{};
        EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
        std::string out(deflateBound(&z, part.size()) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        z.avail_in = static_cast<uInt>(part.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        out.resize(z.total_out);
        deflateEnd(&z);
        all += out;
    }
    dir.write(name, all);
}

bool HaveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A Python that has Biopython: Debian's (python3-biopython) first, then the one on PATH.
std::string PythonWithBiopython() {
    for (const char* py : {"/usr/bin/python3", "python3"}) {
        std::string cmd = std::string(py) + " -c 'import Bio.motifs' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) return py;
    }
    return "";
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

// ------------------------------------------------------------- options

TEST(CliOutputsUsage, NewOptionsFollowTheExistingOnes) {
    WorkDir dir;
    Result r = dir.qiro("-h");
    ASSERT_EQ(r.status, 0);
    const std::string& out = r.out;
    size_t seed = out.find("\t[-seed <number>]");
    ASSERT_NE(seed, std::string::npos) << out;
    size_t last = seed;
    for (const char* word : {"\t[-meme <", "\t[-jaspar <", "\t[-bed <", "\t[-json <", "\t[-html <"}) {
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

TEST_F(ForcedSet, UnwritableOutputIsReportedAndTheOthersAreStillWritten) {
    Result r = Run("-d F -o r.out -meme no/such/dir/m.meme -jaspar m.jaspar");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Error: Cannot write the MEME file named no/such/dir/m.meme\n"), std::string::npos) << r.out;
    EXPECT_NE(dir.read("m.jaspar").find(">QIRO-1\tACGTA\n"), std::string::npos);
    EXPECT_FALSE(dir.read("r.out").empty());
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
    cols.sort(function (a, b) { return a.x - b.x; });
    out.logos.push({section: svg.closest('section').id, orientation: svg.getAttribute('data-orientation'),
                    letters: cols.map(function (c) { return c.letter; }).join(''),
                    lowest: Math.min.apply(null, cols.map(function (c) { return c.height; }))});
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

// ------------------------------------------------------------- progress line

// Runs qiro in the folder with standard error on a new pseudo-terminal and
// standard output into the file "tty.out"; returns what the terminal received.
std::string RunWithTerminal(const WorkDir& dir, const std::vector<std::string>& args, int& status) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return "";
    }
    const std::string slave = ptsname(master);
    std::vector<std::string> words = {QIRO_BIN};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int tty = open(slave.c_str(), O_RDWR | O_NOCTTY);
        if (tty < 0 || chdir(dir.path().c_str()) != 0) _exit(126);
        int out = open("tty.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(tty, 2);
        close(master);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string seen;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) {
            seen.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EIO: the program closed its end
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    close(master);
    return seen;
}

TEST(CliOutputsProgress, NoProgressWhenStandardErrorIsNotATerminal) {
    WorkDir dir;
    dir.write("in.fa", planted::Make(planted::Options{}).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 20 -g 12 -seed 1 -o r.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("generation "), std::string::npos);
}

TEST(CliOutputsProgress, TerminalShowsGenerationBestMismatchAndStall) {
    WorkDir dir;
    dir.write("in.fa", planted::Make(planted::Options{}).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    const std::vector<std::string> args = {"-i", "in.fa", "-freq", "bg.freq", "-k", "10", "-p", "20",
                                           "-g", "12",    "-seed", "1",       "-post", "F", "-o", "tty.res"};
    int status = -1;
    const std::string terminal = RunWithTerminal(dir, args, status);
    ASSERT_EQ(status, 0) << dir.read("tty.out");

    // Each update rewrites the line from its start; the last one clears it.
    std::vector<std::string> parts = Fields(terminal, '\r');
    ASSERT_GE(parts.size(), 3u) << terminal;
    EXPECT_EQ(parts.front(), "");
    EXPECT_EQ(terminal.back(), '\r');
    EXPECT_EQ(parts.back().find_first_not_of(' '), std::string::npos);
    std::regex update("generation (\\d+)/12  best mismatch (\\S+)  stall (\\d+) *");
    int previousStall = -1;
    std::string previousBest, best;
    int generations = 0;
    for (size_t i = 1; i + 1 < parts.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(parts[i], m, update)) << "[" << parts[i] << "]";
        EXPECT_EQ(std::stoi(m[1]), generations + 1);
        generations = std::stoi(m[1]);
        const int stall = std::stoi(m[3]);
        best = m[2];
        // The stall count grows by one while the best score stays, else starts again.
        if (stall > 0) {
            EXPECT_EQ(stall, previousStall + 1);
            EXPECT_EQ(best, previousBest);
        } else if (!previousBest.empty()) {
            EXPECT_NE(best, previousBest);
        }
        previousStall = stall;
        previousBest = best;
    }
    const std::string out = dir.read("tty.out");
    EXPECT_NE(out.find("Finish the GA process after " + std::to_string(generations) + " generations."),
              std::string::npos);
    // The last best mismatch is the top model's score (no post-processing).
    const std::vector<ReportModel> report = ParseReport(dir.read("tty.res"));
    ASSERT_FALSE(report.empty());
    std::ostringstream shown;
    shown << report[0].mismatch;
    EXPECT_EQ(best, shown.str());

    // Standard output is what it is without a terminal.
    Result plain = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 20 -g 12 -seed 1 -post F -o tty.res");
    EXPECT_EQ(StableOutput(out), StableOutput(plain.out));
}

// ------------------------------------------------------------- Snakemake workflow

TEST(CliOutputsWorkflow, SnakemakeRunsEverySetAndGathersTheMotifs) {
    if (!HaveCommand("snakemake")) GTEST_SKIP() << "no snakemake (make deps installs Debian's snakemake)";
    WorkDir dir;
    std::filesystem::create_directories(dir.path() / "data");
    planted::Options o;
    o.sequences = 6;
    o.length = 60;
    o.motif = "TTGACGCA";
    const std::string one = planted::Make(o).fasta;
    o.seed = 2;
    o.motif = "CCATGGAT";
    const std::string two = planted::Make(o).fasta;
    dir.write("data/one.fa", one);
    WriteGz(dir, "data/two.fasta.gz", {two});
    dir.write("data/notes.txt", "not a FASTA file\n");
    const std::string options = "-k 8 -p 20 -g 10 -seed 1";
    Result r = dir.run("snakemake", "-s '" + std::string(QIRO_SOURCE_DIR) +
                                        "/workflows/Snakefile' --cores 1 --quiet --config input_dir=data "
                                        "output_dir=results qiro='" QIRO_BIN "' qiro_freq='" QIRO_FREQ_BIN
                                        "' 'qiro_options=" + options + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Each set's MEME file is that of a direct run with the same options.
    std::string gathered;
    std::vector<std::vector<double>> backgrounds;
    for (const std::string set : {"one", "two"}) {
        const std::string fasta = set == "one" ? "data/one.fa" : "data/two.fasta.gz";
        Result f = dir.qiroFreq("-o " + set + ".freq " + fasta);
        ASSERT_EQ(f.status, 0) << f.err;
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".freq"), dir.read(set + ".freq"));
        Result q = dir.qiro("-i " + fasta + " -freq " + set + ".freq -o " + set + ".out -meme " + set + ".meme " +
                            options);
        ASSERT_EQ(q.status, 0) << q.out;
        const std::string meme = dir.read(set + ".meme");
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".meme"), meme);
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".qiro.out"), dir.read(set + ".out"));
        // Its motifs, renamed <set>.<id>, in the gathered file's order.
        const std::vector<std::string> lines = Lines(meme);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind("Background letter frequencies", 0) == 0) {
                std::istringstream in(lines[i + 1]);
                std::string letter;
                std::vector<double> bg(4);
                in >> letter >> bg[0] >> letter >> bg[1] >> letter >> bg[2] >> letter >> bg[3];
                backgrounds.push_back(bg);
            }
            if (lines[i].rfind("MOTIF QIRO-", 0) == 0) {
                gathered += "MOTIF " + set + "." + lines[i].substr(6) + "\n";
                for (size_t k = i + 1; k < lines.size(); ++k) {
                    gathered += lines[k] + "\n";
                    if (lines[k].empty()) break;
                }
            }
        }
    }
    ASSERT_EQ(backgrounds.size(), 2u);
    char bgLine[120];
    double mean[4], total = 0;
    for (int b = 0; b < 4; ++b) total += mean[b] = (backgrounds[0][b] + backgrounds[1][b]) / 2;
    std::snprintf(bgLine, sizeof bgLine, "A %.6f C %.6f G %.6f T %.6f", mean[0] / total, mean[1] / total,
                  mean[2] / total, mean[3] / total);
    const std::string expected = "MEME version 4\n\nALPHABET= ACGT\n\nstrands: + -\n\n"
                                 "Background letter frequencies\n" +
                                 std::string(bgLine) + "\n\n" + gathered;
    EXPECT_EQ(dir.read("results/all_motifs.meme"), expected);
    // Every set contributes its models (post-processing may have merged some).
    for (const char* set : {"\nMOTIF one.QIRO-1 ", "\nMOTIF two.QIRO-1 "})
        EXPECT_NE(expected.find(set), std::string::npos) << set;
    EXPECT_FALSE(dir.exists("results/notes"));
}

}  // namespace
