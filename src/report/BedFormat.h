// The reported sites as BED, one line per site: on the genome when the
// sequence names say where they lie ("chrom:start-end"), else on the
// sequences by name, so genome browsers and bedtools take them as they are.
#ifndef QIRO_BEDFORMAT_H
#define QIRO_BEDFORMAT_H

#include <ostream>
#include <string>
#include <vector>

#include "report/ModelView.h"

// Where a sequence named "chrom:start-end" (optionally followed by "(+)" or
// "(-)") lies in its genome: the name's numbers are read as 0-based half-open
// when end - start is the sequence's length, as 1-based inclusive when
// end - start + 1 is; any other name or length is not a genomic region.
struct GenomicRegion {
    std::string chrom;
    long start = 0;      // 0-based start of the sequence's first letter
    bool minus = false;  // the sequence is the reverse complement of the region
};
bool ParseRegionName(const std::string& name, int length, GenomicRegion& region);

// The sites of every model; a site's name column is its model's rank.
void WriteBed(std::ostream& out, const std::vector<ModelView>& models);

#endif
