// The reported models in JASPAR's count-matrix format: a header line, then
// one row of letter counts per letter.
#ifndef QIRO_JASPARFORMAT_H
#define QIRO_JASPARFORMAT_H

#include <ostream>
#include <vector>

#include "report/ModelView.h"

void WriteJaspar(std::ostream& out, const std::vector<ModelView>& models);

#endif
