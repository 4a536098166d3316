// One generation of the genetic search on a planted data set of 200 sequences
// of 300 letters (motif width 12), and the re-alignment scan of every
// admissible window: packed distance against a plain letter-by-letter loop.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "input/FreqTool.h"
#include "input/Midlayer.h"
#include "planted.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

namespace {

const int kWidth = 12;
const char kMotif[] = "TTGACAGCTATC";

// The data layer, loaded and filtered once, and a first population made with a
// fixed seed; every benchmark iteration starts a generation from a copy of it.
struct GenerationSet {
    std::filesystem::path dir;
    Midlayer data;
    GAFrame engine;
    std::vector<Individual> first;

    GenerationSet() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qiro-bench-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        dir = tmpl;

        planted::Options o;
        o.sequences = 200;
        o.length = 300;
        o.motif = kMotif;
        o.maxMutations = 2;
        o.seed = 2024;
        const planted::Set set = planted::Make(o);
        const std::string fastaPath = (dir / "planted.fa").string();
        const std::string freqPath = (dir / "planted.freq").string();
        std::ofstream(fastaPath) << set.fasta;
        WordCounts counts;
        counts.AddFasta(set.fasta, true);
        {
            std::ofstream freq(freqPath);
            counts.Write(freq, 1.0);
        }

        // Loading and initialization report progress; keep it off the benchmark table.
        std::ostringstream sink;
        std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
        data.SetDoubleStrand(true);
        data.OpenSeqFile(fastaPath);
        data.LoadSeqs();
        data.OpenFreqFile(freqPath);
        data.LoadFreqInfo();
        data.SetFilter(false);
        data.setPKPre(false);
        data.SetK(kWidth);
        data.ExcludeShortSeqs();
        data.ComputePosFreq(true);
        data.Filtering();
        const int population = DFLT_POP, generations = DFLT_GEN, k = kWidth;
        const double replacement = DFLT_SUB, winner = DFLT_WIN, pk = DFLT_PKPER;
        engine.setParameters(population, generations, replacement, winner, pk, k);
        SeedRandom(1);
        const bool usePK = false;
        engine.Initialization(usePK, &data, &first);
        std::cout.rdbuf(saved);
    }
    ~GenerationSet() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

GenerationSet& Set() {
    static GenerationSet set;
    return set;
}

// One call of GeneticOperation on the default population of 600. Every
// iteration starts from the same population, seed and a fresh copy of the
// engine, so it repeats the same first generation of a run.
void BM_Generation(benchmark::State& state) {
    GenerationSet& s = Set();
    std::vector<Individual> population;
    for (auto _ : state) {
        state.PauseTiming();
        population = s.first;
        GAFrame engine = s.engine;
        SeedRandom(7);
        state.ResumeTiming();
        engine.GeneticOperation(&s.data, &population);
        benchmark::DoNotOptimize(population.data());
    }
    state.counters["population"] = static_cast<double>(s.first.size());
    state.counters["strands"] = s.data.GetNumStrands();
}
BENCHMARK(BM_Generation)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---------------------------------------------------------------- re-alignment scan
//
// Both scans visit every admissible window of every strand and keep the first
// window with the fewest letters different from the motif text (no early stop,
// so both do the same number of windows).

long AdmissibleWindows(const Midlayer& data) {
    long n = 0;
    for (const std::vector<int>& list : data.Candidates) n += static_cast<long>(list.size());
    return n;
}

void BM_ScanPackedDistance(benchmark::State& state) {
    GenerationSet& s = Set();
    const int k = kWidth;
    const PackedWord target = PackedWord::FromText(kMotif, k);
    const int S = s.data.GetNumStrands();
    for (auto _ : state) {
        long total = 0;
        for (int q = 0; q < S; ++q) {
            const SeqRecord& r = s.data.Seqs[q];
            int best = 2 * k, bestPos = 0;
            for (int p : s.data.Candidates[q]) {
                const int d = PackedWord::FromStrand(r, p, k).Distance(target);
                if (d < best) {
                    best = d;
                    bestPos = p;
                }
            }
            total += bestPos + best;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * AdmissibleWindows(s.data));
}
BENCHMARK(BM_ScanPackedDistance)->Unit(benchmark::kMicrosecond);

// The same scan comparing 2-bit letter codes one by one.
void BM_ScanLetterCodes(benchmark::State& state) {
    GenerationSet& s = Set();
    const int k = kWidth;
    uint8_t target[MAX_K];
    for (int j = 0; j < k; ++j) target[j] = kBaseCode[static_cast<unsigned char>(kMotif[j])];
    const int S = s.data.GetNumStrands();
    for (auto _ : state) {
        long total = 0;
        for (int q = 0; q < S; ++q) {
            const uint8_t* codes = s.data.Seqs[q].code.data();
            int best = 2 * k, bestPos = 0;
            for (int p : s.data.Candidates[q]) {
                int d = 0;
                for (int j = 0; j < k; ++j) d += codes[p + j] != target[j];
                if (d < best) {
                    best = d;
                    bestPos = p;
                }
            }
            total += bestPos + best;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * AdmissibleWindows(s.data));
}
BENCHMARK(BM_ScanLetterCodes)->Unit(benchmark::kMicrosecond);

// The same scan on the stored letters, each turned to upper case.
void BM_ScanLetters(benchmark::State& state) {
    GenerationSet& s = Set();
    const int k = kWidth;
    const int S = s.data.GetNumStrands();
    // The store keeps coded letters only; the baseline reads them as text.
    std::vector<std::string> text;
    for (int q = 0; q < S; ++q) text.push_back(s.data.Seqs[q].Text());
    for (auto _ : state) {
        long total = 0;
        for (int q = 0; q < S; ++q) {
            const char* letters = text[static_cast<size_t>(q)].data();
            int best = 2 * k, bestPos = 0;
            for (int p : s.data.Candidates[q]) {
                int d = 0;
                for (int j = 0; j < k; ++j)
                    d += std::toupper(static_cast<unsigned char>(letters[p + j])) != kMotif[j];
                if (d < best) {
                    best = d;
                    bestPos = p;
                }
            }
            total += bestPos + best;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * AdmissibleWindows(s.data));
}
BENCHMARK(BM_ScanLetters)->Unit(benchmark::kMicrosecond);

// The engine's own re-alignment of one child (with its early stop at distance 0).
void BM_Realign(benchmark::State& state) {
    GenerationSet& s = Set();
    std::vector<int> starts;
    for (auto _ : state) {
        s.engine.Realign(&s.data, kMotif, starts);
        benchmark::DoNotOptimize(starts.data());
    }
    state.SetItemsProcessed(state.iterations() * AdmissibleWindows(s.data));
}
BENCHMARK(BM_Realign)->Unit(benchmark::kMicrosecond);

// Re-alignment to a text far from the motif, so that no strand stops early:
// every admissible window is visited. Arg 1: the wide scan (where the
// processor has it), arg 0: the sliding one-window-at-a-time scan.
void BM_RealignEveryWindow(benchmark::State& state) {
    GenerationSet& s = Set();
    GAFrame engine = s.engine;
    engine.Windows.UseWide = state.range(0) == 1 && WindowIndex::WideAvailable();
    if (engine.Windows.UseWide) engine.Windows.Pack(&s.data, engine.K);
    if (state.range(0) == 1 && !engine.Windows.UseWide) state.SkipWithError("no 512-bit integer instructions here");
    const char* text = "CCCCCCCCCCCC";  // as wide as the motif
    std::vector<int> starts;
    for (auto _ : state) {
        engine.Realign(&s.data, text, starts);
        benchmark::DoNotOptimize(starts.data());
    }
    state.SetItemsProcessed(state.iterations() * AdmissibleWindows(s.data));
}
BENCHMARK(BM_RealignEveryWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
