// Data layer: sequence, background and known-site loading, their scoring and the
// admissible positions, checked against hand-worked inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "cli_util.h"
#include "input/Midlayer.h"

namespace {

using clitest::WorkDir;

// A data layer loaded from texts written into a fresh folder.
struct Loaded {
    WorkDir dir;
    Midlayer data;
    std::string out;  // what loading printed

    void seqs(const std::string& fasta, bool both = true) {
        dir.write("in.fa", fasta);
        data.SetDoubleStrand(both);
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        out += testing::internal::GetCapturedStdout();
    }
    void freq(const std::string& text) {
        dir.write("bg.freq", text);
        testing::internal::CaptureStdout();
        data.OpenFreqFile(dir.file("bg.freq"));
        data.LoadFreqInfo();
        out += testing::internal::GetCapturedStdout();
    }
    void pk(const std::string& text, double perPK = 1.0, double pkq = 0.0) {
        dir.write("pk.txt", text);
        data.setPerPK(perPK);
        data.setPKQ(pkq);
        testing::internal::CaptureStdout();
        data.OpenPKFile(dir.file("pk.txt"));
        data.LoadPKInfo();
        out += testing::internal::GetCapturedStdout();
    }
    void score() {
        testing::internal::CaptureStdout();
        data.ProducePKFitness();
        out += testing::internal::GetCapturedStdout();
    }
    void filter() {
        testing::internal::CaptureStdout();
        data.Filtering();
        out += testing::internal::GetCapturedStdout();
    }
};

TEST(LoadSeqs, FiveLineFileWithBothStrands) {
    Loaded l;
    l.seqs(">s1\nACGT\nacgn\n>s2\nTTXA\n");
    EXPECT_EQ(l.out, "Number of input Sequences: 2\n");
    ASSERT_EQ(l.data.GetNumSeq(), 2);
    EXPECT_EQ(l.data.GetBigK(), 12);
    ASSERT_EQ(l.data.Seqs.size(), 4u);
    const char* letters[4] = {"ACGTacgN", "TTNA", "NcgtACGT", "TNAA"};
    const char* names[4] = {"s1", "s2", "s1", "s2"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(l.data.Seqs[i].Text(), letters[i]) << i;
        EXPECT_EQ(l.data.Seqs[i].Name(), names[i]) << i;
        EXPECT_EQ(l.data.Seqs[i].len, static_cast<int>(std::string(letters[i]).size())) << i;
        EXPECT_EQ(l.data.Seqs[i].forward, i < 2) << i;
    }
    // The encoded letters follow the stored ones: N has no base code.
    EXPECT_EQ(l.data.Seqs[0].code, (std::vector<uint8_t>{0, 1, 2, 3, 0, 1, 2, BASE_NONE}));
}

TEST(LoadSeqs, BlanksHeadersAndStrayText) {
    Loaded l;
    l.seqs("ignored text\n>first one\r\nAC G\tT\n\n  GG\n>\nTT\n>empty\n>last\nA", false);
    ASSERT_EQ(l.data.GetNumSeq(), 4);
    ASSERT_EQ(l.data.Seqs.size(), 4u);  // one strand: no reverse complements
    EXPECT_EQ(l.data.Seqs[0].Name(), "first");
    EXPECT_EQ(l.data.Seqs[0].Text(), "ACGTGG");
    EXPECT_EQ(l.data.Seqs[1].Name(), "");
    EXPECT_EQ(l.data.Seqs[1].Text(), "TT");
    EXPECT_EQ(l.data.Seqs[2].Name(), "empty");
    EXPECT_EQ(l.data.Seqs[2].len, 0);
    EXPECT_EQ(l.data.Seqs[3].Text(), "A");
    for (const SeqRecord& r : l.data.Seqs) EXPECT_TRUE(r.forward);
}

TEST(LoadSeqs, CarriageReturnEndsTheNameAndGreaterSignInHeaderIsKept) {
    Loaded l;
    l.seqs(">a\r\nACGT\r\n>b x>y\r\nGGCC\r\n");
    ASSERT_EQ(l.data.GetNumSeq(), 2);
    EXPECT_EQ(l.out, "Number of input Sequences: 2\n");
    EXPECT_EQ(l.data.Seqs[0].Name(), "a");
    EXPECT_EQ(l.data.Seqs[0].Text(), "ACGT");
    EXPECT_EQ(l.data.Seqs[1].Name(), "b");
    EXPECT_EQ(l.data.Seqs[1].Text(), "GGCC");
    EXPECT_EQ(l.data.Seqs[3].Text(), "GGCC");
}

TEST(LoadSeqs, LongSequencesAndNamesAreKeptWhole) {
    Loaded l;
    std::string name(400, 'n');
    std::string letters;
    for (int i = 0; i < 20000; ++i) letters += "ACGT"[i % 4];
    l.seqs(">" + name + "\n" + letters + "\n");
    ASSERT_EQ(l.data.GetNumSeq(), 1);
    EXPECT_EQ(l.data.Seqs[0].Name(), name);
    EXPECT_EQ(l.data.Seqs[0].len, 20000);
    EXPECT_EQ(l.data.Seqs[1].Text(), Midlayer::RevComp(letters));
}

TEST(LoadSeqs, RnaLettersReadAsTheirDnaBasesAndAreCountedOnce) {
    Loaded l;
    l.seqs(">r\nACGU\nacgu\n>s\nUUXt\n");
    EXPECT_EQ(l.out, "Number of input Sequences: 2\nRNA letters: 4 U or u in " + l.dir.file("in.fa") +
                         " read as T or t; motifs and sites are written in DNA letters.\n");
    EXPECT_EQ(l.data.Seqs[0].Text(), "ACGTacgt");
    EXPECT_EQ(l.data.Seqs[1].Text(), "TTNt");
    EXPECT_EQ(l.data.Seqs[2].Text(), "acgtACGT");  // the reverse strand pairs U's base with A
    // Known sites in RNA letters: U read as T, their count said.
    l.pk("UAUAAA\nuauaaa\nTATAAA\n");
    EXPECT_EQ(l.data.getPK()[0].Seq, "TATAAA");
    EXPECT_EQ(l.data.getPK()[1].Seq, "tataaa");
    EXPECT_NE(l.out.find("RNA letters: 4 U or u in " + l.dir.file("pk.txt") + " read as T or t"), std::string::npos)
        << l.out;
}

TEST(LoadSeqs, NoHeaderGivesNoSequence) {
    Loaded l;
    l.seqs("ACGTACGT\n");
    EXPECT_EQ(l.data.GetNumSeq(), 0);
    EXPECT_EQ(l.out, "Number of input Sequences: 0\n");
}

TEST(Letters, ChecksComplementsAndCodes) {
    char c = 'g';
    Midlayer::ValidCheck(c);
    EXPECT_EQ(c, 'g');
    c = 'x';
    Midlayer::ValidCheck(c);
    EXPECT_EQ(c, 'N');
    char out[16];
    Midlayer::RevComp("AaCgTx", out);
    EXPECT_STREQ(out, "NAcGtT");
    char line[] = "abc\r\ndef";
    EXPECT_TRUE(Midlayer::noNewLine(line));
    EXPECT_STREQ(line, "abc\r");
    char plain[] = "abc";
    EXPECT_FALSE(Midlayer::noNewLine(plain));
    EXPECT_EQ(Midlayer::LookupCode('t'), 3);
    EXPECT_EQ(Midlayer::LookupCode('C'), 1);
    EXPECT_EQ(Midlayer::LookupCode('N'), -1);
    EXPECT_DOUBLE_EQ(Midlayer::log2(8.0), 3.0);
    EXPECT_DOUBLE_EQ(Midlayer::log2(1.0), 0.0);
}

TEST(ExcludeShortSeqs, DropsShortSequencesWithTheirReverseComplements) {
    Loaded l;
    l.seqs(">a\nACGTACGT\n>b\nACG\n>c\nTTTTGGGG\n");
    l.data.SetK(5);
    testing::internal::CaptureStdout();
    l.data.ExcludeShortSeqs();
    std::string warn = testing::internal::GetCapturedStdout();
    EXPECT_NE(warn.find("\"b\" has 3 letters"), std::string::npos) << warn;
    EXPECT_NE(warn.find("motif width 5"), std::string::npos) << warn;
    ASSERT_EQ(l.data.GetNumSeq(), 2);
    ASSERT_EQ(l.data.Seqs.size(), 4u);
    EXPECT_EQ(l.data.Seqs[1].Name(), "c");
    EXPECT_EQ(l.data.Seqs[2].Text(), Midlayer::RevComp(std::string("ACGTACGT")));
    EXPECT_EQ(l.data.Seqs[3].Text(), "CCCCAAAA");
    EXPECT_FALSE(l.data.Seqs[3].forward);
    EXPECT_EQ(l.data.GetBigK(), 16);
}

TEST(ExcludeShortSeqsDeath, NothingLeftEndsTheRun) {
    Loaded l;
    l.seqs(">a\nACG\n");
    l.data.SetK(4);
    EXPECT_EXIT(l.data.ExcludeShortSeqs(), testing::ExitedWithCode(1), "");
}

TEST(LoadFreqInfo, WorkedExample) {
    Loaded l;
    l.freq("0 A 0.3\n1 C 0.2\n2 G 0.2\n3 T 0.3\n4 AC 0.5\n5 ACG 0.25\n6 ACGT 0.125\n6 ACGT 0.5\n7 acgt 0.9\n");
    const double* f = l.data.GetFreqInfo();
    EXPECT_DOUBLE_EQ(f[0], 0.3);
    EXPECT_DOUBLE_EQ(f[1], 0.2);
    EXPECT_DOUBLE_EQ(f[2], 0.2);
    EXPECT_DOUBLE_EQ(f[3], 0.3);
    EXPECT_DOUBLE_EQ(f[4], 0.0);
    EXPECT_DOUBLE_EQ(l.data.BaseFreq[3], 0.3);
    EXPECT_DOUBLE_EQ(l.data.BackFreq["AC"], 0.5);
    EXPECT_DOUBLE_EQ(l.data.BackFreq["ACGT"], 0.5);  // the last record of a word wins
    EXPECT_DOUBLE_EQ(l.data.BackFreq["acgt"], 0.9);
    // Lookups use upper-case words: the lower-case record never matches.
    EXPECT_DOUBLE_EQ(l.data.BackWord("acgt", 4), 0.5);
    EXPECT_DOUBLE_EQ(l.data.BackWord("GG", 2), 0.0);
    EXPECT_NE(l.out.find("lacks 333 of the 336 words"), std::string::npos) << l.out;
}

TEST(LoadFreqInfo, LettersGoToTheirOwnSlotAndACutOffRecordIsDropped) {
    Loaded l;
    l.freq("3 A 0.1\n0 C 0.2\n0 G 0.3\n0 T 0.4\n9 AA");
    const double* f = l.data.GetFreqInfo();
    EXPECT_DOUBLE_EQ(f[0], 0.1);
    EXPECT_DOUBLE_EQ(f[1], 0.2);
    EXPECT_DOUBLE_EQ(f[2], 0.3);
    EXPECT_DOUBLE_EQ(f[3], 0.4);
    EXPECT_EQ(l.data.BackFreq.count("AA"), 0u);
}

TEST(LoadFreqInfo, CompleteFileGivesNoWarning) {
    Loaded l;
    l.freq(clitest::FlatBackground());
    EXPECT_EQ(l.out, "");
    EXPECT_EQ(l.data.BackFreq.size(), 340u);
}

TEST(LoadFreqInfoDeath, BadRecordsAndBases) {
    {
        Loaded l;
        EXPECT_EXIT(l.freq("0 A 0.3\nC 0.2\n2 G 0.2\n"), testing::ExitedWithCode(1), "");
    }
    {
        Loaded l;
        EXPECT_EXIT(l.freq("0 A 0.3\n1 C 0.2\n2 G 0.2\n"), testing::ExitedWithCode(1), "");
    }
    {
        Loaded l;
        EXPECT_EXIT(l.freq("0 A 0.3\n1 C 0\n2 G 0.2\n3 T 0.5\n"), testing::ExitedWithCode(1), "");
    }
}

TEST(BackgroundProb, MarkovProductOverFourLetterWindows) {
    Loaded l;
    std::string text = clitest::FlatBackground();
    l.freq(text);
    l.data.BackFreq["A"] = 0.5;
    l.data.BackFreq["AC"] = 0.1;
    l.data.BackFreq["ACG"] = 0.2;
    l.data.BackFreq["ACGT"] = 0.3;
    l.data.BackFreq["CGTA"] = 0.7;
    l.data.BuildDenseBackground();
    EXPECT_DOUBLE_EQ(l.data.BackgroundProb("ACGTA", 5), 0.5 * 0.1 * 0.2 * 0.3 * 0.7);
    EXPECT_DOUBLE_EQ(l.data.BackgroundProb("acgta", 5), 0.5 * 0.1 * 0.2 * 0.3 * 0.7);
    // Shorter words use the prefixes there are.
    EXPECT_DOUBLE_EQ(l.data.BackgroundProb("ACG", 3), 0.5 * 0.1 * 0.2);
    EXPECT_DOUBLE_EQ(l.data.BackgroundProb("A", 1), 0.5);
}

TEST(LoadPKInfo, FourSitesInFileOrder) {
    Loaded l;
    l.seqs(">s\nACGTACGTACGT\n");
    l.pk("TATAAA\nTATCAA\nTATTAA\nTTTAAA\n");
    EXPECT_EQ(l.data.GetK(), 6);
    EXPECT_EQ(l.data.NumFilePK, 4);
    ASSERT_EQ(l.data.getNumUsedPK(), 4);
    EXPECT_EQ(l.data.getPK()[0].Seq, "TATAAA");
    EXPECT_EQ(l.data.getPK()[3].Seq, "TTTAAA");
}

TEST(LoadPKInfo, LastLineWithoutLineEndAndCarriageReturns) {
    Loaded l;
    l.seqs(">s\nACGTACGTACGT\n");
    l.pk("TATAAA\r\nTATCAA\r\nTATTAA\r\nTTTAAA");
    EXPECT_EQ(l.data.NumFilePK, 3);
    EXPECT_EQ(l.data.GetK(), 6);
    EXPECT_EQ(l.data.getPK()[2].Seq, "TATTAA");
}

TEST(LoadPKInfo, SharesOfTheFileAndNoiseSites) {
    SeedRandom(7);
    {
        Loaded l;
        l.seqs(">s\nACGTACGTACGT\n");
        l.pk("AAAAAA\nCCCCCC\nGGGGGG\nTTTTTT\nACACAC\n", 0.5);
        ASSERT_EQ(l.data.getNumUsedPK(), 2);
        EXPECT_NE(l.data.getPK()[0].Seq, l.data.getPK()[1].Seq);
    }
    {
        Loaded l;
        l.seqs(">s\nACGTACGTACGT\n");
        l.pk("AAAAAA\nCCCCCC\nGGGGGG\nTTTTTT\nACACAC\n", 0.1);
        EXPECT_EQ(l.data.getNumUsedPK(), 1);
    }
    {
        Loaded l;
        l.seqs(">s\nacgtacgtacgt\n>t\nGG\n");
        l.pk("AAAAAA\nCCCCCC\nGGGGGG\nTTTTTT\nACACAC\n", 1.0, 0.5);
        ASSERT_EQ(l.data.getNumUsedPK(), 7);  // 5 chosen + 2 noise (2.5 truncated)
        std::string seq = "ACGTACGTACGT";
        for (int i = 5; i < 7; ++i) {
            const std::string& noise = l.data.getPK()[i].Seq;
            EXPECT_EQ(noise.size(), 6u);
            EXPECT_NE(seq.find(noise), std::string::npos) << noise;  // upper case, from the long sequence
        }
    }
}

TEST(LoadPKInfo, ThirtyEightLetterSitesLoad) {
    Loaded l;
    std::string site(38, 'A');
    l.seqs(">s\n" + std::string(50, 'C') + "\n");
    l.pk(site + "\n" + site + "\n");
    EXPECT_EQ(l.data.GetK(), 38);
}

TEST(LoadPKInfoDeath, WidthFaults) {
    auto fails = [](const std::string& text) {
        Loaded l;
        l.seqs(">s\nACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n");
        EXPECT_EXIT(l.pk(text), testing::ExitedWithCode(1), "") << text;
    };
    fails("TATAAA\nTATAAA\n\n");                              // blank line at the end
    fails("TA\nTATAAA\n");                                    // first line too short
    fails(std::string(45, 'A') + "\n" + std::string(45, 'A') + "\n");
    fails(std::string(39, 'A') + "\n" + std::string(39, 'A') + "\n");
    fails("\nTATAAA\n");                                      // empty first line
    fails("");                                                // no site at all
}

TEST(PosFreq, WindowsOfTheForwardSequences) {
    Loaded l;
    l.seqs(">s\nACGTACGT\n");
    l.pk("ACGT\nACGT\n");
    EXPECT_DOUBLE_EQ(l.data.PosFreq[0][0], 0.4);
    EXPECT_DOUBLE_EQ(l.data.PosFreq[1][0], 0.2);
    for (int j = 0; j < 4; ++j) {
        double sum = 0;
        for (int b = 0; b < 4; ++b) sum += l.data.PosFreq[b][j];
        EXPECT_DOUBLE_EQ(sum, 1.0);
    }
}

TEST(PosFreq, SkippingWindowsWithOtherLetters) {
    Loaded l;
    l.seqs(">s\nACGTNACGT\n");
    l.data.SetK(4);
    l.data.ComputePosFreq(true);
    // Only the windows ACGT at 0 and 5 count.
    EXPECT_DOUBLE_EQ(l.data.PosFreq[0][0], 1.0);
    EXPECT_DOUBLE_EQ(l.data.PosFreq[3][3], 1.0);
}

TEST(PKScoring, FourIdenticalSites) {
    Loaded l;
    l.seqs(">s\nACGTACGTTTGACA\n");
    l.freq(clitest::FlatBackground());
    l.pk("ttgaca\nTTGACA\nTTGACA\nTTGACA\n");
    l.score();
    PKFitness fit = l.data.getPKFit();
    EXPECT_EQ(fit.NumPK, 4);
    EXPECT_DOUBLE_EQ(fit.Mismatch, 0.0);
    EXPECT_STREQ(fit.Cons, "TTGACA");
    EXPECT_DOUBLE_EQ(fit.PKMax, -999999.0);
    EXPECT_DOUBLE_EQ(fit.STD, 0.0);
    EXPECT_DOUBLE_EQ(fit.Freq[3][0], 0.75);
    EXPECT_DOUBLE_EQ(fit.Freq[0][0], 1.0 / 12);
    EXPECT_DOUBLE_EQ(fit.MismatchMatrix[3][1], 1.0);
    EXPECT_NEAR(fit.IC, 6 * 0.5 * std::log2(3.0), 1e-9);
    EXPECT_TRUE(std::isinf(l.data.getPK()[0].BGScore));
    EXPECT_EQ(l.data.getPK()[0].Score, l.data.getPK()[1].Score);
    EXPECT_NE(l.out.find("Start to calculate the fitness of pri-knowledege\nFitness for Pre-Knowledege: \nInformation Content: "),
              std::string::npos)
        << l.out;
    EXPECT_NE(l.out.find("\nAverage Mismatch: 0\nPK MAXI\t-999999\n\nLower Complexity: "), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("\n\nConsensus: TTGACA\n"), std::string::npos) << l.out;
    // The copy is independent of the record it came from.
    fit.IC = 42;
    EXPECT_NE(l.data.getPKFit().IC, 42);
}

TEST(PKScoring, SecondCallAsksAndKeepsTheRecordOnNo) {
    Loaded l;
    l.seqs(">s\nACGTACGTTTGACA\n");
    l.freq(clitest::FlatBackground());
    l.pk("TTGACA\nTTGACC\n");
    l.score();
    double ic = l.data.getPKFit().IC;
    std::istringstream answer("n\n");
    std::streambuf* old = std::cin.rdbuf(answer.rdbuf());
    testing::internal::CaptureStdout();
    l.data.ProducePKFitness();
    std::string out = testing::internal::GetCapturedStdout();
    std::cin.rdbuf(old);
    EXPECT_EQ(out,
              "The fitness values of prior-knowledege have been defined before, do you want to recalculate it? "
              "[y/n]Skip the PK fitness calculation\n");
    EXPECT_DOUBLE_EQ(l.data.getPKFit().IC, ic);
}

TEST(PKScoring, MismatchAgainstTheProfile) {
    Loaded l;
    l.seqs(">s\nACGTACGT\n");
    l.freq(clitest::FlatBackground());
    l.pk("ACGT\nACGA\n");
    l.score();
    // PosFreq of ACGTACGT for width 4 and the profile of ACGT/ACGA: each site
    // differs from the profile by half a letter at the last offset.
    PKFitness fit = l.data.getPKFit();
    auto den = [&](const char* w) {
        double d = 0;
        for (int p = 0; p < 4; ++p) d += 1 - l.data.PosFreq[Midlayer::LookupCode(w[p])][p];
        return d;
    };
    EXPECT_NEAR(l.data.getPK()[0].Score, 0.5 / den("ACGT"), 1e-12);
    EXPECT_NEAR(l.data.getPK()[1].Score, 0.5 / den("ACGA"), 1e-12);
    EXPECT_NEAR(fit.Mismatch, (0.5 / den("ACGT") + 0.5 / den("ACGA")) / 2, 1e-12);
    EXPECT_STREQ(fit.Cons, "ACGA");
    EXPECT_DOUBLE_EQ(l.data.CalculateMismatch("acgt", 4, fit), l.data.CalculateMismatch("ACGT", 4, fit));
}

TEST(Filtering, WithoutKnownSitesEveryPositionIsAdmissible) {
    Loaded l;
    l.seqs(">a\nACGTACGTAC\n>b\nGGGGCCCC\n");
    l.freq(clitest::FlatBackground());
    l.data.SetK(4);
    l.data.SetFilter(false);
    l.data.ComputePosFreq(true);
    l.filter();
    EXPECT_EQ(l.out.find("Overall"), std::string::npos);
    ASSERT_EQ(l.data.Candidates.size(), 4u);
    EXPECT_EQ(l.data.Candidates[0], (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(l.data.Candidates[3], (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(l.data.KmerScores.size(), 24u);
}

TEST(FilteringDeath, OtherLettersEndTheRun) {
    Loaded l;
    l.seqs(">a\nACGTNACGT\n");
    l.freq(clitest::FlatBackground());
    l.data.SetK(4);
    l.data.ComputePosFreq(true);
    EXPECT_EXIT(l.filter(), testing::ExitedWithCode(1), "");
}

TEST(Filtering, ActiveFilterAdmitsWhatScoresLikeTheKnownSites) {
    Loaded l;
    l.seqs(">a\nTTGACATTTTTTTTTTGGCCGG\n>b\nCCCCCCCCCCCCCCCCGGCCGG\n");
    std::string bg = clitest::FlatBackground();
    l.freq(bg);
    l.pk("TTGACA\nTTGACT\nTAGACA\n");
    l.score();
    l.data.setPKPre(true);
    l.data.SetFilter(true);
    l.filter();
    ASSERT_NE(l.out.find("Overall Kmers: 68. No. of Filtered Out Kmers: "), std::string::npos) << l.out;
    ASSERT_EQ(l.data.Candidates.size(), 4u);
    const double pkMax = l.data.getPKFit().PKMax;
    // Every admitted window scores at or below the weakest known site, except a
    // strand's single fallback position.
    std::set<std::pair<int, int>> admitted;
    for (int g = 0; g < 4; ++g) {
        ASSERT_FALSE(l.data.Candidates[g].empty()) << g;
        for (int p : l.data.Candidates[g]) admitted.insert({g, p});
    }
    EXPECT_TRUE(admitted.count({0, 0}));  // TTGACA itself
    size_t idx = 0;
    for (int g = 0; g < 4; ++g) {
        int n = 0;
        for (int q = 0; q + 6 <= l.data.Seqs[g].len; ++q, ++idx) {
            char word[7];
            for (int j = 0; j < 6; ++j) word[j] = static_cast<char>(std::toupper(l.data.Seqs[g].Letter(q + j)));
            word[6] = 0;
            PKFitness fit = l.data.getPKFit();
            double raw = Midlayer::log2(l.data.BackgroundProb(word, 6)) / l.data.CalculateMismatch(word, 6, fit);
            if (raw <= pkMax) {
                EXPECT_TRUE(admitted.count({g, q})) << g << " " << q;
                ++n;
            }
        }
        if (n == 0) {
            EXPECT_EQ(l.data.Candidates[g].size(), 1u) << g;
        }
    }
    EXPECT_EQ(idx, l.data.KmerScores.size());
}

}  // namespace
