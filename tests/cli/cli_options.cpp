// Command-line tests of the entry point and the option parser: the banner, the
// argument echo, the word-count limit, -h, the repair messages of every option,
// the settings block, the usage text, the -seed option and its line, and the
// two fatal messages of the parser (-i and -freq).
//
// Runs that must reach the settings block name a sequence file that does not
// exist, so they end right after it with the sequence-file message and the
// whole output can be compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kSep = "######################################################\n";
const std::string kNoInputFatal = " \n\t Error: Please provide the input file (Fasta format). System aborted. \n";
const std::string kNoFreqFatal = "Error: No Frequency file Provided! System aborted.\n";
const std::string kPleaseInput = "Please provide input file\n";
const std::string kTooMany = "Unexpected number of arguments. Please read the instruction carefully\n\n";
// Stands in for the usage lines of the options added after -pkq (-seed first),
// whose wording is free.
const std::string kSeedLineMark = "<added usage lines>\n";

// The usage text, with the -seed line masked (see Screen).
std::string Usage() {
    std::string u;
    u += " USAGE:\n\n";
    u += "\tQIRO -i <seq_file> [-freq <freq_file>] [optional arguments]\n\n";
    u += "Arguements:\n";
    u += "\t-i <seq_file>                The file contains DNA sequences (must be in Fasta format)\n";
    u += "\t[-freq <freq_file>]          The file contains 3rd order Markov background frequency information "
         "(Default: counted from the input sequences as qiro-freq counts them, masked letters left out)\n\n";
    u += "Optional:\n";
    u += "\t[-pk <pk_file>]              The file contains pre-knowledge (true binding sites) one site per line\n";
    u += "\t                             An example of the pk_file:\n";
    u += "\t                             \tTATAAA\n";
    u += "\t                             \tTATCAA\n";
    u += "\t                             \tTATTAA\n";
    u += "\t                             \tTTTAAA\n\n";
    u += "\t[-o <output_file>]           The output file (Default:qiro.out)\n";
    u += "\t[-h]                         Display the help message\n";
    u += "\t[-k <kmer>]                  The expected motif width (Default=8)\n";
    u += "\t[-ns <numperseq>]            The maximum number of binding sites in one motif model per sequence "
         "(Default=2)\n";
    u += "\t[-d T/F]                     The flag of performing the motif discovery on both forward and reverse "
         "strands (Default=T)\n";
    u += "\t[-g <generation>]            The maximum number of generations in genetic algorithm search "
         "(Default=1000)\n";
    u += "\t[-p <population>]            The population size in genetic algorithm search (Default=600)\n";
    u += "\t[-r <replacement_rate>]      The replacement rate in genetic algorithm search. Valid values are [0, 1). "
         "(Default=0.8)\n";
    u += "\t[-w <winner_rate>]           The winner-table-all rate in genetic algorithm search. Valid values are "
         "[0, 1). (Default=0.25)\n";
    u += "\t[-lc <complexity_value>]     The lower complexity rate of a motif. Valid values are [0, 10]. "
         "(Default=0.01)\n";
    u += "\t[-f T/F]                     The filtering flag (Default=T) if the flag is set as 'true', the user must "
         "provide the pre-knowledge file\n";
    u += "\t[-pkper <pk_percent>]        The percentage of Pre-knowledge to be used in the Initialization. Valid "
         "values are (0,1). (Default=0.8)\n";
    u += "\t[-perpk <pk_amount>]         The percentage of Pre-knowledge to be used from the pre-knowledge file. "
         "Valid values are (0,1]. (Default=1)\n";
    u += "\t[-delta <delta>]             The IC difference value for merging two chromsomes. Valid values are "
         "(0,1). (Default=0.05)\n";
    u += "\t[-post T/F]                  The post-processing flag (Default=T)\n";
    u += "\t[-pkq <pk_quality>]          The percentage of noise data from input sequence as PK (Default=0)\n";
    u += kSeedLineMark;
    u += "\n\n\n";
    return u;
}

// The banner: an empty line, "QIRO -- " and a title, an empty line, a credit
// line indented by three tabs, an empty line.
const std::regex kBanner("\nQIRO -- [^\n]+\n\n\t\t\t[^\n]+\n\n");

// The output with the banner checked and cut off, and every usage line of
// -seed replaced by a mark, so that whole outputs can be compared.
std::string Screen(const Result& r) {
    std::smatch m;
    if (!std::regex_search(r.out, m, kBanner, std::regex_constants::match_continuous)) {
        ADD_FAILURE() << "the output does not start with the banner:\n" << r.out;
        return r.out;
    }
    std::string rest = r.out.substr(m.length(0));
    static const std::regex seedLine(
        "(\t\\[-(?!(?:pk|freq|o|h|k|ns|d|g|p|r|w|lc|f|pkper|perpk|delta|post|pkq)[ \\]])[^\n]*\n)+");
    return std::regex_replace(rest, seedLine, kSeedLineMark);
}

// The argument echo for `args` (single blanks between the words).
std::string Echo(const std::string& args) { return "Arguments information: " + std::string(QIRO_BIN) + " " + args + " \n"; }

// The settings block as it should read; fields hold the text expected on screen.
struct Shown {
    std::string input = "none.fa";
    std::string freq = "bg.freq";
    std::string pk;  // empty: no prior-knowledge line
    std::string result = "qiro.out";
    std::string k = "8";
    std::string ns = "2";
    std::string dbl = "1";
    std::string lc = "0.01";
    std::string pkper = "0.8";
    std::string pkq = "0";
    std::string perpk = "1";
    std::string g = "1000";
    std::string p = "600";
    std::string r = "0.8";
    std::string w = "0.25";
    std::string delta = "0.05";
};

std::string Block(const Shown& s) {
    std::string b;
    b += "The input file: " + s.input + "\n";
    b += "The background frequency file: " + s.freq + "\n";
    if (!s.pk.empty()) b += "The pre knowldege file: " + s.pk + "\n";
    b += kSep;
    b += "The result file: " + s.result + "\n";
    b += "The expected width of binding site: " + s.k + "\n";
    b += "NO. of Site: " + s.ns + "\n";
    b += "Double strand: " + s.dbl + "\n";
    b += "Precentage of Lower Complexity: " + s.lc + "\n";
    b += "Percentage of PK used in Initialization: " + s.pkper + "\n";
    b += "Noise PK rate: " + s.pkq + "\n";
    b += "Percentage of PK chosen to use in QIRO: " + s.perpk + "\n";
    b += "No. of Generation: " + s.g + "\n";
    b += "Population size: " + s.p + "\n";
    b += "Replacement rate: " + s.r + "\n";
    b += "Winner rate: " + s.w + "\n";
    b += "The value of delta: " + s.delta + "\n";
    b += kSep + "\n";
    return b;
}

std::string NoSeqFile(const std::string& name) {
    return "Error: Cannot open Sequence file named " + name + "\nSystem aborted. \n";
}

// A run that stops at the missing sequence file none.fa right after the
// settings block and the seed line (seed 1).
struct SettingsRun {
    std::string args;      // options after "-i none.fa -freq bg.freq -seed 1"
    std::string messages;  // what the parser prints before the block
    Shown shown;
};

void ExpectSettingsRun(const SettingsRun& c) {
    SCOPED_TRACE("options: " + c.args);
    WorkDir dir;
    const std::string args = "-i none.fa -freq bg.freq -seed 1" + (c.args.empty() ? "" : " " + c.args);
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1) << r.command;
    EXPECT_EQ(Screen(r), Echo(args) + c.messages + Block(c.shown) + "Random seed: 1\n" + NoSeqFile("none.fa"))
        << r.command;
}

// A run whose -freq names no file: it ends right after "The input file: "
// with the frequency-file message, so everything the parser printed can be
// compared.
void ExpectParserMessages(const std::string& options, const std::string& messages) {
    SCOPED_TRACE("options: " + options);
    WorkDir dir;
    Result r = dir.qiro("-i seqs.fa -freq '' " + options);
    EXPECT_EQ(r.status, 1) << r.command;
    EXPECT_EQ(Screen(r), Echo("-i seqs.fa -freq  " + options) + messages + "The input file: seqs.fa\n" + kNoFreqFatal)
        << r.command;
}

std::string Unhealthy(const std::string& prefix, const std::string& value, const std::string& dflt) {
    return prefix + value + " is unhealthy! Reset to the default value: " + dflt + " .\n";
}

std::string Words(int n, const std::string& stem) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? " " : "") + stem + std::to_string(i);
    return s;
}

// ------------------------------------------------------------ entry point

TEST(CliEntry, NoArgumentsPrintsBannerAndUsageOnly) {
    WorkDir dir;
    Result r = dir.qiro("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Screen(r), Usage());
    EXPECT_EQ(r.out.find("Arguments information: "), std::string::npos);
}

TEST(CliEntry, WordsBeyondTheLimitAreRefusedNamingIt) {
    WorkDir dir;
    // The program name and 256 more words: one past the limit.
    const std::string args = "-i seqs.fa -freq bg.freq " + Words(252, "w");
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Screen(r), kTooMany + Usage() +
                             "Error: the command line holds 256 words after the program name; at most 255 are read. "
                             "System aborted. \n");
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST(CliEntry, EveryOptionWithItsValueFitsTheLimit) {
    // 255 words after the program name: the options near the end still act,
    // and the trailing -o reads the empty row after the last word and is ignored.
    const std::string args = "-i none.fa -freq bg.freq -seed 1 " + Words(245, "w") + " -k 12 -o";
    WorkDir dir;
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1);
    Shown s;
    s.k = "12";
    EXPECT_EQ(Screen(r), Echo(args) + Block(s) + "Random seed: 1\n" + NoSeqFile("none.fa"));
}

TEST(CliEntry, LongWordsAreKeptWhole) {
    WorkDir dir;
    // A real sequence file behind a path of more than 400 characters, and a
    // result file name of 320 characters.
    const std::string part(100, 'd');
    const std::string folder = part + "/" + part + "/" + part + "/" + part;
    std::filesystem::create_directories(dir.path() / folder);
    const std::string seqs = folder + "/seqs.fa";
    dir.write(seqs, ">s1\nACGTTGCAACGTAGCT\n");
    const std::string result(320, 'r');
    const std::string args = "-i " + seqs + " -freq none.freq -o " + result + " -seed 1";
    Result r = dir.qiro(args);
    const std::string out = Screen(r);
    EXPECT_EQ(out.rfind(Echo(args), 0), 0u) << out;
    EXPECT_NE(out.find("The input file: " + seqs + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("The result file: " + result + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Number of input Sequences: 1\n"), std::string::npos) << out;
}

// ------------------------------------------------------------ -h

TEST(CliHelp, HelpAloneShowsUsageTwice) {
    WorkDir dir;
    Result r = dir.qiro("-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Screen(r), Echo("-h") + Usage() + kPleaseInput + Usage());
}

TEST(CliHelp, HelpAfterInputCancelsTheInputFile) {
    WorkDir dir;
    const std::string args = "-i seqs.fa -freq bg.freq -h";
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Screen(r), Echo(args) + Usage() + kPleaseInput + Usage());
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST(CliHelp, InputAfterHelpRestoresTheInputFile) {
    WorkDir dir;
    const std::string args = "-h -i none.fa -freq bg.freq -seed 1";
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Screen(r), Echo(args) + Usage() + Block(Shown()) + "Random seed: 1\n" + NoSeqFile("none.fa"));
}

TEST(CliHelp, NoInputOptionEndsQuietlyWithUsage) {
    WorkDir dir;
    const std::string args = "-freq bg.freq -k 12";
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Screen(r), Echo(args) + kPleaseInput + Usage());
    EXPECT_FALSE(dir.exists("qiro.out"));
}

TEST(CliHelp, UsageListsSeedBeforeItsClosingBlankLines) {
    WorkDir dir;
    Result r = dir.qiro("");
    const std::string pkqLine =
        "\t[-pkq <pk_quality>]          The percentage of noise data from input sequence as PK (Default=0)\n";
    const size_t at = r.out.find(pkqLine);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string tail = r.out.substr(at + pkqLine.size());
    // The line documenting -seed comes first, then any further option lines,
    // then the three closing line ends, then nothing.
    EXPECT_EQ(tail.rfind("\t[-seed ", 0), 0u) << tail;
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ(tail.substr(tail.size() - 3), "\n\n\n");
    const std::string lines = tail.substr(0, tail.size() - 3);
    for (size_t at = 0; at < lines.size();) {
        EXPECT_EQ(lines.compare(at, 3, "\t[-"), 0) << lines.substr(at);
        size_t eol = lines.find('\n', at);
        ASSERT_NE(eol, std::string::npos) << lines;
        at = eol + 1;
    }
    // -seed is documented nowhere else.
    EXPECT_EQ(r.out.find("-seed"), r.out.rfind("-seed"));
}

// ------------------------------------------------------------ fatal parser messages

TEST(CliInputOption, InputWithoutUsableNameIsFatal) {
    struct Case {
        std::string args;
        std::string echoed;
    };
    const std::vector<Case> cases = {
        {"-freq bg.freq -i", "-freq bg.freq -i"},               // trailing -i
        {"-i -freq bg.freq", "-i -freq bg.freq"},               // value is an option word
        {"-i -seqs.fa -freq bg.freq", "-i -seqs.fa -freq bg.freq"},  // value begins with "-"
        {"-i '' -freq bg.freq", "-i  -freq bg.freq"},           // empty word
        {"-i seqs.fa -freq bg.freq -i", "-i seqs.fa -freq bg.freq -i"},  // a later trailing -i
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("options: " + c.args);
        WorkDir dir;
        Result r = dir.qiro(c.args);
        EXPECT_EQ(r.status, 1) << r.command;
        EXPECT_EQ(Screen(r), Echo(c.echoed) + kNoInputFatal);
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

TEST(CliInputOption, TheRestOfTheLineIsNotReadAfterTheFatalInput) {
    WorkDir dir;
    // Options before -i act; those after it are never reached.
    const std::string args = "-k 41 -i -g 0 -post F";
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Screen(r), Echo(args) + "-k=41 is too long! Reset to default length: 8 .\n" + kNoInputFatal);
}

// -freq without a file name is refused (a run without -freq at all counts its
// background instead: cli_background.cpp).
TEST(CliFreqOption, FreqWithoutAFileNameIsFatalAfterTheInputLine) {
    struct Case {
        std::string args;
        std::string echoed;
    };
    const std::vector<Case> cases = {
        {"-i seqs.fa -freq -", "-i seqs.fa -freq -"},                  // value begins with "-"
        {"-i seqs.fa -freq", "-i seqs.fa -freq"},                      // trailing -freq
        {"-i seqs.fa -freq '' -k 12", "-i seqs.fa -freq  -k 12"},      // empty word
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("options: " + c.args);
        WorkDir dir;
        Result r = dir.qiro(c.args);
        EXPECT_EQ(r.status, 1) << r.command;
        EXPECT_EQ(Screen(r), Echo(c.echoed) + "The input file: seqs.fa\n" + kNoFreqFatal);
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

// ------------------------------------------------------------ repair messages

TEST(CliRepair, WidthOutOfRangeIsResetWithItsMessage) {
    ExpectParserMessages("-k 41", "-k=41 is too long! Reset to default length: 8 .\n");
    ExpectParserMessages("-k 1000", "-k=1000 is too long! Reset to default length: 8 .\n");
    ExpectParserMessages("-k 3", "-k=3 is too short! Reset to default length: 8 .\n");
    ExpectParserMessages("-k 0", "-k=0 is too short! Reset to default length: 8 .\n");
    ExpectParserMessages("-k -5", "-k=-5 is too short! Reset to default length: 8 .\n");
}

TEST(CliRepair, NumbersBeyond32BitsAreRepairedNotWrapped) {
    // Read as the C scanner reads them, these would wrap to 12, 0, 1 and 1.
    ExpectParserMessages("-k 4294967308", "-k=4294967308 is too long! Reset to default length: 8 .\n");
    ExpectParserMessages("-k -4294967292", "-k=-4294967292 is too short! Reset to default length: 8 .\n");
    ExpectParserMessages("-ns 4294967296 -g 99999999999999999999", Unhealthy("-ns=", "4294967296", "2") +
                                                                         Unhealthy("-g=", "99999999999999999999", "1000"));
    WorkDir dir;
    Result r = dir.qiro("-i seqs.fa -freq '' -peaksize 4294967296");
    EXPECT_NE(r.out.find(Unhealthy("-peaksize=", "4294967296", "100")), std::string::npos) << r.out;
    ExpectParserMessages("-nmotifs 4294967297 -words 4294967301",
                         Unhealthy("-nmotifs=", "4294967297", "1") + Unhealthy("-words=", "4294967301", "5"));
    ExpectParserMessages("-seed 18446744073709551617",
                         "-seed=18446744073709551617 is not a whole number from 0 to 4294967295! The clock seeds the "
                         "random numbers instead .\n");
    ExpectParserMessages("-k 4294967308-4294967310",
                         "-k=4294967308-4294967310 is not a range of widths from 4 to 40! Reset to default length: 8 .\n");
}

TEST(CliRepair, WidthInRangeOrUnreadableIsSilent) {
    ExpectParserMessages("-k 4", "");
    ExpectParserMessages("-k 40", "");
    ExpectParserMessages("-k abc", "");
    ExpectParserMessages("-k", "");
}

TEST(CliRepair, CountsRefuseOnlyZero) {
    ExpectParserMessages("-ns 0", Unhealthy("-ns=", "0", "2"));
    ExpectParserMessages("-g 0", Unhealthy("-g=", "0", "1000"));
    ExpectParserMessages("-p 0", Unhealthy("-p=", "0", "600"));
    ExpectParserMessages("-ns -1 -g -5 -p -3 -ns 1 -g 1 -p 1", "");
}

TEST(CliRepair, RatesOutsideTheirRangeAreResetWithTheirMessage) {
    ExpectParserMessages("-r 1.5", Unhealthy("-r=", "1.5", "0.8"));
    ExpectParserMessages("-r -0.1", Unhealthy("-r=", "-0.1", "0.8"));
    ExpectParserMessages("-w 2", Unhealthy("-w=", "2", "0.25"));
    ExpectParserMessages("-w -1", Unhealthy("-w=", "-1", "0.25"));
    ExpectParserMessages("-pkper 1.2", Unhealthy("-pkper=", "1.2", "0.8"));
    ExpectParserMessages("-pkq 1.5", Unhealthy("-pkq=", "1.5", "0"));
    ExpectParserMessages("-perpk 2", Unhealthy("-per_pk=", "2", "1"));
    ExpectParserMessages("-perpk -0.5", Unhealthy("-per_pk=", "-0.5", "1"));
    ExpectParserMessages("-lc 11", Unhealthy("-lc=", "11", "0.01"));
    ExpectParserMessages("-lc -0.5", Unhealthy("-lc=", "-0.5", "0.01"));
}

TEST(CliRepair, RateBoundsAreAccepted) {
    ExpectParserMessages("-r 0 -r 1 -w 0 -w 1 -pkper 0 -pkper 1 -pkq 0 -pkq 1 -perpk 0 -perpk 1", "");
    ExpectParserMessages("-lc 0 -lc 10", "");
}

TEST(CliRepair, DeltaMustLieStrictlyBetweenZeroAndTen) {
    ExpectParserMessages("-delta 0", Unhealthy("-delta=", "0", "0.05"));
    ExpectParserMessages("-delta 10", Unhealthy("-delta=", "10", "0.05"));
    ExpectParserMessages("-delta -1", Unhealthy("-delta=", "-1", "0.05"));
    ExpectParserMessages("-delta 9.9 -delta 0.001", "");
}

TEST(CliRepair, MessagesComeInCommandLineOrder) {
    ExpectParserMessages("-perpk 2 -k 41 -g 0",
                         Unhealthy("-per_pk=", "2", "1") + "-k=41 is too long! Reset to default length: 8 .\n" +
                             Unhealthy("-g=", "0", "1000"));
}

TEST(CliRepair, PostProcessingLineFollowsEveryPost) {
    ExpectParserMessages("-post F", "Post-processing 0\n");
    ExpectParserMessages("-post T", "Post-processing 1\n");
    ExpectParserMessages("-post f", "Post-processing 1\n");
    ExpectParserMessages("-post", "Post-processing 1\n");
    ExpectParserMessages("-post F -post", "Post-processing 0\nPost-processing 0\n");
    ExpectParserMessages("-post -k 41", "Post-processing 1\n-k=41 is too long! Reset to default length: 8 .\n");
    ExpectParserMessages("-post F -post T", "Post-processing 0\nPost-processing 1\n");
}

TEST(CliRepair, ValueWordsAndBadFileValuesAreSilent) {
    ExpectParserMessages("-k 12 foo 41 -5", "");
    ExpectParserMessages("-o -pk -d -f -", "");
    ExpectParserMessages("-o", "");
}

TEST(CliRepair, AnUnknownOptionIsRefusedNamingTheNearestBeforeAnyWork) {
    struct Case {
        std::string args, unknown, nearest;
    };
    const std::vector<Case> cases = {
        {"-peaksizes 10", "-peaksizes", "-peaksize"}, {"-k 12 -sitemodels zoops", "-sitemodels", "-sitemodel"},
        {"-peak", "-peak", "-peaks"},                  {"--k 41", "--k", "-k"},
        {"-K 41 -G 0", "-K", "-k"},                    {"-freq -bg.freq", "-bg.freq", "-freq"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        WorkDir dir;
        dir.write("seqs.fa", ">s1\nACGTTGCAACGTAGCT\n");
        Result r = dir.qiro("-i seqs.fa " + c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(Screen(r), Echo("-i seqs.fa " + c.args) + "Error: " + c.unknown + " is not an option; did you mean " +
                                 c.nearest + "? (qiro -h lists them.) System aborted. \n");
        EXPECT_FALSE(dir.exists("qiro.out"));
    }
}

// ------------------------------------------------------------ settings block

TEST(CliSettings, DefaultsAreShown) { ExpectSettingsRun({"", "", Shown()}); }

TEST(CliSettings, EveryGivenValueIsShown) {
    Shown s;
    s.pk = "sites.pk";
    s.result = "res.txt";
    s.k = "12";
    s.ns = "3";
    s.dbl = "0";
    s.lc = "0.5";
    s.pkper = "0.6";
    s.pkq = "0.1";
    s.perpk = "0.7";
    s.g = "50";
    s.p = "40";
    s.r = "0.3";
    s.w = "0.4";
    s.delta = "0.2";
    ExpectSettingsRun({"-o res.txt -k 12 -ns 3 -d F -lc 0.5 -pkper 0.6 -pkq 0.1 -perpk 0.7 -g 50 -p 40 -r 0.3 "
                       "-w 0.4 -delta 0.2 -pk sites.pk -f F",
                       "", s});
}

TEST(CliSettings, RepairedValuesShowTheirDefault) {
    ExpectSettingsRun({"-k 41 -perpk 2 -r 1.5 -delta 0",
                       "-k=41 is too long! Reset to default length: 8 .\n" + Unhealthy("-per_pk=", "2", "1") +
                           Unhealthy("-r=", "1.5", "0.8") + Unhealthy("-delta=", "0", "0.05"),
                       Shown()});
}

TEST(CliSettings, AcceptedEdgeValuesAreShownAsGiven) {
    Shown s;
    s.r = "1";
    s.lc = "10";
    s.delta = "9.9";
    s.pkq = "1";
    s.perpk = "0";
    s.ns = "-3";
    s.g = "-5";
    s.p = "-2";
    ExpectSettingsRun({"-r 1 -lc 10 -delta 9.9 -pkq 1 -perpk 0 -ns -3 -g -5 -p -2", "", s});
}

TEST(CliSettings, RepeatedOptionsActInTurn) {
    Shown s12;
    s12.k = "12";
    ExpectSettingsRun({"-k 41 -k 12", "-k=41 is too long! Reset to default length: 8 .\n", s12});
    ExpectSettingsRun({"-k 12 -k 41", "-k=41 is too long! Reset to default length: 8 .\n", Shown()});
    Shown out2;
    out2.result = "b.out";
    ExpectSettingsRun({"-o a.out -o b.out", "", out2});
}

TEST(CliSettings, UnreadableNumbersKeepTheCurrentValue) {
    Shown s;
    s.k = "12";
    s.r = "0.3";
    s.g = "50";
    ExpectSettingsRun({"-k 12 -k abc -r 0.3 -r x -g 50 -g", "", s});
    Shown six;
    six.k = "6";
    ExpectSettingsRun({"-k 6.5", "", six});
}

TEST(CliSettings, OnlyTheWordFMeansFalse) {
    Shown on;
    Shown off;
    off.dbl = "0";
    ExpectSettingsRun({"-d f", "", on});
    ExpectSettingsRun({"-d false", "", on});
    ExpectSettingsRun({"-d no", "", on});
    ExpectSettingsRun({"-d F", "", off});
    ExpectSettingsRun({"-d F -d -1", "", off});
    ExpectSettingsRun({"-d F -d", "", off});
    ExpectSettingsRun({"-d F -d T", "", on});
}

TEST(CliSettings, ValueWordsStartingWithDashAreNotFileNames) {
    Shown s;
    s.k = "12";
    ExpectSettingsRun({"-o -k 12", "", s});
    ExpectSettingsRun({"-pk -", "", Shown()});
    ExpectSettingsRun({"-o", "", Shown()});
    Shown pk;
    pk.pk = "sites.pk";
    ExpectSettingsRun({"-pk sites.pk -pk", "", pk});
}

TEST(CliSettings, FilterAndPostFlagsAreNotShown) {
    ExpectSettingsRun({"-f F", "", Shown()});
    ExpectSettingsRun({"-post F", "Post-processing 0\n", Shown()});
}

// ------------------------------------------------------------ -seed

TEST(CliSeed, SeedLineFollowsTheSettingsBlock) {
    WorkDir dir;
    dir.write("seqs.fa", ">s1\nACGTTGCAACGTAGCT\n");
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i seqs.fa -freq bg.freq -seed 42 -g 10 -p 10");
    EXPECT_NE(r.out.find(kSep + "\nRandom seed: 42\nNumber of input Sequences: 1\n"), std::string::npos) << r.out;
}

TEST(CliSeed, ZeroIsASeed) {
    WorkDir dir;
    Result r = dir.qiro("-i none.fa -freq bg.freq -seed 0");
    EXPECT_EQ(Screen(r), Echo("-i none.fa -freq bg.freq -seed 0") + Block(Shown()) + "Random seed: 0\n" +
                             NoSeqFile("none.fa"));
}

TEST(CliSeed, LastSeedWins) {
    WorkDir dir;
    const std::string args = "-seed 5 -i none.fa -freq bg.freq -seed 7";
    Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Screen(r), Echo(args) + Block(Shown()) + "Random seed: 7\n" + NoSeqFile("none.fa"));
}

TEST(CliSeed, WithoutSeedTheLineStillShowsTheSeedUsed) {
    WorkDir dir;
    Result r = dir.qiro("-i none.fa -freq bg.freq");
    EXPECT_EQ(r.status, 1);
    const std::regex expected(std::regex_replace(Block(Shown()), std::regex(R"([.^$|()\[\]{}*+?\\])"), "\\$&") +
                              "Random seed: [0-9]+\nError: Cannot open Sequence file named none\\.fa\n"
                              "System aborted\\. \n$");
    EXPECT_TRUE(std::regex_search(r.out, expected)) << r.out;
}

}  // namespace
