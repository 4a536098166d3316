// The search's progress on standard error: one line, rewritten after every
// generation, so that a long search shows it is alive. Silent when standard
// error is not a terminal, so logs and captured output stay clean.
#ifndef QIRO_PROGRESSLINE_H
#define QIRO_PROGRESSLINE_H

#include <cstddef>

// One line on standard error, rewritten after every generation, while standard
// error is a terminal; silent otherwise.
class ProgressLine {
public:
    ProgressLine();
    // Cleared also when a search that cannot go on unwinds past it.
    ~ProgressLine() { Finish(); }
    void Update(int generation, int budget, double best, int stall);
    // Clears the line.
    void Finish();

private:
    bool enabled_;
    size_t shown_ = 0;
};

#endif
