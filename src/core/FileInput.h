// Reading input files: opening one by name, and reading it whole or piece by
// piece, gzip-compressed data coming back uncompressed.
#ifndef QIRO_FILEINPUT_H
#define QIRO_FILEINPUT_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// Opens a file for reading. One that cannot be opened, or a folder, ends the
// run with a message naming what the file is for (what: "Sequence", ...).
FILE* OpenInputFile(const std::string& name, const char* what);

// Reads the whole of an open file from its current position: gzip-compressed
// data (one or more members, as gzip and bgzip write) comes back uncompressed,
// anything else exactly as stored. False, with the reason in error, when the
// file cannot be read, its compressed data are damaged or cut short, or data
// that are not compressed follow them.
bool ReadWholeFile(FILE* file, std::string& text, std::string& error);
// The same, handing the data to sink piece by piece as they are read, so that
// a large file need not be held whole.
bool ReadFileChunks(FILE* file, const std::function<void(const char*, size_t)>& sink, std::string& error);

// Ends the run for a file that could not be read, saying what it is for, its
// name and why.
[[noreturn]] void FileReadFailed(const char* what, const std::string& name, const std::string& error);
// The whole file, through ReadWholeFile; a file that cannot be read ends the run.
std::string ReadWholeFileOrExit(FILE* file, const char* what, const std::string& name);

// Text files hold no NUL byte: a FASTA file that does is something else (a
// binary file, a compressed format other than gzip). Fed a file's bytes
// piece by piece, in order, it finds the first NUL and says on which line.
class TextCheck {
public:
    // False from the first piece holding a NUL on.
    bool Feed(const char* piece, size_t n);
    bool Ok() const { return line_ == 0; }
    // "line <n> holds a NUL byte: not a text file" (empty while Ok()).
    std::string Error() const;

private:
    long long lines_ = 0;  // line breaks before the current piece
    long long line_ = 0;   // the line holding the first NUL; 0: none
};

#endif
