// Command-line tests of the input files up to the engine parameters: files that
// cannot be opened, the prior-knowledge file, the letter checks of sites and
// sequences, the background frequency file, sequences shorter than the motif
// width, and the parameter checks of the engine as the command line reaches
// them. Full runs are checked by the lines they must contain; runs that end on
// a fatal error by how their output ends and by their exit status.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kLackOfContent =
    "The PK Information is lack of content.\n"
    "Please provide a valid Pri-knowledege file.\n"
    "System aborted. \n\n";
const std::string kDifferentLengths =
    "Sequences in Pri-knowledege file have different lengths\n"
    "Pri-knowledege must have the same length\n"
    "Please check the sequences.\n"
    "System aborted. \n\n";
const std::string kWidthDiffers =
    "Length of sequence in pri-knowledege needs to be the same as predefined K-mer length.\n"
    "System aborted.\n\n";
const std::string kSiteLetters =
    "Fatal Error: The PK sequence contains invalid letters. Please check the input.\n System Aborted\n\n";
// Each input-letter error is followed by the way out.
const std::string kSequenceLetters =
    "Fatal Error: The input sequence contains invalid letters. Please check the input.\n System Aborted\n\n"
    "Use -mask T to leave out windows holding other letters.\n";
const std::string kWordLetters =
    "\tError: The sequence contains invalid letters. Please check the input sequences.\n"
    "Use -mask T to leave out windows holding other letters.\n";
const std::string kNoPK = "No Pre-knowledge information. Filtering operation is skipped.\n";
const std::string kFilterStart = "\n\nStart the Filtering...\n";
const std::string kFilterEnd = "\nFinish filtering...\n";
const std::string kPKStart = "Start to calculate the fitness of pri-knowledege\n";

// Two 20-letter sequences; neither strand holds ACGTAC, the site used below.
const std::string kSeqs =
    ">s1 first\nTTGACCATGGCAATCGGATC\n"
    ">s2\nGGCATTACCGATTGCAAGTC\n";
const std::string kSites = "ACGTAC\nACGTAC\nACGTAC\nACGTAC\n";

// Small runs: a fixed seed and the smallest accepted population and budget.
const std::string kFast = " -seed 1 -g 10 -p 10";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(text))
        if (Contains(line, part)) found.push_back(line);
    return found;
}

// True if `line` holds the whole number n (not as part of a longer number).
bool HasNumber(const std::string& line, long n) {
    return std::regex_search(line, std::regex("(^|[^0-9.])" + std::to_string(n) + "([^0-9.]|$)"));
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    size_t a = text.find(from);
    if (a == std::string::npos) return "<" + from + " missing>";
    a += from.size();
    size_t b = text.find(to, a);
    if (b == std::string::npos) return "<" + to + " missing>";
    return text.substr(a, b - a);
}

class CliInputs : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("seqs.fa", kSeqs);
        dir.write("bg.freq", clitest::FlatBackground());
    }
    Result Run(const std::string& options) const { return dir.qiro("-i seqs.fa -freq bg.freq" + kFast + " " + options); }
    Result RunWithSites(const std::string& sites, const std::string& options = "") const {
        dir.write("sites.pk", sites);
        return Run("-pk sites.pk " + options);
    }
    Result RunWithBackground(const std::string& background, const std::string& options = "") const {
        dir.write("bg.freq", background);
        return Run(options);
    }
    WorkDir dir;
};

// The flat background file without the records of the given words.
std::string BackgroundWithout(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& line : Lines(clitest::FlatBackground())) {
        std::istringstream fields(line);
        std::string index, word;
        fields >> index >> word;
        bool drop = false;
        for (const std::string& w : words) drop = drop || w == word;
        if (!drop) text += line + "\n";
    }
    return text;
}

// The flat background file with line `number` (from 1) replaced.
std::string BackgroundWithLine(int number, const std::string& replacement) {
    std::string text;
    int n = 0;
    for (const std::string& line : Lines(clitest::FlatBackground())) text += (++n == number ? replacement : line) + "\n";
    return text;
}

// ------------------------------------------------------------ files that cannot be opened

TEST_F(CliInputs, MissingSequenceFileEndsTheRunBeforeLoading) {
    Result r = dir.qiro("-i none.fa -freq bg.freq" + kFast);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Sequence file named none.fa\nSystem aborted. \n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Number of input Sequences")) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(CliInputs, MissingFrequencyFileEndsTheRunAfterTheSequences) {
    Result r = dir.qiro("-i seqs.fa -freq none.freq" + kFast);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Number of input Sequences: 2\n"
                                "Error: Cannot open Freq file named none.freq\nSystem aborted. \n"))
        << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(CliInputs, MissingPriorKnowledgeFileEndsTheRun) {
    Result r = Run("-pk none.pk");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Pre-knowledge file named none.pk\nSystem aborted. \n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "The pre knowldege file: none.pk\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, kNoPK)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(CliInputs, FileNamesInFoldersArePrintedAsGiven) {
    Result r = dir.qiro("-i sub/none.fa -freq bg.freq" + kFast);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, "Error: Cannot open Sequence file named sub/none.fa\nSystem aborted. \n")) << r.out;
}

TEST_F(CliInputs, ZeroShareOfPriorKnowledgeNeverOpensTheFile) {
    Result r = Run("-pk none.pk -perpk 0");
    EXPECT_FALSE(Contains(r.out, "Cannot open")) << r.out;
    EXPECT_TRUE(Contains(r.out, "The pre knowldege file: none.pk\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Percentage of PK chosen to use in QIRO: 0\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, kNoPK + kFilterStart + kFilterEnd)) << r.out;
}

// ------------------------------------------------------------ a run without prior knowledge

TEST_F(CliInputs, RunWithoutPriorKnowledgeReachesTheEngineQuietly) {
    Result r = Run("");
    EXPECT_TRUE(Contains(r.out, "Random seed: 1\nNumber of input Sequences: 2\n" + kNoPK + kFilterStart + kFilterEnd))
        << r.out;
    EXPECT_FALSE(Contains(r.out, "QIRO set")) << r.out;
}

// ------------------------------------------------------------ prior-knowledge file

TEST_F(CliInputs, ShortFirstSiteLacksContent) {
    for (const std::string& sites : {std::string("AC\nAC\n"), std::string("A\nACGT\n"),
                                     std::string("AC\nACGTAC\n")}) {
        SCOPED_TRACE("sites: " + sites);
        Result r = RunWithSites(sites);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(EndsWith(r.out, kLackOfContent)) << r.out;
        EXPECT_FALSE(Contains(r.out, kPKStart)) << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST_F(CliInputs, SingleShortSiteIsAccepted) {
    // The lack-of-content check starts at the second line: one 2-letter site loads.
    Result r = RunWithSites("AC\n");
    EXPECT_FALSE(Contains(r.out, "lack of content")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: AC\n")) << r.out;
}

TEST_F(CliInputs, SitesOfDifferentLengthsEndTheRun) {
    for (const std::string& sites : {std::string("ACGTAC\nACGTA\n"), std::string("ACGTAC\nACGTAC\nACGTACG\n"),
                                     std::string("ACGTAC\nACGTAC\n\n")}) {
        SCOPED_TRACE("sites: " + sites);
        Result r = RunWithSites(sites);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
        EXPECT_FALSE(Contains(r.out, kPKStart)) << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST_F(CliInputs, LinesOfThirtyNineLettersOrMoreAreSplit) {
    const std::string l45(45, 'A');
    const std::string l39 = std::string(13, 'A') + std::string(13, 'C') + std::string(13, 'G');
    // 45 letters read as 39 and 6; a 39-letter site is followed by an empty line.
    for (const std::string& sites : {l45 + "\n", l39 + "\n" + l39 + "\n", l39 + "\n"}) {
        SCOPED_TRACE("sites: " + sites);
        Result r = RunWithSites(sites);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(EndsWith(r.out, kDifferentLengths)) << r.out;
    }
}

TEST_F(CliInputs, SitesOfThirtyEightLettersLoad) {
    const std::string site = "ACGTTGCAACGTAGCTTACGGATCCAGTTCAAGGCTTA";
    ASSERT_EQ(site.size(), 38u);
    dir.write("seqs.fa",
              ">long1\nTTGACCATGGCAATCGGATCGGCATTACCGATTGCAAGTCTTGACCATGG\n"
              ">long2\nGGCATTACCGATTGCAAGTCTTGACCATGGCAATCGGATCGATCCGATTG\n");
    Result r = RunWithSites(site + "\n" + site + "\n");
    EXPECT_FALSE(Contains(r.out, "different lengths")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: " + site + "\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, kFilterEnd)) << r.out;
}

TEST_F(CliInputs, EmptyFirstLineEndsInTheWidthMessage) {
    Result r = RunWithSites("\nACGTAC\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kWidthDiffers)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(CliInputs, LastLineWithoutLineEndIsIgnored) {
    // The cut-off last line would have a different length if it were read.
    Result r = RunWithSites("ACGTAC\nACGTAC\nACG");
    EXPECT_FALSE(Contains(r.out, "different lengths")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n")) << r.out;
}

TEST_F(CliInputs, WindowsLineEndsGiveTheSameSites) {
    Result r = RunWithSites("ACGTAC\r\nACGTAC\r\nACGTAC\r\nACGTAC\r\n");
    EXPECT_FALSE(Contains(r.out, "different lengths")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n")) << r.out;
}

TEST_F(CliInputs, FileWithoutAnySiteEndsTheRun) {
    // Empty, no complete line, or nothing but empty lines.
    for (const std::string& sites : {std::string(""), std::string("ACGTAC"), std::string("\n\n")}) {
        SCOPED_TRACE("sites: [" + sites + "]");
        Result r = RunWithSites(sites);
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(Contains(r.out, kPKStart)) << r.out;
        EXPECT_FALSE(Contains(r.out, kFilterStart)) << r.out;
        // Some message follows the sequence count.
        EXPECT_NE(Between(r.out + "<end>", "Number of input Sequences: 2\n", "<end>"), "") << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST_F(CliInputs, SitesSetTheWidthWhateverMinusKSays) {
    Result r = RunWithSites(kSites, "-k 4");
    EXPECT_TRUE(Contains(r.out, "The expected width of binding site: 4\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n")) << r.out;
}

TEST_F(CliInputs, LowerCaseSitesGiveAnUpperCaseConsensus) {
    Result r = RunWithSites("acgtac\nacgtac\n");
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n")) << r.out;
}

TEST_F(CliInputs, FourIdenticalSitesScoreAsWorkedOut) {
    // Flat background, N = 4: every column has 0.75 for its letter and 1/12 for
    // the others, so IC = 6 x 0.5 x log2(3) = 4.75489; every mismatch is 0, so
    // every background score is minus infinity and the maximum keeps -999999;
    // the complexity is 3^2 x 3^2 x 6 x 6 / 4^6 = 0.711914.
    Result r = RunWithSites(kSites);
    EXPECT_TRUE(Contains(r.out, "The pre knowldege file: sites.pk\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 2\n" + kPKStart +
                                    "Fitness for Pre-Knowledege: \nInformation Content: 4.75489 \n"
                                    "Average Mismatch: 0\nPK MAXI\t-999999\n\nLower Complexity: 0.711914\n\n"
                                    "Consensus: ACGTAC\n"))
        << r.out;
    EXPECT_FALSE(Contains(r.out, kNoPK)) << r.out;
}

TEST_F(CliInputs, FilterReportsTheKmersItLeavesOut) {
    // With the maximum background score at -999999 no k-mer passes, and each
    // strand keeps its single best position: 15 six-letter windows per strand.
    Result both = RunWithSites(kSites);
    EXPECT_TRUE(Contains(both.out, kFilterStart + "Overall Kmers: 60. No. of Filtered Out Kmers: 56\n" + kFilterEnd))
        << both.out;
    Result one = RunWithSites(kSites, "-d F");
    EXPECT_TRUE(Contains(one.out, kFilterStart + "Overall Kmers: 30. No. of Filtered Out Kmers: 28\n" + kFilterEnd))
        << one.out;
}

TEST_F(CliInputs, FilterOffPrintsNothingBetweenItsLines) {
    Result r = RunWithSites(kSites, "-f F");
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n" + kFilterStart + kFilterEnd)) << r.out;
    EXPECT_FALSE(Contains(r.out, "Overall Kmers")) << r.out;
}

// ------------------------------------------------------------ letters outside A, C, G, T

TEST_F(CliInputs, SiteWithAnotherLetterIsNamedWithItsLineBeforeTheScoring) {
    struct Case {
        std::string sites, said;
    };
    for (const Case& c : {Case{"ACGTNC\nACGTAC\n", "line 1: the site \"ACGTNC\" holds the letter 'N'"},
                          Case{"ACGTAC\nACGTAX\n", "line 2: the site \"ACGTAX\" holds the letter 'X'"}}) {
        SCOPED_TRACE("sites: " + c.sites);
        Result r = RunWithSites(c.sites);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.out, "Error: the pre-knowledge file sites.pk, " + c.said)) << r.out;
        EXPECT_TRUE(EndsWith(r.out, kSiteLetters)) << r.out;
        EXPECT_FALSE(Contains(r.out, kPKStart)) << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST_F(CliInputs, SequenceWithAnotherLetterEndsLoadingOfSites) {
    dir.write("seqs.fa", ">s1\nTTGACCATGGCAATCGGATC\n>s2\nGGCATTACCGAXTGCAAGTC\n");
    Result r = RunWithSites(kSites);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, kSequenceLetters)) << r.out;
    EXPECT_FALSE(Contains(r.out, kPKStart)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST_F(CliInputs, FilterNamesTheFirstKmerWithAnotherLetter) {
    struct Case {
        std::string fasta;
        std::string word;
    };
    const std::vector<Case> cases = {
        {">s1\nACGTXACGTT\n", "CGTN"},                      // first k-mer holding the letter
        {">s1\nacgtxacgtt\n", "CGTN"},                      // upper-cased
        {">s1\nACGTACGTAC\n>s2\nGGATNCC\n", "GATN"},        // in strand order
        {">s1\nACGTAC\nGT-ACGT\n", "CGTN"},                 // letters across lines
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("sequences: " + c.fasta);
        dir.write("seqs.fa", c.fasta);
        Result r = Run("-k 4");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(EndsWith(r.out, kFilterStart + c.word + kWordLetters)) << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

// ------------------------------------------------------------ background frequency file

TEST_F(CliInputs, BadBackgroundRecordNamesFileAndLine) {
    struct Case {
        int line;
        std::string text;
    };
    const std::vector<Case> cases = {
        {13, "12 AAC abc"},  // value not a number
        {2, "x C 0.25"},     // index not an integer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + ": " + c.text);
        Result r = RunWithBackground(BackgroundWithLine(c.line, c.text));
        EXPECT_EQ(r.status, 1);
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_FALSE(lines.empty());
        const std::string& message = lines.back();
        EXPECT_TRUE(Contains(message, "bg.freq")) << r.out;
        EXPECT_TRUE(HasNumber(message, c.line)) << r.out;
        EXPECT_FALSE(Contains(r.out, kNoPK)) << r.out;
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST_F(CliInputs, CutOffLastBackgroundRecordIsDropped) {
    Result r = RunWithBackground(clitest::FlatBackground() + "5 AC");
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 2\n" + kNoPK + kFilterStart + kFilterEnd)) << r.out;
}

TEST_F(CliInputs, MissingBaseEndsTheRunNamingIt) {
    for (const std::string base : {"A", "T"}) {
        SCOPED_TRACE("base " + base);
        Result r = RunWithBackground(BackgroundWithout({base}));
        EXPECT_EQ(r.status, 1);
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(std::regex_search(lines.back(), std::regex("\\b" + base + "\\b"))) << r.out;
        EXPECT_FALSE(Contains(r.out, kNoPK)) << r.out;
    }
}

TEST_F(CliInputs, BaseValueNotAboveZeroEndsTheRunNamingIt) {
    for (const std::string value : {"0", "-0.1"}) {
        SCOPED_TRACE("C " + value);
        Result r = RunWithBackground(BackgroundWithLine(2, "1 C " + value));
        EXPECT_EQ(r.status, 1);
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(std::regex_search(lines.back(), std::regex("\\bC\\b"))) << r.out;
        EXPECT_FALSE(Contains(r.out, kNoPK)) << r.out;
    }
}

TEST_F(CliInputs, MissingWordsGiveOneWarningWithTheirCount) {
    Result r = RunWithBackground(BackgroundWithout({"AC", "ACG", "ACGT"}));
    const std::string between = Between(r.out, "Number of input Sequences: 2\n", kNoPK);
    const std::vector<std::string> lines = Lines(between);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_TRUE(HasNumber(lines[0], 3)) << r.out;
    EXPECT_TRUE(Contains(r.out, kFilterEnd)) << r.out;

    Result bare = RunWithBackground("0 A 0.25\n1 C 0.25\n2 G 0.25\n3 T 0.25\n");
    const std::vector<std::string> bareLines = Lines(Between(bare.out, "Number of input Sequences: 2\n", kNoPK));
    ASSERT_EQ(bareLines.size(), 1u) << bare.out;
    EXPECT_TRUE(HasNumber(bareLines[0], 336)) << bare.out;
}

TEST_F(CliInputs, CompleteBackgroundGivesNoWarning) {
    Result r = Run("");
    EXPECT_EQ(Between(r.out, "Number of input Sequences: 2\n", kNoPK), "") << r.out;
}

// ------------------------------------------------------------ sequences shorter than the width

TEST_F(CliInputs, ShortSequencesAreLeftOutWithOneWarningEach) {
    dir.write("seqs.fa",
              ">wideseq1\nTTGACCATGGCAATCGGATC\n>tinyseq\nACG\n>exactseq\nGGATC\n>blankseq\n"
              ">wideseq2\nGGCATTACCGATTG\n");
    Result r = Run("-k 5");
    const std::vector<std::string> tiny = LinesWith(r.out, "tinyseq");
    ASSERT_EQ(tiny.size(), 1u) << r.out;
    EXPECT_TRUE(HasNumber(tiny[0], 3)) << r.out;
    EXPECT_TRUE(HasNumber(tiny[0], 5)) << r.out;
    const std::vector<std::string> blank = LinesWith(r.out, "blankseq");
    ASSERT_EQ(blank.size(), 1u) << r.out;
    EXPECT_TRUE(HasNumber(blank[0], 0)) << r.out;
    EXPECT_TRUE(HasNumber(blank[0], 5)) << r.out;
    // A sequence of exactly the width stays, and so do the long ones.
    EXPECT_TRUE(LinesWith(r.out, "exactseq").empty()) << r.out;
    EXPECT_TRUE(LinesWith(r.out, "wideseq").empty()) << r.out;
    EXPECT_TRUE(Contains(r.out, "Number of input Sequences: 5\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, kFilterStart + kFilterEnd)) << r.out;
}

TEST_F(CliInputs, WidthFromSitesDecidesWhichSequencesAreShort) {
    dir.write("seqs.fa", ">wideseq1\nTTGACCATGGCAATCGGATC\n>midseq\nGGATC\n");
    Result r = RunWithSites(kSites, "-k 4");
    const std::vector<std::string> mid = LinesWith(r.out, "midseq");
    ASSERT_EQ(mid.size(), 1u) << r.out;
    EXPECT_TRUE(HasNumber(mid[0], 5)) << r.out;
    EXPECT_TRUE(HasNumber(mid[0], 6)) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nConsensus: ACGTAC\n")) << r.out;
}

TEST_F(CliInputs, RunEndsWhenNoSequenceIsLongEnough) {
    dir.write("seqs.fa", ">stubby1\nACGTA\n>stubby2\nACGTAC\n");
    Result r = Run("-k 8");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(LinesWith(r.out, "stubby1").size(), 1u) << r.out;
    EXPECT_EQ(LinesWith(r.out, "stubby2").size(), 1u) << r.out;
    EXPECT_FALSE(Contains(r.out, kFilterStart)) << r.out;
    EXPECT_FALSE(dir.exists("qiro.out"));

    dir.write("seqs.fa", ">stubby1\nACGT\n>stubby2\nACGTA\n");
    Result withSites = RunWithSites(kSites);
    EXPECT_EQ(withSites.status, 1);
    EXPECT_FALSE(Contains(withSites.out, kFilterStart)) << withSites.out;
    EXPECT_FALSE(dir.exists("qiro.out"));
}

// ------------------------------------------------------------ engine parameters

const std::string kPopulationLine = "Number of population is too small: ";
const std::string kGenerationLine = "Number of generation is too small: ";

std::string PopulationTooSmall(const std::string& value) {
    return kPopulationLine + value + " QIRO set the population number by default: 600\n";
}
std::string GenerationTooSmall(const std::string& value) {
    return kGenerationLine + value + " QIRO set the generation by default: 1000\n";
}

TEST_F(CliInputs, PopulationBelowTenIsReplaced) {
    Result r = Run("-p 5");
    EXPECT_TRUE(Contains(r.out, kFilterEnd + PopulationTooSmall("5"))) << r.out;
    EXPECT_FALSE(Contains(r.out, kGenerationLine)) << r.out;
    Result ten = Run("-p 10");
    EXPECT_FALSE(Contains(ten.out, kPopulationLine)) << ten.out;
}

TEST_F(CliInputs, GenerationsBelowTenAreReplaced) {
    Result r = Run("-g 9");
    EXPECT_TRUE(Contains(r.out, kFilterEnd + GenerationTooSmall("9"))) << r.out;
    EXPECT_FALSE(Contains(r.out, kPopulationLine)) << r.out;
    Result ten = Run("-g 10");
    EXPECT_FALSE(Contains(ten.out, kGenerationLine)) << ten.out;
}

TEST_F(CliInputs, NegativeCountsPassTheParserButNotTheEngine) {
    Result r = Run("-g -5 -p -3");
    EXPECT_TRUE(Contains(r.out, "No. of Generation: -5\nPopulation size: -3\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, kFilterEnd + PopulationTooSmall("-3") + GenerationTooSmall("-5"))) << r.out;
}

TEST_F(CliInputs, BothCountsTooSmallGiveTwoLinesInOrder) {
    Result r = Run("-p 3 -g 5");
    EXPECT_TRUE(Contains(r.out, kFilterEnd + PopulationTooSmall("3") + GenerationTooSmall("5"))) << r.out;
}

TEST_F(CliInputs, WinnerRateIsRepairedBeforeTheEngineSeesIt) {
    // -w 2 is reset to 0.25 by the option parser, so the engine only reports
    // the population.
    Result r = Run("-p 3 -w 2");
    EXPECT_TRUE(Contains(r.out, "-w=2 is unhealthy! Reset to the default value: 0.25 .\nThe input file: seqs.fa\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "Winner rate: 0.25\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, kFilterEnd + PopulationTooSmall("3"))) << r.out;
    EXPECT_FALSE(Contains(r.out, "winner-take-all rate is large")) << r.out;
}

TEST_F(CliInputs, RatesAboveOneNeverReachTheEngine) {
    for (const std::string options : {"-r 1.5 -w 1.5 -pkper 1.5", "-r 1 -w 1 -pkper 1"}) {
        SCOPED_TRACE(options);
        Result r = Run(options);
        EXPECT_TRUE(Contains(r.out, kFilterEnd)) << r.out;
        EXPECT_FALSE(Contains(r.out, "is large than 1")) << r.out;
    }
    Result withSites = RunWithSites(kSites, "-pkper 1.5 -r 2");
    EXPECT_TRUE(Contains(withSites.out, kFilterEnd)) << withSites.out;
    EXPECT_FALSE(Contains(withSites.out, "is large than 1")) << withSites.out;
}

}  // namespace
