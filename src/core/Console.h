// What a run says on the console. A plain run logs every step on standard
// output, as it always has. A judged run (-evalue) keeps standard output for
// the answer: Say() reaches it, while the log of each search written to
// std::cout is held back (or, with -verbose, passed through), its warnings
// and errors going to standard error, each once. On a terminal a long stage
// shows one progress line, redrawn in place and wiped before the next line.
#ifndef QIRO_CONSOLE_H
#define QIRO_CONSOLE_H

#include <ostream>
#include <streambuf>
#include <string>

// A stream buffer that hands what is written to it on a line at a time
// (without its line end): the judged run's log filter, and any caller that
// captures the log. PassOn sees every character first, as it comes.
class LineBuffer : public std::streambuf {
protected:
    virtual void OnLine(const std::string& line) = 0;
    virtual void PassOn(char) {}
    // The line begun and not yet ended, handed on now (at the end of a run).
    void EndLine() {
        if (line_.empty()) return;
        const std::string line = line_;
        line_.clear();
        OnLine(line);
    }
    void ClearLine() { line_.clear(); }
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        PassOn(static_cast<char>(c));
        if (c == '\n') {
            const std::string line = line_;
            line_.clear();
            OnLine(line);
        } else {
            line_.push_back(static_cast<char>(c));
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(s[i]));
        return n;
    }

private:
    std::string line_;
};

// From this call on (a judged run's start), lines written to std::cout are
// the log: dropped, their warnings and errors written to standard error
// once each; with verbose, passed to standard output as before.
void QuietLog(bool verbose);
// Gives std::cout its own buffer back (a program running several runs in
// one process, or a test).
void StopQuietLog();
// Whether the log is held back (QuietLog without verbose).
bool LogQuiet();
// The run ends on a fatal condition: while the log is held back, its last
// lines go to standard error unless an error line has said it already.
void LogEnding();

// The stream of the answer: standard output, whatever the log does.
std::ostream& Say();

// A progress line of a long stage on standard output, when it is a terminal
// and the log is held back: "text" redrawn in place, with the seconds since
// the stage began. Cleared by the next Say() line or by ProgressDone().
void Progress(const std::string& text);
void ProgressDone();

// A program that runs the engine in its own process (the Python module) takes
// the progress itself: with a hook set, every Progress text and every
// generation of a search (search/ProgressLine.h) goes to it and nothing is
// drawn. The hook is called on the thread that runs the stage, and may throw
// to stop the run (the run unwinds as it does from FatalExit's handler).
// Returns the previous hook; null (the programs) draws as above.
using ProgressHook = void (*)(const std::string& text);
ProgressHook SetProgressHook(ProgressHook hook);
ProgressHook GetProgressHook();

// Seconds since QuietLog was called (0 before).
double RunSeconds();

#endif
