// Low-complexity masking of 1 Mb of synthetic sequence, half of it tandem
// repeats of 1-6 letter units and A/T-rich stretches.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "input/Dust.h"

namespace {

std::vector<uint8_t> RepeatRichMegabase() {
    std::mt19937 rng(3);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint8_t> c;
    while (c.size() < 1000000) {
        const int kind = pick(0, 3);
        if (kind <= 1) {
            for (int i = pick(20, 200); i > 0; --i) c.push_back(static_cast<uint8_t>(pick(0, 3)));
        } else if (kind == 2) {
            std::vector<uint8_t> unit(static_cast<size_t>(pick(1, 6)));
            for (uint8_t& u : unit) u = static_cast<uint8_t>(pick(0, 3));
            for (int i = pick(10, 150), j = 0; i > 0; --i, ++j)
                c.push_back(pick(0, 19) == 0 ? static_cast<uint8_t>(pick(0, 3)) : unit[j % unit.size()]);
        } else {
            for (int i = pick(10, 100); i > 0; --i)
                c.push_back(pick(0, 9) < 8 ? static_cast<uint8_t>(3 * pick(0, 1)) : static_cast<uint8_t>(pick(1, 2)));
        }
    }
    return c;
}

void BM_DustMask(benchmark::State& state) {
    static const std::vector<uint8_t> codes = RepeatRichMegabase();
    std::vector<uint64_t> bits;
    for (auto _ : state) {
        DustMask(codes.data(), codes.size(), 20.0, bits);
        benchmark::DoNotOptimize(bits.data());
    }
    long masked = 0;
    for (uint64_t w : bits) masked += __builtin_popcountll(w);
    state.counters["masked"] = static_cast<double>(masked) / static_cast<double>(codes.size());
    state.SetItemsProcessed(state.iterations() * static_cast<long>(codes.size()));
}
BENCHMARK(BM_DustMask)->Unit(benchmark::kMillisecond);

}  // namespace
