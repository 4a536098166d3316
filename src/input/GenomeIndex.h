// Whether a genome's faidx index (.fai, and .gzi for bgzip) still fits the
// genome: an index left beside a genome that was rewritten since would have
// every window read at the wrong bytes, silently. The check is cheap (a few
// byte reads per record): each record's first line ends where the index says,
// its last letter lies where its length says, and between one record's
// letters and the next record's only a line end and the next record's header
// line stand (so a record the index lacks shows too).
#ifndef QIRO_GENOMEINDEX_H
#define QIRO_GENOMEINDEX_H

#include <string>
#include <vector>

// One line of a .fai: where a record's letters lie in the genome file.
struct FaiRecord {
    std::string name;
    long long length = 0;     // letters
    long long offset = 0;     // byte of the first letter (of the uncompressed text)
    long long lineBases = 0;  // letters per line
    long long lineWidth = 0;  // bytes per line, line end included
};

// The records of a .fai's text. False, with what is wrong, when it holds
// none or a line is not five or six tab-separated fields of whole numbers.
bool ReadFai(const std::string& text, std::vector<FaiRecord>& records, std::string& error);

// What the check found.
struct IndexFit {
    bool fits = true;
    std::string why;        // when it does not fit: "older than it", "empty", ...
    std::string dropped;    // the name of a record found in the genome but left out of the index
};

// Checks the index files `fai` (and `gzi`, empty for a plain genome) against
// the genome at `path` (plain or bgzip).
IndexFit CheckIndex(const std::string& path, const std::string& fai, const std::string& gzi);

#endif
