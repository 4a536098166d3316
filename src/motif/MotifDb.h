// Reading databases of known motifs (MEME minimal motif format, JASPAR
// format) into column probabilities, so that a found motif can be named after
// the known motif it resembles.
#ifndef QIRO_MOTIFDB_H
#define QIRO_MOTIFDB_H

#include <stdexcept>
#include <string>
#include <vector>

#include "motif/MotifCompare.h"

// One motif of a database: its identifier, its other name (may be empty), its
// columns (each normalised to sum to 1), and the file and line it starts at.
struct DbMotif {
    std::string id;
    std::string name;
    MotifColumns columns;
    std::string file;
    int line = 0;
};

// Why a database file cannot be read: the line (1-based; 0 when the fault is
// the file as a whole, such as holding no motif) and what is wrong there.
class MotifDbError : public std::runtime_error {
public:
    MotifDbError(int line, const std::string& reason) : std::runtime_error(reason), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// The motifs of one database file, given its text (already uncompressed).
// The format is recognised from the text: a line "MEME version <n>" makes it
// MEME minimal motif format; a first line that starts with '>' makes it JASPAR
// format (">ID name", then the rows of A, C, G and T, letters and brackets
// optional; a row U is the row T of an RNA matrix); a first line of numbers
// is a single JASPAR matrix without a header, named after the file. MEME rows may hold probabilities or counts:
// every row (MEME) or column (JASPAR) is divided by its sum. CRLF line ends
// are read as LF. Motifs of any width from 1 up are read. `file` is kept in
// each motif. Throws MotifDbError for anything that cannot be read: a row
// with the wrong number of values, a value that is not a number or is
// negative, w= disagreeing with the rows, an alphabet other than DNA or RNA
// (MEME's ALPHABET= ACGU, or a custom RNA-LIKE one, is read as DNA), JASPAR
// rows of different lengths, a column that sums to 0, a motif of width 0, a
// format that is neither, or a file with no motif.
std::vector<DbMotif> ParseMotifDatabase(const std::string& text, const std::string& file);

// The message that ends a run over a database that cannot be read, without
// its line end, e.g. "Error: the motif database f.meme, line 12: the value -1
// is negative. System aborted. ".
std::string MotifDbMessage(const std::string& file, const MotifDbError& error);

// The motifs of every file, in the order given (gzip-compressed files are read
// transparently). A motif id that occurs in more than one file is kept each
// time; its file tells them apart. A file that cannot be opened, read or
// parsed ends the run with its message (std::cout) and FatalExit(1).
std::vector<DbMotif> LoadMotifDatabases(const std::vector<std::string>& files);

#endif
