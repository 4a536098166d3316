// How a run ends when things go wrong: the one exit path of fatal conditions,
// interruption by signals, and output files that appear whole or not at all.
#ifndef QIRO_ROBUST_H
#define QIRO_ROBUST_H

#include <fstream>
#include <ostream>
#include <string>

// ---------------------------------------------------------------- fatal exit

// Every fatal condition, after printing its message, ends the process through
// FatalExit. A program that drives the loaders in-process (a fuzzing harness)
// may install a handler, which must not return (it unwinds to its caller);
// without one, FatalExit removes unfinished output files and calls
// std::exit(status).
using FatalHandler = void (*)(int status);
FatalHandler SetFatalHandler(FatalHandler handler);  // returns the previous handler
[[noreturn]] void FatalExit(int status);

// ---------------------------------------------------------------- interruption

// From this call on, SIGINT, SIGTERM and SIGHUP end the process promptly with
// status 128 + the signal number (130, 143, 129): standard output is flushed,
// one line names the signal, and every output file still being written is
// removed, so no partial result is left behind. Call it before any other
// thread is started (the signals are blocked in the calling thread and in
// every thread it starts later; one watcher thread receives them).
void CatchInterruptions();
// Stops the watcher thread (at the normal end of the program).
void StopCatchingInterruptions();

// ---------------------------------------------------------------- whole files

// An output file that is written to a temporary file in the same folder and
// renamed over its final name only when it is complete, so a reader (or an
// interrupted run) sees either the previous file or the new one, never a part.
// Names that are not regular files (a terminal, /dev/null, a pipe) are written
// directly; a symbolic link is followed.
// Whether a file of this name could be written, checked without touching
// it: an existing file must be writable (and not a folder); a new one needs a
// folder that takes a file, which a temporary file made and removed there
// shows. A run checks its outputs so before any long work.
bool CanWrite(const std::string& name);

class WholeFile {
public:
    WholeFile() = default;
    ~WholeFile();  // removes the temporary file unless committed
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // False when the file cannot be written: its folder is missing or not
    // writable, the name is a folder, or an existing file is not writable.
    bool Open(const std::string& name);
    std::ostream& stream() { return out_; }
    // Flushes and puts the file in place; false (and nothing left behind) when
    // a write failed or the file cannot be put in place.
    bool Commit();
    // Drops the temporary file.
    void Discard();

private:
    std::ofstream out_;
    std::string target_;  // the name the file gets when it is complete
    std::string temp_;    // the temporary file; empty when writing directly
    bool open_ = false;
};

#endif
