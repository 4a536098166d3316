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

namespace {

namespace fs = std::filesystem;

// chr1 of 150 letters and chr2 of 40 in lines of `width`, chr1's header `head`.
std::string Fasta(size_t width, const std::string& head = "chr1 first") {
    std::string chr1, chr2, text = ">" + head + "\n";
    for (int i = 0; i < 150; ++i) chr1 += "ACGGTCATTG"[(i * 7 + i / 10) % 10];
    for (int i = 0; i < 40; ++i) chr2 += "TTGCA"[i % 5];
    for (size_t i = 0; i < chr1.size(); i += width) text += chr1.substr(i, width) + "\n";
    text += ">chr2\n";
    for (size_t i = 0; i < chr2.size(); i += width) text += chr2.substr(i, width) + "\n";
    return text;
}

// Opens the genome (bgzip-compressed first when its name ends in .gz) and
// reads chr1 [100, 130) and chr2 [30, 40); "" when it cannot.
std::string Read(const clitest::WorkDir& dir, const std::string& name, const std::string& text, std::string& note) {
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) {
        BGZF* gz = bgzf_open(dir.file(name).c_str(), "w");
        if (gz == nullptr || bgzf_write(gz, text.data(), text.size()) < 0 || bgzf_close(gz) != 0) return "";
    } else {
        dir.write(name, text);
    }
    // The index's time set an hour after the genome's, so that only its content can give it away.
    for (const char* ext : {".fai", ".gzi"})
        if (dir.exists(name + ext)) fs::last_write_time(dir.file(name + ext), fs::last_write_time(dir.file(name)) + std::chrono::hours(1));
    Genome g;
    std::string error, a, b;
    note.clear();
    if (!g.Open(dir.file(name), error, note)) return error;
    return g.Fetch(0, 100, 130, a) && g.Fetch(1, 30, 40, b) ? a + "|" + b : "";
}

TEST(Genome, AnIndexThatNoLongerFitsItsGenomeIsMadeAfresh) {
    clitest::WorkDir dir;
    std::string note;
    const std::string want = Read(dir, "truth.fa", Fasta(60), note);
    ASSERT_EQ(want.size(), 41u) << want;
    EXPECT_EQ(note, "its index was made: " + dir.file("truth.fa.fai"));
    for (const std::string name : {"g.fa", "g.fa.gz"}) {
        const std::string files = dir.file(name) + ".fai" + (name == "g.fa" ? "" : " and " + dir.file(name) + ".gzi");
        ASSERT_EQ(Read(dir, name, Fasta(70), note), want);
        ASSERT_EQ(Read(dir, name, Fasta(60), note), want);
        EXPECT_EQ(note, "its index " + files + " did not fit the genome (the lines of chr1 are not as long as it says); "
                        "a fresh one was made: " + files);
        EXPECT_EQ(Read(dir, name, Fasta(60), note), want);
        EXPECT_EQ(note, "");  // a fitting index is used as it stands, without a word
    }
    const std::pair<std::string, std::string> stale[] = {
        {Fasta(60, "chr1 a longer header"), "the record chr1 does not start where it says"},
        {Fasta(60).substr(0, Fasta(60).size() - 1) + "A\n", "the record chr2 is not as long as it says"},
        {Fasta(60) + ">chr3\nACGT\n", "the genome holds a record chr3 it lacks"},
    };
    for (const auto& [text, why] : stale) {
        Read(dir, "g.fa", Fasta(60), note);
        Read(dir, "g.fa", text, note);
        EXPECT_EQ(note, "its index " + dir.file("g.fa.fai") + " did not fit the genome (" + why +
                            "); a fresh one was made: " + dir.file("g.fa.fai"));
    }
    // Older than the genome; empty; broken.
    fs::last_write_time(dir.file("g.fa.fai"), fs::last_write_time(dir.file("g.fa")) - std::chrono::hours(1));
    Genome g;
    std::string error;
    ASSERT_TRUE(g.Open(dir.file("g.fa"), error, note));
    EXPECT_NE(note.find("(older than it); a fresh one was made"), std::string::npos) << note;
    for (const auto& [fai, why] : {std::make_pair("", "empty"), std::make_pair("chr1\t150\t12\t60\n", "line 1 is broken")}) {
        dir.write("truth.fa.fai", fai);
        EXPECT_EQ(Read(dir, "truth.fa", Fasta(60), note), want);
        EXPECT_NE(note.find(std::string("did not fit the genome (") + why + ")"), std::string::npos) << note;
    }
}

TEST(Genome, ChromosomeNamedTwiceRefusedAndRnaLettersReadAsT) {
    clitest::WorkDir dir;
    std::string note;
    // The second chr1 last, then between the first and chr2.
    EXPECT_EQ(Read(dir, "a.fa", ">chr1\nACGT\n>chr2\nAAAA\n>chr1 again\nCCCC\n", note),
              "it holds two records named chr1 (chromosome names must be unique)");
    EXPECT_EQ(Read(dir, "b.fa", ">chr1\nACGT\n>chr1\nCCCC\n>chr2\nAAAA\n", note),
              "it holds two records named chr1 (chromosome names must be unique)");
    dir.write("rna.fa", ">chr1\nACGUuaNn\n");
    Genome g;
    std::string error, letters;
    ASSERT_TRUE(g.Open(dir.file("rna.fa"), error, note)) << error;
    long long rna = 0;
    ASSERT_TRUE(g.Fetch(0, 0, 8, letters, &rna));
    EXPECT_EQ(letters, "ACGTtaNn");
    EXPECT_EQ(rna, 2);
}

}  // namespace
