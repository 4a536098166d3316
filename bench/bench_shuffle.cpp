// Word-keeping shuffles of 1 Mb of synthetic sequence: random letters, and
// tandem repeats with long single-letter runs, where the tree step's walks are
// longest.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/StageRandom.h"
#include "judge/Shuffle.h"

namespace {

std::vector<uint8_t> Megabase(bool repeats) {
    std::mt19937 rng(5);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint8_t> c;
    while (c.size() < 1000000) {
        if (!repeats) {
            c.push_back(static_cast<uint8_t>(pick(0, 3)));
        } else if (pick(0, 9) == 0) {
            c.insert(c.end(), static_cast<size_t>(pick(100, 3000)), static_cast<uint8_t>(pick(0, 3)));
        } else {
            std::vector<uint8_t> unit(static_cast<size_t>(pick(1, 6)));
            for (uint8_t& u : unit) u = static_cast<uint8_t>(pick(0, 3));
            for (int i = pick(10, 150), j = 0; i > 0; --i, ++j)
                c.push_back(pick(0, 19) == 0 ? static_cast<uint8_t>(pick(0, 3)) : unit[j % unit.size()]);
        }
    }
    c.resize(1000000);
    return c;
}

void BM_Shuffle(benchmark::State& state) {
    static const std::vector<uint8_t> random = Megabase(false), repeats = Megabase(true);
    const std::vector<uint8_t>& codes = state.range(1) != 0 ? repeats : random;
    WordShuffler shuffler(static_cast<int>(state.range(0)));
    StageRandom rng(1, kStageControls);
    std::vector<uint8_t> out;
    for (auto _ : state) {
        shuffler.Shuffle(codes.data(), codes.size(), rng, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(codes.size()));
}
// Arguments: word length, repeat-rich (1) or random (0) letters.
BENCHMARK(BM_Shuffle)->ArgsProduct({{1, 2, 3, 6}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
