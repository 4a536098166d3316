// The bad-input matrix of docs/robustness.md, one group of rows per test:
// every hostile or malformed input gets its documented answer (message and
// exit status) from the built binary, run on files the test writes. Then the
// faults of a run: output paths that cannot be written, limits of -k, -p and
// -g, and interruption by SIGINT or SIGTERM, which must leave no partial file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

// Six sequences of 60 letters (random, fixed).
const std::string kSeqs =
    ">s1\nGCTAAAGACAATTACATAACATACACGTCAGCACGAAACTTGTTGGCCCAGTGTGAATCG\n"
    ">s2\nCTTAAGGGTTAAGTAAGTGTGATGCATACGCCTTTACTTGCTGTGTCCACCCCATCGGAC\n"
    ">s3\nTGGCATTTTTATTACACTCAGAAACAGAACTCGGGTAATTTTGACAGGTCACGCAGAGGC\n"
    ">s4\nGCGCCCTCCTGAAGTGCGTGGACACTCGCTATGAATCTCTGATTTACCCACTCTGCCAAA\n"
    ">s5\nCTCCAGCGCGGTCAGTTCCATCACCCTAAGTAACCGAATAATGCGTTCGCTCTATTGACT\n"
    ">s6\nACGACGCGCTCATTCCCTTGTCGGAGAGTTATGGAACAAGGACGCTGTCTGAGACTAGAA\n";

// Small runs: a fixed seed and the smallest accepted population and budget.
const std::string kFast = " -seed 1 -g 10 -p 10";

const std::string kSystemAborted = "System aborted. \n";
// Each input-letter error is followed by the way out.
const std::string kFilterLetters =
    "\tError: The sequence contains invalid letters. Please check the input sequences.\n"
    "Use -mask T to leave out windows holding other letters.\n";
const std::string kPosFreqLetters =
    "Fatal Error: The input sequence contains invalid letters. Please check the input.\n System Aborted\n\n"
    "Use -mask T to leave out windows holding other letters.\n";
const std::string kSiteLetters =
    "Fatal Error: The PK sequence contains invalid letters. Please check the input.\n System Aborted\n\n";
const std::string kDifferentLengths =
    "Sequences in Pri-knowledege file have different lengths\n"
    "Pri-knowledege must have the same length\n"
    "Please check the sequences.\n"
    "System aborted. \n\n";
const std::string kFallback = "Using Default output file \"qiro.out\" instead\n";
const std::string kFinished = "Finish the Post Processing.\n";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Bytes from a fixed seed; `withHeader` decides whether '>' may occur.
std::string Garbage(size_t n, uint32_t seed, bool withHeader) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        char c = static_cast<char>(rng() & 0xFF);
        if (!withHeader && c == '>') continue;
        s.push_back(c);
    }
    return s;
}

// The flat background with the value of one word replaced.
std::string BackgroundWith(const std::string& word, const std::string& value) {
    std::istringstream in(clitest::FlatBackground());
    std::string line, text;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string index, w;
        fields >> index >> w;
        text += (w == word ? index + " " + w + " " + value : line) + "\n";
    }
    return text;
}

// Names in the folder that are temporary output files (".<name>.part-XXXXXX").
std::vector<std::string> TempFiles(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (Contains(name, ".part-")) found.push_back(name);
    }
    return found;
}

class Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("seqs.fa", kSeqs);
        dir.write("bg.freq", clitest::FlatBackground());
    }
    Result Run(const std::string& options) const { return dir.qiro(options + kFast); }
    // A run on the given sequence text with the flat background.
    Result RunSeqs(const std::string& fasta, const std::string& options = "") const {
        dir.write("in.fa", fasta);
        return Run("-i in.fa -freq bg.freq " + options);
    }
    Result RunFreq(const std::string& background, const std::string& options = "") const {
        dir.write("in.freq", background);
        return Run("-i seqs.fa -freq in.freq " + options);
    }
    Result RunSites(const std::string& sites, const std::string& options = "") const {
        dir.write("in.pk", sites);
        return Run("-i seqs.fa -freq bg.freq -pk in.pk " + options);
    }
    WorkDir dir;
};

// ---------------------------------------------------------------- sequence file

TEST_F(Robustness, SequenceFilesWithoutUsableRecords) {
    const std::string noRecord = " holds no FASTA record (a record starts with a '>' header line). System aborted. \n";
    // Empty file.
    Result r = RunSeqs("");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 0\n")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "Error: the sequence file in.fa" + noRecord)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
    // Letters without any '>'.
    r = RunSeqs("ACGTACGTACGTACGT\nACGTACGTACGT\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the sequence file in.fa" + noRecord)) << r.out;
    // Binary garbage is not text: refused at the line of its first NUL byte.
    r = RunSeqs(Garbage(4096, 1, false));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Error: Cannot read Sequence file named in.fa: line ")) << r.out;
    EXPECT_TRUE(Contains(r.out, " holds a NUL byte: not a text file\n")) << r.out;
    // Garbage without NUL bytes and without a '>' holds no record.
    std::string text = Garbage(4096, 1, false);
    std::replace(text.begin(), text.end(), '\0', 'x');
    r = RunSeqs(text);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the sequence file in.fa" + noRecord)) << r.out;
    // With '>' it gives records of N (every other byte), which the filter refuses.
    text = Garbage(4096, 2, true);
    std::replace(text.begin(), text.end(), '\0', 'x');
    r = RunSeqs(text);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kFilterLetters)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
    // Only headers: every record is empty, each gets a warning, then the end.
    r = RunSeqs(">a\n>b desc\n>c\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 3\n")) << r.out;
    EXPECT_EQ(CountOf(r.out, " has 0 letters, fewer than the motif width 8; it is left out of the search.\n"), 3);
    EXPECT_TRUE(EndsWith(r.out, "Error: no sequence in in.fa has at least 8 letters (the motif width). System aborted. \n"))
        << r.out;
    // Every sequence shorter than the width.
    r = RunSeqs(">a\nACGTACG\n>b\nACG\n", "-k 8");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Warning: sequence \"a\" has 7 letters, fewer than the motif width 8;")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Warning: sequence \"b\" has 3 letters, fewer than the motif width 8;")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "Error: no sequence in in.fa has at least 8 letters (the motif width). System aborted. \n"))
        << r.out;
}

TEST_F(Robustness, SequenceLettersOtherThanACGT) {
    // Sequences of only N: without known sites the filter ends the run on the
    // first window; with known sites the positional table does.
    const std::string onlyN = ">n1\n" + std::string(30, 'N') + "\n>n2\n" + std::string(25, 'n') + "\n";
    Result r = RunSeqs(onlyN);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "NNNNNNNN" + kFilterLetters)) << r.out;
    dir.write("sites.pk", "ACGTAC\nACGTAC\n");
    r = RunSeqs(onlyN, "-pk sites.pk");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kPosFreqLetters)) << r.out;
    // Protein letters: those other than A, C, G, T are stored as N, which the
    // filter refuses (M, K, V are not DNA letters: the first window is NNNNAAGT).
    r = RunSeqs(">p1\nMKVLAAGTIRWQEELKKDDLNNPP\n>p2\nMSTNPKPQRKTKRNTNRRPQDVKF\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "NNNNAAGT" + kFilterLetters)) << r.out;
}

TEST_F(Robustness, SequenceFileVariantsThatGiveTheSameRun) {
    Result plain = RunSeqs(kSeqs, "-o plain.out");
    ASSERT_EQ(plain.status, 0) << plain.out;
    ASSERT_TRUE(Contains(plain.out, kFinished));
    const std::string reference = dir.read("plain.out");
    ASSERT_FALSE(reference.empty());

    // CRLF line ends: the carriage returns are blanks, the names end before them.
    std::string crlf;
    for (char c : kSeqs) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Result r = RunSeqs(crlf, "-o crlf.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("crlf.out"), reference);

    // '>' inside header lines belongs to the header: still six records.
    std::string marked = kSeqs;
    for (int s = 1; s <= 6; ++s) {
        const std::string header = ">s" + std::to_string(s) + "\n";
        marked.replace(marked.find(header), header.size(), ">s" + std::to_string(s) + " from chr1>chr2 >>\n");
    }
    ASSERT_EQ(CountOf(marked, ">"), 6 * 4);
    r = RunSeqs(marked, "-o marked.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 6\n")) << r.out;
    EXPECT_EQ(dir.read("marked.out"), reference);

    // Lower case and mixed case: the same search; the report shows the letters
    // as given.
    std::string lower = kSeqs;
    for (size_t i = 0; i < lower.size(); ++i) {
        char& c = lower[i];
        if (c == 'A' || c == 'C' || c == 'G' || c == 'T')
            c = (i % 3 == 0) ? c : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    r = RunSeqs(lower, "-o lower.out");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string lowered = dir.read("lower.out");
    EXPECT_NE(lowered, reference);  // the site letters keep their case ...
    EXPECT_EQ(Upper(lowered), Upper(reference));  // ... and nothing else differs
}

TEST_F(Robustness, TenMegabyteLines) {
    // One line of 10 MB letters is one sequence; a 10 MB header line is one
    // name. Loading is all that is checked here: the background given lacks T,
    // so each run ends right after the sequences are in.
    const std::string noT = "0 A 0.25\n1 C 0.25\n2 G 0.25\n";
    const std::string baseT = "Error: the frequency file in.freq has no record for the base T. System aborted. \n";
    std::string line(10u << 20, 'A');
    for (size_t i = 0; i < line.size(); i += 7) line[i] = "CGT"[i % 3];
    dir.write("long.fa", ">long\n" + line + "\n");
    dir.write("in.freq", noT);
    Result r = dir.qiro("-i long.fa -freq in.freq -seed 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 1\n")) << r.out.substr(0, 2000);
    EXPECT_TRUE(EndsWith(r.out, baseT)) << r.out.substr(0, 2000);

    dir.write("name.fa", ">" + line + " description\nACGTACGTAA\n>s2\nACGTTTGACA\n");
    r = dir.qiro("-i name.fa -freq in.freq -seed 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 2\n")) << r.out.substr(0, 2000);
    EXPECT_TRUE(EndsWith(r.out, baseT)) << r.out.substr(0, 2000);
}

// ---------------------------------------------------------------- frequency file

TEST_F(Robustness, FrequencyFileValuesThatAreNotProbabilities) {
    struct Case {
        std::string word, value;
        int line;  // of the record, in the flat background
    };
    // Line numbers: A C G T are lines 1-4, then AA, AC, ... (AG is line 7).
    const std::vector<Case> cases = {
        {"AG", "nan", 7}, {"AG", "inf", 7}, {"AG", "-0.25", 7}, {"AG", "1.5", 7},
        {"A", "nan", 1},  {"T", "-inf", 4}, {"C", "12", 2},
    };
    for (const Case& c : cases) {
        Result r = RunFreq(BackgroundWith(c.word, c.value));
        EXPECT_EQ(r.status, 1) << c.word << " " << c.value;
        EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq, line " + std::to_string(c.line) +
                                        ": the value of " + c.word + " is " + c.value +
                                        "; a value must be a probability (a number from 0 to 1). System aborted. \n"))
            << r.out;
    }
    // Zero: refused for a base, accepted (like a missing word) for a longer word.
    Result r = RunFreq(BackgroundWith("G", "0"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq gives the base G the value 0; a base frequency must "
                                "be above 0. System aborted. \n"))
        << r.out;
    r = RunFreq(BackgroundWith("AG", "0"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, kFinished));
}

TEST_F(Robustness, FrequencyFileLayouts) {
    // Empty file: no base at all.
    Result r = RunFreq("");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq has no record for the base A. System aborted. \n"))
        << r.out;
    // Binary garbage: its first record does not read as index, word, value.
    const std::string recordError =
        ": a record must read as index (an integer), word and value (a number). System aborted. \n";
    r = RunFreq("\x01\x02\xff garbage \x7f\x80 1 2 3\n" + Garbage(2000, 3, true));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq, line 1" + recordError)) << r.out;
    // A MEME background file, or records without the index column: the same
    // message, and how to convert such a file.
    const std::string hint = "(It reads as a MEME background file; qiro-freq -m in.freq -o <file> converts it.)\n";
    for (const std::string& text : {std::string("# 0-order Markov frequencies\nA 2.5e-01\nC 2.5e-01\nG 2.5e-01\nT 2.5e-01\n"),
                                    std::string("A 0.25\nC 0.25\nG 0.25\nT 0.25\n")}) {
        r = RunFreq(text);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq, line 1" + recordError + hint)) << r.out;
    }
    // Records without the index column that are no MEME file either.
    r = RunFreq("A 0.25 C\n0.25 G 0.25\nT 0.25\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq, line 1" + recordError)) << r.out;
    // Lower-case words are other words: without upper-case single letters
    // there is no base A; with them, every longer word is missing.
    std::string lower = Upper(clitest::FlatBackground());
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    r = RunFreq(lower);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the frequency file in.freq has no record for the base A. System aborted. \n"))
        << r.out;
    r = RunFreq("0 A 0.25\n1 C 0.25\n2 G 0.25\n3 T 0.25\n" + lower.substr(lower.find("4 aa")));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Warning: the frequency file in.freq lacks 336 of the 336 words of two to four letters "
                                "over A, C, G, T; they count as 0.\n"))
        << r.out;
    // Missing words: a warning with their number, and the run goes on.
    std::string missing;
    std::istringstream in(clitest::FlatBackground());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string index, word;
        fields >> index >> word;
        if (word != "AC" && word != "ACG" && word != "ACGT") missing += line + "\n";
    }
    ASSERT_EQ(std::count(missing.begin(), missing.end(), '\n'), 337);
    r = RunFreq(missing);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Warning: the frequency file in.freq lacks 3 of the 336 words")) << r.out;
    EXPECT_TRUE(Contains(r.out, kFinished));
}

TEST_F(Robustness, DuplicateWordsKeepTheirLastValue) {
    Result flat = RunFreq(clitest::FlatBackground(), "-o flat.out");
    ASSERT_EQ(flat.status, 0) << flat.out;
    // Every word listed first with other values, then as in the flat file:
    // the later records win, so the run is the flat one.
    std::string skewed;
    std::istringstream in(clitest::FlatBackground());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string index, word;
        fields >> index >> word;
        skewed += index + " " + word + " " + (word[word.size() - 1] == 'A' ? "0.7" : "0.1") + "\n";
    }
    Result r = RunFreq(skewed + clitest::FlatBackground(), "-o twice.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("twice.out"), dir.read("flat.out"));
    // The first values alone give another result (so the comparison can tell).
    r = RunFreq(skewed, "-o skewed.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(dir.read("skewed.out"), dir.read("flat.out"));
}

// ---------------------------------------------------------------- prior-knowledge file

TEST_F(Robustness, PriorKnowledgeFilesThatEndTheRun) {
    Result r = RunSites("");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: the pre-knowledge file in.pk holds no site (one site per line, every line ending "
                                "with a line end). System aborted. \n"))
        << r.out;
    // Binary garbage: lines of different lengths.
    r = RunSites(Garbage(3000, 4, true) + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    // An N, or a blank inside a site: letters the scoring refuses.
    r = RunSites("ACGNAC\nACGTAC\nACGTAC\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kSiteLetters)) << r.out;
    r = RunSites("ACG TAC\nACGTTAC\nACGATAC\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kSiteLetters)) << r.out;
    // A trailing blank makes a line longer than the others.
    r = RunSites("ACGTAC \nACGTAC\nACGTAC\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    // Sites of different lengths.
    r = RunSites("ACGTAC\nACGTA\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    // 39 letters: the line is read as 39 letters and then its empty rest.
    const std::string s39 = "ACGTTGCAACGTAGCTAGCTAGGATCGATCGTAGCTAGC";
    ASSERT_EQ(s39.size(), 39u);
    r = RunSites(s39 + "\n" + s39 + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    // 45 letters: read as 39 letters and then 6.
    const std::string s45 = s39 + "GATTAC";
    r = RunSites(s45 + "\n" + s45 + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(Robustness, PriorKnowledgeFilesThatLoad) {
    // CRLF line ends read as plain line ends: the same run.
    const std::string sites = "GACAAT\nGACAGT\nGACGAT\nTACAAT\n";
    Result lf = RunSites(sites, "-o lf.out");
    ASSERT_EQ(lf.status, 0) << lf.out;
    std::string crlf;
    for (char c : sites) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Result r = RunSites(crlf, "-o crlf.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("crlf.out"), dir.read("lf.out"));

    // One site fixes the width (7 here, whatever -k says).
    r = RunSites("GACAATG\n", "-k 12 -o one.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(dir.read("one.out"), " \t1  2  3  4  5  6  7  \n\n")) << dir.read("one.out");

    // 38-letter sites are the widest that load.
    const std::string s38 = "ACGTTGCAACGTAGCTAGCTAGGATCGATCGTAGCTAG";
    ASSERT_EQ(s38.size(), 38u);
    r = RunSites(s38 + "\n" + s38 + "\n", "-o wide.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(dir.read("wide.out"), "36  37  38  \n\n")) << dir.read("wide.out");
}

// ---------------------------------------------------------------- paths

// Permissions do not stop root: such runs go through setpriv as user nobody.
// The prefix for the command, "" when the tests do not run as root, "?" when
// nobody cannot run the binary in the folder here. Opens the folder to all.
std::string Unprivileged(const WorkDir& dir) {
    if (chmod(dir.path().c_str(), 0777) != 0) return "?";
    if (geteuid() != 0) return "";
    if (access("/usr/bin/setpriv", X_OK) != 0) return "?";
    const std::string prefix = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const std::string probe = prefix + "/bin/sh -c \"test -x '" QIRO_BIN "' && cd '" + dir.path().string() +
                              "' && test -w .\" > /dev/null 2>&1";
    return std::system(probe.c_str()) == 0 ? prefix : "?";
}

Result RunAs(const WorkDir& dir, const std::string& prefix, const std::string& args) {
    return dir.run("/bin/sh", "-c \"" + prefix + "'" QIRO_BIN "' " + args + "\"");
}

TEST_F(Robustness, InputPathsThatCannotBeRead) {
    std::filesystem::create_directory(dir.path() / "folder");
    const std::string opts = " -seed 1 -g 10 -p 10";
    Result r = dir.qiro("-i folder -freq bg.freq" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Sequence file named folder\n" + kSystemAborted)) << r.out;
    r = dir.qiro("-i seqs.fa -freq folder" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Freq file named folder\n" + kSystemAborted)) << r.out;
    r = dir.qiro("-i seqs.fa -freq bg.freq -pk folder" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Pre-knowledge file named folder\n" + kSystemAborted)) << r.out;

    const std::string as = Unprivileged(dir);
    if (as == "?") GTEST_SKIP() << "running as root, and user nobody cannot run the binary here";
    dir.write("sites.pk", "GACAAT\nGACAGT\n");
    for (const char* name : {"seqs.fa", "bg.freq", "sites.pk"}) ASSERT_EQ(chmod(dir.file(name).c_str(), 0), 0);
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Sequence file named seqs.fa\n" + kSystemAborted)) << r.out << r.err;
    ASSERT_EQ(chmod(dir.file("seqs.fa").c_str(), 0644), 0);
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Freq file named bg.freq\n" + kSystemAborted)) << r.out << r.err;
    ASSERT_EQ(chmod(dir.file("bg.freq").c_str(), 0644), 0);
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq -pk sites.pk" + opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Pre-knowledge file named sites.pk\n" + kSystemAborted))
        << r.out << r.err;
}

TEST_F(Robustness, OutputPathsThatCannotBeWritten) {
    // An extra output that cannot be written ends the run before the sequences
    // are read, and nothing is written.
    Result r = Run("-i seqs.fa -freq bg.freq -o missing/res.out -json missing/res.json -bed res.bed");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error: Cannot write the JSON file named missing/res.json. System aborted. \n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Number of input Sequences")) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
    EXPECT_FALSE(dir.exists("res.bed"));
    // An extra output naming a folder: the same.
    std::filesystem::create_directory(dir.path() / "folder.json");
    r = Run("-i seqs.fa -freq bg.freq -json folder.json");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error: Cannot write the JSON file named folder.json. System aborted. \n")) << r.out;
    // A missing folder for the result file: the report goes to qiro.out.
    r = Run("-i seqs.fa -freq bg.freq -o missing/res.out -bed res.bed");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "ERROR: Cannot open file named missing/res.out\n" + kFallback)) << r.out;
    EXPECT_TRUE(Contains(dir.read("qiro.out"), "Motif Rank #1"));
    EXPECT_TRUE(dir.exists("res.bed"));
    EXPECT_FALSE(dir.exists("missing"));
    // A name that is a folder.
    std::filesystem::create_directory(dir.path() / "taken");
    std::filesystem::remove(dir.path() / "qiro.out");
    r = Run("-i seqs.fa -freq bg.freq -o taken");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "ERROR: Cannot open file named taken\n" + kFallback)) << r.out;
    EXPECT_TRUE(dir.exists("qiro.out"));
    EXPECT_TRUE(TempFiles(dir.path()).empty());

    // A read-only folder (as an unprivileged user).
    const std::string as = Unprivileged(dir);
    if (as == "?") GTEST_SKIP() << "running as root, and user nobody cannot run the binary here";
    std::filesystem::remove(dir.path() / "qiro.out");
    std::filesystem::create_directory(dir.path() / "ro");
    dir.write("ro/res.out", "previous\n");
    dir.write("ro/open.out", "previous\n");
    ASSERT_EQ(chmod(dir.file("ro/res.out").c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.file("ro/open.out").c_str(), 0666), 0);
    ASSERT_EQ(chmod((dir.path() / "ro").c_str(), 0555), 0);
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq -o ro/new.out" + kFast);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "ERROR: Cannot open file named ro/new.out\n" + kFallback)) << r.out;
    EXPECT_TRUE(Contains(dir.read("qiro.out"), "Motif Rank #1"));
    EXPECT_FALSE(dir.exists("ro/new.out"));
    // An existing file there that its owner may not write: the same fallback,
    // and the file is left as it was.
    std::filesystem::remove(dir.path() / "qiro.out");
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq -o ro/res.out" + kFast);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "ERROR: Cannot open file named ro/res.out\n" + kFallback)) << r.out;
    EXPECT_EQ(dir.read("ro/res.out"), "previous\n");
    // A file there that may be written: rewritten in place (no fallback).
    std::filesystem::remove(dir.path() / "qiro.out");
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq -o ro/open.out" + kFast);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Contains(r.out, kFallback)) << r.out;
    EXPECT_TRUE(Contains(dir.read("ro/open.out"), "Motif Rank #1"));
    EXPECT_FALSE(dir.exists("qiro.out"));
    EXPECT_TRUE(TempFiles(dir.path()).empty());
    // Neither the result file nor qiro.out can be written (the folder run in is read-only):
    // refused before any work, not a run that ends without a report.
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    r = RunAs(dir, as, "-i seqs.fa -freq bg.freq -o ro/new.out" + kFast);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "ERROR: Cannot open file named ro/new.out\nError: neither the result file nor the default"))
        << r.out;
    EXPECT_FALSE(Contains(r.out, "Number of input Sequences")) << r.out;
}

TEST_F(Robustness, ControlFilesAndInputsTheJudgeCannotUse) {
    const std::string judged = "-i seqs.fa -freq bg.freq -k 8 -verbose -evalue 0.05 -words 0" + kFast;
    // Controls with no window to scan: letters other than A, C, G, T only.
    dir.write("nn.fa", ">n\nNNNNNNNNNNNNNNNNNNNN\n>p\nMKVLHEEQPWRSTYFLIKDD\n");
    Result r = Run(judged + " -neg nn.fa");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error: the control file nn.fa holds no window of 8 letters to judge against")) << r.out;
    EXPECT_FALSE(Contains(r.out, "\nSearch 1:")) << r.out;
    // Controls all in lower case, with -mask T: every window masked.
    dir.write("soft.fa", ">s\nacgtacgtacgtacgtacgtacgt\n");
    r = Run(judged + " -mask T -neg soft.fa");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "holds no window of 8 letters to judge against (every window holds a letter other "
                                "than A, C, G, T, or a masked letter)"))
        << r.out;
    // Not text: refused with the line of the first NUL byte, as input or as controls.
    const char binary[] = ">b\nACGT\n\nAC\0GT\n";
    dir.write("bin.fa", std::string(binary, sizeof binary - 1));
    r = Run(judged + " -neg bin.fa");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "bin.fa: line 4 holds a NUL byte: not a text file")) << r.out;
    r = Run("-i bin.fa -freq bg.freq" + kFast);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error: Cannot read Sequence file named bin.fa: line 4 holds a NUL byte")) << r.out;
    // One long control sequence: cut into pieces as long as the input's.
    std::string letters;
    std::istringstream lines(kSeqs);
    for (std::string l; std::getline(lines, l);) letters += l[0] == '>' ? "" : l;
    dir.write("long.fa", ">long\n" + letters.substr(0, 180) + "\n");
    r = Run(judged + " -neg long.fa");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "were cut into pieces of about 60 (the input's median length): 1 sequence became 3."))
        << r.out;
    // Every input sequence shorter than the width: named as the cause.
    dir.write("short.fa", ">a\nACGTACGTAC\n>b\nTTGACAGCTA\n");
    r = Run("-i short.fa -freq bg.freq -k 12 -verbose -evalue 0.05");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error: no sequence in short.fa has at least 12 letters (the motif width).")) << r.out;
}

// ---------------------------------------------------------------- option limits

TEST_F(Robustness, WidthAtAndBeyondItsLimits) {
    const std::string base = "-i seqs.fa -freq bg.freq -post F ";
    Result r = Run(base + "-k 3 -o k3.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "-k=3 is too short! Reset to default length: 8 .\n")) << r.out;
    EXPECT_TRUE(Contains(dir.read("k3.out"), " \t1  2  3  4  5  6  7  8  \n\n"));
    r = Run(base + "-k 41 -o k41.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "-k=41 is too long! Reset to default length: 8 .\n")) << r.out;
    EXPECT_TRUE(Contains(dir.read("k41.out"), " \t1  2  3  4  5  6  7  8  \n\n"));
    r = Run(base + "-k 4 -o k4.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Contains(r.out, "Reset to default length"));
    EXPECT_TRUE(Contains(dir.read("k4.out"), " \t1  2  3  4  \n\n"));
    r = Run(base + "-k 40 -o k40.out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Contains(r.out, "Reset to default length"));
    EXPECT_TRUE(Contains(dir.read("k40.out"), "39  40  \n\n"));
    r = Run(base + "-k -2147483648");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "-k=-2147483648 is too short! Reset to default length: 8 .\n")) << r.out;
}

TEST_F(Robustness, PopulationAtAndBeyondItsLimits) {
    const std::string base = "-i seqs.fa -freq bg.freq -post F -seed 1 -g 10 ";
    Result r = dir.qiro(base + "-p 0");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "-p=0 is unhealthy! Reset to the default value: 600 .\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Population size: 600\n"));
    r = dir.qiro(base + "-p 9");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of population is too small: 9 QIRO set the population number by default: 600\n"))
        << r.out;
    r = dir.qiro(base + "-p -1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of population is too small: -1 QIRO set the population number by default: 600\n"))
        << r.out;
    r = dir.qiro(base + "-p 10");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Contains(r.out, "population number by default"));
    std::filesystem::remove(dir.path() / "qiro.out");
    // A population that no machine of today can hold (at least 2^31 records of
    // a model): a clear end before the search instead of a crash.
    r = dir.qiro(base + "-p 2147483647");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Error: a population of 2147483647 models needs at least ")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, " GB). Please choose a smaller population (-p). System aborted. \n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Initialization.\n"));
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(Robustness, GenerationsAtAndBeyondTheirLimits) {
    const std::string base = "-i seqs.fa -freq bg.freq -post F -seed 1 -p 10 ";
    Result r = dir.qiro(base + "-g 0");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "-g=0 is unhealthy! Reset to the default value: 1000 .\n")) << r.out;
    r = dir.qiro(base + "-g 9");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of generation is too small: 9 QIRO set the generation by default: 1000\n"))
        << r.out;
    r = dir.qiro(base + "-g -5");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of generation is too small: -5 QIRO set the generation by default: 1000\n"))
        << r.out;
    r = dir.qiro(base + "-g 10");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Finish the GA process after 10 generations. \n")) << r.out;
    // The largest budget is accepted; the stall rule ends the search (at least
    // 101 generations, the last 101 with the same best score).
    r = dir.qiro(base + "-g 2147483647");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Contains(r.out, "generation by default"));
    const size_t at = r.out.find("Finish the GA process after ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const long ran = std::stol(r.out.substr(at + 28));
    EXPECT_GE(ran, 101);
    EXPECT_LT(ran, 2147483647L);
}

// ---------------------------------------------------------------- interruption

// Starts qiro in the folder (standard output to .stdout) and returns its process id.
pid_t Start(const WorkDir& dir, const std::string& args) {
    const std::string command =
        "cd '" + dir.path().string() + "' && exec '" QIRO_BIN "' " + args + " > .stdout 2> .stderr < /dev/null";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for the process to end, at most `limit`; -1 if it did not (it is then killed).
int WaitFor(pid_t pid, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int raw = 0;
    while (std::chrono::steady_clock::now() < until) {
        pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid) return raw;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &raw, 0);
    return -1;
}

TEST(Interruption, SignalsEndTheRunWithoutPartialFiles) {
    // Sequences enough for a long search: 40 of 300 letters, a large population
    // and the largest budget, so the run is still searching when signalled.
    std::mt19937 rng(21);
    std::string fasta;
    for (int s = 0; s < 40; ++s) {
        fasta += ">r" + std::to_string(s) + "\n";
        for (int i = 0; i < 300; ++i) fasta.push_back("ACGT"[rng() % 4]);
        fasta += "\n";
    }
    struct Case {
        int sig;
        int status;
        const char* name;
    };
    for (const Case& c : {Case{SIGTERM, 143, "SIGTERM"}, Case{SIGINT, 130, "SIGINT"}}) {
        WorkDir dir;
        dir.write("big.fa", fasta);
        dir.write("bg.freq", clitest::FlatBackground());
        dir.write("res.out", "previous result\n");
        pid_t pid = Start(dir, "-i big.fa -freq bg.freq -k 12 -seed 5 -p 3000 -g 2147483647 -o res.out -json res.json");
        ASSERT_GT(pid, 0);
        // The seed line is flushed once the run is under way.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!Contains(dir.read(".stdout"), "Random seed: 5\n") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(kill(pid, c.sig), 0);
        const int raw = WaitFor(pid, std::chrono::seconds(60));
        ASSERT_NE(raw, -1) << c.name << ": the run did not end";
        ASSERT_TRUE(WIFEXITED(raw)) << c.name << ": ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.name;
        const std::string out = dir.read(".stdout");
        EXPECT_TRUE(EndsWith(out, std::string("\nInterrupted by ") + c.name +
                                      ": the run is stopped and no unfinished file is kept. System aborted. \n"))
            << out;
        EXPECT_FALSE(Contains(out, kFinished));  // it was stopped, not finished
        // The previous result is untouched, no new output or temporary file.
        EXPECT_EQ(dir.read("res.out"), "previous result\n");
        EXPECT_FALSE(dir.exists("res.json"));
        EXPECT_FALSE(dir.exists("qiro.out"));
        EXPECT_TRUE(TempFiles(dir.path()).empty());
    }
}

TEST(Interruption, AFinishedRunReplacesThePreviousResultWhole) {
    WorkDir dir;
    dir.write("seqs.fa", kSeqs);
    dir.write("bg.freq", clitest::FlatBackground());
    dir.write("res.out", "previous result\n");
    Result r = dir.qiro("-i seqs.fa -freq bg.freq -o res.out -meme res.meme" + kFast);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string result = dir.read("res.out");
    EXPECT_TRUE(Contains(result, "\nThe Final Results:\n\n")) << result;
    EXPECT_TRUE(EndsWith(result, "###############################################################################\n\n"));
    EXPECT_FALSE(Contains(result, "previous result"));
    EXPECT_TRUE(Contains(dir.read("res.meme"), "MEME version"));
    EXPECT_TRUE(TempFiles(dir.path()).empty());
}

}  // namespace
