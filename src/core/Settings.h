// The settings of one run as the command line leaves them and the defaults of
// the judged run's searches. Every driver and writer reads the settings from
// here; only the option parser writes them (cli/), and cli/SettingsEcho.h
// echoes them on the console.
#ifndef QIRO_SETTINGS_H
#define QIRO_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/Constants.h"

// Letters of the sample the searches of -evalue run on, unless -searchsize
// says otherwise; the judge and the site calls use every sequence. Half of
// MEME's default sample size: on 5,000 peaks it found the same motifs at a
// third of the time of 100,000 (docs/measurements/accuracy-evalue.md).
const long long kDefaultSearchSize = 50000;
// Enriched words kept per width unless -words says otherwise: five, the number the
// measurements in docs/measurements/accuracy-evalue.md were made with (ten added nothing).
const int kDefaultWords = 5;

// The searches of -evalue: their population unless -p is given (a plain
// run's: 600); and the generations without a better best model after which
// a search from an enriched word ends (every other search: 100). A search
// from a word starts near its motif; one from random starts needs its
// hundred on small inputs (docs/measurements/accuracy-evalue.md).
const int kEvaluePopulation = 300;
const int kWordSearchStall = 30;
// The generations a search of -evalue may run, unless -g is given: as many
// as kSearchWork letter-generations allow over the letters it searches
// (240 on the default sample of 50,000), never fewer than
// kMinSearchGenerations nor more than a plain run's. On a larger sample a
// search from random starts keeps finding slightly better models for
// longer, so its time grew with the sample while the motifs it found did
// not change (docs/measurements/accuracy-evalue.md); the searches from words end long
// before the limit.
const long long kSearchWork = 12000000;
const int kMinSearchGenerations = 100;

// -peaksize unless given: windows of 100 letters about a peak's summit, where
// a ChIP-seq factor's sites lie.
const int kDefaultPeakSize = 100;

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

// Settings of one run, as the command line leaves them.
struct RunSettings {
    std::string inputFile;
    std::string pkFile;
    std::string freqFile;
    std::string resultFile = DFLT_OUT;
    bool inputFlag = false;
    bool pkFlag = false;
    bool freqFlag = false;   // a usable -freq file name was given
    bool freqAsked = false;  // the word -freq was given, usable name or not
    int k = DFLT_K;
    int numSites = DFLT_NOSITE;
    int generations = DFLT_GEN;
    bool generationsGiven = false;
    int population = DFLT_POP;
    bool populationGiven = false;
    float replacement = static_cast<float>(DFLT_SUB);
    float winner = static_cast<float>(DFLT_WIN);
    float pkPer = static_cast<float>(DFLT_PKPER);
    float perPK = static_cast<float>(DFLT_PERPK);
    float lowerComp = static_cast<float>(DFLT_COMP);
    float delta = static_cast<float>(DFLT_DELTA);
    float pkq = static_cast<float>(DFLT_PKQ);
    bool doubleStrand = DOUBLE_STR;
    bool filter = FILTERING;
    bool post = POST_PRO;
    bool mask = false;   // -mask: lower-case and other letters are never in a site
    double dust = 0.0;   // -dust: the DUST level; 0 is off
    int threads = 0;  // 0: one per core
    bool seedGiven = false;
    uint32_t seed = 0;
    OutputFiles outputs;  // -meme, -jaspar, -bed, -json, -html
    // Judging against control sequences (-evalue; 0: off, the models are ranked by MAP score).
    double evalue = 0.0;
    std::string negFile;  // -neg: control sequences; none: the input shuffled
    int nmotifs = 1;      // -nmotifs: motifs sought one after another
    bool nmotifsGiven = false;
    int words = kDefaultWords;  // -words: enriched words per width that seed searches (0: none)
    bool wordsGiven = false;
    long long searchSize = kDefaultSearchSize;  // -searchsize: letters the searches run on (0: all)
    bool searchSizeGiven = false;
    std::vector<std::string> dbFiles;  // -db: motif databases the reported motifs are named after
    // -sitemodel: how a judged run calls the reported motifs' sites: "em"
    // (the default: ZOOPS or TCM, chosen from the input and fitted to its
    // scores, then refined by soft EM against the Markov background where
    // the input holds enough sites), "em-zoops", "em-tcm", the fitted
    // mixtures alone ("auto", also "fitted"; "zoops", "tcm"), or "threshold"
    // (every window scoring at least the judge's threshold);
    // ParseSiteCalling reads it (docs/measurements/site-calls.md).
    std::string siteModel = "em";
    bool siteModelGiven = false;
    // Generations without a better best model after which a search ends
    // (kWordSearchStall for the searches from words; not an option).
    int stallLimit = 100;
    // -peaks/-genome: the input cut from a genome, one window per peak of
    // -peaksize letters (0: each peak whole); inputFile is then the peak file.
    std::string peaksFile;
    std::string genomeFile;
    int peakSize = kDefaultPeakSize;
    bool peakSizeGiven = false;
    bool verbose = false;  // -verbose: a judged run's console shows the log of every search
    int kLow = 0;         // -k <low>-<high>: the range of widths searched; 0: one width, k
    int kHigh = 0;
};

#endif
