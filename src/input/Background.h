// The background model: the records of a frequency file, the flat table of
// its words of one to four letters, and the third-order Markov probability of
// a word read from the two.
#ifndef QIRO_BACKGROUND_H
#define QIRO_BACKGROUND_H

#include <cstdint>
#include <map>
#include <string>

#include "core/Constants.h"

// Entries of the dense table: every word of one to four letters over A, C, G,
// T, at offsets 0, 4, 20, 84 by length, then by the words' 2-bit codes.
const int kDenseWords = 340;

// What the settings (the console line, JSON and HTML) name as the background
// of a run without -freq, counted from its own sequences.
const char kCountedBackground[] = "counted from the input";

// Reads the "index word value" records of a frequency file's text: every
// word's value into listed (a later record of a word replaces an earlier one),
// the upper-case single letters A, C, G, T also into baseFreq by base. A record
// that does not read as an integer, a word and a number, a value outside 0..1,
// or a base without a record or with the value 0 ends the run; fileName names
// the file in the messages.
void ReadFreqRecords(const std::string& text, const std::string& fileName, std::map<std::string, double>& listed,
                     double baseFreq[B]);
// Warns when some of the words of two to four letters over A, C, G, T are not
// listed (they count as 0).
void WarnMissingWords(const std::map<std::string, double>& listed, const std::string& fileName);
// The dense table of the listed words over upper-case A, C, G, T; every other
// entry 0.
void BuildDenseTable(const std::map<std::string, double>& listed, double (&dense)[kDenseWords]);

// A run's background tables, as the probabilities read them.
struct BackgroundTables {
    const std::map<std::string, double>& listed;  // every word the file gave, as written
    const double* dense;                          // kDenseWords entries, from BuildDenseTable

    // Value of one background word (letters as stored; case does not matter).
    double Word(const char* w, int len) const;
    // Third-order Markov probability of the k letters at w: B(w0) B(w0w1)
    // B(w0w1w2) B(w0..w3) and then every further four-letter window.
    double Prob(const char* w, int k) const;
    // The same for k letters given by their codes (kBaseCode, BASE_NONE for N).
    double Prob(const uint8_t* codes, int k) const;
};

#endif
