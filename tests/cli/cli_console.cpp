// A judged run's console: the answer on standard output (the settings that
// shape it, a line per stage, each motif and its sites, the closing table and
// where the outputs went), the searches' log held back unless -verbose asks
// for it, and warnings and errors on standard error, each once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class JudgedConsole : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        planted::Options o;
        o.sequences = 30;
        o.length = 100;
        dir.write("in.fa", planted::Make(o).fasta);
    }
};

TEST_F(JudgedConsole, AJudgedRunPrintsTheAnswerAndHoldsTheSearchLogBack) {
    Result r = dir.qiro("-i in.fa -evalue 0.05 -k 10 -seed 3 -threads 1 -peaksize 50 -words x -json r.json");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("qiro "), 0u) << r.out;
    for (const char* line : {"Input:       in.fa\n", "Seed:        3\n", "Control sequences: ", "Motif 1: ",
                             "Motif 1 found: ", "Motif 1's sites called by", "\nMotifs reported:\n",
                             "Outputs: the result in qiro.out; JSON in r.json.\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    for (const char* log : {"Start GA:", "Finish the GA process", "Arguments information", "Search 1: motif"})
        EXPECT_EQ(r.out.find(log), std::string::npos) << log;
    EXPECT_LT(Count(r.out, "\n"), 30u) << r.out;
    // Not a terminal: no progress line is drawn.
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    // The note goes to standard error, once, and not to standard output.
    EXPECT_EQ(Count(r.err, "Note: -peaksize takes effect with -peaks only.\n"), 1u) << r.err;
    EXPECT_EQ(r.out.find("Note:"), std::string::npos);
    // So does a value repaired to its default.
    EXPECT_NE(r.err.find("-words=x is unhealthy! Reset to the default value: 5 .\n"), std::string::npos) << r.err;
}

TEST_F(JudgedConsole, VerboseRestoresTheSearchLog) {
    Result quiet = dir.qiro("-i in.fa -evalue 0.05 -k 10 -seed 3 -threads 1 -o q.out");
    Result verbose = dir.qiro("-i in.fa -evalue 0.05 -k 10 -seed 3 -threads 1 -o v.out -verbose");
    ASSERT_EQ(verbose.status, 0) << verbose.out;
    for (const char* log : {"Arguments information", "Search 1: motif 1, width 10", "Start GA:", "Finish the GA process",
                            "Motif 1 found: ", "\nMotifs reported:\n"})
        EXPECT_NE(verbose.out.find(log), std::string::npos) << log;
    // The result file does not depend on what the console shows.
    EXPECT_EQ(dir.read("q.out"), dir.read("v.out"));
}

TEST_F(JudgedConsole, ATerminalSeesTheSearchesProgressRedrawnInPlace) {
    // script(1) gives the run a terminal and copies what it shows.
    if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    Result r = dir.run("script", "-qec \"'" + std::string(QIRO_BIN) +
                                     "' -i in.fa -evalue 0.05 -k 10 -seed 3 -threads 1\" /dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    const size_t drawn = r.out.find("\rSearch 1, width 10, motif 1 (");
    EXPECT_NE(drawn, std::string::npos) << r.out;
    // Wiped (blanks, then a carriage return) before the answer goes on.
    const size_t wiped = r.out.find(" \rMotif 1: ", drawn);
    EXPECT_NE(wiped, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Motifs reported:"), std::string::npos);
}

TEST_F(JudgedConsole, AnErrorGoesToStandardErrorAlone) {
    Result r = dir.qiro("-i none.fa -evalue 0.05 -k 10 -seed 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: Cannot open Sequence file named none.fa\nSystem aborted. \n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    // A message without the word Error still reaches the user.
    dir.write("sites.pk", "ACGTAC\nACGTA\n");
    r = dir.qiro("-i in.fa -pk sites.pk -evalue 0.05 -seed 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Sequences in Pri-knowledege file have different lengths\n"), std::string::npos) << r.err;
}

}  // namespace
