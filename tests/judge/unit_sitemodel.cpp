// Site calls from a mixture fitted to the input: ZOOPS leaves sequences
// without a site empty and finds the share that hold one, TCM calls every
// site of a sequence that holds two, and the automatic choice tells the two
// kinds of input apart against controls.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "judge/Judge.h"
#include "judge/SiteModel.h"

namespace {

const std::string kMotif = "TGACGTCATGCA";
const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

// Sequences of 200 random letters; sequence i holds sites(i) copies of the
// motif (forward, one letter in `change` changed; 0: none), 60 letters apart,
// starting at 20. planted[i]: their starts.
std::vector<SeqRecord> Make(int n, uint32_t seed, int (*sites)(int), std::vector<std::vector<int>>& planted,
                            int change = 10) {
    std::mt19937 gen(seed);
    auto below = [&](int k) { return static_cast<int>(gen() % static_cast<uint32_t>(k)); };
    std::vector<SeqRecord> out(static_cast<size_t>(n));
    planted.assign(static_cast<size_t>(n), {});
    for (int i = 0; i < n; ++i) {
        std::string s(200, 'A');
        for (char& c : s) c = "ACGT"[below(4)];
        for (int c = 0; c < sites(i); ++c) {
            std::string site = kMotif;
            for (char& l : site)
                if (change > 0 && below(change) == 0) l = "ACGT"[below(4)];
            s.replace(static_cast<size_t>(20 + 60 * c), site.size(), site);
            planted[static_cast<size_t>(i)].push_back(20 + 60 * c);
        }
        out[static_cast<size_t>(i)].Assign("s", s.data(), s.size());
    }
    return out;
}

// The motif's matrix as 20 sites with one letter in ten off the consensus.
LogOdds Matrix() {
    double count[B][MAX_K] = {};
    for (size_t j = 0; j < kMotif.size(); ++j)
        for (int b = 0; b < B; ++b) count[b][j] = "ACGT"[b] == kMotif[j] ? 17.0 : 1.0;
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    return LogOddsFromCounts(count, static_cast<int>(kMotif.size()), bg);
}

int Called(const std::vector<ScanHit>& calls, int start) {
    int n = 0;
    for (const ScanHit& h : calls) n += h.forward && h.pos == start ? 1 : 0;
    return n;
}

// Planted sites called, and calls that are no planted site.
void Tally(const std::vector<std::vector<ScanHit>>& calls, const std::vector<std::vector<int>>& planted, int& found,
           int& other) {
    found = other = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        int here = 0;
        for (int start : planted[i]) here += Called(calls[i], start);
        found += here;
        other += static_cast<int>(calls[i].size()) - here;
    }
}

TEST(SiteModel, ZoopsFindsTheShareOfSequencesAndLeavesTheOthersEmpty) {
    std::vector<std::vector<int>> planted, none;
    const std::vector<SeqRecord> input = Make(40, 3, [](int i) { return i % 2; }, planted);
    const std::vector<SeqRecord> controls = Make(80, 4, [](int) { return 0; }, none);
    const LogOdds m = Matrix();
    for (SiteRule asked : {SiteRule::kZoops, SiteRule::kAuto}) {
        const SiteModelFit fit = FitSiteModel(m, asked, input, controls, true, 2);
        EXPECT_EQ(fit.rule, SiteRule::kZoops);
        EXPECT_EQ(fit.automatic, asked == SiteRule::kAuto);
        EXPECT_NEAR(fit.share, 0.5, 0.1);
        std::vector<std::vector<ScanHit>> calls;
        CallByModel(m, fit, input, true, 1, calls);
        int found = 0, other = 0, empty = 0;
        Tally(calls, planted, found, other);
        for (size_t i = 0; i < calls.size(); ++i) empty += planted[i].empty() ? static_cast<int>(calls[i].size()) : 0;
        EXPECT_GE(found, 15);
        EXPECT_LE(empty, 1) << "of 20 sequences without a site";
        EXPECT_LE(other, 3);
        for (const std::vector<ScanHit>& c : calls) EXPECT_LE(c.size(), 1u);
    }
}

TEST(SiteModel, TcmCallsBothSitesOfASequenceAndIsChosenForThem) {
    std::vector<std::vector<int>> planted, none, single;
    const std::vector<SeqRecord> input = Make(30, 5, [](int) { return 2; }, planted);
    const std::vector<SeqRecord> controls = Make(60, 6, [](int) { return 0; }, none);
    const LogOdds m = Matrix();
    const SiteModelFit fit = FitSiteModel(m, SiteRule::kAuto, input, controls, true, 2);
    EXPECT_EQ(fit.rule, SiteRule::kTcm);
    EXPECT_GT(fit.extraCalls, 4 * fit.extraExpected);
    EXPECT_FALSE(fit.repeatLike);
    EXPECT_LT(fit.flankBits, kRepeatFlankBits / 2);  // the flanks of sites in random sequence
    std::vector<std::vector<ScanHit>> calls;
    CallByModel(m, fit, input, true, 2, calls);
    int found = 0, other = 0;
    Tally(calls, planted, found, other);
    EXPECT_GE(found, 54);
    EXPECT_LE(other, 6);
    // ZOOPS on the same input keeps one per sequence; one site per sequence is ZOOPS's input.
    const SiteModelFit zoops = FitSiteModel(m, SiteRule::kZoops, input, controls, true, 1);
    CallByModel(m, zoops, input, true, 1, calls);
    for (const std::vector<ScanHit>& c : calls) EXPECT_EQ(c.size(), 1u);
    const std::vector<SeqRecord> one = Make(30, 5, [](int) { return 1; }, single);
    EXPECT_EQ(FitSiteModel(m, SiteRule::kAuto, one, controls, true, 2).rule, SiteRule::kZoops);
}

// Two copies per sequence of a repeat that holds the motif: 20 letters of its
// own on either side of it, one letter in ten changed in every copy.
TEST(SiteModel, CopiesOfARepeatAreNoSecondSites) {
    std::mt19937 gen(9);
    auto letter = [&]() { return "ACGT"[gen() % 4]; };
    std::string left(20, 'A'), right(20, 'A');
    for (char& c : left) c = letter();
    for (char& c : right) c = letter();
    std::vector<SeqRecord> input(30);
    for (SeqRecord& r : input) {
        std::string s(220, 'A');
        for (char& c : s) c = letter();
        for (int copy = 0; copy < 2; ++copy) {
            std::string element = left + kMotif + right;
            for (char& c : element)
                if (gen() % 10 == 0) c = letter();
            s.replace(static_cast<size_t>(10 + 100 * copy), element.size(), element);
        }
        r.Assign("r", s.data(), s.size());
    }
    std::vector<std::vector<int>> none;
    const std::vector<SeqRecord> controls = Make(60, 6, [](int) { return 0; }, none);
    const SiteModelFit fit = FitSiteModel(Matrix(), SiteRule::kAuto, input, controls, true, 2);
    EXPECT_GT(fit.extraCalls, 4 * fit.extraExpected);  // as many second sites as real ones would give
    EXPECT_EQ(fit.rule, SiteRule::kZoops);
    EXPECT_TRUE(fit.repeatLike);
    EXPECT_GT(fit.flankBits, kRepeatFlankBits);
}

// The refit settles on the sites it calls: its counts are their letters.
TEST(SiteModel, RefitEndsWithTheCountsOfItsOwnCalls) {
    std::vector<std::vector<int>> planted, none;
    const std::vector<SeqRecord> input = Make(30, 7, [](int i) { return i % 3 == 0 ? 0 : 1; }, planted);
    const std::vector<SeqRecord> controls = Make(60, 8, [](int) { return 0; }, none);
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    Candidate c;
    c.width = static_cast<int>(kMotif.size());
    c.scores = Matrix();
    SiteModelFit fit;
    std::vector<std::vector<ScanHit>> calls;
    bool settled = false;
    RefitByModel(c, SiteRule::kAuto, input, controls, true, bg, 2, 10, fit, calls, settled);
    ASSERT_TRUE(settled);
    double count[B][MAX_K];
    EXPECT_EQ(CalledLetterCounts(calls, input, c.width, count), c.nsites);
    EXPECT_NEAR(c.nsites, 20, 2);
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < c.width; ++j) EXPECT_EQ(count[b][j], c.count[b][j]);
}


// Sites a matrix scores alike, to the bit, do not make the sites' spread: a
// true site scored a little lower would fall outside it.
TEST(SiteModel, AFewAlikeSitesDoNotNarrowTheSitesSpread) {
    std::vector<std::vector<int>> planted, none;
    const std::vector<SeqRecord> input = Make(20, 12, [](int i) { return i < 4 ? 1 : 0; }, planted, 0);
    const SiteModelFit fit = FitSiteModel(Matrix(), SiteRule::kZoops, input, Make(80, 13, [](int) { return 0; }, none), true, 2);
    EXPECT_GT(fit.siteSd, 1.0);
    std::vector<std::vector<ScanHit>> calls;
    CallByModel(Matrix(), fit, input, true, 2, calls);
    int found = 0, other = 0;
    Tally(calls, planted, found, other);
    EXPECT_EQ(found, 4);
    EXPECT_EQ(other, 0);  // no window of the sixteen sequences without a site
}

}  // namespace
