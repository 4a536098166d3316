// Building a background frequency file from sequences (the qiro-freq tool).
#ifndef QIRO_FREQTOOL_H
#define QIRO_FREQTOOL_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Counts of every word of one to four letters over A, C, G, T, indexed like the
// dense background table: offset 0, 4, 20, 84 by length, then the 2-bit codes.
struct WordCounts {
    std::vector<double> count = std::vector<double>(340, 0.0);

    // Counts the words of one text (FASTA letters, any case); letters other than
    // A, C, G, T break words. With bothStrands the reverse complement counts too.
    void AddSequence(const std::string& letters, bool bothStrands);
    // Counts every record of a FASTA text; header lines are skipped.
    void AddFasta(const std::string& text, bool bothStrands);
    // Writes "index word value" records: single letters as frequencies, longer
    // words as the probability of their last letter after the letters before it.
    void Write(std::ostream& out, double pseudocount) const;
};

int FreqToolMain(int argc, char** argv);

#endif
