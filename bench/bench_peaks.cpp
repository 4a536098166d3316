// Peaks on a genome: 10,000 narrowPeak peaks in random order loaded and cut
// out of a 100-Mb genome (four chromosomes of 25 Mb, random letters, plain
// FASTA and bgzip), its .fai (and .gzi) index made beforehand, as a run finds
// it after its first use. The counter rss_added_MB is the growth of the
// process's peak resident memory over the whole benchmark, the index loaded
// included.
#include <benchmark/benchmark.h>
#include <htslib/bgzf.h>
#include <htslib/faidx.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "input/Midlayer.h"

namespace {

const int kChromosomes = 4;
const long long kChromosomeLength = 25000000;
const int kPeaks = 10000;

struct BenchGenome {
    std::string folder, plain, packed, peaks;

    BenchGenome() {
        folder = (std::filesystem::temp_directory_path() / "qiro-bench-genome").string();
        std::filesystem::create_directories(folder);
        plain = folder + "/genome.fa";
        packed = folder + "/genome.fa.gz";
        peaks = folder + "/peaks.narrowPeak";
        std::mt19937 rng(9);
        // Written a line at a time through both writers, so the 100 Mb are never held whole.
        FILE* out = std::fopen(plain.c_str(), "w");
        BGZF* gz = bgzf_open(packed.c_str(), "w");
        std::string line;
        for (int c = 0; c < kChromosomes; ++c) {
            line = ">chr" + std::to_string(c + 1) + "\n";
            std::fputs(line.c_str(), out);
            if (bgzf_write(gz, line.data(), line.size()) < 0) std::abort();
            for (long long i = 0; i < kChromosomeLength; i += 60) {
                line.clear();
                for (int j = 0; j < 60; ++j) line += "ACGTacgt"[rng() % 8];
                line += '\n';
                std::fputs(line.c_str(), out);
                if (bgzf_write(gz, line.data(), line.size()) < 0) std::abort();
            }
        }
        std::fclose(out);
        if (bgzf_close(gz) != 0 || fai_build(plain.c_str()) != 0 || fai_build(packed.c_str()) != 0) std::abort();
        std::ostringstream text;
        for (int p = 0; p < kPeaks; ++p) {
            const long long start = rng() % (kChromosomeLength - 1000);
            const long long length = 200 + rng() % 600;
            text << "chr" << 1 + rng() % kChromosomes << "\t" << start << "\t" << start + length << "\tpeak" << p
                 << "\t0\t.\t1\t1\t1\t" << rng() % length << "\n";
        }
        std::FILE* f = std::fopen(peaks.c_str(), "w");
        std::fputs(text.str().c_str(), f);
        std::fclose(f);
    }
    ~BenchGenome() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

long PeakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_LoadPeaks(benchmark::State& state) {
    static const BenchGenome genome;
    const std::string& fasta = state.range(0) != 0 ? genome.packed : genome.plain;
    const long before = PeakRssKb();
    std::streambuf* console = std::cout.rdbuf(nullptr);  // LoadPeaks reports on the console
    long long letters = 0;
    for (auto _ : state) {
        Midlayer data;
        data.LoadPeaks(genome.peaks, fasta, 100);
        letters = data.BigK;
        benchmark::DoNotOptimize(data.Seqs.data());
    }
    std::cout.rdbuf(console);
    state.counters["rss_added_MB"] = static_cast<double>(PeakRssKb() - before) / 1024.0;
    state.counters["letters"] = static_cast<double>(letters);
}
// Argument: plain FASTA (0) or bgzip (1).
BENCHMARK(BM_LoadPeaks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
