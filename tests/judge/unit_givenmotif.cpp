// The motif of the known sites (-pk with -evalue): sites given on either
// strand counted on one, the matrix refit on the input with the known sites
// as a prior at the background p-value threshold, and recall estimated
// without each site's own share.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "judge/GivenMotif.h"
#include "known/KnownMotifs.h"

namespace {

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};
const std::string kWord = "TTGACAGCTATGGT";

Candidate Prior(const std::vector<std::string>& known, double (&prior)[B][MAX_K], int& sites) {
    sites = KnownSiteCounts(known, 14, true, prior);
    Candidate c;
    c.width = 14;
    std::copy(&prior[0][0], &prior[0][0] + B * MAX_K, &c.count[0][0]);
    c.nsites = sites;
    c.scores = LogOddsFromCounts(c.count, 14, kFlat);
    return c;
}

TEST(GivenMotif, KnownSitesOnEitherStrandAreCountedOnOne) {
    // Two of five sites are given as reverse complements: counted, all five read on one
    // strand (either); without both strands they are counted as written.
    const std::vector<std::string> forward = {"TTGACAGC", "TTGACAGC", "TTGACTGC", "TTGTCAGC", "TAGACAGC"};
    std::vector<std::string> mixed = forward;
    mixed[1] = "GCTGTCAA";
    mixed[3] = "GCTGACAA";
    double a[B][MAX_K], b[B][MAX_K], c[B][MAX_K];
    EXPECT_EQ(KnownSiteCounts(forward, 8, true, a), 5);
    EXPECT_EQ(KnownSiteCounts(mixed, 8, true, b), 5);
    KnownSiteCounts(mixed, 8, false, c);
    bool asForward = true, asReverse = true, asWritten = true;
    for (int x = 0; x < B; ++x)
        for (int j = 0; j < 8; ++j) {
            asForward = asForward && a[x][j] == b[x][j];
            asReverse = asReverse && a[x][j] == b[3 - x][7 - j];
            asWritten = asWritten && a[x][j] == c[x][j];
        }
    EXPECT_TRUE(asForward || asReverse);
    EXPECT_FALSE(asWritten);
    // A site of another width or with a letter other than A, C, G, T is not counted.
    EXPECT_EQ(KnownSiteCounts({"TTGACAGC", "TTGACAG", "TTGNCAGC"}, 8, true, a), 1);
}

TEST(GivenMotif, TheRefitCallsThePlantedSitesAtItsOwnWindowThreshold) {
    // Three known sites, two of them a letter off the word planted once in each of 40
    // sequences: the refit matrix calls the 40 sites at its own p-value threshold, and its
    // counts are theirs plus each known site kGivenPriorWeight times.
    std::mt19937 rng(5);
    std::vector<SeqRecord> input(40);
    for (size_t i = 0; i < input.size(); ++i) {
        std::string s(200, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        s.replace(10 + rng() % 160, kWord.size(), kWord);
        input[i].Assign("s" + std::to_string(i), s.data(), s.size());
    }
    double prior[B][MAX_K];
    int sites = 0;
    Candidate c = Prior({kWord, "TTGACAGCTATCGT", "TTGTCAGCTATGGT"}, prior, sites);
    double t = 0.0;
    const GivenFit fit = FitGivenMotif(c, t, prior, sites, input, true, kFlat, 2, 10);
    EXPECT_TRUE(fit.settled);
    EXPECT_GE(fit.calls, 40);
    EXPECT_LE(fit.calls, 42);
    std::vector<float> table(14 * 5, -1e9f);
    for (int j = 0; j < 14; ++j)
        for (int b = 0; b < B; ++b) table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(c.scores.score[j][b]);
    EXPECT_DOUBLE_EQ(t, ScoreForPValue(table, 14, kFlat, kGivenWindowP));
    EXPECT_DOUBLE_EQ(c.count[0][0] + c.count[1][0] + c.count[2][0] + c.count[3][0],
                     fit.calls + kGivenPriorWeight * 3);

    // Not refit: the known sites' own matrix calls the sites at its own threshold.
    Candidate own = Prior({kWord, "TTGACAGCTATCGT", "TTGTCAGCTATGGT"}, prior, sites);
    const LogOdds before = own.scores;
    const GivenFit kept = FitGivenMotif(own, t, prior, sites, input, true, kFlat, 2, 0);
    EXPECT_TRUE(kept.settled);
    EXPECT_EQ(kept.rounds, 0);
    EXPECT_GE(kept.calls, 40);
    EXPECT_EQ(own.nsites, 3);
    for (int j = 0; j < 14; ++j)
        for (int b = 0; b < B; ++b) {
            EXPECT_DOUBLE_EQ(own.scores.score[j][b], before.score[j][b]);
            table[static_cast<size_t>(j * 5 + b)] = static_cast<float>(before.score[j][b]);
        }
    EXPECT_DOUBLE_EQ(t, ScoreForPValue(table, 14, kFlat, kGivenWindowP));
}

TEST(GivenMotif, RecallIsEstimatedWithoutEachSitesOwnShare) {
    // Two known sites five letters apart, fitted with no site called: each reaches the
    // threshold of the matrix it helped build, but not that of the other alone.
    const std::string other = "TTCAGAGCAACGCT";
    double prior[B][MAX_K];
    int sites = 0;
    Candidate c = Prior({kWord, other}, prior, sites);
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < 14; ++j) c.count[b][j] = kGivenPriorWeight * prior[b][j];
    EXPECT_EQ(LeaveOneOutRecall(c, {kWord, other}, true, kFlat, kGivenPriorWeight), 0.0);
    // Four copies of one word: each left out in turn, the other three still call it.
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < 14; ++j) c.count[b][j] = kGivenPriorWeight * 4 * ("ACGT"[b] == kWord[static_cast<size_t>(j)]);
    EXPECT_EQ(LeaveOneOutRecall(c, {kWord, kWord, kWord, kWord, "TTGAC"}, true, kFlat, kGivenPriorWeight), 1.0);
}

}  // namespace
