// Building a background frequency file from sequences (the qiro-freq tool).
#ifndef QIRO_FREQTOOL_H
#define QIRO_FREQTOOL_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct SeqRecord;

// The pseudocount qiro-freq adds to every word unless -p says otherwise, and
// the one a run without -freq counts its background with.
const double kDefaultPseudocount = 1.0;

// Counts of every word of one to four letters over A, C, G, T, indexed like the
// dense background table: offset 0, 4, 20, 84 by length, then the 2-bit codes.
struct WordCounts {
    std::vector<double> count = std::vector<double>(340, 0.0);
    // Lower-case (soft-masked) letters break words too (-mask), so that a
    // background is counted from the unmasked part.
    bool softMask = false;
    // Letters U and u counted (RNA), which count as T and t.
    long long rnaLetters = 0;

    // Counts the words of one text (FASTA letters, any case; U as T); letters
    // other than A, C, G, T, U break words. With bothStrands the reverse complement counts too.
    void AddSequence(const std::string& letters, bool bothStrands);
    // Counts every record of a FASTA text; header lines are skipped.
    void AddFasta(const std::string& text, bool bothStrands);
    // Writes "index word value" records: single letters as frequencies, longer
    // words as the probability of their last letter after the letters before it.
    void Write(std::ostream& out, double pseudocount) const;
};

// Turns the text of a MEME background model file (joint probabilities of words
// of one letter up to order + 1 letters) into the 340 values of a background
// frequency file, indexed like WordCounts::count: single letters as given,
// longer words as P(word) / P(word without its last letter), and words longer
// than the model's order + 1 conditioned on their last order letters only.
// False, with the reason in error, when the text is not such a file.
bool ConvertMemeBackground(const std::string& text, std::vector<double>& table, std::string& error);

// The text of a background frequency file counted from forward strands 0 ..
// numSeq - 1 of a strand store, exactly as qiro-freq counts a FASTA file of
// the same sequences with the default pseudocount: letters masked by -mask or
// -dust break words as letters other than A, C, G, T do, so that the
// background describes the letters a site may hold.
std::string CountedBackground(const std::vector<SeqRecord>& seqs, int numSeq, bool bothStrands);

int FreqToolMain(int argc, char** argv);

#endif
