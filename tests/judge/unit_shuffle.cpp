// Control shuffles and their random numbers: the stage generator against the
// classic formula and the run's stream; shuffles against word counts taken
// afresh and against the list of every valid shuffle of small cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "input/Masking.h"
#include "judge/Shuffle.h"

namespace {

// Random letters, or tandem repeats of 1-4 letter units with a few changes.
std::string RandomText(std::mt19937& g, size_t n, bool repeats) {
    std::string t;
    for (std::string unit; t.size() < n; unit.clear()) {
        for (size_t i = repeats ? g() % 4 + 1 : 1; i > 0; --i) unit += "ACGT"[g() % 4];
        for (size_t i = repeats ? g() % 30 + 2 : 1; i > 0; --i) t += g() % 15 ? unit : std::string(1, "ACGT"[g() % 4]);
    }
    return t.substr(0, n);
}

// out is a valid shuffle of in: N's and fixed letters in place (case and all);
// each piece between them keeps its k-letter words and first and last k - 1
// letters, or all its letters when shorter than k.
::testing::AssertionResult Valid(const std::string& in, const std::string& out, size_t k, std::vector<bool> fixed = {}) {
    fixed.resize(in.size());
    for (size_t a = 0, b = 0; a <= in.size() && out.size() == in.size(); a = b + 1) {
        for (b = a; b < in.size() && !fixed[b] && in[b] != 'N';) ++b;
        const std::string p = in.substr(a, b - a), q = out.substr(a, b - a);
        std::multiset<std::string> pw, qw;
        for (size_t i = 0; i + k <= p.size(); ++i) pw.insert(p.substr(i, k)), qw.insert(q.substr(i, k));
        const size_t h = std::min(k - 1, p.size());
        if ((b < in.size() && out[b] != in[b]) || pw != qw || (p.size() < k && p != q) ||
            p.substr(0, h) != q.substr(0, h) || p.substr(p.size() - h) != q.substr(q.size() - h))
            return ::testing::AssertionFailure() << "piece at " << a << ": " << p << " -> " << q;
    }
    return out.size() == in.size() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "length";
}

std::string Shuffled(const std::string& in, int k, StageRandom& rng, const std::vector<uint64_t>& fixed = {}) {
    std::vector<uint8_t> codes, out;
    for (char c : in) codes.push_back(kBaseCode[static_cast<unsigned char>(c)]);
    ShuffleKeepingWords(codes.data(), codes.size(), k, rng, out, fixed.empty() ? nullptr : fixed.data());
    std::string t;
    for (uint8_t c : out) t += "ACGTN"[c];
    return t;
}

}  // namespace

TEST(StageRandom, FollowsTheClassicFormulaOnItsOwnFixedStreams) {
    StageRandom r = StageRandom::FromState(1);
    for (int v : {16838, 5758, 10113, 17515, 31051}) EXPECT_EQ(r.Next(), v);  // its published first values
    int lo = QIRO_RAND_MAX, hi = 0;
    for (int i = 0; i < 1000000; ++i) lo = std::min(lo, r.Next()), hi = std::max(hi, r.Next());
    EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(0, QIRO_RAND_MAX));
    StageRandom same = r;  // small ranges draw as the program's Random() % n does
    for (int n : {1, 3, 32768}) EXPECT_EQ(static_cast<int>(r.Below32(static_cast<uint32_t>(n))), same.Below(n));
    for (uint32_t n : {100000u, 3000000000u}) {  // one or two 15-bit draws could not come near n
        uint32_t top = 0;
        for (int i = 0; i < 20000; ++i) top = std::max(top, r.Below32(n));
        EXPECT_TRUE(top < n && top > n - n / 100) << top;
    }
    auto first = [](StageRandom s) { return std::vector<int>{s.Next(), s.Next(), s.Next(), s.Next(), s.Next()}; };
    EXPECT_EQ(first(StageRandom(7, 1)), first(StageRandom(7, 1, 0)));
    for (StageRandom other : {StageRandom(7, 2), StageRandom(8, 1), StageRandom(7, 1, 1)})
        EXPECT_NE(first(StageRandom(7, 1)), first(other));
    // The run's stream goes on as if the stage had not drawn.
    SeedRandom(2024);
    std::vector<int> expected(20), got;
    for (int& v : expected) v = Random();
    SeedRandom(2024);
    StageRandom s(2024, kStageControls);
    for (int i = 0; i < 20; ++i) {
        if (i == 10) Shuffled("ACGTACGGATTACAGATTACA", 3, s), s.Below32(1u << 31);
        got.push_back(Random());
    }
    EXPECT_EQ(got, expected);
}

TEST(Shuffle, KeepsWordsOfEveryPieceAndRarelyTheInput) {
    std::mt19937 g(11);
    StageRandom rng(5, kStageControls);
    std::vector<std::string> texts = {std::string(300, 'A'), "ACACACACACACACAC", "A", "AC", "ACG", "NACNNGTTN"};
    for (int i = 0; i < 60; ++i) texts.push_back(RandomText(g, 1 + g() % 400, i % 2));
    for (int k : {1, 2, 3, 4, 10})
        for (const std::string& t : texts) EXPECT_TRUE(Valid(t, Shuffled(t, k, rng), static_cast<size_t>(k)));
    // N's and fixed letters stay, and so does a piece too short to shuffle.
    std::string t = RandomText(g, 3000, false);
    std::vector<bool> fixed(t.size());
    std::vector<uint64_t> bits(t.size() / 64 + 1);
    for (int i = 0; i < 60; ++i) t[g() % t.size()] = 'N', fixed[g() % t.size()] = true;
    t.replace(100, 6, "NACNGN");
    for (size_t i = 0; i < t.size(); ++i) bits[i / 64] |= uint64_t{fixed[i]} << (i % 64);
    for (int k : {1, 2, 3}) EXPECT_TRUE(Valid(t, Shuffled(t, k, rng, bits), static_cast<size_t>(k), fixed));
    t = RandomText(g, 300000, true) + std::string(100000, 'A') + RandomText(g, 1000, false);  // nothing recurses
    EXPECT_TRUE(Valid(t, Shuffled(t, 3, rng), 3));
    int same = 0;
    for (int i = 0; i < 200; ++i) t = RandomText(g, 200, false), same += Shuffled(t, 2 + i % 2, rng) == t;
    EXPECT_LE(same, 4);
    EXPECT_THROW(WordShuffler(kMaxShuffleWord + 1), std::invalid_argument);
}

TEST(Shuffle, ReachesEveryValidShuffleEquallyOften) {
    // Small cases with repeated words; their valid shuffles are listed by
    // trying every arrangement of the letters, and each expected 200 times.
    StageRandom rng(8, kStageControls);
    for (const auto& [text, k] : std::vector<std::pair<std::string, size_t>>{
             {"AACGT", 1}, {"AACAGCATGA", 2}, {"AAACAAGAAT", 2}, {"AAAAACAAAGAAAC", 3}}) {
        std::string p = text;
        std::sort(p.begin(), p.end());
        std::map<std::string, long> seen;
        do {
            if (Valid(text, p, k)) seen[p] = 0;
        } while (std::next_permutation(p.begin(), p.end()));
        const long cells = static_cast<long>(seen.size()), per = 200;
        ASSERT_GE(cells, 20) << text;
        for (long i = 0; i < per * cells; ++i) ++seen.at(Shuffled(text, static_cast<int>(k), rng));  // throws if not listed
        double chi2 = 0;
        for (const auto& [s, n] : seen) chi2 += static_cast<double>((n - per) * (n - per)) / per;
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](auto& c) { return c.second == 0; }), 0);
        // Laurent & Massart (2000): P(X >= d + 2 sqrt(d x) + 2 x) <= e^-x for a
        // chi-square X with d degrees of freedom; here e^-x = 1e-6.
        const double d = static_cast<double>(cells - 1), x = std::log(1e6);
        EXPECT_LT(chi2, d + 2 * std::sqrt(d * x) + 2 * x) << text << ", " << cells << " shuffles";
    }
}

TEST(Shuffle, ControlsAreFixedPerSequenceAndKeepMasksAndCase) {
    std::mt19937 g(14);
    std::string a = RandomText(g, 400, false) + "acgtacgtttgcaN" + RandomText(g, 40, false), b = RandomText(g, 500, true);
    std::vector<SeqRecord> store(2);
    store[0].Assign("a", a.data(), a.size());
    store[1].Assign("b", b.data(), b.size());
    MaskSettings soft;
    soft.softMask = true;
    MaskSequences(store, 2, soft);  // the lower-case letters and the N
    const std::vector<SeqRecord> c = MakeControls(store, 2, 3, 3, 99), again = MakeControls(store, 2, 3, 3, 99);
    ASSERT_EQ(c.size(), 6u);
    for (size_t i = 0; i < c.size(); ++i) {
        const SeqRecord& src = store[i / 3];
        EXPECT_EQ(c[i].Name(), src.Name() + "_shuffled" + std::to_string(i % 3 + 1));
        EXPECT_EQ(c[i].shared->masked, src.shared->masked);
        std::vector<bool> masked;
        for (int p = 0; p < src.len; ++p) masked.push_back(src.WindowMasked(p, 1));
        EXPECT_TRUE(Valid(src.Text(), c[i].Text(), 3, masked));
        EXPECT_TRUE(src.Text() != c[i].Text() && c[i].code == again[i].code);
    }
    // Another seed gives other controls; a sequence's controls do not depend
    // on the sequences before it.
    EXPECT_NE(MakeControls(store, 2, 3, 3, 100)[0].code, c[0].code);
    store[0].Assign("a", b.data(), b.size());
    EXPECT_EQ(MakeControls(store, 2, 3, 3, 99)[4].code, c[4].code);
}
