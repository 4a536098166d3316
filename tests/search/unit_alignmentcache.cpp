// The cache of aligned texts: what goes in comes out, packed narrow for short
// strands and wide for a strand beyond 65,536 letters; a text met again
// survives the turn of generations that drops the ones left behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fast_fixture.h"
#include "search/AlignmentCache.h"

namespace {

using fasttest::Planted;

AlignedText Made(int strands, int salt, int largest) {
    AlignedText a;
    std::vector<int> order(strands);
    for (int t = 0; t < strands; ++t) {
        a.starts.push_back((t * 7919 + salt) % (largest + 1));
        order[t] = strands - 1 - t;
    }
    a.starts[0] = largest;
    a.order = std::make_shared<const std::vector<int>>(order);
    return a;
}

void ExpectSame(AlignmentCache& cache, const std::string& text, const AlignedText& kept) {
    const void* found = cache.Find(text);
    ASSERT_NE(found, nullptr) << text;
    AlignedText back;
    cache.Unpack(found, back);
    EXPECT_EQ(back.starts, kept.starts) << text;
    EXPECT_EQ(*back.order, *kept.order) << text;
}

TEST(AlignmentCache, StartsAndOrderComeBackNarrowAndWide) {
    // 12 sequences of 80 letters, both strands: narrow; largest start 65.
    Planted small(8);
    // One sequence of 70,000 letters: starts beyond two bytes.
    Planted large(8, 1, 70000);
    for (Planted* p : {&small, &large}) {
        AlignmentCache cache;
        ASSERT_TRUE(cache.Renew(&p->data, p->data.Seqs, p->data.GetNumStrands()));
        EXPECT_FALSE(cache.Renew(&p->data, p->data.Seqs, p->data.GetNumStrands()));
        const int strands = p->data.GetNumStrands();
        const int largest = p->data.Seqs[0].len - 8;
        const AlignedText a = Made(strands, 1, largest), b = Made(strands, 2, largest);
        cache.Keep("ACGTACGT", a);
        cache.Keep("TTTTACGT", b);
        ExpectSame(cache, "ACGTACGT", a);
        ExpectSame(cache, "TTTTACGT", b);
        EXPECT_EQ(cache.Find("GGGGGGGG"), nullptr);
        EXPECT_EQ(cache.Hits, 2u);
    }
}

TEST(AlignmentCache, ATextMetAgainOutlivesTheTurnOfGenerations) {
    Planted p(8);
    AlignmentCache cache;
    cache.Renew(&p.data, p.data.Seqs, p.data.GetNumStrands());
    const int strands = p.data.GetNumStrands();
    const AlignedText a = Made(strands, 0, 60);
    // Room for about three entries a generation.
    const size_t entry = 4 * strands + 8 + 96;
    cache.Limit = 2 * (3 * entry + entry / 2);
    const std::string texts[] = {"AAAAAAAA", "CCCCCCCC", "GGGGGGGG", "TTTTTTTT", "ACACACAC", "AGAGAGAG", "ATATATAT"};
    cache.Keep(texts[0], a);
    cache.Keep(texts[1], a);
    cache.Keep(texts[2], a);
    cache.Keep(texts[3], a);  // the first generation turns older
    ASSERT_NE(cache.Find(texts[0]), nullptr);  // and comes back to the recent one
    cache.Keep(texts[4], a);
    cache.Keep(texts[5], a);  // the recent one turns older again: 1 and 2 go
    EXPECT_NE(cache.Find(texts[0]), nullptr);
    EXPECT_EQ(cache.Find(texts[1]), nullptr);
    EXPECT_EQ(cache.Find(texts[2]), nullptr);
    EXPECT_NE(cache.Find(texts[3]), nullptr);
    EXPECT_LE(cache.size(), 6u);
    cache.Release();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.Find(texts[0]), nullptr);
}

}  // namespace
