// RNA letters: an input, controls, known sites, a background count and motif
// files written with U give what the same files written with T give, the
// outputs in DNA letters, with the count of letters read as T said once.
#include <gtest/gtest.h>

#include <string>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

// The letters of a FASTA text (or of a site file) with T and t written as U and u.
std::string Rna(const std::string& text) {
    std::string out = text;
    bool header = false;
    for (char& c : out) {
        if (c == '>') header = true;
        if (c == '\n') header = false;
        if (!header && (c == 'T' || c == 't')) c = c == 'T' ? 'U' : 'u';
    }
    return out;
}

size_t CountOf(const std::string& text, char a, char b) {
    size_t n = 0;
    bool header = false;
    for (char c : text) {
        if (c == '>') header = true;
        if (c == '\n') header = false;
        n += !header && (c == a || c == b) ? 1 : 0;
    }
    return n;
}

// A planted set whose first letters are lower case, so that u is read as t too.
planted::Set Planted(uint32_t seed, int sequences = 24) {
    planted::Options o;
    o.sequences = sequences;
    o.length = 120;
    o.motif = "TGTAAATAGC";
    o.seed = seed;
    planted::Set set = planted::Make(o);
    for (size_t at = set.fasta.find(">"); at != std::string::npos; at = set.fasta.find(">", at + 1)) {
        const size_t line = set.fasta.find('\n', at) + 1;
        for (size_t i = line; i < line + 6; ++i) set.fasta[i] = static_cast<char>(std::tolower(set.fasta[i]));
    }
    return set;
}

std::string Note(size_t n, const std::string& file) {
    return "RNA letters: " + std::to_string(n) + " U or u in " + file + " read as T or t";
}

TEST(Rna, AnRnaCopyOfAPlantedSetGivesTheSameMotifsAndSitesOnEitherStrandSetting) {
    const planted::Set set = Planted(3);
    WorkDir dna, rna;
    dna.write("in.fa", set.fasta);
    rna.write("in.fa", Rna(set.fasta));
    for (WorkDir* d : {&dna, &rna}) d->write("bg.freq", clitest::FlatBackground());
    for (const std::string strands : {"F", "T"}) {
        const std::string args = "-i in.fa -freq bg.freq -k 10 -seed 2 -g 40 -p 60 -threads 1 -meme r.meme -d " + strands;
        const Result a = dna.qiro(args), b = rna.qiro(args);
        ASSERT_EQ(a.status, 0) << a.out;
        ASSERT_EQ(b.status, 0) << b.out;
        const std::string out = dna.read("qiro.out");
        // Found (on -d F, the strand most copies were written on), and in DNA letters.
        EXPECT_TRUE(out.find("TGTAAATAGC") != std::string::npos || out.find("GCTATTTACA") != std::string::npos)
            << strands << "\n" << out;
        EXPECT_EQ(rna.read("qiro.out"), out) << strands;
        EXPECT_EQ(rna.read("r.meme"), dna.read("r.meme")) << strands;
        // Said once, with the count; a DNA run's console says nothing of it.
        const std::string note = Note(CountOf(set.fasta, 'T', 't'), "in.fa");
        const size_t at = b.out.find(note);
        EXPECT_NE(at, std::string::npos) << b.out;
        EXPECT_EQ(b.out.find("RNA letters", at + 1), std::string::npos);
        EXPECT_EQ(a.out.find("RNA letters"), std::string::npos);
    }
}

TEST(Rna, ControlsKnownSitesAndACountedBackgroundReadInRnaLettersAsInDna) {
    const planted::Set set = Planted(5, 30);
    const planted::Set controls = Planted(6, 30);  // its own sequences, read for their letters only
    std::string sites;
    for (const planted::Site& s : set.sites) sites += (s.forward ? s.text : planted::ReverseComplement(s.text)) + "\n";
    WorkDir dna, rna;
    dna.write("in.fa", set.fasta);
    dna.write("neg.fa", controls.fasta);
    dna.write("sites.txt", sites);
    rna.write("in.fa", Rna(set.fasta));
    rna.write("neg.fa", Rna(controls.fasta));
    rna.write("sites.txt", Rna(sites));

    // qiro-freq counts U as T, and says how many on standard error (standard output may be the file).
    const Result fa = dna.qiroFreq("-o bg.freq in.fa"), fb = rna.qiroFreq("-o bg.freq in.fa");
    ASSERT_EQ(fa.status, 0);
    ASSERT_EQ(fb.status, 0) << fb.err;
    EXPECT_EQ(rna.read("bg.freq"), dna.read("bg.freq"));
    EXPECT_EQ(fb.err, "qiro-freq: " + std::to_string(CountOf(set.fasta, 'T', 't')) + " letters U or u read as T or t (RNA).\n");
    EXPECT_EQ(fa.err, "");

    const std::string args = "-i in.fa -freq bg.freq -neg neg.fa -pk sites.txt -verbose -evalue 0.05 -seed 3 -g 40 -p 60 -threads 1";
    const Result a = dna.qiro(args), b = rna.qiro(args);
    ASSERT_EQ(a.status, 0) << a.out;
    ASSERT_EQ(b.status, 0) << b.out;
    EXPECT_EQ(rna.read("qiro.out"), dna.read("qiro.out"));
    EXPECT_NE(b.out.find(Note(CountOf(controls.fasta, 'T', 't'), "neg.fa")), std::string::npos) << b.out;
    EXPECT_NE(b.out.find(Note(CountOf(sites, 'T', 't'), "sites.txt")), std::string::npos) << b.out;
}

// A MEME file in the RNA alphabet: the planted motif and a decoy, written with U.
std::string RnaMeme() {
    std::string text = "MEME version 5\n\nALPHABET= ACGU\n\nstrands: +\n\n";
    auto motif = [&](const std::string& id, const std::string& name, const std::string& letters) {
        text += "MOTIF " + id + " " + name + "\nletter-probability matrix: alength= 4 w= " +
                std::to_string(letters.size()) + "\n";
        for (char c : letters)
            for (const char* b = "ACGU"; *b; ++b) text += std::string(c == *b ? " 0.91" : " 0.03") + (b[1] ? "" : "\n");
    };
    motif("RM0001.1", "Decoy", "CCGGACCGGA");
    motif("RM0002.1", "Pumilio-like", "UGUAAAUAGC");
    return text;
}

TEST(Rna, AnRnaMotifFileGivenToDbNamesTheMotifAndServesAsKnownMatrix) {
    WorkDir dir;
    dir.write("in.fa", Rna(Planted(7).fasta));
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("rna.meme", RnaMeme());
    const Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -seed 2 -g 40 -p 60 -threads 1 -db rna.meme");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Motif Rank #1: Best match: RM0002.1 Pumilio-like E="), std::string::npos) << r.out;
    // The same file names the known motif of -pk: its sites are drawn in DNA letters.
    const Result pk = dir.qiro("-i in.fa -freq bg.freq -pk rna.meme:RM0002.1 -seed 2 -g 40 -p 60 -threads 1 -o pk.out");
    ASSERT_EQ(pk.status, 0) << pk.out;
    EXPECT_NE(pk.out.find("drawn from the matrix RM0002.1 Pumilio-like of rna.meme, 10 letters wide."), std::string::npos)
        << pk.out;
    EXPECT_NE(dir.read("pk.out").find("TGTAAATAGC"), std::string::npos);
}

}  // namespace
