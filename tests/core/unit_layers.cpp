// The source tree's floors: every include of a room names its folder, and a
// folder includes only its own rooms and the folders listed before it in the
// build's QIRO_FOLDERS, so that no change in a lower stage can need one in a
// higher stage and no folder is left out of the build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The folders of QIRO_FOLDERS, bottom first, as the top CMakeLists.txt lists them.
std::vector<std::string> ListedFolders() {
    const std::string cmake = ReadAll(fs::path(QIRO_SOURCE_DIR) / "CMakeLists.txt");
    const size_t at = cmake.find("set(QIRO_FOLDERS");
    const size_t end = cmake.find(')', at);
    std::vector<std::string> folders;
    if (at == std::string::npos || end == std::string::npos) return folders;
    std::istringstream lines(cmake.substr(at + 17, end - at - 17));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        while (words >> word) folders.push_back(word);
    }
    return folders;
}

TEST(Layers, EveryIncludeNamesItsFolderAndNoneRunsBackUp) {
    const std::vector<std::string> folders = ListedFolders();
    ASSERT_GE(folders.size(), 5u);
    std::map<std::string, size_t> floor;
    for (size_t i = 0; i < folders.size(); ++i) floor[folders[i]] = i;
    const fs::path src = fs::path(QIRO_SOURCE_DIR) / "src";
    for (const fs::directory_entry& e : fs::directory_iterator(src))
        EXPECT_TRUE(e.is_directory() && floor.count(e.path().filename().string()))
            << e.path() << ": every room sits in a folder the build lists";
    const std::regex include("#include \"([^\"]*)\"");
    size_t rooms = 0;
    for (const std::string& folder : folders) {
        for (const fs::directory_entry& e : fs::directory_iterator(src / folder)) {
            ++rooms;
            const std::string text = ReadAll(e.path());
            for (std::sregex_iterator m(text.begin(), text.end(), include), stop; m != stop; ++m) {
                const std::string target = (*m)[1];
                const size_t slash = target.find('/');
                ASSERT_NE(slash, std::string::npos) << e.path() << " includes " << target << " without its folder";
                const std::string to = target.substr(0, slash);
                ASSERT_TRUE(floor.count(to)) << e.path() << " includes " << target;
                EXPECT_LE(floor[to], floor[folder]) << e.path() << " includes " << target << ", a folder above it";
                EXPECT_TRUE(fs::exists(src / target)) << e.path() << " includes " << target;
            }
        }
    }
    EXPECT_GT(rooms, 50u);
}

}  // namespace
