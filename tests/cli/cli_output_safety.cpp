// Outputs that never cost the user an input or another output: an output
// naming an input file, or two outputs naming one file, refused before any
// work however the names are written; a result file that cannot be written
// said at the start; and a write that fails ending the run with status 1
// after every other output is written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kRun = " -k 8 -seed 1 -g 10 -p 20 -threads 1";

class OutputSafety : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        std::string fasta;
        for (int i = 0; i < 6; ++i) fasta += ">s" + std::to_string(i) + "\nACGTTGCAGGATCCATTGACGATCGGCTAGCTTACAGT\n";
        dir.write("in.fa", fasta);
        dir.write("neg.fa", fasta);
        dir.write("bg.freq", clitest::FlatBackground());
        dir.write("sites.pk", "GGATCCAT\nGGATCCTT\nGGATCGAT\n");
    }
};

TEST_F(OutputSafety, AnOutputNamingAnInputIsRefusedAndTheInputKept) {
    ASSERT_EQ(symlink("in.fa", dir.file("link.fa").c_str()), 0);
    struct Case {
        std::string args, said;
        std::string input;  // the file that must be left as it was
    };
    const std::vector<Case> cases = {
        {"-i in.fa -o in.fa", "-o names in.fa, the -i file", "in.fa"},
        {"-i in.fa -o ./sub/../in.fa", "-o names ./sub/../in.fa, the -i file", "in.fa"},
        {"-i in.fa -bed link.fa", "-bed names link.fa, the -i file", "in.fa"},
        {"-i in.fa -freq bg.freq -meme bg.freq", "-meme names bg.freq, the -freq file", "bg.freq"},
        {"-i in.fa -evalue 0.05 -neg neg.fa -json neg.fa", "-json names neg.fa, the -neg file", "neg.fa"},
        {"-i in.fa -pk sites.pk -html sites.pk", "-html names sites.pk, the -pk file", "sites.pk"},
    };
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string before = dir.read(c.input);
        Result r = dir.qiro(c.args + kRun);
        EXPECT_EQ(r.status, 1);
        // A judged run says its errors on standard error.
        const std::string said = r.out + r.err;
        EXPECT_NE(said.find("Error: " + c.said + ": the run would overwrite its input. System aborted. \n"),
                  std::string::npos)
            << said;
        EXPECT_EQ(r.out.find("Number of input Sequences"), std::string::npos) << "refused before any work";
        EXPECT_EQ(dir.read(c.input), before);
    }
}

TEST_F(OutputSafety, TwoOutputsNamingOneFileAreRefusedButDevicesAreNot) {
    Result r = dir.qiro("-i in.fa -o res.txt -bed res.txt" + kRun);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: -o and -bed both name res.txt: one output would overwrite the other. System aborted. \n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(dir.exists("res.txt"));
    r = dir.qiro("-i in.fa -json out.json -html ./out.json" + kRun);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: -json and -html both name ./out.json"), std::string::npos) << r.out;
    // Writing /dev/null twice loses nothing.
    r = dir.qiro("-i in.fa -bed /dev/null -json /dev/null" + kRun);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(dir.exists("qiro.out"));
}

TEST_F(OutputSafety, AFailedWriteEndsWithStatusOneAfterTheOtherOutputs) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    Result r = dir.qiro("-i in.fa -o /dev/full -json r.json" + kRun);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ERROR: Cannot write file named /dev/full\n"), std::string::npos) << r.out;
    EXPECT_NE(dir.read("r.json").find("\"motifs\""), std::string::npos);
    r = dir.qiro("-i in.fa -json /dev/full -bed r.bed" + kRun);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Cannot write the JSON file named /dev/full\n"), std::string::npos) << r.out;
    EXPECT_NE(dir.read("qiro.out").find("Motif Rank #1"), std::string::npos);
    EXPECT_TRUE(dir.exists("r.bed"));
}

TEST_F(OutputSafety, AResultFileThatCannotBeWrittenIsSaidAtTheStart) {
    ASSERT_EQ(mkdir(dir.file("adir").c_str(), 0755), 0);
    Result r = dir.qiro("-i in.fa -o adir" + kRun);
    EXPECT_EQ(r.status, 0);
    const size_t warned = r.out.find(
        "Warning: the result file adir cannot be written (it is a folder); the result goes to \"qiro.out\" instead.\n");
    EXPECT_NE(warned, std::string::npos) << r.out;
    EXPECT_LT(warned, r.out.find("Number of input Sequences"));
    EXPECT_NE(dir.read("qiro.out").find("Motif Rank #1"), std::string::npos);
}

}  // namespace
