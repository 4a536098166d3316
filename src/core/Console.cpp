#include "core/Console.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>
#include <streambuf>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool g_quiet = false;
Clock::time_point g_start;
size_t g_progressShown = 0;  // letters of the progress line on screen
bool g_terminal = false;
ProgressHook g_progressHook = nullptr;

void WipeProgress() {
    if (g_progressShown == 0) return;
    std::string blank = "\r" + std::string(g_progressShown, ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), stdout);
    std::fflush(stdout);
    g_progressShown = 0;
}

// The log of a judged run, read a line at a time. A warning or a note goes
// to standard error, once (the same warning may come from every search); an
// error goes there with every line after it, until the answer goes on (a
// fatal one ends the run at once). Other lines are dropped, the latest kept
// so that a run ended by a message without such a word still shows it.
class LogFilter : public LineBuffer {
public:
    // The answer went on: what came before belongs to no message now.
    void Answered() {
        inError_ = false;
        recent_.clear();
    }
    void Reset() {
        ClearLine();
        inError_ = false;
        seen_.clear();
        recent_.clear();
    }
    // The run is ending on a fatal condition: its message, unless said already.
    void Ending() {
        EndLine();
        if (!inError_)
            for (const std::string& l : recent_) std::fputs((l + "\n").c_str(), stderr);
        recent_.clear();
        std::fflush(stderr);
    }

protected:
    int sync() override {
        std::fflush(stderr);
        return 0;
    }

private:
    static bool StartsWith(const std::string& s, const char* word) {
        return s.compare(0, std::char_traits<char>::length(word), word) == 0;
    }

    void OnLine(const std::string& line) override {
        const std::string trimmed = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        if (StartsWith(trimmed, "Error") || StartsWith(trimmed, "ERROR") || StartsWith(trimmed, "Fatal"))
            inError_ = true;
        const bool warning = StartsWith(trimmed, "Warning") || StartsWith(trimmed, "Note");
        if (inError_ || (warning && seen_.insert(line).second)) {
            WipeProgress();
            std::fputs((line + "\n").c_str(), stderr);
        } else if (!warning) {
            if (recent_.size() == kRecent) recent_.erase(recent_.begin());
            recent_.push_back(line);
        }
    }

    static const size_t kRecent = 40;
    bool inError_ = false;
    std::set<std::string> seen_;
    std::vector<std::string> recent_;
};

// Standard output's own buffer, kept for Say() once std::cout is redirected.
std::streambuf* g_stdoutBuffer = nullptr;
// Made once and never destroyed: std::cout may still write through it while
// the program's static objects are torn down at exit.
LogFilter& Filter() {
    static LogFilter* filter = new LogFilter();
    return *filter;
}

// Say()'s stream: the answer, wiping a progress line before it is written.
class AnswerBuffer : public std::streambuf {
protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        Before();
        return Target()->sputc(static_cast<char>(c));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        Before();
        return Target()->sputn(s, n);
    }
    int sync() override { return Target()->pubsync(); }

private:
    static std::streambuf* Target() { return g_stdoutBuffer != nullptr ? g_stdoutBuffer : std::cout.rdbuf(); }
    static void Before() {
        WipeProgress();
        Filter().Answered();
    }
};

AnswerBuffer g_answerBuffer;
std::ostream g_answer(&g_answerBuffer);

}  // namespace

void QuietLog(bool verbose) {
    g_start = Clock::now();
    g_terminal = isatty(STDOUT_FILENO) == 1;
    if (verbose || g_quiet) return;
    g_quiet = true;
    std::cout.flush();
    g_stdoutBuffer = std::cout.rdbuf(&Filter());
}

void StopQuietLog() {
    if (!g_quiet) return;
    WipeProgress();
    std::cout.flush();
    std::cout.rdbuf(g_stdoutBuffer);
    g_stdoutBuffer = nullptr;
    g_quiet = false;
    Filter().Reset();
}

bool LogQuiet() { return g_quiet; }

void LogEnding() {
    if (!g_quiet) return;
    WipeProgress();
    Filter().Ending();
}

std::ostream& Say() { return g_quiet ? g_answer : std::cout; }

void Progress(const std::string& text) {
    if (g_progressHook != nullptr) {
        g_progressHook(text);
        return;
    }
    if (!g_quiet || !g_terminal) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.0f s)", RunSeconds());
    std::string line = "\r" + text + seconds;
    const size_t shown = line.size() - 1;
    if (shown < g_progressShown) line += std::string(g_progressShown - shown, ' ');
    g_answer.flush();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    g_progressShown = shown;
}

void ProgressDone() { WipeProgress(); }

ProgressHook SetProgressHook(ProgressHook hook) {
    ProgressHook previous = g_progressHook;
    g_progressHook = hook;
    return previous;
}

ProgressHook GetProgressHook() { return g_progressHook; }

double RunSeconds() {
    if (g_start == Clock::time_point()) return 0.0;
    return std::chrono::duration<double>(Clock::now() - g_start).count();
}
