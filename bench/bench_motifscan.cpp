// Judging one motif: the best window of 2000 random sequences of 500 letters
// on both strands, and the threshold choice over 10000 input and 10000
// control best scores.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "judge/MotifScan.h"

namespace {

void BM_BestScorePerSequence(benchmark::State& state) {
    std::mt19937 rng(5);
    std::vector<SeqRecord> store(2000);
    std::string text(500, 'A');
    for (SeqRecord& r : store) {
        for (char& c : text) c = "ACGT"[rng() % 4];
        r.Assign("s", text.data(), text.size());
    }
    LogOdds m;
    m.k = static_cast<int>(state.range(0));
    for (int j = 0; j < m.k; ++j)
        for (int b = 0; b < B; ++b) m.score[j][b] = static_cast<double>(rng() % 1000) / 250 - 2;
    std::vector<float> best;
    for (auto _ : state) {
        BestScorePerSequence(m, store, 2000, true, best);
        benchmark::DoNotOptimize(best.data());
    }
    state.SetItemsProcessed(state.iterations() * 2000 * 500);
}
BENCHMARK(BM_BestScorePerSequence)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_ChooseThreshold(benchmark::State& state) {
    std::mt19937 rng(6);
    std::vector<float> input(10000), control(10000);
    for (float& x : input) x = static_cast<float>(rng() % 3000) / 100;
    for (float& x : control) x = static_cast<float>(rng() % 2800) / 100;
    for (auto _ : state) benchmark::DoNotOptimize(ChooseThreshold(input, control).log10p);
}
BENCHMARK(BM_ChooseThreshold)->Unit(benchmark::kMillisecond);

}  // namespace
