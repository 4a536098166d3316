#include "cli/main.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "cli/OptionWords.h"
#include "cli/Options.h"
#include "cli/OutputSafety.h"
#include "cli/SettingsEcho.h"
#include "core/Console.h"
#include "core/Robust.h"
#include "judge/EvalueRun.h"
#include "motif/MotifDb.h"
#include "report/Report.h"
#include "search/SearchRun.h"

using std::cout;
using std::endl;

namespace {

[[noreturn]] void OutOfMemory() {
    cout << "Error: out of memory; the input or the population size (-p) is too large for this machine. "
            "System aborted. "
         << endl;
    FatalExit(1);
}

// -version asks for the version alone: wherever it stands, nothing else is
// read or done. No option takes it as its value (values starting with '-' are
// refused), so every such word is the request.
bool HasWord(int argc, char** argv, const char* word) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], word) == 0) return true;
    return false;
}

// The words of the command line as typed, for a judged run's first line.
std::string CommandLine() {
    std::string line;
    for (int i = 0; i < arg_C; ++i) line += (i ? " " : "") + arg_V[static_cast<size_t>(i)];
    return line;
}

// A judged run's stage line once its input and background are in.
void SayInputRead(const Midlayer& data) {
    Say() << "Input read: " << data.NumSeq << (data.NumSeq == 1 ? " sequence, " : " sequences, ") << data.BigK
          << " letters";
    if (data.MaskedLetters > 0) Say() << " (" << data.MaskedLetters << " masked)";
    Say() << "." << endl;
}

// Where a judged run's outputs went.
void SayOutputs(const RunSettings& s) {
    std::string line = "Outputs: the result in " + s.resultFile;
    const std::pair<const char*, const std::string*> extras[] = {{"MEME", &s.outputs.meme}, {"JASPAR", &s.outputs.jaspar},
                                                                 {"BED", &s.outputs.bed},   {"JSON", &s.outputs.json},
                                                                 {"HTML", &s.outputs.html}};
    for (const auto& e : extras)
        if (!e.second->empty()) line += std::string("; ") + e.first + " in " + *e.second;
    Say() << line << "." << endl;
}

}  // namespace

void HelloMsg() { cout << kBanner; }

bool MotifDiscovery() {
    // 1. Defaults.
    RunSettings s;
    // 2. The data layer, the engine and the empty population live for the whole run.
    // (Owned here so that a run given up for want of memory still releases them.)
    std::unique_ptr<Midlayer> dataOwner(new Midlayer());
    std::unique_ptr<GAFrame> engineOwner(new GAFrame());
    std::unique_ptr<std::vector<Individual>> populationOwner(new std::vector<Individual>());
    Midlayer* data = dataOwner.get();
    GAFrame* engine = engineOwner.get();
    std::vector<Individual>* population = populationOwner.get();

    // 3-4. Options; without an input file there is nothing to do.
    ParseOptions(s);
    if (!s.inputFlag) {
        Say() << "Please provide input file\n";
        HelpMsg();
        return true;
    }
    // 5. Settings echo (ends the run when -freq names no usable file).
    PrintSettings(s);

    // 6. Clock and the one random source.
    time_t start = time(nullptr);
    uint32_t seed = s.seedGiven ? s.seed : static_cast<uint32_t>(start);
    SeedRandom(seed);
    cout << "Random seed: " << seed << endl;
    if (LogQuiet()) SayJudgedSettings(s, CommandLine(), seed);
    if (s.pkFlag) {
        std::string file, id;
        SplitMatrixPath(s.pkFile, file, id);
        data->SetKnownMatrix(id, seed);
    }

    // 7-8. Settings and inputs of the data layer.
    double lowerComp = s.lowerComp;
    data->SetDoubleStrand(s.doubleStrand);
    data->SetLowerComp(lowerComp);
    data->SetDelta(s.delta);
    data->setPKPer(s.pkPer);
    MaskSettings masking;
    masking.softMask = s.mask;
    masking.dust = s.dust;
    data->SetMasking(masking);
    CheckOutputs(s);
    if (!s.peaksFile.empty()) {
        data->LoadPeaks(s.peaksFile, s.genomeFile, s.peakSize);
    } else {
        data->OpenSeqFile(s.inputFile);
        data->LoadSeqs();
    }
    if (s.freqFlag) {
        data->OpenFreqFile(s.freqFile);
        data->LoadFreqInfo();
    } else {
        data->CountBackground();
    }
    if (LogQuiet()) SayInputRead(*data);
    // A motif database that cannot be read ends the run before the search.
    std::unique_ptr<MotifMatcher> matcher;
    if (!s.dbFiles.empty()) {
        const std::vector<DbMotif> db = LoadMotifDatabases(s.dbFiles);
        cout << "Motifs in the databases: " << db.size() << endl;
        matcher.reset(new MotifMatcher(db));
    }

    // With -evalue: searches on part of the input, judged against controls.
    if (s.evalue > 0) {
        const JudgedReport judged = DiscoverWithEvalues(s, seed, data, engineOwner, population, matcher.get());
        PrintTimeTaken(start);
        const bool written = ReportRun(s, seed, data, population, &judged, matcher.get());
        if (LogQuiet()) SayOutputs(s);
        return written;
    }

    // 9-15. Known sites or width, admissible windows, the search, post-processing.
    SearchAndRefine(s, data, engine, population);

    // 16. Elapsed time, which leaves out the writing of the report.
    PrintTimeTaken(start);

    // 17. Result file.
    const bool written = ReportRun(s, seed, data, population, nullptr, matcher.get());

    // 18.
    dataOwner.reset();
    engineOwner.reset();
    populationOwner.reset();
    return written;
}

int QiroMain(int argc, char** argv) {
    if (HasWord(argc, argv, "-version")) {
        cout << "qiro " << QIRO_VERSION << endl;
        return 0;
    }
    // A judged run keeps standard output for its answer (core/Console.h).
    if (HasWord(argc, argv, "-evalue")) QuietLog(HasWord(argc, argv, "-verbose"));
    HelloMsg();
    if (argc < 2) {
        HelpMsg();
        return 0;
    }
    arg_C = argc;
    if (argc > kMaxWords) {
        cout << "Unexpected number of arguments. Please read the instruction carefully\n\n";
        HelpMsg();
        cout << "Error: the command line holds " << argc - 1 << " words after the program name; at most "
             << kMaxWords - 1 << " are read. System aborted. " << endl;
        return 1;
    }
    arg_V.assign(static_cast<size_t>(argc) + 1, std::string());
    cout << "Arguments information: ";
    for (int i = 0; i < arg_C; ++i) {
        arg_V[i] = argv[i];
        cout << arg_V[i] << " ";
    }
    cout << endl;
    CatchInterruptions();
    // An output that could not be written is a failed run, though the others
    // were written: a script must not take it for a success.
    bool written = true;
    try {
        written = MotifDiscovery();
    } catch (const std::bad_alloc&) {
        OutOfMemory();  // an allocation beyond what the machine can give: a message, not a crash
    } catch (const std::length_error&) {
        OutOfMemory();
    }
    StopCatchingInterruptions();
    return written ? 0 : 1;
}
