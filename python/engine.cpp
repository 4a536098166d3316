// The Python module's door into the engine (qiro._engine): one whole run as
// the command line would make it, from its words; the scan of a matrix over a
// FASTA file; the reading of motif files. Everything the user sees as Python
// objects is built in the package above it (python/qiro/), from the JSON the
// run writes, so that a run from Python and one from the command line are the
// same run and report the same figures.
//
// The engine was written for a process of its own: it prints its log on
// std::cout, ends on a fatal condition through FatalExit, and keeps the
// command line and the random source in globals. Each call here therefore
// holds the engine alone (one call at a time), takes std::cout's log into
// memory, turns FatalExit into a C++ exception that unwinds back here, and
// puts the globals back on the way out, so that a failed call leaves the
// interpreter as it was and the next call runs as a first one would.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli/Options.h"
#include "cli/main.h"
#include "core/Console.h"
#include "core/Robust.h"
#include "input/Midlayer.h"
#include "judge/MotifScan.h"
#include "judge/SiteModel.h"
#include "judge/SoftEm.h"
#include "known/KnownMotifs.h"
#include "motif/MotifDb.h"
#include "search/SearchRun.h"

namespace py = pybind11;

namespace {

// FatalExit's way out of a run: its message has been written to the log.
struct EngineFatal {
    int status;
};
[[noreturn]] void ThrowFatal(int status) { throw EngineFatal{status}; }

// A run stopped from the progress hook: Ctrl-C, or the callback raised. The
// Python error is kept and raised again once the engine has unwound.
struct Stopped {};

// std::cout while a call runs: the log kept a line at a time, and passed on
// to the process's standard output as well when the caller asked (verbose).
class LogCapture : public LineBuffer {
public:
    std::vector<std::string> lines;
    void PassOnTo(std::streambuf* passOn) { passOn_ = passOn; }

    // The message of a fatal end: from its first error line to the end, as
    // the command line would have printed it; else the last line.
    std::string FatalMessage() {
        EndLine();
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.rfind("Error", 0) == 0 || l.rfind("ERROR", 0) == 0 || l.rfind("Fatal", 0) == 0) {
                std::string m;
                for (size_t j = i; j < lines.size(); ++j) m += (j > i ? "\n" : "") + lines[j];
                return m;
            }
        }
        return lines.empty() ? "the run ended without a message" : lines.back();
    }

protected:
    void OnLine(const std::string& line) override { lines.push_back(line); }
    void PassOn(char c) override {
        if (passOn_ != nullptr) passOn_->sputc(c);
    }
    int sync() override { return passOn_ != nullptr ? passOn_->pubsync() : 0; }

private:
    std::streambuf* passOn_ = nullptr;
};

// The engine's globals are the process's: one call at a time.
std::mutex g_engineLock;

// The progress callback of the call running, and the thread it runs on (the
// only one that may stop the run: an exception must not leave a worker).
py::object* g_callback = nullptr;
std::thread::id g_caller;
py::error_already_set* g_stopError = nullptr;

void OnProgress(const std::string& text) {
    if (std::this_thread::get_id() != g_caller) return;
    py::gil_scoped_acquire gil;
    // Ctrl-C reaches Python as a flag the interpreter checks; a run working
    // without the GIL asks for it here, between generations and stages.
    if (PyErr_CheckSignals() != 0) {
        g_stopError = new py::error_already_set();
        throw Stopped{};
    }
    if (g_callback == nullptr || g_callback->is_none()) return;
    try {
        (*g_callback)(text);
    } catch (py::error_already_set& e) {
        g_stopError = new py::error_already_set(std::move(e));
        throw Stopped{};
    }
}

// The call's hold on the engine: the lock, std::cout taken, the fatal handler
// and progress hook set; all given back, and the command line's globals
// cleared, whichever way the call ends.
class EngineCall {
public:
    EngineCall(bool verbose, py::object* callback) {
        {
            // Waited for without the GIL: the run that holds the engine may
            // need it (its progress hook) before it can give the engine back.
            py::gil_scoped_release release;
            lock_.lock();
        }
        std::cout.flush();
        // (std::cout's own buffer once the lock is held: no other call has it then)
        if (verbose) capture_.PassOnTo(std::cout.rdbuf());
        previousBuffer_ = std::cout.rdbuf(&capture_);
        previousHandler_ = SetFatalHandler(ThrowFatal);
        previousHook_ = SetProgressHook(OnProgress);
        g_callback = callback;
        g_caller = std::this_thread::get_id();
    }
    ~EngineCall() {
        std::cout.flush();
        std::cout.clear();
        std::cout.rdbuf(previousBuffer_);
        SetFatalHandler(previousHandler_);
        SetProgressHook(previousHook_);
        StopQuietLog();
        g_callback = nullptr;
        arg_C = 0;
        arg_V.clear();
    }
    LogCapture& log() { return capture_; }

private:
    std::unique_lock<std::mutex> lock_{g_engineLock, std::defer_lock};
    LogCapture capture_;
    std::streambuf* previousBuffer_ = nullptr;
    FatalHandler previousHandler_ = nullptr;
    ProgressHook previousHook_ = nullptr;
};

// The Python exception of a fatal end: a file that cannot be opened is
// FileNotFoundError, anything else the input's fault, ValueError.
[[noreturn]] void RaiseFatal(const std::string& message) {
    const bool missing = message.find("annot open") != std::string::npos ||
                         message.find("cannot be opened") != std::string::npos ||
                         message.find("does not exist") != std::string::npos;
    PyErr_SetString(missing ? PyExc_FileNotFoundError : PyExc_ValueError, message.c_str());
    throw py::error_already_set();
}

// Runs body without the GIL under call, turning the engine's ways of ending
// into Python exceptions once the GIL is held again.
template <typename Body>
void Guarded(EngineCall& call, Body body) {
    std::string fatal;
    bool failed = false, stopped = false, memory = false;
    {
        py::gil_scoped_release release;
        try {
            body();
        } catch (const EngineFatal&) {
            failed = true;
        } catch (const Stopped&) {
            stopped = true;
        } catch (const std::bad_alloc&) {
            memory = true;
        } catch (const std::length_error&) {
            memory = true;
        }
    }
    if (stopped) {
        py::error_already_set e = std::move(*g_stopError);
        delete g_stopError;
        g_stopError = nullptr;
        throw e;
    }
    if (memory) throw std::bad_alloc();  // pybind11 raises MemoryError
    if (failed) RaiseFatal(call.log().FatalMessage());
}

// The lines of the log that a user should see without verbose: warnings and
// notes, each once.
std::vector<std::string> Warnings(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        const std::string t = l.substr(std::min(l.find_first_not_of(" \t"), l.size()));
        if ((t.rfind("Warning", 0) == 0 || t.rfind("Note", 0) == 0) &&
            std::find(out.begin(), out.end(), t) == out.end())
            out.push_back(t);
    }
    return out;
}

// One run from the words of a command line (without the program name).
// Returns the warnings of its log; its outputs are in the files the words name.
std::vector<std::string> Run(const std::vector<std::string>& words, bool verbose, py::object progress) {
    EngineCall call(verbose, &progress);
    bool written = true;
    Guarded(call, [&] {
        arg_C = static_cast<int>(words.size()) + 1;
        arg_V.assign(words.size() + 2, std::string());
        arg_V[0] = "qiro";
        for (size_t i = 0; i < words.size(); ++i) arg_V[i + 1] = words[i];
        written = MotifDiscovery();
    });
    if (!written) RaiseFatal(call.log().FatalMessage());
    return Warnings(call.log().lines);
}

using SiteTuple = std::tuple<std::string, int, std::string, std::string, double>;

// The sequences of a FASTA file as a scan reads them: forward records only
// (the reverse strand is read from the forward one), masked as asked.
void LoadForScan(Midlayer& data, const std::string& fasta, bool mask, double dust) {
    data.SetDoubleStrand(false);
    MaskSettings masking;
    masking.softMask = mask;
    masking.dust = dust;
    data.SetMasking(masking);
    data.OpenSeqFile(fasta);
    data.LoadSeqs();
}

// Each call as (sequence, forward start 0-based, strand, letters on its strand, score).
std::vector<SiteTuple> SiteTuples(const std::vector<SeqRecord>& seqs, const std::vector<std::vector<ScanHit>>& calls,
                                  int k) {
    std::vector<SiteTuple> out;
    for (size_t i = 0; i < calls.size(); ++i) {
        const SeqRecord& r = seqs[i];
        for (const ScanHit& h : calls[i]) {
            std::string letters(static_cast<size_t>(k), 'N');
            for (int j = 0; j < k; ++j) {
                const int code = LetterOnSiteStrand(r, h, j);
                if (code >= 0) letters[static_cast<size_t>(j)] = "ACGT"[code];
            }
            const int start = h.forward ? h.pos : r.len - h.pos - k;
            out.emplace_back(r.Name(), start, h.forward ? "+" : "-", letters, h.score);
        }
    }
    return out;
}

// A width x 4 table (A C G T a column) checked and copied into rows[j][b].
int ReadColumns(const std::vector<std::vector<double>>& columns, double (&rows)[MAX_K][B]) {
    const int k = static_cast<int>(columns.size());
    if (k < 1 || k > MAX_K) throw py::value_error("a matrix of 1 to " + std::to_string(MAX_K) + " columns is needed");
    for (int j = 0; j < k; ++j) {
        if (columns[static_cast<size_t>(j)].size() != B) throw py::value_error("each column needs 4 scores (A C G T)");
        for (int b = 0; b < B; ++b) rows[j][b] = columns[static_cast<size_t>(j)][static_cast<size_t>(b)];
    }
    return k;
}

// The sites a matrix calls in the sequences of a FASTA file, as a judged run
// calls its motifs' sites: log-odds scores in bits (width x 4, A C G T),
// windows at or above threshold on either strand, overlaps resolved to the
// higher score; rule "zoops" keeps one site per sequence.
std::vector<SiteTuple> Scan(const std::vector<std::vector<double>>& logOdds, double threshold, const std::string& rule,
                            const std::string& fasta, bool mask, double dust, bool bothStrands, int threads) {
    LogOdds m;
    m.k = ReadColumns(logOdds, m.score);
    SiteModelFit fit;
    fit.rule = rule == "zoops" ? SiteRule::kZoops : SiteRule::kTcm;
    fit.threshold = threshold;
    EngineCall call(false, nullptr);
    std::vector<SiteTuple> out;
    Guarded(call, [&] {
        Midlayer data;
        LoadForScan(data, fasta, mask, dust);
        std::vector<std::vector<ScanHit>> calls;
        CallByModel(m, fit, data.Seqs, bothStrands, threads > 0 ? threads : DefaultThreads(), calls);
        out = SiteTuples(data.Seqs, calls, m.k);
    });
    return out;
}

// The sites a model refined by soft EM calls, as the run called them: its
// log2 probabilities (width x 4), its share of sequences (zoops) or places
// (tcm), and the run's Markov background (the 340 words of one to four
// letters in the JSON's order). Scores are evidence in bits.
std::vector<SiteTuple> ScanRefined(const std::vector<std::vector<double>>& logProb, double share,
                                   const std::string& rule, const std::vector<double>& markov, const std::string& fasta,
                                   bool mask, double dust, bool bothStrands) {
    SoftEmFit fit;
    fit.k = ReadColumns(logProb, fit.logProb);
    fit.rule = rule == "zoops" ? SiteRule::kZoops : SiteRule::kTcm;
    if (!(share > 0.0 && share < 1.0)) throw py::value_error("share must lie between 0 and 1");
    fit.share = share;
    if (markov.size() != static_cast<size_t>(kDenseWords))
        throw py::value_error("the Markov background needs its " + std::to_string(kDenseWords) + " words");
    static const std::map<std::string, double> listed;
    double dense[kDenseWords];
    std::copy(markov.begin(), markov.end(), dense);
    const BackgroundTables bg{listed, dense};
    EngineCall call(false, nullptr);
    std::vector<SiteTuple> out;
    Guarded(call, [&] {
        Midlayer data;
        LoadForScan(data, fasta, mask, dust);
        const EmWindows win = IndexWindows(data.Seqs, fit.k, bothStrands, bg);
        std::vector<std::vector<ScanHit>> calls;
        CallBySoftEm(fit, data.Seqs, win, calls);
        out = SiteTuples(data.Seqs, calls, fit.k);
    });
    return out;
}

// The motifs of a MEME or JASPAR file, each with the log-odds table and the
// threshold the known-motif test scans it with (read as a few sites smoothed
// towards the background bg, a window a site at background p-value pvalue):
// (id, name, columns of A C G T shares, log-odds columns, threshold).
using MotifTuple = std::tuple<std::string, std::string, std::vector<std::vector<double>>,
                              std::vector<std::vector<double>>, double>;
std::vector<MotifTuple> ReadMotifs(const std::string& path, double pvalue, const std::vector<double>& bg) {
    if (bg.size() != B) throw py::value_error("background: 4 shares (A C G T) are needed");
    for (double x : bg)
        if (!(x > 0.0)) throw py::value_error("background: every share must be above 0");
    if (!(pvalue > 0.0 && pvalue < 1.0)) throw py::value_error("pvalue must lie between 0 and 1");
    EngineCall call(false, nullptr);
    std::vector<DbMotif> motifs;
    Guarded(call, [&] { motifs = LoadMotifDatabases({path}); });
    std::vector<MotifTuple> out;
    for (const DbMotif& d : motifs) {
        std::vector<std::vector<double>> columns, scores;
        const std::vector<float> table = KnownScoreTable(d.columns, bg.data(), false);
        const int k = static_cast<int>(d.columns.size());
        for (int j = 0; j < k; ++j) {
            const auto& c = d.columns[static_cast<size_t>(j)];
            columns.emplace_back(c.begin(), c.end());
            scores.emplace_back(&table[static_cast<size_t>(j) * 5], &table[static_cast<size_t>(j) * 5] + B);
        }
        out.emplace_back(d.id, d.name, columns, scores, ScoreForPValue(table, k, bg.data(), pvalue));
    }
    return out;
}

}  // namespace

PYBIND11_MODULE(_engine, m) {
    m.doc() = "QIRO's engine as the qiro package calls it (use the qiro package, not this module).";
    m.attr("version") = QIRO_VERSION_STRING;
    m.attr("max_width") = MAX_K;
    m.def("run", &Run, py::arg("words"), py::arg("verbose") = false, py::arg("progress") = py::none(),
          "Runs qiro with these command-line words (no program name); returns the log's warnings.");
    m.def("scan", &Scan, py::arg("log_odds"), py::arg("threshold"), py::arg("rule"), py::arg("fasta"),
          py::arg("mask") = false, py::arg("dust") = 0.0, py::arg("both_strands") = true, py::arg("threads") = 0,
          "The sites a log-odds matrix calls in a FASTA file.");
    m.def("scan_refined", &ScanRefined, py::arg("log_probabilities"), py::arg("share"), py::arg("rule"),
          py::arg("markov"), py::arg("fasta"), py::arg("mask") = false, py::arg("dust") = 0.0,
          py::arg("both_strands") = true, "The sites a model refined by soft EM calls in a FASTA file.");
    m.def("read_motifs", &ReadMotifs, py::arg("path"), py::arg("pvalue"), py::arg("background"),
          "The motifs of a MEME or JASPAR file, with their log-odds and threshold.");
}
