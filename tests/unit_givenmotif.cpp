// The motif of the known sites (-pk with -evalue): sites given on either
// strand counted on one, and the matrix refit on the input with the known
// sites as a prior, its sites called at the background p-value threshold.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "GivenMotif.h"
#include "KnownMotifs.h"

namespace {

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};
const std::string kWord = "TTGACAGCTATGGT";

std::vector<SeqRecord> Planted(int n, int length, unsigned seed, const std::string& plant) {
    std::mt19937 rng(seed);
    std::vector<SeqRecord> set;
    for (int i = 0; i < n; ++i) {
        std::string s(static_cast<size_t>(length), 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (!plant.empty()) s.replace(10 + rng() % static_cast<unsigned>(length - 20 - plant.size()), plant.size(), plant);
        SeqRecord r;
        r.Assign("s" + std::to_string(i), s.data(), s.size());
        set.push_back(r);
    }
    return set;
}

Candidate Prior(const std::vector<std::string>& known, int k, double (&prior)[B][MAX_K], int& sites) {
    sites = KnownSiteCounts(known, k, true, prior);
    Candidate c;
    c.width = k;
    std::copy(&prior[0][0], &prior[0][0] + B * MAX_K, &c.count[0][0]);
    c.nsites = sites;
    c.scores = LogOddsFromCounts(c.count, k, kFlat);
    return c;
}

TEST(GivenMotif, KnownSitesOnEitherStrandAreCountedOnOne) {
    // Two of five sites are given as reverse complements: counted, they read as the
    // forward five do; without both strands they are counted as written.
    const std::vector<std::string> forward = {"TTGACAGC", "TTGACAGC", "TTGACTGC", "TTGTCAGC", "TAGACAGC"};
    std::vector<std::string> mixed = forward;
    mixed[1] = "GCTGTCAA";
    mixed[3] = "GCTGACAA";
    double a[B][MAX_K], b[B][MAX_K], c[B][MAX_K];
    EXPECT_EQ(KnownSiteCounts(forward, 8, true, a), 5);
    EXPECT_EQ(KnownSiteCounts(mixed, 8, true, b), 5);
    KnownSiteCounts(mixed, 8, false, c);
    // All on one strand: the forward one, or all on the other.
    bool sameAsForward = true, sameAsReverse = true, sameUnflipped = true;
    for (int x = 0; x < B; ++x)
        for (int j = 0; j < 8; ++j) {
            sameAsForward = sameAsForward && a[x][j] == b[x][j];
            sameAsReverse = sameAsReverse && a[x][j] == b[3 - x][7 - j];
            sameUnflipped = sameUnflipped && a[x][j] == c[x][j];
        }
    EXPECT_TRUE(sameAsForward || sameAsReverse);
    EXPECT_FALSE(sameUnflipped);
    // A site of another width or with a letter other than A, C, G, T is not counted.
    EXPECT_EQ(KnownSiteCounts({"TTGACAGC", "TTGACAG", "TTGNCAGC"}, 8, true, a), 1);
}

TEST(GivenMotif, TheRefitCallsThePlantedSitesAtTheWindowThreshold) {
    // Three known sites, two of them a letter off the word planted once in each of 40
    // sequences: the refit matrix calls the 40 sites, its threshold is the matrix's own
    // p-value threshold, and its sites are the ones it was built from.
    const std::vector<SeqRecord> input = Planted(40, 200, 5, kWord);
    double prior[B][MAX_K];
    int sites = 0;
    Candidate c = Prior({kWord, "TTGACAGCTATCGT", "TTGTCAGCTATGGT"}, 14, prior, sites);
    double t = 0.0;
    const GivenFit fit = FitGivenMotif(c, t, prior, sites, input, true, kFlat, 2, 10);
    EXPECT_TRUE(fit.settled);
    EXPECT_GE(fit.rounds, 1);
    EXPECT_GE(fit.calls, 40);
    EXPECT_LE(fit.calls, 42);
    std::vector<float> table(14 * 5, -1e9f);
    for (int j = 0; j < 14; ++j)
        for (int b = 0; b < B; ++b) table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(c.scores.score[j][b]);
    EXPECT_DOUBLE_EQ(t, ScoreForPValue(table, 14, kFlat, kGivenWindowP));
    // The counts are the sites' letters plus the known sites, each counted kGivenPriorWeight times.
    double total = 0.0;
    for (int b = 0; b < B; ++b) total += c.count[b][0];
    EXPECT_DOUBLE_EQ(total, fit.calls + kGivenPriorWeight * 3);
    EXPECT_EQ(c.nsites, fit.calls + 9);
}

TEST(GivenMotif, RecallIsEstimatedWithoutEachSitesOwnShare) {
    // Two known sites five letters apart, fitted with no site called: each reaches the
    // threshold of the matrix it helped build, but not that of the other alone.
    const std::string other = "TTCAGAGCAACGCT";
    double prior[B][MAX_K];
    int sites = 0;
    Candidate c = Prior({kWord, other}, 14, prior, sites);
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < 14; ++j) c.count[b][j] = kGivenPriorWeight * prior[b][j];
    c.scores = LogOddsFromCounts(c.count, 14, kFlat);
    EXPECT_EQ(LeaveOneOutRecall(c, {kWord, other}, true, kFlat), 0.0);
    // Four copies of one word: each is left out in turn and the other three still call it.
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < 14; ++j) c.count[b][j] = kGivenPriorWeight * 4 * ("ACGT"[b] == kWord[static_cast<size_t>(j)]);
    EXPECT_EQ(LeaveOneOutRecall(c, {kWord, kWord, kWord, kWord, "TTGAC"}, true, kFlat), 1.0);
}

TEST(GivenMotif, WithoutAWindowAtTheThresholdTheBestOneIsCalled) {
    // Three short random sequences hold no window of a sharp 14-letter matrix at 1e-4:
    // the best window (or windows, on a tie) are the sites, so that the motif still has a place.
    const std::vector<SeqRecord> input = Planted(3, 30, 9, "");
    double prior[B][MAX_K];
    int sites = 0;
    Candidate c = Prior({kWord, kWord, kWord, kWord}, 14, prior, sites);
    double t = 0.0;
    const GivenFit fit = FitGivenMotif(c, t, prior, sites, input, true, kFlat, 1, 10);
    EXPECT_GE(fit.calls, 1);
    float best = -1e9f;
    for (const SeqRecord& r : input) best = std::max(best, BestScore(c.scores, r, true));
    EXPECT_EQ(t, best);
}

}  // namespace
