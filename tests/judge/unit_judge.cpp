// The judge's parts: the held-back split, candidates without duplicates or
// mirror images, E-values beyond the range of a double, masking found sites,
// and a planted motif judged on sequences the model never saw.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "judge/EvalueRun.h"
#include "judge/Judge.h"
#include "judge/JudgedRun.h"
#include "judge/SearchPlan.h"
#include "judge/WidthSettle.h"

namespace {

SeqRecord Record(const std::string& name, const std::string& letters) {
    SeqRecord r;
    r.Assign(name, letters.data(), letters.size());
    return r;
}

std::vector<SeqRecord> RandomSet(int n, unsigned seed, const std::string& plant) {
    std::mt19937 rng(seed);
    std::vector<SeqRecord> set;
    for (int i = 0; i < n; ++i) {
        std::string s(120, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (!plant.empty()) s.replace(20 + rng() % 80, plant.size(), plant);
        set.push_back(Record("s" + std::to_string(i), s));
    }
    return set;
}

// A model whose sites all read `word` (one-hot shares).
Individual ModelOf(const std::string& word, int sites) {
    Individual m;
    m.Sites.resize(static_cast<size_t>(sites));
    for (int j = 0; j < static_cast<int>(word.size()); ++j)
        for (int b = 0; b < B; ++b) m.MismatchMatrix[b][j] = "ACGT"[b] == word[static_cast<size_t>(j)] ? 1.0 : 0.0;
    return m;
}

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

TEST(Judge, SplitIsAPartitionFixedByTheSeed) {
    std::vector<int> train, held, train2, held2, other, otherHeld;
    SplitSequences(11, 0.5, 7, 0, train, held);
    SplitSequences(11, 0.5, 7, 0, train2, held2);
    SplitSequences(11, 0.5, 8, 0, other, otherHeld);
    EXPECT_EQ(held.size(), 5u);
    EXPECT_EQ(train.size(), 6u);
    std::vector<int> all(train);
    all.insert(all.end(), held.begin(), held.end());
    std::sort(all.begin(), all.end());
    for (int i = 0; i < 11; ++i) EXPECT_EQ(all[static_cast<size_t>(i)], i);
    EXPECT_EQ(held, held2);
    EXPECT_NE(held, otherHeld);
    EXPECT_EQ(WidthSchedule(6, 15), (std::vector<int>{6, 8, 10, 12, 14, 15}));
    EXPECT_EQ(WidthSchedule(8, 10), (std::vector<int>{8, 9, 10}));
    // A range holding half back searches its ends and its middle; a narrow one every width.
    EXPECT_EQ(RangeSearchWidths(6, 15), (std::vector<int>{6, 10, 15}));
    EXPECT_EQ(RangeSearchWidths(8, 11), (std::vector<int>{8, 9, 10, 11}));
}

TEST(Judge, SettlingDropsTheEdgeColumnsThatDoNotHelpAndNoMore) {
    // Sites of a 7-letter motif inside 12 columns: two columns before it and
    // three after that favour T, where the sites have A. Dropping them
    // separates input from controls better; dropping a column of the motif
    // does not.
    const std::string motif = "TGACGCA";
    std::mt19937 rng(8);
    Candidate c;
    c.width = 12;
    c.nsites = 40;
    for (int j = 0; j < 12; ++j)
        for (int b = 0; b < B; ++b)
            c.count[b][j] = j >= 2 && j < 9 ? ("ACGT"[b] == motif[static_cast<size_t>(j - 2)] ? 37 : 1) : (b == 3 ? 31 : 3);
    c.scores = LogOddsFromCounts(c.count, 12, kFlat);
    // Each input site differs from the motif at one letter, so that no width separates perfectly.
    std::vector<SeqRecord> input;
    for (int i = 0; i < 60; ++i) {
        std::string site = motif;
        site[rng() % 7] = "ACGT"[rng() % 4];
        site = "AA" + site + "AAA";
        const std::vector<SeqRecord> one = RandomSet(1, 100 + static_cast<unsigned>(i), site);
        input.push_back(one[0]);
    }
    const std::vector<SeqRecord> controls = RandomSet(120, 4, "");
    Candidate settled;
    // Of the windows of equal p the widest is kept: one T column may stay.
    EXPECT_GE(SettleWidth(c, 6, input, controls, true, kFlat, 2, settled), 4);
    ASSERT_LE(settled.width, 8);
    const std::string consensus = ConsensusOf(settled);
    EXPECT_NE(consensus.find(motif), std::string::npos) << consensus;
    // Never below the lowest width.
    EXPECT_EQ(SettleWidth(c, 10, input, controls, true, kFlat, 1, settled), 2);
    EXPECT_EQ(settled.width, 10);
}

TEST(Judge, SearchSampleTakesWholeSequencesWithinTheLettersFixedByTheSeed) {
    std::vector<SeqRecord> set;
    for (int i = 0; i < 50; ++i) set.push_back(Record("s" + std::to_string(i), std::string(50 + 7 * i, 'A')));
    const std::vector<size_t> a = SearchSample(set, 2000, 3), again = SearchSample(set, 2000, 3), b = SearchSample(set, 2000, 4);
    long long letters = 0;
    for (size_t i : a) letters += set[i].len;
    EXPECT_LE(letters, 2000);
    EXPECT_GT(letters, 2000 - (50 + 7 * 49));  // filled until no further sequence fits
    EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
    EXPECT_EQ(a, again);
    EXPECT_NE(a, b);
    EXPECT_EQ(SearchSample(set, 0, 3).size(), 50u);
    EXPECT_EQ(SearchSample(set, 10, 3).size(), 1u);  // none fits: one all the same
}

TEST(Judge, SearchGenerationsShrinkWithTheLettersSearchedUnlessGIsGiven) {
    RunSettings s;
    EXPECT_EQ(SearchGenerations(s, 3000), s.generations);  // small inputs keep a plain run's budget
    EXPECT_EQ(SearchGenerations(s, 50000), 240);
    EXPECT_EQ(SearchGenerations(s, 5000000), kMinSearchGenerations);
    s.generations = 700;
    s.generationsGiven = true;
    EXPECT_EQ(SearchGenerations(s, 5000000), 700);
}

TEST(Judge, CandidatesDropCopiesAndMirrorImagesAndEvaluesStayReadableWhenTiny) {
    std::vector<Individual> population = {ModelOf("AACGTT", 8), ModelOf("AACGTT", 8), ModelOf("AAGCTG", 8),
                                          ModelOf("CAGCTT", 8), ModelOf("AAGCTG", 9)};
    std::vector<Candidate> out;
    EXPECT_EQ(AddCandidates(population, 6, 0, kFlat, out), 3);  // copy and mirror image (CAGCTT) dropped
    EXPECT_EQ(out[2].nsites, 9);
    EXPECT_EQ(FormatEvalue(std::log10(0.0125)), "0.0125");
    EXPECT_EQ(FormatEvalue(-412.5), "3.16228e-413");
    EXPECT_EQ(FormatEvalue(-400.000001), "1e-400");
}

TEST(Judge, PlantedMotifIsJudgedSignificantOnHeldBackSequencesAndItsSitesMasked) {
    const std::string motif = "GGTCACGTGACCTA";
    JudgeSets sets;
    sets.trainInput = RandomSet(30, 1, motif);
    sets.heldInput = RandomSet(30, 2, motif);
    sets.trainControl = RandomSet(30, 3, "");
    sets.heldControl = RandomSet(30, 4, "");
    std::vector<Candidate> c = {CandidateFromModel(ModelOf(motif, 20), 14, 0, kFlat),
                                CandidateFromModel(ModelOf("ACGTTGCAACGTAG", 20), 14, 0, kFlat)};
    const std::vector<Verdict> v = JudgeCandidates(c, 0, 2, sets, 2);
    EXPECT_EQ(v[0].a, 30);
    EXPECT_EQ(v[0].b, 0);
    EXPECT_LT(v[0].held.log10p, -15);
    EXPECT_GT(v[1].held.p, 0.01);

    SeqRecord r = sets.heldInput[0];
    EXPECT_EQ(MaskSites(c[0].scores, v[0].train.threshold, true, r), motif.size());
    EXPECT_TRUE(sets.heldInput[0].shared->masked.empty());  // the record it was copied from keeps its mask
    int open = 0;
    for (int p = 0; p + 14 <= r.len; ++p) open += r.WindowMasked(p, 14) ? 0 : 1;
    EXPECT_EQ(open, r.len - 14 + 1 - (2 * 14 - 1));
}

TEST(Judge, RefitTakesTheMotifFromTheSitesCalledInEveryInputSequenceWhateverTheThreads) {
    const std::string motif = "GGTCACGTGACCTA";
    const std::vector<SeqRecord> input = RandomSet(40, 5, motif), controls = RandomSet(80, 6, "");
    // A blurred model, as a search leaves it: its last four offsets read noise.
    const Candidate blurred = CandidateFromModel(ModelOf(motif.substr(0, 10) + "AAAA", 20), 14, 0, kFlat);
    std::vector<float> inputBest, controlBest;
    BestScorePerSequence(blurred.scores, input, 40, true, inputBest);
    BestScorePerSequence(blurred.scores, controls, 80, true, controlBest);
    const double t0 = ChooseThreshold(inputBest, controlBest).threshold;

    Candidate one = blurred, three = blurred;
    double t1 = t0, t3 = t0;
    ASSERT_TRUE(RefitOnCalledSites(one, t1, input, controls, true, kFlat, 1));
    ASSERT_TRUE(RefitOnCalledSites(three, t3, input, controls, true, kFlat, 3));
    std::string consensus;
    for (int j = 0; j < 14; ++j) {
        int best = 0;
        for (int b = 1; b < B; ++b) best = one.count[b][j] > one.count[best][j] ? b : best;
        consensus += "ACGT"[best];
    }
    EXPECT_EQ(consensus, motif);  // the noise offsets now read the motif
    EXPECT_GE(one.nsites, 40);
    EXPECT_LE(one.nsites, 44);
    EXPECT_GT(t1, t0);  // the sharper matrix scores its sites higher
    EXPECT_EQ(one.nsites, three.nsites);
    EXPECT_EQ(t1, t3);
    for (int j = 0; j < 14; ++j)
        for (int b = 0; b < B; ++b) EXPECT_EQ(one.count[b][j], three.count[b][j]);

    // Nothing called: the candidate and its threshold stay.
    Candidate none = blurred;
    double high = 1e9;
    EXPECT_FALSE(RefitOnCalledSites(none, high, input, controls, true, kFlat, 2));
    EXPECT_EQ(high, 1e9);
    EXPECT_EQ(none.nsites, blurred.nsites);
}

TEST(Judge, SitesOnTheReverseStrandAreCountedAsTheMotifReads) {
    // The motif (no palindrome) planted only as its reverse complement: the letters of the
    // sites its matrix calls, and those of the refits until they settle, read the motif.
    const std::string motif = "TTGACAGCTATCGT";
    std::string rc(motif.rbegin(), motif.rend());
    for (char& c : rc) c = "TGCA"[std::string("ACGT").find(c)];
    const std::vector<SeqRecord> input = RandomSet(30, 8, rc), controls = RandomSet(60, 9, "");
    Candidate c = CandidateFromModel(ModelOf(motif, 30), 14, 0, kFlat);
    auto consensus = [](const double (&count)[B][MAX_K]) {
        std::string text;
        for (int j = 0; j < 14; ++j) {
            int best = 0;
            for (int b = 1; b < B; ++b) best = count[b][j] > count[best][j] ? b : best;
            text += "ACGT"[best];
        }
        return text;
    };
    double count[B][MAX_K];
    const int sites = SiteLetterCounts(c.scores, 10.0, input, true, 2, count);
    EXPECT_GE(sites, 30);  // every planted site, and at most a chance window or two
    EXPECT_LE(sites, 32);
    EXPECT_EQ(consensus(count), motif);
    double t = 10.0;
    bool settled = false;
    EXPECT_GE(RefitUntilSettled(c, t, input, controls, true, kFlat, 2, 10, settled), 1);
    EXPECT_TRUE(settled);
    EXPECT_EQ(consensus(c.count), motif);
    EXPECT_EQ(SiteLetterCounts(c.scores, t, input, true, 1, count), c.nsites);
    for (int j = 0; j < 14; ++j)
        for (int b = 0; b < B; ++b) EXPECT_EQ(count[b][j], c.count[b][j]);
}

}  // namespace

TEST(Judge, RepeatsAreFoundOnEitherStrandButSequencesOfNAreNone) {
    const std::vector<SeqRecord> records = {Record("a", "ACGTTGCAAC"), Record("b", "GTTGCAACGT"),
                                            Record("c", "gttgcaacgt"), Record("d", "NNNNN"), Record("e", "NNNNN"),
                                            Record("f", "ACGTTGCAAC"), Record("g", "ACGTTGCAACN")};
    // b is a's reverse complement, c the same in lower case, f a's copy; g is one letter
    // longer, and the sequences of N stay.
    EXPECT_EQ(DistinctRecords(records), (std::vector<size_t>{0, 3, 4, 6}));
}
