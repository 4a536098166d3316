// The fault paths of a run in-process: the fatal-exit hook, output files that
// appear whole or not at all, and the cost of loading a large FASTA file
// (time growing in proportion to the file, memory bounded by a multiple of it).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_util.h"
#include "core/Robust.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"

namespace {

using clitest::WorkDir;

std::vector<std::string> Names(const WorkDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- fatal exit

[[noreturn]] void EndWithSeven(int) { _exit(7); }

TEST(FatalExitDeath, EndsWithTheStatusOrThroughTheInstalledHandler) {
    EXPECT_EXIT(FatalExit(1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(FatalExit(3), testing::ExitedWithCode(3), "");
    // A handler takes over (a fuzzing harness unwinds instead of exiting).
    EXPECT_EXIT(
        {
            SetFatalHandler(EndWithSeven);
            FatalExit(1);
        },
        testing::ExitedWithCode(7), "");
    // The loaders end through it: a frequency file without the base A.
    EXPECT_EXIT(
        {
            WorkDir dir;
            dir.write("bg.freq", "1 C 0.25\n2 G 0.25\n3 T 0.25\n");
            SetFatalHandler(EndWithSeven);
            Midlayer m;
            m.OpenFreqFile(dir.file("bg.freq"));
            m.LoadFreqInfo();
            _exit(0);
        },
        testing::ExitedWithCode(7), "");
}

// ---------------------------------------------------------------- whole files

TEST(WholeFile, TheNameShowsThePreviousFileUntilTheNewOneIsComplete) {
    WorkDir dir;
    dir.write("result.txt", "previous\n");
    WholeFile file;
    ASSERT_TRUE(file.Open(dir.file("result.txt")));
    file.stream() << "new first line\n";
    file.stream().flush();
    // While writing, the name still holds the previous file whole.
    EXPECT_EQ(dir.read("result.txt"), "previous\n");
    file.stream() << "new second line\n";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(dir.read("result.txt"), "new first line\nnew second line\n");
    // No temporary file is left beside it.
    EXPECT_EQ(Names(dir), std::vector<std::string>{"result.txt"});
}

TEST(WholeFile, AnUnfinishedFileIsDroppedAndThePreviousOneKept) {
    WorkDir dir;
    dir.write("result.txt", "previous\n");
    {
        WholeFile file;
        ASSERT_TRUE(file.Open(dir.file("result.txt")));
        file.stream() << "half a resu";
    }  // gone out of scope without Commit, as a run that stops half way
    EXPECT_EQ(dir.read("result.txt"), "previous\n");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"result.txt"});

    WholeFile file;
    ASSERT_TRUE(file.Open(dir.file("fresh.txt")));
    file.stream() << "x";
    file.Discard();
    EXPECT_FALSE(dir.exists("fresh.txt"));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"result.txt"});
}

TEST(WholeFile, NamesThatCannotBeWrittenAndSpecialFiles) {
    WorkDir dir;
    WholeFile file;
    EXPECT_FALSE(file.Open(dir.file("missing/result.txt")));  // no such folder
    EXPECT_FALSE(file.Open(dir.path().string()));               // a folder
    EXPECT_FALSE(file.Open(dir.file("sub/")));                  // a folder's name
    EXPECT_FALSE(file.Open(""));
    EXPECT_TRUE(Names(dir).empty());

    // A new file gets the usual permissions (those of a plain open), not the
    // private ones of a temporary file.
    ASSERT_TRUE(file.Open(dir.file("new.txt")));
    file.stream() << "text\n";
    ASSERT_TRUE(file.Commit());
    struct stat st;
    ASSERT_EQ(stat(dir.file("new.txt").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    // An existing file keeps its permissions.
    ASSERT_EQ(chmod(dir.file("new.txt").c_str(), 0640), 0);
    ASSERT_TRUE(file.Open(dir.file("new.txt")));
    file.stream() << "again\n";
    ASSERT_TRUE(file.Commit());
    ASSERT_EQ(stat(dir.file("new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.read("new.txt"), "again\n");

    // A symbolic link is followed: the file it names gets the text.
    ASSERT_EQ(symlink("new.txt", dir.file("link.txt").c_str()), 0);
    ASSERT_TRUE(file.Open(dir.file("link.txt")));
    file.stream() << "through the link\n";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(dir.read("new.txt"), "through the link\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.txt"));

    // A device is written directly, never replaced.
    ASSERT_TRUE(file.Open("/dev/null"));
    file.stream() << "nothing\n";
    EXPECT_TRUE(file.Commit());
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// ---------------------------------------------------------------- large inputs

// A FASTA text of about `bytes` bytes: records of 200 to 1200 letters in lines
// of 60, mixed case and a few other letters, from a fixed seed.
std::string GeneratedFasta(size_t bytes, uint32_t seed) {
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    auto next = [&x]() {  // xorshift64
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    const char letters[] = "ACGTACGTACGTacgtN";
    std::string text;
    text.reserve(bytes + 2000);
    int record = 0;
    while (text.size() < bytes) {
        text += ">seq" + std::to_string(record++) + " generated\n";
        const int len = 200 + static_cast<int>(next() % 1001);
        for (int i = 0; i < len; ++i) {
            text.push_back(letters[(next() >> 32) % 17]);
            if (i % 60 == 59 || i + 1 == len) text.push_back('\n');
        }
    }
    return text;
}

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct LoadCost {
    double seconds = 0.0;  // processor time of the loader, best of the repeats
    size_t bytes = 0;      // heap bytes of the strand store it built
    int sequences = 0;
};

size_t StoreBytes(const Midlayer& m) {
    size_t total = m.Seqs.capacity() * sizeof(SeqRecord);
    for (const SeqRecord& r : m.Seqs) {
        total += r.code.capacity();
        if (!r.forward) continue;  // what both strands share, counted once
        const SeqShared& s = *r.shared;
        total += sizeof(SeqShared);
        if (s.name.capacity() > 15) total += s.name.capacity() + 1;
        total += (s.packed.capacity() + s.unknown.capacity() + s.lower.capacity()) * sizeof(uint64_t);
    }
    return total;
}

LoadCost Load(const WorkDir& dir, const std::string& name, bool both, int repeats) {
    LoadCost cost;
    cost.seconds = 1e300;
    for (int i = 0; i < repeats; ++i) {
        Midlayer m;
        m.SetDoubleStrand(both);
        testing::internal::CaptureStdout();
        m.OpenSeqFile(dir.file(name));
        const double start = ThreadSeconds();
        m.LoadSeqs();
        const double took = ThreadSeconds() - start;
        testing::internal::GetCapturedStdout();
        cost.seconds = std::min(cost.seconds, took);
        cost.bytes = StoreBytes(m);
        cost.sequences = m.GetNumSeq();
    }
    return cost;
}

TEST(WorkerThreads, AFailingAllocationReachesTheCallerAfterEveryThreadStops) {
    // An exception escaping a worker thread would end the process on the
    // spot; it must come back to the calling thread, where the run turns it
    // into the out-of-memory message, with no index run twice.
    for (int threads : {1, 2, 4}) {
        std::vector<std::atomic<int>> runs(200);
        for (auto& r : runs) r = 0;
        bool caught = false;
        try {
            ParallelFor(200, threads, [&](int i) {
                ++runs[static_cast<size_t>(i)];
                if (i == 37) throw std::bad_alloc();
            });
        } catch (const std::bad_alloc&) {
            caught = true;
        }
        EXPECT_TRUE(caught) << threads << " threads";
        EXPECT_EQ(runs[37], 1) << threads << " threads";
        for (auto& r : runs) EXPECT_LE(r.load(), 1);
    }
    // Without a failure every index runs exactly once.
    std::vector<std::atomic<int>> runs(500);
    for (auto& r : runs) r = 0;
    ParallelFor(500, 3, [&](int i) { ++runs[static_cast<size_t>(i)]; });
    for (auto& r : runs) EXPECT_EQ(r.load(), 1);
}

TEST(LargeInput, LoadingTimeGrowsInProportionToTheFile) {
    WorkDir dir;
    const std::string large = GeneratedFasta(8u << 20, 12);
    const std::string small = large.substr(0, large.rfind('>', 2u << 20));  // whole records, about 2 MB
    dir.write("small.fa", small);
    dir.write("large.fa", large);
    const LoadCost a = Load(dir, "small.fa", true, 3);
    const LoadCost b = Load(dir, "large.fa", true, 3);
    ASSERT_GT(a.sequences, 1000);
    ASSERT_GT(b.sequences, 4 * a.sequences - 200);
    const double sizeRatio = static_cast<double>(large.size()) / static_cast<double>(small.size());
    const double timeRatio = b.seconds / a.seconds;
    // Proportional growth gives about 4 here; a loader that is quadratic in the
    // number of records or letters would give about 16.
    EXPECT_LT(timeRatio, 2.5 * sizeRatio) << "small " << a.seconds << " s, large " << b.seconds << " s";
}

TEST(LargeInput, TheStrandStoreStaysWithinAFewTimesTheFileSize) {
    WorkDir dir;
    const std::string text = GeneratedFasta(4u << 20, 13);
    dir.write("in.fa", text);
    const double size = static_cast<double>(text.size());
    // Per letter and strand the store keeps its code; per letter, a 2-bit
    // packed copy and, as this file is of mixed case and holds N, a case bit
    // and an N bit: about 2.5 bytes per letter with both strands (1.5 with
    // one), with some 200 bytes a record besides; the letters are about 95%
    // of the file.
    const LoadCost one = Load(dir, "in.fa", false, 1);
    EXPECT_LT(static_cast<double>(one.bytes), 1.8 * size);
    const LoadCost two = Load(dir, "in.fa", true, 1);
    EXPECT_LT(static_cast<double>(two.bytes), 2.75 * size);
    EXPECT_GT(static_cast<double>(two.bytes), 1.5 * static_cast<double>(one.bytes));
}

}  // namespace
