// Peaks against what their genome really holds: a '-' peak read on its own
// strand, N under a peak left unsearched as with -mask, and every genome or
// peak that cannot be used refused before any search, with no result file.
#include <gtest/gtest.h>

#include <algorithm>
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
    std::string Fasta(const std::string& letters = "") const {
        const std::string& s = letters.empty() ? chrom : letters;
        std::string text = ">chr1\n";
        for (size_t i = 0; i < s.size(); i += 70) text += s.substr(i, 70) + "\n";
        return text;
    }
    static std::string Peaks(const std::string& strand = "") {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += "chr1\t" + std::to_string(30 * i) + "\t" + std::to_string(30 * i + 30) +
                    (strand.empty() ? "" : "\tp" + std::to_string(i) + "\t0\t" + strand) + "\n";
        return text;
    }
    // Whether every site of a BED file is on '-' and holds the genome's letters there, reversed.
    bool MinusSitesRight(const std::string& bed) const {
        std::istringstream in(bed);
        bool right = true;
        for (std::string c, start, end, rank, score, s, letters, rest; in >> c >> start >> end >> rank >> score >> s >> letters;) {
            std::getline(in, rest);
            right = right && s == "-" &&
                    planted::ReverseComplement(chrom.substr(std::stoul(start), std::stoul(end) - std::stoul(start))) == letters;
        }
        return right;
    }
};

std::string Consensus(const std::string& result) {
    const size_t at = result.find("Consensus: ");
    return at == std::string::npos ? "" : result.substr(at + 11, 8);
}

TEST(PeaksGenome, MinusPeaksReadOnTheirOwnStrandAndNLeftUnsearched) {
    const Planted g;
    WorkDir dir;
    std::string n = g.chrom;
    n[30] = 'N';
    n[100] = 'R';
    dir.write("g.fa", g.Fasta());
    dir.write("n.fa", g.Fasta(n));
    dir.write("p.bed", Planted::Peaks());
    dir.write("m.bed", Planted::Peaks("-"));
    // With one strand searched, a '-' peak's motif is the reverse of the genome's.
    const Result plus = dir.qiro("-peaks p.bed -genome g.fa -d F" + kRun);
    EXPECT_NE(Consensus(dir.read("r.out")).find("TATTTAC"), std::string::npos) << dir.read("r.out");
    const Result minus = dir.qiro("-peaks m.bed -genome g.fa -d F" + kRun);
    EXPECT_NE(Consensus(dir.read("r.out")).find("GTAAATA"), std::string::npos) << dir.read("r.out");
    const std::string bed = dir.read("s.bed");
    EXPECT_TRUE(g.MinusSitesRight(bed) && std::count(bed.begin(), bed.end(), '\n') >= 10) << bed;
    // N under a peak: its windows left out, as -mask would, not the end of the run.
    const Result unknown = dir.qiro("-peaks p.bed -genome n.fa -d F" + kRun);
    EXPECT_NE(unknown.out.find("Note: the peak windows hold 2 letters other than A, C, G, T (the first in chr1:30-60, "
                               "line 2 of p.bed), read as N; no window holding one is searched.\n"),
              std::string::npos) << unknown.out;
    EXPECT_NE(Consensus(dir.read("r.out")).find("TATTTA"), std::string::npos) << dir.read("r.out");
    EXPECT_EQ(plus.status + minus.status + unknown.status, 0) << plus.out << minus.out << unknown.out;
}

TEST(PeaksGenome, UnusableGenomeOrPeaksRefusedBeforeAnySearch) {
    const Planted g;
    WorkDir dir;
    dir.write("g.fa", g.Fasta());
    dir.write("dup.fa", g.Fasta() + ">chr1\nACGTACGTAC\n");
    // Upper case only under the peaks: -mask T leaves the controls nothing to scan.
    std::string soft = g.chrom;
    for (size_t i = 360; i < soft.size(); ++i) soft[i] = static_cast<char>(soft[i] | 0x20);
    dir.write("soft.fa", g.Fasta(soft));
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
        // A judged run says its errors on standard error.
        EXPECT_NE((r.out + r.err).find(message), std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.out.find("Start GA"), std::string::npos) << args;
        EXPECT_FALSE(dir.exists("r.out")) << args;
    }
}

}  // namespace
