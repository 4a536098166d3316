// The fitted site model refined by soft EM: from a matrix as sharp as its
// strongest sites it reaches the weaker ones the fitted rule misses, keeps
// the share near the planted one on a few sequences, calls two sites of a
// sequence under TCM, and leaves a given matrix as it is.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "judge/SiteModel.h"
#include "judge/SoftEm.h"

namespace {

const std::string kMotif = "TTGACAGCTAAG";
const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

// A background of equal letters: every word's last letter at 1/4.
BackgroundTables Flat() {
    static const std::map<std::string, double> listed;
    static double dense[kDenseWords];
    for (double& v : dense) v = 0.25;
    return BackgroundTables{listed, dense};
}

// n sequences of `len` random letters; sequence i holds sites(i) copies of
// the motif, 100 letters apart from 30, on the reverse strand in odd
// sequences. changed(i) > 0: each letter changed with probability
// 1 / changed(i); -1: every odd column takes its second letter with
// probability one half (a degenerate motif whose strongest sites read
// the consensus); 0: the consensus.
struct Planted {
    std::vector<SeqRecord> seqs;
    std::vector<std::vector<int>> starts;  // forward starts
};
Planted Make(int n, int len, uint32_t seed, int (*sites)(int), int (*changed)(int)) {
    std::mt19937 gen(seed);
    auto below = [&](int k) { return static_cast<int>(gen() % static_cast<uint32_t>(k)); };
    Planted p;
    p.seqs.resize(static_cast<size_t>(n));
    p.starts.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::string s(static_cast<size_t>(len), 'A');
        for (char& c : s) c = "ACGT"[below(4)];
        for (int c = 0; c < sites(i); ++c) {
            std::string site = kMotif;
            for (size_t j = 0; j < site.size(); ++j) {
                const size_t code = std::string("ACGT").find(site[j]);
                if (changed(i) > 0 && below(changed(i)) == 0)
                    site[j] = "ACGT"[(code + 1 + static_cast<size_t>(below(3))) % 4];
                else if (changed(i) < 0 && j % 2 == 1 && below(2) == 0)
                    site[j] = "ACGT"[(code + 2) % 4];
            }
            if (i % 2 == 1) {
                std::string rc(site.rbegin(), site.rend());
                for (char& l : rc) l = "TGCA"[std::string("ACGT").find(l)];
                site = rc;
            }
            s.replace(static_cast<size_t>(30 + 100 * c), site.size(), site);
            p.starts[static_cast<size_t>(i)].push_back(30 + 100 * c);
        }
        p.seqs[static_cast<size_t>(i)].Assign("s", s.data(), s.size());
    }
    return p;
}

// The motif's matrix from `sites` copies of its consensus.
LogOdds Sharp(double sites) {
    double count[B][MAX_K] = {};
    for (size_t j = 0; j < kMotif.size(); ++j)
        for (int b = 0; b < B; ++b) count[b][j] = "ACGT"[b] == kMotif[j] ? sites : 0.0;
    return LogOddsFromCounts(count, static_cast<int>(kMotif.size()), kFlat);
}

// Planted sites called (on their strand, at their start), and other calls.
void Tally(const std::vector<std::vector<ScanHit>>& calls, const Planted& p, int& found, int& other) {
    found = other = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        for (const ScanHit& h : calls[i]) {
            const int start = h.forward ? h.pos : p.seqs[i].len - h.pos - static_cast<int>(kMotif.size());
            bool at = false;
            for (int s : p.starts[i]) at = at || (h.forward == (i % 2 == 0) && start == s);
            (at ? found : other) += 1;
        }
}

SoftEmFit Refine(const LogOdds& m, SiteRule rule, double share, ShareGuard guard, const Planted& in,
                 const EmWindows& win, bool fixed = false) {
    SoftEmStart start;
    start.rule = rule;
    start.k = m.k;
    start.share = share;
    start.guard = guard;
    start.fixedMatrix = fixed;
    ProbabilitiesOf(m, kFlat, start.prob);
    return RefineBySoftEm(start, in.seqs, win, {}, EmWindows());
}

// 45 sequences with the consensus, 45 with the degenerate motif: the matrix
// of the consensus alone misses degenerate sites that the refined matrix,
// weighing every window, learns to score.
TEST(SoftEm, RefinementCallsTheWeakerSitesTheFittedRuleMisses) {
    const Planted in = Make(90, 300, 3, [](int) { return 1; }, [](int i) { return i < 45 ? 0 : -1; });
    const Planted ctl = Make(120, 300, 4, [](int) { return 0; }, [](int) { return 0; });
    const LogOdds m = Sharp(10.0);
    const SiteModelFit fit = FitSiteModel(m, SiteRule::kZoops, in.seqs, ctl.seqs, true, 1);
    std::vector<std::vector<ScanHit>> fitted, refined;
    CallByModel(m, fit, in.seqs, true, 1, fitted);
    const EmWindows win = IndexWindows(in.seqs, m.k, true, Flat());
    ASSERT_TRUE(RefinementHasSites(SiteRule::kZoops, fit.share, win)) << fit.share;
    const SoftEmFit em = Refine(m, SiteRule::kZoops, fit.share, kShareGuard, in, win);
    ASSERT_TRUE(em.kept);
    CallBySoftEm(em, in.seqs, win, refined);
    int fittedFound = 0, fittedOther = 0, found = 0, other = 0;
    Tally(fitted, in, fittedFound, fittedOther);
    Tally(refined, in, found, other);
    EXPECT_LE(fittedFound, 81) << "the fitted rule reaches the degenerate sites; the input tests nothing";
    EXPECT_GE(found, 87) << "of 90";
    EXPECT_LE(other, 3);
    // The degenerate columns learnt: their second letter, a quarter of the sites', from
    // 1/16 in the start matrix to above 1/8.
    for (int j = 1; j < m.k; j += 2)
        EXPECT_GT(em.logProb[j][(std::string("ACGT").find(kMotif[static_cast<size_t>(j)]) + 2) % 4], -3.0) << j;
}

// 15 sequences, 12 holding a site with one letter in six changed: the plain
// EM's share runs towards 1; the run's guard keeps it near the planted 80%.
// A run does not refine so few sites (12 for 36 letter probabilities); 36
// expected sites of a 12-wide motif are enough, under ZOOPS or TCM.
TEST(SoftEm, ShareStaysNearThePlantedShareOnAFewSequences) {
    const Planted in = Make(15, 300, 7, [](int i) { return i < 12 ? 1 : 0; }, [](int) { return 6; });
    const LogOdds m = Sharp(6.0);
    const EmWindows win = IndexWindows(in.seqs, m.k, true, Flat());
    const SoftEmFit guarded = Refine(m, SiteRule::kZoops, 0.7, kShareGuard, in, win);
    EXPECT_NEAR(guarded.share, 0.8, 0.07);
    EXPECT_GT(Refine(m, SiteRule::kZoops, 0.7, ShareGuard::kFree, in, win).share, 0.9);
    EXPECT_FALSE(RefinementHasSites(SiteRule::kZoops, 0.8, win));
    EXPECT_FALSE(RefinementHasSites(SiteRule::kTcm, 35.0 / static_cast<double>(win.pos.size()), win));
    EXPECT_TRUE(RefinementHasSites(SiteRule::kTcm, 36.0 / static_cast<double>(win.pos.size()), win));
    EXPECT_DOUBLE_EQ(Refine(m, SiteRule::kZoops, 0.7, ShareGuard::kHeld, in, win).share, 0.7);
    std::vector<std::vector<ScanHit>> calls;
    CallBySoftEm(guarded, in.seqs, win, calls);
    int found = 0, other = 0;
    Tally(calls, in, found, other);
    EXPECT_GE(found, 11) << "of 12";
    // A given matrix is only weighed: its probabilities stay as they were.
    const SoftEmFit fixed = Refine(m, SiteRule::kZoops, 0.7, kShareGuard, in, win, true);
    for (int j = 0; j < m.k; ++j)
        for (int b = 0; b < B; ++b) EXPECT_NEAR(fixed.logProb[j][b], m.score[j][b] - 2.0, 1e-9);
    EXPECT_NEAR(fixed.share, guarded.share, 0.1);
}

// Two sites in every sequence, one of them weaker: TCM calls both.
TEST(SoftEm, TcmCallsEverySiteOfASequence) {
    const Planted in = Make(30, 300, 5, [](int) { return 2; }, [](int i) { return i % 2 == 0 ? 0 : 5; });
    const LogOdds m = Sharp(10.0);
    const EmWindows win = IndexWindows(in.seqs, m.k, true, Flat());
    const SoftEmFit em = Refine(m, SiteRule::kTcm, 60.0 / (30 * 289), kShareGuard, in, win);
    std::vector<std::vector<ScanHit>> calls;
    CallBySoftEm(em, in.seqs, win, calls);
    int found = 0, other = 0;
    Tally(calls, in, found, other);
    EXPECT_GE(found, 48) << "of 60";
    EXPECT_LE(other, 3);
}

}  // namespace
