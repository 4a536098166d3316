// qiro-freq: background frequency files built from FASTA files. Expected values
// are worked out by hand from tiny inputs; the output is then loaded back
// through the data layer.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"
#include "input/FreqTool.h"
#include "input/Midlayer.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const double kTol = 1e-9;  // values are written with ten significant digits

// One parsed output: the records in file order and the value of each word.
struct FreqFile {
    struct Record {
        int index = -1;
        std::string word;
        double value = 0.0;
    };
    std::vector<Record> records;
    std::map<std::string, double> value;
    std::string problem;  // empty when every line is a well-formed record

    double operator[](const std::string& w) const {
        auto it = value.find(w);
        return it == value.end() ? -1.0 : it->second;
    }
};

FreqFile Parse(const std::string& text) {
    FreqFile f;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        std::istringstream fields(line);
        FreqFile::Record r;
        std::string extra;
        if (!(fields >> r.index >> r.word >> r.value) || (fields >> extra)) {
            f.problem = "line " + std::to_string(n) + " is not \"index word value\": " + line;
            return f;
        }
        f.records.push_back(r);
        f.value[r.word] = r.value;
    }
    if (!text.empty() && text.back() != '\n') f.problem = "the last line has no line end";
    return f;
}

// Every word of one to four letters over A, C, G, T, in the order of the table.
std::vector<std::string> AllWords() {
    std::vector<std::string> words;
    const char* L = "ACGT";
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            std::string w;
            for (int p = len - 1; p >= 0; --p) w += L[(code >> (2 * p)) & 3];
            words.push_back(w);
        }
    }
    return words;
}

// Runs qiro-freq in a fresh folder holding the given files; fails the test on
// a non-zero exit or a malformed output.
struct FreqRun {
    WorkDir dir;
    Result result;
    FreqFile freq;

    FreqRun(const std::vector<std::pair<std::string, std::string>>& files, const std::string& args) {
        for (const auto& f : files) dir.write(f.first, f.second);
        result = dir.qiroFreq(args);
        EXPECT_EQ(result.status, 0) << result.command << "\n" << result.err;
        EXPECT_EQ(result.err, "");
        freq = Parse(result.out);
        EXPECT_EQ(freq.problem, "");
        EXPECT_EQ(freq.records.size(), 340u);
    }
};

// The output for one FASTA text.
FreqFile FreqOf(const std::string& fasta, const std::string& options = "") {
    FreqRun r({{"in.fa", fasta}}, options + " in.fa");
    return r.freq;
}

void ExpectComplete(const FreqFile& f) {
    for (const std::string& w : AllWords()) {
        ASSERT_EQ(f.value.count(w), 1u) << "missing " << w;
        EXPECT_GT(f[w], 0.0) << w;
        EXPECT_LT(f[w], 1.0) << w;
    }
}

// The four letters sum to 1, and so do the four continuations of every context
// of one to three letters.
void ExpectContextsSumToOne(const FreqFile& f) {
    std::vector<std::string> contexts = {""};
    for (const std::string& w : AllWords())
        if (w.size() <= 3) contexts.push_back(w);
    ASSERT_EQ(contexts.size(), 85u);
    for (const std::string& c : contexts) {
        double sum = 0.0;
        for (char b : std::string("ACGT")) sum += f[c + b];
        EXPECT_NEAR(sum, 1.0, 4 * kTol) << "context \"" << c << "\"";
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Counting words

TEST(FreqWordCounts, EveryWordEndingAtEachLetterIsCountedOnce) {
    WordCounts c;
    c.AddSequence("AACGT", false);
    // Letters: A 2, C 1, G 1, T 1. Pairs AA AC CG GT; triples AAC ACG CGT;
    // four-letter words AACG ACGT.
    EXPECT_DOUBLE_EQ(c.count[0], 2.0);
    EXPECT_DOUBLE_EQ(c.count[1], 1.0);
    EXPECT_DOUBLE_EQ(c.count[2], 1.0);
    EXPECT_DOUBLE_EQ(c.count[3], 1.0);
    EXPECT_DOUBLE_EQ(c.count[4 + 0], 1.0);              // AA
    EXPECT_DOUBLE_EQ(c.count[4 + 4], 0.0);              // CA
    EXPECT_DOUBLE_EQ(c.count[4 + 1], 1.0);              // AC
    EXPECT_DOUBLE_EQ(c.count[4 + 6], 1.0);              // CG
    EXPECT_DOUBLE_EQ(c.count[4 + 11], 1.0);             // GT
    EXPECT_DOUBLE_EQ(c.count[20 + 1 * 4 + 2], 1.0);     // ACG: 0 1 2
    EXPECT_DOUBLE_EQ(c.count[20 + 1], 1.0);             // AAC
    EXPECT_DOUBLE_EQ(c.count[20 + 27], 1.0);            // CGT: 1*16 + 2*4 + 3
    EXPECT_DOUBLE_EQ(c.count[84 + 6], 1.0);             // AACG: 0 0 1 2
    EXPECT_DOUBLE_EQ(c.count[84 + 27], 1.0);            // ACGT: 0 1 2 3
    double total[5] = {0, 0, 0, 0, 0};
    const int offset[5] = {0, 0, 4, 20, 84};
    for (int len = 1; len <= 4; ++len)
        for (int i = 0; i < (1 << (2 * len)); ++i) total[len] += c.count[offset[len] + i];
    EXPECT_DOUBLE_EQ(total[1], 5.0);
    EXPECT_DOUBLE_EQ(total[2], 4.0);
    EXPECT_DOUBLE_EQ(total[3], 3.0);
    EXPECT_DOUBLE_EQ(total[4], 2.0);
}

TEST(FreqWordCounts, BothStrandsAddTheReverseComplement) {
    WordCounts c;
    c.AddSequence("AAC", true);  // reverse complement GTT
    EXPECT_DOUBLE_EQ(c.count[0], 2.0);       // A
    EXPECT_DOUBLE_EQ(c.count[1], 1.0);       // C
    EXPECT_DOUBLE_EQ(c.count[2], 1.0);       // G
    EXPECT_DOUBLE_EQ(c.count[3], 2.0);       // T
    EXPECT_DOUBLE_EQ(c.count[4 + 11], 1.0);  // GT
    EXPECT_DOUBLE_EQ(c.count[4 + 15], 1.0);  // TT
    EXPECT_DOUBLE_EQ(c.count[4 + 4], 0.0);   // CA: the strands are not joined
    EXPECT_DOUBLE_EQ(c.count[20 + 47], 1.0); // GTT: 2*16 + 3*4 + 3
}

TEST(FreqWordCounts, OtherLettersBreakWordsAndLowerCaseCounts) {
    WordCounts c;
    c.AddSequence("acNgt", false);
    EXPECT_DOUBLE_EQ(c.count[0] + c.count[1] + c.count[2] + c.count[3], 4.0);
    EXPECT_DOUBLE_EQ(c.count[4 + 1], 1.0);   // AC
    EXPECT_DOUBLE_EQ(c.count[4 + 6], 0.0);   // CG
    EXPECT_DOUBLE_EQ(c.count[4 + 11], 1.0);  // GT
    for (int i = 20; i < 340; ++i) EXPECT_DOUBLE_EQ(c.count[i], 0.0) << i;
}

// ---------------------------------------------------------------------------
// Values written for hand-worked inputs (pseudocount 1 unless said)

TEST(FreqValues, OneStrandOfAAC) {
    FreqFile f = FreqOf(">s\nAAC\n", "-s");
    ExpectComplete(f);
    // Letters A 2, C 1 of 3; with 1 added to each: 3/7 2/7 1/7 1/7.
    EXPECT_NEAR(f["A"], 3.0 / 7, kTol);
    EXPECT_NEAR(f["C"], 2.0 / 7, kTol);
    EXPECT_NEAR(f["G"], 1.0 / 7, kTol);
    EXPECT_NEAR(f["T"], 1.0 / 7, kTol);
    // After A: AA 1, AC 1 -> (1+1)/(2+4).
    EXPECT_NEAR(f["AA"], 1.0 / 3, kTol);
    EXPECT_NEAR(f["AC"], 1.0 / 3, kTol);
    EXPECT_NEAR(f["AG"], 1.0 / 6, kTol);
    EXPECT_NEAR(f["AT"], 1.0 / 6, kTol);
    // Nothing follows C: a flat quarter.
    EXPECT_NEAR(f["CA"], 0.25, kTol);
    EXPECT_NEAR(f["CC"], 0.25, kTol);
    // After AA: AAC 1 -> 2/5, the rest 1/5.
    EXPECT_NEAR(f["AAC"], 0.4, kTol);
    EXPECT_NEAR(f["AAA"], 0.2, kTol);
    // No four-letter word at all.
    EXPECT_NEAR(f["AACA"], 0.25, kTol);
    // The reverse strand is not counted.
    EXPECT_NEAR(f["GT"], 0.25, kTol);
}

TEST(FreqValues, BothStrandsOfAAC) {
    FreqFile f = FreqOf(">s\nAAC\n");
    ExpectComplete(f);
    // AAC and GTT: A 2, C 1, G 1, T 2 of 6 -> 3/10 2/10 2/10 3/10.
    EXPECT_NEAR(f["A"], 0.3, kTol);
    EXPECT_NEAR(f["C"], 0.2, kTol);
    EXPECT_NEAR(f["G"], 0.2, kTol);
    EXPECT_NEAR(f["T"], 0.3, kTol);
    EXPECT_NEAR(f["AA"], 1.0 / 3, kTol);
    EXPECT_NEAR(f["AT"], 1.0 / 6, kTol);
    // After G only GT (2/5); after T only TT (2/5).
    EXPECT_NEAR(f["GT"], 0.4, kTol);
    EXPECT_NEAR(f["GA"], 0.2, kTol);
    EXPECT_NEAR(f["TT"], 0.4, kTol);
    EXPECT_NEAR(f["TG"], 0.2, kTol);
    EXPECT_NEAR(f["CA"], 0.25, kTol);
    EXPECT_NEAR(f["GTT"], 0.4, kTol);
    EXPECT_NEAR(f["GTC"], 0.2, kTol);
    EXPECT_NEAR(f["AAC"], 0.4, kTol);
}

TEST(FreqValues, FourLetterWordsOfARun) {
    // AAAAA on one strand: A 5 of 5; AA 4; AAA 3; AAAA 2.
    FreqFile one = FreqOf(">run\nAAAAA\n", "-s");
    EXPECT_NEAR(one["A"], 6.0 / 9, kTol);
    EXPECT_NEAR(one["C"], 1.0 / 9, kTol);
    EXPECT_NEAR(one["AA"], 5.0 / 8, kTol);
    EXPECT_NEAR(one["AC"], 1.0 / 8, kTol);
    EXPECT_NEAR(one["AAA"], 4.0 / 7, kTol);
    EXPECT_NEAR(one["AAAA"], 3.0 / 6, kTol);
    EXPECT_NEAR(one["AAAT"], 1.0 / 6, kTol);
    EXPECT_NEAR(one["TTTT"], 0.25, kTol);
    // Both strands add TTTTT: letters A 5, T 5 of 10.
    FreqFile both = FreqOf(">run\nAAAAA\n");
    EXPECT_NEAR(both["A"], 6.0 / 14, kTol);
    EXPECT_NEAR(both["T"], 6.0 / 14, kTol);
    EXPECT_NEAR(both["G"], 1.0 / 14, kTol);
    EXPECT_NEAR(both["AAAA"], 0.5, kTol);
    EXPECT_NEAR(both["TTTT"], 0.5, kTol);
    EXPECT_NEAR(both["TTTA"], 1.0 / 6, kTol);
}

TEST(FreqValues, PseudocountOption) {
    // AAC on one strand with 0.5 added: (2.5, 1.5, 0.5, 0.5) / 5.
    FreqFile half = FreqOf(">s\nAAC\n", "-s -p 0.5");
    EXPECT_NEAR(half["A"], 0.5, kTol);
    EXPECT_NEAR(half["C"], 0.3, kTol);
    EXPECT_NEAR(half["G"], 0.1, kTol);
    EXPECT_NEAR(half["AA"], 1.5 / 4, kTol);  // (1+0.5)/(2+2)
    EXPECT_NEAR(half["AG"], 0.5 / 4, kTol);
    EXPECT_NEAR(half["AAC"], 1.5 / 3, kTol); // (1+0.5)/(1+2)
    ExpectComplete(half);
    // A large pseudocount pulls everything towards a quarter: (2+100)/(3+400).
    FreqFile large = FreqOf(">s\nAAC\n", "-s -p 100");
    EXPECT_NEAR(large["A"], 102.0 / 403, kTol);
    EXPECT_NEAR(large["AA"], 101.0 / 402, kTol);
}

TEST(FreqValues, RecordsAreIndexedInTableOrder) {
    FreqFile f = FreqOf(">s\nACGTTGCA\n");
    ASSERT_EQ(f.records.size(), 340u);
    std::vector<std::string> words = AllWords();
    for (size_t i = 0; i < f.records.size(); ++i) {
        EXPECT_EQ(f.records[i].index, static_cast<int>(i)) << i;
        EXPECT_EQ(f.records[i].word, words[i]) << i;
    }
    EXPECT_EQ(f.records[0].word, "A");
    EXPECT_EQ(f.records[4].word, "AA");
    EXPECT_EQ(f.records[19].word, "TT");
    EXPECT_EQ(f.records[20].word, "AAA");
    EXPECT_EQ(f.records[84].word, "AAAA");
    EXPECT_EQ(f.records[339].word, "TTTT");
}

// ---------------------------------------------------------------------------
// Every context is a probability distribution

TEST(FreqContexts, SumToOneForMixedInputs) {
    const std::string fasta =
        ">one\nACGTTGCAAGGCTTACCGATNNACGTAGCTAGGATCCAAAT\nggccatTTAGCA\n"
        ">two\nTTTTTTTTGGGGACAC\n>three\nA\n>four\n\n";
    for (const char* options : {"", "-s", "-p 0.25", "-s -p 3"}) {
        SCOPED_TRACE(options);
        FreqFile f = FreqOf(fasta, options);
        ExpectComplete(f);
        ExpectContextsSumToOne(f);
    }
}

TEST(FreqContexts, AnEmptyFileGivesAFlatQuarter) {
    FreqFile f = FreqOf("");
    ExpectContextsSumToOne(f);
    for (const std::string& w : AllWords()) EXPECT_NEAR(f[w], 0.25, kTol) << w;
}

// ---------------------------------------------------------------------------
// What counts as a letter and a word

TEST(FreqLetters, OtherLettersBreakWords) {
    // ACNGT on one strand: pairs AC and GT only; nothing follows C.
    for (const char* breaker : {"N", "n", "X", "R", "-", "1", "*"}) {
        SCOPED_TRACE(breaker);
        FreqFile f = FreqOf(std::string(">s\nAC") + breaker + "GT\n", "-s");
        EXPECT_NEAR(f["A"], 0.25, kTol);  // (1+1)/(4+4): the breaker is no letter
        EXPECT_NEAR(f["CG"], 0.25, kTol);
        EXPECT_NEAR(f["AC"], 0.4, kTol);
        EXPECT_NEAR(f["GT"], 0.4, kTol);
        EXPECT_NEAR(f["ACG"], 0.25, kTol);
    }
    // Without the breaker CG is a word: after C only G, (1+1)/(1+4).
    FreqFile joined = FreqOf(">s\nACGT\n", "-s");
    EXPECT_NEAR(joined["CG"], 0.4, kTol);
    EXPECT_NEAR(joined["ACG"], 0.4, kTol);
}

TEST(FreqLetters, LowerCaseCountsAsUpperCase) {
    FreqFile lower = FreqOf(">s\naac\n", "-s");
    EXPECT_NEAR(lower["A"], 3.0 / 7, kTol);
    EXPECT_NEAR(lower["AAC"], 0.4, kTol);
    FreqRun upper({{"u.fa", ">s\nACGTTGCAAGGCTTAC\n"}}, "u.fa");
    FreqRun mixed({{"m.fa", ">s\nacgTTgcaAGGctTAc\n"}}, "m.fa");
    EXPECT_EQ(mixed.result.out, upper.result.out);
    // Only upper-case words are written.
    for (const auto& r : lower.records)
        for (char c : r.word) EXPECT_TRUE(c == 'A' || c == 'C' || c == 'G' || c == 'T') << r.word;
}

TEST(FreqLetters, WordsRunOnAcrossLinesButNotAcrossRecords) {
    // One record over two lines still holds CG.
    FreqFile lines = FreqOf(">s\nAC\nGT\n", "-s");
    EXPECT_NEAR(lines["CG"], 0.4, kTol);
    EXPECT_NEAR(lines["ACGT"], 0.4, kTol);
    // Two records do not.
    FreqFile records = FreqOf(">a\nAC\n>b\nGT\n", "-s");
    EXPECT_NEAR(records["CG"], 0.25, kTol);
    EXPECT_NEAR(records["A"], 0.25, kTol);
    EXPECT_NEAR(records["GT"], 0.4, kTol);
}

TEST(FreqLetters, HeadersBlanksAndCarriageReturnsAreNotSequence) {
    // The header's letters are not counted; blanks and \r inside lines are skipped.
    FreqFile f = FreqOf(">ACGT GGG\r\nA A\tC\r\n\r\n", "-s");
    EXPECT_NEAR(f["A"], 3.0 / 7, kTol);
    EXPECT_NEAR(f["G"], 1.0 / 7, kTol);
    EXPECT_NEAR(f["AA"], 1.0 / 3, kTol);
    EXPECT_NEAR(f["AAC"], 0.4, kTol);
}

TEST(FreqLetters, TextBeforeTheFirstHeaderIsNoRecord) {
    // As qiro reads FASTA files, the leading GGGG belongs to no sequence.
    FreqFile f = FreqOf("GGGG\n>s\nAAC\n", "-s");
    EXPECT_NEAR(f["G"], 1.0 / 7, kTol);
    EXPECT_NEAR(f["A"], 3.0 / 7, kTol);
    EXPECT_NEAR(f["GG"], 0.25, kTol);
}

// ---------------------------------------------------------------------------
// Input files, output file and option order

TEST(FreqFiles, SeveralFilesAreCountedTogether) {
    FreqRun r({{"a.fa", ">a\nAA\n"}, {"b.fa", ">b\nAC\n"}}, "-s a.fa b.fa");
    // Letters A 3, C 1 of 4 -> 4/8 2/8 1/8 1/8; after A: AA 1, AC 1.
    EXPECT_NEAR(r.freq["A"], 0.5, kTol);
    EXPECT_NEAR(r.freq["C"], 0.25, kTol);
    EXPECT_NEAR(r.freq["T"], 0.125, kTol);
    EXPECT_NEAR(r.freq["AA"], 1.0 / 3, kTol);
    EXPECT_NEAR(r.freq["AC"], 1.0 / 3, kTol);
    // The files are not joined: no AAA across the end of a.fa.
    EXPECT_NEAR(r.freq["AAA"], 0.25, kTol);
    // The same records in one file give the same output.
    FreqRun one({{"ab.fa", ">a\nAA\n>b\nAC\n"}}, "-s ab.fa");
    EXPECT_EQ(r.result.out, one.result.out);
    // An empty file among them adds nothing.
    FreqRun withEmpty({{"a.fa", ">a\nAA\n"}, {"e.fa", ""}, {"b.fa", ">b\nAC\n"}}, "-s a.fa e.fa b.fa");
    EXPECT_EQ(withEmpty.result.out, r.result.out);
}

TEST(FreqFiles, OutputOptionWritesTheFileOnly) {
    WorkDir dir;
    dir.write("in.fa", ">s\nAAC\n");
    Result toFile = dir.qiroFreq("-o bg.freq in.fa");
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(toFile.err, "");
    ASSERT_TRUE(dir.exists("bg.freq"));
    FreqFile f = Parse(dir.read("bg.freq"));
    EXPECT_EQ(f.problem, "");
    EXPECT_EQ(f.records.size(), 340u);
    EXPECT_NEAR(f["A"], 0.3, kTol);
    EXPECT_NEAR(f["GT"], 0.4, kTol);
    Result toStdout = dir.qiroFreq("in.fa");
    EXPECT_EQ(dir.read("bg.freq"), toStdout.out);
    // An existing file is replaced.
    dir.write("old.freq", std::string(5000, 'x'));
    EXPECT_EQ(dir.qiroFreq("in.fa -o old.freq").status, 0);
    EXPECT_EQ(dir.read("old.freq"), toStdout.out);
}

TEST(FreqFiles, OptionsMayFollowTheFiles) {
    FreqRun before({{"in.fa", ">s\nAAC\n"}}, "-s -p 2 in.fa");
    FreqRun after({{"in.fa", ">s\nAAC\n"}}, "in.fa -p 2 -s");
    EXPECT_EQ(before.result.out, after.result.out);
    EXPECT_NEAR(after.freq["A"], 4.0 / 11, kTol);  // (2+2)/(3+8)
}

// ---------------------------------------------------------------------------
// Help and errors

TEST(FreqHelp, ExplainsTheOptions) {
    WorkDir dir;
    Result r = dir.qiroFreq("-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("qiro-freq"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FASTA"), std::string::npos) << r.out;
    for (const char* option : {"-o", "-s", "-p"}) EXPECT_NE(r.out.find(option), std::string::npos) << option;
    // Help wins over files that do not exist, and writes no output file.
    Result withFile = dir.qiroFreq("-h -o x.freq missing.fa");
    EXPECT_EQ(withFile.status, 0);
    EXPECT_EQ(withFile.out, r.out);
    EXPECT_FALSE(dir.exists("x.freq"));
}

namespace {

// A failing run: non-zero exit, a message on standard error, no records on
// standard output and no output file.
void ExpectFailure(const std::string& args, const std::string& inMessage = "") {
    WorkDir dir;
    dir.write("in.fa", ">s\nACGT\n");
    Result r = dir.qiroFreq(args);
    EXPECT_NE(r.status, 0) << args;
    EXPECT_NE(r.err, "") << args;
    if (!inMessage.empty()) {
        EXPECT_NE(r.err.find(inMessage), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_EQ(r.out, "") << args;
    EXPECT_FALSE(dir.exists("out.freq")) << args;
}

}  // namespace

TEST(FreqErrors, NoFastaFile) {
    ExpectFailure("");
    ExpectFailure("-s -p 2");
    ExpectFailure("-o out.freq");
}

TEST(FreqErrors, UnreadableFiles) {
    ExpectFailure("missing.fa", "missing.fa");
    ExpectFailure("in.fa missing.fa -o out.freq", "missing.fa");
    ExpectFailure("-o out.freq .", ".");  // a folder is no FASTA file
}

TEST(FreqErrors, BadPseudocounts) {
    for (const char* value : {"0", "-1", "abc", "1x", "''", "inf", "nan", "1e999"}) {
        ExpectFailure(std::string("-p ") + value + " in.fa -o out.freq", "pseudocount");
    }
    ExpectFailure("in.fa -p");  // no value
}

TEST(FreqErrors, UnknownOptionsAndMissingValues) {
    ExpectFailure("-x in.fa", "-x");
    ExpectFailure("--bogus in.fa", "--bogus");
    ExpectFailure("in.fa -o");
}

TEST(FreqErrors, UnwritableOutput) {
    ExpectFailure("-o no/such/folder/out.freq in.fa", "no/such/folder/out.freq");
}

// ---------------------------------------------------------------------------
// The output loads in the data layer

TEST(FreqLoad, WrittenFileLoadsWithoutWarning) {
    WorkDir dir;
    dir.write("in.fa", ">s\nAAC\n");
    Result r = dir.qiroFreq("-o bg.freq in.fa");
    ASSERT_EQ(r.status, 0) << r.err;
    Midlayer d;
    testing::internal::CaptureStdout();
    d.OpenFreqFile(dir.file("bg.freq"));
    d.LoadFreqInfo();
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "");
    const double* f = d.GetFreqInfo();
    EXPECT_NEAR(f[0], 0.3, kTol);
    EXPECT_NEAR(f[1], 0.2, kTol);
    EXPECT_NEAR(f[2], 0.2, kTol);
    EXPECT_NEAR(f[3], 0.3, kTol);
    EXPECT_DOUBLE_EQ(f[4], 0.0);
    EXPECT_EQ(d.BackFreq.size(), 340u);
    EXPECT_NEAR(d.BackWord("GT", 2), 0.4, kTol);
    EXPECT_NEAR(d.BackWord("aac", 3), 0.4, kTol);
    EXPECT_NEAR(d.BackWord("CACA", 4), 0.25, kTol);
    // Markov probability of AAC: B(A) B(AA) B(AAC) = 0.3 * 1/3 * 0.4.
    EXPECT_NEAR(d.BackgroundProb("AAC", 3), 0.04, kTol);
}

TEST(FreqLoad, MixedInputLoadsAndKeepsEveryContextSummingToOne) {
    WorkDir dir;
    dir.write("a.fa", ">x\nACGTTGCAAGGCTTACCGATNNACGTAGC\n>y\nttaggatccaaat\n");
    dir.write("b.fa", ">z\nGGGGCCCCATATAT\n");
    Result r = dir.qiroFreq("-s -p 0.5 -o bg.freq a.fa b.fa");
    ASSERT_EQ(r.status, 0) << r.err;
    Midlayer d;
    testing::internal::CaptureStdout();
    d.OpenFreqFile(dir.file("bg.freq"));
    d.LoadFreqInfo();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const double* f = d.GetFreqInfo();
    EXPECT_NEAR(f[0] + f[1] + f[2] + f[3], 1.0, 4 * kTol);
    for (int b = 0; b < 4; ++b) EXPECT_GT(f[b], 0.0);
    for (const std::string& w : AllWords()) {
        if (w.size() > 3) continue;
        double sum = 0.0;
        for (char b : std::string("ACGT")) sum += d.BackWord((w + b).c_str(), static_cast<int>(w.size()) + 1);
        EXPECT_NEAR(sum, 1.0, 4 * kTol) << w;
    }
}
