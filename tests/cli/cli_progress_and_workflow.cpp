// The progress line on a terminal, and the Snakemake workflow that runs both programs over many sets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"
#include "output_fixture.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;
using outtest::Fields;
using outtest::HaveCommand;
using outtest::Lines;
using outtest::ParseReport;
using outtest::ReportModel;
using outtest::StableOutput;
using outtest::WriteGz;

// ------------------------------------------------------------- progress line

// Runs qiro in the folder with standard error on a new pseudo-terminal and
// standard output into the file "tty.out"; returns what the terminal received.
std::string RunWithTerminal(const WorkDir& dir, const std::vector<std::string>& args, int& status) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return "";
    }
    const std::string slave = ptsname(master);
    std::vector<std::string> words = {QIRO_BIN};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int tty = open(slave.c_str(), O_RDWR | O_NOCTTY);
        if (tty < 0 || chdir(dir.path().c_str()) != 0) _exit(126);
        int out = open("tty.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(tty, 2);
        close(master);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string seen;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) {
            seen.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EIO: the program closed its end
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    close(master);
    return seen;
}

TEST(CliOutputsProgress, NoProgressWhenStandardErrorIsNotATerminal) {
    WorkDir dir;
    dir.write("in.fa", planted::Make(planted::Options{}).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    Result r = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 20 -g 12 -seed 1 -o r.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("generation "), std::string::npos);
}

TEST(CliOutputsProgress, TerminalShowsGenerationBestMismatchAndStall) {
    WorkDir dir;
    dir.write("in.fa", planted::Make(planted::Options{}).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    const std::vector<std::string> args = {"-i", "in.fa", "-freq", "bg.freq", "-k", "10", "-p", "20",
                                           "-g", "12",    "-seed", "1",       "-post", "F", "-o", "tty.res"};
    int status = -1;
    const std::string terminal = RunWithTerminal(dir, args, status);
    ASSERT_EQ(status, 0) << dir.read("tty.out");

    // Each update rewrites the line from its start; the last one clears it.
    std::vector<std::string> parts = Fields(terminal, '\r');
    ASSERT_GE(parts.size(), 3u) << terminal;
    EXPECT_EQ(parts.front(), "");
    EXPECT_EQ(terminal.back(), '\r');
    EXPECT_EQ(parts.back().find_first_not_of(' '), std::string::npos);
    std::regex update("generation (\\d+)/12  best mismatch (\\S+)  stall (\\d+) *");
    int previousStall = -1;
    std::string previousBest, best;
    int generations = 0;
    for (size_t i = 1; i + 1 < parts.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(parts[i], m, update)) << "[" << parts[i] << "]";
        EXPECT_EQ(std::stoi(m[1]), generations + 1);
        generations = std::stoi(m[1]);
        const int stall = std::stoi(m[3]);
        best = m[2];
        // The stall count grows by one while the best score stays, else starts again.
        if (stall > 0) {
            EXPECT_EQ(stall, previousStall + 1);
            EXPECT_EQ(best, previousBest);
        } else if (!previousBest.empty()) {
            EXPECT_NE(best, previousBest);
        }
        previousStall = stall;
        previousBest = best;
    }
    const std::string out = dir.read("tty.out");
    EXPECT_NE(out.find("Finish the GA process after " + std::to_string(generations) + " generations."),
              std::string::npos);
    // The last best mismatch is the top model's score (no post-processing).
    const std::vector<ReportModel> report = ParseReport(dir.read("tty.res"));
    ASSERT_FALSE(report.empty());
    std::ostringstream shown;
    shown << report[0].mismatch;
    EXPECT_EQ(best, shown.str());

    // Standard output is what it is without a terminal.
    Result plain = dir.qiro("-i in.fa -freq bg.freq -k 10 -p 20 -g 12 -seed 1 -post F -o tty.res");
    EXPECT_EQ(StableOutput(out), StableOutput(plain.out));
}

// ------------------------------------------------------------- Snakemake workflow

TEST(CliOutputsWorkflow, SnakemakeRunsEverySetAndGathersTheMotifs) {
    if (!HaveCommand("snakemake")) GTEST_SKIP() << "no snakemake (make deps installs Debian's snakemake)";
    WorkDir dir;
    std::filesystem::create_directories(dir.path() / "data");
    planted::Options o;
    o.sequences = 6;
    o.length = 60;
    o.motif = "TTGACGCA";
    const std::string one = planted::Make(o).fasta;
    o.seed = 2;
    o.motif = "CCATGGAT";
    const std::string two = planted::Make(o).fasta;
    dir.write("data/one.fa", one);
    WriteGz(dir, "data/two.fasta.gz", {two});
    dir.write("data/notes.txt", "not a FASTA file\n");
    const std::string options = "-k 8 -p 20 -g 10 -seed 1";
    Result r = dir.run("snakemake", "-s '" + std::string(QIRO_SOURCE_DIR) +
                                        "/workflows/Snakefile' --cores 1 --quiet --config input_dir=data "
                                        "output_dir=results qiro='" QIRO_BIN "' qiro_freq='" QIRO_FREQ_BIN
                                        "' 'qiro_options=" + options + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Each set's MEME file is that of a direct run with the same options.
    std::string gathered;
    std::vector<std::vector<double>> backgrounds;
    for (const std::string set : {"one", "two"}) {
        const std::string fasta = set == "one" ? "data/one.fa" : "data/two.fasta.gz";
        Result f = dir.qiroFreq("-o " + set + ".freq " + fasta);
        ASSERT_EQ(f.status, 0) << f.err;
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".freq"), dir.read(set + ".freq"));
        Result q = dir.qiro("-i " + fasta + " -freq " + set + ".freq -o " + set + ".out -meme " + set + ".meme " +
                            options);
        ASSERT_EQ(q.status, 0) << q.out;
        const std::string meme = dir.read(set + ".meme");
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".meme"), meme);
        EXPECT_EQ(dir.read("results/" + set + "/" + set + ".qiro.out"), dir.read(set + ".out"));
        // Its motifs, renamed <set>.<id>, in the gathered file's order.
        const std::vector<std::string> lines = Lines(meme);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind("Background letter frequencies", 0) == 0) {
                std::istringstream in(lines[i + 1]);
                std::string letter;
                std::vector<double> bg(4);
                in >> letter >> bg[0] >> letter >> bg[1] >> letter >> bg[2] >> letter >> bg[3];
                backgrounds.push_back(bg);
            }
            if (lines[i].rfind("MOTIF QIRO-", 0) == 0) {
                gathered += "MOTIF " + set + "." + lines[i].substr(6) + "\n";
                for (size_t k = i + 1; k < lines.size(); ++k) {
                    gathered += lines[k] + "\n";
                    if (lines[k].empty()) break;
                }
            }
        }
    }
    ASSERT_EQ(backgrounds.size(), 2u);
    char bgLine[120];
    double mean[4], total = 0;
    for (int b = 0; b < 4; ++b) total += mean[b] = (backgrounds[0][b] + backgrounds[1][b]) / 2;
    std::snprintf(bgLine, sizeof bgLine, "A %.6f C %.6f G %.6f T %.6f", mean[0] / total, mean[1] / total,
                  mean[2] / total, mean[3] / total);
    const std::string expected = "MEME version 4\n\nALPHABET= ACGT\n\nstrands: + -\n\n"
                                 "Background letter frequencies\n" +
                                 std::string(bgLine) + "\n\n" + gathered;
    EXPECT_EQ(dir.read("results/all_motifs.meme"), expected);
    // Every set contributes its models (post-processing may have merged some).
    for (const char* set : {"\nMOTIF one.QIRO-1 ", "\nMOTIF two.QIRO-1 "})
        EXPECT_NE(expected.find(set), std::string::npos) << set;
    EXPECT_FALSE(dir.exists("results/notes"));
}

}  // namespace
