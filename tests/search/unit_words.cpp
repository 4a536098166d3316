// Enriched words: the planted word ranks first, its variants (one letter
// off, shifted, reverse complement) are not kept beside it, and its
// occurrences become sites of the motif width, oriented as the word reads;
// windows of the input as seeds find degenerate sites the words miss.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "search/WindowSeeds.h"
#include "search/Words.h"

namespace {

std::vector<SeqRecord> Set(int n, unsigned seed, const std::string& plant, bool reverseHalf) {
    std::mt19937 rng(seed);
    std::vector<SeqRecord> set;
    for (int i = 0; i < n; ++i) {
        std::string s(100, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (!plant.empty()) {
            const std::string w = reverseHalf && i % 2 ? ReverseComplement(plant) : plant;
            s.replace(30 + rng() % 40, w.size(), w);
        }
        SeqRecord r;
        r.Assign("s" + std::to_string(i), s.data(), s.size());
        set.push_back(r);
    }
    return set;
}

// y is x or its reverse complement, shifted by at most one letter, with at
// most one letter different in all (a letter shifted out counts as one).
bool Near(const std::string& x, const std::string& y) {
    for (const std::string& z : {y, ReverseComplement(y)})
        for (int shift = -1; shift <= 1; ++shift) {
            int diff = shift == 0 ? 0 : 1;
            for (int i = 0; i < static_cast<int>(x.size()); ++i) {
                const int j = i + shift;
                if (j >= 0 && j < static_cast<int>(z.size())) diff += x[i] != z[j];
            }
            if (diff <= 1) return true;
        }
    return false;
}

TEST(Words, PlantedWordRanksFirstAndItsVariantsAreNotKept) {
    const std::string word = "GATTACCG";
    const auto input = Set(30, 1, word, true), controls = Set(60, 2, "", false);
    const std::vector<EnrichedWord> top = EnrichedWords(input, controls, 8, true, 5);
    ASSERT_FALSE(top.empty());
    // Within one mismatch, the word shifted by one letter is in every sequence the word is.
    EXPECT_TRUE(Near(top[0].word, word)) << top[0].word;
    EXPECT_EQ(top[0].a, 30);
    EXPECT_EQ(top[0].n1, 30);
    EXPECT_LT(top[0].p.log10p, -10);
    for (size_t i = 1; i < top.size(); ++i) EXPECT_FALSE(Near(top[i].word, top[0].word)) << top[i].word;
    // One strand only: the word is counted as it reads, half the sequences hold it.
    const std::vector<EnrichedWord> one = EnrichedWords(input, controls, 8, false, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(Near(one[0].word, word)) << one[0].word;
    EXPECT_LE(one[0].a, 20);
}

TEST(Words, OccurrencesBecomeCentredSitesOrientedAsTheWord) {
    std::vector<SeqRecord> input(2);
    const std::string a = "TTTTTCCGATTACCGAAGGG", b = "CCCTTCGGTAATCGGAAAAA";  // b: a reverse complemented
    input[0].Assign("a", a.data(), a.size());
    input[1].Assign("b", b.data(), b.size());
    const std::vector<std::string> wide = WordSites(input, "GATTACCG", 12, true);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0], "CCGATTACCGAA");  // two letters either side
    EXPECT_EQ(wide[1], wide[0]);
    const std::vector<std::string> narrow = WordSites(input, "GATTACCG", 6, false);
    EXPECT_EQ(narrow, std::vector<std::string>{"ATTACC"} /* central letters, forward only */);
    EXPECT_TRUE(WordSites(input, "GATTACCG", 20, true).size() == 0u);  // would leave the sequence
}

TEST(Words, CountsWithinOneMismatchOnBothStrandsMatchABruteForceCount) {
    // Every word kept holds, in a and b, the sequences that have a window reading it or its
    // reverse complement with at most one letter different, counted here window by window.
    const std::vector<SeqRecord> input = Set(12, 4, "ACGGT", true), controls = Set(20, 5, "", false);
    auto holds = [](const SeqRecord& r, const std::string& w) {
        const std::string s = r.Text();
        for (const std::string& x : {w, ReverseComplement(w)})
            for (size_t p = 0; p + x.size() <= s.size(); ++p) {
                int diff = 0;
                for (size_t j = 0; j < x.size(); ++j) diff += s[p + j] != x[j];
                if (diff <= 1) return true;
            }
        return false;
    };
    const std::vector<EnrichedWord> words = EnrichedWords(input, controls, 5, true, 1000);
    ASSERT_GE(words.size(), 5u);
    for (const EnrichedWord& w : words) {
        int a = 0, b = 0;
        for (const SeqRecord& r : input) a += holds(r, w.word);
        for (const SeqRecord& r : controls) b += holds(r, w.word);
        EXPECT_EQ(w.a, a) << w.word;
        EXPECT_EQ(w.b, b) << w.word;
    }
}

}  // namespace

// Windows as seeds: sites two letters off a 12-letter motif, on either strand.
// The most enriched word within one mismatch is in fewer of them than the
// best window with three letters allowed to differ, moved to its sites'
// consensus; no further seed sits on half its sites.
TEST(WindowSeeds, DegenerateSitesFoundThatOneMismatchWordsMiss) {
    const std::string motif = "TGACCGTAAGCT";
    std::mt19937 rng(7);
    std::vector<SeqRecord> input, controls;
    std::vector<int> at;
    for (int i = 0; i < 40; ++i) {
        std::string s(200, 'A');
        for (char& c : s) c = "ACGT"[rng() % 4];
        if (i < 12) {
            std::string m = motif;
            const size_t x = rng() % 6, y = 6 + rng() % 6;  // two letters changed, one in each half
            m[x] = m[x] == 'A' ? 'C' : 'A';
            m[y] = m[y] == 'G' ? 'T' : 'G';
            at.push_back(20 + static_cast<int>(rng() % 150));
            s.replace(static_cast<size_t>(at.back()), m.size(), i % 2 ? ReverseComplement(m) : m);
        }
        SeqRecord r;
        r.Assign("s" + std::to_string(i), s.data(), s.size());
        (i < 12 ? input : controls).push_back(r);
    }
    EXPECT_EQ(SeedMismatches(12), 3);
    const std::vector<WindowSeed> seeds = EnrichedWindows(input, controls, 12, true, 3);
    ASSERT_FALSE(seeds.empty());
    const std::vector<WindowSeed> threaded = EnrichedWindows(input, controls, 12, true, 3, 2);
    ASSERT_EQ(threaded.size(), seeds.size());
    for (size_t i = 0; i < seeds.size(); ++i) EXPECT_EQ(threaded[i].sites, seeds[i].sites);
    const WindowSeed& top = seeds[0];
    int planted = 0;
    for (const std::string& site : top.sites)  // read at a planted site, give or take two letters
        for (size_t i = 0; i < input.size(); ++i)
            for (const std::string& x : {site, ReverseComplement(site)}) {
                const size_t p = input[i].Text().find(x);
                planted += p != std::string::npos && std::abs(static_cast<int>(p) - at[i]) <= 2;
            }
    EXPECT_GE(planted, 11) << top.consensus;
    EXPECT_EQ(top.a, static_cast<int>(top.sites.size()));
    for (size_t i = 1; i < seeds.size(); ++i) {
        int shared = 0;
        for (const std::string& s : seeds[i].sites)
            for (const std::string& t : top.sites) shared += s == t || s == ReverseComplement(t);
        EXPECT_LT(2 * shared, static_cast<int>(seeds[i].sites.size())) << seeds[i].consensus;
    }
    const std::vector<EnrichedWord> words = EnrichedWords(input, controls, 10, true, 1);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_LT(words[0].a, planted) << words[0].word;
}
