// The README's Quick start and every page of the guide: every command runs
// as written, on the bundled example data, and ends with status 0, so that
// what a user reads first cannot drift from the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"

namespace {

// The lines "build/qiro ..." of the first code block after "## Quick start".
std::vector<std::string> QuickStartCommands() {
    std::ifstream in(std::string(QIRO_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string readme = text.str();
    const size_t section = readme.find("\n## Quick start\n");
    if (section == std::string::npos) return {};
    const size_t open = readme.find("```sh\n", section);
    const size_t close = readme.find("```\n", open + 6);
    std::istringstream block(readme.substr(open + 6, close - open - 6));
    std::vector<std::string> commands;
    for (std::string line; std::getline(block, line);)
        if (line.rfind("build/qiro ", 0) == 0) commands.push_back(line.substr(std::string("build/qiro ").size()));
    return commands;
}

// Command i of the Quick start, run as written in a folder that sees examples/.
void RunQuickStartCommand(size_t i) {
    const std::vector<std::string> commands = QuickStartCommands();
    ASSERT_EQ(commands.size(), 4u) << "the Quick start of README.md holds four qiro commands";
    const std::string& args = commands[i];
    clitest::WorkDir dir;
    std::filesystem::create_directory_symlink(QIRO_EXAMPLES, dir.path() / "examples");
    const clitest::Result r = dir.qiro(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << args << "\n" << r.out;
    EXPECT_NE(r.out.find("Motif 1 "), std::string::npos) << args << "\n" << r.out;
}

// The commands of a page: the lines starting with "build/qiro " or
// "build/qiro-freq " in its ```sh blocks, in order.
std::vector<std::string> PageCommands(const std::filesystem::path& page) {
    std::ifstream in(page);
    std::vector<std::string> commands;
    bool block = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0) {
            block = !block && line == "```sh";
            continue;
        }
        if (block && (line.rfind("build/qiro ", 0) == 0 || line.rfind("build/qiro-freq ", 0) == 0))
            commands.push_back(line);
    }
    return commands;
}

// One test a command, so that each has the whole time a test may take.
TEST(Readme, QuickStartPeaksRunsAsWritten) { RunQuickStartCommand(0); }
TEST(Readme, QuickStartKnownSitesRunsAsWritten) { RunQuickStartCommand(1); }
TEST(Readme, QuickStartDatabaseRunsAsWritten) { RunQuickStartCommand(2); }
TEST(Readme, QuickStartPeaksOnAGenomeRunsAsWritten) { RunQuickStartCommand(3); }

std::vector<std::string> GuidePages() {
    std::vector<std::string> pages;
    const std::filesystem::path folder = std::string(QIRO_SOURCE_DIR) + "/docs/guide";
    if (std::filesystem::is_directory(folder))
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().extension() == ".md") pages.push_back(e.path().filename().string());
    std::sort(pages.begin(), pages.end());
    return pages;
}

TEST(Guide, HoldsAPagePerTask) { EXPECT_GE(GuidePages().size(), 7u) << "docs/guide"; }

// A page's commands one after another in one folder, as a reader would run
// them (a later command may read what an earlier one wrote); one test a page.
class GuidePage : public ::testing::TestWithParam<std::string> {};

TEST_P(GuidePage, EveryCommandRunsAsWritten) {
    const std::filesystem::path page = std::string(QIRO_SOURCE_DIR) + "/docs/guide/" + GetParam();
    const std::vector<std::string> commands = PageCommands(page);
    // Every page but the index opens with the command of its task.
    if (GetParam() != "README.md") {
        EXPECT_FALSE(commands.empty()) << GetParam();
    }
    clitest::WorkDir dir;
    std::filesystem::create_directory_symlink(QIRO_EXAMPLES, dir.path() / "examples");
    for (const std::string& command : commands) {
        const bool freq = command.rfind("build/qiro-freq ", 0) == 0;
        const std::string args = command.substr(freq ? 16 : 11);
        const clitest::Result r = freq ? dir.qiroFreq(args) : dir.qiro(args);
        EXPECT_EQ(r.status, 0) << GetParam() << ": " << command << "\n" << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find("Error"), std::string::npos) << GetParam() << ": " << command;
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, GuidePage, ::testing::ValuesIn(GuidePages()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 3);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
