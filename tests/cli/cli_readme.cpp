// The README's Quick start: every command runs as written, on the bundled
// example data, and ends with status 0, so that the first screen a new user
// reads cannot drift from the program.
#include <gtest/gtest.h>

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

// One test a command, so that each has the whole time a test may take.
TEST(Readme, QuickStartPeaksRunsAsWritten) { RunQuickStartCommand(0); }
TEST(Readme, QuickStartKnownSitesRunsAsWritten) { RunQuickStartCommand(1); }
TEST(Readme, QuickStartDatabaseRunsAsWritten) { RunQuickStartCommand(2); }
TEST(Readme, QuickStartPeaksOnAGenomeRunsAsWritten) { RunQuickStartCommand(3); }

}  // namespace
