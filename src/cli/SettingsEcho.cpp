#include "cli/SettingsEcho.h"

#include <iostream>

#include "core/Console.h"
#include "core/Robust.h"
#include "input/Background.h"

using std::cout;
using std::endl;

void PrintSettings(const RunSettings& s) {
    cout << "The input file: " << s.inputFile << endl;
    if (!s.peaksFile.empty()) {
        cout << "The genome: " << s.genomeFile << endl;
        cout << "Peak windows: " << (s.peakSize > 0 ? std::to_string(s.peakSize) + " letters" : "each peak whole") << endl;
    } else if (s.peakSizeGiven) {
        cout << "Note: -peaksize takes effect with -peaks only." << endl;
    }
    if (s.freqAsked && !s.freqFlag) {
        // Asked for a file and named none: counting instead would hide the mistake.
        cout << "Error: No Frequency file Provided! System aborted.\n";
        FatalExit(1);
    }
    if (s.freqFlag) {
        cout << "The background frequency file: " << s.freqFile << endl;
    } else {
        cout << "Background: " << kCountedBackground << " sequences (no -freq given)." << endl;
    }
    if (s.pkFlag) cout << "The pre knowldege file: " << s.pkFile << endl;
    cout << "######################################################\n";
    cout << "The result file: " << s.resultFile << endl;
    // A range (judged runs only) is echoed whole: its first width alone would
    // read as the one width searched.
    if (s.kLow > 0)
        cout << "The expected width of binding site: " << s.kLow << "-" << s.kHigh << endl;
    else
        cout << "The expected width of binding site: " << s.k << endl;
    cout << "NO. of Site: " << s.numSites << endl;
    cout << "Double strand: " << s.doubleStrand << endl;
    cout << "Precentage of Lower Complexity: " << s.lowerComp << endl;
    cout << "Percentage of PK used in Initialization: " << s.pkPer << endl;
    cout << "Noise PK rate: " << s.pkq << endl;
    cout << "Percentage of PK chosen to use in QIRO: " << s.perPK << endl;
    cout << "No. of Generation: " << s.generations << endl;
    cout << "Population size: " << s.population << endl;
    cout << "Replacement rate: " << s.replacement << endl;
    cout << "Winner rate: " << s.winner << endl;
    cout << "The value of delta: " << s.delta << endl;
    if (s.mask || s.dust > 0) {
        cout << "Mask lower-case and other letters: " << s.mask << endl;
        cout << "DUST level: " << s.dust << endl;
    }
    if (s.evalue > 0) {
        cout << "E-value threshold: " << s.evalue << endl;
        cout << "Control sequences: "
             << (!s.negFile.empty()      ? s.negFile
                 : s.peaksFile.empty()   ? "the input shuffled, letter triplets kept"
                                         : "random windows of the genome, matched to the peaks' GC content")
             << endl;
        cout << "Motifs sought: " << s.nmotifs << endl;
        cout << "Enriched words per width: " << s.words << endl;
        cout << "Letters searched: " << (s.searchSize > 0 ? std::to_string(s.searchSize) : "all") << endl;
        if (s.kLow > 0) cout << "Widths searched: " << s.kLow << "-" << s.kHigh << endl;
        if (s.siteModelGiven) cout << "Site calls: " << s.siteModel << endl;
    } else {
        if (!s.negFile.empty() || s.nmotifsGiven || s.wordsGiven || s.searchSizeGiven)
            cout << "Note: -neg, -nmotifs, -words and -searchsize take effect with -evalue only." << endl;
        if (s.siteModelGiven) cout << "Note: -sitemodel takes effect with -evalue only." << endl;
        if (s.verbose) cout << "Note: -verbose takes effect with -evalue only (a run without it shows its whole log)." << endl;
    }
    if (!s.dbFiles.empty()) {
        cout << "Motif databases:";
        for (const std::string& f : s.dbFiles) cout << " " << f;
        cout << endl;
    }
    cout << "######################################################\n\n";
}

void SayJudgedSettings(const RunSettings& s, const std::string& commandLine, uint32_t seed) {
    std::ostream& say = Say();
    say << "qiro " << QIRO_VERSION << ": " << commandLine << endl;
    if (!s.peaksFile.empty())
        say << "Input:       the peaks of " << s.peaksFile << " on the genome " << s.genomeFile << ", "
            << (s.peakSize > 0 ? std::to_string(s.peakSize) + " letters about each summit" : "each peak whole") << endl;
    else
        say << "Input:       " << s.inputFile << endl;
    if (s.pkFlag) say << "Known sites: " << s.pkFile << endl;
    say << "Background:  " << (s.freqFlag ? s.freqFile : std::string(kCountedBackground) + " sequences") << endl;
    say << "Controls:    "
        << (!s.negFile.empty()    ? s.negFile
            : s.peaksFile.empty() ? "the input shuffled, letter triplets kept"
                                  : "random windows of the genome, matched to the peaks' GC content")
        << endl;
    const std::string widths = s.kLow > 0 ? std::to_string(s.kLow) + "-" + std::to_string(s.kHigh) : std::to_string(s.k);
    say << "Widths:      " << (s.pkFlag ? "the known sites' width (later motifs: " + widths + ")" : widths)
        << "; motifs sought: " << s.nmotifs << "; reported at an E-value of at most " << s.evalue << endl;
    say << "Masking:     " << (s.mask ? "lower case and letters other than A, C, G, T" : "none");
    if (s.dust > 0) say << "; DUST level " << s.dust;
    say << endl;
    if (!s.dbFiles.empty()) {
        say << "Databases:  ";
        for (const std::string& f : s.dbFiles) say << " " << f;
        say << endl;
    }
    say << "Seed:        " << seed << (s.seedGiven ? "" : " (from the clock; -seed " + std::to_string(seed) + " repeats the run)")
        << endl;
}
