// Starting points of small inputs: every window of the input scored as a
// consensus against the input and its controls (ten times as many
// sequences), at a width of 12, for 20 promoters of 500 letters and for 35
// of 2,000 (the largest Tompa set), where the first pass takes evenly
// spaced windows.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "search/WindowSeeds.h"

namespace {

std::vector<SeqRecord> Random(int n, int length, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<SeqRecord> out;
    for (int i = 0; i < n; ++i) {
        std::string s(static_cast<size_t>(length), 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        SeqRecord r;
        r.Assign("s" + std::to_string(i), s.data(), s.size());
        out.push_back(r);
    }
    return out;
}

void BM_EnrichedWindows(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0)), length = static_cast<int>(state.range(1));
    const std::vector<SeqRecord> input = Random(n, length, 1), controls = Random(10 * n, length, 2);
    for (auto _ : state) {
        std::vector<WindowSeed> seeds = EnrichedWindows(input, controls, 12, true, 5);
        benchmark::DoNotOptimize(seeds.data());
    }
}
// Arguments: input sequences, letters each.
BENCHMARK(BM_EnrichedWindows)->Args({20, 500})->Args({35, 2000})->Unit(benchmark::kMillisecond);

}  // namespace
