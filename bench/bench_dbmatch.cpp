// Naming a motif after a database: readying the JASPAR 2024 vertebrate
// matrices (879, from ../shared/data next to the source folder; the ten of the
// test excerpt when that is missing), and one query of width 15 against all.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "known/DbMatch.h"
#include "motif/MotifDb.h"
#include "motif_fixture.h"

namespace {

const std::vector<DbMotif>& Database() {
    static const std::vector<DbMotif> db = [] {
        const std::filesystem::path source(QIRO_SOURCE_DIR);
        std::filesystem::path file = source.parent_path() / "shared" / "data" / "jaspar2024_core" /
                                     "JASPAR2024_CORE_vertebrates_non-redundant_pfms_meme.txt";
        if (!std::filesystem::exists(file)) file = source / "tests" / "data" / "jaspar_excerpt_meme.txt";
        return LoadMotifDatabases({file.string()});
    }();
    return db;
}

// Random columns (a fixed draw).
MotifColumns Query(int width) {
    std::mt19937 rng(3);
    return motiffixture::RandomMotif(rng, width);
}

void BM_BuildMatcher(benchmark::State& state) {
    const std::vector<DbMotif>& db = Database();
    for (auto _ : state) {
        MotifMatcher matcher(db);
        benchmark::DoNotOptimize(matcher.size());
    }
    state.counters["motifs"] = static_cast<double>(db.size());
}
BENCHMARK(BM_BuildMatcher)->Unit(benchmark::kMillisecond);

void BM_MatchQuery(benchmark::State& state) {
    const MotifMatcher matcher(Database());
    const MotifColumns q = Query(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(matcher.Match(q).data());
    state.counters["motifs"] = static_cast<double>(matcher.size());
}
BENCHMARK(BM_MatchQuery)->Arg(15)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
