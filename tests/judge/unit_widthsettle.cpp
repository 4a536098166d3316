// Settling a small input's motif width: the aligned sites are read past the
// model's edges on the strand each lies on, so that a model of a motif's
// middle grows to the whole motif, and never past the range.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "input/Masking.h"
#include "judge/ColumnWindows.h"
#include "judge/JudgedRun.h"
#include "judge/WidthSettle.h"
#include "motif/MotifCompare.h"

namespace {

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};
const std::string kMotif = "TTGACGCATGCAGT";  // 14 letters, not its own mirror image

std::string Mirror(const std::string& s) {
    std::string out(s.rbegin(), s.rend());
    for (char& c : out) c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : 'A';
    return out;
}

SeqRecord Record(const std::string& name, const std::string& s) {
    SeqRecord r;
    r.Assign(name, s.data(), s.size());
    return r;
}

// n sequences of 250 random letters; with the motif in each, every third on
// the reverse strand.
std::vector<SeqRecord> Sequences(int n, unsigned seed, bool plant) {
    std::mt19937 rng(seed);
    std::vector<SeqRecord> out;
    for (int i = 0; i < n; ++i) {
        std::string s(250, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (plant) s.replace(20 + rng() % 200, kMotif.size(), i % 3 == 2 ? Mirror(kMotif) : kMotif);
        out.push_back(Record("s" + std::to_string(i), s));
    }
    return out;
}

// A model of letters from..from+width of the motif, as a search might hand it over.
Candidate Part(int from, int width) {
    Candidate c;
    c.width = width;
    c.nsites = 12;
    for (int j = 0; j < width; ++j)
        for (int b = 0; b < B; ++b) c.count[b][j] = "ACGT"[b] == kMotif[static_cast<size_t>(from + j)] ? 9.0 : 1.0;
    c.scores = LogOddsFromCounts(c.count, width, kFlat);
    c.columns = ColumnsFromCounts(c.count, width);
    return c;
}

TEST(WidthSettle, AlignedSitesAreReadPastTheEdgesOnTheirOwnStrandAndNotPastTheSequence) {
    // The model of the motif's last ten letters finds them on either strand;
    // the four letters before them are the motif's on the site's own strand.
    std::vector<SeqRecord> input = Sequences(6, 3, true);
    // Sites at either end: the letters before them are not there to count.
    input.push_back(Record("start", kMotif.substr(4) + std::string(40, 'C')));
    input.push_back(Record("end", std::string(40, 'C') + Mirror(kMotif.substr(4))));
    const Candidate c = Part(4, 10);
    double count[B][MAX_K];
    ASSERT_EQ(AlignedLetterCounts(c.scores, c.scores.Max() - 0.01, input, true, 4, 0, count), 8);
    for (int j = 0; j < 14; ++j) {
        const int motifLetter = std::string("ACGT").find(kMotif[static_cast<size_t>(j)]);
        const double total = count[0][j] + count[1][j] + count[2][j] + count[3][j];
        EXPECT_EQ(total, j < 4 ? 6.0 : 8.0) << "column " << j;
        EXPECT_EQ(count[motifLetter][j], total) << "column " << j;
    }
}

TEST(WidthSettle, WindowsScoredAtOnceFindTheSitesTheirOwnScanFinds) {
    // Sequences with letters without a code and masked stretches, a wide
    // matrix of random scores: every window's best place is where a scan of
    // the window's own matrix puts it, on either strand.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-3.0, 2.0);
    LogOdds wide;
    wide.k = 16;
    for (int j = 0; j < wide.k; ++j)
        for (int b = 0; b < B; ++b) wide.score[j][b] = u(rng);
    std::vector<SeqRecord> seqs;
    for (int i = 0; i < 12; ++i) {
        std::string s(40 + 25 * i, 'A');
        for (char& c : s) c = "ACGTacgtN"[rng() % (i % 3 == 0 ? 9 : 4)];
        seqs.push_back(Record("s" + std::to_string(i), s));
    }
    MaskSettings soft;
    soft.softMask = true;
    MaskSequences(seqs, static_cast<int>(seqs.size()), soft);
    const std::vector<ColumnWindow> windows = {{0, 16}, {3, 6}, {5, 11}, {10, 6}, {0, 1}};
    for (bool both : {true, false}) {
        const std::vector<std::vector<BestPlace>> places = BestPlaces(wide, windows, seqs, both, 3);
        for (size_t w = 0; w < windows.size(); ++w) {
            LogOdds m;
            m.k = windows[w].second;
            for (int j = 0; j < m.k; ++j)
                for (int b = 0; b < B; ++b) m.score[j][b] = wide.score[windows[w].first + j][b];
            for (size_t s = 0; s < seqs.size(); ++s) {
                const BestPlace& p = places[w][s];
                const float best = BestScore(m, seqs[s], both);
                if (std::isinf(best)) {
                    EXPECT_EQ(p.pos, -1) << w << " " << s;
                    continue;
                }
                EXPECT_NEAR(p.score, best, 1e-4) << w << " " << s;
                std::vector<ScanHit> hits;
                SitesAbove(m, seqs[s], best - 1e-3, both, hits);
                const ScanHit* top = &hits.at(0);
                for (const ScanHit& h : hits)
                    if (h.score > top->score) top = &h;
                EXPECT_EQ(p.pos, top->pos) << w << " " << s;
                EXPECT_EQ(p.forward, top->forward) << w << " " << s;
            }
        }
    }
}

TEST(WidthSettle, AMotifsMiddleGrowsToTheMotifWithinTheRange) {
    const std::vector<SeqRecord> input = Sequences(16, 5, true);
    const std::vector<SeqRecord> controls = Sequences(160, 6, false);
    LlrNull null(kFlat);
    const Candidate c = Part(4, 6);
    const Verdict v = JudgeOnEverySequence({c}, 0, 1, input, controls, true, 10, null, 1)[0];
    ASSERT_LT(v.held.log10p, -2.0);
    Candidate settled;
    double searched = 0.0;
    ASSERT_TRUE(SettleWholeWidth(c, v, 6, 15, input, controls, true, kFlat, 10, -1.3, null, 2, settled, searched));
    EXPECT_EQ(searched, 0.0);  // it passed before
    const std::string consensus = ConsensusOf(settled);
    EXPECT_GE(settled.width, 13) << consensus;
    EXPECT_LE(settled.width, 15) << consensus;
    EXPECT_NE(consensus.find(kMotif.substr(1, 12)), std::string::npos) << consensus;
    // The settled model passes at its own width, and is what it says it is.
    const Verdict again = JudgeOnEverySequence({settled}, 0, 1, input, controls, true, 10, null, 1)[0];
    EXPECT_LT(again.held.log10p, v.held.log10p);
    // The range's top stops it: at most 8 wide, still holding the middle.
    ASSERT_TRUE(SettleWholeWidth(c, v, 6, 8, input, controls, true, kFlat, 3, -1.3, null, 1, settled, searched));
    EXPECT_EQ(settled.width, 8);
    EXPECT_NE(ConsensusOf(settled).find(kMotif.substr(4, 6)), std::string::npos) << ConsensusOf(settled);
    // Without the motif nothing passes, however wide.
    const std::vector<SeqRecord> none = Sequences(16, 7, false);
    const Verdict fails = JudgeOnEverySequence({c}, 0, 1, none, controls, true, 10, null, 1)[0];
    EXPECT_FALSE(SettleWholeWidth(c, fails, 6, 15, none, controls, true, kFlat, 10, -1.3, null, 2, settled, searched));
    // Had a window passed, its E-value would have carried the dozens of windows judged.
    EXPECT_GT(searched, 1.0);
}

}  // namespace
