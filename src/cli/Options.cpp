#include "cli/Options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/OptionTable.h"
#include "cli/OptionWords.h"
#include "core/Console.h"
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

// A value repaired to its default: a line of the run's log, and so, when a
// judged run holds its log back, a warning on standard error.
std::ostream& Repaired() { return LogQuiet() ? std::cerr : std::cout; }

template <typename Value, typename Default>
void Unhealthy(const char* prefix, Value value, Default dflt) {
    Repaired() << prefix << value << " is unhealthy! Reset to the default value: " << dflt << " ." << endl;
}

// A whole number at the start of a word, read as the C scanner's "%d" reads
// it (leading blanks, a sign, digits; what follows is passed over), but a
// number beyond int's range is said to be so instead of wrapping around.
struct Whole {
    bool read = false;   // the word starts with a number
    bool fits = false;   // ... within int's range
    bool whole = false;  // ... and nothing follows it
    long long value = 0;
    std::string text;    // the number as typed
};

Whole ReadWhole(const std::string& word) {
    Whole w;
    const char* begin = word.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (end == begin) return w;
    w.read = true;
    w.fits = errno != ERANGE && v >= INT_MIN && v <= INT_MAX;
    w.whole = *end == '\0';
    w.value = v;
    const size_t skip = word.find_first_not_of(" \t\n\v\f\r");
    w.text = word.substr(skip, static_cast<size_t>(end - begin) - skip);
    return w;
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
    // Each width has at most two digits; longer numbers would wrap in the scanner.
    const bool read = value.size() <= 16 && std::sscanf(value.c_str(), "%d-%d%c", &low, &high, &extra) == 2 &&
                      ReadWhole(value).fits && ReadWhole(value.substr(dash + 1)).fits;
    if (!read || low < MIN_K || high > MAX_K || low > high) {
        Repaired() << "-k=" << value << " is not a range of widths from " << MIN_K << " to " << MAX_K
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
            const Whole w = ReadWhole(value);
            int n = w.read && w.fits ? static_cast<int>(w.value) : 0;
            // 0: no search, only the database's motifs tested (checked below)
            const bool zero = !value.empty() && value.find_first_not_of('0') == std::string::npos;
            if ((n < 1 && !zero) || (w.read && !w.fits)) {
                Unhealthy("-nmotifs=", value, 1);
                n = 1;
            }
            s.nmotifs = n;
            s.nmotifsGiven = true;
        } else if (word == "-searchsize") {
            long long n = -1;
            char extra = 0;
            errno = 0;
            if (std::sscanf(value.c_str(), "%lld%c", &n, &extra) != 1 || n < 0 || errno == ERANGE) {
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
            const Whole w = ReadWhole(value);
            int n = w.read && w.fits ? static_cast<int>(w.value) : -1;
            if (n < 0) {
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
        const Whole w = ReadWhole(value);
        if (w.read && !w.fits) {
            Unhealthy(o.prefix, w.text, o.dflt);
            v = o.dflt;
            continue;
        }
        if (w.read) v = static_cast<int>(w.value);
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
    // The answer a user asked for, also when a judged run holds its log back.
    Say() << UsageText();
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
            const Whole w = ReadWhole(value);
            int n = w.read && w.fits && w.whole ? static_cast<int>(w.value) : -1;
            if (n < 0) {
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
            const Whole w = ReadWhole(value);
            if (w.read && !w.fits) {
                Repaired() << "-k=" << w.text << (w.value > 0 ? " is too long!" : " is too short!")
                     << " Reset to default length: " << DFLT_K << " ." << endl;
                s.k = DFLT_K;
            } else if (w.read) {
                s.k = static_cast<int>(w.value);
            }
            if (s.k > MAX_K) {
                Repaired() << "-k=" << s.k << " is too long! Reset to default length: " << DFLT_K << " ." << endl;
                s.k = DFLT_K;
            }
            if (s.k < MIN_K) {
                Repaired() << "-k=" << s.k << " is too short! Reset to default length: " << DFLT_K << " ." << endl;
                s.k = DFLT_K;
            }
        } else if (word == "-d" || word == "-f" || word == "-post") {
            bool& flag = word == "-d" ? s.doubleStrand : (word == "-f" ? s.filter : s.post);
            if (Usable(value)) flag = value != "F";
            if (word == "-post") cout << "Post-processing " << s.post << endl;
        } else if (word == "-verbose") {
            s.verbose = true;  // takes no value
        } else if (word == "-mask") {
            if (Usable(value)) s.mask = value != "F";
        } else if (word == "-dust") {
            s.dust = ParseLevel(value);
        } else if (ParseJudgedOption(word, value, s)) {
            // read above
        } else if (word == "-threads") {
            const Whole w = ReadWhole(value);
            if (w.read) {
                int n = w.fits ? static_cast<int>(w.value) : 0;
                if (n < 1) {
                    Unhealthy("-threads=", w.fits ? std::to_string(w.value) : w.text, DefaultThreads());
                    n = 0;
                }
                s.threads = n;
            }
        } else if (std::string* file = s.outputs.Named(word)) {
            if (Usable(value)) *file = value;
        } else if (word == "-seed") {
            s.seedGiven = ParseSeed(value, s.seed);
            if (!s.seedGiven)
                Repaired() << "-seed=" << value << " is not a whole number from 0 to 4294967295! The clock seeds the random numbers instead ."
                     << endl;
        } else {
            ParseNumber(word, value, s);
        }
    }
    // A misspelt option would otherwise be passed over and the run go on with
    // the default it meant to change.
    const std::string unknown = FirstUnknownOption(arg_V, arg_C);
    if (!unknown.empty()) {
        cout << "Error: " << unknown << " is not an option; did you mean " << NearestOption(unknown)
             << "? (qiro -h lists them.) System aborted. " << endl;
        FatalExit(1);
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
        // (docs/measurements/accuracy-evalue.md).
        if (!s.populationGiven) s.population = kEvaluePopulation;
    }
}
