// Reading FASTA files into forward strands: the text is split into records
// as it is read, piece by piece, so that it is never held whole.
#ifndef QIRO_FASTAREADER_H
#define QIRO_FASTAREADER_H

#include <cstdio>
#include <string>
#include <vector>

#include "input/Sequences.h"

// Appends a forward strand for every record of an open FASTA file, read from
// its current position (gzip-compressed or plain). A record starts at every
// '>' met outside a header line: its name is the header's first word, and its
// letters are every non-blank character up to the next '>', whatever the line
// breaks (A, C, G, T kept in their case, U and u of RNA read as T and t,
// anything else read as N). rnaLetters, when given, gets the count of U and u
// read. False, with the reason in error, when the file cannot be read.
bool ReadFastaRecords(FILE* file, std::vector<SeqRecord>& records, std::string& error,
                      long long* rnaLetters = nullptr);

// The console line that says how many letters U and u of a file were read as
// T and t (said once per file, and only when there were any, so that a DNA
// run's console is unchanged).
std::string RnaLettersNote(long long rnaLetters, const std::string& fileName);

#endif
