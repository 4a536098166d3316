// The reported models in MEME's minimal motif format, which MEME suite tools
// (Tomtom, FIMO, SEA) and most motif libraries read.
#ifndef QIRO_MEMEFORMAT_H
#define QIRO_MEMEFORMAT_H

#include <ostream>
#include <vector>

#include "report/ModelView.h"

// background: the letter frequencies (A C G T, normalised here);
// doubleStrand: the strands line says both.
void WriteMeme(std::ostream& out, const std::vector<ModelView>& models, const double background[4],
               bool doubleStrand);

#endif
