// Peaks on a genome (-peaks, -genome, -peaksize): the same motifs and sites
// as the windows cut out by hand, BED sites at the planted genome places,
// plain and bgzip genomes alike, every bad peak line named before any search,
// and genomic controls matched in GC and the same at any thread count.
#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <zlib.h>

#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_util.h"
#include "genome_fixture.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kSearch = "-k 12 -seed 5 -evalue 0.05";

// The planted places as "chrom:start" (0-based), and those of a BED file's sites.
std::set<std::string> Planted(const genometest::PeakSet& set) {
    std::set<std::string> out;
    for (const genometest::PlantedSite& s : set.sites) out.insert(s.chrom + ":" + std::to_string(s.start));
    return out;
}
std::set<std::string> BedSites(const std::string& bed) {
    std::set<std::string> out;
    std::istringstream in(bed);
    for (std::string chrom, start, rest; in >> chrom >> start && std::getline(in, rest);) out.insert(chrom + ":" + start);
    return out;
}

// Whether a result file's first motif is the planted one, read on either strand.
bool Found(const std::string& out) {
    const size_t at = out.find("Consensus: ");
    if (at == std::string::npos) return false;
    const std::string consensus = out.substr(at + 11, 12);
    return consensus == "GTCACGGATTCA" || consensus == "TGAATCCGTGAC";
}

// Windows of 100 letters from each peak's summit plus `shift`, as FASTA named chrom:from-to.
std::string Windows(const genometest::PeakSet& set, long long shift) {
    std::string text;
    for (size_t i = 0; i < set.sites.size(); ++i) {
        const std::string& chrom = set.sites[i].chrom;
        const long long from = set.summits[i] - 50 + shift;
        text += ">" + chrom + ":" + std::to_string(from) + "-" + std::to_string(from + 100) + "\n" +
                set.Chrom(chrom).substr(static_cast<size_t>(from), 100) + "\n";
    }
    return text;
}

TEST(Peaks, TheSameMotifsAndSitesAsTheWindowsCutByHandAtThePlantedPlaces) {
    const genometest::PeakSet set = genometest::MakePeakSet();
    ASSERT_EQ(set.sites.size(), 30u) << "tests/data/dm3_upstream_excerpt.fa.gz is missing";
    WorkDir dir;
    dir.write("genome.fa", set.Fasta());
    dir.write("peaks.narrowPeak", "track name=planted\n# summits in column 10\n" + set.narrowPeak);
    dir.write("cut.fa", Windows(set, 0));
    dir.write("neg.fa", Windows(set, 2000));
    const Result peaks = dir.qiro("-peaks peaks.narrowPeak -genome genome.fa " + kSearch + " -neg neg.fa -o p.out -bed p.bed");
    ASSERT_EQ(peaks.status, 0) << peaks.out;
    EXPECT_NE(peaks.out.find("Peaks: 30 of peaks.narrowPeak, windows of 100 letters centred on the summit; 0 cut short"),
              std::string::npos) << peaks.out;
    EXPECT_TRUE(dir.exists("genome.fa.fai"));
    const Result cut = dir.qiro("-i cut.fa " + kSearch + " -neg neg.fa -o c.out -bed c.bed");
    ASSERT_EQ(cut.status, 0) << cut.out;
    EXPECT_EQ(dir.read("p.out"), dir.read("c.out"));
    EXPECT_EQ(dir.read("p.bed"), dir.read("c.bed"));
    EXPECT_TRUE(Found(dir.read("p.out"))) << dir.read("p.out");
    EXPECT_EQ(BedSites(dir.read("p.bed")), Planted(set)) << dir.read("p.bed");
}

// A bgzip-compressed copy, written through htslib's BGZF as bgzip writes it.
void WriteBgzip(const std::string& path, const std::string& text) {
    BGZF* out = bgzf_open(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(bgzf_write(out, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ASSERT_EQ(bgzf_close(out), 0);
}

TEST(Peaks, PlainAndBgzipGenomesGiveTheSameRunAndGzipPeakFilesRead) {
    const genometest::PeakSet set = genometest::MakePeakSet();
    WorkDir dir;
    dir.write("genome.fa", set.Fasta());
    WriteBgzip(dir.file("genome.fa.gz"), set.Fasta());
    gzFile peaks = gzopen(dir.file("peaks.bed.gz").c_str(), "wb");
    gzputs(peaks, set.bed.c_str());
    gzclose(peaks);
    const std::string run = "-peaks peaks.bed.gz -peaksize 300 -k 12 -seed 2 -g 30 -p 60 -bed ";
    const Result plain = dir.qiro(run + "plain.bed -o plain.out -genome genome.fa");
    const Result packed = dir.qiro(run + "packed.bed -o packed.out -genome genome.fa.gz");
    ASSERT_EQ(plain.status, 0) << plain.out;
    ASSERT_EQ(packed.status, 0) << packed.out;
    EXPECT_TRUE(dir.exists("genome.fa.gz.fai") && dir.exists("genome.fa.gz.gzi"));
    EXPECT_NE(packed.out.find("Peaks: 30 of peaks.bed.gz, windows of 300 letters centred on the peak's middle"),
              std::string::npos) << packed.out;
    EXPECT_EQ(dir.read("plain.out"), dir.read("packed.out"));
    EXPECT_EQ(dir.read("plain.bed"), dir.read("packed.bed"));
    EXPECT_FALSE(dir.read("plain.bed").empty());
    // The index made by the first run is used by the next one as it stands.
    const Result again = dir.qiro(run + "again.bed -o again.out -genome genome.fa.gz");
    EXPECT_EQ(again.out.find("index was made"), std::string::npos);
    EXPECT_EQ(dir.read("again.out"), dir.read("packed.out"));
}

TEST(Peaks, EveryBadPeakOrGenomeIsNamedWithItsLineBeforeAnySearch) {
    WorkDir dir;
    dir.write("genome.fa", ">chr1\nACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\nACGTACGTAC\n>chr2\nACGTACGTACGTACGTACGT\n");
    struct Case {
        std::string peaks;
        std::string message;
    };
    const Case cases[] = {
        {"chr1\t0\t10\nchr9\t1\t5\n", "peaks.bed, line 2: the chromosome chr9 is not in the genome genome.fa"},
        {"track x\nchr2\t20\t30\n", "peaks.bed, line 2: the start 20 is at or past the end of chr2 (20 letters)"},
        {"chr1\t-5\t10\n", "peaks.bed, line 1: the start -5 is negative"},
        {"chr1\t5\t10\tp\t0\t.\t1\t1\t1\t5\n", "peaks.bed, line 1: the summit offset \"5\" is outside its peak (0 to 4)"},
        {"chr1\t5\t10\tp\t0\t.\t1\t1\t1\t-2\n", "peaks.bed, line 1: the summit offset \"-2\" is outside its peak"},
        {"chr1\t5\tx\n", "peaks.bed, line 1: the start \"5\" and end \"x\" must be whole numbers"},
        {"chr1\t5\t5\n", "peaks.bed, line 1: the end 5 is not past the start 5"},
        {"browser position chr1\n", "peaks.bed holds no peak"},
    };
    for (const Case& c : cases) {
        dir.write("peaks.bed", c.peaks);
        const Result r = dir.qiro("-peaks peaks.bed -genome genome.fa -k 6 -seed 1");
        EXPECT_EQ(r.status, 1) << c.peaks;
        EXPECT_NE(r.out.find("Error: the peak file " + c.message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Start GA"), std::string::npos);
    }
    dir.write("peaks.bed", "chr1\t0\t10\n");
    // Plain gzip cannot be read piece by piece; bgzip can.
    gzFile packed = gzopen(dir.file("genome.fa.gz").c_str(), "wb");
    gzputs(packed, ">chr1\nACGTACGTAC\n");
    gzclose(packed);
    for (const std::string genome : {"genome.fa.gz", "missing.fa"}) {
        const Result r = dir.qiro("-peaks peaks.bed -genome " + genome + " -k 6 -seed 1");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("Error: the genome " + genome + " cannot be read or indexed: "), std::string::npos) << r.out;
    }
    const Result lone = dir.qiro("-peaks peaks.bed -k 6");
    EXPECT_NE(lone.out.find("Error: -peaks needs -genome"), std::string::npos) << lone.out;
    const Result both = dir.qiro("-i x.fa -peaks peaks.bed -genome genome.fa -k 6");
    EXPECT_NE(both.out.find("Error: -i and -peaks both name the input"), std::string::npos) << both.out;

    // A repeated peak is said and kept once; a window past a chromosome's end is cut there and counted.
    dir.write("peaks.bed", "chr1\t0\t10\nchr2\t2\t12\nchr1\t0\t10\nchr1\t40\t50\n");
    const Result dup = dir.qiro("-peaks peaks.bed -genome genome.fa -peaksize 16 -k 6 -seed 1 -g 5 -p 20");
    EXPECT_EQ(dup.status, 0) << dup.out;
    EXPECT_NE(dup.out.find("Warning: 1 peak repeats an earlier one (the first on line 3 of peaks.bed); each is kept once."),
              std::string::npos) << dup.out;
    EXPECT_NE(dup.out.find("Peaks: 3 of peaks.bed, windows of 16 letters centred on the peak's middle; 3 cut short"),
              std::string::npos) << dup.out;
}

TEST(Peaks, GenomicControlsMatchTheInputsGcAndAreTheSameAtOneAndTwoThreads) {
    const genometest::PeakSet set = genometest::MakePeakSet();
    WorkDir dir;
    dir.write("genome.fa", set.Fasta());
    dir.write("peaks.narrowPeak", set.narrowPeak);
    const std::string run = "-peaks peaks.narrowPeak -genome genome.fa " + kSearch + " -json j.json -o r.out -threads ";
    const Result one = dir.qiro(run + "1 -html one.html");
    ASSERT_EQ(one.status, 0) << one.out;
    const std::string json = dir.read("j.json"), result = dir.read("r.out");
    const Result two = dir.qiro(run + "2");
    ASSERT_EQ(two.status, 0) << two.out;
    EXPECT_EQ(dir.read("r.out"), result);
    EXPECT_EQ(dir.read("j.json"), json);
    EXPECT_NE(one.out.find("Control sequences: 210 (random windows of the genome away from the peaks, matched to the "
                           "input's GC content in bins of 5%"),
              std::string::npos) << one.out;
    const nlohmann::json j = nlohmann::json::parse(json);
    const nlohmann::json& gc = j["control"]["gc_histograms"];
    EXPECT_EQ(j["control"]["source"], "genome");
    int inputs = 0, controls = 0;
    for (int b = 0; b < 20; ++b) {
        inputs += gc["input"][b].get<int>();
        controls += gc["control"][b].get<int>();
    }
    EXPECT_EQ(inputs, 30);
    EXPECT_EQ(controls, 210);  // seven per input sequence, as the shuffled controls
    // The tolerance: the shares of any GC bin differ by at most 5 points.
    EXPECT_LE(gc["largest_share_difference"].get<double>(), 0.05);
    ASSERT_EQ(j["motifs"].size(), 1u);
    EXPECT_TRUE(Found("Consensus: " + j["motifs"][0]["consensus"].get<std::string>()));
    EXPECT_NE(dir.read("one.html").find("GC content of input and controls"), std::string::npos);
}

}  // namespace
