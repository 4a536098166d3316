// -version in both programs: one line with the version, status 0, wherever the
// word stands, nothing else done.
#include <gtest/gtest.h>

#include <string>

#include "cli_util.h"
#include "core/Constants.h"

namespace {

TEST(Version, OneLineWhereverItStandsAndNothingRun) {
    clitest::WorkDir dir;
    dir.write("in.fa", ">s\nACGTTGCAAGCTTACG\n");
    dir.write("bg.freq", clitest::FlatBackground());
    const std::string qiro = std::string("qiro ") + QIRO_VERSION + "\n";
    const std::string freq = std::string("qiro-freq ") + QIRO_VERSION + "\n";
    for (const char* args : {"-version", "-i in.fa -freq bg.freq -g 10 -p 10 -o r.out -version -h"}) {
        const clitest::Result r = dir.qiro(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, qiro) << args;
    }
    for (const char* args : {"-version", "in.fa -o x.freq -version", "-p bad -zz -version"}) {
        const clitest::Result r = dir.qiroFreq(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, freq) << args;
    }
    EXPECT_FALSE(dir.exists("r.out") || dir.exists("x.freq"));
    EXPECT_NE(dir.qiro("-h").out.find("[-version]"), std::string::npos);
    EXPECT_NE(dir.qiroFreq("-h").out.find("-version"), std::string::npos);
}

}  // namespace
