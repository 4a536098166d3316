// The genome reader: an index is trusted only while it fits its genome (a
// genome rewritten under an old index, plain or bgzip, an index lacking a
// record, an empty or broken one), a chromosome named twice is refused, and
// RNA letters are read as T.
#include <gtest/gtest.h>
#include <htslib/bgzf.h>

#include <filesystem>
#include <string>

#include "cli_util.h"
#include "input/Genome.h"
#include "input/GenomeIndex.h"

namespace {

namespace fs = std::filesystem;

// chr1 of 150 letters and chr2 of 40, with lines of `width` letters.
std::string Fasta(int width, const std::string& chr1Header = "chr1 first") {
    std::string chr1, chr2, text = ">" + chr1Header + "\n";
    for (int i = 0; i < 150; ++i) chr1 += "ACGGTCATTG"[(i * 7 + i / 10) % 10];
    for (int i = 0; i < 40; ++i) chr2 += "TTGCA"[i % 5];
    for (size_t i = 0; i < chr1.size(); i += static_cast<size_t>(width)) text += chr1.substr(i, static_cast<size_t>(width)) + "\n";
    text += ">chr2\n";
    for (size_t i = 0; i < chr2.size(); i += static_cast<size_t>(width)) text += chr2.substr(i, static_cast<size_t>(width)) + "\n";
    return text;
}

// Opens the genome; the letters of chr1 [100, 130) and of chr2 [30, 40) into `letters`.
bool OpenAndRead(const std::string& path, std::string& note, std::string& letters, std::string& error) {
    Genome g;
    if (!g.Open(path, error, note)) return false;
    std::string a, b;
    const bool ok = g.Count() == 2 && g.Fetch(0, 100, 130, a) && g.Fetch(1, 30, 40, b);
    letters = a + "|" + b;
    return ok;
}

// The index's time set one hour after the genome's, so that only its content can give it away.
void IndexNewer(const clitest::WorkDir& dir, const std::string& genome, const std::string& index) {
    fs::last_write_time(dir.file(index), fs::last_write_time(dir.file(genome)) + std::chrono::hours(1));
}

TEST(Genome, AnIndexThatNoLongerFitsItsGenomeIsMadeAfresh) {
    clitest::WorkDir dir;
    std::string note, error, want, got;
    dir.write("truth.fa", Fasta(60));
    ASSERT_TRUE(OpenAndRead(dir.file("truth.fa"), note, want, error)) << error;

    // Rewritten with other line lengths: older than the genome, then (time
    // set back) by the lines themselves.
    dir.write("g.fa", Fasta(70));
    ASSERT_TRUE(OpenAndRead(dir.file("g.fa"), note, got, error)) << error;
    EXPECT_EQ(note, "its index was made: " + dir.file("g.fa.fai"));
    dir.write("g.fa", Fasta(60));
    fs::last_write_time(dir.file("g.fa.fai"), fs::last_write_time(dir.file("g.fa")) - std::chrono::hours(1));
    ASSERT_TRUE(OpenAndRead(dir.file("g.fa"), note, got, error)) << error;
    EXPECT_EQ(note, "its index " + dir.file("g.fa.fai") + " did not fit the genome (older than it); a fresh one was made: " +
                        dir.file("g.fa.fai"));
    EXPECT_EQ(got, want);
    const std::string fresh = dir.read("g.fa.fai");
    const std::pair<std::string, std::string> stale[] = {
        {Fasta(70), "the lines of chr1 are not as long as it says"},
        {Fasta(60, "chr1 a longer header than before"), "the record chr1 does not start where it says"},
        {Fasta(60) + ">chr3\nACGT\n", "the genome holds a record chr3 it lacks"},
        {Fasta(60).substr(0, Fasta(60).size() - 1) + "A\n", "the record chr2 is not as long as it says"},
        {"", "empty"},
        {"chr1\t150\t12\t60\n", "line 1 is broken"},
    };
    for (const auto& [genome, why] : stale) {
        // An empty or broken index is tried against the true genome.
        dir.write("g.fa", genome.size() > 30 ? genome : Fasta(60));
        dir.write("g.fa.fai", genome.size() > 30 ? fresh : genome);
        IndexNewer(dir, "g.fa", "g.fa.fai");
        const bool ok = OpenAndRead(dir.file("g.fa"), note, got, error);
        EXPECT_NE(note.find("did not fit the genome (" + why + "); a fresh one was made"), std::string::npos) << note;
        if (genome == Fasta(60) + ">chr3\nACGT\n") continue;  // three records now
        EXPECT_TRUE(ok) << error;
        EXPECT_EQ(got, want) << why;
    }
    // A fitting index is used as it stands, without a word.
    dir.write("g.fa", Fasta(60));
    dir.write("g.fa.fai", fresh);
    IndexNewer(dir, "g.fa", "g.fa.fai");
    note.clear();
    ASSERT_TRUE(OpenAndRead(dir.file("g.fa"), note, got, error));
    EXPECT_EQ(note, "");
}

TEST(Genome, BgzipGenomeReplacedUnderItsOldIndex) {
    clitest::WorkDir dir;
    auto pack = [&](const std::string& text) {
        BGZF* gz = bgzf_open(dir.file("g.fa.gz").c_str(), "w");
        ASSERT_TRUE(gz != nullptr && bgzf_write(gz, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
        ASSERT_EQ(bgzf_close(gz), 0);
    };
    std::string note, error, want, got;
    dir.write("truth.fa", Fasta(60));
    ASSERT_TRUE(OpenAndRead(dir.file("truth.fa"), note, want, error)) << error;
    pack(Fasta(70));
    ASSERT_TRUE(OpenAndRead(dir.file("g.fa.gz"), note, got, error)) << error;
    pack(Fasta(60));
    IndexNewer(dir, "g.fa.gz", "g.fa.gz.fai");
    IndexNewer(dir, "g.fa.gz", "g.fa.gz.gzi");
    ASSERT_TRUE(OpenAndRead(dir.file("g.fa.gz"), note, got, error)) << error;
    EXPECT_EQ(note, "its index " + dir.file("g.fa.gz.fai") + " and " + dir.file("g.fa.gz.gzi") +
                        " did not fit the genome (the lines of chr1 are not as long as it says); a fresh one was made: " +
                        dir.file("g.fa.gz.fai") + " and " + dir.file("g.fa.gz.gzi"));
    EXPECT_EQ(got, want);
}

TEST(Genome, ChromosomeNamedTwiceRefusedAndRnaLettersReadAsT) {
    clitest::WorkDir dir;
    std::string note, error, letters;
    for (const char* text : {">chr1\nACGT\n>chr2\nAAAA\n>chr1 again\nCCCC\n", ">chr1\nACGT\n>chr1\nCCCC\n>chr2\nAAAA\n"}) {
        dir.write("dup.fa", text);
        fs::remove(dir.file("dup.fa.fai"));
        Genome g;
        EXPECT_FALSE(g.Open(dir.file("dup.fa"), error, note)) << text;
        EXPECT_EQ(error, "it holds two records named chr1 (chromosome names must be unique)");
    }
    dir.write("rna.fa", ">chr1\nACGUuaNn\n");
    Genome g;
    ASSERT_TRUE(g.Open(dir.file("rna.fa"), error, note)) << error;
    long long rna = 0;
    ASSERT_TRUE(g.Fetch(0, 0, 8, letters, &rna));
    EXPECT_EQ(letters, "ACGTtaNn");
    EXPECT_EQ(rna, 2);
}

}  // namespace
