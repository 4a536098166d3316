// The reported run in the one form every writer reads: each model's
// consensus, counts, verdict, database matches and sites as they lie on the
// sequences given (ModelView), and what the writers need of the run itself
// (RunView). Made once per report (report/ReportedModels.h); the writers
// never see the data layer or the population.
#ifndef QIRO_MODELVIEW_H
#define QIRO_MODELVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "judge/Judge.h"
#include "known/DbMatch.h"
#include "known/SitePositions.h"

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
    // The log-odds that called the sites (logOdds[b][j], bits), the letter
    // shares and the pseudocount per column they were built with; the refits
    // that made it, and whether counts are the sites' own letters (settled)
    // or, after the last refit, still those of the sites before.
    std::vector<std::vector<double>> logOdds;
    double background[4] = {0.25, 0.25, 0.25, 0.25};
    double pseudocount = 0.0;
    int refits = 0;
    bool settled = true;
    bool given = false;  // the motif of the known sites (-pk), reported whatever its E-value
    CallEstimate estimate;  // of a given motif: the rule's estimated recall and false calls
    bool modelCalls = false;  // sites called by a mixture fitted to the input (siteFit), not at `threshold`
    SiteModelFit siteFit;
    bool refined = false;     // the fitted model refined by soft EM (em) called the sites
    SoftEmFit em;
    int search = 0;              // the search that found it, from 1
    std::string seedWord;        // the word or window consensus that seeded that search; empty: none
    std::string seedKind;        // "word" or "consensus"; empty: none
    // [A, C, G, T][column]: letter counts of the sites; of a judged model, those
    // of the matrix that called them.
    std::vector<std::vector<double>> counts;
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

struct RunSettings;

// What the writers read of the run beside its models.
struct RunView {
    const RunSettings* settings = nullptr;
    uint32_t seed = 0;
    int sequences = 0;  // input sequences
    int width = 0;      // the search's width (-k, or the known sites'); judged models each have their own
    double background[4] = {0.25, 0.25, 0.25, 0.25};  // letter frequencies as loaded, A C G T
    bool doubleStrand = true;
    const JudgedReport* judged = nullptr;  // runs with -evalue: the judge's account
    const double* backgroundWords = nullptr;  // the Markov background's words (kDenseWords), as the run reads them
};

#endif
