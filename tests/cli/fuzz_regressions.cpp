// Replays, through the fuzz targets' harness (fuzz/harness.h), the seed corpus
// of every target and every input a fuzzer once found a fault with. Each input
// runs in a child process, as a run would meet it: it must end normally
// (status 0) or with a fatal message (status 1), never crash, trip an
// invariant of the harness or, in the sanitizer build, a sanitizer. A kept
// fault input, tests/data/fuzz/<target>/<what>.exit<N>, must end with status N.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using Harness = void (*)(const uint8_t*, size_t);

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs the input through the harness in this (child) process, silenced.
void Replay(Harness harness, const std::string& bytes) {
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
    harness(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::exit(0);
}

bool AnsweredAsARunWould(int status) { return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1); }

void ReplayTarget(const std::string& target, Harness harness) {
    const std::vector<std::filesystem::path> seeds = FilesIn(std::filesystem::path(QIRO_FUZZ_DIR) / "corpus" / target);
    ASSERT_GE(seeds.size(), 3u) << "the seed corpus of " << target << " is missing";
    for (const auto& file : seeds) {
        const std::string bytes = Bytes(file);
        EXPECT_EXIT(Replay(harness, bytes), AnsweredAsARunWould, "") << file;
    }
    for (const auto& file : FilesIn(std::filesystem::path(QIRO_TEST_DATA) / "fuzz" / target)) {
        const std::string name = file.filename().string();
        const size_t at = name.rfind(".exit");
        ASSERT_NE(at, std::string::npos) << name << " does not say its status (.exit<N>)";
        const int status = std::atoi(name.c_str() + at + 5);
        const std::string bytes = Bytes(file);
        EXPECT_EXIT(Replay(harness, bytes), testing::ExitedWithCode(status), "") << file;
    }
}

TEST(FuzzRegressionsDeath, FastaLoader) { ReplayTarget("fasta", fuzzharness::FastaInput); }
TEST(FuzzRegressionsDeath, FrequencyFileLoader) { ReplayTarget("freq", fuzzharness::FreqInput); }
TEST(FuzzRegressionsDeath, PriorKnowledgeLoader) { ReplayTarget("pk", fuzzharness::PKInput); }
TEST(FuzzRegressionsDeath, OptionParser) { ReplayTarget("options", fuzzharness::OptionsInput); }
TEST(FuzzRegressionsDeath, MotifDatabaseLoader) { ReplayTarget("db", fuzzharness::DbInput); }
TEST(FuzzRegressionsDeath, ControlFileLoader) { ReplayTarget("neg", fuzzharness::NegInput); }
TEST(FuzzRegressionsDeath, PeakReader) { ReplayTarget("peak", fuzzharness::PeakInput); }

}  // namespace
