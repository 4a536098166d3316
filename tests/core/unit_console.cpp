// A judged run's console in-process: the log held back, warnings and notes on
// standard error once each, an error with the lines that follow it, and a
// fatal message without the word Error still shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "core/Console.h"

namespace {

// Standard output and standard error caught in files while it lives.
class Caught {
public:
    Caught() {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        dup2(fileno(out_), 1);
        dup2(fileno(err_), 2);
    }
    ~Caught() { Restore(); }
    void Restore() {
        if (savedOut_ < 0) return;
        std::cout.flush();
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        savedOut_ = savedErr_ = -1;
        out = Read(out_);
        err = Read(err_);
    }
    std::string out, err;

private:
    static std::string Read(FILE* f) {
        std::string text;
        std::rewind(f);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        std::fclose(f);
        return text;
    }
    int savedOut_ = -1, savedErr_ = -1;
    FILE* out_ = nullptr;
    FILE* err_ = nullptr;
};

TEST(ConsoleLog, TheLogIsHeldBackAndItsProblemsSaidOnce) {
    Caught c;
    QuietLog(false);
    std::cout << "Start GA:\n" << "Warning: a short sequence\n" << "Note: a note\n";
    Say() << "Motif 1 found\n";
    std::cout << "Warning: a short sequence\n" << "Error: Cannot write the JSON file\n" << "its detail\n";
    Say() << "Motifs reported\n";
    std::cout << "Finish the GA process\n" << std::flush;
    StopQuietLog();
    std::cout << "a plain line\n";
    c.Restore();
    EXPECT_EQ(c.out, "Motif 1 found\nMotifs reported\na plain line\n");
    EXPECT_EQ(c.err, "Warning: a short sequence\nNote: a note\nError: Cannot write the JSON file\nits detail\n");
}

TEST(ConsoleLog, AFatalMessageWithoutTheWordErrorIsStillShown) {
    Caught c;
    QuietLog(false);
    Say() << "Input read\n";
    std::cout << "Sequences in Pri-knowledege file have different lengths\nSystem aborted. \n";
    LogEnding();
    StopQuietLog();
    c.Restore();
    EXPECT_EQ(c.out, "Input read\n");
    EXPECT_EQ(c.err, "Sequences in Pri-knowledege file have different lengths\nSystem aborted. \n");
}

TEST(ConsoleLog, VerboseLeavesTheLogOnStandardOutput) {
    Caught c;
    QuietLog(true);
    std::cout << "Start GA:\n" << "Warning: w\n";
    Say() << "answer\n";
    c.Restore();
    EXPECT_FALSE(LogQuiet());
    EXPECT_EQ(c.out, "Start GA:\nWarning: w\nanswer\n");
    EXPECT_EQ(c.err, "");
}

}  // namespace
