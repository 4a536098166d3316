// Peaks against what their genome really holds: a '-' peak read on its own
// strand, an index left stale by a rewritten genome made afresh, N and RNA
// letters read as in any file of sequences, one peak's summits searched once,
// and every genome or peak that cannot be used refused before any search,
// with no result file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kRun = " -peaksize 0 -k 8 -seed 1 -threads 1 -o r.out -bed s.bed";

// One chromosome whose first 360 letters are twelve pieces of 22 letters (A,
// C, G), each followed by TATTTACA, then 3,000 letters of any kind; the
// twelve peaks of 30 letters over the pieces, as BED3 or as BED6 on `strand`.
struct Planted {
    std::string chrom;
    Planted() {
        planted::Lcg rng(50);
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < 22; ++j) chrom += "ACG"[rng.Below(3)];
            chrom += "TATTTACA";
        }
        for (int i = 0; i < 3000; ++i) chrom += "ACGT"[rng.Below(4)];
    }
    std::string Fasta(size_t width, const std::string& letters = "") const {
        const std::string& s = letters.empty() ? chrom : letters;
        std::string text = ">chr1\n";
        for (size_t i = 0; i < s.size(); i += width) text += s.substr(i, width) + "\n";
        return text;
    }
    static std::string Peaks(const std::string& strand = "") {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += "chr1\t" + std::to_string(30 * i) + "\t" + std::to_string(30 * i + 30) +
                    (strand.empty() ? "" : "\tp" + std::to_string(i) + "\t0\t" + strand) + "\n";
        return text;
    }
    // BED sites whose letters are not the genome's at their place and strand.
    // strand: the one every site must be on, or '.' for either.
    int WrongSites(const std::string& bed, char strand, int& sites) const {
        std::istringstream in(bed);
        int wrong = 0;
        sites = 0;
        for (std::string c, start, end, rank, score, s, letters, rest; in >> c >> start >> end >> rank >> score >> s >> letters;) {
            std::getline(in, rest);
            std::string at = chrom.substr(std::stoul(start), std::stoul(end) - std::stoul(start));
            if (s == "-") at = planted::ReverseComplement(at);
            ++sites;
            wrong += at != letters || (strand != '.' && s[0] != strand);
        }
        return wrong;
    }
};

std::string Consensus(const std::string& result) {
    const size_t at = result.find("Consensus: ");
    return at == std::string::npos ? "" : result.substr(at + 11, 8);
}

TEST(PeaksGenome, MinusPeaksReadOnTheirOwnStrandAndStaleIndexMadeAfresh) {
    const Planted g;
    WorkDir dir;
    dir.write("g.fa", g.Fasta(70));
    dir.write("p.bed", Planted::Peaks());
    dir.write("m.bed", Planted::Peaks("-"));
    // With one strand searched, a '-' peak's motif is the reverse of the genome's.
    const Result plus = dir.qiro("-peaks p.bed -genome g.fa -d F" + kRun);
    ASSERT_EQ(plus.status, 0) << plus.out;
    EXPECT_NE(Consensus(dir.read("r.out")).find("TATTTAC"), std::string::npos) << dir.read("r.out");
    const Result minus = dir.qiro("-peaks m.bed -genome g.fa -d F" + kRun);
    ASSERT_EQ(minus.status, 0) << minus.out;
    EXPECT_NE(Consensus(dir.read("r.out")).find("GTAAATA"), std::string::npos) << dir.read("r.out");
    int sites = 0;
    EXPECT_EQ(g.WrongSites(dir.read("s.bed"), '-', sites), 0) << dir.read("s.bed");
    EXPECT_GE(sites, 10);

    // The genome rewritten with lines of 60 letters under its index of 70 (its time set after the genome's).
    dir.write("g.fa", g.Fasta(60));
    std::filesystem::last_write_time(dir.file("g.fa.fai"),
                                     std::filesystem::last_write_time(dir.file("g.fa")) + std::chrono::hours(1));
    const Result stale = dir.qiro("-peaks p.bed -genome g.fa" + kRun);
    ASSERT_EQ(stale.status, 0) << stale.out;
    EXPECT_NE(stale.out.find("The genome g.fa: its index g.fa.fai did not fit the genome (the lines of chr1 are not "
                             "as long as it says); a fresh one was made: g.fa.fai.\n"),
              std::string::npos) << stale.out;
    EXPECT_EQ(g.WrongSites(dir.read("s.bed"), '.', sites), 0) << dir.read("s.bed");
    EXPECT_GE(sites, 10);
}

TEST(PeaksGenome, NAndRnaLettersSummitsAndByteOrderMarkReadAsInAnyFile) {
    const Planted g;
    WorkDir dir;
    dir.write("g.fa", g.Fasta(70));
    std::string rna = g.chrom, n = g.chrom;
    for (char& c : rna) c = c == 'T' ? 'U' : c;
    n[30] = 'N';
    n[100] = 'R';
    dir.write("rna.fa", g.Fasta(70, rna));
    dir.write("n.fa", g.Fasta(70, n));
    dir.write("p.bed", Planted::Peaks());
    dir.write("bom.bed", "\xEF\xBB\xBF" + Planted::Peaks());
    const Result dna = dir.qiro("-peaks p.bed -genome g.fa" + kRun);
    const std::string bed = dir.read("s.bed");
    const Result bom = dir.qiro("-peaks bom.bed -genome g.fa" + kRun);
    EXPECT_EQ(dir.read("s.bed"), bed);
    const Result u = dir.qiro("-peaks p.bed -genome rna.fa" + kRun);
    EXPECT_EQ(dir.read("s.bed"), bed);
    EXPECT_NE(u.out.find("RNA letters: 48 U or u in rna.fa read as T or t;"), std::string::npos) << u.out;
    const Result unknown = dir.qiro("-peaks p.bed -genome n.fa" + kRun);
    EXPECT_NE(unknown.out.find("Note: the peak windows hold 2 letters other than A, C, G, T (the first in chr1:30-60, "
                               "line 2 of p.bed), read as N; no window holding one is searched.\n"),
              std::string::npos) << unknown.out;
    EXPECT_EQ(dna.status + bom.status + u.status + unknown.status, 0) << bom.out << u.out << unknown.out;
    // The planted motif, on either strand.
    const std::string found = Consensus(dir.read("r.out"));
    EXPECT_TRUE(found.find("TATTTAC") != std::string::npos || found.find("GTAAATA") != std::string::npos) << found;

    // Each peak twice, with summits 3 letters apart: one window each.
    std::string summits;
    for (int i = 0; i < 12; ++i)
        for (int s : {12, 15})
            summits += "chr1\t" + std::to_string(30 * i) + "\t" + std::to_string(30 * i + 30) + "\tp\t0\t.\t1\t1\t1\t" +
                       std::to_string(s) + "\n";
    dir.write("two.narrowPeak", summits);
    const Result two = dir.qiro("-peaks two.narrowPeak -genome g.fa -peaksize 20 -k 8 -seed 1 -threads 1 -o r.out");
    EXPECT_EQ(two.status, 0);
    EXPECT_NE(two.out.find("Peaks: 12 of two.narrowPeak, windows of 20 letters centred on the summit; 0 cut short by a "
                           "chromosome's end.\nPeaks called with several summits: 12 windows overlapped another window "
                           "of the same peak and were joined to it (their union is searched once).\n"),
              std::string::npos) << two.out;
}

TEST(PeaksGenome, UnusableGenomeOrPeaksRefusedBeforeAnySearch) {
    const Planted g;
    WorkDir dir;
    dir.write("g.fa", g.Fasta(70));
    dir.write("dup.fa", g.Fasta(70) + ">chr1\nACGTACGTAC\n");
    // Upper case only under the peaks: -mask T leaves the controls nothing to scan.
    std::string soft = g.chrom;
    for (size_t i = 360; i < soft.size(); ++i) soft[i] = static_cast<char>(soft[i] | 0x20);
    dir.write("soft.fa", g.Fasta(70, soft));
    dir.write("p.bed", Planted::Peaks());
    dir.write("past.bed", Planted::Peaks() + "chr1\t3300\t3800\n");
    dir.write("np.bed", "chr1\t0\t30\tp\t0\t.\t1\t1\t1\t5\nchr1\t30\t60\tp\t0\t.\t1\t1\t1\t5\t\n");
    const std::pair<std::string, std::string> cases[] = {
        {"-peaks p.bed -genome dup.fa" + kRun,
         "Error: the genome dup.fa cannot be read or indexed: it holds two records named chr1 (chromosome names must "
         "be unique). System aborted. \n"},
        {"-peaks past.bed -genome g.fa -peaksize 200 -k 8 -seed 1 -o r.out",
         "Error: the peak file past.bed, line 13: its window of 200 letters around 3550 (3450-3650) lies wholly past "
         "the end of chr1 (3360 letters); the peaks may be of another assembly than the genome g.fa. System aborted. \n"},
        {"-peaks np.bed -genome g.fa" + kRun,
         "Error: the peak file np.bed, line 2: it has 11 columns, but the first peak line (line 1) has 10 (narrowPeak); "
         "every line of a peak file must have as many. System aborted. \n"},
        {"-peaks p.bed -genome soft.fa -mask T -evalue 0.05" + kRun,
         "Error: the genome soft.fa gave no control window of 8 letters to judge against (every window drawn away from "
         "the peaks holds a letter other than A, C, G, T, or a masked letter; -mask T masks lower-case letters, and the "
         "genome may be in lower case away from the peaks). Give control sequences with -neg. System aborted. \n"},
    };
    for (const auto& [args, message] : cases) {
        const Result r = dir.qiro(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Start GA"), std::string::npos) << args;
        EXPECT_FALSE(dir.exists("r.out")) << args;
    }
}

}  // namespace
