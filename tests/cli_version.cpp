// Command-line tests of -version in both programs: one line with the project
// version of CMakeLists.txt, status 0, wherever the word stands, nothing run.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "cli_util.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

// The version the build is meant to carry, read from the project line.
std::string ProjectVersion() {
    std::ifstream in(std::string(QIRO_SOURCE_DIR) + "/CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch m;
    const std::string s = text.str();
    if (!std::regex_search(s, m, std::regex(R"(project\(qiro VERSION ([0-9.]+))"))) return "(no project version)";
    return m[1];
}

void ExpectVersionOnly(const Result& r, const std::string& program) {
    EXPECT_EQ(r.status, 0) << r.command;
    EXPECT_EQ(r.out, program + " " + ProjectVersion() + "\n") << r.command;
    EXPECT_EQ(r.err, "") << r.command;
}

TEST(Version, AloneOrAmongOtherWordsPrintsOneLineAndRunsNothing) {
    WorkDir dir;
    dir.write("in.fa", ">s\nACGTTGCAAGCTTACG\n");
    dir.write("bg.freq", clitest::FlatBackground());
    ExpectVersionOnly(dir.qiro("-version"), "qiro");
    ExpectVersionOnly(dir.qiro("-i in.fa -freq bg.freq -g 10 -p 10 -o r.out -version -h"), "qiro");
    ExpectVersionOnly(dir.qiro("-i -version"), "qiro");  // otherwise the missing-input fatal end
    std::string many;  // beyond the word limit, which would otherwise print the usage
    for (int i = 0; i < 40; ++i) many += " -k 8";
    ExpectVersionOnly(dir.qiro(many + " -version"), "qiro");
    EXPECT_FALSE(dir.exists("r.out"));

    ExpectVersionOnly(dir.qiroFreq("-version"), "qiro-freq");
    ExpectVersionOnly(dir.qiroFreq("in.fa -o x.freq -version"), "qiro-freq");
    ExpectVersionOnly(dir.qiroFreq("-p bad -zz -version"), "qiro-freq");  // words that would fail
    EXPECT_FALSE(dir.exists("x.freq"));
    // The value of -o is a value: this writes a file of that name.
    EXPECT_EQ(dir.qiroFreq("-o -version in.fa").status, 0);
    EXPECT_TRUE(dir.exists("-version"));

    EXPECT_NE(dir.qiro("-h").out.find("[-version]"), std::string::npos);
    EXPECT_NE(dir.qiroFreq("-h").out.find("-version"), std::string::npos);
}

}  // namespace
