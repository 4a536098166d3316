// Extra outputs of a run, each asked for by its own option: the reported
// models in MEME minimal motif format, JASPAR format, their sites as BED, the
// whole result as JSON and as a self-contained HTML page; and the progress
// line on standard error.
#ifndef QIRO_OUTPUTS_H
#define QIRO_OUTPUTS_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "HtmlParts.h"
#include "Judge.h"
#include "Midlayer.h"
#include "ModelView.h"
#include "Settings.h"

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

void WriteMeme(std::ostream& out, const std::vector<ModelView>& models, const double background[4],
               bool doubleStrand);
void WriteJaspar(std::ostream& out, const std::vector<ModelView>& models);
void WriteBed(std::ostream& out, const std::vector<ModelView>& models);
void WriteJson(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models, const JudgedReport* judged = nullptr);
void WriteHtml(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models, const JudgedReport* judged = nullptr);

// Writes every output the settings name; a file that cannot be written gets a
// message on standard output and the others are still written. views: the
// reported models already made (and annotated); none: made here.
void WriteOutputs(const RunSettings& s, uint32_t seed, Midlayer* data, const std::vector<Individual>& population,
                  const JudgedReport* judged = nullptr, const std::vector<ModelView>* views = nullptr);

// One line on standard error, rewritten after every generation, while standard
// error is a terminal; silent otherwise.
class ProgressLine {
public:
    ProgressLine();
    void Update(int generation, int budget, double best, int stall);
    // Clears the line.
    void Finish();

private:
    bool enabled_;
    size_t shown_ = 0;
};

#endif
