// Fast paths of the search (mismatch terms, re-alignment, crossover, scoring, threads) against their plain forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli_util.h"
#include "core/Constants.h"
#include "fast_fixture.h"
#include "input/Midlayer.h"
#include "planted.h"
#include "search/GAFrame.h"
#include "search/Individual.h"
#include "search/PostProcessing.h"

namespace {

using clitest::WorkDir;
using fasttest::Engine;
using fasttest::ExpectSameModels;
using fasttest::Planted;

// A random column-stochastic matrix; some columns hold ties or a single base.
void RandomMatrix(std::mt19937& rng, double (&m)[B][MAX_K], int k) {
    for (int j = 0; j < k; ++j) {
        int kind = static_cast<int>(rng() % 4);
        double v[4];
        if (kind == 0) {  // one base only
            for (double& x : v) x = 0;
            v[rng() % 4] = 1;
        } else if (kind == 1) {  // counts of a small site set, so ties happen
            int n = 1 + static_cast<int>(rng() % 6);
            for (double& x : v) x = 0;
            for (int i = 0; i < n; ++i) v[rng() % 4] += 1.0 / n;
        } else {
            double sum = 0;
            for (double& x : v) sum += (x = (rng() % 1000) / 1000.0);
            for (double& x : v) x = sum > 0 ? x / sum : 0.25;
        }
        for (int b = 0; b < B; ++b) m[b][j] = v[b];
    }
}

// The defining form of the window mismatch, letter by letter.
double PlainMismatch(const double (&m)[B][MAX_K], const double (&pos)[B][MAX_K], const char* word, int k) {
    double num = 0, den = 0;
    for (int p = 0; p < k; ++p) {
        int c = Midlayer::LookupCode(word[p]);
        for (int b = 0; b < B; ++b) {
            double delta = b == c ? 1.0 : 0.0;
            num += std::fabs(m[b][p] - delta) / 2;
            den += std::fabs(pos[b][p] - delta) / 2;
        }
    }
    return num / den;
}

TEST(FastMismatch, TermTablesMatchTheDefiningSumsBitForBit) {
    std::mt19937 rng(5);
    Midlayer data;
    const char* letters = "ACGTacgtN";
    for (int k : {1, 4, 8, 12, 21, 40}) {
        for (int round = 0; round < 40; ++round) {
            Individual model;
            RandomMatrix(rng, model.MismatchMatrix, k);
            RandomMatrix(rng, data.PosFreq, k);
            const MismatchScorer scorer(model.MismatchMatrix, data.PosFreq, k);
            std::string w[4];
            uint8_t codes[4][MAX_K];
            for (int i = 0; i < 4; ++i) {
                for (int p = 0; p < k; ++p) w[i] += letters[rng() % 9];
                for (int p = 0; p < k; ++p) codes[i][p] = kBaseCode[static_cast<unsigned char>(w[i][p])];
            }
            double four[4];
            scorer.Exact4(codes[0], codes[1], codes[2], codes[3], four);
            for (int i = 0; i < 4; ++i) {
                const double plain = PlainMismatch(model.MismatchMatrix, data.PosFreq, w[i].c_str(), k);
                const double exact = scorer.Exact(codes[i]);
                // Bit for bit, NaN included (a window of N against single-base columns).
                EXPECT_EQ(std::memcmp(&plain, &exact, sizeof plain), 0) << plain << " " << exact << " " << w[i];
                EXPECT_EQ(std::memcmp(&exact, &four[i], sizeof exact), 0) << w[i];
                const double viaCodes = model.MismatchCodes(&data, codes[i], k);
                EXPECT_EQ(std::memcmp(&exact, &viaCodes, sizeof exact), 0) << w[i];
                const double viaText = model.CalculateMismatch(&data, w[i].c_str());
                EXPECT_EQ(std::memcmp(&viaText, &plain, sizeof plain), 0) << w[i];
                const double approx = scorer.Approx(codes[i]);
                if (std::isfinite(plain) && plain > 0) {
                    EXPECT_LE(std::fabs(approx - plain) / plain, 1e-12) << w[i];
                }
            }
        }
    }
}

TEST(FastMismatch, ProfileTermsMatchTheProfileMismatch) {
    std::mt19937 rng(8);
    GAFrame e;
    for (int k : {3, 10, 40}) {
        for (int round = 0; round < 50; ++round) {
            RandomMatrix(rng, e.PKProfile, k);
            const ProfileScorer scorer(e.PKProfile, k);
            std::string w;
            for (int p = 0; p < k; ++p) w += "ACGTacgt"[rng() % 8];
            uint8_t codes[MAX_K];
            for (int p = 0; p < k; ++p) codes[p] = kBaseCode[static_cast<unsigned char>(w[p])];
            // The defining form: halved distances to the one-hot column of each letter.
            double plain = 0;
            for (int p = 0; p < k; ++p)
                for (int b = 0; b < B; ++b)
                    plain += b == Midlayer::LookupCode(w[p]) ? std::fabs(e.PKProfile[b][p] - 1) / 2
                                                              : std::fabs(e.PKProfile[b][p]) / 2;
            EXPECT_EQ(scorer.Exact(codes), plain) << w;
            EXPECT_EQ(e.CalMismatch(w.c_str()), plain) << w;
            EXPECT_LE(std::fabs(scorer.Approx(codes) - plain), 1e-12 * std::max(1.0, plain)) << w;
        }
    }
}

// A data layer of random mixed-case strands with every window admissible.
struct RandomStrands {
    WorkDir dir;
    Midlayer data;
    RandomStrands(std::mt19937& rng, int count, int k) {
        std::string fasta;
        for (int i = 0; i < count; ++i) {
            fasta += ">r" + std::to_string(i) + "\n";
            const int len = k + static_cast<int>(rng() % 90);
            for (int p = 0; p < len; ++p) fasta += "ACGTacgt"[rng() % 8];
            fasta += "\n";
        }
        dir.write("in.fa", fasta);
        dir.write("bg.freq", clitest::FlatBackground());
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        data.OpenFreqFile(dir.file("bg.freq"));
        data.LoadFreqInfo();
        data.SetFilter(false);
        data.SetK(k);
        data.ComputePosFreq(true);
        data.Filtering();
        testing::internal::GetCapturedStdout();
    }
};

TEST(FastRealign, EveryScanPathMatchesALetterByLetterScan) {
    std::mt19937 rng(12);
    // Whole lists take the sliding path; thinned ones (as the known-site
    // filter leaves them) read window by window, reverse strands off the
    // forward words; widths over 32 use two words.
    for (int k : {4, 9, 16, 31, 32, 33, 38}) for (bool thin : {false, true}) {
        RandomStrands s(rng, 6, k);
        if (thin) {
            for (std::vector<int>& list : s.data.Candidates) {
                std::vector<int> kept;
                for (int p : list)
                    if (rng() % 3 != 0) kept.push_back(p);
                if (kept.empty()) kept.push_back(list.back());
                list = kept;
            }
        }
        GAFrame e;
        e.K = k;
        for (int t = 0; t < 30; ++t) {
            std::string text(k, 'A');
            for (char& c : text) c = "ACGT"[rng() % 4];
            if (t % 3 == 0) {  // a text that occurs, to meet the early stop at distance 0
                const SeqRecord& r = s.data.Seqs[rng() % s.data.Seqs.size()];
                const int p = static_cast<int>(rng() % (r.len - k + 1));
                for (int j = 0; j < k; ++j) text[j] = static_cast<char>(std::toupper(r.Letter(p + j)));
            }
            std::vector<int> got;
            e.Realign(&s.data, text.c_str(), got);
            for (size_t g = 0; g < s.data.Seqs.size(); ++g) {
                const SeqRecord& r = s.data.Seqs[g];
                int best = 2 * k, bestPos = -1;
                for (int p : s.data.Candidates[g]) {
                    int d = 0;
                    for (int j = 0; j < k; ++j) d += std::toupper(r.Letter(p + j)) != text[j];
                    if (d < best) {
                        best = d;
                        bestPos = p;
                    }
                }
                ASSERT_EQ(got[g], bestPos) << "k " << k << " strand " << g << " text " << text;
            }
        }
    }
}

TEST(FastRealign, ReverseWindowsReadOffTheForwardLettersMatchTheirOwnCodes) {
    // A reverse strand keeps no packed copy of its own: its windows are read
    // off the forward words, complemented and reversed, with letters that
    // have no code put back to A as on the forward strand.
    WorkDir dir;
    std::mt19937 rng(31);
    std::string fasta;
    for (int s = 0; s < 12; ++s) {
        const int len = 1 + static_cast<int>(rng() % 150);
        fasta += ">s" + std::to_string(s) + "\n";
        for (int i = 0; i < len; ++i) {
            const int kind = static_cast<int>(rng() % (s % 3 == 0 ? 8 : 10));  // some strands without N
            fasta += kind < 8 ? "ACGTacgt"[kind] : 'N';
        }
        fasta += "\n";
    }
    dir.write("in.fa", fasta);
    Midlayer m;
    testing::internal::CaptureStdout();
    m.OpenSeqFile(dir.file("in.fa"));
    m.LoadSeqs();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(m.Seqs.size(), 24u);
    for (const SeqRecord& r : m.Seqs) {
        for (int n = 1; n <= 32 && n <= r.len; ++n) {
            for (int p = 0; p + n <= r.len; ++p) {
                uint64_t want = 0;
                for (int j = 0; j < n; ++j) {
                    const uint8_t b = r.code[p + j];
                    want |= uint64_t(b == BASE_NONE ? 0 : b) << (2 * j);
                }
                ASSERT_EQ(r.Bits(p, n), want) << r.Name() << (r.forward ? " +" : " -") << " p " << p << " n " << n;
            }
        }
    }
}

TEST(FastRealign, WideScanMatchesTheSlidingScan) {
    if (!WindowIndex::WideAvailable()) GTEST_SKIP() << "no 512-bit integer instructions on this processor";
    std::mt19937 rng(14);
    for (int k : {4, 10, 16, 17, 32}) {  // up to 16 letters: 32-bit windows, where the processor allows
        RandomStrands s(rng, 8, k);
        GAFrame wide, plain;
        wide.K = plain.K = k;
        plain.Windows.UseWide = false;
        wide.Windows.Pack(&s.data, k);
        const bool narrow = k <= 16 && WindowIndex::NarrowAvailable();
        ASSERT_EQ((narrow ? wide.Windows.WindowBits32.size() : wide.Windows.WindowBits.size()), s.data.Seqs.size());
        for (int t = 0; t < 60; ++t) {
            std::string text(k, 'A');
            for (char& c : text) c = "ACGT"[rng() % 4];
            // Near texts make many equally near windows, exercising the first-of-equals rule.
            if (t % 2 == 0) {
                const SeqRecord& r = s.data.Seqs[rng() % s.data.Seqs.size()];
                const int p = static_cast<int>(rng() % (r.len - k + 1));
                for (int j = 0; j < k; ++j) text[j] = static_cast<char>(std::toupper(r.Letter(p + j)));
                if (t % 4 == 0) text[rng() % k] = "ACGT"[rng() % 4];
            }
            std::vector<int> a, b;
            wide.Realign(&s.data, text.c_str(), a);
            plain.Realign(&s.data, text.c_str(), b);
            ASSERT_EQ(a, b) << "k " << k << " text " << text;
        }
    }
}

TEST(FastCrossover, OnePassRepairMatchesSortingByStrand) {
    std::mt19937 rng(21);
    RandomStrands s(rng, 9, 6);
    const int n = static_cast<int>(s.data.Seqs.size());
    GAFrame e;
    e.K = 6;
    for (int round = 0; round < 200; ++round) {
        // Children as options 1 and 2 leave them: n records, some strands twice, some missing.
        std::vector<std::vector<kmer>> offspring(2);
        for (auto& child : offspring)
            for (int i = 0; i < n; ++i)
                child.push_back({static_cast<int>(rng() % 5), static_cast<int>(rng() % n), double(i), 0.0});
        std::vector<std::vector<kmer>> expected = offspring;
        SeedRandom(round);
        for (auto& child : expected) {
            std::stable_sort(child.begin(), child.end(), KComp());
            std::vector<int> count(n, 0);
            for (const kmer& r : child) ++count[r.Strand];
            std::vector<kmer> kept;
            for (size_t i = 0; i < child.size(); ++i)
                if (i == 0 || child[i].Strand != child[i - 1].Strand) kept.push_back(child[i]);
            for (int g = 0; g < n; ++g)
                if (count[g] == 0) kept.push_back({s.data.Candidates[g][Random() % s.data.Candidates[g].size()], g, 0, 0});
            std::stable_sort(kept.begin(), kept.end(), KComp());
            child = kept;
        }
        SeedRandom(round);
        e.PostCrossover(offspring, &s.data);
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(offspring[c].size(), expected[c].size());
            for (size_t i = 0; i < expected[c].size(); ++i) {
                EXPECT_EQ(offspring[c][i].Strand, expected[c][i].Strand);
                EXPECT_EQ(offspring[c][i].Pos, expected[c][i].Pos);
                EXPECT_EQ(offspring[c][i].Score, expected[c][i].Score);
            }
        }
    }
}

// Two parents over n strands of s with random starts and scores: ties,
// zeros of both signs and, when asked, NaN among them.
std::vector<Individual> RandomParents(std::mt19937& rng, const Midlayer& data, int n, bool withNaN) {
    std::vector<Individual> parents(2);
    for (Individual& p : parents) {
        p.setGeneNo(n);
        p.Genes.resize(n);
        p.GeneMismatch.resize(n);
        for (int g = 0; g < n; ++g) {
            const std::vector<int>& list = data.Candidates[g];
            p.Genes[g] = list[rng() % list.size()];
            const int kind = static_cast<int>(rng() % 10);
            p.GeneMismatch[g] = kind < 4 ? (rng() % 4) / 8.0 : kind == 4 ? -0.0 : kind == 5 && withNaN ? NAN : (rng() % 1000) / 997.0;
        }
    }
    return parents;
}

TEST(FastCrossover, StartsStraightFromTheParentsMatchCrossoverAndRepair) {
    std::mt19937 rng(5);
    RandomStrands s(rng, 8, 6);
    // Models over the first n strands: odd and even counts, one and two.
    for (int n : {1, 2, 3, 5, 8, 15, 16}) {
        for (int round = 0; round < 150; ++round) {
            std::vector<Individual> two = RandomParents(rng, s.data, n, round % 5 == 0);
            const std::vector<const Individual*> parents = {&two[0], &two[1]};
            GAFrame plain, fast;
            for (int pass = 0; pass < 2; ++pass) {  // the second pass meets the orders kept by the first
                // The reference works on copies without any kept order.
                std::vector<Individual> fresh = two;
                for (Individual& m : fresh) m.SiteOrder.reset();
                const std::vector<const Individual*> freshParents = {&fresh[0], &fresh[1]};
                SeedRandom(1000 + round);
                std::vector<std::vector<kmer>> offspring;
                plain.Crossover(freshParents, offspring, &s.data);
                const int next = Random();
                SeedRandom(1000 + round);
                std::vector<int> first, second;
                fast.CrossoverStarts(parents, &s.data, first, second);
                ASSERT_EQ(Random(), next) << "n " << n << " round " << round;  // the same draws
                ASSERT_EQ(offspring.size(), 2u);
                for (int g = 0; g < n; ++g) {
                    // After the repair each strand has one record, in strand order
                    // (option 3 children are in strand order from the start).
                    ASSERT_EQ(offspring[0][g].Strand, g);
                    EXPECT_EQ(first[g], offspring[0][g].Pos) << "n " << n << " round " << round << " strand " << g;
                    EXPECT_EQ(second[g], offspring[1][g].Pos) << "n " << n << " round " << round << " strand " << g;
                }
            }
        }
    }
}

TEST(FastCrossover, SiteOrdersMatchSortingTheSiteRecords) {
    std::mt19937 rng(6);
    RandomStrands s(rng, 20, 6);
    const int n = static_cast<int>(s.data.Seqs.size());
    GAFrame e;
    auto expectSortedRecords = [&](const Individual& m, const char* what) {
        std::vector<kmer> list(n);
        for (int g = 0; g < n; ++g) list[g] = {m.Genes[g], g, m.GeneMismatch[g], 0.0};
        e.SortedParent(&list, 1);
        const std::vector<int> order = SiteOrderOf(m);
        ASSERT_EQ(static_cast<int>(order.size()), n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(order[i], list[i].Strand) << what;
    };
    for (int round = 0; round < 100; ++round) {
        std::vector<Individual> two = RandomParents(rng, s.data, n, round % 2 == 0);
        expectSortedRecords(two[0], "worked out");
        expectSortedRecords(two[0], "kept");
    }
    // Rescoring a model drops the order it kept.
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    Individual m;
    m.setConLen(6);
    m.setGeneNo(n);
    for (int round = 0; round < 20; ++round) {
        std::vector<int> starts(n);
        for (int g = 0; g < n; ++g) starts[g] = s.data.Candidates[g][rng() % s.data.Candidates[g].size()];
        m.CalculateIndiFitness(&s.data, bg, starts);
        expectSortedRecords(m, "rescored");
    }
}

TEST(FastSearch, ModelsSortedByIndexMatchTheLibrarySort) {
    std::mt19937 rng(8);
    for (int round = 0; round < 100; ++round) {
        std::vector<Individual> models(1 + rng() % 60);
        for (size_t i = 0; i < models.size(); ++i) {
            const int kind = static_cast<int>(rng() % 8);
            const double m = kind < 5 ? (rng() % 6) / 4.0 : kind == 5 ? -0.0 : kind == 6 && round % 4 == 0 ? NAN : 0.0;
            models[i].setFitness(0.0, m, 0.0, "", 0);
            models[i].setID(static_cast<int>(i));
            models[i].Genes.assign(3, static_cast<int>(i));
        }
        std::vector<Individual> expected = models;
        std::stable_sort(expected.begin(), expected.end());
        StableSortModels(models);
        ASSERT_EQ(models.size(), expected.size());
        for (size_t i = 0; i < models.size(); ++i) {
            EXPECT_EQ(models[i].getID(), expected[i].getID()) << "round " << round << " place " << i;
            EXPECT_EQ(models[i].Genes, expected[i].Genes);
        }
    }
}

TEST(FastScoring, WideLetterTalliesMatchThePlainOnes) {
    if (!UseWideCounting) GTEST_SKIP() << "no 512-bit integer instructions here";
    std::mt19937 rng(17);
    for (int k : {1, 7, 10, 32, 40}) {
        // Over 255 strands with one base at an offset, so that the byte
        // counters must be emptied in time; some letters are lower case (the
        // same codes) and some N (counted nowhere).
        WorkDir dir;
        std::string fasta;
        for (int i = 0; i < 700; ++i) {
            fasta += ">r" + std::to_string(i) + "\n";
            const int len = k + static_cast<int>(rng() % 10);
            // Mostly A, so that some offsets count over 255 of one base.
            for (int p = 0; p < len; ++p) fasta += "ACGTacgtN"[rng() % 3 == 0 ? rng() % 9 : 0];
            fasta += "\n";
        }
        dir.write("in.fa", fasta);
        Midlayer data;
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        testing::internal::GetCapturedStdout();
        data.SetK(k);
        data.ComputePosFreq(true);
        const int S = data.GetNumStrands();
        const double bg[4] = {0.3, 0.2, 0.2, 0.3};
        for (int round = 0; round < 5; ++round) {
            std::vector<int> starts(S);
            for (int g = 0; g < S; ++g) starts[g] = static_cast<int>(rng() % (data.Seqs[g].len - k + 1));
            Individual wide, plain;
            for (Individual* m : {&wide, &plain}) {
                m->setConLen(k);
                m->setGeneNo(S);
            }
            wide.CalculateIndiFitness(&data, bg, starts);
            char wideText[MAX_K + 1], plainText[MAX_K + 1];
            const int slots[2] = {0, k - 1};
            wide.ApplyReplacedOffsets(&data, wideText, starts, slots, k > 1 ? 2 : 1);
            UseWideCounting = false;
            plain.CalculateIndiFitness(&data, bg, starts);
            plain.ApplyReplacedOffsets(&data, plainText, starts, slots, k > 1 ? 2 : 1);
            UseWideCounting = true;
            EXPECT_EQ(std::string(wideText, k), std::string(plainText, k)) << "k " << k;
            for (int b = 0; b < B; ++b)
                for (int j = 0; j < k; ++j) ASSERT_EQ(wide.MismatchMatrix[b][j], plain.MismatchMatrix[b][j]) << "k " << k;
            Individual scoredWide, scoredPlain;
            for (Individual* m : {&scoredWide, &scoredPlain}) {
                m->setConLen(k);
                m->setGeneNo(S);
            }
            scoredWide.CalculateIndiFitness(&data, bg, starts);
            UseWideCounting = false;
            scoredPlain.CalculateIndiFitness(&data, bg, starts);
            UseWideCounting = true;
            EXPECT_EQ(scoredWide.getIC(), scoredPlain.getIC()) << "k " << k;
            EXPECT_EQ(scoredWide.getMismatch(), scoredPlain.getMismatch()) << "k " << k;
            EXPECT_EQ(scoredWide.getComplexity(), scoredPlain.getComplexity()) << "k " << k;
            EXPECT_STREQ(scoredWide.getCons(), scoredPlain.getCons()) << "k " << k;
            EXPECT_EQ(scoredWide.GeneMismatch, scoredPlain.GeneMismatch) << "k " << k;
        }
    }
}

TEST(FastSearch, ThreadsAndTheAlignmentCacheChangeNothing) {
    Planted p(10);
    std::vector<std::vector<Individual>> results;
    std::vector<int> nextDraw;
    for (int threads : {1, 2, 3}) {
        for (bool keepCache : {true, false}) {
            GAFrame e = Engine(threads);
            SeedRandom(77);
            std::vector<Individual> pop;
            const bool usePK = false;
            testing::internal::CaptureStdout();
            e.Initialization(usePK, &p.data, &pop);
            testing::internal::GetCapturedStdout();
            for (int gen = 0; gen < 15; ++gen) {
                if (!keepCache) e.AlignCache.clear();
                e.GeneticOperation(&p.data, &pop);
                std::stable_sort(pop.begin(), pop.end());
            }
            e.PostProcessing(&p.data, &pop, 2);
            results.push_back(pop);
            nextDraw.push_back(Random());  // the same number of draws was made
        }
    }
    for (size_t i = 1; i < results.size(); ++i) {
        ExpectSameModels(results[0], results[i]);
        EXPECT_EQ(nextDraw[0], nextDraw[i]);
    }
}

TEST(FastSearch, GenerationMatchesChildByChildReplacement) {
    // One generation made through the batched path against the same generation
    // made pair by pair with Replace, the plain form.
    Planted p(10);
    GAFrame e = Engine(2);
    SeedRandom(5);
    std::vector<Individual> pop;
    const bool usePK = false;
    testing::internal::CaptureStdout();
    e.Initialization(usePK, &p.data, &pop);
    testing::internal::GetCapturedStdout();
    std::vector<Individual> plainPop = pop;
    GAFrame plain = Engine(1);

    SeedRandom(9);
    e.GeneticOperation(&p.data, &pop);
    const int after = Random();

    SeedRandom(9);
    Wheel wheel;
    plain.PreWheelSelection(&plainPop, wheel);
    std::vector<Individual> pool;
    while (pool.size() <= plainPop.size()) {
        std::vector<const Individual*> parents;
        std::vector<std::vector<kmer>> offspring;
        plain.SelectParents(parents, wheel);
        plain.Crossover(parents, offspring, &p.data);
        for (Individual& child : plain.Replace(offspring, &p.data))
            if (child.getComplexity() > p.data.GetLowerComp()) pool.push_back(child);
    }
    plain.NewPopulation(&plainPop, pool);
    EXPECT_EQ(Random(), after);
    ExpectSameModels(pop, plainPop);
}

TEST(FastRun, ThreadCountLeavesTheResultFileUnchanged) {
    WorkDir dir;
    planted::Options o;
    o.sequences = 15;
    o.length = 100;
    o.motif = "ATGCAAGGTC";
    dir.write("in.fa", planted::Make(o).fasta);
    dir.write("bg.freq", clitest::FlatBackground());
    std::string first;
    for (int threads : {1, 2, 4}) {
        clitest::Result r =
            dir.qiro("-i in.fa -freq bg.freq -k 10 -p 40 -g 30 -seed 3 -threads " + std::to_string(threads));
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string result = dir.read("qiro.out");
        ASSERT_NE(result.find("Motif Rank #1"), std::string::npos);
        if (threads == 1) first = result;
        EXPECT_EQ(result, first) << "threads " << threads;
    }
}

}  // namespace
