// Prior knowledge given as a motif matrix rather than as sites: a -pk file in
// MEME minimal or JASPAR format (told apart from a site file by its content),
// or "FILE:ID" naming one motif of a database. The matrix gives the width and,
// through sites drawn from it, the search's known sites.
#ifndef QIRO_KNOWNMATRIX_H
#define QIRO_KNOWNMATRIX_H

#include <cstdint>
#include <string>
#include <vector>

#include "motif/MotifDb.h"

// Sites drawn from a matrix for the search: as many as a typical known-site
// file holds.
const int kMatrixSites = 20;

// Whether a -pk file's text is a motif matrix file: a line "MEME version", or
// a first non-blank line that starts with '>' (a JASPAR header). A site file
// holds neither; anything else is read as a site file, as it always was.
bool LooksLikeMatrixFile(const std::string& text);

// A -pk value as a file and a motif ID: the value itself when a file of that
// name exists or it holds no ':'; else the part before the last ':' and the ID
// after it.
void SplitMatrixPath(const std::string& value, std::string& file, std::string& id);

// The motif a -pk matrix file names: the one motif of the file when id is
// empty, else the motif with that ID. A file of several motifs and no ID, or
// an ID the file lacks, ends the run with a message naming the file and the
// first (or closest) IDs; a file that cannot be read ends it with its line and
// reason.
DbMotif KnownMotif(const std::string& text, const std::string& file, const std::string& id);

// `count` sites drawn from the matrix, each letter from its column's shares,
// upper case (random stage kStageMatrixSites of the run's seed).
std::vector<std::string> SitesFromMatrix(const DbMotif& motif, int count, uint32_t seed);

#endif
