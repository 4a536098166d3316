#include "cli/Options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "core/Robust.h"
#include "judge/SiteModel.h"
#include "search/SearchRun.h"

using std::cout;
using std::endl;

int arg_C = 0;
std::vector<std::string> arg_V;

namespace {

bool Usable(const std::string& word) { return !word.empty() && word[0] != '-'; }

// Numeric options that share one pattern: read, check, repair with a message.
struct IntOption {
    const char* word;
    int RunSettings::*target;
    int dflt;
    const char* prefix;
};

struct RealOption {
    const char* word;
    float RunSettings::*target;
    double dflt;
    const char* prefix;
    double low;   // accepted from here ...
    double high;  // ... to here, both ends included, unless open below
    bool openBelow;
};

// -ns, -g and -p refuse only 0.
const IntOption kIntOptions[] = {
    {"-ns", &RunSettings::numSites, DFLT_NOSITE, "-ns="},
    {"-g", &RunSettings::generations, DFLT_GEN, "-g="},
    {"-p", &RunSettings::population, DFLT_POP, "-p="},
};

const RealOption kRealOptions[] = {
    {"-delta", &RunSettings::delta, DFLT_DELTA, "-delta=", 0.0, 10.0, true},
    {"-r", &RunSettings::replacement, DFLT_SUB, "-r=", 0.0, 1.0, false},
    {"-w", &RunSettings::winner, DFLT_WIN, "-w=", 0.0, 1.0, false},
    {"-pkper", &RunSettings::pkPer, DFLT_PKPER, "-pkper=", 0.0, 1.0, false},
    {"-pkq", &RunSettings::pkq, DFLT_PKQ, "-pkq=", 0.0, 1.0, false},
    {"-perpk", &RunSettings::perPK, DFLT_PERPK, "-per_pk=", 0.0, 1.0, false},
    {"-lc", &RunSettings::lowerComp, DFLT_COMP, "-lc=", 0.0, 10.0, false},
};

template <typename Value, typename Default>
void Unhealthy(const char* prefix, Value value, Default dflt) {
    cout << prefix << value << " is unhealthy! Reset to the default value: " << dflt << " ." << endl;
}

bool ParseSeed(const std::string& word, uint32_t& seed) {
    if (word.empty() || word.size() > 10) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    unsigned long long v = std::strtoull(word.c_str(), nullptr, 10);
    if (v > 0xFFFFFFFFull) return false;
    seed = static_cast<uint32_t>(v);
    return true;
}

// A DUST level: a non-negative number; anything else is repaired to 0 (off)
// with a message, as other values are.
double ParseLevel(const std::string& value) {
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(v) || v < 0) {
        Unhealthy("-dust=", value, 0);
        return 0.0;
    }
    return v;
}

// -evalue's value when the one given is not a positive number.
const double kDefaultEvalue = 0.05;

// A positive number; anything else is repaired to dflt with a message.
double ParsePositive(const std::string& value, const char* prefix, double dflt) {
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(v) || v <= 0) {
        Unhealthy(prefix, value, dflt);
        return dflt;
    }
    return v;
}

// "-k <low>-<high>": a range of widths, each within MIN_K..MAX_K and low <=
// high. Returns false for a value that is not of that form (a single width).
// A malformed range is repaired to the default width with a message.
bool ParseRange(const std::string& value, RunSettings& s) {
    const size_t dash = value.find('-', 1);
    if (dash == std::string::npos || value[0] < '0' || value[0] > '9') return false;
    int low = 0, high = 0;
    char extra = 0;
    const bool read = std::sscanf(value.c_str(), "%d-%d%c", &low, &high, &extra) == 2;
    if (!read || low < MIN_K || high > MAX_K || low > high) {
        cout << "-k=" << value << " is not a range of widths from " << MIN_K << " to " << MAX_K
             << "! Reset to default length: " << DFLT_K << " ." << endl;
        s.k = DFLT_K;
        s.kLow = s.kHigh = 0;
        return true;
    }
    s.k = low;
    s.kLow = low;
    s.kHigh = high;
    return true;
}

// -evalue and the options of the judged run; false for any other word.
bool ParseJudgedOption(const std::string& word, const std::string& value, RunSettings& s) {
    if (word == "-evalue") {
            s.evalue = ParsePositive(value, "-evalue=", kDefaultEvalue);
        } else if (word == "-neg") {
            if (Usable(value)) s.negFile = value;
        } else if (word == "-db") {
            // Repeatable, and one word may name several files separated by commas.
            if (!Usable(value)) {
                cout << "Error: -db needs a motif database file (MEME or JASPAR format). System aborted. " << endl;
                FatalExit(1);
            }
            const size_t before = s.dbFiles.size();
            size_t from = 0;
            while (from <= value.size()) {
                const size_t comma = std::min(value.find(',', from), value.size());
                if (comma > from) s.dbFiles.push_back(value.substr(from, comma - from));
                from = comma + 1;
            }
            if (s.dbFiles.size() == before) {
                cout << "Error: -db " << value << " names no file. System aborted. " << endl;
                FatalExit(1);
            }
        } else if (word == "-nmotifs") {
            int n = 0;
            std::sscanf(value.c_str(), "%d", &n);
            // 0: no search, only the database's motifs tested (checked below)
            const bool zero = !value.empty() && value.find_first_not_of('0') == std::string::npos;
            if (n < 1 && !zero) {
                Unhealthy("-nmotifs=", value, 1);
                n = 1;
            }
            s.nmotifs = n;
            s.nmotifsGiven = true;
        } else if (word == "-searchsize") {
            long long n = -1;
            char extra = 0;
            if (std::sscanf(value.c_str(), "%lld%c", &n, &extra) != 1 || n < 0) {
                Unhealthy("-searchsize=", value, kDefaultSearchSize);
                n = kDefaultSearchSize;
            }
            s.searchSize = n;
            s.searchSizeGiven = true;
        } else if (word == "-sitemodel") {
            SiteCalling calling;
            if (!ParseSiteCalling(value, calling)) {
                cout << "Error: -sitemodel takes " << kSiteCallingWords << ", not \"" << value
                     << "\". System aborted. " << endl;
                FatalExit(1);
            }
            s.siteModel = value;
            s.siteModelGiven = true;
        } else if (word == "-words") {
            int n = -1;
            if (std::sscanf(value.c_str(), "%d", &n) != 1 || n < 0) {
                Unhealthy("-words=", value, kDefaultWords);
                n = kDefaultWords;
            }
            s.words = n;
            s.wordsGiven = true;
    } else {
        return false;
    }
    return true;
}

// The options of the numeric tables (-ns, -g, -p and the rates); any other
// word is not an option and is passed over.
void ParseNumber(const std::string& word, const std::string& value, RunSettings& s) {
    if (word == "-p") s.populationGiven = true;
    if (word == "-g") s.generationsGiven = true;
    for (const IntOption& o : kIntOptions) {
        if (word != o.word) continue;
        int& v = s.*o.target;
        std::sscanf(value.c_str(), "%d", &v);
        if (v == 0) {
            Unhealthy(o.prefix, v, o.dflt);
            v = o.dflt;
        }
    }
    for (const RealOption& o : kRealOptions) {
        if (word != o.word) continue;
        float& v = s.*o.target;
        std::sscanf(value.c_str(), "%f", &v);
        bool bad = v > o.high || v < o.low || (o.openBelow && (v <= o.low || v >= o.high));
        if (bad) {
            Unhealthy(o.prefix, v, o.dflt);
            v = static_cast<float>(o.dflt);
        }
    }
}

// -peaks and -genome go together and take the place of -i.
void CheckPeakOptions(RunSettings& s) {
    if (s.peaksFile.empty() && s.genomeFile.empty()) return;
    if (s.peaksFile.empty() || s.genomeFile.empty()) {
        cout << "Error: " << (s.peaksFile.empty() ? "-genome needs -peaks" : "-peaks needs -genome")
             << ": the peaks are cut out of the genome. System aborted. " << endl;
        FatalExit(1);
    }
    if (!s.inputFile.empty()) {
        cout << "Error: -i and -peaks both name the input; give one of them. System aborted. " << endl;
        FatalExit(1);
    }
    s.inputFile = s.peaksFile;
}

}  // namespace

void HelpMsg() {
    cout << " USAGE:\n\n";
    cout << "\tQIRO -i <seq_file> [-freq <freq_file>] [optional arguments]\n\n";
    cout << "Arguements:\n";
    cout << "\t-i <seq_file>                The file contains DNA sequences (must be in Fasta format)\n";
    cout << "\t[-freq <freq_file>]          The file contains 3rd order Markov background frequency information (Default: counted from the input sequences as qiro-freq counts them, masked letters left out)\n\n";
    cout << "Optional:\n";
    cout << "\t[-pk <pk_file>]              The file contains pre-knowledge (true binding sites) one site per line\n";
    cout << "\t                             An example of the pk_file:\n";
    cout << "\t                             \tTATAAA\n";
    cout << "\t                             \tTATCAA\n";
    cout << "\t                             \tTATTAA\n";
    cout << "\t                             \tTTTAAA\n\n";
    cout << "\t[-o <output_file>]           The output file (Default:" << DFLT_OUT << ")\n";
    cout << "\t[-h]                         Display the help message\n";
    cout << "\t[-k <kmer>]                  The expected motif width (Default=" << DFLT_K << ")\n";
    cout << "\t[-ns <numperseq>]            The maximum number of binding sites in one motif model per sequence (Default="
         << DFLT_NOSITE << ")\n";
    cout << "\t[-d T/F]                     The flag of performing the motif discovery on both forward and reverse strands (Default="
         << (DOUBLE_STR ? 'T' : 'F') << ")\n";
    cout << "\t[-g <generation>]            The maximum number of generations in genetic algorithm search (Default="
         << DFLT_GEN << ")\n";
    cout << "\t[-p <population>]            The population size in genetic algorithm search (Default=" << DFLT_POP
         << ")\n";
    cout << "\t[-r <replacement_rate>]      The replacement rate in genetic algorithm search. Valid values are [0, 1). (Default="
         << DFLT_SUB << ")\n";
    cout << "\t[-w <winner_rate>]           The winner-table-all rate in genetic algorithm search. Valid values are [0, 1). (Default="
         << DFLT_WIN << ")\n";
    cout << "\t[-lc <complexity_value>]     The lower complexity rate of a motif. Valid values are [0, 10]. (Default="
         << DFLT_COMP << ")\n";
    cout << "\t[-f T/F]                     The filtering flag (Default=" << (FILTERING ? 'T' : 'F')
         << ") if the flag is set as 'true', the user must provide the pre-knowledge file\n";
    cout << "\t[-pkper <pk_percent>]        The percentage of Pre-knowledge to be used in the Initialization. Valid values are (0,1). (Default="
         << DFLT_PKPER << ")\n";
    cout << "\t[-perpk <pk_amount>]         The percentage of Pre-knowledge to be used from the pre-knowledge file. Valid values are (0,1]. (Default="
         << DFLT_PERPK << ")\n";
    cout << "\t[-delta <delta>]             The IC difference value for merging two chromsomes. Valid values are (0,1). (Default="
         << DFLT_DELTA << ")\n";
    cout << "\t[-post T/F]                  The post-processing flag (Default=" << (POST_PRO ? 'T' : 'F') << ")\n";
    cout << "\t[-pkq <pk_quality>]          The percentage of noise data from input sequence as PK (Default=" << DFLT_PKQ
         << ")\n";
    cout << "\t[-seed <number>]             The seed of the random numbers; the same seed repeats a run (Default: the clock)\n";
    cout << "\t[-threads <number>]          The number of threads; the results do not depend on it (Default: the number of cores)\n";
    cout << "\t[-mask T/F]                  Leave out windows holding a lower-case (soft-masked) letter or a letter other than A, C, G, T (Default=F)\n";
    cout << "\t[-dust <level>]              Leave out low-complexity regions found by symmetric DUST above this level; 20 is usual (Default=0: off)\n";
    cout << "\t[-evalue <E>]                Judge the models against control sequences and report those with an E-value at most E (0.05 is usual); with it, -k <low>-<high> (e.g. 6-15) searches a range of widths, and each search has a population of " << kEvaluePopulation << " and at most " << kSearchWork << " / (letters searched) generations, at least " << kMinSearchGenerations << " (unless -p, -g say otherwise); a search from a word ends after " << kWordSearchStall << " generations without a better model\n";
    cout << "\t[-neg <fasta_file>]          Control sequences for -evalue (Default: the input shuffled, letter triplets kept)\n";
    cout << "\t[-peaks <peak_file>]         Instead of -i: peaks (BED, or narrowPeak with the summit in column 10; plain or gzip) cut out of the -genome, each sequence named chrom:start-end\n";
    cout << "\t[-genome <fasta_file>]       With -peaks: the genome (FASTA, plain or bgzip; its .fai index is used, or made); with -evalue and no -neg, the controls are random genomic windows matched to the peaks' GC content\n";
    cout << "\t[-peaksize <n>]              With -peaks: windows of n letters centred on the summit (narrowPeak) or the peak's middle; 0: each peak whole (Default=" << kDefaultPeakSize << ")\n";
    cout << "\t[-sitemodel <rule>]          With -evalue: how the reported motifs' sites are called: em (the fitted model refined by soft EM against the Markov background; a sequence (zoops) or window (tcm) is a site where its posterior reaches one half), em-zoops, em-tcm; fitted, fitted-zoops, fitted-tcm: the mixture fitted to the matrix's scores, unrefined (auto, zoops, tcm: their names before); threshold: every window at least the judge's threshold (Default=em)\n";
    cout << "\t[-words <n>]                 With -evalue: enriched words per width whose occurrences start searches of their own, and as many windows on inputs of fewer than 50 sequences (Default=5; 0: none)\n";
    cout << "\t[-searchsize <letters>]      With -evalue: the searches run on a random sample of whole sequences of at most this many letters; 0: all (Default=" << kDefaultSearchSize << ")\n";
    cout << "\t[-nmotifs <n>]               With -evalue: motifs sought one after another, the sites of each masked; 0 with -db: only the database's motifs tested (Default=1)\n";
    cout << "\t[-db <motif_file>]           Name each motif after its best matches in a motif database (MEME or JASPAR format, plain or gzip; repeat it or separate files by commas) and show where its sites sit\n";
    cout << "\t[-version]                   Display the version (qiro " << QIRO_VERSION << ") and exit\n";
    cout << "\t[-meme <meme_file>]          Also write the motifs in MEME minimal motif format\n";
    cout << "\t[-jaspar <jaspar_file>]      Also write the motifs in JASPAR format (letter counts)\n";
    cout << "\t[-bed <bed_file>]            Also write the motif sites as BED (genomic when sequences are named chrom:start-end)\n";
    cout << "\t[-json <json_file>]          Also write the settings, motifs and sites as JSON\n";
    cout << "\t[-html <html_file>]          Also write a self-contained HTML page with the settings and motif logos\n";
    cout << "\n\n\n";
}

void ParseOptions(RunSettings& s) {
    for (int i = 1; i < arg_C; ++i) {
        const std::string& word = arg_V[i];
        const std::string& value = arg_V[i + 1];
        if (word == "-h") {
            HelpMsg();
            s.inputFlag = false;
        } else if (word == "-i") {
            s.inputFlag = true;
            if (!Usable(value)) {
                cout << " \n\t Error: Please provide the input file (Fasta format). System aborted. \n";
                FatalExit(1);
            }
            s.inputFile = value;
        } else if (word == "-peaks" || word == "-genome") {
            if (!Usable(value)) {
                cout << "Error: " << word << " needs a file name"
                     << (word == "-peaks" ? " (BED or narrowPeak)" : " (FASTA, plain or bgzip)") << ". System aborted. "
                     << endl;
                FatalExit(1);
            }
            (word == "-peaks" ? s.peaksFile : s.genomeFile) = value;
            if (word == "-peaks") s.inputFlag = true;  // as -i: a later -h still asks for the help alone
        } else if (word == "-peaksize") {
            int n = -1;
            char extra = 0;
            if (std::sscanf(value.c_str(), "%d%c", &n, &extra) != 1 || n < 0) {
                Unhealthy("-peaksize=", value, kDefaultPeakSize);
                n = kDefaultPeakSize;
            }
            s.peakSize = n;
            s.peakSizeGiven = true;
        } else if (word == "-pk") {
            if (Usable(value)) {
                s.pkFile = value;
                s.pkFlag = true;
            }
        } else if (word == "-freq") {
            s.freqAsked = true;
            if (Usable(value)) {
                s.freqFile = value;
                s.freqFlag = true;
            }
        } else if (word == "-o") {
            if (Usable(value)) s.resultFile = value;
        } else if (word == "-k" && ParseRange(value, s)) {
            // a range of widths: checked against -evalue once every word is read
        } else if (word == "-k") {
            std::sscanf(value.c_str(), "%d", &s.k);
            if (s.k > MAX_K) {
                cout << "-k=" << s.k << " is too long! Reset to default length: " << DFLT_K << " ." << endl;
                s.k = DFLT_K;
            }
            if (s.k < MIN_K) {
                cout << "-k=" << s.k << " is too short! Reset to default length: " << DFLT_K << " ." << endl;
                s.k = DFLT_K;
            }
        } else if (word == "-d" || word == "-f" || word == "-post") {
            bool& flag = word == "-d" ? s.doubleStrand : (word == "-f" ? s.filter : s.post);
            if (Usable(value)) flag = value != "F";
            if (word == "-post") cout << "Post-processing " << s.post << endl;
        } else if (word == "-mask") {
            if (Usable(value)) s.mask = value != "F";
        } else if (word == "-dust") {
            s.dust = ParseLevel(value);
        } else if (ParseJudgedOption(word, value, s)) {
            // read above
        } else if (word == "-threads") {
            int n = 0;
            if (std::sscanf(value.c_str(), "%d", &n) == 1) {
                if (n < 1) {
                    Unhealthy("-threads=", n, DefaultThreads());
                    n = 0;
                }
                s.threads = n;
            }
        } else if (std::string* file = s.outputs.Named(word)) {
            if (Usable(value)) *file = value;
        } else if (word == "-seed") {
            s.seedGiven = ParseSeed(value, s.seed);
            if (!s.seedGiven)
                cout << "-seed=" << value << " is not a non-negative integer! The clock seeds the random numbers instead ."
                     << endl;
        } else {
            ParseNumber(word, value, s);
        }
    }
    CheckPeakOptions(s);
    if (s.kLow > 0 && s.evalue <= 0) {
        cout << "Error: a range of motif widths (-k " << s.kLow << "-" << s.kHigh
             << ") needs -evalue: the scores of models of different widths are not comparable otherwise. "
                "System aborted. "
             << endl;
        FatalExit(1);
    }
    if (s.nmotifs == 0 && (s.evalue <= 0 || s.dbFiles.empty())) {
        cout << "Error: -nmotifs 0 seeks no motif and only tests the motifs of a database: it needs -db and -evalue. "
                "System aborted. "
             << endl;
        FatalExit(1);
    }
    if (s.evalue > 0) {
        // The judge, not one search, decides what is reported: searches of a
        // smaller population find the same motifs in a fraction of the time
        // (docs/accuracy-evalue.md).
        if (!s.populationGiven) s.population = kEvaluePopulation;
    }
}
