// Fast paths of post-processing (shared refinement tables, bounds, sorting, information content) against plain forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "fast_fixture.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"
#include "search/Individual.h"
#include "search/PostProcessing.h"

namespace {

using fasttest::Engine;
using fasttest::ExpectSameModels;
using fasttest::Planted;

// Each model refined step by step with the plain steps (no shared tables, so
// every call scans every window).
std::vector<Individual> RefinePlainly(GAFrame& e, Midlayer* data, std::vector<Individual> models, int perStrand) {
    for (Individual& m : models) {
        double previous = m.getIC();
        e.AddingStep(&m, data);
        e.RemovingStep(&m, data, perStrand);
        while (m.getIC() - previous > 0) {
            previous = m.getIC();
            e.AddingStep(&m, data);
            e.RemovingStep(&m, data, perStrand);
        }
    }
    std::stable_sort(models.begin(), models.end(), RankMAPS);
    return models;
}

// A population after some generations from a fixed seed, and its models merged.
void SearchThenMerge(GAFrame& e, Planted& p, uint32_t seed, int generations, std::vector<Individual>& pop,
                     std::vector<Individual>& merged) {
    SeedRandom(seed);
    const bool usePK = false;
    testing::internal::CaptureStdout();
    e.Initialization(usePK, &p.data, &pop);
    testing::internal::GetCapturedStdout();
    for (int gen = 0; gen < generations; ++gen) e.GeneticOperation(&p.data, &pop);
    merged = pop;
    e.MergingStep(&p.data, &merged);
}

TEST(FastPost, SharedRefinementTablesChangeNothing) {
    Planted p(10);
    GAFrame e = Engine(1);
    std::vector<Individual> pop, merged;
    SearchThenMerge(e, p, 31, 10, pop, merged);
    // Each model refined step by step without the shared tables ...
    const std::vector<Individual> plain = RefinePlainly(e, &p.data, merged, 2);
    // ... and by the driver, which shares them between threads.
    e.Threads = 2;
    e.PostProcessing(&p.data, &pop, 2);
    ExpectSameModels(pop, plain);
}

TEST(FastPost, EveryPickByBoundsMatchesAPlainScan) {
    // Enough windows (and a weak enough motif) that the models go through
    // many refinement cycles, so that bounds are made, outlived and remade.
    Planted p(10, 150, 120, 0.6, 2);
    GAFrame e = Engine(2);
    std::vector<Individual> pop, merged;
    SearchThenMerge(e, p, 12, 4, pop, merged);
    const std::vector<Individual> plain = RefinePlainly(e, &p.data, merged, 2);

    struct Variant {
        const char* name;
        double cap;
        size_t look, head, perSite;
    };
    const Variant variants[] = {
        {"defaults", 1.0, 4096, 8192, 4},
        {"bounds remade at almost every call", 1e-9, 4096, 8192, 4},
        {"bounds so loose the look gives up", 40.0, 0, 8192, 4},
        {"bounds sorted when first reached", 0.05, 1500, 5, 0},
        {"looks often given up", 1.0, 300, 8192, 0},
    };
    PostProcessor post(&p.data, e.K);
    post.UseTables();
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        post.Looks.DriftCap = v.cap;
        post.Looks.Look = v.look;
        post.Looks.Head = v.head;
        post.Looks.PerSite = v.perSite;
        // Each call's pick, against a plain scan of every window for the same model.
        int picks = 0, mismatches = 0;
        RefineCounts c;
        for (Individual m : merged) {
            AddingMemo memo;
            double previous = m.getIC();
            do {
                previous = m.getIC();
                kmer fast{}, slow{};
                const bool a = post.BestAddition(m, &memo, &fast);
                const bool b = post.BestAddition(m, nullptr, &slow);
                ++picks;
                if (a != b || (a && (fast.Pos != slow.Pos || fast.Strand != slow.Strand ||
                                     std::memcmp(&fast.BGScore, &slow.BGScore, sizeof(double)) != 0)))
                    ++mismatches;
                if (a) post.AddSite(&m, fast, &memo);
                post.RemovingStep(&m, 2, &memo);
            } while (m.getIC() - previous > 0);
            c.full += memo.counts.full;
            c.bounded += memo.counts.bounded;
            c.ratio += memo.counts.ratio;
            c.late += memo.counts.late;
            c.blockMade += memo.counts.blockMade;
        }
        EXPECT_EQ(mismatches, 0) << "of " << picks;
        // The ruled-out positions followed the sites one change at a time:
        // made afresh for each model and after the first cut to two sites a
        // strand, not at every call.
        EXPECT_LE(c.blockMade, 2 * merged.size());
        EXPECT_GT(picks, 4 * static_cast<int>(merged.size()));
        // Each variant took the path it is meant to exercise.
        EXPECT_GT(c.full, 0u);
        if (v.cap < 1e-6) {
            EXPECT_GT(c.full, 10 * (c.bounded + c.ratio));
        } else if (v.cap > 10) {
            EXPECT_GT(c.ratio, c.bounded);
        } else if (v.head < 10) {
            EXPECT_GT(c.late, 0u);
            EXPECT_GT(c.bounded, 0u);
        } else if (v.perSite == 0) {
            EXPECT_GT(c.bounded, 0u);
            EXPECT_GT(c.ratio, 0u);
        } else {
            EXPECT_GT(c.bounded, 10 * (c.full + c.ratio));
        }
        // And the driver, which shares the tables between threads, ends where
        // the plain steps do.
        std::vector<Individual> work = pop;
        PostProcessor driver(&p.data, e.K, e.Threads);
        driver.Looks = post.Looks;
        driver.Run(&work, 2);
        ExpectSameModels(work, plain);
    }
}

TEST(FastPost, SortingByBackgroundScoreIsTheLibrarysStableSort) {
    std::mt19937 rng(5);
    const double nan = std::nan("");
    for (int round = 0; round < 300; ++round) {
        const int n = static_cast<int>(rng() % 200);
        std::vector<kmer> sites;
        for (int i = 0; i < n; ++i) {
            // Few distinct scores (ties), both zeros, now and then an undefined one.
            double score = static_cast<double>(rng() % 12) - 6;
            if (score == 0 && rng() % 2) score = -0.0;
            if (round % 5 == 4 && rng() % 40 == 0) score = nan;
            sites.push_back({i, static_cast<int>(rng() % 7), 0.0, score});
        }
        // Sorted, nearly sorted (the usual case), reversed and shuffled inputs.
        switch (round % 4) {
            case 0: std::stable_sort(sites.begin(), sites.end(), BComp()); break;
            case 1:
                std::stable_sort(sites.begin(), sites.end(), BComp());
                for (int s = 0; s < n / 10; ++s) std::swap(sites[rng() % n], sites[rng() % n]);
                break;
            case 2: std::stable_sort(sites.begin(), sites.end(), [](const kmer& a, const kmer& b) { return a.BGScore > b.BGScore; }); break;
            default: break;
        }
        std::vector<kmer> expected = sites;
        std::stable_sort(expected.begin(), expected.end(), BComp());
        std::vector<kmer> got;
        SortByBackgroundScore(sites, got);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].Pos, expected[i].Pos) << "round " << round << " at " << i;
            EXPECT_EQ(0, std::memcmp(&got[i].BGScore, &expected[i].BGScore, sizeof(double)));
        }
    }
}

TEST(FastPost, InformationContentBeforeScoringMatchesScoring) {
    Planted p(10);
    std::mt19937 rng(8);
    const int S = p.data.GetNumStrands();
    for (int round = 0; round < 200; ++round) {
        std::vector<kmer> sites;
        const int n = round % 7 == 0 ? round % 3 : 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            const int g = static_cast<int>(rng() % S);
            const int pos = static_cast<int>(rng() % (p.data.Seqs[g].len - 10 + 1));
            sites.push_back({pos, g, 0.0, 0.0});
        }
        for (bool withExtra : {false, true}) {
            if (withExtra && sites.empty()) continue;
            std::vector<kmer> head = sites;
            const kmer* extra = nullptr;
            kmer last{};
            if (withExtra) {
                last = head.back();
                head.pop_back();
                extra = &last;
            }
            const double before = Individual::SitesIC(&p.data, p.data.GetFreqInfo(), 10, head, extra);
            Individual m;
            m.setConLen(10);
            m.Sites = sites;
            m.setGeneNo(static_cast<int>(sites.size()));
            m.CalculateIndiFitness_vector(&p.data, p.data.GetFreqInfo());
            const double scored = m.getIC();
            EXPECT_EQ(0, std::memcmp(&before, &scored, sizeof(double))) << before << " vs " << scored << " n=" << n;
        }
    }
}

}  // namespace
