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

#include "DbMatch.h"
#include "Individual.h"
#include "Midlayer.h"
#include "SitePositions.h"

struct RunSettings;
struct JudgedReport;

// File names of the extra outputs; an empty name asks for nothing.
struct OutputFiles {
    std::string meme;
    std::string jaspar;
    std::string bed;
    std::string json;
    std::string html;

    // The field of an option word (-meme, -jaspar, -bed, -json, -html), or null.
    std::string* Named(const std::string& word);
};

// One reported site.
struct SiteView {
    std::string sequence;        // name of its sequence
    int length = 0;              // length of its sequence
    bool forward = true;         // on the sequence as given (else on its reverse complement)
    int start = 0;               // 0-based start on the sequence as given
    std::string forwardLetters;  // the sequence's letters at start .. start + width - 1
    std::string letters;         // the letters as they align to the motif (on the site's strand)
    double score = 0.0;          // the site's mismatch score
};

// One reported model, in the form every writer uses.
struct ModelView {
    int rank = 0;                // 1 for the first model of the report
    std::string id;              // "QIRO-<rank>"
    std::string consensus;
    int width = 0;
    int nsites = 0;
    double mismatch = 0.0;
    double ic = 0.0;
    double complexity = 0.0;
    double maps = 0.0;           // 0 when post-processing did not run
    // Runs with -evalue: the judge's verdict.
    bool judged = false;
    std::string evalue;          // as the result file writes it
    double log10e = 0.0;
    double log10p = 0.0;         // held-back p-value
    double threshold = 0.0;      // site threshold (log-odds, bits)
    int search = 0;              // the search that found it, from 1
    std::string seedWord;        // the word that seeded that search; empty: none
    std::vector<std::vector<double>> counts;  // [A, C, G, T][column]: letter counts of the sites
    std::vector<SiteView> sites;
    // Runs with -db: the best database matches, each with the database
    // motif's columns as aligned (reverse-complemented for a reverse match).
    bool named = false;
    std::vector<MotifMatch> matches;
    std::vector<MotifColumns> matchColumns;
    // Runs with -db or -evalue: where the sites sit in their sequences.
    bool placed = false;
    SitePositions positions;

    // Letter shares per column: the counts over the column's total.
    std::vector<std::vector<double>> Probabilities() const;
};

// The first (at most) five models of the population, in report order, with
// their sites as the result file lists them; with judged, every model, each
// at its own width, with its verdict.
std::vector<ModelView> ReportedModels(Midlayer* data, const std::vector<Individual>& population,
                                      const JudgedReport* judged = nullptr);

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

// Shared by the HTML writers: text made safe for HTML, a number in the
// stream's default format, and a sequence logo of letter shares share[b][j]
// (labels: a number under each column, 0 for none; empty: 1, 2, ...).
std::string HtmlEscape(const std::string& s);
std::string Plain(double v);
std::string LogoSvg(const std::vector<std::vector<double>>& share, const std::string& orientation,
                    const std::string& title, const std::vector<int>& labels = {});

void WriteMeme(std::ostream& out, const std::vector<ModelView>& models, const double background[4],
               bool doubleStrand);
void WriteJaspar(std::ostream& out, const std::vector<ModelView>& models);
void WriteBed(std::ostream& out, const std::vector<ModelView>& models);
void WriteJson(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models, const JudgedReport* judged = nullptr);
void WriteHtml(std::ostream& out, const RunSettings& s, uint32_t seed, Midlayer* data,
               const std::vector<ModelView>& models);

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
