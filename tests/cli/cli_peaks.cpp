// Peaks on a genome (-peaks, -genome, -peaksize): the same motifs and sites as
// the windows cut out by hand, BED sites at the planted genome places, plain
// and bgzip genomes alike, every bad peak named with its line before any
// search, and genomic controls matched in GC and the same at any thread count.
#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kMotif = "GTCACGGATTCA";
const std::string kSearch = " -k 12 -seed 5 -verbose -evalue 0.05";

// A genome of real fly sequence (tests/data/dm3_upstream_excerpt.fa.gz, 100
// pieces of 2,000 letters, lower case) joined into chrA and chrB, the motif
// planted (alternate strands) near the summits of 30 narrowPeak peaks.
struct PeakSet {
    std::map<std::string, std::string> chrom;
    std::string peaks, cut, neg;  // narrowPeak; its summit windows and others 2 kb away, as FASTA
    std::set<std::string> sites;  // "chrom:start", 0-based

    PeakSet() {
        gzFile f = gzopen(QIRO_TEST_DATA "/dm3_upstream_excerpt.fa.gz", "rb");
        char line[256];
        for (int records = 0; f != nullptr && gzgets(f, line, sizeof line) != nullptr;) {
            records += line[0] == '>';
            if (line[0] != '>') chrom[records <= 50 ? "chrA" : "chrB"] += std::string(line, std::strlen(line) - 1);
        }
        if (f != nullptr) gzclose(f);
        planted::Lcg rng(3);
        int n = 0;
        for (auto& [name, letters] : chrom) {
            for (int i = 0; i < 15; ++i, ++n) {
                const long long summit = 3000 + 6400LL * i + rng.Below(500), at = summit - 45 + rng.Below(75);
                letters.replace(at, kMotif.size(), n % 2 ? planted::ReverseComplement(kMotif) : kMotif);
                sites.insert(name + ":" + std::to_string(at));
                const long long from = summit - 60 - rng.Below(140), to = summit + 60 + rng.Below(140);
                peaks += name + "\t" + std::to_string(from) + "\t" + std::to_string(to) + "\tp\t0\t.\t1\t1\t1\t" +
                         std::to_string(summit - from) + "\n";
                for (long long shift : {0, 2000}) {
                    const std::string window = name + ":" + std::to_string(summit - 50 + shift) + "-" +
                                               std::to_string(summit + 50 + shift);
                    (shift ? neg : cut) += ">" + window + "\n" + letters.substr(summit - 50 + shift, 100) + "\n";
                }
            }
        }
    }
    std::string Fasta() const {
        std::string text;
        for (const auto& [name, letters] : chrom) {
            text += ">" + name + "\n";
            for (size_t i = 0; i < letters.size(); i += 60) text += letters.substr(i, 60) + "\n";
        }
        return text;
    }
};

std::set<std::string> BedSites(const std::string& bed) {
    std::set<std::string> out;
    std::istringstream in(bed);
    for (std::string chrom, start, rest; in >> chrom >> start && std::getline(in, rest);) out.insert(chrom + ":" + start);
    return out;
}

TEST(Peaks, PlainAndBgzipGenomesGiveTheMotifsAndSitesOfTheWindowsCutByHand) {
    const PeakSet set;
    ASSERT_EQ(set.sites.size(), 30u) << "tests/data/dm3_upstream_excerpt.fa.gz is missing";
    WorkDir dir;
    dir.write("genome.fa", set.Fasta());
    BGZF* gz = bgzf_open(dir.file("genome.fa.gz").c_str(), "w");
    const std::string fasta = set.Fasta();
    ASSERT_TRUE(gz != nullptr && bgzf_write(gz, fasta.data(), fasta.size()) == static_cast<ssize_t>(fasta.size()));
    ASSERT_EQ(bgzf_close(gz), 0);
    dir.write("peaks.narrowPeak", "track name=planted\n# summits in column 10\n" + set.peaks);
    dir.write("cut.fa", set.cut);
    dir.write("neg.fa", set.neg);
    const std::string peaks = "-peaks peaks.narrowPeak" + kSearch + " -neg neg.fa";
    const Result plain = dir.qiro(peaks + " -genome genome.fa -o p.out -bed p.bed");
    EXPECT_NE(plain.out.find("Peaks: 30 of peaks.narrowPeak, windows of 100 letters centred on the summit; 0 cut short"),
              std::string::npos) << plain.out;
    const Result packed = dir.qiro(peaks + " -genome genome.fa.gz -o z.out -bed z.bed");
    EXPECT_TRUE(dir.exists("genome.fa.fai") && dir.exists("genome.fa.gz.fai") && dir.exists("genome.fa.gz.gzi"));
    const Result cut = dir.qiro("-i cut.fa" + kSearch + " -neg neg.fa -o c.out -bed c.bed");
    ASSERT_EQ(plain.status + packed.status + cut.status, 0) << plain.out << packed.out << cut.out;
    EXPECT_EQ(dir.read("p.out"), dir.read("c.out"));
    EXPECT_EQ(dir.read("z.out"), dir.read("c.out"));
    EXPECT_EQ(dir.read("p.bed"), dir.read("c.bed"));
    EXPECT_EQ(BedSites(dir.read("p.bed")), set.sites) << dir.read("p.bed");
}

TEST(Peaks, EveryBadPeakOrGenomeIsNamedWithItsLineBeforeAnySearch) {
    WorkDir dir;
    dir.write("genome.fa", ">chr1\n" + std::string(50, 'A') + "\n>chr2\n" + std::string(20, 'C') + "\n");
    const std::pair<std::string, std::string> cases[] = {
        {"chr1\t0\t10\nchr9\t1\t5\n", "peaks.bed, line 2: the chromosome chr9 is not in the genome genome.fa"},
        {"track x\nchr2\t20\t30\n", "peaks.bed, line 2: the start 20 is at or past the end of chr2 (20 letters)"},
        {"chr1\t-5\t10\n", "peaks.bed, line 1: the start -5 is negative"},
        {"chr1\t5\t10\tp\t0\t.\t1\t1\t1\t5\n", "peaks.bed, line 1: the summit offset \"5\" is outside its peak (0 to 4)"},
        {"chr1\t5\tx\n", "peaks.bed, line 1: the start \"5\" and end \"x\" must be whole numbers"},
        {"browser position chr1\n", "peaks.bed holds no peak"},
    };
    for (const auto& [peaks, message] : cases) {
        dir.write("peaks.bed", peaks);
        const Result r = dir.qiro("-peaks peaks.bed -genome genome.fa -k 6 -seed 1");
        EXPECT_EQ(r.status, 1) << peaks;
        EXPECT_NE(r.out.find("Error: the peak file " + message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Start GA"), std::string::npos);
    }
    // Plain gzip cannot be read piece by piece; bgzip can.
    gzFile packed = gzopen(dir.file("genome.fa.gz").c_str(), "wb");
    gzputs(packed, ">chr1\nACGTACGTAC\n");
    gzclose(packed);
    for (const std::string genome : {"genome.fa.gz", "missing.fa"}) {
        const Result r = dir.qiro("-peaks peaks.bed -genome " + genome + " -k 6 -seed 1");
        EXPECT_NE(r.out.find("Error: the genome " + genome + " cannot be read or indexed: "), std::string::npos) << r.out;
    }
    // A repeated peak is said and kept once; windows past a chromosome's end are cut there and counted.
    dir.write("peaks.bed", "chr1\t0\t10\nchr2\t2\t12\nchr1\t0\t10\nchr1\t40\t50\n");
    const Result dup = dir.qiro("-peaks peaks.bed -genome genome.fa -peaksize 16 -k 6 -seed 1 -g 5 -p 20");
    EXPECT_EQ(dup.status, 0) << dup.out;
    EXPECT_NE(dup.out.find("Warning: 1 peak repeats an earlier one (the first on line 3 of peaks.bed); each is kept "
                           "once.\nPeaks: 3 of peaks.bed, windows of 16 letters centred on the peak's middle; 3 cut short"),
              std::string::npos) << dup.out;
}

TEST(Peaks, GenomicControlsMatchTheInputsGcAndAreTheSameAtOneAndTwoThreads) {
    const PeakSet set;
    WorkDir dir;
    dir.write("genome.fa", set.Fasta());
    dir.write("peaks.narrowPeak", set.peaks);
    const std::string run = "-peaks peaks.narrowPeak -genome genome.fa" + kSearch + " -json j.json -o r.out -threads ";
    const Result one = dir.qiro(run + "1 -html one.html");
    const std::string json = dir.read("j.json"), result = dir.read("r.out");
    std::string quiet = run + "2";  // the judged console: the answer lines only
    quiet.erase(quiet.find(" -verbose"), 9);
    const Result two = dir.qiro(quiet);
    ASSERT_EQ(one.status + two.status, 0) << one.out << two.out;
    EXPECT_EQ(dir.read("r.out"), result);
    EXPECT_EQ(dir.read("j.json"), json);
    EXPECT_NE(one.out.find("Control sequences: 210 (random windows of the genome away from the peaks"), std::string::npos);
    const size_t said = two.out.find("Control sequences: 210 (");
    ASSERT_NE(said, std::string::npos) << two.out;
    EXPECT_EQ(two.out.substr(two.out.find('\n', said) - 2, 3), "%)\n") << two.out;
    const nlohmann::json j = nlohmann::json::parse(json);
    const nlohmann::json& gc = j["control"]["gc_histograms"];
    EXPECT_EQ(j["control"]["source"], "genome");
    int inputs = 0, controls = 0;
    for (int b = 0; b < 20; ++b) inputs += gc["input"][b].get<int>(), controls += gc["control"][b].get<int>();
    EXPECT_EQ(inputs, 30);
    EXPECT_EQ(controls, 210);  // seven per input sequence, as many as the shuffled controls
    // The tolerance: the shares of any GC bin differ by at most 5 points.
    EXPECT_LE(gc["largest_share_difference"].get<double>(), 0.05);
    ASSERT_EQ(j["motifs"].size(), 1u);
    const std::string found = j["motifs"][0]["consensus"];
    EXPECT_TRUE(found == kMotif || found == planted::ReverseComplement(kMotif)) << found;
    EXPECT_NE(dir.read("one.html").find("GC content of input and controls"), std::string::npos);
}

}  // namespace
