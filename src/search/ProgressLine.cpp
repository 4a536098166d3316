#include "search/ProgressLine.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/Console.h"

// A judged run that holds its log back draws its own progress line, of the
// searches, on standard output; a program with a progress hook
// (core/Console.h) is given each generation's text instead.
ProgressLine::ProgressLine()
    : enabled_(isatty(STDERR_FILENO) == 1 && !LogQuiet() && GetProgressHook() == nullptr) {}

void ProgressLine::Update(int generation, int budget, double best, int stall) {
    if (!enabled_ && GetProgressHook() == nullptr) return;
    char text[160];
    int n = std::snprintf(text, sizeof text, "generation %d/%d  best mismatch %g  stall %d", generation, budget, best,
                          stall);
    if (n < 0) return;
    if (!enabled_) {  // a program that takes the progress itself
        Progress(text);
        return;
    }
    std::string line = "\r" + std::string(text);
    if (static_cast<size_t>(n) < shown_) line += std::string(shown_ - static_cast<size_t>(n), ' ');
    shown_ = static_cast<size_t>(n);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Finish() {
    if (!enabled_ || shown_ == 0) return;
    std::string line = "\r" + std::string(shown_, ' ') + "\r";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = 0;
}
