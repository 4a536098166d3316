// Low-complexity masking: the scan against a brute force taken straight from
// the definition, on repeat-rich sequences, and hand-worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "input/Dust.h"
#include "input/Masking.h"
#include "input/Sequences.h"

namespace {

std::vector<uint8_t> Codes(const std::string& text) {
    std::vector<uint8_t> codes;
    for (char c : text) codes.push_back(kBaseCode[static_cast<unsigned char>(c)]);
    return codes;
}

// The mask as a string: '#' for a masked letter, '-' for the others.
std::string Mask(const std::vector<uint8_t>& codes, double level) {
    std::vector<uint64_t> bits(7, ~uint64_t{0});  // must be resized and cleared
    DustMask(codes.data(), codes.size(), level, bits);
    EXPECT_EQ(bits.size(), (codes.size() + 63) / 64 + 1);
    std::string out;
    for (size_t i = 0; i < codes.size(); ++i) out += (bits[i / 64] >> (i % 64)) & 1 ? '#' : '-';
    for (size_t i = codes.size(); i < 64 * bits.size(); ++i)
        EXPECT_FALSE((bits[i / 64] >> (i % 64)) & 1) << "bit past the end: " << i;
    return out;
}
std::string Mask(const std::string& text, double level) { return Mask(Codes(text), level); }

// ---------------------------------------------------------------- brute force

// r and the number of triplets of letters s..e (inclusive), counted afresh.
struct RefScore {
    long r, l;
};
RefScore Score(const std::vector<uint8_t>& c, size_t s, size_t e) {
    long count[64] = {};
    for (size_t p = s; p + 2 <= e; ++p) ++count[c[p] * 16 + c[p + 1] * 4 + c[p + 2]];
    long r = 0;
    for (long k : count) r += k * (k - 1) / 2;
    return {r, static_cast<long>(e - s - 1)};
}

// Every interval of at most 64 letters and at least two triplets inside a piece
// is perfect when it exceeds the level and none of its sub-intervals (with a
// score) scores higher; the mask is the union of the perfect ones.
std::string Reference(const std::vector<uint8_t>& c, double level) {
    const size_t n = c.size();
    std::string mask(n, '-');
    for (size_t a = 0; a < n;) {
        if (c[a] == BASE_NONE) {
            ++a;
            continue;
        }
        size_t b = a;  // the piece is a..b-1
        while (b < n && c[b] != BASE_NONE) ++b;
        // scores[s - a][e - s] of letters s..e
        std::vector<std::vector<RefScore>> scores(b - a);
        for (size_t s = a; s < b; ++s)
            for (size_t e = s; e < b && e - s < 64; ++e) scores[s - a].push_back(Score(c, s, e));
        for (size_t s = a; s < b; ++s) {
            for (size_t e = s + 3; e < b && e - s < 64; ++e) {
                const RefScore x = scores[s - a][e - s];
                if (!(10.0 * static_cast<double>(x.r) > level * static_cast<double>(x.l - 1))) continue;
                bool perfect = true;
                for (size_t s2 = s; s2 <= e && perfect; ++s2)
                    for (size_t e2 = s2 + 3; e2 <= e && perfect; ++e2) {
                        if (s2 == s && e2 == e) continue;
                        const RefScore y = scores[s2 - a][e2 - s2];
                        perfect = y.r * (x.l - 1) <= x.r * (y.l - 1);
                    }
                if (perfect) std::fill(mask.begin() + static_cast<long>(s), mask.begin() + static_cast<long>(e) + 1, '#');
            }
        }
        a = b;
    }
    return mask;
}

// A few hundred letters: uniform stretches, tandem repeats of 1-6 letter units
// (now and then a letter changed), A/T-rich stretches and N letters.
std::vector<uint8_t> RepeatRich(std::mt19937& rng) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint8_t> c;
    const size_t length = static_cast<size_t>(pick(150, 400));
    while (c.size() < length) {
        switch (pick(0, 3)) {
            case 0:
                for (int i = pick(5, 40); i > 0; --i) c.push_back(static_cast<uint8_t>(pick(0, 3)));
                break;
            case 1: {
                std::vector<uint8_t> unit(static_cast<size_t>(pick(1, 6)));
                for (uint8_t& u : unit) u = static_cast<uint8_t>(pick(0, 3));
                for (int i = pick(8, 80), j = 0; i > 0; --i, ++j)
                    c.push_back(pick(0, 19) == 0 ? static_cast<uint8_t>(pick(0, 3)) : unit[j % unit.size()]);
                break;
            }
            case 2: {
                const int at = pick(70, 95);
                for (int i = pick(10, 50); i > 0; --i)
                    c.push_back(pick(1, 100) <= at ? static_cast<uint8_t>(3 * pick(0, 1)) : static_cast<uint8_t>(pick(1, 2)));
                break;
            }
            default:
                for (int i = pick(1, 3); i > 0; --i) c.push_back(BASE_NONE);
        }
    }
    return c;
}

TEST(Dust, MatchesTheBruteForceAndMirrorsOnTheReverseComplement) {
    std::mt19937 rng(11);
    long masked = 0, letters = 0;
    for (int round = 0; round < 60; ++round) {
        const std::vector<uint8_t> c = RepeatRich(rng);
        std::vector<uint8_t> rc(c.rbegin(), c.rend());
        for (uint8_t& x : rc)
            if (x != BASE_NONE) x = static_cast<uint8_t>(3 - x);
        for (double level : {20.0, 10.0, 35.0}) {
            const std::string mask = Mask(c, level);
            ASSERT_EQ(mask, Reference(c, level)) << "round " << round << " level " << level;
            const std::string rcMask = Mask(rc, level);
            ASSERT_EQ(std::string(rcMask.rbegin(), rcMask.rend()), mask) << "round " << round << " level " << level;
            masked += std::count(mask.begin(), mask.end(), '#');
            letters += static_cast<long>(mask.size());
        }
    }
    // The sequences exercise both outcomes.
    EXPECT_GT(masked, letters / 10);
    EXPECT_LT(masked, letters * 9 / 10);
}

// ---------------------------------------------------------------- worked cases

TEST(Dust, WorkedCases) {
    // Flanks whose triplets are all distinct, from one another and from those
    // where they meet each run put between them here. An interval reaching
    // into a flank thus has the r of its part inside the run but more
    // triplets, so it scores lower than that part: only the run decides.
    const std::string L = "CGCATAGAGCGG", R = "GTCTAATGGCCA";
    const std::string l(L.size(), '-'), r(R.size(), '-');
    auto masked = [](size_t k) { return std::string(k, '#'); };
    auto clear = [](size_t k) { return std::string(k, '-'); };

    // A run of k letters: l = k - 2 equal triplets, r = l(l-1)/2, S = l/2,
    // growing with l, so the whole run (up to 64 letters) is perfect once it
    // exceeds: S > 20/10 needs l > 4, k >= 7.
    EXPECT_EQ(Mask(L + std::string(40, 'A') + R, 20), l + masked(40) + r);
    EXPECT_EQ(Mask(L + "AAAAAAA" + R, 20), l + masked(7) + r);  // 10*10 > 20*4
    EXPECT_EQ(Mask(L + "AAAAAA" + R, 20), l + clear(6) + r);    // 10*6 = 20*3: not above
    // Longer than the window: every 64-letter stretch of it is perfect.
    EXPECT_EQ(Mask(L + std::string(200, 'T') + R, 20), l + masked(200) + r);
    // ACAC...: 28 triplets, 14 ACA and 14 CAC, S = 182/27; a sub-interval of
    // 2k triplets scores k(k-1)/(2k-1), of 2k+1 scores k/2, both growing.
    std::string ac;
    for (int i = 0; i < 15; ++i) ac += "AC";
    EXPECT_EQ(Mask(L + ac + R, 20), l + masked(30) + r);

    // An N breaks: two pieces of 5 A's have 3 triplets each (10*3 < 20*2).
    EXPECT_EQ(Mask(L + "AAAAANAAAAA" + R, 20), l + clear(11) + r);
    const std::string a20(20, 'A');
    EXPECT_EQ(Mask(L + a20 + "N" + a20 + R, 20), l + masked(20) + "-" + masked(20) + r);

    // Level 0: any interval in which a triplet recurs exceeds it. Four A's
    // (AAA twice, S = 1) are masked; so is ATG..ATG (r = 1 over 8 triplets,
    // the only interval inside it with a repeat), which level 20 leaves.
    EXPECT_EQ(Mask(L + "AAAA" + R, 0), l + masked(4) + r);
    EXPECT_EQ(Mask(L + "AT" + R, 0), clear(12) + masked(10) + clear(4));
    EXPECT_EQ(Mask(L + "AT" + R, 20), clear(26));
    // No interval of 64 letters scores above 31 (62 equal triplets: r = 1891,
    // 10 r = 310 * 61); just below, only 64-letter stretches of a run exceed.
    EXPECT_EQ(Mask(L + std::string(200, 'T') + R, 1e9), l + clear(200) + r);
    EXPECT_EQ(Mask(std::string(200, 'T'), 310), clear(200));
    EXPECT_EQ(Mask(std::string(200, 'T'), 309), masked(200));
    EXPECT_EQ(Mask(std::string(), 20), "");

    // Uniform letters: 62 triplets of 64 kinds give r near 62*61/2/64 = 30 and
    // S near 0.5, four times below the level, so masking is rare.
    std::mt19937 rng(7);
    std::string uniform;
    for (int i = 0; i < 2000; ++i) uniform += "ACGT"[rng() % 4];
    const std::string mask = Mask(uniform, 20);
    EXPECT_LT(std::count(mask.begin(), mask.end(), '#'), 40);
}

TEST(Masking, ASequenceAsLongAsTheWidthHasItsOneWindow) {
    // Exactly k letters: one window, open unless a letter in it is masked.
    std::vector<SeqRecord> seqs(2);
    seqs[0].Assign("exact", "ACGTACGT", 8);
    seqs[1].Assign("soft", "ACGTaCGT", 8);
    MaskSequences(seqs, 2, MaskSettings{true, 0.0});
    std::vector<int> starts;
    EXPECT_TRUE(HasOpenWindow(seqs[0], 8));
    OpenWindows(seqs[0], 8, starts);
    EXPECT_EQ(starts, std::vector<int>{0});
    EXPECT_FALSE(HasOpenWindow(seqs[0], 9));
    EXPECT_FALSE(HasOpenWindow(seqs[1], 8));
    EXPECT_TRUE(HasOpenWindow(seqs[1], 3));
}

}  // namespace
